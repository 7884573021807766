// Invariants of the catalogue's tables: every format has exactly one preset and
// one option line, every list and default they name exists, and every title
// names the extension its file pattern shows.
#include "catalogue/catalogue.h"
#include "catalogue/extensions.h"
#include "catalogue/job_defaults.h"
#include "catalogue/option_lists.h"
#include "catalogue/presets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

using namespace vexa::catalogue;

namespace {

std::vector<int> SortedKeys(const auto& rows)
{
    std::vector<int> keys;
    for (const auto& row : rows)
        keys.push_back(row.Key);
    std::sort(keys.begin(), keys.end());
    return keys;
}

// The extension inside the closing "(*.ext)" of a title.
std::string PatternExtension(std::string_view title)
{
    const size_t open = title.rfind("(*");
    if (open == std::string_view::npos || title.back() != ')')
        return "<no pattern>";
    return std::string(title.substr(open + 2, title.size() - open - 3));
}

}  // namespace

TEST(CatalogueTables, CategoriesInPickerOrderWithTheirFormatCounts)
{
    const std::vector<std::pair<std::string, int>> expected = {
        {"常用视频", 15}, {"常用音频", 13}, {"HD视频", 10},    {"iPod视频", 14},
        {"iPhone视频", 6}, {"PSP视频", 5},  {"3GP视频", 14},   {"APPLE视频", 5},
        {"XboX视频", 10},  {"PMP视频", 8},  {"MP4视频", 5},    {"Flash视频", 4},
        {"iPad视频", 6},   {"MPG视频", 11}, {"SWF视频", 7},    {"AVI视频", 7},
        {"MKV视频", 7},    {"WMV视频", 7},  {"ASF视频", 7},    {"Android视频", 14},
        {"VOB视频", 6},    {"MTS视频", 13}, {"MOD视频", 13},   {"RMVB视频", 15},
        {"VCD视频", 7},    {"MOV视频", 4},  {"H.264视频", 4},  {"AVCHD视频", 5},
        {"WMA音频", 4},    {"MP3音频", 4},  {"WAV音频", 4},    {"智能手机", 16},
        {"平板电脑", 13},  {"智能电视", 12}, {"网络机顶盒", 13},
    };
    const auto categories = Categories();
    ASSERT_EQ(categories.size(), expected.size());
    ASSERT_EQ(categories.size(), static_cast<size_t>(kCategoryCount));
    int total = 0;
    for (int c = 0; c < kCategoryCount; ++c) {
        SCOPED_TRACE(c);
        EXPECT_EQ(categories[c].Caption, expected[c].first);
        EXPECT_EQ(categories[c].ImageIndex, c);
        const auto formats = FormatsOf(c);
        ASSERT_EQ(static_cast<int>(formats.size()), expected[c].second);
        for (int f = 0; f < static_cast<int>(formats.size()); ++f) {
            EXPECT_EQ(formats[f].Key, PresetKey(c, f));
            EXPECT_EQ(formats[f].ImageIndex, c);
            EXPECT_EQ(FindFormat(formats[f].Key), &formats[f]);
        }
        total += static_cast<int>(formats.size());
    }
    EXPECT_EQ(total, kFormatCount);
    EXPECT_TRUE(FormatsOf(-1).empty());
    EXPECT_TRUE(FormatsOf(kCategoryCount).empty());
}

TEST(CatalogueTables, EveryFormatHasExactlyOnePresetAndOneOptionLine)
{
    const std::vector<int> formatKeys = SortedKeys(AllFormats());
    ASSERT_EQ(formatKeys.size(), static_cast<size_t>(kFormatCount));
    EXPECT_EQ(std::adjacent_find(formatKeys.begin(), formatKeys.end()), formatKeys.end())
        << "a format key appears twice";
    EXPECT_EQ(SortedKeys(AllPresets()), formatKeys);
    EXPECT_EQ(SortedKeys(AllFormatOptions()), formatKeys);
    EXPECT_EQ(formatKeys.front(), 100);
    EXPECT_EQ(formatKeys.back(), 3512);
    for (int key : {99, 115, 3513, 3600, 0, -1}) {
        EXPECT_EQ(FindFormat(key), nullptr) << key;
        EXPECT_EQ(FindPreset(key), nullptr) << key;
        EXPECT_EQ(FindFormatOptions(key), nullptr) << key;
    }
}

TEST(CatalogueTables, OptionListsAreDefinedOnceWithTheirKinds)
{
    std::map<char, int> perKind;
    std::set<std::string_view> labels;
    for (const TOptionList& list : AllOptionLists()) {
        SCOPED_TRACE(std::string(list.Label));
        EXPECT_TRUE(labels.insert(list.Label).second) << "defined twice";
        EXPECT_FALSE(list.Items.empty());
        EXPECT_LT(list.Items.size(), 100u) << "positions are two digits";
        EXPECT_EQ(std::string_view("RBFASM").substr(list.Kind, 1), list.Label.substr(0, 1));
        ++perKind[list.Label[0]];
    }
    EXPECT_EQ(labels.size(), 86u);
    EXPECT_EQ(perKind, (std::map<char, int>{{'R', 31}, {'B', 32}, {'F', 8}, {'A', 6}, {'S', 6}, {'M', 3}}));
}

TEST(CatalogueTables, EveryListUsedIsDefinedAndHoldsItsDefault)
{
    std::set<std::string_view> used;
    std::vector<std::string_view> firstUse;
    for (const TFormatOptions& options : AllFormatOptions()) {
        SCOPED_TRACE(options.Key);
        for (TOptionKind kind : kFillOrder) {
            const TOptionList* list = FindOptionList(options.Lists[kind]);
            ASSERT_NE(list, nullptr) << options.Lists[kind];
            EXPECT_EQ(list->Kind, kind) << options.Lists[kind];
            EXPECT_GE(DefaultPosition(options, kind), 0)
                << options.Defaults[kind] << " not in " << options.Lists[kind];
            if (used.insert(options.Lists[kind]).second)
                firstUse.push_back(options.Lists[kind]);
        }
        if (options.AudioOnly) {
            EXPECT_EQ(options.Lists[okFrameSize], "R3");
            EXPECT_EQ(options.Lists[okVideoBitrate], "B6");
            EXPECT_EQ(options.Lists[okFrameRate], "F3");
            EXPECT_EQ(options.Lists[okAspect], "M3");
        }
    }
    EXPECT_EQ(used.size(), 86u) << "every list is offered by some format";
    // Labels are numbered in order of first use along the keys.
    std::map<char, int> next;
    for (std::string_view label : firstUse)
        EXPECT_EQ(std::stoi(std::string(label.substr(1))), ++next[label[0]]) << label;
}

TEST(CatalogueTables, EveryListEntryPassesTheValueRules)
{
    for (const TOptionList& list : AllOptionLists())
        for (std::string_view item : list.Items) {
            TJobDefaults defaults;
            EXPECT_NO_THROW(ApplyOptionText(defaults, list.Kind, item)) << list.Label << " " << item;
        }
}

TEST(CatalogueTables, EveryTitleDerivesTheExtensionOfItsPattern)
{
    for (const TFormatItem& format : AllFormats()) {
        SCOPED_TRACE(std::string(format.Title));
        const std::string pattern = PatternExtension(format.Title);
        EXPECT_EQ(FormatExtension(format.Title), pattern);
        EXPECT_EQ(RenameExtension(format.Title), pattern);
        EXPECT_FALSE(format.Caption.empty());
        EXPECT_EQ(format.Caption.find('\n'), std::string_view::npos);
    }
}

TEST(CatalogueTables, PresetOutputExtensionFollowsTheTitleSaveForFourFormats)
{
    // These presets write another container than their title names; the
    // output name of a new job follows the preset, a changed row the title.
    const std::map<int, std::string> differing = {
        {901, ".mpeg"}, {906, ".avi"}, {3200, ".avi"}, {3400, ".avi"}};
    for (const TPresetEntry& preset : AllPresets()) {
        SCOPED_TRACE(preset.Key);
        const std::string title = FormatExtension(FindFormat(preset.Key)->Title);
        const auto it = differing.find(preset.Key);
        EXPECT_EQ(preset.OutputExt, it == differing.end() ? title : it->second);
    }
}

TEST(CatalogueTables, PresetKindsAgreeWithTheOptionLines)
{
    int audioOnly = 0;
    for (const TPresetEntry& preset : AllPresets()) {
        SCOPED_TRACE(preset.Key);
        EXPECT_EQ(preset.Kind == pkAudioOnly, FindFormatOptions(preset.Key)->AudioOnly);
        audioOnly += preset.Kind == pkAudioOnly;
        if (preset.Kind == pkVideo && !preset.OwnAudio) {
            EXPECT_NE(FindContainerAudio(preset.OutputExt), nullptr) << preset.OutputExt;
        }
    }
    EXPECT_EQ(audioOnly, 33);
}

TEST(CatalogueTables, TitlesAndDescriptionsAsWritten)
{
    const std::vector<std::tuple<int, std::string, std::string>> rows = {
        {100, "AVI - 音频视频交错格式(*.avi)", "AVI最常用的视频格式,语音和影像同步组合在一起的文件格式"},
        {111, "DVD - 视频格式(*.mpg)", "DVD-数字视频光盘通,常用来播放标准电视机清晰度的电影,高质量的音乐"},
        {114, "RM - REAL视频格式(*.rm)", "RealNetWorks推出的一种流媒体格式,低码率,很适合在网上播放和传输"},
        {200, "MP3 - MPEG Layer-3音频格式(*.mp3)", "最流行的音频格式,具有体积小,音质高的特点,几乎成为网上音乐的代名词"},
        {212, "AMR-手机音频格式(*.amr)", "AMR是流行的手机数字音乐文件格式之一"},
        {300, "高清AVI视频格式(*.avi)", "高清晰AVI视频格式(DivX视频编码)"},
        {400, "iPod (320X240) 高清晰视频(*.mp4)", "为iPod优化的MPEG-4视频预置方案.(320*240高质量)"},
        {700, "3GPP -  第三代合作项目-3GP视频+AMR音频(*.3gp)", "第三代合作伙伴项目3GPP制定的多媒体格式，手机视频格式.(AMR音频)"},
        {908, "Xbox360 MCE 高清晰AVI视频(*.avi)", "为Xbox360优化的AVI视频预置方案.(微软编码1)."},
        {1200, "FLV在线网络视频(*.flv)", "在线视频网站常用的视频预置方案如(优酷、酷六、土豆网)"},
        {1202, "FLV在线网络音频格式(*.flv)", "在线视频网站常用的视频预置方案如(优酷、酷六、土豆网)(音频格式)"},
        {1408, "DVD格式高清晰视频(*.mpg)", "标准的DVD格式高清晰视频预置方案"},
        {1600, "AVI标准视频(*.avi)", "最常用的AVI标准视频格式，采用DivX编码"},
        {1805, "高压缩的WMV视频(*.wmv)", "高压缩的WMV视频格式，为您节约大量空间"},
        {2210, "MTS视频转换为DVD视频(*.mpg)", "MTS视频转换为DVD视频，可以用于刻录DVD光盘"},
        {2500, "VCD - PAL视频格式(*.mpg)", "VCD视频格式，采用PAL制式的VCD视频格式，可以用于刻录VCD光盘"},
        {2900, "高清晰WMA音频格式(*.wma)", "WMA音频格式，可以转换高清晰的微软WMA音频格式"},
        {3215, "手机MP3格式音频(*.mp3)", "各种手机适用的MP3音频格式预置方案"},
        {3401, "4K高清电视DivX视频(*.mp4)", "适合4K高清智能电视播放的MP4视频格式"},
        {3506, "网络机顶盒适用的AVI视频(*.avi)", "通用网络机顶盒适用的AVI视频格式"},
    };
    for (const auto& [key, title, caption] : rows) {
        const TFormatItem* format = FindFormat(key);
        ASSERT_NE(format, nullptr) << key;
        EXPECT_EQ(format->Title, title) << key;
        EXPECT_EQ(format->Caption, caption) << key;
    }
    // Doubled blanks are part of the titles.
    EXPECT_EQ(FindFormat(2002)->Title, "3GPP2 -  第三代合作项目2-3G2视频+AMR音频(*.3g2)");
    EXPECT_EQ(FindFormat(2506)->Title, "VOB  - DVD视频格式(*.vob)");
    EXPECT_EQ(FindFormat(3512)->Title, "高清晰MPG格式视频(*.mpg)");
}
