// Runs conversions through the engine component the way the application
// does, with the benchmark's settings: AVI with MPEG-4 ("XVID", 816 kbit/s,
// 25 fps) and MP3 (128 kbit/s, 44100 Hz, stereo), with the codec threads
// the engine chooses unless -x threads=N says otherwise.
//
//   vexa_bench_convert [-j THREADS] [-p MS] [-x NAME=VALUE]... INPUT OUTPUT [INPUT OUTPUT]...
//
// -j 0 (the default) converts the tasks one after another on this thread.
// -p listens to progress every MS milliseconds (delivered on this thread, as
// the application gets it); the count of events goes to stderr.
// -x adds an ExtOptions line to every output. Exit status 1 when a task fails.
#include "engine/ff_engine.h"
#include "media/ffmpeg_loader.h"
#include "media/ffmpeg_logger.h"
#include "platform/main_thread.h"
#include "platform/paths.h"

#include <atomic>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace vexa;

int main(int argc, char* argv[])
{
    std::setlocale(LC_ALL, "");
    platform::MainThread::SetCurrentAsMain();
    int threads = 0;
    int progressMs = 0;
    std::string ext;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-j" && i + 1 < argc)
            threads = std::atoi(argv[++i]);
        else if (a == "-p" && i + 1 < argc)
            progressMs = std::atoi(argv[++i]);
        else if (a == "-x" && i + 1 < argc)
            ext += std::string(argv[++i]) + "\n";
        else
            files.push_back(a);
    }
    if (files.empty() || files.size() % 2) {
        std::fprintf(stderr, "usage: %s [-j THREADS] [-p MS] [-x NAME=VALUE]... INPUT OUTPUT [INPUT OUTPUT]...\n",
                     argv[0]);
        return 2;
    }
    TFFLogger::Instance().SetLogLevel(llError);
    TFFLogger::Instance().SetTriggerEventInMainThread(false);
    TFFLogger::Instance().SetOnLog([](void*, uint32_t, TLogLevel level, const std::string& msg) {
        if (level <= llError)
            std::fprintf(stderr, "%s\n", msg.c_str());
    });
    TFFEngine engine;
    if (!engine.LoadAVLib(platform::LibraryFolder())) {
        std::fprintf(stderr, "%s\n", engine.LastErrMsg().c_str());
        return 1;
    }
    engine.SetVerbose(0);
    std::atomic<bool> failed{false}, done{false};
    engine.OnTerminate = [&](TCustomFFEngine*, const TTerminateInfo& info) {
        if (info.Exception) {
            std::fprintf(stderr, "task %d: %s\n", info.TaskIndex, info.ExceptionMsg.c_str());
            failed.store(true);
        }
        if (info.TaskIndex == -1) {
            done.store(true);
            platform::MainThread::NotifyWaiters();
        }
    };
    // What a host does with an event: keep the record.
    std::atomic<int> events{0};
    std::atomic<int64_t> reached{0};
    if (progressMs > 0) {
        engine.SetProgressInterval(progressMs);
        engine.OnProgress = [&](TCustomFFEngine*, TProgressInfo& info) {
            events.fetch_add(1);
            reached.store(info.CurrentDuration);
        };
    }
    for (size_t i = 0; i < files.size(); i += 2) {
        const int t = engine.AddTask(files[i], static_cast<const TInputOptions*>(nullptr));
        TOutputOptions o;
        o.VideoCodec = "mpeg4";
        o.VideoTag = "XVID";
        o.VideoBitrate = 816000;
        o.FrameRate = "25";
        o.AudioCodec = "libmp3lame";
        o.AudioBitrate = 128000;
        o.AudioSampleRate = 44100;
        o.AudioChannels = 2;
        o.ExtOptions = ext;
        if (t < 0 || !engine.SetOutputFile(t, files[i + 1], &o)) {
            std::fprintf(stderr, "%s\n", engine.LastErrMsg().c_str());
            return 1;
        }
    }
    engine.Start(threads);
    while (!platform::MainThread::WaitServing([&] { return done.load(); }, std::chrono::seconds(1))) {
    }
    if (progressMs > 0)
        std::fprintf(stderr, "progress events: %d\n", events.load());
    return failed.load() ? 1 : 0;
}
