#pragma once
// The options dialog "选项": conversion priority and thread count, live
// preview, the action after a run and the output name policy. Its controls
// are what the run and the adding read, so a choice counts at once, even when
// the dialog is left with "取消"; only "确定" writes the settings file.
#include "jobs/app_settings.h"

#include <QDialog>

#include <array>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QRadioButton;
class QTabWidget;

namespace vexa::app {

class TOptionsDialog : public QDialog {
    Q_OBJECT
public:
    // Reads the settings into the controls, repairing the file as it goes.
    TOptionsDialog(const TSettingsLocation& location, QWidget* parent = nullptr);

    // The controls' current choices.
    TConversionOptions choices() const;
    int threadCount() const;
    QString threadCountText() const;
    bool multiThread() const;
    TAfterDone afterDone() const;
    TThreadPriorityChoice threadPriority() const;
    bool overwriteOutput() const;
    bool previewOn() const;

    // Test and automation access to the controls.
    QTabWidget* tabs() const { return tabs_; }
    QRadioButton* priorityButton(TThreadPriorityChoice choice) const;
    QRadioButton* afterDoneButton(TAfterDone choice) const;
    QRadioButton* overwriteButton(bool overwrite) const;
    QCheckBox* previewBox() const { return preview_; }
    QComboBox* threadCountPicker() const { return threadCount_; }

public slots:
    // "确定": write, then close.
    void accept() override;

signals:
    // Every change of the preview box, also the one made by reading the file.
    void previewChanged(bool on);

private:
    void readSettings();
    void setChoices(const TConversionOptions& options);

    TAppSettings settings_;
    QTabWidget* tabs_;
    std::array<QRadioButton*, 4> priority_{};
    std::array<QRadioButton*, 4> afterDone_{};
    QRadioButton* overwrite_ = nullptr;
    QRadioButton* rename_ = nullptr;
    QComboBox* threadCount_ = nullptr;
    QCheckBox* multiThread_ = nullptr;
    QCheckBox* preview_ = nullptr;
};

}  // namespace vexa::app
