// Adding and editing jobs through the window's visible controls, with a real
// engine for the check tasks the adding creates.
#include "gui_fixture.h"
#include "window_media.h"

#include "jobs/job_texts.h"
#include "app/preview_window.h"
#include "catalogue/job_columns.h"
#include "engine/ff_engine.h"
#include "platform/main_thread.h"
#include "platform/paths.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QToolBar>
#include <QUrl>

#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

namespace vexa::app::test {
namespace {

using namespace catalogue;
namespace fs = std::filesystem;

// Every visible control with this caption: menu-bar items, toolbar buttons
// and the toolbar's add menu, panel buttons.
struct TControl {
    QAction* action = nullptr;
    QPushButton* button = nullptr;
    QString where;
    void Trigger() const
    {
        if (action)
            action->trigger();
        else
            button->click();
    }
};

QList<TControl> Controls(TMainWindow& w, const QString& caption)
{
    QList<TControl> found;
    for (QAction* action : w.findChildren<QAction*>()) {
        if (action->text() != caption)
            continue;
        const bool inMenuBar = qobject_cast<QMenu*>(action->parent()) &&
                               action->parent()->parent() == w.menuBar();
        found.append({action, nullptr, inMenuBar ? QStringLiteral("menu") : QStringLiteral("toolbar")});
    }
    for (QPushButton* button : w.findChildren<QPushButton*>())
        if (button->text() == caption)
            found.append({nullptr, button, QStringLiteral("panel")});
    return found;
}

std::vector<std::string> Inputs(const TMainWindow& w)
{
    std::vector<std::string> names;
    const TJobList& jobs = const_cast<TMainWindow&>(w).jobModel().Jobs();
    for (int r = 0; r < jobs.Count(); ++r)
        names.push_back(platform::ExtractFileName(jobs.Cell(r, jcInputFile)));
    return names;
}

class WindowJobsTest : public GuiTest {
protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        media_ = WindowMedia();
        engine_.component = &component_;
        window_ = MakeWindow();
        window_->setRunEngine(&engine_);
        window_->setDialogs({[this] { return answerFile_; }, [this] { return answerFiles_; },
                             [this](const QString& start) {
                                 folderStarts_ << start;
                                 return answerFolder_;
                             }});
    }
    void TearDown() override
    {
        window_.reset();
        component_.ClearTasks();
        GuiTest::TearDown();
    }

    QString Clip(const char* name) const { return QString::fromStdString(media_ + "/" + name); }
    // A folder of its own with copies of the given media files and texts.
    QString Folder(const char* name, std::initializer_list<const char*> clips,
                   std::initializer_list<const char*> texts) const
    {
        const fs::path folder = dir_ / name;
        fs::create_directories(folder);
        for (const char* clip : clips)
            fs::copy_file(fs::path(media_) / clip, folder / clip, fs::copy_options::overwrite_existing);
        for (const char* text : texts)
            std::ofstream(folder / text) << "text\n";
        return QString::fromStdString(folder.string());
    }
    std::string Output(int row) const
    {
        return window_->outputFolder().toStdString() + "/" + window_->jobModel().Jobs().Cell(row, jcOutputFile);
    }

    TFFEngine component_;
    std::string media_;
    QString answerFile_;
    QStringList answerFiles_;
    QString answerFolder_;
    QStringList folderStarts_;
};

TEST_F(WindowJobsTest, AddCommandsFromMenuAndToolbar)
{
    TMainWindow& w = *window_;
    const QString clips = Folder("clips", {"a.avi", "b.avi"}, {"notes.txt"});
    const QString texts = Folder("texts", {}, {"one.txt", "two.txt"});
    const QString empty = Folder("empty", {}, {});
    const QString noFolderBox = QStringLiteral("在该目录没有发现可以用的视频或音频文件！");
    const struct {
        const char* caption;
        QString file;
        QStringList files;
        QString folder;
        std::vector<std::string> rows;
        QString box;
    } cases[] = {
        {"添加一个文件", Clip("a.avi"), {}, {}, {"a.avi"}, {}},
        {"添加一个文件", {}, {}, {}, {}, {}},  // cancelled
        {"添加一个文件", Clip("gone.avi"), {}, {}, {}, {}},
        // Several files are taken from the last to the first.
        {"添加多个文件", {}, {Clip("a.avi"), Clip("b.avi"), Clip("c.avi")}, {}, {"c.avi", "b.avi", "a.avi"}, {}},
        // A text among them is skipped; the others go on.
        {"添加多个文件", {}, {Clip("a.avi"), Clip("notes.txt"), Clip("c.avi")}, {}, {"c.avi", "a.avi"}, {}},
        {"添加整个目录", {}, {}, clips, {"b.avi", "a.avi"}, {}},
        {"添加整个目录", {}, {}, texts, {}, noFolderBox},
        {"添加整个目录", {}, {}, empty, {}, noFolderBox},
        {"添加整个目录", {}, {}, {}, {}, {}},  // cancelled
    };
    for (const auto& c : cases) {
        const QList<TControl> controls = Controls(w, QString::fromUtf8(c.caption));
        ASSERT_EQ(controls.size(), 2) << c.caption;  // the menu's and the toolbar's
        for (const TControl& control : controls) {
            SCOPED_TRACE(std::string(c.caption) + " from " + control.where.toStdString() + " " +
                         c.file.toStdString() + c.folder.toStdString());
            w.clearJobs();
            messages_.clear();
            answerFile_ = c.file;
            answerFiles_ = c.files;
            answerFolder_ = c.folder;
            control.Trigger();
            EXPECT_EQ(Inputs(w), c.rows);
            // Rows entered through the model: the view shows each of them.
            EXPECT_EQ(w.jobView()->model()->rowCount(), static_cast<int>(c.rows.size()));
            EXPECT_EQ(w.selectedRow(), static_cast<int>(c.rows.size()) - 1);
            EXPECT_EQ(w.logoShown(), c.rows.empty());
            EXPECT_EQ(w.groupEnabled(TMainWindow::cgStart), !c.rows.empty());
            for (size_t r = 0; r < c.rows.size(); ++r) {
                const int row = static_cast<int>(r);
                EXPECT_EQ(w.jobModel().Jobs().Cell(row, jcTaskNumber), std::to_string(row + 1));
                EXPECT_EQ(w.jobModel().Jobs().Cell(row, jcDuration), "00:00:02");
                EXPECT_TRUE(w.jobModel().Jobs().SlotUsed(row));
            }
            if (c.box.isEmpty()) {
                EXPECT_TRUE(messages_.empty());
            } else {
                ASSERT_EQ(messages_.size(), 1u);
                EXPECT_EQ(messages_[0].title, QStringLiteral("提示"));
                EXPECT_EQ(messages_[0].text, c.box);
            }
        }
    }
    EXPECT_TRUE(w.logText().contains(QStringLiteral("\n***Can do convert.\n")));
    EXPECT_TRUE(w.logText().contains(QStringLiteral("***File load error: ")));
    // The folder dialog opens where the last folder was chosen.
    EXPECT_EQ(folderStarts_.front(), QString());
    EXPECT_EQ(folderStarts_.back(), empty);
}

TEST_F(WindowJobsTest, SameInputTwiceReservesBothOutputsUntilCleared)
{
    TMainWindow& w = *window_;
    answerFile_ = Clip("a.avi");
    Controls(w, QStringLiteral("添加一个文件")).front().Trigger();
    Controls(w, QStringLiteral("添加一个文件")).front().Trigger();
    ASSERT_EQ(w.jobModel().rowCount(), 2);
    const std::string ext = w.pickers().OutputExtension();
    EXPECT_EQ(w.jobModel().Jobs().Cell(0, jcOutputFile), "a" + ext);
    EXPECT_EQ(w.jobModel().Jobs().Cell(1, jcOutputFile), "a_1" + ext);
    for (int row : {0, 1}) {
        EXPECT_TRUE(platform::FileExists(Output(row))) << row;
        EXPECT_EQ(platform::FileSize(Output(row)), 0) << row;
    }
    const std::string first = Output(0);
    const std::string second = Output(1);
    for (const TControl& clear : Controls(w, QStringLiteral("清空")))
        clear.Trigger();
    EXPECT_EQ(w.jobModel().rowCount(), 0);
    EXPECT_FALSE(platform::FileExists(first));
    EXPECT_FALSE(platform::FileExists(second));
}

TEST_F(WindowJobsTest, AnOldRowNeverRemovesTheCheckTaskOfANewJob)
{
    TMainWindow& w = *window_;
    answerFile_ = Clip("a.avi");
    Controls(w, QStringLiteral("添加一个文件")).front().Trigger();
    w.startRun();  // the fake starts nothing; the check tasks are gone
    w.engineTerminate(End(0));
    w.engineTerminate(End(-1));
    EXPECT_EQ(w.jobModel().Jobs().Cell(0, jcTaskNumber), "");

    answerFile_ = Clip("b.avi");
    Controls(w, QStringLiteral("添加一个文件")).front().Trigger();
    ASSERT_EQ(w.jobModel().rowCount(), 2);
    EXPECT_EQ(w.jobModel().Jobs().Cell(1, jcTaskNumber), "1");
    const std::string reserved = Output(1);
    ASSERT_TRUE(platform::FileExists(reserved));

    w.selectRow(0);
    Controls(w, QStringLiteral("删除")).front().Trigger();
    ASSERT_EQ(w.jobModel().rowCount(), 1);
    EXPECT_TRUE(platform::FileExists(reserved));
    EXPECT_EQ(component_.TasksCount(), 1);
    EXPECT_EQ(w.jobModel().Jobs().Cell(0, jcTaskNumber), "1");
}

TEST_F(WindowJobsTest, DroppedFilesAndFoldersAreAdded)
{
    TMainWindow& w = *window_;
    const QString folder = Folder("dropped", {"b.avi"}, {"readme.txt"});
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(Clip("a.avi")), QUrl::fromLocalFile(folder)});
    QWidget* target = w.jobView()->viewport();
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    EXPECT_EQ(Inputs(w), (std::vector<std::string>{"a.avi", "b.avi"}));
    EXPECT_EQ(w.selectedRow(), 1);
}

TEST_F(WindowJobsTest, RenamingWithTheInlineEditor)
{
    TMainWindow& w = *window_;
    w.show();
    QApplication::setActiveWindow(&w);
    answerFiles_ = {Clip("a.avi"), Clip("b.avi")};
    Controls(w, QStringLiteral("添加多个文件")).front().Trigger();
    ASSERT_EQ(w.jobModel().rowCount(), 2);
    w.selectRow(-1);
    for (const TControl& rename : Controls(w, QStringLiteral("重命名")) + Controls(w, QStringLiteral("重新命名"))) {
        messages_.clear();
        rename.Trigger();
        ASSERT_EQ(messages_.size(), 1u);
        EXPECT_EQ(messages_[0].text, QStringLiteral("请先选中您需要重命名的项目！"));
    }
    EXPECT_FALSE(w.nameEditor()->isVisible());
    const std::string ext = w.pickers().OutputExtension();
    QTableView* view = w.jobView();
    const QRect cell = view->visualRect(w.jobModel().index(0, jcOutputFile));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    QLineEdit* editor = w.nameEditor();
    ASSERT_TRUE(editor->isVisible());
    EXPECT_EQ(editor->text(), QStringLiteral("b"));
    EXPECT_EQ(editor->x(), view->columnWidth(0) + view->columnWidth(1) + view->columnWidth(2) + 2);
    EXPECT_EQ(editor->width(), view->columnWidth(jcOutputFile));

    // An empty name changes nothing and the editor stays.
    editor->selectAll();
    QTest::keyClick(editor, Qt::Key_Delete);
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(w.jobModel().Jobs().Cell(0, jcOutputFile), "b" + ext);

    // Chinese text arrives whole, as an input method commits it.
    QKeyEvent typed(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QStringLiteral("新名字"));
    QApplication::sendEvent(editor, &typed);
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_FALSE(editor->isVisible());
    EXPECT_EQ(w.jobModel().Jobs().Cell(0, jcOutputFile), "新名字" + ext);
    EXPECT_EQ(w.jobModel().Jobs().OutputSlot(0).FileName, w.OutputFolder() + "/新名字" + ext);

    // A click that leaves no row selected stops the preview.
    int stops = 0;
    w.setPreviewStopHook([&stops] { ++stops; });
    w.selectRow(-1);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(5, view->viewport()->height() - 5));
    EXPECT_EQ(stops, 1);
}

TEST(PreviewWindow, ShowsFramesAndClosingEndsOnlyThePreview)
{
    platform::Bitmap picture(64, 48);
    picture.Fill(200, 30, 30);
    auto previewer = std::make_unique<TWindowPreviewer>();
    // Painted from a conversion thread while the main thread serves it.
    auto paint = [&](int64_t pts) {
        bool result = false;
        std::atomic<bool> done{false};
        std::thread worker([&] {
            result = previewer->PaintFrame(picture, 1, pts);
            done.store(true);
            platform::MainThread::NotifyWaiters();
        });
        platform::MainThread::WaitServing([&] { return done.load(); }, std::chrono::seconds(10));
        worker.join();
        return result;
    };
    EXPECT_TRUE(paint(3723004000));
    ASSERT_EQ(TWindowPreviewer::OpenWindows().size(), 1);
    TPreviewWindow* window = TWindowPreviewer::OpenWindows().front();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("01:02:03.004"));
    EXPECT_EQ(window->size(), QSize(64, 48));
    EXPECT_TRUE(window->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(window->windowFlags() & Qt::Tool, Qt::Tool);
    EXPECT_EQ(window->picture().pixelColor(10, 10), QColor(200, 30, 30));

    window->close();
    EXPECT_FALSE(paint(3724000000));
    // Freed on its conversion thread; the window goes on the main thread.
    std::atomic<bool> freed{false};
    std::thread worker([&] {
        previewer.reset();
        freed.store(true);
        platform::MainThread::NotifyWaiters();
    });
    platform::MainThread::WaitServing([&] { return freed.load(); }, std::chrono::seconds(10));
    worker.join();
    EXPECT_TRUE(TWindowPreviewer::OpenWindows().isEmpty());
}

}  // namespace
}  // namespace vexa::app::test
