// The engine component: its task list, runs on worker threads, stopping,
// and the four events.
#include "engine/ff_engine.h"

#include "media/ffmpeg_loader.h"
#include "media/ffmpeg_logger.h"
#include "platform/error.h"
#include "platform/main_thread.h"

#include <algorithm>
#include <chrono>
#include <exception>

namespace vexa {

namespace {

// The engine whose OnTerminate handler this thread is running directly, with
// the end lock held (a run without threads).
thread_local const TCustomFFEngine* tDirectTerminate = nullptr;

std::string CurrentExceptionText()
{
    try {
        throw;
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown exception";
    }
}

}  // namespace

// ---- TFFmpeg ----

TFFmpeg::TFFmpeg(int maxFiles) : TCustomFFmpeg(maxFiles)
{
    const size_t n = static_cast<size_t>(MaxFiles());
    FAVProbes.resize(n);
    FInputOptions.resize(n);
    FOutputOptions.resize(n);
}

TFFmpeg::~TFFmpeg()
{
    // The worker must be gone before the probes and records it may touch.
    StopAndJoin();
    BeforeCloseInputs();
}

TAVProbe* TFFmpeg::Probe(int slot)
{
    std::lock_guard<std::mutex> g(FProbeLock);
    if (slot < 0 || static_cast<size_t>(slot) >= FAVProbes.size())
        return nullptr;
    return FAVProbes[static_cast<size_t>(slot)].get();
}

void TFFmpeg::AttachProbe(int slot)
{
    auto probe = std::make_unique<TAVProbe>();
    probe->SetFileHandle(InputFile(slot).ctx.get());
    std::lock_guard<std::mutex> g(FProbeLock);
    FAVProbes[static_cast<size_t>(slot)] = std::move(probe);
}

void TFFmpeg::BeforeCloseInputs()
{
    std::lock_guard<std::mutex> g(FProbeLock);
    for (auto& probe : FAVProbes)
        if (probe)
            probe->SetFileHandle(nullptr);
}

const TInputOptions* TFFmpeg::InputOptions(int slot) const
{
    return FInputOptions.at(static_cast<size_t>(slot)).get();
}

const TOutputOptions* TFFmpeg::OutputOptions(int slot) const
{
    return FOutputOptions.at(static_cast<size_t>(slot)).get();
}

void TFFmpeg::StoreInputOptions(int slot, const TInputOptions& options)
{
    FInputOptions.at(static_cast<size_t>(slot)) = std::make_unique<TInputOptions>(options);
}

void TFFmpeg::StoreOutputOptions(int slot, const TOutputOptions& options)
{
    FOutputOptions.at(static_cast<size_t>(slot)) = std::make_unique<TOutputOptions>(options);
}

void TFFmpeg::ResetInputOptions(int slot)
{
    auto& o = FInputOptions.at(static_cast<size_t>(slot));
    if (o)
        InitInputOptions(*o);
}

void TFFmpeg::ResetOutputOptions(int slot)
{
    auto& o = FOutputOptions.at(static_cast<size_t>(slot));
    if (o)
        InitOutputOptions(*o);
}

// ---- TFFmpegList ----

int TFFmpegList::Add(std::unique_ptr<TFFmpeg> task)
{
    FList.push_back(std::move(task));
    return Count() - 1;
}

void TFFmpegList::Clear()
{
    // Tasks are freed one by one, each joining its own threads.
    while (!FList.empty())
        FList.pop_back();
}

void TFFmpegList::Delete(int index)
{
    if (index < 0 || index >= Count())
        RaiseFmt("List index out of bounds (%d)", index);
    FList.erase(FList.begin() + index);
}

void TFFmpegList::Exchange(int index1, int index2)
{
    std::swap(FList.at(static_cast<size_t>(index1)), FList.at(static_cast<size_t>(index2)));
}

int TFFmpegList::IndexOf(const TCustomFFmpeg* task) const
{
    for (size_t i = 0; i < FList.size(); ++i)
        if (FList[i].get() == task)
            return static_cast<int>(i);
    return -1;
}

void TFFmpegList::Pause()
{
    for (auto& t : FList)
        t->Pause();
}

void TFFmpegList::Resume()
{
    for (auto& t : FList)
        t->Resume();
}

void TFFmpegList::Stop(bool AWaitFor)
{
    for (auto& t : FList)
        t->Stop(AWaitFor);
}

void TFFmpegList::SetPostHooks(TPostHooks add, TPostHooks remove)
{
    for (auto& t : FList)
        t->ChangePostHooks(add, remove);
}

// ---- TCustomFFEngine ----

TCustomFFEngine::TCustomFFEngine() = default;

TCustomFFEngine::~TCustomFFEngine()
{
    Shutdown();
}

void TCustomFFEngine::Shutdown()
{
    // Workers call back into the component: they end before it goes.
    if (FWorking.load() && !FTerminated.load())
        Stop(true);
    FFFmpegList.Clear();
    ReapEventThreads(true);
    // Each lock is taken once more so that no handler still runs under it.
    { std::lock_guard<std::mutex> g(FHookLock); }
    { std::lock_guard<std::mutex> g(FPreviewLock); }
    { std::lock_guard<std::mutex> g(FProgressLock); }
    { std::lock_guard<std::recursive_mutex> g(FTerminateLock); }
}

std::string TCustomFFEngine::LastErrMsg() const
{
    std::lock_guard<std::mutex> g(FErrLock);
    return FLastErrMsg;
}

void TCustomFFEngine::SetLastErrMsg(const std::string& text)
{
    std::lock_guard<std::mutex> g(FErrLock);
    FLastErrMsg = text;
}

bool TCustomFFEngine::AVLibLoaded() const
{
    return AVLibSetLoaded(kEngineLibraries);
}

bool TCustomFFEngine::LoadAVLib(const std::string& APath)
{
    std::string err;
    if (LoadAVLibSet(kEngineLibraries, APath, err))
        return true;
    SetLastErrMsg(err);
    return false;
}

void TCustomFFEngine::UnloadAVLib()
{
    UnloadAVLibSet(kEngineLibraries);
}

void TCustomFFEngine::CheckWorking(const char* what) const
{
    if (FWorking.load())
        RaiseFmt("Cannot %s while working.", what);
}

void TCustomFFEngine::ClearTasks()
{
    if (FWorking.load() && !FTerminated.load())
        Raise("Cannot ClearTasks while working.");
    FFFmpegList.Clear();
    ReapEventThreads(false);
    SetLastErrMsg("");
    FCompleteTasks.store(0);
    FCurrentTask.store(-1);
    FPendingTasks.store(0);
    FTerminated.store(false);
    FThreadMode.store(false);
    FWorking.store(false);
}

void TCustomFFEngine::Exchange(int ATaskIndex1, int ATaskIndex2)
{
    CheckWorking("Exchange");
    FFFmpegList.Exchange(ATaskIndex1, ATaskIndex2);
}

void TCustomFFEngine::RemoveTask(int ATaskIndex)
{
    CheckWorking("RemoveTask");
    FFFmpegList.Delete(ATaskIndex);
}

TAVProbe* TCustomFFEngine::TaskInputProbe(int TaskIndex, int FileIndex)
{
    return FFFmpegList.Get(TaskIndex)->Probe(FileIndex);
}

void TCustomFFEngine::SetPreview(bool value)
{
    FPreview.store(value);
    FFFmpegList.SetPostHooks(value ? phPreview : 0, value ? 0 : phPreview);
}

void TCustomFFEngine::SetPreviewBitmap(bool value)
{
    FPreviewBitmap.store(value);
    FFFmpegList.SetPostHooks(value ? phBitmap : 0, value ? 0 : phBitmap);
}

void TCustomFFEngine::SetProgressInterval(int milliseconds)
{
    FProgressInterval.store(milliseconds <= 100 ? 100 : milliseconds);
}

void TCustomFFEngine::Start(int AThreadCount)
{
    CheckWorking("StartTask");
    {
        std::lock_guard<std::recursive_mutex> g(FTerminateLock);
        FCompleteTasks.store(0);
        FCurrentTask.store(0);
        FPendingTasks.store(FFFmpegList.Count());
        FTerminated.store(false);
        FThreadMode.store(AThreadCount > 0);
        FTasksAtOnce.store(AThreadCount > 1 ? AThreadCount : 1);
        FRunEnded.store(false);
        FWorking.store(true);
        // Nothing to run: the run ends at once instead of never.
        if (FFFmpegList.Count() == 0) {
            AllTasksDone();
            return;
        }
    }
    while (FPendingTasks.load() > 0) {
        StartNextTask();
        if (FThreadMode.load()) {
            if (AThreadCount <= 1)
                break;
            --AThreadCount;
        }
    }
    // Tasks that a handler stopped before they started end on short-lived
    // threads of their own; a run without threads still ends inside Start.
    if (!FThreadMode.load())
        while (!platform::MainThread::WaitServing([this] { return FRunEnded.load(); }, std::chrono::milliseconds(20))) {
        }
}

void TCustomFFEngine::StartNextTask()
{
    std::unique_lock<std::recursive_mutex> g(FTerminateLock);
    if (FPendingTasks.load() <= 0)
        return;
    const int pending = FPendingTasks.fetch_sub(1);
    TFFmpeg* task = FFFmpegList.Get(FCurrentTask.fetch_add(1));
    task->SetTasksAtOnce(std::min(FTasksAtOnce.load(), pending));
    task->ReportInterval.store(static_cast<int64_t>(FProgressInterval.load()) * 1000);
    if (FThreadMode.load()) {
        task->StartConvert(true, FThreadPriority.load());
        return;
    }
    g.unlock();
    task->StartConvert(false);
}

void TCustomFFEngine::Pause()
{
    FFFmpegList.Pause();
}

void TCustomFFEngine::Resume()
{
    FFFmpegList.Resume();
}

void TCustomFFEngine::Stop(bool AWaitFor)
{
    // Without a run there is nothing to end; a task ended now could never
    // run in the next one.
    if (!FWorking.load() || FTerminated.load())
        return;
    // The end events of the tasks stopped here need the end lock, which this
    // thread holds while it runs an OnTerminate handler of a run without
    // threads: waiting for them would be waiting for itself.
    if (tDirectTerminate == this)
        AWaitFor = false;
    {
        std::lock_guard<std::recursive_mutex> g(FTerminateLock);
        FPendingTasks.store(0);
    }
    FFFmpegList.Stop(AWaitFor);
}

void TCustomFFEngine::CallTerminateHandler(const TTerminateEvent& handler, const TTerminateInfo& info)
{
    // A failing handler must neither keep the run from ending nor end the
    // process: its failure goes to the log.
    try {
        handler(this, info);
    } catch (...) {
        LogMessage(this, llError, "Error occurs OnTerminate: " + CurrentExceptionText());
    }
}

void TCustomFFEngine::DeliverTerminate(const TTerminateInfo& info)
{
    if (!OnTerminate)
        return;
    if (!FThreadMode.load()) {
        const TCustomFFEngine* outer = tDirectTerminate;
        tDirectTerminate = this;
        CallTerminateHandler(OnTerminate, info);
        tDirectTerminate = outer;
        return;
    }
    ReapEventThreads(false);
    auto done = std::make_shared<std::atomic<bool>>(false);
    {
        std::lock_guard<std::mutex> g(FEventDoneLock);
        FRunningEventThreads.fetch_add(1);
    }
    std::thread t([this, handler = OnTerminate, copy = info, done] {
        // The end of the run is the last event the host sees: it waits for
        // the event threads of the tasks.
        if (copy.TaskIndex == -1) {
            std::unique_lock<std::mutex> g(FEventDoneLock);
            FEventDone.wait(g, [this] { return FRunningEventThreads.load() == 1; });
        }
        CallTerminateHandler(handler, copy);
        done->store(true);
        {
            std::lock_guard<std::mutex> g(FEventDoneLock);
            FRunningEventThreads.fetch_sub(1);
        }
        FEventDone.notify_all();
        platform::MainThread::NotifyWaiters();
    });
    std::lock_guard<std::mutex> g(FEventThreadLock);
    FEventThreads.push_back(TEventThread{std::move(t), std::move(done)});
}

void TCustomFFEngine::ReapEventThreads(bool all)
{
    if (all)
        while (!platform::MainThread::WaitServing([this] { return FRunningEventThreads.load() == 0; },
                                                  std::chrono::milliseconds(20))) {
        }
    std::vector<TEventThread> finished;
    {
        std::lock_guard<std::mutex> g(FEventThreadLock);
        for (auto it = FEventThreads.begin(); it != FEventThreads.end();) {
            if (it->done->load() && it->thread.get_id() != std::this_thread::get_id()) {
                finished.push_back(std::move(*it));
                it = FEventThreads.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (TEventThread& t : finished)
        t.thread.join();
}

void TCustomFFEngine::DoTerminate(TCustomFFmpeg* ATask)
{
    std::lock_guard<std::recursive_mutex> g(FTerminateLock);
    if (OnTerminate) {
        FTerminateInfo.TaskIndex = FFFmpegList.IndexOf(ATask);
        FTerminateInfo.Finished = ATask->Finished();
        FTerminateInfo.Exception = ATask->FatalException();
        FTerminateInfo.ExceptionMsg = ATask->FatalMessage();
        const bool clean = FTerminateInfo.Finished && !FTerminateInfo.Exception;
        FTerminateInfo.InputReached = clean ? ATask->InputReached() : -1;
        FTerminateInfo.InputDeclared = clean ? ATask->InputDeclared() : -1;
        DeliverTerminate(FTerminateInfo);
    }
    FCompleteTasks.fetch_add(1);
    if (FPendingTasks.load() > 0) {
        if (FThreadMode.load())
            StartNextTask();
    } else if (FCompleteTasks.load() >= FFFmpegList.Count() && !FTerminated.load()) {
        AllTasksDone();
    }
}

void TCustomFFEngine::AllTasksDone()
{
    std::lock_guard<std::recursive_mutex> g(FTerminateLock);
    // Ended before the event goes out, so that its handler may clear the
    // list at once.
    FTerminated.store(true);
    if (OnTerminate) {
        FTerminateInfo = TTerminateInfo{};
        FTerminateInfo.TaskIndex = -1;
        FTerminateInfo.Finished = true;
        DeliverTerminate(FTerminateInfo);
    }
    FRunEnded.store(true);
    platform::MainThread::NotifyWaiters();
}

void TCustomFFEngine::DoProgress(TCustomFFmpeg* ATask, int AFileIndex, int AFrameNumber, int AFPS, float AQuality,
                                 float ABitRate, int64_t ACurrentSize, int64_t ACurrentDuration,
                                 int64_t ATotalDuration)
{
    if (!OnProgress)
        return;
    std::lock_guard<std::mutex> g(FProgressLock);
    FProgressInfo.TaskIndex = FFFmpegList.IndexOf(ATask);
    FProgressInfo.FileIndex = AFileIndex;
    FProgressInfo.FrameNumber = AFrameNumber;
    FProgressInfo.FPS = AFPS;
    FProgressInfo.Quality = AQuality;
    FProgressInfo.BitRate = ABitRate;
    FProgressInfo.CurrentSize = ACurrentSize;
    FProgressInfo.CurrentDuration = ACurrentDuration;
    FProgressInfo.TotalDuration = ATotalDuration;
    if (FTriggerEventInMainThread.load())
        platform::MainThread::Synchronize([this] { OnProgress(this, FProgressInfo); });
    else
        OnProgress(this, FProgressInfo);
}

void TCustomFFEngine::DoPreviewBitmap(TCustomFFmpeg* ATask, const platform::Bitmap* ABitmap, int AFrameNumber,
                                      int64_t APTS)
{
    if (!OnPreviewBitmap)
        return;
    std::lock_guard<std::mutex> g(FPreviewLock);
    FPreviewInfo.TaskIndex = FFFmpegList.IndexOf(ATask);
    FPreviewInfo.Bitmap = ABitmap;
    FPreviewInfo.FrameNumber = AFrameNumber;
    FPreviewInfo.PTS = APTS;
    if (FTriggerEventInMainThread.load())
        platform::MainThread::Synchronize([this] { OnPreviewBitmap(this, FPreviewInfo); });
    else
        OnPreviewBitmap(this, FPreviewInfo);
}

void TCustomFFEngine::DoCustomHook(TCustomFFmpeg* ATask, platform::Bitmap* ABitmap, int AFrameNumber, int64_t APTS,
                                   bool& AUpdate, bool& AStopHook)
{
    if (!OnCustomHook)
        return;
    std::lock_guard<std::mutex> g(FHookLock);
    FHookInfo.TaskIndex = FFFmpegList.IndexOf(ATask);
    FHookInfo.Bitmap = ABitmap;
    FHookInfo.FrameNumber = AFrameNumber;
    FHookInfo.PTS = APTS;
    FHookInfo.Update = AUpdate;
    FHookInfo.StopHook = AStopHook;
    OnCustomHook(this, FHookInfo);
    AUpdate = FHookInfo.Update;
    AStopHook = FHookInfo.StopHook;
}

}  // namespace vexa
