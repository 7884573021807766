#include "app/engine_run.h"

#include "platform/main_thread.h"

#include <chrono>

namespace vexa::app {

namespace {

platform::TThreadPriority EnginePriority(TThreadPriorityChoice choice)
{
    switch (choice) {
    case tpIdle: return platform::TThreadPriority::tpIdle;
    case tpLowest: return platform::TThreadPriority::tpLowest;
    case tpLower: return platform::TThreadPriority::tpLower;
    case tpNormal: break;
    }
    return platform::TThreadPriority::tpNormal;
}

}  // namespace

TEngineRun::TEngineRun() : engine_(std::make_unique<TFFEngine>()) {}

TEngineRun::~TEngineRun()
{
    events_ = {};
    engine_.reset();
}

void TEngineRun::Connect(TRunEvents events)
{
    events_ = std::move(events);
}

void TEngineRun::SetThreadPriority(TThreadPriorityChoice priority)
{
    engine_->SetThreadPriority(EnginePriority(priority));
}

void TEngineRun::ClearTasks()
{
    engine_->ClearTasks();
}

int TEngineRun::TaskCount() const
{
    return engine_->TasksCount();
}

void TEngineRun::RemoveTask(int task)
{
    engine_->RemoveTask(task);
}

int TEngineRun::AddTask(const std::string& inputFile, const TInputOptions& input)
{
    return engine_->AddTask(inputFile, &input);
}

bool TEngineRun::SetOutputFile(int task, const std::string& outputFile, const TOutputOptions& output)
{
    return engine_->SetOutputFile(task, outputFile, &output);
}

std::string TEngineRun::LastError() const
{
    return engine_->LastErrMsg();
}

void TEngineRun::Start(int threadCount, int run)
{
    // The handlers are set per run (no worker of an earlier run is left at
    // this point), so every event knows the run it belongs to.
    engine_->OnProgress = [this, run](TCustomFFEngine*, TProgressInfo& info) {
        // Already on the main thread: the component hands progress over.
        if (events_.Progress)
            events_.Progress(run, info);
    };
    engine_->OnTerminate = [this, run](TCustomFFEngine*, const TTerminateInfo& info) {
        platform::MainThread::Synchronize([this, run, &info] {
            if (events_.Terminate)
                events_.Terminate(run, info);
        });
    };
    engine_->Start(threadCount);
}

void TEngineRun::Pause()
{
    engine_->Pause();
}

void TEngineRun::Resume()
{
    engine_->Resume();
}

void TEngineRun::Stop()
{
    // Without a run there is nothing to stop; the check tasks of adding stay.
    if (!engine_->Working() || engine_->Terminated())
        return;
    engine_->Stop(true);
    // The tasks have left their conversion; the run counts as ended once the
    // last one has reported its end, which the window's clearing needs.
    while (!platform::MainThread::WaitServing([this] { return !engine_->Working() || engine_->Terminated(); },
                                              std::chrono::milliseconds(20))) {
    }
}

void TEngineRun::SetPreview(bool on)
{
    engine_->SetPreview(on);
}

}  // namespace vexa::app
