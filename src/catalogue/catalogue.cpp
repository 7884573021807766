#include "catalogue/catalogue.h"

#include "catalogue/tables.h"
#include "platform/error.h"

#include <array>
#include <charconv>
#include <string>
#include <unordered_map>
#include <vector>

namespace vexa::catalogue {

namespace {

struct TFormatIndex {
    std::vector<TCategory> categories;
    std::vector<TFormatItem> all;
    std::array<std::vector<TFormatItem>, kCategoryCount> byCategory;
    std::unordered_map<int, const TFormatItem*> byKey;
};

TFormatIndex BuildFormatIndex()
{
    TFormatIndex index;
    const auto captions = tables::CategoryCaptions();
    for (size_t i = 0; i < captions.size(); ++i)
        index.categories.push_back(TCategory{captions[i], static_cast<int>(i)});

    for (const auto rows : {tables::FormatRowsA(), tables::FormatRowsB(), tables::FormatRowsC()})
        for (const tables::TFormatRow& row : rows)
            index.all.push_back(TFormatItem{row.Key, row.Title, row.Caption, KeyCategory(row.Key)});

    for (const TFormatItem& item : index.all) {
        const int category = KeyCategory(item.Key);
        if (category >= 0 && category < kCategoryCount)
            index.byCategory[static_cast<size_t>(category)].push_back(item);
    }
    for (const auto& formats : index.byCategory)
        for (const TFormatItem& item : formats)
            index.byKey.emplace(item.Key, &item);
    return index;
}

const TFormatIndex& FormatIndex()
{
    static const TFormatIndex index = BuildFormatIndex();
    return index;
}

}  // namespace

std::span<const TCategory> Categories()
{
    return FormatIndex().categories;
}

std::span<const TFormatItem> FormatsOf(int category)
{
    if (category < 0 || category >= kCategoryCount)
        return {};
    return FormatIndex().byCategory[static_cast<size_t>(category)];
}

std::span<const TFormatItem> AllFormats()
{
    return FormatIndex().all;
}

const TFormatItem* FindFormat(int key)
{
    const auto& byKey = FormatIndex().byKey;
    const auto it = byKey.find(key);
    return it == byKey.end() ? nullptr : it->second;
}

int ParsePresetKey(std::string_view text)
{
    int key = 0;
    const char* first = text.data();
    const char* last = first + text.size();
    const auto [end, ec] = std::from_chars(first, last, key);
    if (text.empty() || ec != std::errc() || end != last)
        RaiseFmt("Invalid preset key \"%s\"", std::string(text).c_str());
    return key;
}

}  // namespace vexa::catalogue
