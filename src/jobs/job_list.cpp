#include "jobs/job_list.h"

#include "jobs/job_texts.h"
#include "platform/error.h"

#include <utility>

namespace vexa::app {

using catalogue::jcTaskNumber;
using catalogue::kJobColumnCount;

TJobList::TJobList() : inputs_(kSlotCount), outputs_(kSlotCount)
{
    FreeAllSlots();
}

void TJobList::CheckRow(int row) const
{
    if (row < 0 || row >= Count())
        RaiseFmt("List index out of bounds (%d)", row);
}

void TJobList::CheckSlot(int slot)
{
    if (slot < 0 || slot >= kSlotCount)
        RaiseFmt("Option slot %d out of bounds", slot);
}

const TJobRow& TJobList::Row(int row) const
{
    CheckRow(row);
    return rows_[static_cast<size_t>(row)];
}

const std::string& TJobList::Cell(int row, int column) const
{
    CheckRow(row);
    if (column < 0 || column >= kJobColumnCount)
        RaiseFmt("Column %d out of bounds", column);
    return rows_[static_cast<size_t>(row)][static_cast<size_t>(column)];
}

void TJobList::SetCell(int row, int column, std::string text)
{
    CheckRow(row);
    if (column < 0 || column >= kJobColumnCount)
        RaiseFmt("Column %d out of bounds", column);
    rows_[static_cast<size_t>(row)][static_cast<size_t>(column)] = std::move(text);
}

bool TJobList::Append(TJobRow row, const TInputOptions& input, const TOutputOptions& output)
{
    const int slot = FirstFreeSlot();
    if (slot < 0)
        return false;
    rows_.push_back(std::move(row));
    inputs_[static_cast<size_t>(slot)] = input;
    outputs_[static_cast<size_t>(slot)] = output;
    outputs_[static_cast<size_t>(slot)].AudioLanguage = kSlotFull;
    return true;
}

void TJobList::Remove(int row)
{
    CheckRow(row);
    // A row whose number is not a number renumbers nothing.
    int removedNumber = 0;
    bool numbered = true;
    try {
        removedNumber = StrToInt(rows_[static_cast<size_t>(row)][jcTaskNumber]);
    } catch (const Error&) {
        numbered = false;
    }
    rows_.erase(rows_.begin() + row);

    int highestUsed = -1;
    for (int s = 0; s < kSlotCount; ++s)
        if (SlotUsed(s))
            highestUsed = s;
    if (row <= highestUsed) {
        for (int s = row; s < highestUsed; ++s) {
            inputs_[static_cast<size_t>(s)] = std::move(inputs_[static_cast<size_t>(s) + 1]);
            outputs_[static_cast<size_t>(s)] = std::move(outputs_[static_cast<size_t>(s) + 1]);
        }
        inputs_[static_cast<size_t>(highestUsed)] = TInputOptions{};
        outputs_[static_cast<size_t>(highestUsed)] = TOutputOptions{};
        outputs_[static_cast<size_t>(highestUsed)].AudioLanguage = kSlotFree;
    }

    if (!numbered)
        return;
    for (TJobRow& r : rows_) {
        try {
            const int n = StrToInt(r[jcTaskNumber]);
            if (n > removedNumber)
                r[jcTaskNumber] = std::to_string(n - 1);
        } catch (const Error&) {
        }
    }
}

void TJobList::Clear()
{
    rows_.clear();
    FreeAllSlots();
}

void TJobList::Exchange(int a, int b)
{
    CheckRow(a);
    CheckRow(b);
    if (a == b)
        return;
    std::swap(rows_[static_cast<size_t>(a)], rows_[static_cast<size_t>(b)]);
    std::swap(inputs_[static_cast<size_t>(a)], inputs_[static_cast<size_t>(b)]);
    std::swap(outputs_[static_cast<size_t>(a)], outputs_[static_cast<size_t>(b)]);
}

void TJobList::FreeAllSlots()
{
    for (TOutputOptions& output : outputs_)
        output.AudioLanguage = kSlotFree;
}

const TInputOptions& TJobList::InputSlot(int slot) const
{
    CheckSlot(slot);
    return inputs_[static_cast<size_t>(slot)];
}

const TOutputOptions& TJobList::OutputSlot(int slot) const
{
    CheckSlot(slot);
    return outputs_[static_cast<size_t>(slot)];
}

TInputOptions& TJobList::InputSlot(int slot)
{
    CheckSlot(slot);
    return inputs_[static_cast<size_t>(slot)];
}

TOutputOptions& TJobList::OutputSlot(int slot)
{
    CheckSlot(slot);
    return outputs_[static_cast<size_t>(slot)];
}

bool TJobList::SlotUsed(int slot) const
{
    return OutputSlot(slot).AudioLanguage == kSlotFull;
}

int TJobList::FirstFreeSlot() const
{
    for (int s = 0; s < kSlotCount; ++s)
        if (outputs_[static_cast<size_t>(s)].AudioLanguage == kSlotFree)
            return s;
    return -1;
}

}  // namespace vexa::app
