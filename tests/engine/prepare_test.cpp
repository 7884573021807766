// Setting up a conversion: mapping, stream copy rules, encoders, filters,
// two-pass files, and the codec lists closed after errors.
#include "engine_test_support.h"

#include "engine/ff_presets.h"
#include "media_generator.h"
#include "platform/paths.h"

#include <fstream>

using namespace vexa;
using namespace vexa::test;

namespace {

using Options = std::vector<std::pair<std::string, std::string>>;

class PrepareTest : public EngineTest {
protected:
    // One input, options, one output; returns the task ready for PrepareTranscode.
    std::unique_ptr<TCustomFFmpeg> Task(const std::string& input, const Options& before, const std::string& output,
                                        const Options& after = {})
    {
        auto t = std::make_unique<TCustomFFmpeg>();
        EXPECT_TRUE(t->OpenInput(Media(input))) << t->LastErrMsg();
        for (const auto& [n, v] : before)
            t->SetOption(n, v);
        EXPECT_GE(t->OpenOutput(output, false), 1) << t->LastErrMsg();
        for (const auto& [n, v] : after)
            t->SetOption(n, v);
        return t;
    }
    std::string Prepare(TCustomFFmpeg& t)
    {
        const std::string err = ErrorOf([&] { t.PrepareTranscode(); });
        t.CloseCodecs();
        EXPECT_TRUE(t.open_encoders.empty());
        EXPECT_TRUE(t.open_decoders.empty());
        return err;
    }
};

TEST_F(PrepareTest, ReencodeOpensEveryCodecAndWritesTheHeader)
{
    const std::string dir = ScratchDir("reencode");
    LogCapture log;
    auto t = Task("av.mp4", {{"vcodec", "mpeg4"}, {"vtag", "XVID"}, {"acodec", "libmp3lame"}, {"ab", "128000"}},
                  dir + "/out.avi");
    t->PrepareTranscode();
    EXPECT_EQ(t->open_encoders.size(), 2u);
    EXPECT_EQ(t->open_decoders.size(), 2u);
    ASSERT_EQ(t->ost_table.size(), 2u);
    EXPECT_EQ(t->ost_table[0]->source_index, 0);
    EXPECT_EQ(t->ost_table[1]->source_index, 1);
    EXPECT_TRUE(t->ost_table[0]->show_fps);
    EXPECT_FALSE(t->ost_table[0]->video_resample);
    EXPECT_TRUE(t->ost_table[1]->fifo != nullptr);
    EXPECT_FALSE(t->Fbit_buffer);  // only subtitle encoding needs it
    EXPECT_TRUE(t->ist_table[0]->decoding_needed);
    EXPECT_EQ(t->OutputFile(0).streams[0]->st->codecpar->codec_tag, MKTAG('X', 'V', 'I', 'D'));
    EXPECT_EQ(t->OutputFile(0).streams[1]->st->codecpar->bit_rate, 128000);
    EXPECT_TRUE(log.Contains("Stream mapping:"));
    EXPECT_TRUE(log.Contains("  Stream #0.0 -> #0.0 (Video)"));
    EXPECT_GT(AV.avio_seek(t->OutputFile(0).ctx->pb, 0, SEEK_CUR), 0);  // the header
    t->CloseCodecs();
    EXPECT_TRUE(t->open_encoders.empty());
}

TEST_F(PrepareTest, StreamCopyRules)
{
    const std::string dir = ScratchDir("copy");
    struct Case {
        Options options;
        std::function<void(TCustomFFmpeg&)> arrange;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{{"acodec", "copy"}, {"vol", "512"}}, nullptr,
         "-acodec copy and -vol are incompatible (frames are not decoded)"},
        {{{"vcodec", "copy"}}, [](TCustomFFmpeg& t) { t.SetPostHooks(phPreview); },
         "-vcodec copy and PostHooks are incompatible (frames are not decoded)"},
        {{{"vcodec", "copy"}},
         [](TCustomFFmpeg& t) { t.FOnCustomHook = [](TCustomFFmpeg*, platform::Bitmap*, int, int64_t, bool&, bool&) {}; },
         "-vcodec copy and CustomHook are incompatible (frames are not decoded)"},
        {{{"vcodec", "copy"}, {"vhook", VEXA_HOOK_INVERT}}, nullptr,
         "-vcodec copy and -vhook are incompatible (frames are not decoded)"},
        {{{"vcodec", "copy"}, {"acodec", "copy"}}, nullptr, "<no error>"},
    };
    int n = 0;
    for (const Case& c : cases) {
        auto t = Task("av.mp4", c.options, dir + "/out" + std::to_string(n++) + ".mkv");
        if (c.arrange)
            c.arrange(*t);
        EXPECT_EQ(Prepare(*t), c.message);
    }
    // A copied stream keeps the input's parameters.
    auto t = Task("av.mp4", {{"vcodec", "copy"}, {"acodec", "copy"}}, dir + "/copied.mkv");
    t->PrepareTranscode();
    const AVCodecParameters* par = t->OutputFile(0).streams[0]->st->codecpar;
    EXPECT_EQ(par->codec_id, AV_CODEC_ID_H264);
    EXPECT_EQ(par->width, 320);
    EXPECT_GT(par->extradata_size, 0);
    EXPECT_TRUE(t->open_encoders.empty());
    EXPECT_TRUE(t->open_decoders.empty());
}

TEST_F(PrepareTest, BitstreamFiltersTakeTheStream)
{
    const std::string dir = ScratchDir("bsf");
    auto t = Task("av.mp4", {{"vcodec", "copy"}, {"vbsf", "h264_mp4toannexb"}, {"an", ""}}, dir + "/out.ts");
    EXPECT_TRUE(t->video_bitstream_filters.empty());  // moved to the stream
    t->PrepareTranscode();
    const TOutputStreamSetup& s = *t->OutputFile(0).streams.at(0);
    ASSERT_EQ(s.bsfs.size(), 1u);
    EXPECT_EQ(s.bsfs[0]->par_out->codec_id, AV_CODEC_ID_H264);
    t->CloseCodecs();

    auto wrong = Task("av.mp4", {{"vcodec", "copy"}, {"vbsf", "aac_adtstoasc"}, {"an", ""}}, dir + "/wrong.ts");
    EXPECT_EQ(Prepare(*wrong), "Error initializing bitstream filter aac_adtstoasc for output stream #0.0 (Video)");
}

TEST_F(PrepareTest, SubtitlesAreEncodedOrCopied)
{
    const std::string dir = ScratchDir("subtitles");
    testmedia::ClipSpec clip;
    clip.path = dir + "/subs.mkv";
    clip.videoCodec = "mpeg4";
    clip.subtitle = true;
    clip.seconds = 1.0;
    testmedia::MakeClip(clip);
    for (const char* scodec : {"", "copy"}) {
        TCustomFFmpeg t;
        ASSERT_TRUE(t.OpenInput(clip.path)) << t.LastErrMsg();
        t.SetOption("vcodec", "mpeg4");
        t.SetOption("scodec", scodec);
        ASSERT_EQ(t.OpenOutput(dir + "/out" + scodec + ".mkv", false), 1) << t.LastErrMsg();
        ASSERT_EQ(t.OutputFile(0).streams.size(), 2u);
        EXPECT_EQ(Prepare(t), "<no error>") << scodec;
        // Subtitle encoding writes into a buffer of ours; copying does not.
        EXPECT_EQ(t.Fbit_buffer != nullptr, *scodec == '\0') << scodec;
    }
}

TEST_F(PrepareTest, MappingErrors)
{
    const std::string dir = ScratchDir("maps");
    struct Case {
        Options maps;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{{"map", "0.0"}}, "Number of stream maps must match number of output streams"},
        {{{"map", "0.5"}, {"map", "0.1"}}, "Could not find input stream #0.5"},
        {{{"map", "0.0:1.0"}, {"map", "0.1"}}, "Could not find sync stream #1.0"},
        {{{"map", "0.1"}, {"map", "0.0"}}, "Codec type mismatch for mapping #0.1 (Audio) -> #0.0 (Video)"},
        {{{"map", "0.0"}, {"map", "0.1"}}, "<no error>"},
    };
    int n = 0;
    for (const Case& c : cases) {
        auto t = Task("av.mp4", {{"vcodec", "mpeg4"}, {"acodec", "mp2"}}, dir + "/o" + std::to_string(n++) + ".avi",
                      c.maps);
        EXPECT_EQ(Prepare(*t), c.message);
    }
    // Without maps an output stream needs an input stream of its kind.
    auto t = Task("audio.mp3", {}, dir + "/audio.mkv", {{"vcodec", "mpeg4"}, {"newvideo", ""}});
    EXPECT_EQ(Prepare(*t), "Could not find input stream matching output stream #0.1 (Video)");
    // An output without streams.
    TCustomFFmpeg empty;
    ASSERT_TRUE(empty.OpenInput(Media("audio.mp3")));
    empty.SetOption("an", "");
    ASSERT_EQ(empty.OpenOutput(dir + "/nothing.avi", false), 1);
    EXPECT_EQ(Prepare(empty), "Output file #0 does not contain any stream");
}

TEST_F(PrepareTest, EncoderOpenFailureClosesWhatWasOpened)
{
    const std::string dir = ScratchDir("openfail");
    LogCapture log;
    // The video encoder opens; the audio encoder refuses a bit rate MPEG
    // audio does not have.
    auto t = Task("av.mp4", {{"vcodec", "mpeg4"}, {"acodec", "mp2"}, {"ab", "1000"}}, dir + "/out.mkv");
    const std::string err = ErrorOf([&] { t->PrepareTranscode(); });
    EXPECT_EQ(err,
              "Error while opening encoder for output stream #0.1 (Audio) - maybe incorrect parameters such as "
              "bit_rate, rate, width or height. Please check error log message to find out more detail information.");
    EXPECT_TRUE(log.Contains("Stream mapping:"));
    EXPECT_EQ(t->open_encoders.size(), 1u);
    t->CloseCodecs();
    EXPECT_TRUE(t->open_encoders.empty());
}

TEST_F(PrepareTest, CropScaleAndFilterGraph)
{
    const std::string dir = ScratchDir("filters");
    auto t = Task("av.mp4", {{"vcodec", "mpeg4"}, {"croptop", "16"}, {"cropleft", "8"}, {"s", "160x120"},
                             {"vf", "hflip"}},
                  dir + "/out.avi");
    t->PrepareTranscode();
    const TAVOutputStream& ost = *t->ost_table[0];
    EXPECT_TRUE(ost.video_crop);
    EXPECT_EQ(ost.topBand, 16);
    EXPECT_EQ(ost.leftBand, 8);
    EXPECT_TRUE(ost.video_resample);
    // The filter graph crops and scales: no scaler of our own beside it.
    EXPECT_TRUE(ost.img_resample_ctx == nullptr);
    EXPECT_TRUE(ost.pict_tmp == nullptr);
    const TAVInputStream& ist = *t->ist_table[0];
    ASSERT_TRUE(ist.filter_graph != nullptr);
    EXPECT_EQ(AV.av_buffersink_get_w(ist.out_video_filter), 160);
    EXPECT_EQ(AV.av_buffersink_get_h(ist.out_video_filter), 120);
    EXPECT_EQ(t->OutputFile(0).streams[0]->enc_ctx->width, 160);
    t->CloseCodecs();

    auto bad = Task("av.mp4", {{"vcodec", "mpeg4"}, {"vf", "nosuchfilter"}}, dir + "/bad.avi");
    const std::string err = Prepare(*bad);
    EXPECT_EQ(err.rfind("Error opening filters: ", 0), 0u) << err;
}

TEST_F(PrepareTest, TwoPassLogFiles)
{
    const std::string dir = ScratchDir("twopass");
    const std::string prefix = dir + "/stats";
    auto first = Task("av.mp4", {{"vcodec", "mpeg4"}, {"pass", "1"}, {"passlogfile", prefix}, {"an", ""}},
                      dir + "/p1.avi");
    EXPECT_EQ(Prepare(*first), "<no error>");
    EXPECT_TRUE(platform::FileExists(prefix + "-0.log"));

    auto second = Task("av.mp4", {{"vcodec", "mpeg4"}, {"pass", "2"}, {"passlogfile", dir + "/none"}, {"an", ""}},
                       dir + "/p2.avi");
    EXPECT_EQ(Prepare(*second),
              "Cannot read file: Error reading log file \"" + dir + "/none-0.log\" for pass-2 encoding");

    auto missingDir = Task("av.mp4", {{"vcodec", "mpeg4"}, {"pass", "1"}, {"passlogfile", dir + "/no/dir/x"}, {"an", ""}},
                           dir + "/p3.avi");
    EXPECT_EQ(Prepare(*missingDir), "Cannot write log file " + dir + "/no/dir/x-0.log for pass-1 encoding");
}

TEST_F(PrepareTest, MetadataMapsAndErrors)
{
    const std::string dir = ScratchDir("metamaps");
    auto t = Task("av.mp4", {{"map_meta_data", "0:0"}}, dir + "/out.mkv");
    EXPECT_EQ(ErrorOf([&] { t->PrepareTranscode(); }), "<no error>");
    const AVDictionaryEntry* title = AV.av_dict_get(t->OutputFile(0).ctx->metadata, "title", nullptr, 0);
    ASSERT_NE(title, nullptr);
    EXPECT_STREQ(title->value, "Vexa test clip");
    t->CloseCodecs();

    auto badIn = Task("av.mp4", {{"map_meta_data", "0:3"}}, dir + "/in.mkv");
    EXPECT_EQ(Prepare(*badIn), "Invalid input file index 3 map_meta_data(0,3)");
    auto badOut = Task("av.mp4", {{"map_meta_data", "2:0"}}, dir + "/out2.mkv");
    EXPECT_EQ(Prepare(*badOut), "Invalid output file index 2 map_meta_data(2,0)");
}

TEST_F(PrepareTest, JoinOpensTheFirstSegmentsEncoders)
{
    const std::string dir = ScratchDir("joinprep");
    TCustomFFmpeg t;
    ASSERT_TRUE(t.OpenInput(Media("av.mp4")));
    ASSERT_TRUE(t.OpenInput(Media("av.avi")));
    t.SetOption("vcodec", "mpeg4");
    t.SetOption("acodec", "mp2");
    ASSERT_EQ(t.OpenOutput(dir + "/joined.avi", true), 2);
    t.PrepareTranscode();
    ASSERT_EQ(t.ost_table.size(), 4u);
    // Segment k reads input k.
    EXPECT_EQ(t.ist_table[static_cast<size_t>(t.ost_table[2]->source_index)]->file_index, 1);
    EXPECT_EQ(t.ost_table[0]->setup, t.ost_table[2]->setup);
    EXPECT_EQ(t.open_encoders.size(), 2u);
    EXPECT_EQ(t.open_decoders.size(), 4u);
    t.CloseCodecs();
}

// Every built-in x264 preset applies to a libx264 output and the encoder opens with it.
class BuiltinPresetTest : public EngineTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(BuiltinPresetTest, AppliesToLibx264)
{
    const TOptionsPreset& p = BuiltinPresets()[GetParam()];
    const std::string dir = ScratchDir("preset" + std::to_string(GetParam()));
    TCustomFFmpeg t;
    ASSERT_TRUE(t.OpenInput(Media("av.mp4")));
    t.SetOption("vcodec", "libx264");
    ASSERT_NO_THROW(t.SetOption("vpre", p.Name.substr(std::string("libx264-").size()))) << p.Name;
    t.SetOption("an", "");
    ASSERT_EQ(t.OpenOutput(dir + "/out.mkv", false), 1) << t.LastErrMsg();
    EXPECT_EQ(ErrorOf([&] { t.PrepareTranscode(); }), "<no error>") << p.Name;
    t.CloseCodecs();
}

INSTANTIATE_TEST_SUITE_P(All36, BuiltinPresetTest, ::testing::Range<size_t>(0, 36), [](const auto& info) {
    std::string n = BuiltinPresets()[info.param].Name.substr(8);
    for (char& c : n)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return n;
});

TEST_F(PrepareTest, PresetOptionsTakeEffectInTheEncoder)
{
    const std::string dir = ScratchDir("preseteffect");
    auto t = Task("av.mp4", {{"vcodec", "libx264"}, {"vpre", "fast"}, {"an", ""}}, dir + "/out.mkv");
    AVCodecContext* enc = t->OutputFile(0).streams[0]->enc_ctx.get();
    auto intOf = [enc](const char* n) {
        int64_t v = -100;
        AV.av_opt_get_int(enc, n, AV_OPT_SEARCH_CHILDREN, &v);
        return v;
    };
    EXPECT_EQ(intOf("weightb"), 1);
    EXPECT_EQ(intOf("mixed-refs"), 1);
    EXPECT_EQ(intOf("8x8dct"), 1);
    EXPECT_EQ(intOf("fast-pskip"), 1);
    EXPECT_EQ(intOf("b-pyramid"), 2);
    EXPECT_EQ(intOf("direct-pred"), 1);
    EXPECT_EQ(intOf("me_method"), 1);  // hex
    EXPECT_EQ(enc->gop_size, 250);
    EXPECT_EQ(enc->max_b_frames, 3);
    EXPECT_EQ(enc->refs, 2);
    EXPECT_EQ(enc->flags & AV_CODEC_FLAG_LOOP_FILTER, AV_CODEC_FLAG_LOOP_FILTER);
    EXPECT_EQ(Prepare(*t), "<no error>");
}

}  // namespace
