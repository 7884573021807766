// Construction of the main window and its start-up.
#include "app/main_window.h"

#include "app/about_box.h"
#include "app/icons.h"
#include "app/office_combo_box.h"
#include "app/open_filters.h"
#include "app/options_dialog.h"
#include "app/preview_panel.h"
#include "app/skins.h"
#include "media/ffmpeg_logger.h"
#include "platform/paths.h"
#include "platform/shell.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QMimeData>
#include <QUrl>
#include <QStatusBar>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStackedLayout>
#include <QTabWidget>
#include <QTableView>
#include <QTextLayout>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace vexa::app {

using namespace catalogue;

namespace {

// The window the log relay currently delivers to; a window going away only
// disconnects the relay when the relay is still its own.
TMainWindow* g_logWindow = nullptr;

class TLogoPanel : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.drawPixmap(0, 0, LogoPicture(size()));
    }
};

}  // namespace

TMainWindow::TMainWindow(const TSettingsLocation& location, QWidget* parent)
    : QMainWindow(parent), location_(location), settings_(location), pickers_(*this),
      jobModel_(new TJobTableModel(this))
{
    setWindowTitle(QString::fromUtf8(kAppTitle));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(839, 527);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    buildMenus();
    buildToolbar();

    auto* central = new QWidget(this);
    auto* body = new QVBoxLayout(central);
    body->setContentsMargins(4, 4, 4, 4);
    body->setSpacing(4);
    auto* middle = new QHBoxLayout;
    middle->setSpacing(4);
    preview_ = new TPreviewPanel(central);
    preview_->setFixedWidth(330);
    middle->addWidget(preview_);
    middle->addWidget(buildJobPanel(), 1);
    body->addLayout(middle, 1);
    body->addWidget(buildTabs());
    setCentralWidget(central);

    // The log lies outside what the user sees.
    log_ = new QPlainTextEdit(this);
    log_->setReadOnly(true);
    log_->setVisible(false);

    messageSink_ = [this](QMessageBox::Icon icon, const QString& title, const QString& text) {
        QMessageBox box(icon, title, text, QMessageBox::Ok, this);
        box.exec();
    };
    dialogs_.OpenFile = [this] {
        QFileDialog dialog(this, QStringLiteral("打开文件"));
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setNameFilters(openFilters_);
        dialog.selectNameFilter(openFilters_.value(0));
        return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
    };
    dialogs_.OpenFiles = [this] {
        QFileDialog dialog(this, QStringLiteral("打开文件"));
        dialog.setFileMode(QFileDialog::ExistingFiles);
        dialog.setNameFilters(openFilters_);
        dialog.selectNameFilter(openFilters_.value(0));
        return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles() : QStringList();
    };
    dialogs_.ChooseFolder = [this](const QString& start) {
        return QFileDialog::getExistingDirectory(this, QStringLiteral("选择目录"),
                                                 start.isEmpty() ? QDir::rootPath() : start);
    };
    remaining_ = new QLabel(this);
    remaining_->setObjectName(QStringLiteral("remainingTime"));
    statusBar()->addPermanentWidget(remaining_);
    statusBar()->setSizeGripEnabled(false);
    registerGroups();

    // A line handed over just before the window goes must not reach it.
    TFFLogger::Instance().SetOnLog([window = QPointer<TMainWindow>(this)](void*, uint32_t threadId,
                                                                         TLogLevel level, const std::string& text) {
        if (!window)
            return;
        window->appendLog(QStringLiteral("#") % QString::number(threadId) % QStringLiteral(".") %
                  QString::number(static_cast<int>(level)) % QStringLiteral(": ") % QString::fromStdString(text));
    });

    g_logWindow = this;
    completionSound_ = platform::ApplicationFolder() + "/sounds/ring001.wav";

    startUp();
    aboutBox_ = new TAboutBox(this);
    optionsDialog_ = new TOptionsDialog(location_, this);
    connect(optionsDialog_, &TOptionsDialog::previewChanged, this, [this](bool on) {
        runGuarded([this, on] {
            if (engine_)
                engine_->SetPreview(on);
        });
    });
}

void TMainWindow::disconnectLog()
{
    if (g_logWindow != this)
        return;
    TFFLogger::Instance().SetOnLog({});
    g_logWindow = nullptr;
}

TMainWindow::~TMainWindow()
{
    disconnectLog();
}

void TMainWindow::startUp()
{
    freeAllSlots();
    loadOutputFolder();
    openFilters_ = OpenDialogFilters();
    loadSkin();
    refillFormats();
    preview_->reset();
}

void TMainWindow::buildMenus()
{
    QMenuBar* bar = menuBar();
    QMenu* file = bar->addMenu(QStringLiteral("文件"));
    QAction* addOne = file->addAction(QStringLiteral("添加一个文件"));
    QAction* addMany = file->addAction(QStringLiteral("添加多个文件"));
    QAction* addDir = file->addAction(QStringLiteral("添加整个目录"));
    addActions_ << addOne << addMany << addDir;
    connect(addOne, &QAction::triggered, this, guarded([this] { addOneFile(); }));
    connect(addMany, &QAction::triggered, this, guarded([this] { addManyFiles(); }));
    connect(addDir, &QAction::triggered, this, guarded([this] { addFolder(); }));
    file->addSeparator();
    connect(file->addAction(QStringLiteral("退出")), &QAction::triggered, this, &QWidget::close);

    QMenu* edit = bar->addMenu(QStringLiteral("编辑"));
    connect(edit->addAction(QStringLiteral("上移文件")), &QAction::triggered, this,
            guarded([this] { moveSelectedUp(); }));
    connect(edit->addAction(QStringLiteral("下移文件")), &QAction::triggered, this,
            guarded([this] { moveSelectedDown(); }));
    menuRemove_ = edit->addAction(QStringLiteral("删除选择"));
    menuClear_ = edit->addAction(QStringLiteral("清空文件"));
    menuRename_ = edit->addAction(QStringLiteral("重新命名"));
    connect(menuRemove_, &QAction::triggered, this, guarded([this] { removeSelectedJob(); }));
    connect(menuClear_, &QAction::triggered, this, guarded([this] { clearJobs(); }));
    connect(menuRename_, &QAction::triggered, this, guarded([this] { startRename(); }));

    QMenu* action = bar->addMenu(QStringLiteral("动作"));
    menuStart_ = action->addAction(QStringLiteral("开始转换"));
    menuStop_ = action->addAction(QStringLiteral("停止转换"));
    menuPause_ = action->addAction(QStringLiteral("暂停转换"));
    menuResume_ = action->addAction(QStringLiteral("继续继续"));
    connect(menuStart_, &QAction::triggered, this, guarded([this] { startRun(); }));
    connect(menuStop_, &QAction::triggered, this, guarded([this] { stopRun(); }));
    connect(menuPause_, &QAction::triggered, this, guarded([this] { pauseRun(); }));
    connect(menuResume_, &QAction::triggered, this, guarded([this] { resumeRun(); }));

    QMenu* functions = bar->addMenu(QStringLiteral("功能"));
    connect(functions->addAction(QStringLiteral("转换设置")), &QAction::triggered, this,
            guarded([this] { showOptions(); }));
    connect(functions->addAction(QStringLiteral("软件皮肤")), &QAction::triggered, this,
            guarded([this] { selectSkin(); }));

    QMenu* help = bar->addMenu(QStringLiteral("帮助"));
    QAction* helpPage = help->addAction(QStringLiteral("帮助系统"));
    helpPage->setShortcut(QKeySequence(Qt::Key_F1));
    connect(helpPage, &QAction::triggered, this,
            [] { platform::CurrentShell().OpenUrl(kHelpPageUrl); });
    connect(help->addAction(QStringLiteral("官方网站")), &QAction::triggered, this,
            [] { platform::CurrentShell().OpenUrl(kHomePageUrl); });
    connect(help->addAction(QStringLiteral("关于软件")), &QAction::triggered, this, guarded([this] { showAbout(); }));
}

void TMainWindow::buildToolbar()
{
    toolbar_ = new QToolBar(this);
    toolbar_->setMovable(false);
    toolbar_->setFloatable(false);
    toolbar_->setIconSize(QSize(32, 32));
    toolbar_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    toolbar_->setContextMenuPolicy(Qt::PreventContextMenu);
    toolbar_->setStyleSheet(FixedStyleSheet());
    addToolBar(Qt::TopToolBarArea, toolbar_);

    addButton_ = new QToolButton(toolbar_);
    addButton_->setText(QStringLiteral("添加"));
    addButton_->setIcon(CommandIcon(TCommandGlyph::Add));
    addButton_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    addButton_->setPopupMode(QToolButton::InstantPopup);
    auto* addMenu = new QMenu(addButton_);
    QAction* addOne = addMenu->addAction(QStringLiteral("添加一个文件"));
    QAction* addMany = addMenu->addAction(QStringLiteral("添加多个文件"));
    QAction* addDir = addMenu->addAction(QStringLiteral("添加整个目录"));
    addActions_ << addOne << addMany << addDir;
    connect(addOne, &QAction::triggered, this, guarded([this] { addOneFile(); }));
    connect(addMany, &QAction::triggered, this, guarded([this] { addManyFiles(); }));
    connect(addDir, &QAction::triggered, this, guarded([this] { addFolder(); }));
    addButton_->setMenu(addMenu);
    toolbar_->addWidget(addButton_);

    startTool_ = toolbar_->addAction(CommandIcon(TCommandGlyph::Start), QStringLiteral("开始"));
    stopTool_ = toolbar_->addAction(CommandIcon(TCommandGlyph::Stop), QStringLiteral("停止"));
    pauseTool_ = toolbar_->addAction(CommandIcon(TCommandGlyph::Pause), QStringLiteral("暂停"));
    resumeTool_ = toolbar_->addAction(CommandIcon(TCommandGlyph::Resume), QStringLiteral("继续"));
    resumeTool_->setVisible(false);
    optionsTool_ = toolbar_->addAction(CommandIcon(TCommandGlyph::Options), QStringLiteral("选项"));
    skinTool_ = toolbar_->addAction(QStringLiteral("皮肤"));
    skinTool_->setVisible(false);
    connect(startTool_, &QAction::triggered, this, guarded([this] { startRun(); }));
    connect(stopTool_, &QAction::triggered, this, guarded([this] { stopRun(); }));
    connect(pauseTool_, &QAction::triggered, this, guarded([this] { pauseRun(); }));
    connect(resumeTool_, &QAction::triggered, this, guarded([this] { resumeRun(); }));
    connect(optionsTool_, &QAction::triggered, this, guarded([this] { showOptions(); }));
    connect(skinTool_, &QAction::triggered, this, guarded([this] { selectSkin(); }));
}

QWidget* TMainWindow::buildJobPanel()
{
    auto* panel = new QWidget(this);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);

    auto* listArea = new QWidget(panel);
    auto* stack = new QStackedLayout(listArea);
    stack->setStackingMode(QStackedLayout::StackAll);
    jobView_ = new QTableView(listArea);
    jobView_->setObjectName(QStringLiteral("lvFiles"));
    jobView_->setModel(jobModel_);
    jobView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    jobView_->setSelectionMode(QAbstractItemView::SingleSelection);
    jobView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    jobView_->setShowGrid(true);
    jobView_->setWordWrap(false);
    jobView_->verticalHeader()->setVisible(false);
    jobView_->verticalHeader()->setDefaultSectionSize(20);
    jobView_->horizontalHeader()->setHighlightSections(false);
    jobView_->horizontalHeader()->setStretchLastSection(false);
    for (int c = 0; c < kJobColumnCount; ++c) {
        const int width = TJobTableModel::ColumnWidth(c);
        jobView_->setColumnHidden(c, width == 0);
        if (width > 0)
            jobView_->setColumnWidth(c, width);
    }
    connect(jobView_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            guarded([this] { jobSelectionChanged(); }));
    connect(jobView_, &QAbstractItemView::doubleClicked, this, guarded([this] {
                if (selectedRow() >= 0)
                    startRename();
            }));
    jobView_->viewport()->installEventFilter(this);
    jobView_->viewport()->setAcceptDrops(true);
    jobView_->setDragDropMode(QAbstractItemView::DropOnly);
    nameEditor_ = new QLineEdit(jobView_->viewport());
    nameEditor_->setObjectName(QStringLiteral("edt"));
    nameEditor_->setFrame(false);
    nameEditor_->setVisible(false);
    connect(nameEditor_, &QLineEdit::editingFinished, this, guarded([this] { finishRename(); }));
    logo_ = new TLogoPanel(listArea);
    logo_->setObjectName(QStringLiteral("bsSkinPanel5"));
    stack->addWidget(jobView_);
    stack->addWidget(logo_);
    stack->setCurrentWidget(logo_);
    layout->addWidget(listArea, 1);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(4);
    auto makeButton = [panel, buttons](const char* caption, TCommandGlyph glyph) {
        auto* button = new QPushButton(CommandIcon(glyph), QString::fromUtf8(caption), panel);
        button->setIconSize(QSize(16, 16));
        buttons->addWidget(button);
        return button;
    };
    removeButton_ = makeButton("删除", TCommandGlyph::Remove);
    clearButton_ = makeButton("清空", TCommandGlyph::Clear);
    downButton_ = makeButton("下移", TCommandGlyph::Down);
    upButton_ = makeButton("上移", TCommandGlyph::Up);
    renameButton_ = makeButton("重命名", TCommandGlyph::Rename);
    buttons->addStretch();
    connect(removeButton_, &QPushButton::clicked, this, guarded([this] { removeSelectedJob(); }));
    connect(clearButton_, &QPushButton::clicked, this, guarded([this] { clearJobs(); }));
    connect(downButton_, &QPushButton::clicked, this, guarded([this] { moveSelectedDown(); }));
    connect(upButton_, &QPushButton::clicked, this, guarded([this] { moveSelectedUp(); }));
    connect(renameButton_, &QPushButton::clicked, this, guarded([this] { startRename(); }));
    layout->addLayout(buttons);
    return panel;
}

QTabWidget* TMainWindow::buildTabs()
{
    tabs_ = new QTabWidget(this);
    tabs_->setFixedHeight(132);

    auto* general = new QWidget(tabs_);
    auto* grid = new QGridLayout(general);
    grid->setContentsMargins(8, 6, 8, 6);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(6);
    grid->addWidget(new QLabel(QStringLiteral("输出格式："), general), 0, 0);
    category_ = new TOfficeComboBox(50, false, general);
    category_->setObjectName(QStringLiteral("bsSkinOfficeComboBox2"));
    category_->setFixedSize(140, 44);
    for (const TCategory& c : Categories())
        category_->addOfficeItem(CategoryIcon(c.ImageIndex), {}, QString::fromUtf8(c.Caption.data(),
                                                                                    static_cast<int>(c.Caption.size())));
    format_ = new TOfficeComboBox(60, true, general);
    format_->setObjectName(QStringLiteral("bsSkinOfficeComboBox1"));
    format_->setFixedSize(456, 44);
    category_->setStyleSheet(FixedStyleSheet());
    format_->setStyleSheet(FixedStyleSheet());
    auto* pickersRow = new QHBoxLayout;
    pickersRow->addWidget(category_);
    pickersRow->addWidget(format_);
    pickersRow->addStretch();
    grid->addLayout(pickersRow, 0, 1);
    connect(category_, &QComboBox::activated, this, &TMainWindow::chooseCategory);
    connect(format_, &QComboBox::activated, this, &TMainWindow::chooseFormat);

    grid->addWidget(new QLabel(QStringLiteral("输出文件夹："), general), 1, 0);
    folderBox_ = new QLineEdit(general);
    folderBox_->setObjectName(QStringLiteral("Video_OutPut_Folder_Edit"));
    folderBox_->setReadOnly(true);
    folderBox_->installEventFilter(this);
    browseButton_ = new QPushButton(QStringLiteral("浏览"), general);
    openButton_ = new QPushButton(QStringLiteral("打开"), general);
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(folderBox_, 1);
    folderRow->addWidget(browseButton_);
    folderRow->addWidget(openButton_);
    grid->addLayout(folderRow, 1, 1);
    grid->setRowStretch(2, 1);
    connect(browseButton_, &QPushButton::clicked, this, guarded([this] { browseOutputFolder(); }));
    connect(openButton_, &QPushButton::clicked, this, guarded([this] {
                openOutputFolder();
                FocusJobList();
            }));
    tabs_->addTab(general, QStringLiteral("常规设置"));

    auto* advanced = new QWidget(tabs_);
    auto* options = new QGridLayout(advanced);
    options->setContentsMargins(8, 8, 8, 8);
    options->setHorizontalSpacing(8);
    const struct { TOptionKind kind; const char* label; const char* name; } layout[] = {
        {okFrameSize, "视频分辨率：", "bsSkinComboBox1"},  {okVideoBitrate, "视频比特率：", "bsSkinComboBox2"},
        {okFrameRate, "视频帧率：", "bsSkinComboBox9"},    {okAudioBitrate, "音频比特率：", "bsSkinComboBox3"},
        {okSampleRate, "音频采样率：", "bsSkinComboBox10"}, {okAspect, "视频缩放：", "bsSkinComboBox4"},
    };
    for (int i = 0; i < kOptionKindCount; ++i) {
        const auto& entry = layout[i];
        auto* picker = new QComboBox(advanced);
        picker->setObjectName(QString::fromUtf8(entry.name));
        picker->setMaxVisibleItems(8);
        picker->setMinimumWidth(150);
        optionPickers_[entry.kind] = picker;
        const int row = i / 3;
        const int column = (i % 3) * 2;
        options->addWidget(new QLabel(QString::fromUtf8(entry.label), advanced), row, column, Qt::AlignRight);
        options->addWidget(picker, row, column + 1);
        const TOptionKind kind = entry.kind;
        connect(picker, &QComboBox::activated, this, [this, kind](int index) { chooseOption(kind, index); });
    }
    options->setRowStretch(2, 1);
    tabs_->addTab(advanced, QStringLiteral("音视频高级设置"));
    tabs_->setCurrentIndex(0);
    return tabs_;
}

void TMainWindow::registerGroups()
{
    groupWidgets_[cgAdd] = {addButton_};
    groupActions_[cgAdd] = addActions_;
    groupActions_[cgStart] = {startTool_, menuStart_};
    groupActions_[cgStop] = {stopTool_, menuStop_};
    groupActions_[cgPause] = {pauseTool_, menuPause_};
    groupActions_[cgResume] = {resumeTool_, menuResume_};
    groupWidgets_[cgRemove] = {removeButton_};
    groupActions_[cgRemove] = {menuRemove_, menuRename_};
    groupWidgets_[cgRename] = {renameButton_};
    groupWidgets_[cgClear] = {clearButton_};
    groupActions_[cgClear] = {menuClear_};
    groupWidgets_[cgSettings] = {category_, format_, browseButton_};
    // The empty list's state.
    for (TCommandGroup g : {cgStart, cgStop, cgPause, cgResume, cgRemove, cgRename, cgClear})
        setGroupEnabled(g, false);
}

void TMainWindow::closeEvent(QCloseEvent* event)
{
    // Closing asks nothing: a run under way ends silently, its events no
    // longer reach the window.
    if (engine_) {
        engine_->Connect({});
        try {
            engine_->Stop();
        } catch (const std::exception&) {
        }
    }
    disconnectLog();
    event->accept();
}

bool TMainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == folderBox_ && event->type() == QEvent::FocusIn) {
        FocusJobList();
        return false;
    }
    if (watched == jobView_->viewport()) {
        switch (event->type()) {
        case QEvent::MouseButtonRelease:
            listClicked();
            break;
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDropEvent*>(event);
            if (drag->mimeData()->hasUrls() && groupEnabled(cgAdd)) {
                drag->acceptProposedAction();
                return true;
            }
            break;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            QStringList paths;
            for (const QUrl& url : drop->mimeData()->urls())
                if (url.isLocalFile())
                    paths << url.toLocalFile();
            drop->acceptProposedAction();
            if (groupEnabled(cgAdd))
                runGuarded([this, paths] { addPaths(paths); });
            return true;
        }
        default:
            break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainWindow::runGuarded(const std::function<void()>& fn)
{
    try {
        fn();
    } catch (const std::exception& e) {
        message(QMessageBox::Warning, QString::fromUtf8(kAppTitle), QString::fromStdString(e.what()));
    } catch (...) {
        message(QMessageBox::Warning, QString::fromUtf8(kAppTitle), QStringLiteral("Unknown error"));
    }
}

void TMainWindow::appendLog(const QString& line)
{
    log_->appendPlainText(line);
}

QString TMainWindow::logText() const
{
    return log_->toPlainText();
}

void TMainWindow::message(QMessageBox::Icon icon, const QString& title, const QString& text)
{
    if (messageSink_)
        messageSink_(icon, title, text);
}

int MissingGlyphs(const QString& text, const QFont& font)
{
    QTextLayout layout(text, font);
    layout.beginLayout();
    while (layout.createLine().isValid()) {
    }
    layout.endLayout();
    int missing = 0;
    for (const QGlyphRun& run : layout.glyphRuns())
        for (quint32 glyph : run.glyphIndexes())
            if (glyph == 0)
                ++missing;
    return missing;
}

}  // namespace vexa::app
