#include "engine_run_support.h"

#include "media/ffmpeg_loader.h"
#include "platform/error.h"
#include "platform/main_thread.h"
#include "platform/paths.h"

#include <chrono>

namespace vexa::test {

OutputFacts ReadOutput(const std::string& path)
{
    OutputFacts f;
    TAVProbe probe;
    if (!probe.LoadFile(path))
        return f;
    f.opened = true;
    f.duration = probe.GetFileStreamInfo().Duration;
    f.videoStreams = probe.VideoStreamCount();
    f.audioStreams = probe.AudioStreamCount();
    if (f.videoStreams > 0) {
        const TVideoStreamInfo v = probe.FirstVideoStreamInfo();
        f.videoCodec = v.CodecName;
        f.width = v.Width;
        f.height = v.Height;
    }
    if (f.audioStreams > 0) {
        const TAudioStreamInfo a = probe.FirstAudioStreamInfo();
        f.audioCodec = a.CodecName;
        f.sampleRate = a.SampleRate;
        f.channels = a.Channels;
    }
    return f;
}

bool PictureAt(const std::string& path, int64_t atUs, platform::Bitmap& bitmap)
{
    TAVProbe probe;
    if (!probe.LoadFile(path))
        return false;
    if (atUs > 0 && !probe.Seek(atUs))
        return false;
    return probe.Decode() && probe.CopyToBitmap(bitmap);
}

void EngineEvents::Attach(TCustomFFEngine& engine)
{
    engine.OnTerminate = [this](TCustomFFEngine*, const TTerminateInfo& info) {
        std::lock_guard<std::mutex> g(lock_);
        terminates_.push_back({info, std::this_thread::get_id()});
        if (info.TaskIndex == -1)
            ended_ = true;
        platform::MainThread::NotifyWaiters();
    };
    engine.OnProgress = [this](TCustomFFEngine*, TProgressInfo& info) {
        std::lock_guard<std::mutex> g(lock_);
        progress_.push_back(info);
    };
}

bool EngineEvents::WaitForEnd(int seconds)
{
    return platform::MainThread::WaitServing(
        [this] {
            std::lock_guard<std::mutex> g(lock_);
            return ended_;
        },
        std::chrono::seconds(seconds));
}

std::vector<TerminateRecord> EngineEvents::Terminates() const
{
    std::lock_guard<std::mutex> g(lock_);
    return terminates_;
}

std::vector<TProgressInfo> EngineEvents::Progress() const
{
    std::lock_guard<std::mutex> g(lock_);
    return progress_;
}

void EngineRunTest::SetUpTestSuite()
{
    LoadEngineLibraries();
    std::string err;
    if (!LoadAVLibSet(kProbeLibraries, platform::LibraryFolder(), err))
        throw Error(err);
}

void EngineRunTest::SetUp()
{
    platform::MainThread::SetCurrentAsMain();
}

TOutputOptions AviOptions()
{
    TOutputOptions o;
    o.VideoCodec = "mpeg4";
    o.VideoTag = "XVID";
    o.AudioCodec = "libmp3lame";
    o.AudioBitrate = 128000;
    return o;
}

}  // namespace vexa::test
