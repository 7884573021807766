#include "app/app_run.h"

#include "app/main_window.h"
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
};

TArguments ParseArguments(const QStringList& args)
{
    TArguments parsed;
    for (qsizetype i = 1; i + 1 < args.size(); ++i) {
        const QString& name = args[i];
        const QString& value = args[i + 1];
        if (name == QStringLiteral("--settings"))
            parsed.location.IniPath = value.toStdString();
        else if (name == QStringLiteral("--home"))
            parsed.location.HomeFolder = value.toStdString();
        else if (name == QStringLiteral("--smoke-screenshot"))
            parsed.smokeScreenshot = value;
        else
            continue;
        ++i;
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

}  // namespace

int RunApplication(int argc, char* argv[])
{
    std::setlocale(LC_ALL, "");
    platform::MainThread::SetCurrentAsMain();
    QApplication app(argc, argv);
    app.setApplicationName(QString::fromUtf8(kAppTitle));
    const TArguments args = ParseArguments(QCoreApplication::arguments());

    // Workers hand work to the main thread; wake the event loop to run it.
    platform::MainThread::SetWakeUpHook([&app] {
        QMetaObject::invokeMethod(&app, [] { platform::MainThread::CheckSynchronize(); }, Qt::QueuedConnection);
    });
    if (args.smokeScreenshot.isEmpty())
        platform::InstallShell(std::make_unique<MediaShell>());
    else
        platform::InstallShell(std::make_unique<platform::RecordingShell>());

    int rc = 0;
    {
        TMainWindow window(args.location);
        window.show();
        if (!args.smokeScreenshot.isEmpty())
            GrabWhenShown(window, args.smokeScreenshot);
        rc = app.exec();
    }
    platform::MainThread::SetWakeUpHook({});
    platform::InstallShell(nullptr);
    return rc;
}

}  // namespace vexa::app
