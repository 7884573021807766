#include "engine_run_support.h"

#include "media/ffmpeg_loader.h"
#include "platform/error.h"
#include "platform/main_thread.h"
#include "platform/paths.h"

#include "media/av_ptr.h"
#include "media/codec_lock.h"

#include <chrono>
#include <cmath>

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

namespace {

double SampleValue(const AVFrame* f, int channel, int i)
{
    const auto fmt = static_cast<AVSampleFormat>(f->format);
    const bool planar = AV.av_sample_fmt_is_planar(fmt);
    const int channels = f->ch_layout.nb_channels;
    const uint8_t* plane = f->extended_data[planar ? channel : 0];
    const size_t at = planar ? static_cast<size_t>(i) : static_cast<size_t>(i) * channels + channel;
    switch (AV.av_get_packed_sample_fmt(fmt)) {
    case AV_SAMPLE_FMT_S16: return reinterpret_cast<const int16_t*>(plane)[at] / 32768.0;
    case AV_SAMPLE_FMT_S32: return reinterpret_cast<const int32_t*>(plane)[at] / 2147483648.0;
    case AV_SAMPLE_FMT_FLT: return reinterpret_cast<const float*>(plane)[at];
    case AV_SAMPLE_FMT_DBL: return reinterpret_cast<const double*>(plane)[at];
    default: return 0;
    }
}

}  // namespace

DecodedCounts CountDecoded(const std::string& path)
{
    DecodedCounts c;
    AVFormatContext* raw = nullptr;
    if (OpenInputFile(&raw, EncodeLibFileName(path), nullptr, nullptr) < 0)
        return c;
    InputContextPtr ic(raw);
    if (FindStreamInfo(ic.get(), nullptr) < 0)
        return c;
    const int streams[2] = {AV.av_find_best_stream(ic.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0),
                            AV.av_find_best_stream(ic.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0)};
    CodecContextPtr dec[2];
    for (int k = 0; k < 2; ++k) {
        if (streams[k] < 0)
            continue;
        const AVCodecParameters* par = ic->streams[streams[k]]->codecpar;
        const AVCodec* codec = AV.avcodec_find_decoder(par->codec_id);
        dec[k].reset(AV.avcodec_alloc_context3(codec));
        if (!codec || !dec[k] || AV.avcodec_parameters_to_context(dec[k].get(), par) < 0 ||
            OpenCodec(dec[k].get(), codec, nullptr) < 0)
            return c;
    }
    c.opened = true;
    PacketPtr pkt(AV.av_packet_alloc());
    FramePtr frame(AV.av_frame_alloc());
    double squares = 0;
    auto drain = [&](int k) {
        while (AV.avcodec_receive_frame(dec[k].get(), frame.get()) >= 0) {
            if (k == 0) {
                ++c.videoFrames;
            } else {
                c.audioSamples += frame->nb_samples;
                c.sampleRate = frame->sample_rate;
                c.channels = frame->ch_layout.nb_channels;
                for (int ch = 0; ch < c.channels; ++ch)
                    for (int i = 0; i < frame->nb_samples; ++i) {
                        const double v = SampleValue(frame.get(), ch, i);
                        squares += v * v;
                    }
            }
            AV.av_frame_unref(frame.get());
        }
    };
    while (AV.av_read_frame(ic.get(), pkt.get()) >= 0) {
        for (int k = 0; k < 2; ++k)
            if (dec[k] && pkt->stream_index == streams[k]) {
                AV.avcodec_send_packet(dec[k].get(), pkt.get());
                drain(k);
            }
        AV.av_packet_unref(pkt.get());
    }
    for (int k = 0; k < 2; ++k)
        if (dec[k]) {
            AV.avcodec_send_packet(dec[k].get(), nullptr);
            drain(k);
        }
    if (c.audioSamples > 0 && c.channels > 0)
        c.audioRms = std::sqrt(squares / static_cast<double>(c.audioSamples * c.channels));
    return c;
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
