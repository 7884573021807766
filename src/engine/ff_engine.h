#pragma once
// The conversion engine component: an ordered list of tasks built from
// option records or option texts, run one after another or several at once
// on worker threads, reporting through four events.
//
// Threads: every operation is called from the host's main thread.
// OnProgress and OnPreviewBitmap arrive on the main thread while
// TriggerEventInMainThread is on (the worker waits for the handler),
// otherwise on the worker. OnCustomHook always runs on the worker.
// OnTerminate runs on a fresh short-lived thread per event in thread mode
// (Start with a thread count above 0), on the thread that called Start
// otherwise. Each event kind has its own lock, held while its handler runs.
#include "engine/custom_ffmpeg.h"
#include "engine/ff_options.h"
#include "media/av_probe.h"
#include "platform/thread.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace vexa {

// One task: a transcoder with a probe and private copies of the option
// records for each of its inputs and outputs.
class TFFmpeg : public TCustomFFmpeg {
public:
    explicit TFFmpeg(int maxFiles);
    ~TFFmpeg() override;

    // Null when the input slot holds no opened input.
    TAVProbe* Probe(int slot);
    void AttachProbe(int slot);
    const TInputOptions* InputOptions(int slot) const;
    const TOutputOptions* OutputOptions(int slot) const;
    void StoreInputOptions(int slot, const TInputOptions& options);
    void StoreOutputOptions(int slot, const TOutputOptions& options);
    void ResetInputOptions(int slot);
    void ResetOutputOptions(int slot);

protected:
    void BeforeCloseInputs() override;

private:
    std::mutex FProbeLock;
    std::vector<std::unique_ptr<TAVProbe>> FAVProbes;
    std::vector<std::unique_ptr<TInputOptions>> FInputOptions;
    std::vector<std::unique_ptr<TOutputOptions>> FOutputOptions;
};

// Owns its tasks, in list order.
class TFFmpegList {
public:
    int Add(std::unique_ptr<TFFmpeg> task);
    void Clear();
    void Delete(int index);
    void Exchange(int index1, int index2);
    TFFmpeg* Get(int index) const { return FList.at(static_cast<size_t>(index)).get(); }
    int IndexOf(const TCustomFFmpeg* task) const;
    int Count() const { return static_cast<int>(FList.size()); }
    void Pause();
    void Resume();
    void Stop(bool AWaitFor);
    void SetPostHooks(TPostHooks add, TPostHooks remove);

private:
    std::vector<std::unique_ptr<TFFmpeg>> FList;
};

// name=value lines of an ExtOptions text: trimmed, any line break or a
// literal "<CRLF>" ends a line, split at the first "=".
std::vector<std::pair<std::string, std::string>> ParseExtOptions(const std::string& text);

// Appends name=value lines to a record's ExtOptions so that they decide over
// the record's own fields: a field that feeds the same option takes the
// line's value, or is unset where the line's value goes in as it is.
void OverrideOutputOptions(TOutputOptions& options, const std::string& lines);

class TCustomFFEngine {
public:
    using TCustomHookEvent = std::function<void(TCustomFFEngine* Sender, THookInfo& Info)>;
    using TPreviewBitmapEvent = std::function<void(TCustomFFEngine* Sender, const TPreviewInfo& Info)>;
    using TProgressEvent = std::function<void(TCustomFFEngine* Sender, TProgressInfo& Info)>;
    using TTerminateEvent = std::function<void(TCustomFFEngine* Sender, const TTerminateInfo& Info)>;

    TCustomFFEngine();
    virtual ~TCustomFFEngine();
    TCustomFFEngine(const TCustomFFEngine&) = delete;
    TCustomFFEngine& operator=(const TCustomFFEngine&) = delete;

    bool AVLibLoaded() const;
    bool LoadAVLib(const std::string& APath);
    void UnloadAVLib();

    // Task index, or -1 with LastErrMsg.
    int AddTask(const std::string& AFileName, const TInputOptions* AOptions = nullptr);
    int AddTask(const std::string& AFileName, const std::string& AExtOptions);
    // Host streams need a protocol this system does not register: refused.
    int AddTask(const void* AStream, const std::string& APrivateData, const TInputOptions* AOptions);
    bool AddInputFile(int ATaskIndex, const std::string& AFileName, const TInputOptions* AOptions = nullptr);
    bool AddInputFile(int ATaskIndex, const std::string& AFileName, const std::string& AExtOptions);
    bool SetOutputFile(int ATaskIndex, const std::string& AFileName, const TOutputOptions* AOptions = nullptr);
    bool SetOutputFile(int ATaskIndex, const std::string& AFileName, const std::string& AExtOptions);
    bool SetOutputStream(int ATaskIndex, const void* AStream, const TOutputOptions* AOptions,
                         const std::string& APrivateData);
    void ClearTasks();
    void Exchange(int ATaskIndex1, int ATaskIndex2);
    void RemoveTask(int ATaskIndex);

    void Start(int AThreadCount);
    void Pause();
    void Resume();
    void Stop(bool AWaitFor);

    TAVProbe* TaskInputProbe(int TaskIndex, int FileIndex);
    TFFmpeg* Task(int TaskIndex) const { return FFFmpegList.Get(TaskIndex); }

    // Properties.
    std::string LastErrMsg() const;
    void* UserData = nullptr;
    int CustomMaxFiles() const { return FCustomMaxFiles; }
    void SetCustomMaxFiles(int value) { FCustomMaxFiles = value; }
    bool Preview() const { return FPreview.load(); }
    void SetPreview(bool value);
    bool PreviewBitmap() const { return FPreviewBitmap.load(); }
    void SetPreviewBitmap(bool value);
    int ProgressInterval() const { return FProgressInterval.load(); }
    void SetProgressInterval(int milliseconds);
    platform::TThreadPriority ThreadPriority() const { return FThreadPriority.load(); }
    void SetThreadPriority(platform::TThreadPriority value) { FThreadPriority.store(value); }
    bool TriggerEventInMainThread() const { return FTriggerEventInMainThread.load(); }
    void SetTriggerEventInMainThread(bool value) { FTriggerEventInMainThread.store(value); }
    int Verbose() const { return FVerbose; }
    void SetVerbose(int value) { FVerbose = value; }
    int TasksCount() const { return FFFmpegList.Count(); }
    static std::string Version() { return "Vexa engine 1.0"; }
    bool Terminated() const { return FTerminated.load(); }
    bool Working() const { return FWorking.load(); }
    TAVProbe& AVProbe() { return FAVProbe; }
    std::string About;

    // Events; assign them before Start.
    TCustomHookEvent OnCustomHook;
    TPreviewBitmapEvent OnPreviewBitmap;
    TProgressEvent OnProgress;
    TTerminateEvent OnTerminate;

protected:
    virtual void DoCustomHook(TCustomFFmpeg* ATask, platform::Bitmap* ABitmap, int AFrameNumber, int64_t APTS,
                              bool& AUpdate, bool& AStopHook);
    virtual void DoPreviewBitmap(TCustomFFmpeg* ATask, const platform::Bitmap* ABitmap, int AFrameNumber,
                                 int64_t APTS);
    virtual void DoProgress(TCustomFFmpeg* ATask, int AFileIndex, int AFrameNumber, int AFPS, float AQuality,
                            float ABitRate, int64_t ACurrentSize, int64_t ACurrentDuration, int64_t ATotalDuration);
    virtual void DoTerminate(TCustomFFmpeg* ATask);

    // Stops the run with waiting, frees the tasks and joins the event
    // threads. The dispatchers are virtual, so every class that derives
    // calls it first in its own destructor: a worker must not call into a
    // half-destroyed component.
    void Shutdown();
    void CheckWorking(const char* what) const;
    void StartNextTask();
    void AllTasksDone();
    void DeliverTerminate(const TTerminateInfo& info);
    void CallTerminateHandler(const TTerminateEvent& handler, const TTerminateInfo& info);
    void ReapEventThreads(bool all);

    // Option steps of a task.
    void ApplyExtOptions(TFFmpeg& task, const std::string& text, bool forInput);
    using TOptionList = std::vector<std::pair<std::string, std::string>>;
    void BuildCodecDefaults(TOptionList& list, const TOutputOptions& options);
    void ApplyTarget(TFFmpeg& task, const TOutputOptions& options);
    void ApplyOutputOptions(TFFmpeg& task, const TOutputOptions& options);
    void ApplyNewStreamOptions(TFFmpeg& task, const std::string& text, TOutputOptions* options, TOptionList& list);
    bool OpenTaskInput(TFFmpeg& task, const std::string& AFileName, const TInputOptions* AOptions);
    void ConnectTask(TFFmpeg& task);

private:
    mutable std::mutex FErrLock;
    std::string FLastErrMsg;
    int FCustomMaxFiles = 20;
    std::atomic<bool> FPreview{false};
    std::atomic<bool> FPreviewBitmap{false};
    std::atomic<int> FProgressInterval{500};
    std::atomic<platform::TThreadPriority> FThreadPriority{platform::TThreadPriority::tpNormal};
    std::atomic<bool> FTriggerEventInMainThread{true};
    int FVerbose = 1;
    THookInfo FHookInfo;
    TProgressInfo FProgressInfo;
    TTerminateInfo FTerminateInfo;
    TPreviewInfo FPreviewInfo;
    std::mutex FHookLock, FPreviewLock, FProgressLock;
    std::recursive_mutex FTerminateLock;  // also guards taking the next task
    TAVProbe FAVProbe;
    TFFmpegList FFFmpegList;
    std::atomic<int> FCompleteTasks{0};
    std::atomic<int> FCurrentTask{-1};
    std::atomic<int> FPendingTasks{0};
    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FThreadMode{false};
    std::atomic<int> FTasksAtOnce{1};  // the run's jobs at once, for the tasks' share of cores
    std::atomic<bool> FWorking{false};
    std::atomic<bool> FRunEnded{false};  // the run's final event was delivered (or started on its thread)

    struct TEventThread {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::mutex FEventThreadLock;
    std::vector<TEventThread> FEventThreads;
    std::atomic<int> FRunningEventThreads{0};
    std::mutex FEventDoneLock;
    std::condition_variable FEventDone;

    void SetLastErrMsg(const std::string& text);
};

class TFFEngine : public TCustomFFEngine {
public:
    using TCustomFFEngine::TCustomFFEngine;
    ~TFFEngine() override { Shutdown(); }
};

}  // namespace vexa
