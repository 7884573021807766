// End-to-end conversions of generated clips through the engine component:
// re-encoding, audio only, stream copy, targets, cuts, joins and hooks.
#include "engine_run_support.h"

#include "media_generator.h"
#include "platform/paths.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace vexa;
using namespace vexa::test;

namespace {

class TranscodeTest : public EngineRunTest {
protected:
    // One task, run synchronously; returns its end record.
    TTerminateInfo Convert(const std::string& input, const std::string& output, const TOutputOptions& options,
                           const TInputOptions* inputOptions = nullptr)
    {
        EngineEvents events;
        TFFEngine engine;
        events.Attach(engine);
        const int t = engine.AddTask(Media(input), inputOptions);
        EXPECT_EQ(t, 0) << engine.LastErrMsg();
        EXPECT_TRUE(engine.SetOutputFile(t, output, &options)) << engine.LastErrMsg();
        engine.Start(0);
        const auto ends = events.Terminates();
        EXPECT_EQ(ends.size(), 2u);
        return ends.empty() ? TTerminateInfo{} : ends.front().info;
    }
};

void ExpectNear(int64_t actualUs, double seconds, double tolerance)
{
    EXPECT_NEAR(static_cast<double>(actualUs) / 1e6, seconds, tolerance);
}

TEST_F(TranscodeTest, ReencodeVideoAndAudio)
{
    const std::string out = ScratchDir("reencode") + "/out.avi";
    TOutputOptions o = AviOptions();
    o.FrameSize = "160x120";
    o.FrameRate = "15";
    o.AudioSampleRate = 22050;
    o.AudioChannels = 1;
    ExpectClean(Convert("av.mp4", out, o));
    const OutputFacts f = ReadOutput(out);
    ASSERT_TRUE(f.opened);
    EXPECT_EQ(f.videoStreams, 1);
    EXPECT_EQ(f.audioStreams, 1);
    EXPECT_EQ(f.videoCodec.rfind("mpeg4", 0), 0u) << f.videoCodec;
    EXPECT_EQ(f.audioCodec.rfind("mp3", 0), 0u) << f.audioCodec;
    EXPECT_EQ(f.width, 160);
    EXPECT_EQ(f.height, 120);
    EXPECT_EQ(f.sampleRate, 22050);
    EXPECT_EQ(f.channels, 1);
    ExpectNear(f.duration, 2.0, 0.15);
}

TEST_F(TranscodeTest, AudioOnlyToMp3)
{
    const std::string out = ScratchDir("mp3") + "/out.mp3";
    TOutputOptions o;
    o.AudioBitrate = 64000;
    ExpectClean(Convert("audio.wav", out, o));
    const OutputFacts f = ReadOutput(out);
    ASSERT_TRUE(f.opened);
    EXPECT_EQ(f.videoStreams, 0);
    EXPECT_EQ(f.audioStreams, 1);
    EXPECT_EQ(f.audioCodec.rfind("mp3", 0), 0u) << f.audioCodec;
    ExpectNear(f.duration, 2.0, 0.1);
}

TEST_F(TranscodeTest, StreamCopyKeepsTheCodecs)
{
    const std::string out = ScratchDir("copy") + "/out.mkv";
    TOutputOptions o;
    o.VideoCodec = "copy";
    o.AudioCodec = "copy";
    ExpectClean(Convert("av.mp4", out, o));
    const OutputFacts f = ReadOutput(out);
    ASSERT_TRUE(f.opened);
    EXPECT_EQ(f.videoCodec.rfind("h264", 0), 0u) << f.videoCodec;
    EXPECT_EQ(f.audioCodec.rfind("aac", 0), 0u) << f.audioCodec;
    EXPECT_EQ(f.width, 320);
    ExpectNear(f.duration, 2.0, 0.15);
}

TEST_F(TranscodeTest, DvdTargetOutput)
{
    const std::string out = ScratchDir("dvd") + "/out.mpg";
    TOutputOptions o;
    o.TargetType = ttDVD;
    o.NormType = ntPAL;
    ExpectClean(Convert("av.mp4", out, o));
    const OutputFacts f = ReadOutput(out);
    ASSERT_TRUE(f.opened);
    EXPECT_EQ(f.videoCodec.rfind("mpeg2video", 0), 0u) << f.videoCodec;
    EXPECT_EQ(f.audioCodec.rfind("ac3", 0), 0u) << f.audioCodec;
    EXPECT_EQ(f.width, 720);
    EXPECT_EQ(f.height, 576);
    EXPECT_EQ(f.sampleRate, 48000);
    ExpectNear(f.duration, 2.0, 0.25);
}

TEST_F(TranscodeTest, LengthAndStartCutTheOutput)
{
    const std::string dir = ScratchDir("cuts");
    // "t" as a record field and as an option text.
    TOutputOptions length = AviOptions();
    length.TimeLength = 1000000;
    ExpectClean(Convert("long.avi", dir + "/t.avi", length));
    ExpectNear(ReadOutput(dir + "/t.avi").duration, 1.0, 0.15);

    TOutputOptions lengthText = AviOptions();
    lengthText.ExtOptions = "t=1.5";
    ExpectClean(Convert("long.avi", dir + "/t-text.avi", lengthText));
    ExpectNear(ReadOutput(dir + "/t-text.avi").duration, 1.5, 0.15);

    // "ss" on the output drops what comes before it.
    TOutputOptions outputStart = AviOptions();
    outputStart.TimeStart = 4500000;
    ExpectClean(Convert("long.avi", dir + "/out-ss.avi", outputStart));
    ExpectNear(ReadOutput(dir + "/out-ss.avi").duration, 1.5, 0.15);

    // "ss" on the input seeks; the rest of the clip is converted.
    TInputOptions start;
    start.TimeStart = 4000000;
    ExpectClean(Convert("long.avi", dir + "/ss.avi", AviOptions(), &start));
    ExpectNear(ReadOutput(dir + "/ss.avi").duration, 2.0, 0.3);
}

TEST_F(TranscodeTest, ThreeInputsJoinedContinueTheirTimeStamps)
{
    const std::string out = ScratchDir("join") + "/joined.avi";
    EngineEvents events;
    TFFEngine engine;
    events.Attach(engine);
    const int t = engine.AddTask(Media("av.avi"), static_cast<const TInputOptions*>(nullptr));
    ASSERT_EQ(t, 0) << engine.LastErrMsg();
    ASSERT_TRUE(engine.AddInputFile(t, Media("long.avi"))) << engine.LastErrMsg();
    ASSERT_TRUE(engine.AddInputFile(t, Media("av.avi"))) << engine.LastErrMsg();
    TOutputOptions o = AviOptions();
    o.Join = true;
    ASSERT_TRUE(engine.SetOutputFile(t, out, &o)) << engine.LastErrMsg();
    engine.SetProgressInterval(100);
    engine.Start(1);
    ASSERT_TRUE(events.WaitForEnd());
    const auto ends = events.Terminates();
    ASSERT_EQ(ends.size(), 2u);
    ExpectClean(ends[0].info);

    const auto progress = events.Progress();
    ASSERT_FALSE(progress.empty());
    ExpectNear(progress.back().TotalDuration, 10.0, 0.2);
    ExpectNear(progress.back().CurrentDuration, 10.0, 0.3);

    const OutputFacts f = ReadOutput(out);
    ASSERT_TRUE(f.opened);
    ExpectNear(f.duration, 10.0, 0.3);
    // A picture from the middle segment sits after the first segment's end.
    platform::Bitmap picture;
    EXPECT_TRUE(PictureAt(out, 5000000, picture));
}

// Mean of the red, green and blue channels over a picture.
void MeanColour(const platform::Bitmap& b, double& r, double& g, double& bl)
{
    double sr = 0, sg = 0, sb = 0;
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x) {
            uint8_t pr, pg, pb;
            b.GetPixel(x, y, pr, pg, pb);
            sr += pr;
            sg += pg;
            sb += pb;
        }
    const double n = static_cast<double>(b.Width()) * b.Height();
    r = sr / n;
    g = sg / n;
    bl = sb / n;
}

TEST_F(TranscodeTest, CustomHookChangesPixels)
{
    const std::string out = ScratchDir("custom-hook") + "/hooked.avi";
    EngineEvents events;
    TFFEngine engine;
    events.Attach(engine);
    int calls = 0;
    engine.OnCustomHook = [&](TCustomFFEngine*, THookInfo& info) {
        ++calls;
        info.Bitmap->Fill(0, 255, 0);
        info.Update = true;
    };
    const int t = engine.AddTask(Media("colour.avi"), static_cast<const TInputOptions*>(nullptr));
    TOutputOptions o = AviOptions();
    o.CustomHook = true;
    ASSERT_TRUE(engine.SetOutputFile(t, out, &o)) << engine.LastErrMsg();
    engine.Start(0);
    ExpectClean(events.Terminates().at(0).info);
    EXPECT_GT(calls, 0);
    platform::Bitmap picture;
    ASSERT_TRUE(PictureAt(out, 0, picture));
    double r, g, b;
    MeanColour(picture, r, g, b);
    EXPECT_GT(g, 200);
    EXPECT_LT(r, 50);
    EXPECT_LT(b, 50);
}

TEST_F(TranscodeTest, FrameHookModuleRunsOnEveryPicture)
{
    const std::string dir = ScratchDir("frame-hook");
    TOutputOptions plain = AviOptions();
    ExpectClean(Convert("colour.avi", dir + "/plain.avi", plain));
    TOutputOptions hooked = AviOptions();
    hooked.ExtOptions = std::string("vhook=") + VEXA_HOOK_INVERT;
    ExpectClean(Convert("colour.avi", dir + "/hooked.avi", hooked));
    platform::Bitmap a, b;
    ASSERT_TRUE(PictureAt(dir + "/plain.avi", 0, a));
    ASSERT_TRUE(PictureAt(dir + "/hooked.avi", 0, b));
    // The module inverts the brightness: the dark blue and red halves turn light.
    double ar, ag, ab, br, bg, bb;
    MeanColour(a, ar, ag, ab);
    MeanColour(b, br, bg, bb);
    EXPECT_GT(br + bg + bb, ar + ag + ab + 200);
}

}  // namespace

namespace {

// Options that take the loop down its other roads; each row checks what
// its road must produce.
struct LoopCase {
    const char* name;
    const char* extOptions;
    const char* output;
    std::function<void(const std::string& path, const OutputFacts&)> check;
    // Sync methods are record fields that always reach the task, after the
    // option lines.
    int videoSync = -1;
    int audioSync = 0;
    // Option lines of the input.
    const char* inputOptions = "";
};

class LoopOptionTest : public EngineRunTest, public ::testing::WithParamInterface<LoopCase> {};

TEST_P(LoopOptionTest, ConvertsAndDoesWhatTheOptionSays)
{
    const LoopCase& c = GetParam();
    const std::string dir = ScratchDir(std::string("loop-") + c.name);
    const std::string out = dir + "/" + c.output;
    EngineEvents events;
    TFFEngine engine;
    events.Attach(engine);
    const int t = engine.AddTask(Media("av.avi"), std::string(c.inputOptions));
    ASSERT_EQ(t, 0) << engine.LastErrMsg();
    TOutputOptions o = AviOptions();
    o.ExtOptions = std::string(c.extOptions);
    o.VideoSyncMethod = c.videoSync;
    o.AudioSyncMethod = c.audioSync;
    const std::string cwd = std::filesystem::current_path().string();
    std::filesystem::current_path(dir);
    ASSERT_TRUE(engine.SetOutputFile(t, out, &o)) << engine.LastErrMsg();
    engine.Start(0);
    std::filesystem::current_path(cwd);
    const TTerminateInfo end = events.Terminates().at(0).info;
    EXPECT_TRUE(end.Finished);
    EXPECT_FALSE(end.Exception) << end.ExceptionMsg;
    const OutputFacts f = ReadOutput(out);
    ASSERT_TRUE(f.opened);
    c.check(out, f);
}

void Seconds(const OutputFacts& f, double s, double tolerance = 0.15)
{
    EXPECT_NEAR(static_cast<double>(f.duration) / 1e6, s, tolerance);
}

int64_t Pictures(const std::string& path)
{
    return CountDecoded(path).videoFrames;
}

// How far the odd lines of a picture are from the mean of the lines around
// them; a deinterlacer that rebuilds one field from the other leaves none.
double OddLineError(const platform::Bitmap& b)
{
    double sum = 0;
    int n = 0;
    for (int y = 1; y + 1 < b.Height(); y += 2)
        for (int x = 0; x < b.Width(); ++x) {
            uint8_t r0, g0, b0, r1, g1, b1, r2, g2, b2;
            b.GetPixel(x, y - 1, r0, g0, b0);
            b.GetPixel(x, y, r1, g1, b1);
            b.GetPixel(x, y + 1, r2, g2, b2);
            sum += std::abs(2 * r1 - r0 - r2) + std::abs(2 * g1 - g0 - g2) + std::abs(2 * b1 - b0 - b2);
            ++n;
        }
    return sum / (2.0 * n);
}

// av.avi: 50 pictures at 25/s and 2 s of sound.
const LoopCase kLoopCases[] = {
    {"frames", "vframes=10", "v.avi",
     [](const std::string& path, const OutputFacts& f) {
         EXPECT_EQ(Pictures(path), 10);
         Seconds(f, 0.4, 0.1);
     }},
    {"crop", "croptop=40\ncropbottom=40", "c.avi",
     [](const std::string&, const OutputFacts& f) { EXPECT_EQ(f.height, 160); }},
    {"crop-and-size", "cropleft=80\ns=96x64", "cs.avi",
     [](const std::string&, const OutputFacts& f) {
         EXPECT_EQ(f.width, 96);
         EXPECT_EQ(f.height, 64);
     }},
    {"filters", "vf=scale=200:100,hflip", "f.avi",
     [](const std::string&, const OutputFacts& f) {
         EXPECT_EQ(f.width, 200);
         EXPECT_EQ(f.height, 100);
         Seconds(f, 2.0);
     }},
    {"deinterlace", "deinterlace=\nqscale=2", "d.avi",
     [](const std::string& path, const OutputFacts& f) {
         platform::Bitmap source, blended;
         ASSERT_TRUE(PictureAt(Media("av.avi"), 0, source));
         ASSERT_TRUE(PictureAt(path, 0, blended));
         EXPECT_LT(OddLineError(blended), 0.8 * OddLineError(source));
         Seconds(f, 2.0);
     }},
    {"audio-sync", "ar=22050", "a.avi",
     [](const std::string&, const OutputFacts& f) {
         EXPECT_EQ(f.sampleRate, 22050);
         Seconds(f, 2.0);
     },
     -1, 1},
    // Half the volume, with the resampler compensating drift on the way.
    {"audio-compensation", "vol=128", "ac.avi",
     [](const std::string& path, const OutputFacts& f) {
         const double source = CountDecoded(Media("av.avi")).audioRms;
         ASSERT_GT(source, 0.01);
         EXPECT_NEAR(CountDecoded(path).audioRms / source, 0.5, 0.05);
         Seconds(f, 2.0);
     },
     -1, 100},
    {"passthrough-sync", "", "p.avi",
     [](const std::string& path, const OutputFacts& f) {
         EXPECT_EQ(Pictures(path), 50);
         Seconds(f, 2.0);
     },
     0},
    // 10 pictures a second kept of 25: the others are dropped.
    {"dropping-sync", "r=10", "dr.avi",
     [](const std::string& path, const OutputFacts& f) {
         EXPECT_NEAR(static_cast<double>(Pictures(path)), 20, 1);
         Seconds(f, 2.0, 0.25);
     },
     2},
    // 50 a second from 25: every picture twice.
    {"duplicating-sync", "r=50", "du.avi",
     [](const std::string& path, const OutputFacts& f) {
         EXPECT_NEAR(static_cast<double>(Pictures(path)), 100, 1);
         Seconds(f, 2.0);
     },
     1},
    {"size-limit", "fs=20000", "s.avi",
     [](const std::string& path, const OutputFacts&) {
         EXPECT_LT(std::filesystem::file_size(path), 60000u);
     }},
    {"vstats", "vstats_file=stats.log", "vs.avi",
     [](const std::string& path, const OutputFacts&) {
         const auto stats = std::filesystem::path(path).parent_path() / "stats.log";
         ASSERT_TRUE(std::filesystem::exists(stats));
         EXPECT_GT(std::filesystem::file_size(stats), 50u * 40u);
     }},
    {"pass1", "pass=1\npasslogfile=two", "p1.avi",
     [](const std::string& path, const OutputFacts&) {
         const auto log = std::filesystem::path(path).parent_path() / "two-0.log";
         ASSERT_TRUE(std::filesystem::exists(log));
         EXPECT_GT(std::filesystem::file_size(log), 0u);
     }},
    // Every picture goes through the filter and out of it.
    {"bitstream-filter", "vbsf=mpeg4_unpack_bframes", "b.avi",
     [](const std::string& path, const OutputFacts& f) {
         EXPECT_EQ(Pictures(path), 50);
         Seconds(f, 2.0);
     }},
    // The input's pictures start a second late; the first one fills the gap.
    {"offset", "", "o.avi",
     [](const std::string& path, const OutputFacts& f) {
         EXPECT_NEAR(static_cast<double>(Pictures(path)), 75, 1);
         Seconds(f, 3.0);
     },
     -1, 0, "itsoffset=1"},
};

INSTANTIATE_TEST_SUITE_P(Loop, LoopOptionTest, ::testing::ValuesIn(kLoopCases),
                         [](const ::testing::TestParamInfo<LoopCase>& i) {
                             std::string n = i.param.name;
                             for (char& ch : n)
                                 if (ch == '-')
                                     ch = '_';
                             return n;
                         });

}  // namespace

namespace {

TEST_F(TranscodeTest, TextSubtitlesAreReencoded)
{
    const std::string out = ScratchDir("subtitles") + "/out.mkv";
    TOutputOptions o;
    o.VideoCodec = "mpeg4";
    o.AudioCodec = "libvorbis";
    ExpectClean(Convert("rich.mkv", out, o));
    TAVProbe probe;
    ASSERT_TRUE(probe.LoadFile(out));
    EXPECT_EQ(probe.SubtitleStreamCount(), 1);
    EXPECT_EQ(probe.VideoStreamCount(), 1);
}

}  // namespace

namespace {

// Program streams can be joined byte by byte; the picture size then changes
// in the middle of one input stream, and the scaler is made again.
TEST_F(TranscodeTest, PictureSizeChangeMidStream)
{
    const std::string dir = ScratchDir("size-change");
    testmedia::ClipSpec big;
    big.path = dir + "/big.mpg";
    big.videoCodec = "mpeg2video";
    big.seconds = 1.0;
    testmedia::ClipSpec small = big;
    small.path = dir + "/small.mpg";
    small.width = 160;
    small.height = 120;
    testmedia::MakeClip(big);
    testmedia::MakeClip(small);
    {
        std::ofstream joined(dir + "/both.mpg", std::ios::binary);
        for (const std::string& part : {big.path, small.path}) {
            std::ifstream in(part, std::ios::binary);
            joined << in.rdbuf();
        }
    }
    LogCapture log;
    EngineEvents events;
    TFFEngine engine;
    events.Attach(engine);
    const int t = engine.AddTask(dir + "/both.mpg", static_cast<const TInputOptions*>(nullptr));
    ASSERT_EQ(t, 0) << engine.LastErrMsg();
    TOutputOptions o;
    o.VideoCodec = "mpeg4";
    o.CropTop = 20;
    ASSERT_TRUE(engine.SetOutputFile(t, dir + "/out.avi", &o)) << engine.LastErrMsg();
    engine.Start(0);
    ExpectClean(events.Terminates().at(0).info);
    EXPECT_TRUE(log.Contains("Input Stream #0.0 frame size changed to 160x120, yuv420p"));
    const OutputFacts f = ReadOutput(dir + "/out.avi");
    EXPECT_EQ(f.width, 320);
    EXPECT_EQ(f.height, 220);
    ExpectNear(f.duration, 2.0, 0.2);
}

}  // namespace
