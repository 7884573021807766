#include "app/app_run.h"

#include "app/engine_run.h"
#include "app/main_window.h"
#include "app/preview_window.h"
#include "catalogue/job_columns.h"
#include "media/media_shell.h"
#include "platform/main_thread.h"
#include "platform/shell.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMenuBar>
#include <QMetaObject>
#include <QPixmap>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>
#include <QWindow>

#include <clocale>
#include <cstdio>
#include <memory>

namespace vexa::app {

namespace {

struct TArguments {
    TSettingsLocation location = DefaultSettingsLocation();
    QString smokeScreenshot;
    QString runScreenshot;
    QStringList files;
};

TArguments ParseArguments(const QStringList& args)
{
    TArguments parsed;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& name = args[i];
        const bool hasValue = i + 1 < args.size();
        if (name == QStringLiteral("--settings") && hasValue)
            parsed.location.IniPath = args[++i].toStdString();
        else if (name == QStringLiteral("--home") && hasValue)
            parsed.location.HomeFolder = args[++i].toStdString();
        else if (name == QStringLiteral("--smoke-screenshot") && hasValue)
            parsed.smokeScreenshot = args[++i];
        else if (name == QStringLiteral("--run-screenshot") && hasValue)
            parsed.runScreenshot = args[++i];
        else if (name == QStringLiteral("--"))
            parsed.files << args.mid(i + 1);
        else if (!name.startsWith(QStringLiteral("--")))
            parsed.files << name;
        else
            continue;
        if (name == QStringLiteral("--"))
            break;
    }
    return parsed;
}

// Every caption the user reads in the window.
int MissingCaptionGlyphs(TMainWindow& window)
{
    int missing = MissingGlyphs(window.windowTitle(), window.font());
    for (const QLabel* label : window.findChildren<QLabel*>())
        missing += MissingGlyphs(label->text(), label->font());
    for (const QAbstractButton* button : window.findChildren<QAbstractButton*>())
        missing += MissingGlyphs(button->text(), button->font());
    for (const QAction* action : window.findChildren<QAction*>())
        missing += MissingGlyphs(action->text(), window.menuBar()->font());
    for (const QTabWidget* tabs : window.findChildren<QTabWidget*>())
        for (int i = 0; i < tabs->count(); ++i)
            missing += MissingGlyphs(tabs->tabText(i), tabs->font());
    return missing;
}

void GrabWhenShown(TMainWindow& window, const QString& file)
{
    auto* timer = new QTimer(&window);
    auto* clock = new QElapsedTimer;
    clock->start();
    QObject::connect(timer, &QTimer::timeout, &window, [&window, file, timer, clock] {
        QWindow* handle = window.windowHandle();
        const bool shown = handle && handle->isExposed();
        if (!shown && clock->elapsed() < 10000)
            return;
        timer->stop();
        delete clock;
        window.repaint();
        QCoreApplication::processEvents();
        QPixmap shot;
        if (QScreen* screen = handle ? handle->screen() : nullptr)
            shot = screen->grabWindow(window.winId());
        if (shot.isNull())
            shot = window.grab();
        const bool saved = shot.save(file, "PNG");
        std::printf("caption=%s\n", window.windowTitle().toUtf8().constData());
        std::printf("client=%dx%d\n", window.width(), window.height());
        std::printf("exposed=%d\n", shown ? 1 : 0);
        std::printf("screenshot=%s %dx%d %s\n", file.toUtf8().constData(), shot.width(), shot.height(),
                    saved ? "saved" : "failed");
        std::printf("missing_glyphs=%d\n", MissingCaptionGlyphs(window));
        std::fflush(stdout);
        window.close();
    });
    timer->start(50);
}

// Automated run for the X server test: starts the run through the toolbar,
// grabs the window while a row shows progress and again after the run, then
// prints where each output went and quits.
void RunAndGrab(TMainWindow& window, const QString& file)
{
    auto* timer = new QTimer(&window);
    auto* started = new bool(false);
    auto* duringSaved = new bool(false);
    auto* clock = new QElapsedTimer;
    clock->start();
    QObject::connect(&window, &QObject::destroyed, [started, duringSaved, clock] {
        delete started;
        delete duringSaved;
        delete clock;
    });
    QObject::connect(timer, &QTimer::timeout, &window, [&window, file, timer, started, duringSaved, clock] {
        const TJobList& jobs = window.jobModel().Jobs();
        // The window's own picture: preview windows stay on top of it on
        // the screen and would hide the rows.
        auto grab = [&window](const QString& path) { return window.grab().save(path, "PNG"); };
        if (clock->elapsed() > 120000) {
            std::printf("timeout=1\n");
            std::fflush(stdout);
            timer->stop();
            window.close();
            return;
        }
        if (!*started) {
            QWindow* handle = window.windowHandle();
            if (!handle || !handle->isExposed() || jobs.Count() == 0 || !window.groupEnabled(TMainWindow::cgStart))
                return;
            *started = true;
            std::printf("jobs=%d\n", jobs.Count());
            window.startToolAction()->trigger();
            return;
        }
        if (window.runUnderWay()) {
            if (*duringSaved)
                return;
            for (int row = 0; row < jobs.Count(); ++row) {
                const std::string& progress = jobs.Cell(row, catalogue::jcProgress);
                if (!progress.empty() && progress != "100%") {
                    QString during = file;
                    during.replace(QStringLiteral(".png"), QStringLiteral("-during.png"));
                    *duringSaved = true;
                    std::printf("during=%s %s\n", during.toUtf8().constData(), grab(during) ? "saved" : "failed");
                    std::printf("during_progress=%s\n", progress.c_str());
                    std::printf("during_remaining=%s\n", window.remainingText().toUtf8().constData());
                    std::printf("during_previews=%d\n", static_cast<int>(TWindowPreviewer::OpenWindows().size()));
                    break;
                }
            }
            return;
        }
        timer->stop();
        std::printf("after=%s %s\n", file.toUtf8().constData(), grab(file) ? "saved" : "failed");
        for (int row = 0; row < jobs.Count(); ++row)
            std::printf("output=%s/%s %s\n", window.outputFolder().toUtf8().constData(),
                        jobs.Cell(row, catalogue::jcOutputFile).c_str(), jobs.Cell(row, catalogue::jcProgress).c_str());
        std::fflush(stdout);
        window.close();
    });
    timer->start(20);
}

}  // namespace

void SetProcessLocale()
{
    std::setlocale(LC_ALL, "");
    // Texts, sorting and character classes follow the user; numbers do not:
    // rates such as "29.97" are read and written with a point everywhere.
    std::setlocale(LC_NUMERIC, "C");
}

int RunApplication(int argc, char* argv[])
{
    platform::MainThread::SetCurrentAsMain();
    QApplication app(argc, argv);
    // After the application object, which takes the user's locale whole.
    SetProcessLocale();
    app.setApplicationName(QString::fromUtf8(kAppTitle));
    const TArguments args = ParseArguments(QCoreApplication::arguments());

    // Workers hand work to the main thread; wake the event loop to run it.
    platform::MainThread::SetWakeUpHook([&app] {
        QMetaObject::invokeMethod(&app, [] { platform::MainThread::CheckSynchronize(); }, Qt::QueuedConnection);
    });
    if (args.smokeScreenshot.isEmpty() && args.runScreenshot.isEmpty())
        platform::InstallShell(std::make_unique<MediaShell>());
    else
        platform::InstallShell(std::make_unique<platform::RecordingShell>());

    InstallPreviewWindows();
    int rc = 0;
    {
        // Declared before the window: it outlives the window's last use.
        TEngineRun engine;
        TMainWindow window(args.location);
        window.setRunEngine(&engine);
        window.show();
        if (!args.smokeScreenshot.isEmpty())
            GrabWhenShown(window, args.smokeScreenshot);
        if (!args.files.isEmpty())
            QTimer::singleShot(0, &window, [&window, files = args.files] { window.openFiles(files); });
        if (!args.runScreenshot.isEmpty())
            RunAndGrab(window, args.runScreenshot);
        rc = app.exec();
    }
    SetPreviewerFactory({});
    platform::MainThread::SetWakeUpHook({});
    platform::InstallShell(nullptr);
    return rc;
}

}  // namespace vexa::app
