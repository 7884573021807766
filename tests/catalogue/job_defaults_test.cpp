// Job defaults: reset, loading a preset, the output path against the disk and
// the columns a selected row receives.
#include "catalogue/job_columns.h"
#include "catalogue/job_defaults.h"
#include "catalogue/presets.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

using namespace vexa::catalogue;
namespace fs = std::filesystem;

namespace {

TJobDefaults Loaded(int key, const std::string& input = "/d/v/clip.mkv")
{
    TJobDefaults d;
    d.Video_AddFileName = input;
    EXPECT_TRUE(LoadPreset(d, key, "/nonexistent/out", false)) << key;
    return d;
}

std::map<int, std::string> Columns(const TJobDefaults& d)
{
    std::map<int, std::string> columns;
    for (const auto& [column, text] : PresetRowColumns(d))
        columns[column] = text;
    return columns;
}

class OutputFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = fs::path(VEXA_TEST_BINARY_DIR) / "catalogue-out" /
                  ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void Touch(const std::string& name) { std::ofstream(folder_ / name) << ""; }
    std::string Folder() const { return folder_.string(); }
    std::string Path(const std::string& name) const { return (folder_ / name).string(); }

    TJobDefaults Load(int key, const std::string& input, bool overwrite)
    {
        TJobDefaults d;
        d.Video_AddFileName = input;
        EXPECT_TRUE(LoadPreset(d, key, Folder(), overwrite));
        return d;
    }

    fs::path folder_;
};

}  // namespace

TEST(JobDefaults, ResetKeepsOnlyTheFileBeingAdded)
{
    TJobDefaults d = Loaded(300);
    d.Video_VideoFilters = "scale";
    d.Video_TimeStart = 5;
    ResetJobDefaults(d);
    TJobDefaults expected;
    expected.Video_AddFileName = "/d/v/clip.mkv";
    EXPECT_EQ(d, expected);
    EXPECT_EQ(d.Video_AudioVolume, "256");
    EXPECT_EQ(d.Video_VideoBitrate, -1);
    EXPECT_EQ(d.Video_AudioBitrate, -1);
    EXPECT_EQ(d.Video_TimeStart, -1);
    EXPECT_EQ(d.Video_TimeLength, -1);
    EXPECT_FALSE(d.Video_DisableVideo);
}

TEST(JobDefaults, VideoEntryTakesTheContainerAudioUnlessItNamesItsOwn)
{
    const TJobDefaults avi = Loaded(100);
    EXPECT_EQ(avi.Video_VideoCodec, "mpeg4");
    EXPECT_EQ(avi.Video_VideoTag, "XVID");
    EXPECT_EQ(avi.Video_FrameRate, "25");
    EXPECT_EQ(avi.Video_FrameSize, "");
    EXPECT_EQ(avi.Video_VideoBitrate, 816000);
    EXPECT_EQ(avi.Video_FileExt, ".avi");
    EXPECT_EQ(avi.Video_AudioCodec, "libmp3lame");
    EXPECT_EQ(avi.Video_AudioChannels, "2");
    EXPECT_EQ(avi.Video_AudioSampleRate, "44100");
    EXPECT_EQ(avi.Video_AudioBitrate, 128000);

    const TJobDefaults threeGp = Loaded(700);
    EXPECT_EQ(threeGp.Video_AudioCodec, "libopencore_amrnb");
    EXPECT_EQ(threeGp.Video_AudioChannels, "1");
    EXPECT_EQ(threeGp.Video_AudioSampleRate, "8000");
    EXPECT_EQ(threeGp.Video_AudioBitrate, 10200);

    const TJobDefaults mp4 = Loaded(101);  // its own audio over the .mp4 defaults
    EXPECT_EQ(mp4.Video_AudioCodec, "libmp3lame");
    EXPECT_EQ(mp4.Video_AudioSampleRate, "44100");
    EXPECT_EQ(Loaded(1101).Video_AudioCodec, "libmp3lame");
    EXPECT_EQ(Loaded(400).Video_AudioCodec, "libfaac");
    EXPECT_EQ(Loaded(400).Video_AudioSampleRate, "48000");
}

TEST(JobDefaults, RowColumnsOfTelltalePresets)
{
    struct Case {
        int key;
        const char* outputName;
        std::map<int, std::string> columns;  // the columns checked
    };
    const Case cases[] = {
        // DVD: no extension for the engine, the target decides the rates.
        {111, "clip.mpg",
         {{jcFileExt, ""}, {jcTargetType, "dvd"}, {jcNormType, "PAL"}, {jcVideoBitrate, "-1000"},
          {jcAudioBitrate, "-1000"}, {jcVideoCodec, ""}, {jcAudioCodec, ""}, {jcAudioChannels, ""},
          {jcDisableVideo, "False"}}},
        {2501, "clip.mpg", {{jcTargetType, "vcd"}, {jcNormType, "NTSC"}, {jcFileExt, ""}}},
        {2506, "clip.vob", {{jcTargetType, "dvd"}, {jcNormType, "PAL"}, {jcFileExt, ""}}},
        // Audio only: no video values at all.
        {200, "clip.mp3",
         {{jcDisableVideo, "True"}, {jcVideoBitrate, "-1"}, {jcVideoCodec, ""}, {jcFrameSize, ""},
          {jcFrameRate, ""}, {jcAspect, ""}, {jcAudioCodec, "libmp3lame"}, {jcAudioChannels, "2"},
          {jcSampleRate, "48000"}, {jcAudioBitrate, "128000"}, {jcFileExt, ".mp3"}}},
        {212, "clip.amr", {{jcAudioCodec, "libopencore_amrnb"}, {jcAudioBitrate, "7400"}}},
        // Output name and engine extension apart.
        {206, "clip.ra", {{jcFileExt, ".rm"}, {jcDisableVideo, "True"}}},
        {306, "clip.wmv", {{jcFileExt, ".asf"}, {jcVideoCodec, "wmv2"}, {jcAudioCodec, "wmav2"}}},
        {901, "clip.mpeg", {{jcFileExt, ".mpeg"}, {jcAudioCodec, "ac3"}, {jcAudioBitrate, "192000"}}},
        {1202, "clip.flv", {{jcFileExt, ""}, {jcDisableVideo, "True"}, {jcSampleRate, "22050"}}},
        // RealMedia: codec and size only.
        {114, "clip.rm",
         {{jcVideoCodec, "rv20"}, {jcFrameSize, "320*240"}, {jcFileExt, ""}, {jcVideoBitrate, "-1"},
          {jcAudioBitrate, "-1"}, {jcAudioCodec, ""}, {jcAudioChannels, ""}, {jcSampleRate, ""},
          {jcFrameRate, ""}, {jcDisableVideo, "False"}}},
        {408, "clip.mp4", {{jcVideoBitrate, "7680000"}, {jcVideoCodec, "libxvid"}}},
        {409, "clip.mp4",
         {{jcVideoCodec, "libx264"}, {jcFrameSize, "640*480"}, {jcVideoBitrate, "1200000"}}},
        {109, "clip.3gp", {{jcAspect, "4:3"}, {jcAudioCodec, "libfaac"}, {jcAudioBitrate, "12000"}}},
        {1100, "clip.mp4", {{jcVideoTag, ""}, {jcFrameSize, "320*240"}, {jcVideoBitrate, "528000"}}},
        {1600, "clip.avi", {{jcVideoTag, "DX50"}}},
        // Program streams carry AC-3 at the rates of the AAC they once named.
        {307, "clip.vob", {{jcAudioCodec, "ac3"}, {jcSampleRate, "48000"}, {jcAudioBitrate, "128000"}}},
        {1404, "clip.mpg", {{jcAudioCodec, "ac3"}, {jcSampleRate, "48000"}, {jcAudioBitrate, "128000"}}},
        // An encoder that still exists, in the container of the title.
        {909, "clip.avi", {{jcVideoCodec, "msmpeg4v2"}, {jcFileExt, ".avi"}}},
        {1305, "clip.mp4", {{jcVideoTag, ""}, {jcVideoCodec, "mpeg4"}}},
        {3202, "clip.mp4", {{jcFrameRate, "25"}, {jcFrameSize, "640*480"}}},
        {3302, "clip.mp4", {{jcFrameRate, ""}, {jcAspect, "16:9"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        const TJobDefaults d = Loaded(c.key);
        EXPECT_EQ(d.Video_OutPutFileName, std::string("/nonexistent/out/") + c.outputName);
        const auto columns = Columns(d);
        for (const auto& [column, text] : c.columns)
            EXPECT_EQ(columns.at(column), text) << "column " << column;
    }
}

TEST(JobDefaults, EveryPresetNamesWhatItsContainerAndCodecTake)
{
    // What the muxers and encoders of the installed libraries refuse, found
    // here before a conversion runs into it.
    const std::set<std::string> programStream = {".mpg", ".mpeg", ".vob"};
    const std::set<std::string> programStreamAudio = {"", "mp2", "libmp3lame", "ac3"};
    const std::set<int> ac3Rates = {32000, 44100, 48000};
    const std::set<int> ac3Kbps = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160,
                                   192, 224, 256, 320, 384, 448, 512, 576, 640};
    const std::set<std::string> goneEncoders = {"msmpeg4v1"};
    for (const TPresetEntry& preset : AllPresets()) {
        SCOPED_TRACE(preset.Key);
        const TJobDefaults d = Loaded(preset.Key);
        const std::string ext = d.Video_FileExt.empty() ? std::string(preset.OutputExt) : d.Video_FileExt;
        if (programStream.count(ext) && d.Video_TargetType.empty()) {
            EXPECT_TRUE(programStreamAudio.count(d.Video_AudioCodec)) << d.Video_AudioCodec;
        }
        if (ext == ".mp4" || ext == ".m4v" || ext == ".3gp" || ext == ".3g2") {
            EXPECT_EQ(d.Video_VideoTag, "");
        }
        if (d.Video_AudioCodec == "ac3") {
            EXPECT_TRUE(ac3Rates.count(std::stoi(d.Video_AudioSampleRate))) << d.Video_AudioSampleRate;
            EXPECT_TRUE(d.Video_AudioBitrate % 1000 == 0 && ac3Kbps.count(d.Video_AudioBitrate / 1000))
                << d.Video_AudioBitrate;
        }
        EXPECT_FALSE(goneEncoders.count(d.Video_VideoCodec)) << d.Video_VideoCodec;
    }
}

TEST(JobDefaults, RowColumnsAreTheEncodingColumnsInOrder)
{
    const auto columns = PresetRowColumns(Loaded(300));
    ASSERT_EQ(columns.size(), 14u);
    for (size_t i = 0; i < columns.size(); ++i)
        EXPECT_EQ(columns[i].first, jcVideoCodec + static_cast<int>(i));
}

TEST(JobDefaults, NothingOfThePreviousPresetLeaksIntoTheNext)
{
    TJobDefaults d = Loaded(300);  // HD: codec, size, rate, bit rate
    ASSERT_EQ(d.Video_FrameSize, "1280*720");
    ASSERT_TRUE(LoadPreset(d, 212, "/nonexistent/out", false));  // AMR audio only
    EXPECT_EQ(d, Loaded(212));
    EXPECT_EQ(d.Video_FrameSize, "");
    EXPECT_EQ(d.Video_FrameRate, "");
    EXPECT_EQ(d.Video_VideoCodec, "");
    EXPECT_EQ(d.Video_VideoBitrate, -1);
    EXPECT_TRUE(d.Video_DisableVideo);

    ASSERT_TRUE(LoadPreset(d, 114, "/nonexistent/out", false));  // RM after audio only
    EXPECT_EQ(d, Loaded(114));
    EXPECT_FALSE(d.Video_DisableVideo);
    EXPECT_EQ(d.Video_AudioCodec, "");
}

TEST(JobDefaults, UnknownKeyLeavesResetDefaultsAndNoPath)
{
    TJobDefaults d = Loaded(300);
    EXPECT_FALSE(LoadPreset(d, 3600, "/out", false));
    TJobDefaults expected;
    expected.Video_AddFileName = "/d/v/clip.mkv";
    EXPECT_EQ(d, expected);
}

TEST_F(OutputFolder, NumberedUntilFreeUnlessOverwriting)
{
    EXPECT_EQ(Load(100, "/d/v/clip.mkv", false).Video_OutPutFileName, Path("clip.avi"));
    Touch("clip.avi");
    EXPECT_EQ(Load(100, "/d/v/clip.mkv", false).Video_OutPutFileName, Path("clip_1.avi"));
    Touch("clip_1.avi");
    EXPECT_EQ(Load(100, "/d/v/clip.mkv", false).Video_OutPutFileName, Path("clip_2.avi"));
    EXPECT_EQ(Load(100, "/d/v/clip.mkv", true).Video_OutPutFileName, Path("clip.avi"));
    // Another extension is another name.
    EXPECT_EQ(Load(200, "/d/v/clip.mkv", false).Video_OutPutFileName, Path("clip.mp3"));
}

TEST_F(OutputFolder, AFolderOfThatNameIsTakenToo)
{
    fs::create_directory(folder_ / "clip.avi");
    EXPECT_EQ(Load(100, "/d/v/clip.mkv", false).Video_OutPutFileName, Path("clip_1.avi"));
}

TEST_F(OutputFolder, NamesWithoutOrWithSeveralDots)
{
    EXPECT_EQ(Load(100, "/d/v/clip", false).Video_OutPutFileName, Path("clip.avi"));
    EXPECT_EQ(Load(100, "/d/v.x/视频.片段.mkv", false).Video_OutPutFileName, Path("视频.片段.avi"));
    Touch("视频.片段.avi");
    EXPECT_EQ(Load(100, "/d/v.x/视频.片段.mkv", false).Video_OutPutFileName, Path("视频.片段_1.avi"));
    // Nothing added yet: the name is only the extension.
    EXPECT_EQ(Load(100, "", false).Video_OutPutFileName, Path(".avi"));
}

TEST(OutputFileName, MissingOrEmptyFolder)
{
    EXPECT_EQ(UniqueOutputFileName("/no/such/folder/clip.avi", "/no/such/folder", false),
              "/no/such/folder/clip.avi");
    EXPECT_EQ(OutputFileName("", "/d/clip.mkv", ".avi"), "/clip.avi");
}
