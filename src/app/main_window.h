#pragma once
// The main window: owner of the job list, the pickers, the preview panel,
// the options dialog and about box, and of the run's commands and states.
#include "app/job_table_model.h"
#include "jobs/app_settings.h"
#include "app/run_engine.h"
#include "catalogue/option_lists.h"
#include "catalogue/preset_pickers.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QMessageBox>

#include <array>
#include <functional>
#include <span>
#include <vector>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableView;
class QTabWidget;
class QToolBar;
class QToolButton;

namespace vexa::app {

class TAboutBox;
class TOfficeComboBox;
class TOptionsDialog;
class TPreviewPanel;

inline constexpr const char* kAppTitle = "Vexa全能视频格式转换器";

class TMainWindow : public QMainWindow, public catalogue::TPickerHost {
    Q_OBJECT
public:
    // Controls that are always switched together.
    enum TCommandGroup { cgAdd, cgStart, cgStop, cgPause, cgResume, cgRemove, cgRename, cgClear, cgSettings };
    static constexpr int kCommandGroupCount = 9;

    // Message boxes go through one function so tests can take them instead.
    using TMessageSink = std::function<void(QMessageBox::Icon icon, const QString& title, const QString& text)>;

    // The file and folder dialogs of adding; an empty answer is a cancel.
    // Tests answer them in place of the user.
    struct TDialogs {
        std::function<QString()> OpenFile;
        std::function<QStringList()> OpenFiles;
        std::function<QString(const QString& startFolder)> ChooseFolder;
    };

    // Runs the whole start-up, then creates the about box and the options
    // dialog, which reads its settings.
    explicit TMainWindow(const TSettingsLocation& location, QWidget* parent = nullptr);
    ~TMainWindow() override;

    // ---- Job list.
    TJobTableModel& jobModel() { return *jobModel_; }
    QTableView* jobView() const { return jobView_; }
    int selectedRow() const;
    // Selects a row (-1: none); a change of the selected row runs the
    // selection handling.
    void selectRow(int row);
    // The end of a successful add: the logo goes, the row and its slot are
    // taken, and the commands for a list with jobs come on. False when the
    // slot store is full; nothing changes then.
    bool appendJob(TJobRow row, const TInputOptions& input, const TOutputOptions& output);
    // The three add commands: dialog, library check, each file tried with a
    // check task and taken into the list through the table model.
    void addOneFile();
    void addManyFiles();
    void addFolder();
    // Files (and folders, by their own files) as the multiple-file add takes
    // them: dropped onto the list or given on the command line.
    void addPaths(const QStringList& paths);
    // The files of the command line; errors are shown, not thrown.
    void openFiles(const QStringList& paths);
    void removeSelectedJob();
    void clearJobs();
    // Moves do nothing while a run is under way: the run reports progress by
    // row position.
    void moveSelectedUp();
    void moveSelectedDown();
    bool logoShown() const;
    // The inline editor of the output name over column 3; hidden when idle.
    QLineEdit* nameEditor() const { return nameEditor_; }
    void startRename();
    // Called when a click on the list leaves no row selected: the preview
    // player stops there.
    void setPreviewStopHook(std::function<void()> hook) { previewStop_ = std::move(hook); }

    // ---- Run.
    // Not owned; nullptr until an engine is attached. The engine's events are
    // connected here and disconnected when the window closes.
    void setRunEngine(TRunEngine* engine);
    void startRun();
    void pauseRun();
    void resumeRun();
    void stopRun();
    // The events of run number `run`; one of an earlier run is dropped.
    void runProgress(int run, const TProgressInfo& info);
    void runTerminate(int run, const TTerminateInfo& info);
    // The same for the current run.
    void engineProgress(const TProgressInfo& info) { runProgress(run_, info); }
    void engineTerminate(const TTerminateInfo& info) { runTerminate(run_, info); }
    int currentRun() const { return run_; }
    bool runUnderWay() const { return runUnderWay_; }
    // The status bar's remaining time of the whole run.
    QString remainingText() const;
    bool groupEnabled(TCommandGroup group) const;
    QAction* startToolAction() const { return startTool_; }
    QAction* stopToolAction() const { return stopTool_; }
    QAction* pauseToolAction() const { return pauseTool_; }
    QAction* resumeToolAction() const { return resumeTool_; }

    // ---- Pickers. The choose calls are what a user's pick does.
    catalogue::TPresetPickers& pickers() { return pickers_; }
    TOfficeComboBox* categoryPicker() const { return category_; }
    TOfficeComboBox* formatPicker() const { return format_; }
    QComboBox* optionPicker(catalogue::TOptionKind kind) const { return optionPickers_[kind]; }
    void chooseCategory(int category);
    void chooseFormat(int format);
    void chooseOption(catalogue::TOptionKind kind, int index);

    // ---- Settings and dialogs.
    QString outputFolder() const;
    QLineEdit* outputFolderBox() const { return folderBox_; }
    void setOutputFolder(const QString& folder);
    int skinIndex() const { return skin_; }
    void applySkin(int index);
    // The "Select skin" dialog; the skin shown afterwards is saved either way.
    void selectSkin();
    TOptionsDialog* optionsDialog() const { return optionsDialog_; }
    TAboutBox* aboutBox() const { return aboutBox_; }
    TPreviewPanel* previewPanel() const { return preview_; }
    QTabWidget* settingsTabs() const { return tabs_; }
    void setMessageSink(TMessageSink sink) { messageSink_ = std::move(sink); }
    void setDialogs(TDialogs dialogs) { dialogs_ = std::move(dialogs); }
    // The completion sound: sounds/ring001.wav beside the executable.
    const std::string& completionSound() const { return completionSound_; }
    void setCompletionSound(std::string file) { completionSound_ = std::move(file); }
    QString logText() const;
    QString playerFileName() const { return playerFileName_; }
    // The filters the open-file dialogs offer, the first one chosen at first.
    const QStringList& openDialogFilters() const { return openFilters_; }

    // ---- TPickerHost.
    bool HasSelectedRow() const override;
    std::string SelectedRowColumn(int column) const override;
    void SetSelectedRowColumn(int column, const std::string& text) override;
    std::string OutputFolder() const override;
    bool OverwriteOutput() const override;
    void FocusJobList() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMenus();
    void buildToolbar();
    QWidget* buildJobPanel();
    QTabWidget* buildTabs();
    void registerGroups();
    void setGroupEnabled(TCommandGroup group, bool enabled);
    void showPauseInToolbar(bool pauseShown);

    void startUp();
    void freeAllSlots();
    void loadOutputFolder();
    void saveOutputFolder();
    void loadSkin();
    void saveSkin();
    void refillFormats();
    void lockSettings();
    void unlockSettings();
    void openOutputFolder();
    void shutDown();
    void playCompletionSound();
    void browseOutputFolder();
    void showOptions();
    void showAbout();
    void finishRename();
    void listClicked();
    void jobSelectionChanged();
    // Adding: one file through the engine's adder; false ends the operation.
    enum TAddStep { asAdded, asSkipped, asStopped };
    TAddStep addFile(const QString& file);
    bool librariesReady();
    void addListed(const QStringList& files);
    void selectLastAndFocus();
    void forgetCheckTasks();
    void runGuarded(const std::function<void()>& fn);
    // A slot body whose errors are shown, never thrown into Qt.
    template <typename F>
    auto guarded(F fn)
    {
        return [this, fn] { runGuarded(fn); };
    }
    void endOfRun();
    void updateRemaining();
    void afterEmptied();
    void syncPickers();
    void syncPickerEnabled();
    void runPickerCall(const std::function<void()>& call);
    void appendLog(const QString& line);
    void disconnectLog();
    void message(QMessageBox::Icon icon, const QString& title, const QString& text);

    TSettingsLocation location_;
    TAppSettings settings_;
    catalogue::TPresetPickers pickers_;
    TJobTableModel* jobModel_;
    TRunEngine* engine_ = nullptr;
    int skin_ = 0;
    bool settingsEnabled_ = true;
    bool runUnderWay_ = false;  // from Start to the run's end event
    int run_ = 0;               // number of the current (or last) run
    bool stopping_ = false;     // inside the engine's Stop
    struct TLateEnd {
        int run;
        TTerminateInfo info;
    };
    std::vector<TLateEnd> endsWhileStopping_;
    // Row of each task of the run: a row whose task could not be built has
    // none, and later rows keep their own tasks' events.
    std::vector<int> taskRows_;
    // Remaining time: media time done and in all per task, the time spent
    // converting (paused time left out).
    struct TTaskTime {
        int64_t doneUs = 0;
        int64_t totalUs = 0;
    };
    std::vector<TTaskTime> taskTimes_;
    QElapsedTimer runClock_;
    int64_t runActiveMs_ = 0;
    bool paused_ = false;
    TDialogs dialogs_;
    std::function<void()> previewStop_;
    QString lastAddFolder_;
    std::string completionSound_;
    QString fileOutPutPath_;   // the folder the run writes into
    QString playerFileName_;   // the file the preview opens
    QString lastFolderChoice_; // where the folder dialog opens next
    QStringList openFilters_;
    TMessageSink messageSink_;

    QToolBar* toolbar_ = nullptr;
    QToolButton* addButton_ = nullptr;
    QAction* startTool_ = nullptr;
    QAction* stopTool_ = nullptr;
    QAction* pauseTool_ = nullptr;
    QAction* resumeTool_ = nullptr;
    QAction* optionsTool_ = nullptr;
    QAction* skinTool_ = nullptr;
    QList<QAction*> addActions_;
    QAction* menuStart_ = nullptr;
    QAction* menuStop_ = nullptr;
    QAction* menuPause_ = nullptr;
    QAction* menuResume_ = nullptr;
    QAction* menuRemove_ = nullptr;
    QAction* menuClear_ = nullptr;
    QAction* menuRename_ = nullptr;

    TPreviewPanel* preview_ = nullptr;
    QTableView* jobView_ = nullptr;
    QWidget* logo_ = nullptr;
    QPushButton* removeButton_ = nullptr;
    QPushButton* clearButton_ = nullptr;
    QPushButton* downButton_ = nullptr;
    QPushButton* upButton_ = nullptr;
    QPushButton* renameButton_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    TOfficeComboBox* category_ = nullptr;
    TOfficeComboBox* format_ = nullptr;
    std::span<const catalogue::TFormatItem> shownFormats_;
    std::array<QComboBox*, catalogue::kOptionKindCount> optionPickers_{};
    QLineEdit* folderBox_ = nullptr;
    QPushButton* browseButton_ = nullptr;
    QPushButton* openButton_ = nullptr;
    QPlainTextEdit* log_ = nullptr;
    QLineEdit* nameEditor_ = nullptr;
    QLabel* remaining_ = nullptr;

    std::array<QList<QAction*>, kCommandGroupCount> groupActions_;
    std::array<QList<QWidget*>, kCommandGroupCount> groupWidgets_;

    TAboutBox* aboutBox_ = nullptr;
    TOptionsDialog* optionsDialog_ = nullptr;
};

// Glyphs of the text that the font (with its fallbacks) cannot draw.
int MissingGlyphs(const QString& text, const QFont& font);

}  // namespace vexa::app
