// The window side of the category, format and option pickers: user choices
// go to the picker model, and the widgets are redrawn from it afterwards.
#include "app/main_window.h"

#include "app/icons.h"
#include "app/office_combo_box.h"
#include "app/options_dialog.h"
#include "app/preview_panel.h"
#include "platform/error.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSlider>
#include <QTableView>

namespace vexa::app {

using namespace catalogue;

namespace {

QString Text(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

void TMainWindow::refillFormats()
{
    runPickerCall([this] { pickers_.RefillFormats(); });
}

void TMainWindow::chooseCategory(int category)
{
    runPickerCall([this, category] { pickers_.SetCategoryIndex(category); });
}

void TMainWindow::chooseFormat(int format)
{
    runPickerCall([this, format] { pickers_.SetFormatIndex(format); });
}

void TMainWindow::chooseOption(TOptionKind kind, int index)
{
    runPickerCall([this, kind, index] { pickers_.SelectOption(kind, index); });
}

void TMainWindow::runPickerCall(const std::function<void()>& call)
{
    try {
        call();
    } catch (const Error& e) {
        syncPickers();
        message(QMessageBox::Critical, QString::fromUtf8(kAppTitle), QString::fromStdString(e.what()));
        return;
    }
    syncPickers();
}

void TMainWindow::syncPickers()
{
    const QSignalBlocker categoryBlock(category_);
    const QSignalBlocker formatBlock(format_);
    category_->setCurrentIndex(pickers_.CategoryIndex());

    const std::span<const TFormatItem> formats = pickers_.FormatItems();
    if (formats.data() != shownFormats_.data() || formats.size() != shownFormats_.size() ||
        format_->count() != static_cast<int>(formats.size())) {
        format_->clear();
        for (const TFormatItem& item : formats)
            format_->addOfficeItem(FormatIcon(item.ImageIndex), Text(item.Title), Text(item.Caption));
        shownFormats_ = formats;
    }
    format_->setCurrentIndex(pickers_.FormatIndex());

    for (int k = 0; k < kOptionKindCount; ++k) {
        const auto kind = static_cast<TOptionKind>(k);
        QComboBox* combo = optionPickers_[kind];
        const TOptionPicker& picker = pickers_.Picker(kind);
        const QSignalBlocker block(combo);
        bool same = combo->count() == static_cast<int>(picker.Items().size());
        for (int i = 0; same && i < combo->count(); ++i)
            same = combo->itemText(i) == Text(picker.Items()[static_cast<size_t>(i)]);
        if (!same) {
            combo->clear();
            for (std::string_view item : picker.Items())
                combo->addItem(Text(item));
        }
        combo->setCurrentIndex(picker.ItemIndex());
    }
    syncPickerEnabled();
}

void TMainWindow::syncPickerEnabled()
{
    // A video picker of an audio-only format stays off even when the
    // settings come back on after a run.
    for (int k = 0; k < kOptionKindCount; ++k) {
        const auto kind = static_cast<TOptionKind>(k);
        optionPickers_[kind]->setEnabled(settingsEnabled_ && pickers_.Picker(kind).Enabled());
    }
}

void TMainWindow::jobSelectionChanged()
{
    const int row = selectedRow();
    if (row < 0)
        return;
    // A row that cannot be shown again leaves the pickers where they are.
    try {
        const std::string key = jobModel_->Cell(row, jcPresetKey);
        const std::string options = jobModel_->Cell(row, jcOptionIndex);
        pickers_.RestoreSelection(key, options);
    } catch (const Error&) {
    }
    syncPickers();
    preview_->seekSlider()->setValue(0);
    playerFileName_ = QString::fromStdString(jobModel_->Cell(row, jcInputFile));
    // The preview opens the file here once the player exists.
}

// ---- TPickerHost.

bool TMainWindow::HasSelectedRow() const
{
    return selectedRow() >= 0;
}

std::string TMainWindow::SelectedRowColumn(int column) const
{
    return jobModel_->Cell(selectedRow(), column);
}

void TMainWindow::SetSelectedRowColumn(int column, const std::string& text)
{
    jobModel_->SetCell(selectedRow(), column, text);
}

std::string TMainWindow::OutputFolder() const
{
    return folderBox_->text().toStdString();
}

bool TMainWindow::OverwriteOutput() const
{
    return optionsDialog_ && optionsDialog_->overwriteOutput();
}

void TMainWindow::FocusJobList()
{
    jobView_->setFocus();
}

}  // namespace vexa::app
