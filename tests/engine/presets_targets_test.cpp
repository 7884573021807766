// Built-in presets, preset files and the DVD/VCD targets.
#include "engine_test_support.h"

#include "engine/ff_presets.h"
#include "media_generator.h"

#include <fstream>
#include <set>

using namespace vexa;
using namespace vexa::test;

namespace {

class PresetTest : public EngineTest {};

int64_t VideoInt(const TCustomFFmpeg& t, const char* name)
{
    int64_t v = 0;
    AV.av_opt_get_int(t.LibraryOptions()->CodecSet(AVMEDIA_TYPE_VIDEO), name, 0, &v);
    return v;
}

TEST_F(PresetTest, TableHas36DistinctEntriesFoundWithoutCase)
{
    const auto& table = BuiltinPresets();
    ASSERT_EQ(table.size(), 36u);
    std::set<std::string> names;
    for (const TOptionsPreset& p : table) {
        names.insert(p.Name);
        EXPECT_EQ(FindBuiltinPreset(p.Name), &p);
    }
    EXPECT_EQ(names.size(), 36u);
    ASSERT_NE(FindBuiltinPreset("LIBX264-Fast"), nullptr);
    EXPECT_EQ(FindBuiltinPreset("LIBX264-Fast")->Name, "libx264-fast");
    EXPECT_EQ(FindBuiltinPreset("libx264-main")->Value, "flags2=-dct8x8\n");
    // A long entry, line for line.
    EXPECT_EQ(FindBuiltinPreset("libx264-lossless_ultrafast")->Value,
              "coder=0\nflags=+loop\ncmp=+chroma\npartitions=-parti8x8-parti4x4-partp8x8-partp4x4-partb8x8\n"
              "me_method=dia\nsubq=0\nme_range=16\ng=250\nkeyint_min=25\nsc_threshold=40\ni_qfactor=0.71\n"
              "b_strategy=1\nqcomp=0.6\nqmin=10\nqmax=51\nqdiff=4\ndirectpred=1\nflags2=+fastpskip\ncqp=0\n");
    EXPECT_EQ(FindBuiltinPreset("libx264-placebo_firstpass")->Value, FindBuiltinPreset("libx264-placebo")->Value);
}

TEST_F(PresetTest, VideoPresetTakesTheCodecPrefix)
{
    TCustomFFmpeg t;
    t.SetOption("vcodec", "libx264");
    t.SetOption("vpre", "fast");
    EXPECT_EQ(VideoInt(t, "g"), 250);
    EXPECT_EQ(VideoInt(t, "bf"), 3);
    std::string v;
    ASSERT_TRUE(t.LibraryOptions()->CodecValue(AVMEDIA_TYPE_VIDEO, "b-pyramid", v));
    EXPECT_EQ(v, "normal");
    ASSERT_TRUE(t.LibraryOptions()->CodecValue(AVMEDIA_TYPE_VIDEO, "partitions", v));
    EXPECT_EQ(v, "i8x8,i4x4,p8x8,b8x8");

    TCustomFFmpeg none;
    EXPECT_EQ(ErrorOf([&] { none.SetOption("vpre", "fast"); }), "Preset \"fast\" not found");
    // Without a video codec the subtitle codec name is the prefix.
    none.SetOption("scodec", "libx264");
    EXPECT_NO_THROW(none.SetOption("vpre", "fast"));
    // "fpre" only reads files.
    EXPECT_EQ(ErrorOf([&] { none.SetOption("fpre", "libx264-fast"); }), "Preset \"libx264-fast\" not found");
    EXPECT_NO_THROW(none.SetOption("apre", ""));
}

TEST_F(PresetTest, PresetFiles)
{
    const std::string dir = ScratchDir("presets");
    auto write = [&](const std::string& name, const std::string& text) {
        std::ofstream(dir + "/" + name, std::ios::binary) << text;
        return dir + "/" + name;
    };
    TCustomFFmpeg t;
    t.SetOption("fpre", write("good.ffpreset", "\r\n  g=48 \r\n\r\nvcodec=mpeg4\rACODEC=mp2\nqmin = 3\n"));
    EXPECT_EQ(VideoInt(t, "g"), 48);
    EXPECT_EQ(VideoInt(t, "qmin"), 3);
    EXPECT_EQ(t.video_codec_name, "mpeg4");
    EXPECT_EQ(t.audio_codec_name, "mp2");
    EXPECT_NO_THROW(t.SetOption("fpre", write("empty.ffpreset", "")));

    const std::string bad = write("bad.ffpreset", "g=12\n=5\n");
    EXPECT_EQ(ErrorOf([&] { t.SetOption("fpre", bad); }), bad + ": Invalid syntax: \"=5\"");
    const std::string unknown = write("unknown.ffpreset", "nosuch = 1\n");
    // With a codec named, messages carry the prefixed name even for a file.
    EXPECT_EQ(ErrorOf([&] { t.SetOption("vpre", unknown); }),
              "mpeg4-" + unknown + ": Invalid option or argument: \"nosuch = 1\", parsed as \"nosuch \" = \" 1\"");
    const std::string refused = write("refused.ffpreset", "qmin=lots\n");
    EXPECT_EQ(ErrorOf([&] { t.SetOption("fpre", refused); }),
              refused + ": Invalid option or argument: \"qmin=lots\", parsed as \"qmin\" = \"lots\"");
}

class TargetTest : public EngineTest {
protected:
    static void SetUpTestSuite()
    {
        EngineTest::SetUpTestSuite();
        testmedia::ClipSpec ntsc;
        ntsc.path = NtscClip();
        ntsc.videoCodec = "mpeg4";
        ntsc.fpsNum = 30000;
        ntsc.fpsDen = 1001;
        ntsc.seconds = 1.0;
        testmedia::MakeClip(ntsc);
    }
    static std::string NtscClip() { return std::string(VEXA_TEST_BINARY_DIR) + "/ntsc_2997.avi"; }
};

TEST_F(TargetTest, DvdAfterAnNtscInput)
{
    LogCapture log;
    TCustomFFmpeg t;
    ASSERT_TRUE(t.OpenInput(NtscClip())) << t.LastErrMsg();
    t.SetOption("target", "dvd");
    EXPECT_EQ(t.frame_width, 720);
    EXPECT_EQ(t.frame_height, 480);
    EXPECT_EQ(t.frame_rate.num, 30000);
    EXPECT_EQ(t.frame_rate.den, 1001);
    EXPECT_EQ(VideoInt(t, "g"), 18);
    EXPECT_EQ(VideoInt(t, "b"), 6000000);
    EXPECT_EQ(VideoInt(t, "maxrate"), 9000000);
    EXPECT_EQ(t.last_asked_format, "dvd");
    EXPECT_EQ(t.video_codec_name, "mpeg2video");
    EXPECT_EQ(t.audio_codec_name, "ac3");
    EXPECT_EQ(t.audio_sample_rate, 48000);
    int64_t ab = 0;
    AV.av_opt_get_int(t.LibraryOptions()->CodecSet(AVMEDIA_TYPE_AUDIO), "b", 0, &ab);
    EXPECT_EQ(ab, 448000);
    std::string muxrate;
    EXPECT_TRUE(t.LibraryOptions()->FormatValue("muxrate", muxrate));
    EXPECT_EQ(muxrate, "10080000");
    EXPECT_EQ(t.LibraryOptions()->FormatSet()->packet_size, 2048u);
    EXPECT_TRUE(log.Contains("Assuming NTSC for target."));
}

TEST_F(TargetTest, NormsAndTypes)
{
    struct Case {
        const char* input;  // empty: none
        const char* target;
        int w, h, rateNum, rateDen, gop;
        AVPixelFormat pix;  // AV_PIX_FMT_NONE: unchanged
    };
    const Case cases[] = {
        {"av.mp4", "vcd", 352, 288, 25, 1, 15, AV_PIX_FMT_NONE},
        {"", "pal-vcd", 352, 288, 25, 1, 15, AV_PIX_FMT_NONE},
        {"", "ntsc-svcd", 480, 480, 30000, 1001, 18, AV_PIX_FMT_NONE},
        {"", "film-dvd", 720, 480, 24000, 1001, 18, AV_PIX_FMT_NONE},
        {"", "pal-dv", 720, 576, 25, 1, 0, AV_PIX_FMT_YUV420P},
        {"", "ntsc-dv", 720, 480, 30000, 1001, 0, AV_PIX_FMT_YUV411P},
        {"", "pal-dv50", 720, 576, 25, 1, 0, AV_PIX_FMT_YUV422P},
    };
    for (const Case& c : cases) {
        TCustomFFmpeg t;
        if (*c.input) {
            ASSERT_TRUE(t.OpenInput(Media(c.input))) << t.LastErrMsg();
        }
        const AVPixelFormat before = t.frame_pix_fmt;
        ASSERT_NO_THROW(t.SetOption("target", c.target)) << c.target;
        EXPECT_EQ(t.frame_width, c.w) << c.target;
        EXPECT_EQ(t.frame_height, c.h) << c.target;
        EXPECT_EQ(t.frame_rate.num, c.rateNum) << c.target;
        EXPECT_EQ(t.frame_rate.den, c.rateDen) << c.target;
        if (c.gop) {
            EXPECT_EQ(VideoInt(t, "g"), c.gop) << c.target;
        }
        EXPECT_EQ(t.frame_pix_fmt, c.pix == AV_PIX_FMT_NONE ? before : c.pix) << c.target;
    }
}

TEST_F(TargetTest, AspectDefaultsAndChannels)
{
    LogCapture log;
    TCustomFFmpeg vcd;
    vcd.SetOption("target", "pal-vcd");
    EXPECT_FLOAT_EQ(vcd.frame_aspect_ratio, 4.0f / 3.0f);
    EXPECT_FLOAT_EQ(vcd.mux_preload, 0.44f);
    EXPECT_TRUE(log.Contains("Assuming 4:3 for aspect ratio"));

    TCustomFFmpeg dvd;
    dvd.SetOption("ac", "1");
    dvd.SetOption("aspect", "4:3");
    dvd.SetOption("target", "pal-dvd");
    EXPECT_FLOAT_EQ(dvd.frame_aspect_ratio, 4.0f / 3.0f);  // kept
    EXPECT_EQ(dvd.audio_channels, 2);

    TCustomFFmpeg svcd;
    svcd.SetOption("ac", "6");
    svcd.SetOption("target", "pal-svcd");
    EXPECT_EQ(svcd.audio_channels, 6);
    std::string scan;
    EXPECT_TRUE(svcd.LibraryOptions()->CodecValue(AVMEDIA_TYPE_VIDEO, "scan_offset", scan));
}

TEST_F(TargetTest, NormCannotBeDerivedWithoutVideo)
{
    TCustomFFmpeg t;
    ASSERT_TRUE(t.OpenInput(Media("audio.mp3"))) << t.LastErrMsg();
    EXPECT_EQ(ErrorOf([&] { t.SetOption("target", "vcd"); }), "frame_rate is invalid.");
    EXPECT_NO_THROW(t.SetOption("target", "pal-vcd"));
    EXPECT_EQ(ErrorOf([&] { t.SetOption("target", "pal-bluray"); }), "Unknown target type");
    // The engine's own default norm decides when the inputs cannot.
    TCustomFFmpeg d;
    d.frame_rate = AVRational{15, 1};
    d.ApplyTarget("dvd", "auto", "pal");
    EXPECT_EQ(d.frame_height, 576);
    d.frame_rate = AVRational{15, 1};
    d.ApplyTarget("dvd", "auto", "ntsc");
    EXPECT_EQ(d.frame_height, 480);
}

}  // namespace
