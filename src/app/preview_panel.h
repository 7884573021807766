#pragma once
// The "视频预览" panel: the player's picture area, the seek slider and the
// player buttons. The player itself drives it through these controls.
#include <QGroupBox>

class QPushButton;
class QSlider;

namespace vexa::app {

class TPreviewPanel : public QGroupBox {
    Q_OBJECT
public:
    explicit TPreviewPanel(QWidget* parent = nullptr);

    QWidget* videoArea() const { return video_; }
    QSlider* seekSlider() const { return slider_; }
    QPushButton* playButton() const { return play_; }
    QPushButton* pauseButton() const { return pause_; }
    QPushButton* stopButton() const { return stop_; }
    QPushButton* muteButton() const { return mute_; }
    QPushButton* unmuteButton() const { return unmute_; }
    QPushButton* snapshotButton() const { return snapshot_; }
    QPushButton* settingsButton() const { return settings_; }

    // Start-up state: slider at its start, sound on.
    void reset();

private:
    QWidget* video_;
    QSlider* slider_;
    QPushButton* play_;
    QPushButton* pause_;
    QPushButton* stop_;
    QPushButton* mute_;
    QPushButton* unmute_;
    QPushButton* snapshot_;
    QPushButton* settings_;
    QPushButton* fullScreen_;
};

}  // namespace vexa::app
