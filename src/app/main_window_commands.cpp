// The main window's commands: job list editing, the run's states, settings.
#include "app/main_window.h"

#include "app/about_box.h"
#include "jobs/job_records.h"
#include "jobs/job_texts.h"
#include "app/office_combo_box.h"
#include "app/options_dialog.h"
#include "app/preview_panel.h"
#include "app/skins.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "platform/shell.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTableView>
#include <QToolButton>

namespace vexa::app {

using namespace catalogue;

// ---- Command groups.

void TMainWindow::setGroupEnabled(TCommandGroup group, bool enabled)
{
    for (QAction* action : groupActions_[group])
        action->setEnabled(enabled);
    for (QWidget* widget : groupWidgets_[group])
        widget->setEnabled(enabled);
    if (group == cgSettings) {
        settingsEnabled_ = enabled;
        syncPickerEnabled();
    }
}

bool TMainWindow::groupEnabled(TCommandGroup group) const
{
    if (group == cgSettings)
        return settingsEnabled_;
    if (!groupWidgets_[group].isEmpty())
        return groupWidgets_[group].front()->isEnabled();
    return groupActions_[group].front()->isEnabled();
}

void TMainWindow::showPauseInToolbar(bool pauseShown)
{
    pauseTool_->setVisible(pauseShown);
    resumeTool_->setVisible(!pauseShown);
}

void TMainWindow::lockSettings()
{
    setGroupEnabled(cgSettings, false);
    category_->update();
}

void TMainWindow::unlockSettings()
{
    setGroupEnabled(cgSettings, true);
    category_->update();
}

// ---- Job list.

int TMainWindow::selectedRow() const
{
    const QModelIndexList rows = jobView_->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.front().row();
}

void TMainWindow::selectRow(int row)
{
    QItemSelectionModel* selection = jobView_->selectionModel();
    if (row < 0 || row >= jobModel_->rowCount()) {
        selection->clearSelection();
        return;
    }
    const QModelIndex index = jobModel_->index(row, 0);
    selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    jobView_->scrollTo(index);
}

bool TMainWindow::logoShown() const
{
    return !logo_->isHidden();
}

bool TMainWindow::appendJob(TJobRow row, const TInputOptions& input, const TOutputOptions& output)
{
    if (jobModel_->Jobs().IsFull())
        return false;
    logo_->setVisible(false);
    jobModel_->Append(std::move(row), input, output);
    for (TCommandGroup g : {cgRemove, cgRename, cgClear, cgStart})
        setGroupEnabled(g, true);
    return true;
}

void TMainWindow::removeSelectedJob()
{
    const int row = selectedRow();
    if (row < 0) {
        message(QMessageBox::Information, QStringLiteral("提示"), QStringLiteral("请先选择您需要删除的项目！"));
        return;
    }
    // The job's check task goes with it, when the engine still holds it
    // (after a run it holds none).
    if (engine_) {
        try {
            const int task = StrToInt(jobModel_->Cell(row, jcTaskNumber)) - 1;
            if (task >= 0 && task < engine_->TaskCount())
                engine_->RemoveTask(task);
        } catch (const Error&) {
        }
    }
    jobModel_->Remove(row);
    const bool rowsLeft = jobModel_->rowCount() > 0;
    for (TCommandGroup g : {cgRemove, cgRename, cgClear, cgStart})
        setGroupEnabled(g, rowsLeft);
    if (rowsLeft) {
        selectRow(0);
        FocusJobList();
    } else {
        afterEmptied();
    }
}

void TMainWindow::clearJobs()
{
    if (engine_)
        engine_->ClearTasks();
    jobModel_->Clear();
    setGroupEnabled(cgAdd, true);
    for (TCommandGroup g : {cgRemove, cgRename, cgClear, cgStart})
        setGroupEnabled(g, false);
    freeAllSlots();
    afterEmptied();
}

void TMainWindow::afterEmptied()
{
    logo_->setVisible(true);
    if (previewStop_)
        previewStop_();
    preview_->seekSlider()->setValue(0);
}

void TMainWindow::freeAllSlots()
{
    jobModel_->FreeAllSlots();
}

void TMainWindow::moveSelectedUp()
{
    const int row = selectedRow();
    if (row <= 0 || runUnderWay_)
        return;
    jobModel_->Exchange(row, row - 1);
    selectRow(row - 1);
    FocusJobList();
}

void TMainWindow::moveSelectedDown()
{
    const int row = selectedRow();
    if (row < 0 || row >= jobModel_->rowCount() - 1 || runUnderWay_)
        return;
    jobModel_->Exchange(row, row + 1);
    selectRow(row + 1);
    FocusJobList();
}

// ---- Settings.

QString TMainWindow::outputFolder() const
{
    return folderBox_->text();
}

void TMainWindow::setOutputFolder(const QString& folder)
{
    folderBox_->setText(folder);
    fileOutPutPath_ = folder;
}

void TMainWindow::loadOutputFolder()
{
    setOutputFolder(QString::fromStdString(settings_.LoadOutputFolder()));
}

void TMainWindow::saveOutputFolder()
{
    settings_.SaveOutputFolder(fileOutPutPath_.toStdString());
}

void TMainWindow::browseOutputFolder()
{
    const QString start = lastFolderChoice_.isEmpty() ? outputFolder() : lastFolderChoice_;
    const QString chosen = QFileDialog::getExistingDirectory(this, QStringLiteral("选择输出目录"), start);
    if (chosen.isEmpty())
        return;
    lastFolderChoice_ = chosen;
    if (!platform::DirectoryExists(chosen.toStdString()))
        return;
    setOutputFolder(chosen);
    saveOutputFolder();
    FocusJobList();
}

void TMainWindow::loadSkin()
{
    applySkin(settings_.LoadSkin());
}

void TMainWindow::saveSkin()
{
    settings_.SaveSkin(skin_);
}

void TMainWindow::applySkin(int index)
{
    skin_ = index >= 0 && index < kSkinCountUi ? index : 0;
    qApp->setStyleSheet(SkinStyleSheet(skin_));
}

void TMainWindow::selectSkin()
{
    TSkinDialog dialog(skin_, this);
    if (dialog.exec() == QDialog::Accepted && dialog.chosenSkin() >= 0)
        applySkin(dialog.chosenSkin());
    saveSkin();
}

void TMainWindow::showOptions()
{
    optionsDialog_->exec();
}

void TMainWindow::showAbout()
{
    aboutBox_->exec();
}

}  // namespace vexa::app
