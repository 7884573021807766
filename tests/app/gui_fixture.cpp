#include "gui_fixture.h"

#include "catalogue/job_columns.h"
#include "engine/ff_engine.h"
#include "platform/ini_file.h"
#include "platform/main_thread.h"

#include <QApplication>

#include <algorithm>
#include <fstream>

namespace vexa::app::test {

using namespace catalogue;

void TFakeEngine::ClearTasks()
{
    calls.push_back("clear");
    tasks = 0;
    if (component)
        component->ClearTasks();
}

int TFakeEngine::TaskCount() const
{
    return component ? component->TasksCount() : tasks;
}

void TFakeEngine::RemoveTask(int task)
{
    calls.push_back("remove " + std::to_string(task));
    --tasks;
    if (component)
        component->RemoveTask(task);
}

int TFakeEngine::AddTask(const std::string& file, const TInputOptions&)
{
    calls.push_back("add " + file);
    if (std::find(failing.begin(), failing.end(), file) != failing.end()) {
        lastFailed = file;
        return -1;
    }
    return tasks++;
}

void GuiTest::SetUp()
{
    dir_ = std::filesystem::path(VEXA_TEST_BINARY_DIR) / "gui-scratch" /
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_ / "home");
    location_ = {(dir_ / "option.ini").string(), (dir_ / "home").string()};
    auto shell = std::make_unique<platform::RecordingShell>();
    shell_ = shell.get();
    platform::InstallShell(std::move(shell));
}

void GuiTest::TearDown()
{
    window_.reset();
    platform::InstallShell(nullptr);
}

std::unique_ptr<TMainWindow> GuiTest::MakeWindow()
{
    auto window = std::make_unique<TMainWindow>(location_);
    window->setMessageSink([this](QMessageBox::Icon, const QString& title, const QString& text) {
        messages_.push_back({title, text});
    });
    return window;
}

void GuiTest::WriteIni(const std::string& text) const
{
    std::ofstream(location_.IniPath) << text;
}

std::string GuiTest::IniValue(const char* section, const char* key) const
{
    return platform::IniFile(location_.IniPath).ReadString(section, key, "Error");
}

TJobRow GuiTest::JobRow(TMainWindow& window, const std::string& name, int taskNumber) const
{
    TPresetPickers& pickers = window.pickers();
    TJobRow row;
    row[jcInputFile] = (dir_ / (name + ".avi")).string();
    row[jcDuration] = "00:00:10";
    row[jcFileSize] = "1MB";
    row[jcOutputFile] = name + pickers.OutputExtension();
    row[jcTaskNumber] = std::to_string(taskNumber);
    row[jcPresetKey] = std::to_string(pickers.CurrentKey());
    row[jcOptionIndex] = pickers.OptionIndexString();
    row[jcAudioChannels] = "2";
    row[jcVideoBitrate] = "816000";
    row[jcAudioBitrate] = "128000";
    row[jcSampleRate] = "44100";
    row[jcDisableVideo] = "False";
    return row;
}

void GuiTest::AddJob(TMainWindow& window, const std::string& name)
{
    const int number = window.jobModel().rowCount() + 1;
    ASSERT_TRUE(window.appendJob(JobRow(window, name, number), {}, {}));
}

std::vector<platform::RecordingShell::Call> GuiTest::ShellCalls() const
{
    return shell_->Calls();
}

}  // namespace vexa::app::test

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    vexa::platform::MainThread::SetCurrentAsMain();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
