#include "app/preview_panel.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

namespace vexa::app {

TPreviewPanel::TPreviewPanel(QWidget* parent) : QGroupBox(QStringLiteral("视频预览"), parent)
{
    video_ = new QWidget(this);
    video_->setObjectName(QStringLiteral("Panel6"));
    video_->setAutoFillBackground(true);
    QPalette black = video_->palette();
    black.setColor(QPalette::Window, Qt::black);
    video_->setPalette(black);
    video_->setStyleSheet(QStringLiteral("background: black; border: 0;"));
    video_->setAttribute(Qt::WA_NativeWindow, false);

    slider_ = new QSlider(Qt::Horizontal, this);
    slider_->setPageStep(5);

    auto makeButton = [this](const char* hint) {
        auto* button = new QPushButton(QString::fromUtf8(hint), this);
        button->setToolTip(QString::fromUtf8(hint));
        button->setFixedWidth(42);
        button->setStyleSheet(QStringLiteral("padding: 2px 1px;"));
        return button;
    };
    play_ = makeButton("播放");
    pause_ = makeButton("暂停");
    stop_ = makeButton("停止");
    mute_ = makeButton("静音");
    unmute_ = makeButton("静音");
    snapshot_ = makeButton("快照");
    settings_ = makeButton("设置");
    fullScreen_ = makeButton("全屏");
    fullScreen_->setVisible(false);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(2);
    for (QPushButton* b : {play_, pause_, stop_, mute_, unmute_, snapshot_, settings_, fullScreen_})
        buttons->addWidget(b);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(4);
    layout->addWidget(video_, 1);
    layout->addWidget(slider_);
    layout->addLayout(buttons);
    reset();
}

void TPreviewPanel::reset()
{
    slider_->setValue(0);
    unmute_->setVisible(false);
    mute_->setVisible(true);
}

}  // namespace vexa::app
