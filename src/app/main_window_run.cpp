// The main window's run: building the tasks, Start, Pause, Resume, Stop, the
// engine's progress and end events, and what follows the end of a run.
#include "app/main_window.h"

#include "jobs/job_records.h"
#include "jobs/job_texts.h"
#include "app/options_dialog.h"
#include "app/preview_panel.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "platform/shell.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>

#include <algorithm>
#include <cstdio>

namespace vexa::app {

using namespace catalogue;

namespace {

// Seconds of a "hh:mm:ss" duration text; 0 for anything else ("N/A").
int64_t DurationTextSeconds(const std::string& text)
{
    int h = 0, m = 0, s = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%d:%d:%d%c", &h, &m, &s, &tail) != 3)
        return 0;
    return static_cast<int64_t>(h) * 3600 + m * 60 + s;
}

}  // namespace

void TMainWindow::setRunEngine(TRunEngine* engine)
{
    if (engine_)
        engine_->Connect({});
    engine_ = engine;
    if (!engine_)
        return;
    engine_->Connect({[this](int run, const TProgressInfo& info) { runProgress(run, info); },
                      [this](int run, const TTerminateInfo& info) { runTerminate(run, info); }});
    if (optionsDialog_)
        engine_->SetPreview(optionsDialog_->previewOn());
}

// The engine's check tasks are gone (a run clears them): the task numbers in
// column 8 name nothing any more, and must not name the check tasks of jobs
// added later.
void TMainWindow::forgetCheckTasks()
{
    for (int row = 0; row < jobModel_->rowCount(); ++row)
        jobModel_->SetCell(row, jcTaskNumber, std::string());
}

void TMainWindow::startRun()
{
    if (engine_)
        engine_->SetThreadPriority(optionsDialog_->threadPriority());
    // Every row is checked before the engine is touched: a bad row starts
    // nothing and leaves the window as it was.
    std::vector<TRunTask> tasks;
    try {
        tasks = BuildRunTasks(jobModel_->Jobs(), fileOutPutPath_.toStdString());
    } catch (const Error& e) {
        message(QMessageBox::Critical, QString::fromUtf8(kAppTitle), QString::fromStdString(e.what()));
        return;
    }
    if (engine_)
        engine_->ClearTasks();
    forgetCheckTasks();

    // A row whose task cannot be made (its input vanished, its folder is
    // gone) is marked and left out; the others keep their own events.
    taskRows_.clear();
    taskTimes_.clear();
    QStringList failed;
    for (size_t i = 0; i < tasks.size(); ++i) {
        const int row = static_cast<int>(i);
        const TRunTask& task = tasks[i];
        jobModel_->Slots().InputSlot(row) = task.Input;
        jobModel_->Slots().OutputSlot(row) = task.Output;
        if (!engine_) {
            taskRows_.push_back(row);
            continue;
        }
        const int t = engine_->AddTask(task.InputFile, task.Input);
        bool made = t >= 0;
        if (made && !engine_->SetOutputFile(t, task.OutputFile, task.Output)) {
            engine_->RemoveTask(t);
            made = false;
        }
        if (!made) {
            const QString reason = QString::fromStdString(engine_->LastError());
            jobModel_->SetCell(row, jcProgress, "失败");
            appendLog(QString());
            appendLog(QStringLiteral("***Cannot do convert, error: ") + reason);
            appendLog(QString());
            failed << QStringLiteral("%1: %2").arg(QString::fromStdString(task.InputFile), reason);
            continue;
        }
        taskRows_.push_back(row);
    }
    for (int row : taskRows_)
        taskTimes_.push_back({0, DurationTextSeconds(jobModel_->Cell(row, jcDuration)) * 1000000});

    for (TCommandGroup g : {cgAdd, cgRemove, cgRename, cgClear, cgStart})
        setGroupEnabled(g, false);
    lockSettings();
    setGroupEnabled(cgStop, true);
    setGroupEnabled(cgPause, true);
    setGroupEnabled(cgResume, false);
    showPauseInToolbar(true);

    ++run_;
    runUnderWay_ = true;
    paused_ = false;
    runActiveMs_ = 0;
    runClock_.start();
    updateRemaining();
    if (!failed.isEmpty())
        message(QMessageBox::Warning, QString::fromUtf8(kAppTitle), failed.join(QLatin1Char('\n')));
    if (engine_)
        engine_->Start(optionsDialog_->multiThread() ? optionsDialog_->threadCount() : 1, run_);
}

void TMainWindow::pauseRun()
{
    setGroupEnabled(cgPause, false);
    setGroupEnabled(cgResume, true);
    if (!paused_ && runClock_.isValid())
        runActiveMs_ += runClock_.elapsed();
    paused_ = true;
    if (engine_)
        engine_->Pause();
    showPauseInToolbar(false);
}

void TMainWindow::resumeRun()
{
    setGroupEnabled(cgPause, true);
    setGroupEnabled(cgResume, false);
    if (paused_)
        runClock_.start();
    paused_ = false;
    if (engine_)
        engine_->Resume();
    showPauseInToolbar(true);
}

void TMainWindow::stopRun()
{
    setGroupEnabled(cgStop, false);
    setGroupEnabled(cgStart, true);
    unlockSettings();
    if (engine_) {
        // End events that come while the engine stops wait until it has
        // stopped: their handling clears the engine's tasks.
        stopping_ = true;
        try {
            engine_->Stop();
        } catch (...) {
            stopping_ = false;
            throw;
        }
        stopping_ = false;
        if (previewStop_)
            previewStop_();
        engine_->ClearTasks();
    }
    setGroupEnabled(cgAdd, true);
    std::vector<TLateEnd> ends;
    ends.swap(endsWhileStopping_);
    for (const TLateEnd& end : ends)
        runTerminate(end.run, end.info);
}

void TMainWindow::runProgress(int run, const TProgressInfo& info)
{
    if (run != run_ || info.TaskIndex < 0 || info.TaskIndex >= static_cast<int>(taskRows_.size()))
        return;
    const int row = taskRows_[static_cast<size_t>(info.TaskIndex)];
    if (row >= jobModel_->rowCount())
        return;
    runGuarded([&] {
        std::string progress = "N/A";
        if (info.TotalDuration > 0) {
            const int64_t percent = std::clamp<int64_t>(info.CurrentDuration * 100 / info.TotalDuration, 0, 100);
            progress = std::to_string(percent) + "%";
        }
        jobModel_->SetCell(row, jcProgress, progress);
        if (info.FPS > 0)
            jobModel_->SetCell(row, jcSpeed, std::to_string(info.FPS));
        jobModel_->SetCell(row, jcCurrentTime, DurationTextUs(info.CurrentDuration));
        jobModel_->SetCell(row, jcConvertedSize, SizeText(info.CurrentSize));

        TTaskTime& time = taskTimes_[static_cast<size_t>(info.TaskIndex)];
        if (info.TotalDuration > 0)
            time.totalUs = info.TotalDuration;
        time.doneUs = std::clamp<int64_t>(info.CurrentDuration, 0, std::max<int64_t>(time.totalUs, 0));
        updateRemaining();
    });
}

void TMainWindow::runTerminate(int run, const TTerminateInfo& info)
{
    // An end of an earlier run (one stopped just before this run started)
    // must neither end nor clear this one.
    if (run != run_)
        return;
    if (stopping_) {
        endsWhileStopping_.push_back({run, info});
        return;
    }
    runGuarded([&] {
        if (info.TaskIndex < 0) {
            endOfRun();
        } else if (info.TaskIndex < static_cast<int>(taskRows_.size())) {
            const int row = taskRows_[static_cast<size_t>(info.TaskIndex)];
            TTaskTime& time = taskTimes_[static_cast<size_t>(info.TaskIndex)];
            if (info.Finished && row < jobModel_->rowCount()) {
                jobModel_->SetCell(row, jcProgress, "100%");
                time.doneUs = time.totalUs;
            } else {
                // What is left of it will not be converted in this run.
                time.totalUs = time.doneUs;
            }
            updateRemaining();
        }
    });
    if (info.Exception)
        message(QMessageBox::Warning, QString::fromUtf8(kAppTitle), QString::fromStdString(info.ExceptionMsg));
}

void TMainWindow::endOfRun()
{
    runUnderWay_ = false;
    paused_ = false;
    setGroupEnabled(cgRemove, false);
    setGroupEnabled(cgRename, false);
    setGroupEnabled(cgClear, true);
    setGroupEnabled(cgStop, false);
    setGroupEnabled(cgPause, false);
    setGroupEnabled(cgResume, false);
    showPauseInToolbar(true);
    unlockSettings();
    if (engine_)
        engine_->ClearTasks();
    setGroupEnabled(cgAdd, true);
    setGroupEnabled(cgStart, true);
    remaining_->clear();
    switch (optionsDialog_->afterDone()) {
    case adOpenFolder: openOutputFolder(); break;
    case adShutdown: shutDown(); break;
    case adPlaySound: playCompletionSound(); break;
    case adNothing: break;
    }
}

QString TMainWindow::remainingText() const
{
    return remaining_->text();
}

void TMainWindow::updateRemaining()
{
    // Frozen while paused: the clock stands still and so does the estimate.
    if (!runUnderWay_ || paused_)
        return;
    int64_t done = 0;
    int64_t left = 0;
    for (const TTaskTime& t : taskTimes_) {
        done += t.doneUs;
        left += std::max<int64_t>(t.totalUs - t.doneUs, 0);
    }
    const int64_t activeMs = std::max<int64_t>(runActiveMs_ + (runClock_.isValid() ? runClock_.elapsed() : 0), 1);
    if (done <= 0) {
        remaining_->setText(QStringLiteral("剩余时间：--:--:--"));
        return;
    }
    // Media time converted per wall time so far, over all jobs together.
    const double speed = static_cast<double>(done) / 1000.0 / static_cast<double>(activeMs);
    const auto seconds = static_cast<int64_t>(static_cast<double>(left) / 1e6 / speed + 0.5);
    remaining_->setText(QStringLiteral("剩余时间：%1:%2:%3")
                            .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
                            .arg((seconds / 60) % 60, 2, 10, QLatin1Char('0'))
                            .arg(seconds % 60, 2, 10, QLatin1Char('0')));
}

void TMainWindow::openOutputFolder()
{
    platform::CurrentShell().OpenFolder(folderBox_->text().toStdString());
}

void TMainWindow::shutDown()
{
    platform::CurrentShell().Shutdown();
}

void TMainWindow::playCompletionSound()
{
    if (platform::FileExists(completionSound_))
        platform::CurrentShell().PlaySound(completionSound_);
}

}  // namespace vexa::app
