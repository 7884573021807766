#include "app/preview_window.h"

#include "platform/main_thread.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

#include <cstdio>

namespace vexa::app {

namespace {

// Main-thread only, like the windows themselves.
QList<TPreviewWindow*>& Windows()
{
    static QList<TPreviewWindow*> windows;
    return windows;
}

}  // namespace

QString PreviewCaption(int64_t ptsUs)
{
    const int64_t us = ptsUs < 0 ? 0 : ptsUs;
    const int64_t seconds = us / 1000000;
    const int ms = static_cast<int>((us / 1000) % 1000);
    char text[40];
    std::snprintf(text, sizeof text, "%.2d:%.2d:%.2d.%.3d", static_cast<int>((seconds / 3600) % 24),
                  static_cast<int>((seconds / 60) % 60), static_cast<int>(seconds % 60), ms);
    return QString::fromLatin1(text);
}

TPreviewWindow::TPreviewWindow()
    : QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                           Qt::WindowSystemMenuHint),
      closed_(std::make_shared<std::atomic<bool>>(false))
{
    setObjectName(QStringLiteral("TPreviewer"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPreviewWindow::showFrame(const QImage& picture, int64_t ptsUs)
{
    const bool first = picture_.isNull();
    picture_ = picture;
    setWindowTitle(PreviewCaption(ptsUs));
    if (first || size() != picture_.size()) {
        setFixedSize(picture_.size());
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
    }
    if (!isVisible())
        show();
    update();
}

void TPreviewWindow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (picture_.isNull())
        p.fillRect(rect(), Qt::black);
    else
        p.drawImage(0, 0, picture_);
}

void TPreviewWindow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    // The window manager moves the window where it can; otherwise we do.
    if (windowHandle() && windowHandle()->startSystemMove())
        return;
    dragging_ = true;
    dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void TPreviewWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (dragging_ && (event->buttons() & Qt::LeftButton))
        move(event->globalPosition().toPoint() - dragOffset_);
    else
        dragging_ = false;
}

void TPreviewWindow::closeEvent(QCloseEvent* event)
{
    closed_->store(true);
    event->accept();
}

TWindowPreviewer::~TWindowPreviewer()
{
    if (!closed_)
        return;  // no window was ever made
    // The window lives and dies on the main thread.
    TPreviewWindow* window = window_;
    platform::MainThread::Synchronize([window] {
        Windows().removeAll(window);
        delete window;
    });
}

bool TWindowPreviewer::PaintFrame(const platform::Bitmap& ABitmap, int, int64_t APTS)
{
    if (closed_ && closed_->load())
        return false;
    if (ABitmap.Empty())
        return true;
    // A deep copy made here: the bitmap is reused for the next frame.
    const QImage picture = QImage(ABitmap.Bits(), ABitmap.Width(), ABitmap.Height(), ABitmap.Stride(),
                                  QImage::Format_BGR888)
                               .copy();
    bool open = true;
    platform::MainThread::Synchronize([this, &picture, APTS, &open] {
        if (!window_) {
            window_ = new TPreviewWindow;
            closed_ = window_->closedFlag();
            Windows().append(window_);
        }
        if (closed_->load()) {
            open = false;
            return;
        }
        window_->showFrame(picture, APTS);
    });
    return open;
}

QList<TPreviewWindow*> TWindowPreviewer::OpenWindows()
{
    return Windows();
}

void InstallPreviewWindows()
{
    SetPreviewerFactory([] { return std::make_unique<TWindowPreviewer>(); });
}

}  // namespace vexa::app
