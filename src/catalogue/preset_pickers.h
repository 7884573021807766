#pragma once
// State of the category, format and six option pickers of the main window,
// and the order in which changing them touches the job defaults and the
// selected job row. The window draws its widgets from this state after each
// call and forwards user choices to it; it never repeats the sequences.
#include "catalogue/catalogue.h"
#include "catalogue/job_defaults.h"
#include "catalogue/option_lists.h"

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vexa::catalogue {

// One drop-down list. Emptying it keeps the text it shows; selecting reports
// whether the shown text changed, which is what makes a picker's change
// handling run.
class TOptionPicker {
public:
    const std::vector<std::string_view>& Items() const { return items_; }
    int ItemIndex() const { return index_; }
    const std::string& Text() const { return text_; }
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled) { enabled_ = enabled; }

    void Clear();
    void Fill(const std::vector<std::string_view>& items);
    // Raises vexa::Error for a position outside the list.
    bool Select(int index);

private:
    std::vector<std::string_view> items_;
    int index_ = -1;
    std::string text_;
    bool enabled_ = true;
};

// What the pickers need from the window: the selected job row, the output
// folder and overwrite choice, and the keyboard focus.
class TPickerHost {
public:
    virtual ~TPickerHost() = default;
    virtual bool HasSelectedRow() const = 0;
    virtual std::string SelectedRowColumn(int column) const = 0;
    virtual void SetSelectedRowColumn(int column, const std::string& text) = 0;
    virtual std::string OutputFolder() const = 0;
    virtual bool OverwriteOutput() const = 0;
    virtual void FocusJobList() {}
};

class TPresetPickers {
public:
    // Category 0 is shown and the format list is empty until RefillFormats.
    explicit TPresetPickers(TPickerHost& host);

    // ---- Category picker.
    int CategoryIndex() const { return category_; }
    // Assigning the category, even the one shown, rebuilds the format list and
    // lands on its first format. Outside the catalogue nothing is selected.
    void SetCategoryIndex(int category);
    // Rebuilds the format list for the category shown and selects format 0.
    void RefillFormats();

    // ---- Format picker.
    std::span<const TFormatItem> FormatItems() const { return formats_; }
    int FormatIndex() const { return format_; }
    // Assigning the format, even the one shown, runs the whole format change:
    // option pickers refilled, and with a row selected the preset, the
    // pickers' values, the output name's extension and the key go to the row.
    void SetFormatIndex(int format);
    std::string_view CurrentTitle() const;
    int CurrentKey() const { return PresetKey(category_, format_); }
    // Derived from the title at the last format change.
    const std::string& OutputExtension() const { return extension_; }

    // ---- Option pickers.
    const TOptionPicker& Picker(TOptionKind kind) const { return pickers_[kind]; }
    // Refills all six for the current key and selects their defaults.
    void RefillOptionPickers();
    // A choice by the user or by code; the change handling runs when the shown
    // text changes.
    void SelectOption(TOptionKind kind, int index);
    TOptionPositions OptionPositions() const;
    // Raises vexa::Error while a picker has no selection.
    std::string OptionIndexString() const;

    // ---- Job defaults.
    const TJobDefaults& Defaults() const { return defaults_; }
    TJobDefaults& Defaults() { return defaults_; }
    void ResetDefaults();
    // Loads the preset of the current key into the defaults, with the output
    // path of Video_AddFileName, and writes the selected row's encoding
    // columns when writeSelectedRow is set. False for a key without a preset;
    // the row is then left alone.
    bool ApplyPreset(bool writeSelectedRow = true);
    // The six pickers' shown entries into the defaults; rows are not touched.
    void TakeOptionPickers();

    // Shows a job row's choices again: category, format, then the six picker
    // positions, each written back to the row. Both texts are checked before
    // anything changes; raises vexa::Error for a malformed or unknown key, a
    // malformed option string or a position outside its list.
    void RestoreSelection(std::string_view keyText, std::string_view optionIndexString);

private:
    void FormatChanged();
    void PickerChanged(TOptionKind kind);
    void WriteOptionIndexString();

    TPickerHost& host_;
    int category_ = 0;
    std::span<const TFormatItem> formats_;
    int format_ = -1;
    std::string extension_;
    std::array<TOptionPicker, kOptionKindCount> pickers_;
    TJobDefaults defaults_;
};

}  // namespace vexa::catalogue
