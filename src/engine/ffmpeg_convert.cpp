// Starting, stopping, pausing and ending a task's conversion, and the
// clean-up that follows it.
#include "engine/custom_ffmpeg.h"

#include "media/ffmpeg_loader.h"
#include "media/ffmpeg_logger.h"
#include "platform/main_thread.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>

namespace vexa {

namespace {

// Counted from the start of a task's conversion to the end of its clean-up,
// before its end event (which may start the next task).
std::atomic<int> gConverting{0};

// Waits serve main-thread hand-offs: a worker may be blocked delivering an
// event to the main thread that is waiting here.
void WaitForEvent(const platform::TEvent& event)
{
    while (!platform::MainThread::WaitServing([&event] { return event.IsSet(); }, std::chrono::milliseconds(20))) {
    }
}

}  // namespace

int MachineCores()
{
    // The library's count honours the process's CPU affinity.
    const int n = AV.av_cpu_count ? AV.av_cpu_count() : 1;
    return n > 0 ? n : 1;
}

int ShareOfCores(int cores, int tasks)
{
    return std::max(1, cores / std::max(1, tasks));
}

int ConvertingTasks()
{
    return gConverting.load();
}

int TCustomFFmpeg::CodecThreads() const
{
    return thread_count != kThreadsChosen ? thread_count : FCoreShare.load();
}

std::string TCustomFFmpeg::FatalMessage() const
{
    std::lock_guard<std::mutex> g(FStateLock);
    return FFatalMessage;
}

void TCustomFFmpeg::Fatal(const std::string& message)
{
    LogMessage(this, llQuiet, message);
    {
        std::lock_guard<std::mutex> g(FStateLock);
        FFatalMessage = message;
    }
    FFatalException.store(true);
}

bool TCustomFFmpeg::StartConvert(bool AUseThread, platform::TThreadPriority APriority)
{
    {
        std::lock_guard<std::mutex> g(FStateLock);
        if (FConverting.load() || FTerminated.load() || FTerminating.load())
            return false;
    }
    if (nb_output_files() == 0 || nb_input_files() == 0) {
        Fatal(nb_output_files() == 0 ? "At least one output file must be specified"
                                     : "At least one input file must be specified");
        try {
            CleanUp();
        } catch (const std::exception& e) {
            Fatal(e.what());
        }
        EndTask();
        return false;
    }
    {
        std::lock_guard<std::mutex> g(FStateLock);
        FSynchronous.store(!AUseThread);
        FInputReached.store(-1);
        FInputDeclared.store(-1);
        FConverting.store(true);
        FBroken.store(false);
        FFinished.store(false);
        FTerminated.store(false);
    }
    // Decided here, on the thread that starts tasks one after another, so
    // that tasks started together see each other.
    const int converting = gConverting.fetch_add(1) + 1;
    FCoreShare.store(ShareOfCores(MachineCores(), std::max(converting, FTasksAtOnce.load())));
    if (!AUseThread) {
        Run();
        return false;
    }
    FStopEvent.ResetEvent();
    FThread = std::make_unique<platform::TThread>();
    FThread->Start(
        [this] {
            Run();
            FStopEvent.SetEvent();
        },
        APriority);
    return true;
}

void TCustomFFmpeg::Stop(bool AWaitFor)
{
    std::unique_lock<std::mutex> g(FStateLock);
    if (FConverting.load()) {
        FBroken.store(true);
        FPaused.store(false);
        g.unlock();
        FPauseChanged.notify_all();
        // A synchronous conversion cannot be waited for from inside itself.
        if (AWaitFor && !FSynchronous.load())
            WaitForEvent(FStopEvent);
        return;
    }
    if (FTerminated.load())
        return;
    if (!FTerminating.exchange(true)) {
        FTermEvent.ResetEvent();
        FTermThread = std::make_unique<platform::TThread>();
        FTermThread->Start([this] {
            EndTask();
            FTermEvent.SetEvent();
        });
    }
    g.unlock();
    if (AWaitFor)
        WaitForEvent(FTermEvent);
}

void TCustomFFmpeg::StopAndJoin()
{
    if (FConverting.load())
        Stop(true);
    if (FThread) {
        WaitForEvent(FStopEvent);
        FThread->Join();
    }
    if (FTermThread) {
        WaitForEvent(FTermEvent);
        FTermThread->Join();
    }
}

void TCustomFFmpeg::Pause()
{
    std::lock_guard<std::mutex> g(FStateLock);
    if (FConverting.load() && !FSynchronous.load())
        FPaused.store(true);
}

void TCustomFFmpeg::Resume()
{
    {
        std::lock_guard<std::mutex> g(FStateLock);
        FPaused.store(false);
    }
    FPauseChanged.notify_all();
}

void TCustomFFmpeg::WaitWhilePaused()
{
    if (!FPaused.load())
        return;
    std::unique_lock<std::mutex> g(FStateLock);
    FPauseHeld.store(true);
    platform::MainThread::NotifyWaiters();
    FPauseChanged.wait(g, [this] { return !FPaused.load() || FBroken.load(); });
    FPauseHeld.store(false);
}

void TCustomFFmpeg::Run()
{
    FFinished.store(false);
    auto guarded = [this](auto&& step) {
        try {
            step();
        } catch (const std::exception& e) {
            Fatal(e.what());
        } catch (...) {
            Fatal("Unknown error");
        }
    };
    guarded([this] { Transcode(); });
    guarded([this] { CloseCodecs(); });
    guarded([this] { CleanUp(); });
    gConverting.fetch_sub(1);
    guarded([this] { EndTask(); });
}

void TCustomFFmpeg::EndTask()
{
    {
        std::lock_guard<std::mutex> g(FStateLock);
        FTerminated.store(true);
        FConverting.store(false);
    }
    if (FOnTerminate)
        FOnTerminate(this);
}

void TCustomFFmpeg::CleanUp()
{
    if (!AVLibSetLoaded(kEngineLibraries))
        return;
    FreeConversionState();
    CloseCodecs();
    frame_hooks.Release();
    FHookFrame.reset();
    FHookPool.Reset();
    FDecoded.reset();
    FFiltered.reset();
    FEncPacket.reset();
    FHookContext.Reset();
    std::unique_ptr<TPreviewer> previewer;
    {
        std::lock_guard<std::mutex> g(PostHookLock());
        previewer = std::move(FPostContext.Previewer);
    }
    previewer.reset();
    FPostContext.Context.Reset();
    Fvstats_file.reset();
    BeforeCloseInputs();
    FreeFiles();
}

}  // namespace vexa
