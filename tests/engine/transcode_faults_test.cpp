// What a conversion must never do: lose the pictures and samples that
// filters hold back, fail on a layout the encoder cannot take, share its
// two-pass statistics, report success for a file that is incomplete or
// empty, or end the process on a damaged input.
#include "engine_run_support.h"

#include "media/av_ptr.h"
#include "media_generator.h"
#include "platform/paths.h"

#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

using namespace vexa;
using namespace vexa::test;

namespace {

class TranscodeFaultTest : public EngineRunTest {
protected:
    // One task from its inputs (joined when there are several), run on this
    // thread; returns its end record.
    static TTerminateInfo Run(const std::vector<std::string>& inputs, const std::string& output,
                              const TOutputOptions& options, const TInputOptions* inputOptions = nullptr)
    {
        EngineEvents events;
        TFFEngine engine;
        events.Attach(engine);
        const int t = engine.AddTask(inputs.at(0), inputOptions);
        EXPECT_EQ(t, 0) << engine.LastErrMsg();
        for (size_t i = 1; i < inputs.size(); ++i)
            EXPECT_TRUE(engine.AddInputFile(t, inputs[i])) << engine.LastErrMsg();
        EXPECT_TRUE(engine.SetOutputFile(t, output, &options)) << engine.LastErrMsg();
        engine.Start(0);
        const auto ends = events.Terminates();
        EXPECT_EQ(ends.size(), 2u);
        return ends.empty() ? TTerminateInfo{} : ends.front().info;
    }
};

// Mean of the red and of the blue channel over a picture.
void MeanRedBlue(const platform::Bitmap& b, double& red, double& blue)
{
    double r = 0, bl = 0;
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x) {
            uint8_t pr, pg, pb;
            b.GetPixel(x, y, pr, pg, pb);
            r += pr;
            bl += pb;
        }
    const double n = static_cast<double>(b.Width()) * b.Height();
    red = r / n;
    blue = bl / n;
}

// ---- everything held back comes out ----

struct DrainCase {
    const char* name;
    std::vector<std::string> inputs;
    const char* output;
    const char* extOptions;
    bool join;
    int64_t videoFrames;   // -1: not checked
    int64_t audioSamples;  // -1: not checked
};

void PrintTo(const DrainCase& c, std::ostream* os)
{
    *os << c.name;
}

class DrainTest : public TranscodeFaultTest, public ::testing::WithParamInterface<DrainCase> {};

// video.avi and av.avi hold 50 pictures (2 s at 25/s); audio.wav holds
// 88200 samples (2 s at 44.1 kHz).
TEST_P(DrainTest, EveryPictureAndSampleReachesTheFile)
{
    const DrainCase& c = GetParam();
    const std::string out = ScratchDir(std::string("drain-") + c.name) + "/" + c.output;
    std::vector<std::string> inputs;
    for (const std::string& in : c.inputs)
        inputs.push_back(Media(in));
    TOutputOptions o;
    o.Join = c.join;
    o.ExtOptions = c.extOptions;
    ExpectClean(Run(inputs, out, o));
    const DecodedCounts n = CountDecoded(out);
    ASSERT_TRUE(n.opened);
    if (c.videoFrames >= 0) {
        EXPECT_EQ(n.videoFrames, c.videoFrames);
    }
    if (c.audioSamples >= 0) {
        EXPECT_EQ(n.audioSamples, c.audioSamples);
    }
}

const DrainCase kDrainCases[] = {
    // The deinterlacer looks one picture ahead; the last one comes at the end.
    {"yadif", {"video.avi"}, "y.avi", "vcodec=mpeg4\nvf=yadif", false, 50, -1},
    // "reverse" gives nothing before it knows the last picture.
    {"reverse", {"video.avi"}, "r.avi", "vcodec=mpeg4\nvf=reverse", false, 50, -1},
    // Chunks of 1000 samples: the last 200 are held until the end, then padded.
    {"rechunk", {"audio.wav"}, "c.wav", "acodec=pcm_s16le\nabsf=pcm_rechunk=n=1000", false, -1, 89000},
    // Each join segment has its own graph; each must give its last pictures.
    {"join-yadif", {"video.avi", "video.avi"}, "jy.avi", "vcodec=mpeg4\nvf=yadif", true, 100, -1},
    {"join-reverse", {"video.avi", "video.avi", "video.avi"}, "jr.avi", "vcodec=mpeg4\nvf=reverse", true, 150, -1},
};

INSTANTIATE_TEST_SUITE_P(Filters, DrainTest, ::testing::ValuesIn(kDrainCases),
                         [](const ::testing::TestParamInfo<DrainCase>& i) {
                             std::string n = i.param.name;
                             for (char& ch : n)
                                 if (ch == '-')
                                     ch = '_';
                             return n;
                         });

TEST_F(TranscodeFaultTest, ReversedClipStartsWithTheLastPicture)
{
    const std::string dir = ScratchDir("reverse-order");
    // Red for 1.5 s, then blue.
    testmedia::ClipSpec clip;
    clip.path = dir + "/red-blue.avi";
    clip.videoCodec = "mpeg4";
    clip.videoSource = "color=c=red";
    clip.videoFilters = "drawbox=x=0:y=0:w=iw:h=ih:color=blue:t=fill:enable='gte(t,1.5)'";
    testmedia::MakeClip(clip);
    TOutputOptions o;
    o.ExtOptions = "vcodec=mpeg4\nvf=reverse";
    ExpectClean(Run({clip.path}, dir + "/reversed.avi", o));
    platform::Bitmap first;
    ASSERT_TRUE(PictureAt(dir + "/reversed.avi", 0, first));
    double red = 0, blue = 0;
    MeanRedBlue(first, red, blue);
    EXPECT_GT(blue, 150);
    EXPECT_LT(red, 100);
}

// ---- layouts and rates the encoder cannot take ----

TEST_F(TranscodeFaultTest, SurroundSourceIsMixedDownForTwoChannelEncoders)
{
    const std::string dir = ScratchDir("downmix");
    struct Source {
        const char* name;
        int rate;
    };
    for (const Source src : {Source{"surround48.wav", 48000}, Source{"surround96.wav", 96000}}) {
        testmedia::ClipSpec surround;
        surround.path = dir + "/" + src.name;
        surround.audioCodec = "pcm_s16le";
        surround.channels = 6;
        surround.sampleRate = src.rate;
        testmedia::MakeClip(surround);
        ASSERT_EQ(ReadOutput(surround.path).channels, 6);

        const std::string out = dir + "/" + src.name + ".mp2";
        LogCapture log;
        TOutputOptions o;
        o.AudioCodec = "mp2";
        o.AudioBitrate = 224000;
        ExpectClean(Run({surround.path}, out, o));
        EXPECT_TRUE(log.Contains("Channel layout 5.1 unsupported by encoder mp2, using stereo")) << src.name;
        const OutputFacts f = ReadOutput(out);
        ASSERT_TRUE(f.opened) << src.name;
        EXPECT_EQ(f.channels, 2);
        EXPECT_EQ(f.sampleRate, 48000);
        EXPECT_NEAR(static_cast<double>(f.duration) / 1e6, 2.0, 0.1);
    }
}

// ---- two passes ----

// Two tasks converting at once, each in two passes: neither writes its
// statistics into the current folder, and each second pass reads its own.
TEST_F(TranscodeFaultTest, TwoPassTasksKeepTheirOwnStatistics)
{
    const std::string dir = ScratchDir("two-pass");
    const std::string cwd = std::filesystem::current_path().string();
    std::filesystem::create_directories(dir + "/cwd");
    std::filesystem::current_path(dir + "/cwd");
    struct Job {
        const char* input;
        const char* output;
        const char* codec;
    };
    const Job jobs[] = {{"av.avi", "/short.mp4", "libx264"}, {"long.avi", "/long.mp4", "libx264"},
                        {"av.avi", "/short.avi", "mpeg4"}};
    for (const int pass : {1, 2}) {
        EngineEvents events;
        TFFEngine engine;
        events.Attach(engine);
        for (const Job& j : jobs) {
            const int t = engine.AddTask(Media(j.input), static_cast<const TInputOptions*>(nullptr));
            ASSERT_GE(t, 0) << engine.LastErrMsg();
            TOutputOptions o;
            o.VideoCodec = j.codec;
            o.VideoBitrate = 200000;
            o.DisableAudio = true;
            o.ExtOptions = "pass=" + std::to_string(pass);
            ASSERT_TRUE(engine.SetOutputFile(t, dir + j.output, &o)) << engine.LastErrMsg();
        }
        engine.Start(3);
        ASSERT_TRUE(events.WaitForEnd());
        for (const TerminateRecord& r : events.Terminates())
            ExpectClean(r.info);
        engine.ClearTasks();
    }
    std::filesystem::current_path(cwd);
    EXPECT_TRUE(std::filesystem::is_empty(dir + "/cwd"));
    EXPECT_NEAR(static_cast<double>(ReadOutput(dir + "/long.mp4").duration) / 1e6, 6.0, 0.2);
    EXPECT_NEAR(static_cast<double>(ReadOutput(dir + "/short.mp4").duration) / 1e6, 2.0, 0.2);
    EXPECT_NEAR(static_cast<double>(ReadOutput(dir + "/short.avi").duration) / 1e6, 2.0, 0.2);
}

// ---- joins ----

// A copy of `from` whose sound stops at `seconds` while its picture goes on.
void CopyWithShorterSound(const std::string& from, const std::string& to, double seconds)
{
    AVFormatContext* raw = nullptr;
    ASSERT_GE(OpenInputFile(&raw, EncodeLibFileName(from), nullptr, nullptr), 0);
    InputContextPtr ic(raw);
    ASSERT_GE(FindStreamInfo(ic.get(), nullptr), 0);
    AVFormatContext* rawOut = nullptr;
    ASSERT_GE(AV.avformat_alloc_output_context2(&rawOut, nullptr, nullptr, EncodeLibFileName(to).c_str()), 0);
    OutputContextPtr oc(rawOut);
    for (unsigned i = 0; i < ic->nb_streams; ++i) {
        AVStream* st = AV.avformat_new_stream(oc.get(), nullptr);
        ASSERT_NE(st, nullptr);
        ASSERT_GE(AV.avcodec_parameters_copy(st->codecpar, ic->streams[i]->codecpar), 0);
        st->time_base = ic->streams[i]->time_base;
    }
    ASSERT_GE(OpenOutputIO(oc.get(), EncodeLibFileName(to)), 0);
    ASSERT_GE(AV.avformat_write_header(oc.get(), nullptr), 0);
    PacketPtr pkt(AV.av_packet_alloc());
    while (AV.av_read_frame(ic.get(), pkt.get()) >= 0) {
        const AVStream* in = ic->streams[pkt->stream_index];
        const int64_t at = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
        const bool late = in->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && at != AV_NOPTS_VALUE &&
                          static_cast<double>(at) * av_q2d(in->time_base) >= seconds;
        if (!late) {
            AV.av_packet_rescale_ts(pkt.get(), in->time_base, oc->streams[pkt->stream_index]->time_base);
            ASSERT_GE(AV.av_interleaved_write_frame(oc.get(), pkt.get()), 0);
        }
        AV.av_packet_unref(pkt.get());
    }
    ASSERT_GE(AV.av_write_trailer(oc.get()), 0);
    ASSERT_EQ(CloseOutputIO(oc.get()), 0);
}

// AVI sound carries no time stamps: a segment whose sound ends before its
// picture must be followed by silence, or every later segment sounds early.
TEST_F(TranscodeFaultTest, JoinKeepsTheSoundOfLaterSegmentsInPlace)
{
    const std::string dir = ScratchDir("join-sound");
    CopyWithShorterSound(Media("av.avi"), dir + "/short-sound.avi", 1.5);
    const DecodedCounts shortSound = CountDecoded(dir + "/short-sound.avi");
    ASSERT_TRUE(shortSound.opened);
    ASSERT_GT(shortSound.sampleRate, 0);
    ASSERT_NEAR(static_cast<double>(shortSound.audioSamples) / shortSound.sampleRate, 1.5, 0.1);

    TOutputOptions o = AviOptions();
    o.Join = true;
    ExpectClean(Run({dir + "/short-sound.avi", Media("av.avi")}, dir + "/joined.avi", o));
    const DecodedCounts joined = CountDecoded(dir + "/joined.avi");
    ASSERT_TRUE(joined.opened);
    ASSERT_GT(joined.sampleRate, 0);
    // 2 s of picture, then the second segment: its sound starts at 2 s, not 1.5 s.
    EXPECT_NEAR(static_cast<double>(joined.audioSamples) / joined.sampleRate, 4.0, 0.1);
}

// ---- failures reported as such ----

// The output's file may not grow past `limit` bytes; the write beyond it
// fails (the signal that would end the process is ignored). Runs in a child
// process so the limit stays there.
[[noreturn]] void ConvertUnderSizeLimit(const std::string& out, rlim_t limit)
{
    const rlimit lim{limit, limit};
    ::setrlimit(RLIMIT_FSIZE, &lim);
    std::signal(SIGXFSZ, SIG_IGN);
    EngineEvents events;
    TFFEngine engine;
    events.Attach(engine);
    const int t = engine.AddTask(Media("long.avi"), static_cast<const TInputOptions*>(nullptr));
    const TOutputOptions o = AviOptions();
    if (t != 0 || !engine.SetOutputFile(t, out, &o))
        std::_Exit(9);
    engine.Start(0);
    const TTerminateInfo end = events.Terminates().at(0).info;
    std::fprintf(stderr, "finished=%d exception=%d message=%s\n", end.Finished, end.Exception,
                 end.ExceptionMsg.c_str());
    std::_Exit(end.Exception && !end.Finished ? 3 : 0);
}

TEST_F(TranscodeFaultTest, FullDiskEndsTheTaskAsFailed)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string dir = ScratchDir("full-disk");
    // The complete file's size, so that only its last bytes do not fit.
    ExpectClean(Run({Media("long.avi")}, dir + "/whole.avi", AviOptions()));
    const auto whole = static_cast<rlim_t>(std::filesystem::file_size(dir + "/whole.avi"));
    ASSERT_GT(whole, 100000u);
    // Full in the middle of the conversion, and full only when the trailer
    // and the last buffered bytes are written.
    EXPECT_EXIT(ConvertUnderSizeLimit(dir + "/middle.avi", 50000), ::testing::ExitedWithCode(3),
                "exception=1 message=av_interleaved_write_frame\\(\\): Error number -27 occurred");
    EXPECT_EXIT(ConvertUnderSizeLimit(dir + "/end.avi", whole - 1), ::testing::ExitedWithCode(3),
                "exception=1 message=.*Error number -27 occurred");
}

TEST_F(TranscodeFaultTest, ConversionWithoutAnyFrameFailsAndLeavesNoFile)
{
    const std::string dir = ScratchDir("no-frame");
    struct Case {
        const char* name;
        int64_t inputStart;   // microseconds; -1: none
        const char* extOptions;
    };
    const Case cases[] = {
        {"start-past-end", 10000000, ""},
        {"output-start-past-end", -1, "ss=10"},
        {"negative-length", -1, "t=-5"},
    };
    for (const Case& c : cases) {
        const std::string out = dir + "/" + c.name + ".avi";
        TInputOptions in;
        if (c.inputStart >= 0)
            in.TimeStart = c.inputStart;
        TOutputOptions o = AviOptions();
        o.ExtOptions = c.extOptions;
        const TTerminateInfo end = Run({Media("av.avi")}, out, o, &in);
        EXPECT_TRUE(end.Exception) << c.name;
        EXPECT_FALSE(end.Finished) << c.name;
        EXPECT_EQ(end.ExceptionMsg, "No frame was converted: the start time or the length leaves nothing of the input")
            << c.name;
        EXPECT_FALSE(std::filesystem::exists(out)) << c.name;
    }
}

// A cut-off download converts what it holds; the end record tells how far
// it got of what its header declared.
TEST_F(TranscodeFaultTest, InputEndingEarlyIsToldInTheEndRecord)
{
    const std::string dir = ScratchDir("ended-early");
    // Matroska declares its length in its header.
    testmedia::ClipSpec clip;
    clip.path = dir + "/whole.mkv";
    clip.videoCodec = "mpeg4";
    clip.audioCodec = "libvorbis";
    clip.seconds = 6.0;
    testmedia::MakeClip(clip);
    testmedia::Truncate(clip.path, dir + "/cut.mkv", 0.5);
    const TTerminateInfo cut = Run({dir + "/cut.mkv"}, dir + "/cut-out.avi", AviOptions());
    ExpectClean(cut);
    EXPECT_NEAR(static_cast<double>(cut.InputDeclared) / 1e6, 6.0, 0.1);
    EXPECT_GT(cut.InputReached, 1000000);
    EXPECT_LT(cut.InputReached, 4500000);
    EXPECT_NEAR(static_cast<double>(ReadOutput(dir + "/cut-out.avi").duration),
                static_cast<double>(cut.InputReached), 300000);

    const TTerminateInfo whole = Run({clip.path}, dir + "/whole.avi", AviOptions());
    ExpectClean(whole);
    EXPECT_EQ(whole.InputReached, -1);
    EXPECT_EQ(whole.InputDeclared, -1);

    // A length that asks for less is no early end.
    TOutputOptions length = AviOptions();
    length.TimeLength = 2000000;
    const TTerminateInfo part = Run({clip.path}, dir + "/part.avi", length);
    ExpectClean(part);
    EXPECT_EQ(part.InputDeclared, -1);
}

// ---- damaged input ----

// A Matroska file cut before its first cluster: the tracks are declared,
// no picture was ever seen.
TEST_F(TranscodeFaultTest, HeaderOnlyMatroskaFailsWithAMessage)
{
    const std::string dir = ScratchDir("header-only");
    std::ifstream in(Media("av.mkv"), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t cluster = bytes.find("\x1F\x43\xB6\x75");
    ASSERT_NE(cluster, std::string::npos);
    const std::string cut = dir + "/header.mkv";
    std::ofstream(cut, std::ios::binary) << bytes.substr(0, cluster);

    EngineEvents events;
    TFFEngine engine;
    events.Attach(engine);
    const int t = engine.AddTask(cut, static_cast<const TInputOptions*>(nullptr));
    if (t < 0) {
        // The probe's own refusal is as good.
        EXPECT_FALSE(engine.LastErrMsg().empty());
        return;
    }
    TOutputOptions o = AviOptions();
    if (!engine.SetOutputFile(t, dir + "/out.avi", &o)) {
        EXPECT_FALSE(engine.LastErrMsg().empty());
        return;
    }
    engine.Start(0);
    const TTerminateInfo end = events.Terminates().at(0).info;
    EXPECT_TRUE(end.Exception);
    EXPECT_EQ(end.ExceptionMsg, "Video pixel format is unknown, stream cannot be encoded");
    EXPECT_FALSE(std::filesystem::exists(dir + "/out.avi"));
}

}  // namespace
