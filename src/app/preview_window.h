#pragma once
// The conversion preview window: a small stay-on-top tool window that shows
// the frames a task converts, its caption the frame's time. A left press on
// the picture drags the window; closing it ends the preview of that task only.
#include "media/previewer.h"

#include <QImage>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <memory>

namespace vexa::app {

class TPreviewWindow : public QWidget {
public:
    TPreviewWindow();
    // Main thread only.
    void showFrame(const QImage& picture, int64_t ptsUs);
    const QImage& picture() const { return picture_; }
    // Set once the user closed the window; read from the conversion thread.
    std::shared_ptr<std::atomic<bool>> closedFlag() const { return closed_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QImage picture_;
    QPoint dragOffset_;
    bool dragging_ = false;
    std::shared_ptr<std::atomic<bool>> closed_;
};

// "hh:mm:ss.mmm" of a time in microseconds (hours wrap after 23).
QString PreviewCaption(int64_t ptsUs);

// The engine's previewer: called on a conversion thread, it hands the window
// work to the main thread.
class TWindowPreviewer : public TPreviewer {
public:
    TWindowPreviewer() = default;
    ~TWindowPreviewer() override;
    bool PaintFrame(const platform::Bitmap& ABitmap, int AFrameNumber, int64_t APTS) override;

    // The previewers whose windows are open, for tests and diagnostics.
    static QList<TPreviewWindow*> OpenWindows();

private:
    TPreviewWindow* window_ = nullptr;  // touched on the main thread only
    std::shared_ptr<std::atomic<bool>> closed_;
};

// Makes the engine preview through these windows: while previewing, each
// converting task gets a window of its own.
void InstallPreviewWindows();

}  // namespace vexa::app
