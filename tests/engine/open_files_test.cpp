// Opening inputs and outputs: the state they take over and their failures.
#include "engine_test_support.h"

#include "media/unicode_protocol.h"
#include "media_generator.h"
#include "platform/paths.h"

#include <filesystem>
#include <fstream>

using namespace vexa;
using namespace vexa::test;

namespace {

class OpenInputTest : public EngineTest {};

TEST_F(OpenInputTest, InputSetsTheFrameAndSampleState)
{
    TCustomFFmpeg t;
    ASSERT_TRUE(t.OpenInput(Media("av.mp4"))) << t.LastErrMsg();
    EXPECT_EQ(t.nb_input_files(), 1);
    EXPECT_EQ(t.frame_width, 320);
    EXPECT_EQ(t.frame_height, 240);
    EXPECT_EQ(t.frame_rate.num, 25);
    EXPECT_EQ(t.frame_rate.den, 1);
    EXPECT_FLOAT_EQ(t.frame_aspect_ratio, 4.0f / 3.0f);
    EXPECT_EQ(t.frame_pix_fmt, AV_PIX_FMT_YUV420P);
    EXPECT_EQ(t.audio_sample_rate, 44100);
    EXPECT_EQ(t.audio_channels, 2);
    EXPECT_NEAR(static_cast<double>(t.TotalOutputDuration()), 2e6, 1e5);
    EXPECT_TRUE(t.InputFile(0).codecs.at(0).dec_ctx != nullptr);
}

TEST_F(OpenInputTest, StartTimeAndOffsetApplyToOneInput)
{
    TCustomFFmpeg t;
    t.SetOption("ss", "0.5");
    t.SetOption("itsoffset", "2");
    t.SetOption("itsscale", "1:2.0");
    ASSERT_TRUE(t.OpenInput(Media("av.avi"))) << t.LastErrMsg();
    EXPECT_EQ(t.start_time, 0);  // consumed
    EXPECT_EQ(t.InputFile(0).ts_offset, 2000000 - 500000);
    EXPECT_EQ(t.InputFile(0).ts_scale[1], 2.0);
    t.SetOption("copyts", "");
    ASSERT_TRUE(t.OpenInput(Media("av.mkv"))) << t.LastErrMsg();
    EXPECT_EQ(t.InputFile(1).ts_offset, 2000000);
}

TEST_F(OpenInputTest, FailuresReportTheirReason)
{
    struct Case {
        std::vector<std::pair<std::string, std::string>> options;
        std::string file;
        std::string message;  // %s: the file name
    };
    const std::string missing = Media("no_such_file.avi");
    const std::vector<Case> cases = {
        {{}, missing, missing + ": No such file or directory"},
        {{}, Media("empty.mp4"), Media("empty.mp4") + ": Invalid data found when processing input"},
        {{{"vcodec", "nosuchcodec"}}, Media("av.mp4"), "Unknown decoder 'nosuchcodec'"},
        {{{"acodec", "h264"}}, Media("av.mp4"), "Invalid decoder type 'h264'"},
        {{{"programid", "77"}}, Media("av.mpg"), "Specified program id not found"},
    };
    for (const Case& c : cases) {
        TCustomFFmpeg t;
        for (const auto& [n, v] : c.options)
            t.SetOption(n, v);
        EXPECT_FALSE(t.OpenInput(c.file));
        EXPECT_EQ(t.LastErrMsg(), c.message);
        EXPECT_EQ(t.nb_input_files(), 0);
        EXPECT_TRUE(t.video_codec_name.empty() && t.audio_codec_name.empty());
    }
    TCustomFFmpeg t;
    t.SetOption("f", "nosuchformat");
    EXPECT_EQ(ErrorOf([&] { t.OpenInput(Media("av.mp4")); }), "Unknown input format: \"nosuchformat\"");
}

TEST_F(OpenInputTest, UnreadableStreamInformation)
{
    // A raw stream of the wrong kind opens but tells nothing about itself.
    const std::string dir = ScratchDir("noinfo");
    const std::string file = dir + "/silence.h264";
    std::ofstream(file, std::ios::binary) << std::string(4096, '\0');
    TCustomFFmpeg t;
    t.SetOption("f", "h264");
    const bool opened = t.OpenInput(file);
    if (opened)
        GTEST_SKIP() << "the library reads this stream's information";
    EXPECT_EQ(t.LastErrMsg(), file + ": could not find codec parameters");
}

TEST_F(OpenInputTest, ProgramSelection)
{
    const std::string dir = ScratchDir("programs");
    testmedia::ClipSpec ts;
    ts.path = dir + "/prog.ts";
    ts.videoCodec = "mpeg2video";
    ts.audioCodec = "mp2";
    ts.seconds = 1.0;
    ts.muxerOptions = {{"mpegts_service_id", "7"}};
    testmedia::MakeClip(ts);
    TCustomFFmpeg t;
    t.SetOption("programid", "7");
    ASSERT_TRUE(t.OpenInput(ts.path)) << t.LastErrMsg();
    EXPECT_EQ(t.opt_programid, 0);  // used up
    TCustomFFmpeg other;
    other.SetOption("programid", "8");
    EXPECT_FALSE(other.OpenInput(ts.path));
    EXPECT_EQ(other.LastErrMsg(), "Specified program id not found");
}

TEST_F(OpenInputTest, FormatOptionsReachInputsAndOutputs)
{
    const std::string dir = ScratchDir("formatopts");
    TCustomFFmpeg t;
    t.SetOption("probesize", "65536");
    ASSERT_TRUE(t.OpenInput(Media("av.mpg"))) << t.LastErrMsg();
    EXPECT_EQ(t.InputFile(0).ctx->probesize, 65536);
    t.SetOption("packetsize", "2048");
    t.SetOption("muxrate", "10080000");
    ASSERT_EQ(t.OpenOutput(dir + "/out.vob", false), 1) << t.LastErrMsg();
    AVFormatContext* oc = t.OutputFile(0).ctx.get();
    EXPECT_EQ(oc->packet_size, 2048u);
    int64_t muxrate = 0;
    EXPECT_GE(AV.av_opt_get_int(oc, "muxrate", AV_OPT_SEARCH_CHILDREN, &muxrate), 0);
    EXPECT_EQ(muxrate, 10080000);
    int64_t preload = 0;
    AV.av_opt_get_int(oc, "preload", AV_OPT_SEARCH_CHILDREN, &preload);
    EXPECT_EQ(preload, 500000);
    EXPECT_EQ(oc->max_delay, 700000);
}

TEST_F(OpenInputTest, NamesOutsideAsciiOpen)
{
    TCustomFFmpeg t;
    EXPECT_TRUE(t.OpenInput(Media("中文视频文件.mp4"))) << t.LastErrMsg();
}

class OpenOutputTest : public EngineTest {};

TEST_F(OpenOutputTest, OutputFormatChoice)
{
    const std::string dir = ScratchDir("formats");
    TCustomFFmpeg t;
    ASSERT_TRUE(t.OpenInput(Media("av.mp4")));
    EXPECT_EQ(t.OpenOutput(dir + "/out.nosuchext", false), -1);
    EXPECT_EQ(t.LastErrMsg(), "Unable to find a suitable output format for '" + dir + "/out.nosuchext'");
    t.SetOption("f", "nosuchmuxer");
    EXPECT_EQ(t.OpenOutput(dir + "/out.avi", false), -1);
    EXPECT_EQ(t.LastErrMsg(), "Requested output format 'nosuchmuxer' is not a suitable output format");
    EXPECT_TRUE(t.last_asked_format.empty());
    t.SetOption("f", "matroska");
    EXPECT_EQ(t.OpenOutput(dir + "/out.nosuchext", false), 1) << t.LastErrMsg();
    EXPECT_STREQ(t.OutputFile(0).ctx->oformat->name, "matroska");
    EXPECT_EQ(t.nb_output_files(), 1);
}

TEST_F(OpenOutputTest, StreamKindsFollowTheInputs)
{
    const std::string dir = ScratchDir("kinds");
    struct Case {
        const char* input;
        std::vector<std::pair<std::string, std::string>> options;
        const char* output;
        std::vector<AVMediaType> kinds;
    };
    const std::vector<Case> cases = {
        {"av.mp4", {}, "a.avi", {AVMEDIA_TYPE_VIDEO, AVMEDIA_TYPE_AUDIO}},
        {"audio.mp3", {}, "b.avi", {AVMEDIA_TYPE_AUDIO}},
        {"video.avi", {}, "c.mp4", {AVMEDIA_TYPE_VIDEO}},
        {"av.mp4", {{"vn", "1"}}, "d.avi", {AVMEDIA_TYPE_AUDIO}},
        {"av.mp4", {{"an", ""}}, "e.avi", {AVMEDIA_TYPE_VIDEO}},
        {"av.mp4", {}, "f.mp3", {AVMEDIA_TYPE_AUDIO}},
    };
    for (const Case& c : cases) {
        TCustomFFmpeg t;
        ASSERT_TRUE(t.OpenInput(Media(c.input)));
        for (const auto& [n, v] : c.options)
            t.SetOption(n, v);
        ASSERT_EQ(t.OpenOutput(dir + "/" + c.output, false), 1) << t.LastErrMsg();
        std::vector<AVMediaType> kinds;
        for (const auto& s : t.OutputFile(0).streams)
            kinds.push_back(s->type);
        EXPECT_EQ(kinds, c.kinds) << c.output;
    }
}

TEST_F(OpenOutputTest, StreamsTakeThePendingState)
{
    const std::string dir = ScratchDir("pending");
    LogCapture log;
    TCustomFFmpeg t;
    ASSERT_TRUE(t.OpenInput(Media("av.mp4")));
    t.SetOption("vcodec", "mpeg1video");
    t.SetOption("r", "26");
    t.SetOption("pix_fmt", "yuv444p");
    t.SetOption("vtag", "ABCD");
    t.SetOption("vlang", "chi");
    t.SetOption("acodec", "mp2");
    t.SetOption("ar", "45000");
    t.SetOption("g", "7");
    t.SetOption("streamid", "0:301");
    t.SetOption("metadata", "title=first");
    t.SetOption("metadata", "comment=second");
    ASSERT_EQ(t.OpenOutput(dir + "/out.mpg", false), 1) << t.LastErrMsg();
    const TOutputFile& of = t.OutputFile(0);
    const AVCodecContext* v = of.streams.at(0)->enc_ctx.get();
    EXPECT_EQ(v->time_base.num, 1);
    EXPECT_EQ(v->time_base.den, 25);  // nearest rate the encoder supports
    EXPECT_EQ(v->pix_fmt, AV_PIX_FMT_YUV420P);  // the encoder's first format
    EXPECT_EQ(v->codec_tag, MKTAG('A', 'B', 'C', 'D'));
    EXPECT_EQ(v->gop_size, 7);
    EXPECT_EQ(v->width, 320);
    EXPECT_EQ(of.streams.at(0)->st->id, 301);
    const AVDictionaryEntry* lang = AV.av_dict_get(of.streams.at(0)->st->metadata, "language", nullptr, 0);
    ASSERT_NE(lang, nullptr);
    EXPECT_STREQ(lang->value, "chi");
    const AVCodecContext* a = of.streams.at(1)->enc_ctx.get();
    EXPECT_EQ(a->sample_rate, 44100);
    EXPECT_EQ(a->time_base.den, 44100);
    EXPECT_EQ(a->ch_layout.nb_channels, 2);
    EXPECT_EQ(t.audio_sample_fmt, AV_SAMPLE_FMT_FLTP);  // the input's
    EXPECT_EQ(a->sample_fmt, AV_SAMPLE_FMT_S16);        // the encoder's only one
    EXPECT_TRUE(log.Contains("Requested sampling rate unsupported using closest supported (44100)"));
    EXPECT_EQ(AV.av_dict_count(of.ctx->metadata), 2);
    // The pending kind state is used up.
    EXPECT_TRUE(t.video_codec_name.empty());
    EXPECT_EQ(t.frame_pix_fmt, AV_PIX_FMT_NONE);
    EXPECT_EQ(t.streamid_map[0], 0);
    EXPECT_TRUE(t.metadata.empty());
}

TEST_F(OpenOutputTest, EncoderParametersFromOptions)
{
    const std::string dir = ScratchDir("encparams");
    std::string matrix;
    for (int i = 0; i < 64; ++i)
        matrix += (i ? "," : "") + std::to_string(16 + i);
    TCustomFFmpeg t;
    ASSERT_TRUE(t.OpenInput(Media("av.mp4")));
    t.SetOption("vcodec", "mpeg4");
    t.SetOption("qscale", "3");
    t.SetOption("intra", "");
    t.SetOption("psnr", "");
    t.SetOption("pass", "1");
    t.SetOption("inter_matrix", matrix);
    t.SetOption("rc_override", "0,10,3/20,30,-50");
    ASSERT_EQ(t.OpenOutput(dir + "/out.avi", false), 1) << t.LastErrMsg();
    const AVCodecContext* v = t.OutputFile(0).streams.at(0)->enc_ctx.get();
    EXPECT_TRUE(v->flags & AV_CODEC_FLAG_QSCALE);
    EXPECT_EQ(v->global_quality, 3 * FF_QP2LAMBDA);
    EXPECT_EQ(v->gop_size, 0);
    EXPECT_TRUE(v->flags & AV_CODEC_FLAG_PSNR);
    EXPECT_TRUE(v->flags & AV_CODEC_FLAG_PASS1);
    ASSERT_NE(v->inter_matrix, nullptr);
    EXPECT_EQ(v->inter_matrix[63], 16 + 63);
    ASSERT_EQ(v->rc_override_count, 2);
    EXPECT_EQ(v->rc_override[0].qscale, 3);
    EXPECT_EQ(v->rc_override[1].end_frame, 30);
    EXPECT_EQ(v->rc_override[1].qscale, 0);
    EXPECT_FLOAT_EQ(v->rc_override[1].quality_factor, 0.5f);

    TCustomFFmpeg bad;
    ASSERT_TRUE(bad.OpenInput(Media("av.mp4")));
    bad.SetOption("rc_override", "0,10");
    EXPECT_EQ(bad.OpenOutput(dir + "/bad.avi", false), -1);
    EXPECT_EQ(bad.LastErrMsg(), "new_video_stream fail: error parsing rc_override");
}

TEST_F(OpenOutputTest, UnusableEncodersFailTheOutput)
{
    const std::string dir = ScratchDir("encoders");
    struct Case {
        const char* option;
        const char* value;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"vcodec", "msmpeg4v1", "new_video_stream fail: Unknown encoder 'msmpeg4v1'"},
        {"vcodec", "mp2", "new_video_stream fail: Invalid encoder type 'mp2'"},
        {"acodec", "vorbis",
         "new_audio_stream fail: encoder 'vorbis' is experimental and might produce bad results.\r\n"
         "Add '-strict experimental' if you want to use it.\r\nOr use the non experimental encoder 'libvorbis'."},
    };
    for (const Case& c : cases) {
        TCustomFFmpeg t;
        ASSERT_TRUE(t.OpenInput(Media("av.mp4")));
        t.SetOption(c.option, c.value);
        EXPECT_EQ(t.OpenOutput(dir + "/out.mkv", false), -1);
        EXPECT_EQ(t.LastErrMsg(), c.message);
        EXPECT_EQ(t.nb_output_files(), 0);
        EXPECT_FALSE(platform::FileExists(dir + "/out.mkv"));
    }
    // With the strictness lowered the experimental encoder is accepted.
    TCustomFFmpeg t;
    ASSERT_TRUE(t.OpenInput(Media("av.mp4")));
    t.SetOption("strict", "experimental");
    t.SetOption("acodec", "vorbis");
    EXPECT_EQ(t.OpenOutput(dir + "/ok.mkv", false), 1) << t.LastErrMsg();
}

TEST_F(OpenOutputTest, ExistingFilesAreReplacedAndLongNamesKept)
{
    const std::string dir = ScratchDir("replace");
    const std::string file = dir + "/out.avi";
    std::ofstream(file) << "old contents";
    TCustomFFmpeg t;
    ASSERT_TRUE(t.OpenInput(Media("av.mp4")));
    ASSERT_EQ(t.OpenOutput(file, false), 1) << t.LastErrMsg();
    EXPECT_EQ(platform::FileSize(file), 0);

    // A name longer than 1023 bytes is written where it says.
    std::string deep = dir;
    while (deep.size() < 1100)
        deep += "/" + std::string(200, 'd');
    std::filesystem::create_directories(deep);
    const std::string longName = deep + "/out.mkv";
    ASSERT_EQ(t.OpenOutput(longName, false), 2) << t.LastErrMsg();
    EXPECT_TRUE(platform::FileExists(longName));
    EXPECT_EQ(DecodeLibFileName(t.OutputFile(1).ctx->url), longName);  // the whole name, behind "file:"
    // Outputs nothing was written to are removed with the task.
    t.Reset();
    EXPECT_FALSE(platform::FileExists(file));
    EXPECT_FALSE(platform::FileExists(longName));
}

TEST_F(OpenOutputTest, UnwritableOutput)
{
    const std::string dir = ScratchDir("unwritable");
    TCustomFFmpeg t;
    ASSERT_TRUE(t.OpenInput(Media("av.mp4")));
    const std::string missingDir = dir + "/no/such/folder/out.avi";
    EXPECT_EQ(t.OpenOutput(missingDir, false), -1);
    EXPECT_EQ(t.LastErrMsg(), missingDir + ": No such file or directory");
    EXPECT_EQ(t.nb_output_files(), 0);
}

TEST_F(OpenOutputTest, JoinRepeatsTheOutputPerInput)
{
    const std::string dir = ScratchDir("join");
    TCustomFFmpeg t;
    ASSERT_TRUE(t.OpenInput(Media("av.mp4")));
    ASSERT_TRUE(t.OpenInput(Media("av.avi")));
    ASSERT_TRUE(t.OpenInput(Media("av.mkv")));
    int64_t sum = 0;
    for (int i = 0; i < 3; ++i)
        sum += t.InputFile(i).ctx->duration;
    EXPECT_EQ(t.OpenOutput(dir + "/joined.avi", true), 3) << t.LastErrMsg();
    EXPECT_TRUE(t.JoinMode());
    EXPECT_EQ(t.TotalOutputDuration(), sum);
    EXPECT_EQ(&t.OutputFile(0), &t.OutputFile(2));
    EXPECT_EQ(t.OpenOutput(dir + "/second.avi", true), -1);
    EXPECT_EQ(t.LastErrMsg(), "Cannot join more than one output file.");
    EXPECT_FALSE(platform::FileExists(dir + "/second.avi"));
    // With one input the join flag changes nothing.
    TCustomFFmpeg single;
    ASSERT_TRUE(single.OpenInput(Media("av.mp4")));
    EXPECT_EQ(single.OpenOutput(dir + "/single.avi", true), 1);
    EXPECT_FALSE(single.JoinMode());
}

TEST_F(OpenOutputTest, NewStreamOptionsAddToTheLastOutput)
{
    const std::string dir = ScratchDir("newstreams");
    TCustomFFmpeg t;
    ASSERT_TRUE(t.OpenInput(Media("av.mp4")));
    ASSERT_EQ(t.OpenOutput(dir + "/out.mkv", false), 1);
    t.SetOption("acodec", "mp2");
    t.SetOption("newaudio", "");
    t.SetOption("vcodec", "copy");
    t.SetOption("newvideo", "");
    const auto& streams = t.OutputFile(0).streams;
    ASSERT_EQ(streams.size(), 4u);
    EXPECT_STREQ(streams[2]->enc->name, "mp2");
    EXPECT_TRUE(streams[3]->stream_copy);
    EXPECT_EQ(t.video_stream_copy, 0);
}

}  // namespace
