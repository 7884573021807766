// The run through the window's visible controls: a recording engine for the
// commands and events, and the real engine converting three clips.
#include "gui_fixture.h"
#include "window_media.h"

#include "app/engine_run.h"
#include "app/options_dialog.h"
#include "catalogue/job_columns.h"
#include "media/av_probe.h"
#include "platform/main_thread.h"
#include "platform/paths.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QToolBar>

#include <functional>

namespace vexa::app::test {
namespace {

using namespace catalogue;
using G = TMainWindow::TCommandGroup;

QAction* MenuBarAction(TMainWindow& w, const QString& caption)
{
    for (QAction* action : w.findChildren<QAction*>())
        if (action->text() == caption && qobject_cast<QMenu*>(action->parent()) &&
            action->parent()->parent() == w.menuBar())
            return action;
    return nullptr;
}

std::vector<std::string> Outputs(TMainWindow& w)
{
    std::vector<std::string> names;
    for (int r = 0; r < w.jobModel().rowCount(); ++r)
        names.push_back(w.jobModel().Jobs().Cell(r, jcOutputFile));
    return names;
}

// Each visible command with the effect it must have: menu items and toolbar
// buttons of the run, panel buttons and menu items of editing.
TEST_F(GuiTest, EveryVisibleCommandDoesItsJob)
{
    using TCheck = std::function<void(TMainWindow&, TFakeEngine&)>;
    const std::vector<std::string> abc = {"a.avi", "b.avi", "c.avi"};
    auto order = [](std::vector<std::string> expected, int selected) -> TCheck {
        return [expected, selected](TMainWindow& w, TFakeEngine&) {
            EXPECT_EQ(Outputs(w), expected);
            EXPECT_EQ(w.selectedRow(), selected);
        };
    };
    auto start = [](TMainWindow& w) { w.startRun(); };
    auto startPause = [](TMainWindow& w) {
        w.startRun();
        w.pauseRun();
    };
    const struct {
        const char* caption;
        const char* where;  // "menu", "toolbar" or "panel"
        int select;
        std::function<void(TMainWindow&)> prepare;
        TCheck check;
    } cases[] = {
        {"删除", "panel", 1, {}, order({"a.avi", "c.avi"}, 0)},
        {"删除选择", "menu", 0, {}, order({"b.avi", "c.avi"}, 0)},
        {"清空", "panel", 1, {}, [](TMainWindow& w, TFakeEngine& e) {
             EXPECT_EQ(w.jobModel().rowCount(), 0);
             EXPECT_TRUE(w.logoShown());
             EXPECT_EQ(e.calls.back(), "clear");
         }},
        {"清空文件", "menu", 1, {}, [](TMainWindow& w, TFakeEngine&) { EXPECT_EQ(w.jobModel().rowCount(), 0); }},
        {"上移", "panel", 0, {}, order({"a.avi", "b.avi", "c.avi"}, 0)},  // the first cannot go up
        {"上移文件", "menu", 2, {}, order({"a.avi", "c.avi", "b.avi"}, 1)},
        {"下移", "panel", 2, {}, order({"a.avi", "b.avi", "c.avi"}, 2)},  // nor the last down
        {"下移文件", "menu", 0, {}, order({"b.avi", "a.avi", "c.avi"}, 1)},
        {"重命名", "panel", 1, {}, [](TMainWindow& w, TFakeEngine&) {
             EXPECT_TRUE(w.nameEditor()->isVisible());
             EXPECT_EQ(w.nameEditor()->text(), QStringLiteral("b"));
         }},
        {"重新命名", "menu", 2, {}, [](TMainWindow& w, TFakeEngine&) {
             EXPECT_EQ(w.nameEditor()->text(), QStringLiteral("c"));
         }},
        {"开始", "toolbar", 0, {}, [](TMainWindow& w, TFakeEngine& e) {
             EXPECT_TRUE(w.runUnderWay());
             EXPECT_EQ(e.calls.back(), "start 1");
             EXPECT_TRUE(w.groupEnabled(G::cgStop));
         }},
        {"开始转换", "menu", 0, {}, [](TMainWindow& w, TFakeEngine& e) {
             EXPECT_EQ(e.calls.back(), "start 1");
             EXPECT_FALSE(w.groupEnabled(G::cgAdd));
         }},
        {"暂停", "toolbar", 0, start, [](TMainWindow& w, TFakeEngine& e) {
             EXPECT_EQ(e.calls.back(), "pause");
             EXPECT_TRUE(w.resumeToolAction()->isVisible());
             EXPECT_TRUE(w.groupEnabled(G::cgResume));
         }},
        {"暂停转换", "menu", 0, start, [](TMainWindow& w, TFakeEngine& e) {
             EXPECT_EQ(e.calls.back(), "pause");
             EXPECT_FALSE(w.pauseToolAction()->isVisible());
         }},
        {"继续", "toolbar", 0, startPause, [](TMainWindow& w, TFakeEngine& e) {
             EXPECT_EQ(e.calls.back(), "resume");
             EXPECT_TRUE(w.pauseToolAction()->isVisible());
         }},
        {"继续继续", "menu", 0, startPause, [](TMainWindow& w, TFakeEngine& e) {
             EXPECT_EQ(e.calls.back(), "resume");
             EXPECT_TRUE(w.groupEnabled(G::cgPause));
         }},
        // Stopping gives Start back at once, before the run's end arrives.
        {"停止", "toolbar", 0, start, [](TMainWindow& w, TFakeEngine& e) {
             EXPECT_EQ(e.calls.end()[-2], "stop");
             EXPECT_TRUE(w.groupEnabled(G::cgStart));
             EXPECT_TRUE(w.startToolAction()->isEnabled());
         }},
        {"停止转换", "menu", 0, start, [](TMainWindow& w, TFakeEngine&) {
             EXPECT_TRUE(w.groupEnabled(G::cgStart));
             EXPECT_TRUE(w.groupEnabled(G::cgAdd));
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.caption) + " (" + c.where + ")");
        window_ = MakeWindow();
        TFakeEngine engine;
        TMainWindow& w = *window_;
        w.setRunEngine(&engine);
        w.show();
        for (const char* name : {"a", "b", "c"})
            AddJob(w, name);
        w.selectRow(c.select);
        if (c.prepare)
            c.prepare(w);
        const QString caption = QString::fromUtf8(c.caption);
        if (std::string(c.where) == "panel") {
            QPushButton* button = nullptr;
            for (QPushButton* b : w.findChildren<QPushButton*>())
                if (b->text() == caption)
                    button = b;
            ASSERT_NE(button, nullptr);
            button->click();
        } else if (std::string(c.where) == "menu") {
            QAction* action = MenuBarAction(w, caption);
            ASSERT_NE(action, nullptr);
            action->trigger();
        } else {
            QAction* action = nullptr;
            for (QAction* a : w.findChildren<QToolBar*>().front()->actions())
                if (a->text() == caption)
                    action = a;
            ASSERT_NE(action, nullptr);
            action->trigger();
        }
        c.check(w, engine);
        window_.reset();
    }
}

TEST_F(GuiTest, ProgressTextsFollowTheEngine)
{
    window_ = MakeWindow();
    TMainWindow& w = *window_;
    AddJob(w, "a");
    w.startRun();
    const TJobList& jobs = w.jobModel().Jobs();
    const struct {
        int fps;
        int64_t current, total;
        const char* progress;
        const char* speed;
    } events[] = {
        {25, 3725000000, 7450000000, "50%", "25"},
        {0, 3725000000, -1, "N/A", "25"},            // unknown length; FPS 0 leaves the speed
        {30, 7500000000, 7450000000, "100%", "30"},  // overshoot stays at 100%
    };
    for (const auto& e : events) {
        TProgressInfo info;
        info.FPS = e.fps;
        info.CurrentDuration = e.current;
        info.TotalDuration = e.total;
        info.CurrentSize = 1536000;
        w.engineProgress(info);
        EXPECT_EQ(jobs.Cell(0, jcProgress), e.progress);
        EXPECT_EQ(jobs.Cell(0, jcSpeed), e.speed);
        EXPECT_EQ(jobs.Cell(0, jcConvertedSize), "1.46MB");
    }
    TProgressInfo unknown;
    unknown.TotalDuration = -1;
    w.engineProgress(unknown);
    EXPECT_EQ(jobs.Cell(0, jcProgress), "N/A");
    w.engineTerminate(End(0));
    EXPECT_EQ(jobs.Cell(0, jcProgress), "100%");
}

TEST_F(GuiTest, ThreadCountReachesTheEngine)
{
    for (const auto& [index, call] : {std::pair{0, "start 1"}, std::pair{1, "start 2"}}) {
        window_ = MakeWindow();
        TFakeEngine engine;
        window_->setRunEngine(&engine);
        AddJob(*window_, "a");
        window_->optionsDialog()->threadCountPicker()->setCurrentIndex(index);
        window_->startToolAction()->trigger();
        EXPECT_EQ(engine.calls.back(), call);
        window_.reset();
    }
}

TEST_F(GuiTest, ALateEndOfAStoppedRunLeavesTheNextRunAlone)
{
    window_ = MakeWindow();
    TMainWindow& w = *window_;
    w.setRunEngine(&engine_);
    w.optionsDialog()->afterDoneButton(adOpenFolder)->setChecked(true);
    AddJob(w, "a");
    w.startToolAction()->trigger();
    const int stopped = engine_.lastRun;
    w.stopToolAction()->trigger();
    ASSERT_TRUE(w.startToolAction()->isEnabled());
    w.startToolAction()->trigger();
    EXPECT_NE(engine_.lastRun, stopped);

    // The stopped run's end events come now, through the engine's hand-off.
    engine_.calls.clear();
    engine_.events.Progress(stopped, TProgressInfo{});
    engine_.events.Terminate(stopped, End(0, false));
    engine_.events.Terminate(stopped, End(-1));
    EXPECT_TRUE(w.runUnderWay());
    EXPECT_TRUE(w.groupEnabled(G::cgStop));
    EXPECT_EQ(w.jobModel().Jobs().Cell(0, jcProgress), "");
    EXPECT_TRUE(engine_.calls.empty());  // nothing cleared
    EXPECT_TRUE(ShellCalls().empty());

    engine_.events.Terminate(engine_.lastRun, End(0));
    engine_.events.Terminate(engine_.lastRun, End(-1));
    EXPECT_FALSE(w.runUnderWay());
    EXPECT_EQ(w.jobModel().Jobs().Cell(0, jcProgress), "100%");
    ASSERT_EQ(ShellCalls().size(), 1u);
    EXPECT_EQ(ShellCalls()[0].action, "OpenFolder");
}

// The engine reports the ends while Stop still waits: their handling (which
// clears the engine) comes after Stop has returned.
class TStopReportingEngine : public TFakeEngine {
public:
    void Stop() override
    {
        TFakeEngine::Stop();
        events.Terminate(lastRun, End(0, false));
        events.Terminate(lastRun, End(-1));
        calls.push_back("stopped");
    }
};

TEST_F(GuiTest, EndsReportedDuringStopWaitForIt)
{
    window_ = MakeWindow();
    TStopReportingEngine engine;
    TMainWindow& w = *window_;
    w.setRunEngine(&engine);
    w.optionsDialog()->afterDoneButton(adNothing)->setChecked(true);
    AddJob(w, "a");
    w.startRun();
    engine.calls.clear();
    w.stopRun();
    EXPECT_EQ(engine.calls, (std::vector<std::string>{"stop", "stopped", "clear", "clear"}));
    EXPECT_FALSE(w.runUnderWay());
    EXPECT_TRUE(w.groupEnabled(G::cgClear));
    EXPECT_FALSE(w.groupEnabled(G::cgRemove));
}

TEST_F(GuiTest, ARowWhoseInputVanishedIsMarkedAndLaterRowsKeepTheirOwnProgress)
{
    window_ = MakeWindow();
    TMainWindow& w = *window_;
    w.setRunEngine(&engine_);
    for (const char* name : {"a", "b", "c"})
        AddJob(w, name);
    engine_.failing = {(dir_ / "b.avi").string()};
    w.startRun();
    const TJobList& jobs = w.jobModel().Jobs();
    EXPECT_EQ(jobs.Cell(1, jcProgress), "失败");
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].title, QStringLiteral("Vexa全能视频格式转换器"));
    EXPECT_TRUE(messages_[0].text.contains(QString::fromStdString((dir_ / "b.avi").string())));
    EXPECT_EQ(engine_.calls.back(), "start 1");

    // The engine's second task is row 2's.
    TProgressInfo info;
    info.TaskIndex = 1;
    info.CurrentDuration = 5000000;
    info.TotalDuration = 10000000;
    w.engineProgress(info);
    EXPECT_EQ(jobs.Cell(2, jcProgress), "50%");
    EXPECT_EQ(jobs.Cell(1, jcProgress), "失败");
    w.engineTerminate(End(1));
    EXPECT_EQ(jobs.Cell(2, jcProgress), "100%");
    EXPECT_EQ(jobs.Cell(1, jcProgress), "失败");
}

// A fake whose commands fail as an engine's can.
class TFailingEngine : public TFakeEngine {
public:
    void Pause() override { throw std::runtime_error("Cannot Pause while stopping."); }
};

TEST_F(GuiTest, AnErrorInACommandIsShownNotThrown)
{
    window_ = MakeWindow();
    TFailingEngine engine;
    TMainWindow& w = *window_;
    w.setRunEngine(&engine);
    AddJob(w, "a");
    w.startToolAction()->trigger();
    w.pauseToolAction()->trigger();
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].title, QStringLiteral("Vexa全能视频格式转换器"));
    EXPECT_EQ(messages_[0].text, QStringLiteral("Cannot Pause while stopping."));
}

TEST_F(GuiTest, RemainingTimeCoversTheWholeRunAndStandsStillWhilePaused)
{
    window_ = MakeWindow();
    TMainWindow& w = *window_;
    AddJob(w, "a");
    AddJob(w, "b");
    w.startRun();
    EXPECT_EQ(w.remainingText(), QStringLiteral("剩余时间：--:--:--"));
    TProgressInfo info;
    info.TaskIndex = 0;
    info.CurrentDuration = 5000000;
    info.TotalDuration = 10000000;
    w.engineProgress(info);
    const QString first = w.remainingText();
    EXPECT_TRUE(first.startsWith(QStringLiteral("剩余时间：")));
    EXPECT_NE(first, QStringLiteral("剩余时间：--:--:--"));

    w.pauseRun();
    info.CurrentDuration = 9000000;
    w.engineProgress(info);
    EXPECT_EQ(w.remainingText(), first);
    w.resumeRun();
    w.engineTerminate(End(-1));
    EXPECT_EQ(w.remainingText(), QString());
}

// The real engine: three clips added through the add command, converted two
// at a time, each output as long as its input.
TEST_F(GuiTest, TheWindowConvertsThreeClipsTwoAtATime)
{
    const std::string media = WindowMedia();
    TEngineRun engine;
    window_ = MakeWindow();
    TMainWindow& w = *window_;
    w.setRunEngine(&engine);
    w.optionsDialog()->threadCountPicker()->setCurrentIndex(1);
    w.optionsDialog()->afterDoneButton(adNothing)->setChecked(true);
    w.setDialogs({{}, [&media] {
                      return QStringList{QString::fromStdString(media + "/a.avi"),
                                         QString::fromStdString(media + "/b.avi"),
                                         QString::fromStdString(media + "/c.avi")};
                  },
                  {}});
    MenuBarAction(w, QStringLiteral("添加多个文件"))->trigger();
    ASSERT_EQ(w.jobModel().rowCount(), 3) << w.logText().toStdString();

    w.startToolAction()->trigger();
    ASSERT_TRUE(w.runUnderWay());
    ASSERT_TRUE(platform::MainThread::WaitServing([&w] { return !w.runUnderWay(); }, std::chrono::seconds(180)));
    EXPECT_TRUE(messages_.empty()) << messages_.front().text.toStdString();
    EXPECT_TRUE(w.groupEnabled(G::cgStart));
    for (int row = 0; row < 3; ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(w.jobModel().Jobs().Cell(row, jcProgress), "100%");
        const std::string output = w.outputFolder().toStdString() + "/" + w.jobModel().Jobs().Cell(row, jcOutputFile);
        TAVProbe probe;
        ASSERT_TRUE(probe.LoadFile(output)) << probe.LastErrMsg();
        EXPECT_NEAR(static_cast<double>(probe.GetFileStreamInfo().Duration) / 1e6, 2.0, 0.25);
    }
    window_->close();
    window_.reset();
}

}  // namespace
}  // namespace vexa::app::test
