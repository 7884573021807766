// The job store without widgets: texts, slots, row/record rules, settings.
#include "jobs/app_settings.h"
#include "jobs/job_list.h"
#include "jobs/job_records.h"
#include "jobs/job_texts.h"
#include "catalogue/catalogue.h"
#include "catalogue/job_columns.h"
#include "catalogue/option_lists.h"
#include "platform/error.h"
#include "platform/paths.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace vexa::app {
namespace {

using namespace catalogue;

TEST(JobTexts, DurationWrapsAfterTwentyThreeHours)
{
    const struct { int64_t seconds; const char* text; } cases[] = {
        {0, "00:00:00"},        {3725, "01:02:05"},   {86399, "23:59:59"},
        {86400, "00:00:00"},    {90000, "01:00:00"},  {-5, "00:00:00"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DurationText(c.seconds), c.text) << c.seconds;
    EXPECT_EQ(DurationTextUs(3725999999), "01:02:05");
}

TEST(JobTexts, SizeInMegabytesToHundredths)
{
    const struct { int64_t bytes; const char* text; } cases[] = {
        {0, "0MB"},
        {1048576, "1MB"},
        {5767168, "5.5MB"},
        {1536000, "1.46MB"},
        {10485760, "10MB"},
        // 0.125 MB: a true tie, rounded to the even hundredth.
        {131072, "0.12MB"},
        // 0.375 MB rounds up to the even 0.38.
        {393216, "0.38MB"},
        {1048576LL * 4096, "4096MB"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SizeText(c.bytes), c.text) << c.bytes;
}

TEST(JobTexts, StrToIntIsStrict)
{
    EXPECT_EQ(StrToInt("816000"), 816000);
    EXPECT_EQ(StrToInt("-1000"), -1000);
    EXPECT_EQ(StrToInt("+7"), 7);
    for (const char* bad : {"", " 1", "1 ", "12a", "4.75", "-", "+-3", "99999999999", "AUTO"})
        EXPECT_THROW(StrToInt(bad), Error) << bad;
}

TJobRow Row(const std::string& input, int taskNumber)
{
    TJobRow row;
    row[jcInputFile] = input;
    row[jcTaskNumber] = std::to_string(taskNumber);
    return row;
}

TOutputOptions Output(const std::string& name)
{
    TOutputOptions o;
    o.FileName = name;
    return o;
}

TEST(JobList, SlotsFollowRowsThroughRemoveAndExchange)
{
    TJobList jobs;
    EXPECT_EQ(jobs.FirstFreeSlot(), 0);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(jobs.Append(Row("in" + std::to_string(i), i + 1), {}, Output("out" + std::to_string(i))));
    EXPECT_EQ(jobs.OutputSlot(2).AudioLanguage, "Full");

    jobs.Remove(1);
    ASSERT_EQ(jobs.Count(), 2);
    EXPECT_EQ(jobs.Cell(0, jcInputFile), "in0");
    EXPECT_EQ(jobs.Cell(1, jcInputFile), "in2");
    EXPECT_EQ(jobs.OutputSlot(0).FileName, "out0");
    EXPECT_EQ(jobs.OutputSlot(1).FileName, "out2");
    EXPECT_TRUE(jobs.SlotUsed(1));
    EXPECT_EQ(jobs.OutputSlot(2).AudioLanguage, "kong");
    // The job that was third now has check-task number 2.
    EXPECT_EQ(jobs.Cell(1, jcTaskNumber), "2");
    EXPECT_EQ(jobs.Cell(0, jcTaskNumber), "1");

    jobs.Exchange(0, 1);
    EXPECT_EQ(jobs.Cell(0, jcInputFile), "in2");
    EXPECT_EQ(jobs.OutputSlot(0).FileName, "out2");
    EXPECT_EQ(jobs.Cell(0, jcTaskNumber), "2");  // the number travels with its job
    EXPECT_EQ(jobs.OutputSlot(1).FileName, "out0");

    jobs.Clear();
    EXPECT_EQ(jobs.Count(), 0);
    EXPECT_EQ(jobs.FirstFreeSlot(), 0);
    EXPECT_FALSE(jobs.SlotUsed(0));
}

TEST(JobList, RemovingARowWithoutNumberKeepsOthersNumbers)
{
    TJobList jobs;
    jobs.Append(Row("a", 1), {}, {});
    TJobRow unnumbered = Row("b", 0);
    unnumbered[jcTaskNumber] = "";
    jobs.Append(unnumbered, {}, {});
    jobs.Append(Row("c", 3), {}, {});
    jobs.Remove(1);
    EXPECT_EQ(jobs.Cell(1, jcTaskNumber), "3");
}

TEST(JobList, TheFiveHundredSecondJobIsRefused)
{
    TJobList jobs;
    for (int i = 0; i < kSlotCount; ++i)
        ASSERT_TRUE(jobs.Append(Row("f", i + 1), {}, {}));
    EXPECT_TRUE(jobs.IsFull());
    EXPECT_FALSE(jobs.Append(Row("g", 502), {}, {}));
    EXPECT_EQ(jobs.Count(), kSlotCount);
    // Removing one frees the last slot for the next job.
    jobs.Remove(0);
    EXPECT_EQ(jobs.FirstFreeSlot(), kSlotCount - 1);
    EXPECT_TRUE(jobs.Append(Row("g", 501), {}, {}));
}

TEST(JobList, OutOfRangeAccessRaises)
{
    TJobList jobs;
    EXPECT_THROW(jobs.Cell(0, 0), Error);
    jobs.Append(Row("a", 1), {}, {});
    EXPECT_THROW(jobs.Cell(0, kJobColumnCount), Error);
    EXPECT_THROW(jobs.Remove(1), Error);
    EXPECT_THROW(jobs.OutputSlot(kSlotCount), Error);
}

TEST(JobRecords, KeyAndOptionIndexStringForms)
{
    EXPECT_EQ(PresetKey(0, 0), 100);
    EXPECT_EQ(PresetKey(34, 12), 3512);
    EXPECT_EQ(KeyCategory(3512), 34);
    EXPECT_EQ(KeyFormat(3512), 12);
    TOptionPositions p{};
    p[okFrameSize] = 3;
    p[okVideoBitrate] = 12;
    p[okAudioBitrate] = 0;
    p[okAspect] = 1;
    p[okFrameRate] = 9;
    p[okSampleRate] = 10;
    EXPECT_EQ(FormatOptionIndexString(p), "031200010910");
}

TEST(JobRecords, NewJobRowFromOutputRecord)
{
    TJobDefaults d;
    ResetJobDefaults(d);
    d.Video_VideoCodec = "libx264";
    d.Video_AudioCodec = "AUTO";
    d.Video_AudioSampleRate = "44100";
    d.Video_AudioChannels = "2";
    d.Video_VideoBitrate = 816000;
    d.Video_AudioBitrate = -1000;
    d.Video_FrameSize = "640*480";
    d.Video_TargetType = "dvd";
    d.Video_NormType = "PAL";
    TOutputOptions o;
    InitOutputOptions(o);
    FillOutputFromDefaults(d, o);
    EXPECT_EQ(o.VideoPreset, "libx264-default");
    EXPECT_EQ(o.AudioCodec, "");
    EXPECT_EQ(o.AudioBitrate, -1);  // -1000 is not applied
    EXPECT_EQ(o.AudioVolume, 256);
    EXPECT_EQ(o.TargetType, ttDVD);
    EXPECT_EQ(o.NormType, ntPAL);
    o.FileName = "/out/clip.mp4";

    TNewJob job{"/in/clip.avi", 3725000000, 1536000, 4, 101, "000400000904", o, d};
    const TJobRow row = MakeJobRow(job);
    EXPECT_EQ(row[jcDuration], "01:02:05");
    EXPECT_EQ(row[jcFileSize], "1.46MB");
    EXPECT_EQ(row[jcOutputFile], "clip.mp4");
    EXPECT_EQ(row[jcProgress], "");
    EXPECT_EQ(row[jcTaskNumber], "5");
    EXPECT_EQ(row[jcPresetKey], "101");
    EXPECT_EQ(row[jcVideoBitrate], "816000");
    EXPECT_EQ(row[jcAudioBitrate], "-1");
    EXPECT_EQ(row[jcSampleRate], "44100");
    EXPECT_EQ(row[jcAudioChannels], "2");
    EXPECT_EQ(row[jcFileExt], "");
    EXPECT_EQ(row[jcDisableVideo], "False");
    EXPECT_EQ(row[jcTargetType], "dvd");

    job.DurationUs = 0;
    EXPECT_EQ(MakeJobRow(job)[jcDuration], "N/A");

    d.Video_AudioVolume = "loud";
    EXPECT_THROW(FillOutputFromDefaults(d, o), Error);
}

TEST(JobRecords, RunTasksTakeEveryNamedFieldFromTheRow)
{
    TJobList jobs;
    TJobRow row;
    row[jcInputFile] = "/in/a.avi";
    row[jcOutputFile] = "a.mpg";
    row[jcVideoCodec] = "libx264";
    row[jcVideoTag] = "avc1";
    row[jcAudioCodec] = "AUTO";
    row[jcAudioChannels] = "2";
    row[jcVideoBitrate] = "-1000";
    row[jcAudioBitrate] = "-2000";
    row[jcSampleRate] = "AUTO";
    row[jcDisableVideo] = "True";
    row[jcNormType] = "NTSC";
    // The slot still holds values of the job's earlier format: a disc target,
    // a frame size, an audio rate. The row no longer names them.
    TOutputOptions stale;
    stale.TargetType = ttDVD;
    stale.FrameSize = "720*576";
    stale.AudioBitrate = 128000;
    stale.AudioVolume = 300;
    stale.FileFormat = "vob";
    TInputOptions input;
    input.TimeStart = 5;
    jobs.Append(row, input, stale);

    const auto tasks = BuildRunTasks(jobs, "/out");
    ASSERT_EQ(tasks.size(), 1u);
    const TOutputOptions& o = tasks[0].Output;
    EXPECT_EQ(tasks[0].OutputFile, "/out/a.mpg");
    EXPECT_EQ(tasks[0].Input.FileName, "/in/a.avi");
    EXPECT_EQ(tasks[0].Input.TimeStart, 5);
    EXPECT_EQ(o.VideoCodec, "libx264");
    EXPECT_EQ(o.VideoPreset, "libx264-default");
    EXPECT_EQ(o.VideoTag, "");  // no tag with libx264
    EXPECT_EQ(o.AudioCodec, "");
    EXPECT_EQ(o.AudioChannels, 2);
    EXPECT_EQ(o.VideoBitrate, -1000);
    EXPECT_EQ(o.AudioBitrate, -1);
    EXPECT_EQ(o.AudioSampleRate, -1);
    EXPECT_EQ(o.FrameSize, "");
    EXPECT_EQ(o.TargetType, ttIgnore);
    EXPECT_EQ(o.NormType, ntNTSC);
    EXPECT_TRUE(o.DisableVideo);
    // Fields no column names keep the slot's values, its state text included.
    EXPECT_EQ(o.AudioVolume, 300);
    EXPECT_EQ(o.FileFormat, "vob");
    EXPECT_EQ(o.AudioLanguage, "Full");

    row[jcVideoCodec] = "mpeg4";
    row[jcVideoBitrate] = "816000";
    jobs.SetCell(0, jcVideoCodec, "mpeg4");
    EXPECT_EQ(BuildRunTasks(jobs, "/out")[0].Output.VideoTag, "avc1");
    EXPECT_EQ(BuildRunTasks(jobs, "/out")[0].Output.VideoPreset, "");

    jobs.SetCell(0, jcSampleRate, "44.1k");
    EXPECT_THROW(BuildRunTasks(jobs, "/out"), Error);
}

TEST(JobRecords, AVcdKeepsTheConstantRateOfItsTarget)
{
    // The VCD formats offer 528 kbps by default, below the disc's fixed
    // 1150 kbit/s: the encoder would refuse the pair.
    catalogue::TJobDefaults d;
    d.Video_TargetType = "vcd";
    d.Video_VideoBitrate = 528000;
    TOutputOptions o;
    FillOutputFromDefaults(d, o);
    EXPECT_EQ(o.TargetType, ttVCD);
    EXPECT_EQ(o.VideoBitrate, -1);
    d.Video_TargetType = "dvd";  // a DVD's rate is a ceiling: the picker's rate applies
    TOutputOptions dvd;
    FillOutputFromDefaults(d, dvd);
    EXPECT_EQ(dvd.VideoBitrate, 528000);

    TJobList jobs;
    TJobRow row;
    row[jcInputFile] = "/in/a.avi";
    row[jcOutputFile] = "a.mpg";
    row[jcVideoBitrate] = "528000";
    row[jcTargetType] = "vcd";
    jobs.Append(row, TInputOptions{}, TOutputOptions{});
    EXPECT_EQ(BuildRunTasks(jobs, "/out")[0].Output.VideoBitrate, -1);
    jobs.SetCell(0, jcTargetType, "svcd");
    EXPECT_EQ(BuildRunTasks(jobs, "/out")[0].Output.VideoBitrate, 528000);
}

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = std::filesystem::path(VEXA_TEST_BINARY_DIR) / "settings-scratch" /
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_ / "home");
        location_ = {(dir_ / "option.ini").string(), (dir_ / "home").string()};
    }
    std::string IniText() const
    {
        std::ifstream in(location_.IniPath);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    void WriteIni(const std::string& text) const { std::ofstream(location_.IniPath) << text; }

    std::filesystem::path dir_;
    TSettingsLocation location_;
};

TEST_F(SettingsTest, FirstStartWritesEveryDefault)
{
    TAppSettings settings(location_);
    const std::string folder = settings.LoadOutputFolder();
    EXPECT_EQ(folder, location_.HomeFolder + "/Vexa视频软件/输出");
    EXPECT_TRUE(platform::DirectoryExists(folder));
    EXPECT_EQ(settings.LoadSkin(), 0);
    EXPECT_EQ(settings.ReadConversionOptions(), TConversionOptions{});
    platform::IniFile ini(location_.IniPath);
    const struct { const char* section; const char* key; std::string value; } expected[] = {
        {"OutPath", "OutPath", folder},       {"Skin", "SetSkin", "0"},
        {"Options", "Thread_Count", "0"},     {"Options", "After_Done", "0"},
        {"Options", "Show_Preview", "0"},     {"Options", "Thread_Priority", "3"},
        {"Options", "Overwrite_File", "1"},
    };
    for (const auto& e : expected)
        EXPECT_EQ(ini.ReadString(e.section, e.key, "Error"), e.value) << e.key;
}

TEST_F(SettingsTest, OptionsWithoutAFileAreWrittenAsDefaults)
{
    TAppSettings settings(location_);
    EXPECT_EQ(settings.ReadConversionOptions(), TConversionOptions{});
    EXPECT_EQ(platform::IniFile(location_.IniPath).ReadString("Options", "Overwrite_File", "Error"), "1");
}

TEST_F(SettingsTest, UnusableValuesAreRepairedAndWrittenBack)
{
    WriteIni("[Skin]\nSetSkin=blue\n[Options]\nAfter_Done=7\nThread_Priority=Error\n"
             "Overwrite_File=\nShow_Preview=2\nThread_Count=12\n");
    TAppSettings settings(location_);
    EXPECT_EQ(settings.LoadSkin(), 0);
    const TConversionOptions o = settings.ReadConversionOptions();
    EXPECT_EQ(o.AfterDone, adOpenFolder);
    EXPECT_EQ(o.ThreadPriority, tpNormal);
    EXPECT_FALSE(o.OverwriteFile);
    EXPECT_FALSE(o.ShowPreview);
    EXPECT_EQ(o.ThreadCount, 12);
    platform::IniFile ini(location_.IniPath);
    EXPECT_EQ(ini.ReadString("Skin", "SetSkin", ""), "0");
    EXPECT_EQ(ini.ReadString("Options", "After_Done", ""), "0");
    EXPECT_EQ(ini.ReadString("Options", "Thread_Priority", ""), "3");
    EXPECT_EQ(ini.ReadString("Options", "Overwrite_File", ""), "1");
    EXPECT_EQ(ini.ReadString("Options", "Show_Preview", ""), "0");
    EXPECT_EQ(ini.ReadString("Options", "Thread_Count", ""), "12");
}

TEST_F(SettingsTest, StoredChoicesAreReadAndWritten)
{
    WriteIni("[Skin]\nSetSkin=5\n[Options]\nAfter_Done=1\nThread_Priority=0\nOverwrite_File=0\n"
             "Show_Preview=1\nThread_Count=0\n");
    TAppSettings settings(location_);
    EXPECT_EQ(settings.LoadSkin(), 5);
    TConversionOptions o = settings.ReadConversionOptions();
    EXPECT_EQ(o.AfterDone, adShutdown);
    EXPECT_EQ(o.ThreadPriority, tpIdle);
    EXPECT_TRUE(o.OverwriteFile);
    EXPECT_TRUE(o.ShowPreview);
    EXPECT_EQ(o.ThreadCount, 1);  // "0" after a first start shows the first entry

    o.AfterDone = adNothing;
    o.ThreadCount = 4;
    o.OverwriteFile = false;
    settings.WriteConversionOptions(o);
    EXPECT_EQ(TAppSettings(location_).ReadConversionOptions(), o);
}

TEST_F(SettingsTest, OutputFolderIsCreatedAndSavedOnlyWhenItExists)
{
    const std::string stored = (dir_ / "deep" / "out").string();
    WriteIni("[OutPath]\nOutPath=" + stored + "\n");
    TAppSettings settings(location_);
    EXPECT_EQ(settings.LoadOutputFolder(), stored);
    EXPECT_TRUE(platform::DirectoryExists(stored));

    EXPECT_FALSE(settings.SaveOutputFolder((dir_ / "missing").string()));
    EXPECT_EQ(settings.Ini().ReadString("OutPath", "OutPath", ""), stored);
    EXPECT_TRUE(settings.SaveOutputFolder(location_.HomeFolder));
    EXPECT_EQ(settings.Ini().ReadString("OutPath", "OutPath", ""), location_.HomeFolder);
}

}  // namespace
}  // namespace vexa::app
