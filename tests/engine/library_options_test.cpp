// The library-option fallback and the translation of options and encoders
// the current libraries no longer have.
#include "engine_test_support.h"

#include "engine/ff_translate.h"

#include <algorithm>

using namespace vexa;
using namespace vexa::test;

namespace {

class LibraryOptionTest : public EngineTest {};

int64_t IntOf(void* obj, const char* name)
{
    int64_t v = 0;
    EXPECT_GE(AV.av_opt_get_int(obj, name, AV_OPT_SEARCH_CHILDREN, &v), 0) << name;
    return v;
}

std::string TextOf(void* obj, const char* name)
{
    uint8_t* text = nullptr;
    if (AV.av_opt_get(obj, name, AV_OPT_SEARCH_CHILDREN, &text) < 0 || !text)
        return "<none>";
    std::string s = reinterpret_cast<char*>(text);
    AV.av_free(text);
    return s;
}

bool Remembered(const TCustomFFmpeg& t, const std::string& name)
{
    const auto& names = t.LibraryOptions()->Names();
    return std::find(names.begin(), names.end(), name) != names.end();
}

TEST_F(LibraryOptionTest, OptionsFindTheirParameterSets)
{
    TCustomFFmpeg t;
    TFFOptions& o = *t.LibraryOptions();
    EXPECT_TRUE(t.SetLibraryOption("g", "12"));
    EXPECT_EQ(o.CodecSet(AVMEDIA_TYPE_VIDEO)->gop_size, 12);
    // "b" is a video and an audio option: both sets take it.
    EXPECT_TRUE(t.SetLibraryOption("b", "300000"));
    EXPECT_EQ(o.CodecSet(AVMEDIA_TYPE_VIDEO)->bit_rate, 300000);
    EXPECT_EQ(o.CodecSet(AVMEDIA_TYPE_AUDIO)->bit_rate, 300000);
    // "ab" is still an audio option of the library; "vb" reaches the video
    // "b" through the letter prefix. The tolerance is a video option only
    // now, so "abt" finds nothing.
    EXPECT_TRUE(t.SetLibraryOption("ab", "64000"));
    EXPECT_TRUE(t.SetLibraryOption("vb", "900000"));
    EXPECT_FALSE(t.SetLibraryOption("abt", "1000"));
    EXPECT_EQ(o.CodecSet(AVMEDIA_TYPE_AUDIO)->bit_rate, 64000);
    EXPECT_EQ(o.CodecSet(AVMEDIA_TYPE_VIDEO)->bit_rate, 900000);
    // Format, muxer-private and scaler options.
    EXPECT_TRUE(t.SetLibraryOption("packetsize", "2048"));
    EXPECT_EQ(o.FormatSet()->packet_size, 2048u);
    EXPECT_TRUE(t.SetLibraryOption("muxrate", "10080000"));
    std::string v;
    EXPECT_TRUE(o.FormatValue("muxrate", v));
    EXPECT_EQ(v, "10080000");
    EXPECT_TRUE(t.SetLibraryOption("sws_flags", "bilinear"));
    EXPECT_EQ(o.ScalerFlags(), SWS_BILINEAR);
    // Encoder-private options.
    EXPECT_TRUE(t.SetLibraryOption("preset", "veryfast"));
    EXPECT_TRUE(o.CodecValue(AVMEDIA_TYPE_VIDEO, "preset", v));
    EXPECT_EQ(v, "veryfast");
    // Remembered under the library's names, in order.
    const std::vector<std::string> expected = {"g", "b", "ab", "b", "packetsize", "muxrate", "sws_flags", "preset"};
    EXPECT_EQ(o.Names(), expected);
}

TEST_F(LibraryOptionTest, OptionsOfOneKindStayWithIt)
{
    const std::string dir = ScratchDir("onekind");
    TCustomFFmpeg t;
    ASSERT_TRUE(t.OpenInput(Media("av.mp4")));
    t.SetOption("b", "900000");  // the video bit rate
    t.SetOption("g", "9");
    t.SetOption("vcodec", "mpeg4");
    t.SetOption("acodec", "libmp3lame");
    ASSERT_EQ(t.OpenOutput(dir + "/out.avi", false), 1) << t.LastErrMsg();
    const AVCodecContext* v = t.OutputFile(0).streams.at(0)->enc_ctx.get();
    const AVCodecContext* a = t.OutputFile(0).streams.at(1)->enc_ctx.get();
    EXPECT_EQ(v->bit_rate, 900000);
    EXPECT_EQ(v->gop_size, 9);
    // The audio encoder keeps its own default: neither the video rate nor
    // the parameter set's default.
    CodecContextPtr fresh(AV.avcodec_alloc_context3(a->codec ? a->codec : AV.avcodec_find_encoder_by_name("libmp3lame")));
    EXPECT_EQ(a->bit_rate, fresh->bit_rate);
}

TEST_F(LibraryOptionTest, RefusedAndUnknownOptionsSetNothing)
{
    LogCapture log;
    TCustomFFmpeg t;
    EXPECT_FALSE(t.SetLibraryOption("qmin", "lots"));
    EXPECT_TRUE(log.Contains("Invalid value \"lots\" for option \"qmin\""));
    EXPECT_FALSE(t.SetLibraryOption("me_method", "sideways"));
    EXPECT_FALSE(t.SetLibraryOption("nosuchoption", "1"));
    EXPECT_FALSE(t.SetLibraryOption("g", "  "));
    EXPECT_FALSE(t.SetLibraryOption("", "1"));
    EXPECT_TRUE(t.LibraryOptions()->Names().empty());
    // Through the vocabulary an unknown name is silently ignored.
    EXPECT_NO_THROW(t.SetOption("nosuchoption", "1"));
}

TEST_F(LibraryOptionTest, DebugOptionRaisesTheLogLevel)
{
    TFFLogger& logger = TFFLogger::Instance();
    const TLogLevel before = logger.LogLevel();
    logger.SetLogLevel(llInfo);
    TCustomFFmpeg t;
    EXPECT_TRUE(t.SetLibraryOption("debug", "pict"));
    EXPECT_EQ(logger.LogLevel(), llDebug);
    logger.SetLogLevel(before);
}

// One check per row of the translation table: the legacy form, given to a
// task whose output uses the encoder, reaches that encoder as its current
// option.
class TranslationRowTest : public EngineTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(TranslationRowTest, LegacyFormTakesEffect)
{
    const TTranslation& row = TranslationTable()[GetParam()];
    const std::string dir = ScratchDir("translate" + std::to_string(GetParam()));
    TCustomFFmpeg t;
    ASSERT_TRUE(t.OpenInput(Media("av.mp4"))) << t.LastErrMsg();

    if (row.Kind == tkEncoder) {
        EXPECT_EQ(TranslateEncoderName(row.Legacy), row.Current);
        t.SetOption("acodec", row.Legacy);
        ASSERT_GE(t.OpenOutput(dir + "/out.mkv", false), 1) << t.LastErrMsg();
        const TOutputStreamSetup& s = *t.OutputFile(0).streams.at(1);
        ASSERT_NE(s.enc, nullptr);
        EXPECT_STREQ(s.enc->name, row.Current);
        return;
    }

    const bool mpeg2 = std::string(row.Legacy) == "scan_offset";
    t.SetOption("vcodec", mpeg2 ? "mpeg2video" : "libx264");
    std::string expected;
    if (row.Kind == tkOption) {
        EXPECT_EQ(TranslateLibraryOption(row.Legacy, "2"), (TOptionPairs{{row.Current, "2"}}));
        t.SetOption(row.Legacy, "2");
        expected = "2";
    } else if (row.Kind == tkFlag) {
        EXPECT_EQ(TranslateLibraryOption(row.Option, std::string("+") + row.Legacy),
                  (TOptionPairs{{row.Current, row.On}}));
        EXPECT_EQ(TranslateLibraryOption(row.Option, std::string("-") + row.Legacy),
                  (TOptionPairs{{row.Current, row.Off}}));
        t.SetOption(row.Option, std::string("+") + row.Legacy);
        expected = row.On;
    } else {
        EXPECT_EQ(TranslateLibraryOption("partitions", std::string("+") + row.Legacy),
                  (TOptionPairs{{"partitions", row.Current}}));
        t.SetOption("partitions", std::string("+") + row.Legacy);
        expected = row.Current;
    }
    const char* option = row.Kind == tkPartition ? "partitions" : row.Current;
    EXPECT_TRUE(Remembered(t, option)) << option;
    ASSERT_GE(t.OpenOutput(dir + "/out.mkv", false), 1) << t.LastErrMsg();
    AVCodecContext* enc = t.OutputFile(0).streams.at(0)->enc_ctx.get();
    const std::string got = TextOf(enc, option);
    if (expected == "normal") // the named constant reads back as its number
        EXPECT_EQ(IntOf(enc, option), 2);
    else if (row.Kind == tkFlag && (expected == "1" || expected == "0"))
        EXPECT_EQ(IntOf(enc, option), std::stoi(expected));
    else
        EXPECT_EQ(got, expected);
}

INSTANTIATE_TEST_SUITE_P(EveryRow, TranslationRowTest, ::testing::Range<size_t>(0, 15),
                         [](const auto& info) {
                             std::string n = TranslationTable()[info.param].Legacy;
                             std::replace_if(n.begin(), n.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
                             return n;
                         });

TEST(Translation, TableHasFifteenRows)
{
    // The parameterised test above covers rows 0..14.
    EXPECT_EQ(TranslationTable().size(), 15u);
}

TEST(Translation, MixedValuesKeepWhatNeedsNoTranslation)
{
    EXPECT_EQ(TranslateLibraryOption("flags2", "+local_header-wpred+mbtree"),
              (TOptionPairs{{"flags2", "+local_header"}, {"weightb", "0"}, {"mbtree", "1"}}));
    EXPECT_EQ(TranslateLibraryOption("flags2", "+local_header"), (TOptionPairs{{"flags2", "+local_header"}}));
    EXPECT_EQ(TranslateLibraryOption("partitions", "-parti8x8-parti4x4-partp8x8-partb8x8"),
              (TOptionPairs{{"partitions", "none"}}));
    EXPECT_EQ(TranslateLibraryOption("partitions", "+parti8x8+parti4x4+partp8x8-partp4x4+partb8x8"),
              (TOptionPairs{{"partitions", "i8x8,i4x4,p8x8,b8x8"}}));
    EXPECT_EQ(TranslateLibraryOption("partitions", "i4x4,p8x8"), (TOptionPairs{{"partitions", "i4x4,p8x8"}}));
    EXPECT_EQ(TranslateLibraryOption("g", "12"), (TOptionPairs{{"g", "12"}}));
    EXPECT_EQ(TranslateEncoderName("mpeg4"), "mpeg4");
}

}  // namespace
