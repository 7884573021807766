// The picker model: which effects choosing a category, a format or an option
// has on the job defaults and the selected row, and in which order.
#include "catalogue/job_columns.h"
#include "catalogue/preset_pickers.h"
#include "platform/error.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

using namespace vexa::catalogue;

namespace {

class FakeWindow : public TPickerHost {
public:
    bool HasSelectedRow() const override { return selected; }
    std::string SelectedRowColumn(int column) const override
    {
        EXPECT_TRUE(selected);
        return row.at(static_cast<size_t>(column));
    }
    void SetSelectedRowColumn(int column, const std::string& text) override
    {
        EXPECT_TRUE(selected);
        row.at(static_cast<size_t>(column)) = text;
        writes.push_back(column);
    }
    std::string OutputFolder() const override { return "/nonexistent/out"; }
    bool OverwriteOutput() const override { return false; }
    void FocusJobList() override { ++focus; }

    bool selected = false;
    std::array<std::string, kJobColumnCount> row;
    std::vector<int> writes;
    int focus = 0;
};

std::vector<std::string> Texts(const TPresetPickers& pickers)
{
    std::vector<std::string> texts;
    for (TOptionKind kind : kFillOrder)
        texts.push_back(pickers.Picker(kind).Text());
    return texts;
}

std::vector<bool> Enabled(const TPresetPickers& pickers)
{
    std::vector<bool> enabled;
    for (TOptionKind kind : kFillOrder)
        enabled.push_back(pickers.Picker(kind).Enabled());
    return enabled;
}

// A window that started up and holds one job row for key 100, as adding
// "/d/v/clip.mkv" leaves it.
class Pickers : public ::testing::Test {
protected:
    void SetUp() override
    {
        pickers.RefillFormats();
        pickers.Defaults().Video_AddFileName = "/d/v/clip.mkv";
        window.row[jcInputFile] = "/d/v/clip.mkv";
        window.row[jcOutputFile] = "clip.avi";
        window.row[jcPresetKey] = "100";
        window.row[jcOptionIndex] = pickers.OptionIndexString();
    }
    void SelectRow()
    {
        window.selected = true;
        window.writes.clear();
        window.focus = 0;
    }

    FakeWindow window;
    TPresetPickers pickers{window};
};

}  // namespace

TEST_F(Pickers, StartUpShowsTheFirstFormatWithItsDefaults)
{
    EXPECT_EQ(pickers.CategoryIndex(), 0);
    EXPECT_EQ(pickers.FormatItems().size(), 15u);
    EXPECT_EQ(pickers.FormatIndex(), 0);
    EXPECT_EQ(pickers.CurrentKey(), 100);
    EXPECT_EQ(pickers.OutputExtension(), ".avi");
    EXPECT_EQ(Texts(pickers), (std::vector<std::string>{"保持原分辨率", "816 kbps", "25.00",
                                                        "128 kbps", "44100", "保持原视频模式"}));
    EXPECT_EQ(pickers.OptionIndexString(), "000310000904");
    EXPECT_TRUE(window.writes.empty());
}

TEST_F(Pickers, WithoutASelectedRowAFormatChangeOnlyRefillsThePickers)
{
    const TJobDefaults before = pickers.Defaults();
    pickers.SetCategoryIndex(1);
    EXPECT_EQ(pickers.FormatItems().size(), 13u);
    EXPECT_EQ(pickers.CurrentTitle(), "MP3 - MPEG Layer-3音频格式(*.mp3)");
    EXPECT_EQ(pickers.OutputExtension(), ".mp3");
    EXPECT_EQ(pickers.Defaults(), before);
    EXPECT_TRUE(window.writes.empty());
    EXPECT_EQ(window.focus, 0);

    // A choice in a picker waits for the next added file.
    pickers.SelectOption(okAudioBitrate, 0);
    EXPECT_EQ(pickers.Defaults(), before);
    EXPECT_TRUE(window.writes.empty());
}

TEST_F(Pickers, AudioOnlyFormatDisablesTheVideoPickersUntilAVideoFormat)
{
    pickers.SetCategoryIndex(1);
    EXPECT_EQ(Texts(pickers), (std::vector<std::string>{"该格式无视频", "无视频", "无视频", "128 kbps",
                                                        "44100", "无视频"}));
    EXPECT_EQ(Enabled(pickers), (std::vector<bool>{false, false, false, true, true, false}));
    pickers.SetCategoryIndex(0);
    EXPECT_EQ(Enabled(pickers), std::vector<bool>(6, true));
}

TEST_F(Pickers, ThreeGpFormatOffersItsOwnLists)
{
    pickers.SetFormatIndex(9);  // "3GP - 视频格式(*.3gp)"
    const std::array<const char*, kOptionKindCount> labels = {"R2", "B4", "F2", "A2", "S2", "M2"};
    for (TOptionKind kind : kFillOrder)
        EXPECT_EQ(pickers.Picker(kind).Items(), FindOptionList(labels[kind])->Items) << labels[kind];
    EXPECT_EQ(Texts(pickers), (std::vector<std::string>{"176*144", "128 kbps", "12", "12 kbps", "8000",
                                                        "保持原视频模式"}));
}

TEST_F(Pickers, ChoosingCommonAudioRewritesTheSelectedRow)
{
    SelectRow();
    pickers.SetCategoryIndex(1);
    EXPECT_EQ(window.row[jcOutputFile], "clip.mp3");
    EXPECT_EQ(window.row[jcPresetKey], "200");
    EXPECT_EQ(window.row[jcDisableVideo], "True");
    EXPECT_EQ(window.row[jcVideoBitrate], "-1");
    EXPECT_EQ(window.row[jcFrameSize], "");
    EXPECT_EQ(window.row[jcOptionIndex], pickers.OptionIndexString());
    EXPECT_EQ(window.row[jcInputFile], "/d/v/clip.mkv");
    EXPECT_GT(window.focus, 0);
}

TEST_F(Pickers, FormatChangeOrderOfEffectsOnTheSelectedRow)
{
    SelectRow();
    pickers.SetFormatIndex(1);  // MP4: only the video bit rate entry shows another text
    const std::vector<int> expected = {
        jcOptionIndex, jcVideoBitrate,  // the bit rate picker's own change handling
        jcOptionIndex,                  // the row then names every position shown
        11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24,  // the preset
        jcOutputFile, jcPresetKey};
    EXPECT_EQ(window.writes, expected);
    // A selected row gets the preset's rate; the defaults for new jobs the picker's.
    EXPECT_EQ(window.row[jcVideoBitrate], "816000");
    EXPECT_EQ(pickers.Defaults().Video_VideoBitrate, 768000);
    EXPECT_EQ(pickers.Defaults().Video_FrameRate, "25.00");
    EXPECT_EQ(window.row[jcOutputFile], "clip.mp4");
    EXPECT_EQ(window.row[jcPresetKey], "101");
}

TEST_F(Pickers, ReselectingTheCategoryShownReturnsToItsFirstFormat)
{
    pickers.SetFormatIndex(5);
    SelectRow();
    window.row[jcOutputFile] = "clip.mkv";
    window.row[jcPresetKey] = "105";
    pickers.SetCategoryIndex(0);
    EXPECT_EQ(pickers.FormatIndex(), 0);
    EXPECT_EQ(window.row[jcPresetKey], "100");
    EXPECT_EQ(window.row[jcOutputFile], "clip.avi");
    EXPECT_EQ(window.row[jcVideoTag], "XVID");
}

TEST_F(Pickers, RowNameFollowsTheTitleWhileANewJobFollowsThePreset)
{
    SelectRow();
    pickers.SetCategoryIndex(8);
    pickers.SetFormatIndex(1);  // "Xbox360 MCE HD MPEG-2视频(*.mpg)"
    EXPECT_EQ(window.row[jcOutputFile], "clip.mpg");
    EXPECT_EQ(window.row[jcFileExt], ".mpeg");
    EXPECT_EQ(pickers.Defaults().Video_OutPutFileName, "/nonexistent/out/clip.mpeg");

    struct Case { int category, format; const char* name; };
    for (const Case& c : {Case{1, 10, "clip.flac"}, Case{0, 14, "clip.rm"}, Case{1, 6, "clip.ra"},
                          Case{34, 12, "clip.mpg"}, Case{31, 15, "clip.mp3"}}) {
        pickers.SetCategoryIndex(c.category);
        pickers.SetFormatIndex(c.format);
        EXPECT_EQ(window.row[jcOutputFile], c.name);
        EXPECT_EQ(window.row[jcPresetKey], std::to_string(PresetKey(c.category, c.format)));
    }
}

TEST_F(Pickers, OptionChangeWritesItsDigitsDefaultAndColumn)
{
    pickers.SetFormatIndex(9);  // 3GP with the AMR list A2
    pickers.SetCategoryIndex(6);  // 3GP视频, format 0 offers A3 with "4.75 kbps"
    window.row[jcOptionIndex] = pickers.OptionIndexString();
    SelectRow();
    pickers.SelectOption(okAudioBitrate, 0);
    EXPECT_EQ(pickers.Picker(okAudioBitrate).Text(), "4.75 kbps");
    EXPECT_EQ(pickers.Defaults().Video_AudioBitrate, 4750);
    EXPECT_EQ(window.row[jcAudioBitrate], "4750");
    EXPECT_EQ(window.row[jcOptionIndex].substr(4, 2), "00");
    EXPECT_EQ(window.writes, (std::vector<int>{jcOptionIndex, jcAudioBitrate}));
    EXPECT_EQ(window.focus, 1);

    pickers.SetCategoryIndex(0);
    pickers.SelectOption(okFrameSize, 11);
    EXPECT_EQ(window.row[jcOptionIndex].substr(0, 2), "11");
    EXPECT_EQ(window.row[jcFrameSize], "640*480");
    pickers.SelectOption(okFrameSize, 3);
    EXPECT_EQ(window.row[jcOptionIndex].substr(0, 2), "03");
    pickers.SelectOption(okAspect, 3);
    EXPECT_EQ(window.row[jcAspect], "37:20");
    EXPECT_EQ(pickers.Defaults().Video_FrameAspectRatio, "37:20");
    pickers.SelectOption(okAspect, 0);
    EXPECT_EQ(window.row[jcAspect], "");
    EXPECT_EQ(pickers.Defaults().Video_FrameAspectRatio, "");

    // Picking the entry already shown runs nothing.
    window.writes.clear();
    pickers.SelectOption(okAspect, 0);
    EXPECT_TRUE(window.writes.empty());
}

TEST_F(Pickers, TakingThePickersOverridesTheLoadedPreset)
{
    pickers.SetFormatIndex(1);
    pickers.SelectOption(okFrameSize, 11);
    ASSERT_TRUE(pickers.ApplyPreset());
    EXPECT_EQ(pickers.Defaults().Video_VideoBitrate, 816000);
    pickers.TakeOptionPickers();
    const TJobDefaults& d = pickers.Defaults();
    EXPECT_EQ(d.Video_FrameSize, "640*480");
    EXPECT_EQ(d.Video_VideoBitrate, 768000);
    EXPECT_EQ(d.Video_FrameRate, "25.00");
    EXPECT_EQ(d.Video_AudioBitrate, 128000);
    EXPECT_EQ(d.Video_AudioSampleRate, "44100");
    EXPECT_EQ(d.Video_FrameAspectRatio, "");
    EXPECT_EQ(d.Video_VideoCodec, "mpeg4");  // not a picker's value
    EXPECT_EQ(d.Video_OutPutFileName, "/nonexistent/out/clip.mp4");
    EXPECT_TRUE(window.writes.empty());
}

TEST_F(Pickers, RestoringARowBringsBackItsOwnChoices)
{
    pickers.SetFormatIndex(1);
    window.row[jcPresetKey] = "101";
    window.row[jcOptionIndex] = pickers.OptionIndexString();
    SelectRow();
    pickers.SelectOption(okFrameSize, 11);  // 640*480
    pickers.SelectOption(okVideoBitrate, 3);  // the default text, 768 kbps
    const std::string chosen = window.row[jcOptionIndex];

    // Another row was shown meanwhile.
    window.selected = false;
    pickers.SetCategoryIndex(3);
    SelectRow();
    pickers.RestoreSelection(window.row[jcPresetKey], window.row[jcOptionIndex]);

    EXPECT_EQ(pickers.CurrentKey(), 101);
    EXPECT_EQ(window.row[jcOptionIndex], chosen);
    EXPECT_EQ(window.row[jcFrameSize], "640*480");
    // Same text as the default: still written back over the preset's 816000.
    EXPECT_EQ(window.row[jcVideoBitrate], "768000");
    EXPECT_EQ(window.row[jcFrameRate], "25.00");
    EXPECT_EQ(window.row[jcOutputFile], "clip.mp4");
}

TEST_F(Pickers, RowNamesTheShownEntriesWhenAFormatKeepsATextAtAnotherPosition)
{
    // "25.00" sits at position 9 of the first frame rate list and at 7 of the
    // iPod one, so its picker's change handling does not run on the way.
    SelectRow();
    pickers.SetCategoryIndex(3);
    ASSERT_EQ(pickers.Picker(okFrameRate).Text(), "25.00");
    EXPECT_EQ(window.row[jcOptionIndex], pickers.OptionIndexString());
    EXPECT_EQ(window.row[jcOptionIndex].substr(8, 2), "07");

    pickers.RestoreSelection(window.row[jcPresetKey], window.row[jcOptionIndex]);
    EXPECT_EQ(pickers.Picker(okFrameRate).Text(), "25.00");
    EXPECT_EQ(window.row[jcFrameRate], "25.00");
}

TEST_F(Pickers, BadRowTextsAreRefusedBeforeAnythingChanges)
{
    pickers.SetFormatIndex(4);
    SelectRow();
    const auto row = window.row;
    for (const auto& [key, options] : std::vector<std::pair<std::string, std::string>>{
             {"", "000310000904"}, {"1x0", "000310000904"}, {"9999", "000310000904"},
             {"3600", "000310000904"}, {"100", "00031000090"}, {"100", "0003100009O4"},
             {"100", "990310000904"}, {"200", "000110000000"}}) {
        EXPECT_THROW(pickers.RestoreSelection(key, options), vexa::Error) << key << " " << options;
        EXPECT_EQ(pickers.CurrentKey(), 104);
        EXPECT_EQ(window.row, row);
        EXPECT_TRUE(window.writes.empty());
    }
}

TEST_F(Pickers, KeyOutsideTheCatalogueEmptiesThePickersAndLeavesTheRow)
{
    SelectRow();
    const auto row = window.row;
    pickers.SetCategoryIndex(40);
    EXPECT_EQ(pickers.CategoryIndex(), -1);
    EXPECT_TRUE(pickers.FormatItems().empty());
    EXPECT_EQ(pickers.FormatIndex(), -1);
    EXPECT_EQ(pickers.OutputExtension(), "");
    for (TOptionKind kind : kFillOrder) {
        EXPECT_TRUE(pickers.Picker(kind).Items().empty());
        EXPECT_EQ(pickers.Picker(kind).ItemIndex(), -1);
        EXPECT_TRUE(pickers.Picker(kind).Enabled());
    }
    EXPECT_EQ(window.row, row);
    EXPECT_FALSE(pickers.ApplyPreset());
    EXPECT_THROW(pickers.OptionIndexString(), vexa::Error);
    EXPECT_THROW(pickers.SelectOption(okFrameSize, 0), vexa::Error);
}

TEST(OptionPicker, ClearingKeepsTheShownText)
{
    TOptionPicker picker;
    const std::vector<std::string_view> first = {"a", "b"};
    const std::vector<std::string_view> second = {"b", "c"};
    picker.Fill(first);
    EXPECT_TRUE(picker.Select(1));
    picker.Clear();
    EXPECT_EQ(picker.Text(), "b");
    EXPECT_EQ(picker.ItemIndex(), -1);
    picker.Fill(second);
    EXPECT_FALSE(picker.Select(0));  // "b" again, at another position
    EXPECT_EQ(picker.ItemIndex(), 0);
    EXPECT_TRUE(picker.Select(1));
    EXPECT_THROW(picker.Select(2), vexa::Error);
    EXPECT_THROW(picker.Select(-1), vexa::Error);
    EXPECT_EQ(picker.Text(), "c");
}
