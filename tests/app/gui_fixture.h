#pragma once
// A main window on a scratch settings file and home folder, with the shell,
// message boxes and engine replaced by recorders.
#include "app/jobs/job_list.h"
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

class TFakeEngine : public TRunEngine {
public:
    void SetThreadPriority(TThreadPriorityChoice p) override { calls.push_back("priority " + std::to_string(p)); }
    void ClearTasks() override
    {
        calls.push_back("clear");
        tasks = 0;
    }
    int TaskCount() const override { return tasks; }
    void RemoveTask(int task) override
    {
        calls.push_back("remove " + std::to_string(task));
        --tasks;
    }
    int AddTask(const std::string& file, const TInputOptions&) override
    {
        calls.push_back("add " + file);
        return tasks++;
    }
    bool SetOutputFile(int task, const std::string& file, const TOutputOptions&) override
    {
        calls.push_back("output " + std::to_string(task) + " " + file);
        return true;
    }
    void Start(int threads) override { calls.push_back("start " + std::to_string(threads)); }
    void Pause() override { calls.push_back("pause"); }
    void Resume() override { calls.push_back("resume"); }
    void Stop() override { calls.push_back("stop"); }
    void SetPreview(bool on) override { calls.push_back(on ? "preview on" : "preview off"); }

    std::vector<std::string> calls;
    int tasks = 0;
};

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
