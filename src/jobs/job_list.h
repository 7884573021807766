#pragma once
// The job store: rows of text columns in run order and, beside them, one
// option slot per row holding the job's prepared engine records. Slot i
// always belongs to row i; every operation here keeps the two in step.
#include "catalogue/job_columns.h"
#include "engine/ff_options.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace vexa::app {

inline constexpr int kSlotCount = 501;
// The state of a slot lives in its output record's AudioLanguage field.
inline constexpr std::string_view kSlotFree = "kong";
inline constexpr std::string_view kSlotFull = "Full";

using TJobRow = std::array<std::string, catalogue::kJobColumnCount>;

class TJobList {
public:
    // Every slot starts free.
    TJobList();

    int Count() const { return static_cast<int>(rows_.size()); }
    // No free slot is left: a further job must be refused.
    bool IsFull() const { return Count() >= kSlotCount; }

    // Row and column access raise vexa::Error outside the list.
    const TJobRow& Row(int row) const;
    const std::string& Cell(int row, int column) const;
    void SetCell(int row, int column, std::string text);

    // Appends the row and claims the first free slot (the one at the new
    // row's position) for the records, marked "Full". False, with nothing
    // changed, when every slot is in use.
    bool Append(TJobRow row, const TInputOptions& input, const TOutputOptions& output);

    // Deletes the row and releases its slot: later slots move down one place
    // so every job keeps its own, and the highest slot in use becomes free.
    // Check-task numbers (column 8) above the removed job's drop by one.
    void Remove(int row);

    // Deletes every row and frees every slot.
    void Clear();

    // Swaps two rows with their slots.
    void Exchange(int a, int b);

    // Marks all slots "kong" (the records themselves are left as they are).
    void FreeAllSlots();

    const TInputOptions& InputSlot(int slot) const;
    const TOutputOptions& OutputSlot(int slot) const;
    TInputOptions& InputSlot(int slot);
    TOutputOptions& OutputSlot(int slot);
    bool SlotUsed(int slot) const;
    // -1 when none is free.
    int FirstFreeSlot() const;

private:
    void CheckRow(int row) const;
    static void CheckSlot(int slot);

    std::vector<TJobRow> rows_;
    std::vector<TInputOptions> inputs_;   // IO1
    std::vector<TOutputOptions> outputs_; // OO1
};

}  // namespace vexa::app
