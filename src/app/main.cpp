// Desktop application entry point.
#include "platform/main_thread.h"

#include <QApplication>
#include <QMetaObject>
#include <QWidget>

#include <clocale>

int main(int argc, char* argv[])
{
    std::setlocale(LC_ALL, "");
    vexa::platform::MainThread::SetCurrentAsMain();
    QApplication app(argc, argv);

    // Workers hand work to the main thread; wake the event loop to run it.
    vexa::platform::MainThread::SetWakeUpHook([&app] {
        QMetaObject::invokeMethod(&app, [] { vexa::platform::MainThread::CheckSynchronize(); },
                                  Qt::QueuedConnection);
    });

    QWidget window;
    window.setWindowTitle(QStringLiteral("Vexa全能视频格式转换器"));
    window.setFixedSize(839, 527);
    window.setWindowFlags(Qt::Window | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    window.show();
    const int rc = app.exec();
    vexa::platform::MainThread::SetWakeUpHook({});
    return rc;
}
