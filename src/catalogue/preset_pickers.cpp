#include "catalogue/preset_pickers.h"

#include "catalogue/extensions.h"
#include "catalogue/job_columns.h"
#include "catalogue/presets.h"
#include "platform/error.h"
#include "platform/paths.h"

namespace vexa::catalogue {

void TOptionPicker::Clear()
{
    items_.clear();
    index_ = -1;
}

void TOptionPicker::Fill(const std::vector<std::string_view>& items)
{
    items_ = items;
    index_ = -1;
}

bool TOptionPicker::Select(int index)
{
    if (index < 0 || static_cast<size_t>(index) >= items_.size())
        RaiseFmt("Option position %d is outside a list of %zu entries", index, items_.size());
    index_ = index;
    const std::string_view shown = items_[static_cast<size_t>(index)];
    if (shown == text_)
        return false;
    text_ = shown;
    return true;
}

TPresetPickers::TPresetPickers(TPickerHost& host) : host_(host) {}

void TPresetPickers::SetCategoryIndex(int category)
{
    category_ = category >= 0 && category < kCategoryCount ? category : -1;
    RefillFormats();
}

void TPresetPickers::RefillFormats()
{
    formats_ = FormatsOf(category_);
    SetFormatIndex(0);
}

void TPresetPickers::SetFormatIndex(int format)
{
    format_ = format >= 0 && static_cast<size_t>(format) < formats_.size() ? format : -1;
    FormatChanged();
}

std::string_view TPresetPickers::CurrentTitle() const
{
    return format_ < 0 ? std::string_view() : formats_[static_cast<size_t>(format_)].Title;
}

void TPresetPickers::FormatChanged()
{
    RefillOptionPickers();
    extension_ = FormatExtension(CurrentTitle());
    if (!host_.HasSelectedRow())
        return;
    const int key = CurrentKey();
    // Without a preset there is nothing sound to give the row: leave it as it is.
    if (!FindPreset(key))
        return;
    ApplyPreset(true);
    TakeOptionPickers();
    const std::string name = platform::ExtractFileName(host_.SelectedRowColumn(jcOutputFile));
    host_.SetSelectedRowColumn(jcOutputFile, ChangeNameExtension(name, extension_));
    host_.SetSelectedRowColumn(jcPresetKey, std::to_string(key));
    host_.FocusJobList();
}

void TPresetPickers::RefillOptionPickers()
{
    for (TOptionPicker& picker : pickers_) {
        picker.Clear();
        picker.SetEnabled(true);
    }
    const TFormatOptions* options = FindFormatOptions(CurrentKey());
    if (!options)
        return;
    for (TOptionKind kind : kFillOrder) {
        const TOptionList* list = FindOptionList(options->Lists[kind]);
        if (!list)
            continue;
        TOptionPicker& picker = pickers_[kind];
        picker.Fill(list->Items);
        const int position = DefaultPosition(*options, kind);
        if (position >= 0 && picker.Select(position))
            PickerChanged(kind);
    }
    if (options->AudioOnly)
        for (TOptionKind kind : {okFrameSize, okVideoBitrate, okAspect, okFrameRate})
            pickers_[kind].SetEnabled(false);
    // A picker whose text stayed the same wrote no digits, yet its position may
    // have moved to another list: the row must name what is shown, or showing
    // the row again would pick entries the job never had.
    if (host_.HasSelectedRow())
        WriteOptionIndexString();
}

void TPresetPickers::SelectOption(TOptionKind kind, int index)
{
    if (pickers_[kind].Select(index))
        PickerChanged(kind);
}

void TPresetPickers::PickerChanged(TOptionKind kind)
{
    if (!host_.HasSelectedRow())
        return;
    const TOptionPicker& picker = pickers_[kind];
    // Both may raise; nothing is written until both are known.
    const std::string indexString =
        ReplaceOptionPosition(host_.SelectedRowColumn(jcOptionIndex), kind, picker.ItemIndex());
    TJobDefaults updated = defaults_;
    ApplyOptionText(updated, kind, picker.Text());

    host_.SetSelectedRowColumn(jcOptionIndex, indexString);
    defaults_ = std::move(updated);
    host_.SetSelectedRowColumn(OptionColumn(kind), OptionColumnText(defaults_, kind));
    host_.FocusJobList();
}

void TPresetPickers::WriteOptionIndexString()
{
    for (const TOptionPicker& picker : pickers_)
        if (picker.ItemIndex() < 0)
            return;
    host_.SetSelectedRowColumn(jcOptionIndex, OptionIndexString());
}

TOptionPositions TPresetPickers::OptionPositions() const
{
    TOptionPositions positions{};
    for (TOptionKind kind : kFillOrder)
        positions[kind] = pickers_[kind].ItemIndex();
    return positions;
}

std::string TPresetPickers::OptionIndexString() const
{
    return FormatOptionIndexString(OptionPositions());
}

void TPresetPickers::ResetDefaults()
{
    ResetJobDefaults(defaults_);
}

bool TPresetPickers::ApplyPreset(bool writeSelectedRow)
{
    if (!LoadPreset(defaults_, CurrentKey(), host_.OutputFolder(), host_.OverwriteOutput()))
        return false;
    if (writeSelectedRow && host_.HasSelectedRow())
        for (const auto& [column, text] : PresetRowColumns(defaults_))
            host_.SetSelectedRowColumn(column, text);
    return true;
}

void TPresetPickers::TakeOptionPickers()
{
    TJobDefaults updated = defaults_;
    for (TOptionKind kind : kTakeOrder)
        ApplyOptionText(updated, kind, pickers_[kind].Text());
    defaults_ = std::move(updated);
}

void TPresetPickers::RestoreSelection(std::string_view keyText, std::string_view optionIndexString)
{
    const int key = ParsePresetKey(keyText);
    const TOptionPositions positions = ParseOptionIndexString(optionIndexString);
    const TFormatOptions* options = FindFormatOptions(key);
    if (!FindFormat(key) || !options)
        RaiseFmt("Unknown preset key %d", key);
    for (TOptionKind kind : kFillOrder) {
        const TOptionList* list = FindOptionList(options->Lists[kind]);
        if (!list || static_cast<size_t>(positions[kind]) >= list->Items.size())
            RaiseFmt("Option position %d is outside list %s", positions[kind],
                     std::string(options->Lists[kind]).c_str());
    }

    SetCategoryIndex(KeyCategory(key));
    SetFormatIndex(KeyFormat(key));
    // Each position is written back even when its text did not change: the
    // format change above gave the row the preset's values, and only this
    // brings the job's own choices back.
    for (TOptionKind kind : kIndexStringOrder) {
        pickers_[kind].Select(positions[kind]);
        PickerChanged(kind);
    }
}

}  // namespace vexa::catalogue
