#pragma once
// The output categories and their formats, and the preset key that names one
// format everywhere else: in job rows, presets and option lists.
#include <span>
#include <string_view>

namespace vexa::catalogue {

inline constexpr int kCategoryCount = 35;
inline constexpr int kFormatCount = 308;

struct TCategory {
    std::string_view Caption;
    int ImageIndex = 0;
};

struct TFormatItem {
    int Key = 0;
    std::string_view Title;    // first line of the item, ends in its file pattern "(*.avi)"
    std::string_view Caption;  // the one-line description under the title
    int ImageIndex = 0;        // every format of a category shares the category's icon
};

// The 35 categories in picker order.
std::span<const TCategory> Categories();

// The formats of one category in picker order; empty for a category outside
// the catalogue.
std::span<const TFormatItem> FormatsOf(int category);

// Every format row as the tables hold them, category by category.
std::span<const TFormatItem> AllFormats();

// nullptr for a key that names no format.
const TFormatItem* FindFormat(int key);

// (category + 1) * 100 + format: no category has 100 formats, so the hundreds
// name the category and the rest the format.
constexpr int PresetKey(int category, int format) { return (category + 1) * 100 + format; }
constexpr int KeyCategory(int key) { return key / 100 - 1; }
constexpr int KeyFormat(int key) { return key - key / 100 * 100; }

// Reads a key stored as decimal text in a job row. Raises vexa::Error for any
// text that is not a plain decimal number; the number need not name a format.
int ParsePresetKey(std::string_view text);

}  // namespace vexa::catalogue
