#include "catalogue/presets.h"

#include "catalogue/tables.h"

#include <unordered_map>
#include <vector>

namespace vexa::catalogue {

namespace {

struct TPresetIndex {
    std::vector<TPresetEntry> all;
    std::unordered_map<int, size_t> byKey;
};

TPresetIndex BuildPresetIndex()
{
    TPresetIndex index;
    for (const auto rows : {tables::PresetRowsA(), tables::PresetRowsB()})
        index.all.insert(index.all.end(), rows.begin(), rows.end());
    for (size_t i = 0; i < index.all.size(); ++i)
        index.byKey.emplace(index.all[i].Key, i);
    return index;
}

const TPresetIndex& PresetIndex()
{
    static const TPresetIndex index = BuildPresetIndex();
    return index;
}

}  // namespace

const TPresetEntry* FindPreset(int key)
{
    const TPresetIndex& index = PresetIndex();
    const auto it = index.byKey.find(key);
    return it == index.byKey.end() ? nullptr : &index.all[it->second];
}

std::span<const TPresetEntry> AllPresets()
{
    return PresetIndex().all;
}

const TContainerAudio* FindContainerAudio(std::string_view ext)
{
    for (const TContainerAudio& row : tables::ContainerAudioRows())
        if (row.Ext == ext)
            return &row;
    return nullptr;
}

}  // namespace vexa::catalogue
