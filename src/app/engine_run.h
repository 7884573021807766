#pragma once
// The window's engine: the conversion engine component behind TRunEngine.
// Progress comes to the main thread by the component's own hand-off; the end
// events, which the component raises on short-lived threads of its own, are
// handed to the main thread here before the window sees them.
#include "app/run_engine.h"
#include "engine/ff_engine.h"

#include <memory>

namespace vexa::app {

class TEngineRun : public TRunEngine {
public:
    TEngineRun();
    ~TEngineRun() override;

    TCustomFFEngine* Component() override { return engine_.get(); }
    void Connect(TRunEvents events) override;
    void SetThreadPriority(TThreadPriorityChoice priority) override;
    void ClearTasks() override;
    int TaskCount() const override;
    void RemoveTask(int task) override;
    int AddTask(const std::string& inputFile, const TInputOptions& input) override;
    bool SetOutputFile(int task, const std::string& outputFile, const TOutputOptions& output) override;
    std::string LastError() const override;
    void Start(int threadCount, int run) override;
    void Pause() override;
    void Resume() override;
    void Stop() override;
    void SetPreview(bool on) override;

private:
    // Main-thread only: the engine's threads reach it through hand-offs.
    TRunEvents events_;
    std::unique_ptr<TFFEngine> engine_;
};

}  // namespace vexa::app
