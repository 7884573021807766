// Preset keys, extensions from titles, option index strings and the rules that
// turn a picker's shown entry into a job value.
#include "catalogue/catalogue.h"
#include "catalogue/extensions.h"
#include "catalogue/option_lists.h"
#include "platform/error.h"

#include <gtest/gtest.h>

using namespace vexa::catalogue;

TEST(PresetKey, BothWays)
{
    struct Case { int category, format, key; };
    for (const Case& c : {Case{0, 0, 100}, Case{34, 12, 3512}, Case{31, 15, 3215}, Case{1, 0, 200}}) {
        EXPECT_EQ(PresetKey(c.category, c.format), c.key);
        EXPECT_EQ(KeyCategory(c.key), c.category);
        EXPECT_EQ(KeyFormat(c.key), c.format);
    }
    EXPECT_EQ(FindFormat(3215)->Title, "手机MP3格式音频(*.mp3)");
    EXPECT_EQ(FindFormat(3512)->Title, "高清晰MPG格式视频(*.mpg)");
}

TEST(PresetKey, StoredTextMustBeDecimal)
{
    EXPECT_EQ(ParsePresetKey("100"), 100);
    EXPECT_EQ(ParsePresetKey("3512"), 3512);
    EXPECT_EQ(ParsePresetKey("9999"), 9999);  // read, though no format has it
    for (const char* bad : {"", " 100", "100 ", "1e3", "0x64", "12a", "+100", "99999999999"})
        EXPECT_THROW(ParsePresetKey(bad), vexa::Error) << '"' << bad << '"';
}

TEST(Extensions, FromTitles)
{
    struct Case { const char* title; const char* format; const char* rename; };
    const Case cases[] = {
        {"AVI - 音频视频交错格式(*.avi)", ".avi", ".avi"},
        {"FLAC-音频格式(*.flac)", ".flac", ".flac"},
        {"AIFF - 音频交换文件格式(*.aiff)", ".aiff", ".aiff"},
        {"RM - REAL视频格式(*.rm)", ".rm", ".rm"},
        {"RA - RealAudio音频格式(*.ra)", ".ra", ".ra"},
        {"Xbox360 MCE HD MPEG-2视频(*.mpg)", ".mpg", ".mpg"},
        // Only renaming repairs these two; no title of the catalogue has them.
        {"X(*.mpeg)", "mpeg", ".mpeg"},
        {"X(*.alac))", "lac)", ".alac"},
        // Characters, not bytes, are counted.
        {"一二三四五六", "二三四五", "二三四五"},
        {"ab", "a", "a"},
        {"a", "", ""},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatExtension(c.title), c.format) << c.title;
        EXPECT_EQ(RenameExtension(c.title), c.rename) << c.title;
    }
}

TEST(Extensions, ChangeNameExtension)
{
    EXPECT_EQ(ChangeNameExtension("clip.avi", ".mp3"), "clip.mp3");
    EXPECT_EQ(ChangeNameExtension("clip", ".mp3"), "clip.mp3");
    EXPECT_EQ(ChangeNameExtension("a.b.c", ".mp3"), "a.b.mp3");
    EXPECT_EQ(ChangeNameExtension("视频.片段.mkv", ".avi"), "视频.片段.avi");
    EXPECT_EQ(ChangeNameExtension("", ".avi"), ".avi");
}

TEST(OptionIndexString, TwoDigitsPerPickerInColumnOrder)
{
    TOptionPositions p{};
    p[okFrameSize] = 3;
    p[okVideoBitrate] = 12;
    p[okAudioBitrate] = 0;
    p[okAspect] = 1;
    p[okFrameRate] = 9;
    p[okSampleRate] = 10;
    EXPECT_EQ(FormatOptionIndexString(p), "031200010910");
    EXPECT_EQ(ParseOptionIndexString("031200010910"), p);

    p = {};
    p[okVideoBitrate] = 4;
    p[okAudioBitrate] = 3;
    p[okFrameRate] = 9;
    p[okSampleRate] = 4;
    EXPECT_EQ(FormatOptionIndexString(p), "000403000904");
}

TEST(OptionIndexString, ReplacingOnePickerKeepsTheOthers)
{
    const std::string s = "031200010910";
    EXPECT_EQ(ReplaceOptionPosition(s, okFrameSize, 11), "111200010910");
    EXPECT_EQ(ReplaceOptionPosition(s, okFrameSize, 3), "031200010910");
    EXPECT_EQ(ReplaceOptionPosition(s, okVideoBitrate, 7), "030700010910");
    EXPECT_EQ(ReplaceOptionPosition(s, okAudioBitrate, 15), "031215010910");
    EXPECT_EQ(ReplaceOptionPosition(s, okAspect, 4), "031200040910");
    EXPECT_EQ(ReplaceOptionPosition(s, okFrameRate, 0), "031200010010");
    EXPECT_EQ(ReplaceOptionPosition(s, okSampleRate, 5), "031200010905");
}

TEST(OptionIndexString, MalformedIsRefused)
{
    for (const char* bad : {"", "03120001091", "0312000109100", "03120001091x", "0312 0010910",
                            "-31200010910"}) {
        EXPECT_THROW(ParseOptionIndexString(bad), vexa::Error) << bad;
        EXPECT_THROW(ReplaceOptionPosition(bad, okAspect, 1), vexa::Error) << bad;
    }
    EXPECT_THROW(ReplaceOptionPosition("031200010910", okAspect, 100), vexa::Error);
    EXPECT_THROW(ReplaceOptionPosition("031200010910", okAspect, -1), vexa::Error);
    TOptionPositions unselected{};
    unselected[okSampleRate] = -1;
    EXPECT_THROW(FormatOptionIndexString(unselected), vexa::Error);
}

TEST(OptionValues, TextRules)
{
    EXPECT_EQ(FrameSizeFromText("保持原分辨率"), "");
    EXPECT_EQ(FrameSizeFromText("该格式无视频"), "");
    EXPECT_EQ(FrameSizeFromText("640*480"), "640*480");
    EXPECT_EQ(FrameRateFromText("保持原帧速率"), "");
    EXPECT_EQ(FrameRateFromText("无视频"), "");
    EXPECT_EQ(FrameRateFromText("29.97"), "29.97");
    EXPECT_EQ(FrameRateFromText("12"), "12");
    EXPECT_EQ(SampleRateFromText("44100"), "44100");
    EXPECT_EQ(AspectFromText("保持原视频模式"), "");
    EXPECT_EQ(AspectFromText("无视频"), "");
    EXPECT_EQ(AspectFromText("普通视频4:3模式"), "4:3");
    EXPECT_EQ(AspectFromText("宽屏视频16:9模式"), "16:9");
    EXPECT_EQ(AspectFromText("宽屏视频37:20模式"), "37:20");
    EXPECT_EQ(AspectFromText("宽屏视频47:20模式"), "47:20");
    EXPECT_THROW(AspectFromText("16:9"), vexa::Error);
}

TEST(OptionValues, BitRates)
{
    EXPECT_EQ(VideoBitrateFromText("816 kbps"), 816000);
    EXPECT_EQ(VideoBitrateFromText("8 kbps"), 8000);
    EXPECT_EQ(VideoBitrateFromText(" 4000  kbps"), 4000000);
    EXPECT_EQ(VideoBitrateFromText("无视频"), -1000);

    struct Case { const char* text; int bitrate; };
    for (const Case& c : {Case{"4.75 kbps", 4750}, Case{"5.15 kbps", 5150}, Case{"5.9 kbps", 5900},
                          Case{"7.95 kbps", 7950}, Case{"10.2 kbps", 10200}, Case{"12.2 kbps", 12200},
                          Case{"128 kbps", 128000}, Case{"4.7500 kbps", 4750}, Case{".5 kbps", 500}})
        EXPECT_EQ(AudioBitrateFromText(c.text), c.bitrate) << c.text;
}

TEST(OptionValues, MalformedBitRatesAreRefusedNotReadAsZero)
{
    for (const char* bad : {"", "kbps", " kbps", "abc kbps", "816", "816 kpbs", "-5 kbps",
                            "8.5 kbps", "1e3 kbps", "2147484 kbps", "99999999999 kbps"})
        EXPECT_THROW(VideoBitrateFromText(bad), vexa::Error) << bad;
    for (const char* bad : {"", "kbps", ". kbps", "4,75 kbps", "1.2.3 kbps", "4.7555 kbps",
                            "-4.75 kbps", "无视频", "2147484 kbps"})
        EXPECT_THROW(AudioBitrateFromText(bad), vexa::Error) << bad;
}
