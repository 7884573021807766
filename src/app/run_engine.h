#pragma once
// What the window asks of the conversion engine: the check tasks of adding
// and the tasks of a run. TEngineRun adapts the engine component to this, and
// tests put a recording fake in its place.
#include "jobs/app_settings.h"
#include "engine/ff_options.h"

#include <functional>
#include <string>

namespace vexa {
class TCustomFFEngine;
}

namespace vexa::app {

// The run's events as the window receives them, always on the main thread.
// Each carries the number the window gave the run at Start, so an event of an
// earlier run that arrives late can be told apart.
struct TRunEvents {
    std::function<void(int run, const TProgressInfo& info)> Progress;
    std::function<void(int run, const TTerminateInfo& info)> Terminate;
};

class TRunEngine {
public:
    virtual ~TRunEngine() = default;
    // The component the adding works with (probe, check tasks, output set-up);
    // null when there is none, and then nothing can be added.
    virtual TCustomFFEngine* Component() { return nullptr; }
    // Empty handlers disconnect; no event reaches the window afterwards.
    virtual void Connect(TRunEvents events) = 0;
    virtual void SetThreadPriority(TThreadPriorityChoice priority) = 0;
    virtual void ClearTasks() = 0;
    virtual int TaskCount() const = 0;
    virtual void RemoveTask(int task) = 0;
    // The new task's index, negative when it cannot be created; LastError
    // says why.
    virtual int AddTask(const std::string& inputFile, const TInputOptions& input) = 0;
    virtual bool SetOutputFile(int task, const std::string& outputFile, const TOutputOptions& output) = 0;
    virtual std::string LastError() const { return {}; }
    virtual void Start(int threadCount, int run) = 0;
    virtual void Pause() = 0;
    virtual void Resume() = 0;
    // Returns once every converting task has left its conversion; the run's
    // end events follow as after any run. Does nothing without a run.
    virtual void Stop() = 0;
    virtual void SetPreview(bool on) = 0;
};

}  // namespace vexa::app
