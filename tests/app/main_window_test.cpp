// Start-up, the command states through a run, the settings and the dialog.
#include "gui_fixture.h"

#include "app/job_table_model.h"
#include "app/office_combo_box.h"
#include "jobs/app_settings.h"
#include "app/options_dialog.h"
#include "app/skins.h"
#include "catalogue/job_columns.h"
#include "media/ffmpeg_logger.h"
#include "platform/paths.h"

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableView>

#include <fstream>
#include <iterator>

namespace vexa::app::test {
namespace {

using namespace catalogue;
using G = TMainWindow::TCommandGroup;

// Add, Start, Stop, Pause, Resume, Remove, Rename, Clear, Settings.
using TStates = std::array<bool, TMainWindow::kCommandGroupCount>;
constexpr TStates kEmpty = {true, false, false, false, false, false, false, false, true};
constexpr TStates kReady = {true, true, false, false, false, true, true, true, true};
constexpr TStates kRunning = {false, false, true, true, false, false, false, false, false};
constexpr TStates kPaused = {false, false, true, false, true, false, false, false, false};
constexpr TStates kEnded = {true, true, false, false, false, false, false, true, true};

TStates States(const TMainWindow& w)
{
    TStates s{};
    for (int g = 0; g < TMainWindow::kCommandGroupCount; ++g)
        s[static_cast<size_t>(g)] = w.groupEnabled(static_cast<G>(g));
    return s;
}

std::string Show(const TStates& s)
{
    std::string text;
    for (bool on : s)
        text += on ? '1' : '0';
    return text;
}

#define EXPECT_STATES(window, expected) EXPECT_EQ(Show(States(window)), Show(expected))

TEST_F(GuiTest, FirstStartWritesEveryDefaultAndShowsTheEmptyWindow)
{
    window_ = MakeWindow();
    TMainWindow& w = *window_;
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Vexa全能视频格式转换器"));
    EXPECT_EQ(w.size(), QSize(839, 527));
    EXPECT_EQ(w.minimumSize(), w.maximumSize());
    EXPECT_FALSE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(w.windowFlags() & Qt::WindowMinimizeButtonHint);

    const std::string folder = location_.HomeFolder + "/Vexa视频软件/输出";
    EXPECT_TRUE(platform::DirectoryExists(folder));
    EXPECT_EQ(w.outputFolder().toStdString(), folder);
    EXPECT_TRUE(w.outputFolderBox()->isReadOnly());
    const struct { const char* section; const char* key; std::string value; } defaults[] = {
        {"OutPath", "OutPath", folder},       {"Skin", "SetSkin", "0"},
        {"Options", "Thread_Count", "0"},     {"Options", "After_Done", "0"},
        {"Options", "Show_Preview", "0"},     {"Options", "Thread_Priority", "3"},
        {"Options", "Overwrite_File", "1"},
    };
    for (const auto& d : defaults)
        EXPECT_EQ(IniValue(d.section, d.key), d.value) << d.key;

    EXPECT_STATES(w, kEmpty);
    EXPECT_TRUE(w.logoShown());
    EXPECT_TRUE(w.pauseToolAction()->isVisible());
    EXPECT_FALSE(w.resumeToolAction()->isVisible());
    EXPECT_EQ(w.settingsTabs()->currentIndex(), 0);
    EXPECT_EQ(w.settingsTabs()->tabText(0), QStringLiteral("常规设置"));
    EXPECT_EQ(w.settingsTabs()->tabText(1), QStringLiteral("音视频高级设置"));
    EXPECT_EQ(w.pickers().CurrentKey(), 100);
    EXPECT_EQ(w.optionPicker(okFrameSize)->currentText(), QStringLiteral("保持原分辨率"));
    EXPECT_EQ(w.optionPicker(okVideoBitrate)->currentText(), QStringLiteral("816 kbps"));
    EXPECT_EQ(w.skinIndex(), 0);

    const TOptionsDialog& options = *w.optionsDialog();
    EXPECT_EQ(options.windowTitle(), QStringLiteral("选项"));
    EXPECT_EQ(options.size(), QSize(542, 550));
    EXPECT_EQ(options.tabs()->tabText(0), QStringLiteral("CPU设置"));
    EXPECT_EQ(options.choices(), TConversionOptions{});
    EXPECT_EQ(options.threadCountPicker()->count(), 19);
    EXPECT_TRUE(options.multiThread());
}

TEST_F(GuiTest, OpenDialogsGetTheirFiltersAtStart)
{
    window_ = MakeWindow();
    const QStringList& filters = window_->openDialogFilters();
    ASSERT_EQ(filters.size(), 42);
    EXPECT_EQ(filters.front(), QStringLiteral("所有文件格式 (*.*)"));
    // The second text runs on into the third: one filter of both.
    EXPECT_TRUE(filters[1].startsWith(QStringLiteral("支持的视频/音频文件格式 (*.AVI *.ASF")));
    EXPECT_TRUE(filters[1].contains(QStringLiteral("*.SWF *.FLAC *.M4A")));
    EXPECT_TRUE(filters[1].endsWith(QStringLiteral("*.qt)")));
    // Patterns are split the way the file dialog reads them.
    EXPECT_EQ(filters[5], QStringLiteral("Real视频文件格式 (*.rm *.rmvb)"));
    EXPECT_EQ(filters[37], QStringLiteral("Flac无损压缩音频格式 (*.flac)"));
    EXPECT_EQ(filters.back(), QStringLiteral("AIFF音频编码格式 (*.aif *.aiff)"));
}

TEST_F(GuiTest, JobListShowsSevenColumnsAndSelectsWholeRows)
{
    window_ = MakeWindow();
    QTableView* view = window_->jobView();
    const struct { int column; const char* caption; int width; } shown[] = {
        {jcInputFile, "输入文件", 80},  {jcDuration, "视频时间", 70},     {jcFileSize, "文件大小", 70},
        {jcOutputFile, "输出文件", 80}, {jcProgress, "转换进度", 70},     {jcCurrentTime, "当前时间", 80},
        {jcConvertedSize, "转换大小", 80},
    };
    int visible = 0;
    for (int c = 0; c < kJobColumnCount; ++c)
        visible += view->isColumnHidden(c) ? 0 : 1;
    EXPECT_EQ(visible, 7);
    for (const auto& s : shown) {
        EXPECT_FALSE(view->isColumnHidden(s.column));
        EXPECT_EQ(view->columnWidth(s.column), s.width);
        EXPECT_EQ(window_->jobModel().headerData(s.column, Qt::Horizontal, Qt::DisplayRole).toString(),
                  QString::fromUtf8(s.caption));
    }
    EXPECT_EQ(view->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(view->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(view->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_TRUE(view->showGrid());
}

TEST_F(GuiTest, StatesFollowTheJobListAndTheRun)
{
    window_ = MakeWindow();
    TMainWindow& w = *window_;
    w.setRunEngine(&engine_);
    engine_.calls.clear();

    AddJob(w, "a");
    EXPECT_STATES(w, kReady);
    EXPECT_FALSE(w.logoShown());
    AddJob(w, "b");
    w.optionsDialog()->threadCountPicker()->setCurrentIndex(2);
    w.optionsDialog()->priorityButton(tpLowest)->setChecked(true);

    w.startRun();
    EXPECT_STATES(w, kRunning);
    const std::string out = w.outputFolder().toStdString();
    const std::vector<std::string> started = {
        "priority 1", "clear",
        "add " + (dir_ / "a.avi").string(), "output 0 " + out + "/a.avi",
        "add " + (dir_ / "b.avi").string(), "output 1 " + out + "/b.avi",
        "start 3"};
    EXPECT_EQ(engine_.calls, started);
    EXPECT_FALSE(w.categoryPicker()->isEnabled());
    EXPECT_FALSE(w.optionPicker(okAspect)->isEnabled());

    w.pauseRun();
    EXPECT_STATES(w, kPaused);
    EXPECT_FALSE(w.pauseToolAction()->isVisible());
    EXPECT_TRUE(w.resumeToolAction()->isVisible());
    w.resumeRun();
    EXPECT_STATES(w, kRunning);
    EXPECT_TRUE(w.pauseToolAction()->isVisible());

    // Stop gives Start, Settings and Add back at once; the end event follows.
    w.stopRun();
    EXPECT_TRUE(w.groupEnabled(G::cgStart));
    EXPECT_TRUE(w.groupEnabled(G::cgAdd));
    EXPECT_TRUE(w.groupEnabled(G::cgSettings));
    EXPECT_FALSE(w.groupEnabled(G::cgStop));
    w.engineTerminate(End(0, false));
    w.engineTerminate(End(-1));
    EXPECT_STATES(w, kEnded);
    EXPECT_TRUE(w.categoryPicker()->isEnabled());
    EXPECT_EQ(w.jobModel().rowCount(), 2);

    // One more job after a run brings Remove and Rename back.
    AddJob(w, "c");
    EXPECT_STATES(w, kReady);

    w.clearJobs();
    EXPECT_STATES(w, kEmpty);
    EXPECT_TRUE(w.logoShown());
    EXPECT_EQ(w.jobModel().Jobs().FirstFreeSlot(), 0);
}

TEST_F(GuiTest, RemovingJobsKeepsSlotsAndEndsInTheEmptyState)
{
    window_ = MakeWindow();
    TMainWindow& w = *window_;
    w.removeSelectedJob();
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].title, QStringLiteral("提示"));
    EXPECT_EQ(messages_[0].text, QStringLiteral("请先选择您需要删除的项目！"));

    for (const char* name : {"a", "b", "c"})
        AddJob(w, name);
    w.selectRow(1);
    w.removeSelectedJob();
    const TJobList& jobs = w.jobModel().Jobs();
    ASSERT_EQ(jobs.Count(), 2);
    EXPECT_EQ(jobs.Cell(1, jcOutputFile), "c.avi");
    EXPECT_EQ(jobs.Cell(1, jcTaskNumber), "2");
    EXPECT_TRUE(jobs.SlotUsed(1));
    EXPECT_FALSE(jobs.SlotUsed(2));
    EXPECT_EQ(w.selectedRow(), 0);
    EXPECT_STATES(w, kReady);

    w.moveSelectedUp();  // the first job cannot go up
    EXPECT_EQ(jobs.Cell(0, jcOutputFile), "a.avi");
    w.moveSelectedDown();
    EXPECT_EQ(jobs.Cell(0, jcOutputFile), "c.avi");
    EXPECT_EQ(w.selectedRow(), 1);
    w.moveSelectedDown();  // nor the last one down
    EXPECT_EQ(w.selectedRow(), 1);

    // While a run is under way rows keep their places.
    w.startRun();
    w.moveSelectedUp();
    EXPECT_EQ(jobs.Cell(1, jcOutputFile), "a.avi");
    w.engineTerminate(End(-1));
    w.moveSelectedUp();
    EXPECT_EQ(jobs.Cell(0, jcOutputFile), "a.avi");

    AddJob(w, "d");  // Remove comes back with a new job
    for (int i = 0; i < 3; ++i)
        w.removeSelectedJob();
    EXPECT_EQ(jobs.Count(), 0);
    EXPECT_STATES(w, kEmpty);
    EXPECT_TRUE(w.logoShown());
}

TEST_F(GuiTest, TheSlotStoreRefusesAFiveHundredSecondJob)
{
    window_ = MakeWindow();
    TMainWindow& w = *window_;
    for (int i = 0; i < kSlotCount; ++i)
        ASSERT_TRUE(w.appendJob(JobRow(w, "f" + std::to_string(i), i + 1), {}, {}));
    EXPECT_FALSE(w.appendJob(JobRow(w, "extra", kSlotCount + 1), {}, {}));
    EXPECT_EQ(w.jobModel().rowCount(), kSlotCount);
    EXPECT_EQ(w.jobModel().Jobs().Cell(kSlotCount - 1, jcOutputFile), "f500.avi");
}

TEST_F(GuiTest, RemovingAJobRemovesItsCheckTaskWhileTheEngineHoldsIt)
{
    window_ = MakeWindow();
    TMainWindow& w = *window_;
    w.setRunEngine(&engine_);
    for (const char* name : {"a", "b", "c"}) {
        engine_.AddTask(name, {});  // the check task adding creates
        AddJob(w, name);
    }
    engine_.calls.clear();
    w.selectRow(1);
    w.removeSelectedJob();
    EXPECT_EQ(engine_.calls, std::vector<std::string>{"remove 1"});

    // After a run the engine holds no tasks: removing names none.
    w.startRun();
    w.engineTerminate(End(-1));
    engine_.calls.clear();
    w.selectRow(0);
    w.removeSelectedJob();
    EXPECT_EQ(engine_.calls, std::vector<std::string>{});
}

TEST_F(GuiTest, RunProgressAndEndEventsWriteTheRow)
{
    window_ = MakeWindow();
    TMainWindow& w = *window_;
    AddJob(w, "a");
    w.startRun();
    TProgressInfo progress;
    progress.TaskIndex = 0;
    progress.FPS = 25;
    progress.CurrentDuration = 3725000000;
    progress.TotalDuration = 7450000000;
    progress.CurrentSize = 1536000;
    w.engineProgress(progress);
    const TJobList& jobs = w.jobModel().Jobs();
    EXPECT_EQ(jobs.Cell(0, jcProgress), "50%");
    EXPECT_EQ(jobs.Cell(0, jcSpeed), "25");
    EXPECT_EQ(jobs.Cell(0, jcCurrentTime), "01:02:05");
    EXPECT_EQ(jobs.Cell(0, jcConvertedSize), "1.46MB");
    progress.FPS = 0;
    progress.TotalDuration = -1;
    w.engineProgress(progress);
    EXPECT_EQ(jobs.Cell(0, jcProgress), "N/A");
    EXPECT_EQ(jobs.Cell(0, jcSpeed), "25");
    progress.TaskIndex = 7;  // no such row: nothing happens
    w.engineProgress(progress);

    w.engineTerminate(End(0, true, "Unknown encoder 'msmpeg4v1'"));
    EXPECT_EQ(jobs.Cell(0, jcProgress), "100%");
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].title, QStringLiteral("Vexa全能视频格式转换器"));
    EXPECT_EQ(messages_[0].text, QStringLiteral("Unknown encoder 'msmpeg4v1'"));
}

TEST_F(GuiTest, ARowThatIsNotANumberStartsNothing)
{
    window_ = MakeWindow();
    TMainWindow& w = *window_;
    w.setRunEngine(&engine_);
    engine_.calls.clear();
    AddJob(w, "a");
    w.jobModel().SetCell(0, jcSampleRate, "44.1k");
    w.startRun();
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].text, QStringLiteral("'44.1k' is not a valid integer value"));
    EXPECT_STATES(w, kReady);
    EXPECT_EQ(engine_.calls, std::vector<std::string>{"priority 3"});
}

TEST_F(GuiTest, AfterDoneSevenIsRepaired)
{
    WriteIni("[Options]\nAfter_Done=7\n");
    window_ = MakeWindow();
    EXPECT_TRUE(window_->optionsDialog()->afterDoneButton(adOpenFolder)->isChecked());
    EXPECT_EQ(IniValue("Options", "After_Done"), "0");
}

TEST_F(GuiTest, CancelKeepsChoicesForTheSessionOnly)
{
    window_ = MakeWindow();
    TOptionsDialog& options = *window_->optionsDialog();
    options.afterDoneButton(adShutdown)->setChecked(true);
    options.reject();
    EXPECT_EQ(IniValue("Options", "After_Done"), "0");

    AddJob(*window_, "a");
    window_->startRun();
    window_->engineTerminate(End(-1));
    const auto calls = ShellCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].action, "Shutdown");

    window_ = MakeWindow();  // a restart
    EXPECT_TRUE(window_->optionsDialog()->afterDoneButton(adOpenFolder)->isChecked());
}

TEST_F(GuiTest, OkWritesTheDialogsChoices)
{
    window_ = MakeWindow();
    TOptionsDialog& options = *window_->optionsDialog();
    options.afterDoneButton(adPlaySound)->setChecked(true);
    options.priorityButton(tpIdle)->setChecked(true);
    options.overwriteButton(true)->setChecked(true);
    options.threadCountPicker()->setCurrentIndex(3);
    options.previewBox()->setChecked(true);
    options.accept();
    EXPECT_EQ(IniValue("Options", "After_Done"), "2");
    EXPECT_EQ(IniValue("Options", "Thread_Priority"), "0");
    EXPECT_EQ(IniValue("Options", "Overwrite_File"), "0");
    EXPECT_EQ(IniValue("Options", "Thread_Count"), "4");
    EXPECT_EQ(IniValue("Options", "Show_Preview"), "1");
    EXPECT_TRUE(window_->OverwriteOutput());

    // The preview box drives the engine at once.
    window_->setRunEngine(&engine_);
    options.previewBox()->setChecked(false);
    EXPECT_EQ(engine_.calls, (std::vector<std::string>{"preview on", "preview off"}));

    window_ = MakeWindow();  // a restart reads what "确定" wrote
    EXPECT_EQ(window_->optionsDialog()->choices(), (TConversionOptions{4, adPlaySound, true, tpIdle, true}));
}

TEST_F(GuiTest, EndOfRunActionsGoThroughTheShell)
{
    window_ = MakeWindow();
    TMainWindow& w = *window_;
    const std::string folder = w.outputFolder().toStdString();
    const std::string chime = w.completionSound();
    const std::string missing = (dir_ / "sounds" / "ring001.wav").string();
    const struct {
        TAfterDone choice;
        std::string sound;
        const char* action;  // nullptr: the shell is not asked
        std::string argument;
    } cases[] = {
        {adOpenFolder, chime, "OpenFolder", folder},
        {adNothing, chime, nullptr, {}},
        {adPlaySound, missing, nullptr, {}},  // silently skipped
        {adPlaySound, chime, "PlaySound", chime},
        // Reaches the recording shell only, never the machine.
        {adShutdown, chime, "Shutdown", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.choice);
        shell_->Clear();
        w.setCompletionSound(c.sound);
        w.optionsDialog()->afterDoneButton(c.choice)->setChecked(true);
        w.engineTerminate(End(-1));
        const auto calls = ShellCalls();
        if (!c.action) {
            EXPECT_TRUE(calls.empty());
            continue;
        }
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].action, c.action);
        EXPECT_EQ(calls[0].argument, c.argument);
    }
}

// The build made the chime beside the executables: a real WAV of sound.
TEST(CompletionSound, TheBuildPutsAChimeBesideTheExecutable)
{
    const std::string file = platform::ApplicationFolder() + "/sounds/ring001.wav";
    std::ifstream in(file, std::ios::binary);
    ASSERT_TRUE(in) << file;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 44u);
    EXPECT_EQ(bytes.substr(0, 4), "RIFF");
    EXPECT_EQ(bytes.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(bytes.substr(36, 4), "data");
    // Over half a second of 16-bit mono at 22050 Hz, not silence.
    EXPECT_GT(bytes.size() - 44, 22050u);
    int loud = 0;
    for (size_t i = 44; i + 1 < bytes.size(); i += 2) {
        const auto v = static_cast<int16_t>(static_cast<uint8_t>(bytes[i]) | (static_cast<uint8_t>(bytes[i + 1]) << 8));
        loud += std::abs(v) > 8000 ? 1 : 0;
    }
    EXPECT_GT(loud, 1000);
}

QAction* MenuAction(TMainWindow& w, const QString& caption)
{
    for (QAction* action : w.findChildren<QAction*>())
        if (action->text() == caption)
            return action;
    return nullptr;
}

TEST_F(GuiTest, FolderAndHelpCommandsGoThroughTheShell)
{
    window_ = MakeWindow();
    TMainWindow& w = *window_;
    w.show();
    QApplication::setActiveWindow(&w);
    QPushButton* open = nullptr;
    for (QPushButton* button : w.findChildren<QPushButton*>())
        if (button->text() == QStringLiteral("打开"))
            open = button;
    ASSERT_NE(open, nullptr);
    open->click();
    MenuAction(w, QStringLiteral("帮助系统"))->trigger();
    MenuAction(w, QStringLiteral("官方网站"))->trigger();
    const auto calls = ShellCalls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].action, "OpenFolder");
    EXPECT_EQ(calls[0].argument, w.outputFolder().toStdString());
    EXPECT_EQ(calls[1].action, "OpenUrl");
    EXPECT_EQ(calls[2].action, "OpenUrl");
    EXPECT_NE(calls[1].argument, calls[2].argument);
    EXPECT_EQ(MenuAction(w, QStringLiteral("帮助系统"))->shortcut(), QKeySequence(Qt::Key_F1));

    // Clicking into the read-only folder box hands the focus to the list.
    w.outputFolderBox()->setFocus();
    EXPECT_TRUE(w.jobView()->hasFocus());
}

TEST_F(GuiTest, StoredFolderAndSkinAreUsed)
{
    const std::string stored = (dir_ / "new" / "out").string();
    WriteIni("[OutPath]\nOutPath=" + stored + "\n[Skin]\nSetSkin=4\n");
    window_ = MakeWindow();
    EXPECT_TRUE(platform::DirectoryExists(stored));
    EXPECT_EQ(window_->outputFolder().toStdString(), stored);
    EXPECT_EQ(window_->skinIndex(), 4);
    EXPECT_EQ(window_->OutputFolder(), stored);

    const char* names[] = {"土星战甲", "宇宙战甲", "星河战甲", "银河战甲", "金星战甲", "火星战甲", "水星战甲"};
    for (int i = 0; i < kSkinCountUi; ++i) {
        EXPECT_EQ(SkinName(i), QString::fromUtf8(names[i]));
        EXPECT_FALSE(SkinStyleSheet(i).isEmpty());
    }
    TSkinDialog dialog(4);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Select skin"));
    EXPECT_EQ(dialog.chosenSkin(), 4);
}

// Answers the skin dialog once it is up: picks a row and confirms, or cancels.
void AnswerSkinDialog(int row)
{
    QTimer::singleShot(0, [row] {
        auto* dialog = qobject_cast<TSkinDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        if (row < 0) {
            dialog->reject();
            return;
        }
        dialog->list()->setCurrentRow(row);
        dialog->accept();
    });
}

TEST_F(GuiTest, SkinSelectionSavesTheShownSkinEitherWay)
{
    window_ = MakeWindow();
    window_->show();
    AnswerSkinDialog(3);
    window_->selectSkin();
    EXPECT_EQ(window_->skinIndex(), 3);
    EXPECT_EQ(IniValue("Skin", "SetSkin"), "3");
    EXPECT_EQ(qApp->styleSheet(), SkinStyleSheet(3));

    window_->applySkin(5);
    AnswerSkinDialog(-1);
    window_->selectSkin();
    EXPECT_EQ(window_->skinIndex(), 5);
    EXPECT_EQ(IniValue("Skin", "SetSkin"), "5");
}

TEST_F(GuiTest, ABrokenSkinValueFallsBackToTheFirstSkin)
{
    WriteIni("[Skin]\nSetSkin=green\n");
    window_ = MakeWindow();
    EXPECT_EQ(window_->skinIndex(), 0);
    EXPECT_EQ(IniValue("Skin", "SetSkin"), "0");
    // The start-up went on to fill the pickers.
    EXPECT_EQ(window_->formatPicker()->count(), 15);
}

TEST_F(GuiTest, ClosingAsksNothingAndStopsTheRun)
{
    window_ = MakeWindow();
    window_->setRunEngine(&engine_);
    AddJob(*window_, "a");
    window_->startRun();
    window_->show();
    EXPECT_TRUE(window_->close());
    EXPECT_EQ(engine_.calls.back(), "stop");
    EXPECT_TRUE(messages_.empty());
}

TEST_F(GuiTest, LogLinesCarryThreadAndLevel)
{
    window_ = MakeWindow();
    // A window made after it takes the relay; closing the old one keeps it.
    auto replaced = MakeWindow();
    std::swap(replaced, window_);
    replaced.reset();
    TFFLogger::Instance().Log(nullptr, llError, "Unknown encoder");
    EXPECT_TRUE(window_->logText().contains(QStringLiteral(".3: Unknown encoder")));
    EXPECT_TRUE(window_->logText().startsWith(QStringLiteral("#")));
}

}  // namespace
}  // namespace vexa::app::test
