#pragma once
// What the window asks of the conversion engine during a run. The engine
// component is adapted to this, and tests put a recording fake in its place.
#include "app/jobs/app_settings.h"
#include "engine/ff_options.h"

#include <string>

namespace vexa::app {

class TRunEngine {
public:
    virtual ~TRunEngine() = default;
    virtual void SetThreadPriority(TThreadPriorityChoice priority) = 0;
    virtual void ClearTasks() = 0;
    virtual int TaskCount() const = 0;
    virtual void RemoveTask(int task) = 0;
    // The new task's index, negative when it cannot be created.
    virtual int AddTask(const std::string& inputFile, const TInputOptions& input) = 0;
    virtual bool SetOutputFile(int task, const std::string& outputFile, const TOutputOptions& output) = 0;
    virtual void Start(int threadCount) = 0;
    virtual void Pause() = 0;
    virtual void Resume() = 0;
    // Returns once every converting task has left its conversion; the run's
    // end events follow as after any run.
    virtual void Stop() = 0;
    virtual void SetPreview(bool on) = 0;
};

}  // namespace vexa::app
