#pragma once
// A main window on a scratch settings file and home folder, with the shell,
// message boxes and engine replaced by recorders.
#include "jobs/job_list.h"
#include "app/main_window.h"
#include "app/run_engine.h"
#include "platform/shell.h"

#include <gtest/gtest.h>

#include <QString>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace vexa::app::test {

// Records what the window asks; with a component attached, adding works on
// that real engine and clearing or removing reaches its check tasks too.
class TFakeEngine : public TRunEngine {
public:
    TCustomFFEngine* Component() override { return component; }
    void Connect(TRunEvents e) override { events = std::move(e); }
    void SetThreadPriority(TThreadPriorityChoice p) override { calls.push_back("priority " + std::to_string(p)); }
    void ClearTasks() override;
    int TaskCount() const override;
    void RemoveTask(int task) override;
    int AddTask(const std::string& file, const TInputOptions&) override;
    bool SetOutputFile(int task, const std::string& file, const TOutputOptions&) override
    {
        calls.push_back("output " + std::to_string(task) + " " + file);
        return true;
    }
    std::string LastError() const override { return "Cannot open " + lastFailed; }
    void Start(int threads, int run) override
    {
        calls.push_back("start " + std::to_string(threads));
        lastRun = run;
    }
    void Pause() override { calls.push_back("pause"); }
    void Resume() override { calls.push_back("resume"); }
    void Stop() override { calls.push_back("stop"); }
    void SetPreview(bool on) override { calls.push_back(on ? "preview on" : "preview off"); }

    std::vector<std::string> calls;
    int tasks = 0;
    int lastRun = -1;
    // Inputs whose task cannot be made, as for a file deleted since adding.
    std::vector<std::string> failing;
    std::string lastFailed;
    TRunEvents events;
    TCustomFFEngine* component = nullptr;
};

// An end event: of a task, or of the run for -1; an error message makes it a
// failed one.
inline TTerminateInfo End(int task, bool finished = true, std::string error = {})
{
    TTerminateInfo info;
    info.TaskIndex = task;
    info.Finished = finished;
    info.Exception = !error.empty();
    info.ExceptionMsg = std::move(error);
    return info;
}

struct TMessage {
    QString title;
    QString text;
};

class GuiTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A fresh window on this test's settings, as a restart would make it.
    std::unique_ptr<TMainWindow> MakeWindow();
    void WriteIni(const std::string& text) const;
    std::string IniValue(const char* section, const char* key) const;
    // A job row for the current format, as adding a file named name gives it.
    TJobRow JobRow(TMainWindow& window, const std::string& name, int taskNumber) const;
    void AddJob(TMainWindow& window, const std::string& name);
    std::vector<platform::RecordingShell::Call> ShellCalls() const;

    std::filesystem::path dir_;
    TSettingsLocation location_;
    platform::RecordingShell* shell_ = nullptr;
    std::vector<TMessage> messages_;
    TFakeEngine engine_;
    std::unique_ptr<TMainWindow> window_;
};

}  // namespace vexa::app::test
