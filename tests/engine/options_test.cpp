// The option vocabulary: values reaching the option state, refused values
// and their messages, ignored names.
#include "engine_test_support.h"

#include "engine/ff_common.h"
#include "engine/ff_options.h"
#include "media/ffmpeg_loader.h"
#include "media/unicode_protocol.h"

#include <cstring>

using namespace vexa;
using namespace vexa::test;

namespace {

using Options = std::vector<std::pair<std::string, std::string>>;

// `n` copies of `item` separated by commas.
std::string Repeat(const std::string& item, int n)
{
    std::string s;
    for (int i = 0; i < n; ++i)
        s += (i ? "," : "") + item;
    return s;
}

void Apply(TCustomFFmpeg& t, const Options& options)
{
    for (const auto& [n, v] : options)
        t.SetOption(n, v);
}

struct StateCase {
    const char* what;
    Options options;
    std::function<bool(const TCustomFFmpeg&)> holds;
};

class OptionStateTest : public EngineTest {};

TEST_F(OptionStateTest, FreshTaskHoldsTheDefaults)
{
    TCustomFFmpeg t;
    t.SetOption("vcodec", "mpeg4");
    t.SetOption("an", "");
    t.SetOption("t", "5");
    t.Reset();
    EXPECT_TRUE(t.video_codec_name.empty());
    EXPECT_FALSE(t.audio_disable);
    EXPECT_EQ(t.recording_time, INT64_MAX);
    EXPECT_EQ(t.audio_sample_rate, 44100);
    EXPECT_EQ(t.audio_channels, 2);
    EXPECT_EQ(t.audio_qscale, -99999.0f);
    EXPECT_EQ(t.audio_volume, 256);
    EXPECT_EQ(t.intra_dc_precision, 8);
    EXPECT_EQ(t.top_field_first, -1);
    EXPECT_EQ(t.loop_output, -1);
    EXPECT_EQ(t.video_sync_method, -1);
    EXPECT_EQ(t.frame_pix_fmt, AV_PIX_FMT_NONE);
    EXPECT_EQ(t.max_frames[0], INT_MAX);
    EXPECT_FLOAT_EQ(t.mux_preload, 0.5f);
    EXPECT_FLOAT_EQ(t.mux_max_delay, 0.7f);
    EXPECT_FLOAT_EQ(t.dts_delta_threshold, 10.0f);
    EXPECT_EQ(t.verbose, 1);
    EXPECT_EQ(t.thread_count, kThreadsChosen);  // the task takes its share of the cores
    EXPECT_EQ(t.TotalOutputDuration(), -1);
    ASSERT_NE(t.LibraryOptions(), nullptr);
    EXPECT_EQ(t.LibraryOptions()->ScalerFlags(), 4);
    EXPECT_TRUE(t.LibraryOptions()->Names().empty());
}

TEST_F(OptionStateTest, ValuesReachTheState)
{
    const std::vector<StateCase> cases = {
        {"an empty disables audio", {{"an", ""}}, [](auto& t) { return t.audio_disable; }},
        {"an 0 leaves audio on", {{"an", "0"}}, [](auto& t) { return !t.audio_disable; }},
        {"vn", {{"vn", "1"}}, [](auto& t) { return t.video_disable; }},
        {"copy then a name keeps copy",
         {{"vcodec", "copy"}, {"vcodec", "mpeg4"}},
         [](auto& t) { return t.video_stream_copy == 1 && t.video_codec_name == "mpeg4"; }},
        {"empty codec name changes nothing",
         {{"acodec", "mp2"}, {"acodec", ""}},
         [](auto& t) { return t.audio_codec_name == "mp2" && !t.audio_stream_copy; }},
        {"scodec copy", {{"scodec", "copy"}}, [](auto& t) { return t.subtitle_stream_copy == 1; }},
        {"atag byte order",
         {{"atag", "mp4a"}},
         [](auto& t) {
             const uint32_t tag = t.audio_codec_tag;
             return (tag & 0xFF) == 'm' && ((tag >> 8) & 0xFF) == 'p' && ((tag >> 16) & 0xFF) == '4' &&
                    (tag >> 24) == 'a';
         }},
        {"vtag", {{"vtag", "XVID"}}, [](auto& t) { return t.video_codec_tag == MKTAG('X', 'V', 'I', 'D'); }},
        {"frame rate abbreviation",
         {{"r", "ntsc"}},
         [](auto& t) { return t.frame_rate.num == 30000 && t.frame_rate.den == 1001; }},
        {"frame size abbreviation",
         {{"s", "vga"}},
         [](auto& t) { return t.frame_width == 640 && t.frame_height == 480; }},
        {"aspect W:H", {{"aspect", "16:9"}}, [](auto& t) { return std::abs(t.frame_aspect_ratio - 16.0f / 9) < 1e-6; }},
        {"aspect number", {{"aspect", "1.5"}}, [](auto& t) { return t.frame_aspect_ratio == 1.5f; }},
        {"pix_fmt", {{"pix_fmt", "yuv422p"}}, [](auto& t) { return t.frame_pix_fmt == AV_PIX_FMT_YUV422P; }},
        {"crop 0 is ignored",
         {{"s", "320x240"}, {"croptop", "0"}},
         [](auto& t) { return t.frame_topBand == 0 && t.frame_height == 240; }},
        {"crop takes from the size",
         {{"s", "320x240"}, {"croptop", "10"}, {"cropbottom", "20"}, {"cropleft", "8"}, {"cropright", "2"}},
         [](auto& t) {
             return t.frame_topBand == 10 && t.frame_bottomBand == 20 && t.frame_height == 210 &&
                    t.frame_leftBand == 8 && t.frame_rightBand == 2 && t.frame_width == 310;
         }},
        {"ar and ac ignored unless above 0",
         {{"ar", "0"}, {"ac", "-1"}},
         [](auto& t) { return t.audio_sample_rate == 44100 && t.audio_channels == 2; }},
        {"ar and ac", {{"ar", "22050"}, {"ac", "1"}}, [](auto& t) { return t.audio_sample_rate == 22050 && t.audio_channels == 1; }},
        {"t is the expected duration",
         {{"t", "00:01:02.5"}},
         [](auto& t) { return t.recording_time == 62500000 && t.TotalOutputDuration() == 62500000; }},
        {"ss and itsoffset",
         {{"ss", "3"}, {"itsoffset", "-1.5"}},
         [](auto& t) { return t.start_time == 3000000 && t.input_ts_offset == -1500000; }},
        {"timestamp in seconds",
         {{"timestamp", "2010-06-01T12:00:00Z"}},
         [](auto& t) { return t.recording_timestamp == 1275393600; }},
        {"fs is 64-bit", {{"fs", "5000000000"}}, [](auto& t) { return t.limit_filesize == 5000000000LL; }},
        {"frame limits",
         {{"vframes", "10"}, {"aframes", "20"}, {"dframes", "30"}},
         [](auto& t) { return t.max_frames[0] == 10 && t.max_frames[1] == 20 && t.max_frames[2] == 30; }},
        {"metadata keeps the order",
         {{"metadata", "title=a=b"}, {"metadata", "year="}},
         [](auto& t) {
             return t.metadata.size() == 2 && t.metadata[0].first == "title" && t.metadata[0].second == "a=b" &&
                    t.metadata[1].second.empty();
         }},
        {"map with sync",
         {{"map", "1.2:0.3"}},
         [](auto& t) {
             const TStreamMap& m = t.stream_maps.at(0);
             return m.file_index == 1 && m.stream_index == 2 && m.sync_file_index == 0 && m.sync_stream_index == 3;
         }},
        {"map without sync syncs to itself",
         {{"map", "0:0x1"}},
         [](auto& t) {
             const TStreamMap& m = t.stream_maps.at(0);
             return m.stream_index == 1 && m.sync_file_index == 0 && m.sync_stream_index == 1;
         }},
        {"map_meta_data", {{"map_meta_data", "0:1"}}, [](auto& t) { return t.meta_data_maps.at(0).in_file == 1; }},
        {"streamid", {{"streamid", "1:301"}}, [](auto& t) { return t.streamid_map[1] == 301; }},
        {"itsscale of the next input",
         {{"itsscale", "2:0.5"}},
         [](auto& t) { return t.input_files_ts_scale.at(0)[2] == 0.5; }},
        {"qscale", {{"qscale", "2.5"}}, [](auto& t) { return t.video_qscale == 2.5f; }},
        {"pass and prefix",
         {{"pass", "2"}, {"passlogfile", "/tmp/x"}},
         [](auto& t) { return t.do_pass == 2 && t.pass_logfilename_prefix == "/tmp/x"; }},
        {"vfilters empty is ignored", {{"vf", "hflip"}, {"vfilters", ""}}, [](auto& t) { return t.vfilters == "hflip"; }},
        {"copyts and xerror whatever the value",
         {{"copyts", "0"}, {"xerror", "0"}},
         [](auto& t) { return t.copy_ts && t.exit_on_error; }},
        {"flags",
         {{"shortest", "1"}, {"isync", ""}, {"re", "1"}, {"deinterlace", "1"}, {"sameq", "1"}, {"intra", "1"}},
         [](auto& t) {
             return t.opt_shortest && t.input_sync && t.rate_emu && t.do_deinterlace && t.same_quality &&
                    t.intra_only;
         }},
        {"numbers",
         {{"vsync", "2"}, {"async", "1"}, {"vol", "512"}, {"top", "1"}, {"dc", "10"}, {"vglobal", "1"},
          {"programid", "3"}, {"v", "-1"}, {"loop_output", "0"}},
         [](auto& t) {
             return t.video_sync_method == 2 && t.audio_sync_method == 1 && t.audio_volume == 512 &&
                    t.top_field_first == 1 && t.intra_dc_precision == 10 && t.video_global_header == 1 &&
                    t.opt_programid == 3 && t.verbose == -1 && t.loop_output == 0;
         }},
        {"floats",
         {{"adrift_threshold", "0.5"}, {"muxdelay", "0.2"}, {"muxpreload", "0.3"}, {"dts_delta_threshold", "4"}},
         [](auto& t) {
             return t.audio_drift_threshold == 0.5f && t.mux_max_delay == 0.2f && t.mux_preload == 0.3f &&
                    t.dts_delta_threshold == 4.0f;
         }},
        {"languages", {{"vlang", "chi"}, {"alang", "eng"}, {"slang", "fre"}},
         [](auto& t) { return t.video_language == "chi" && t.audio_language == "eng" && t.subtitle_language == "fre"; }},
        {"matrix of 64",
         {{"intra_matrix", "8,16,19,22,26,27,29,34,16,16,22,24,27,29,34,37,19,22,26,27,29,34,34,38,22,22,26,27,29,"
                           "34,37,40,22,26,27,29,32,35,40,48,26,27,29,32,35,40,48,58,26,27,29,34,38,46,56,69,27,"
                           "29,35,38,46,56,69,83"}},
         [](auto& t) { return t.intra_matrix.size() == 64 && t.intra_matrix[0] == 8 && t.intra_matrix[63] == 83; }},
        {"bitstream filter chain",
         {{"vbsf", "h264_mp4toannexb"}, {"vbsf", "=ignored"}, {"absf", "aac_adtstoasc"}},
         [](auto& t) { return t.video_bitstream_filters.size() == 1 && t.audio_bitstream_filters.size() == 1; }},
        {"pgmyuv becomes image2", {{"f", "pgmyuv"}},
         [](auto& t) { return t.last_asked_format == "image2" && t.pgmyuv_compatibility_hack; }},
        {"codec threads by count", {{"threads", "3"}}, [](auto& t) { return t.thread_count == 3; }},
        {"codec threads at the most", {{"threads", "64"}}, [](auto& t) { return t.thread_count == 64; }},
        {"codec threads left to the libraries", {{"threads", "auto"}}, [](auto& t) { return t.thread_count == 0; }},
        {"codec threads 0 is automatic too", {{"threads", "0"}}, [](auto& t) { return t.thread_count == 0; }},
        {"unknown names are ignored", {{"nosuchoption", "1"}, {"", "x"}},
         [](auto& t) { return t.LibraryOptions()->Names().empty(); }},
    };
    for (const StateCase& c : cases) {
        TCustomFFmpeg t;
        EXPECT_NO_THROW(Apply(t, c.options)) << c.what;
        EXPECT_TRUE(c.holds(t)) << c.what;
    }
}

struct ErrorCase {
    Options options;
    std::string message;
};

TEST_F(OptionStateTest, BadValuesRaiseTheirMessages)
{
    const std::vector<ErrorCase> cases = {
        {{{"threads", "-2"}}, "Invalid value \"-2\" for option \"threads\", required a count from 0 to 64 or auto"},
        {{{"threads", "65"}}, "Invalid value \"65\" for option \"threads\", required a count from 0 to 64 or auto"},
        {{{"threads", "two"}}, "'two' is not a valid integer value"},
        {{{"padtop", "4"}}, "Please use vfilters=pad"},
        {{{"padcolor", "000000"}}, "Please use vfilters=pad"},
        {{{"r", "fast"}}, "Incorrect frame rate"},
        {{{"s", "big"}}, "Incorrect frame size"},
        {{{"aspect", "4:0"}}, "Incorrect aspect ratio specification."},
        {{{"aspect", "0"}}, "Incorrect aspect ratio specification."},
        {{{"aspect", "-4:3"}}, "Incorrect aspect ratio specification."},
        {{{"pix_fmt", "yuv999"}}, "Unknown pixel format requested: yuv999"},
        {{{"s", "320x240"}, {"croptop", "240"}},
         "Vertical crop dimensions are outside the range of the original image.\nRemember to crop first and scale "
         "second."},
        {{{"s", "320x240"}, {"croptop", "200"}, {"cropbottom", "40"}},
         "Vertical crop dimensions are outside the range of the original image.\nRemember to crop first and scale "
         "second."},
        {{{"s", "320x240"}, {"cropleft", "320"}},
         "Horizontal crop dimensions are outside the range of the original image.\nRemember to crop first and scale "
         "second."},
        {{{"qscale", "0"}}, "qscale must be > 0.0 and <= 255"},
        {{{"qscale", "255.5"}}, "qscale must be > 0.0 and <= 255"},
        {{{"pass", "3"}}, "pass number can be only 1 or 2"},
        {{{"atag", "mp4"}}, "audio tag parameter must be 4 chars"},
        {{{"vtag", "XVID1"}}, "video tag parameter must be 4 chars"},
        {{{"stag", ""}}, "subtitle tag parameter must be 4 chars"},
        {{{"metadata", "title"}}, "Missing ="},
        {{{"itsscale", "20:1.0"}}, "stream index over MAX_STREAMS(20)"},
        {{{"itsscale", "-1:1.0"}}, "stream index over MAX_STREAMS(20)"},
        {{{"streamid", "3"}}, "Invalid value \"3\" for option \"streamid\", required syntax is \"index:value\""},
        {{{"streamid", "20:1"}}, "stream index over MAX_STREAMS(20)"},
        {{{"intra_matrix", "1,2,3"}}, "Syntax error in matrix \"1,2,3\" at coeff 2"},
        // Encoders divide by the coefficients.
        {{{"intra_matrix", Repeat("0", 64)}},
         "Invalid coefficient 0 in matrix \"" + Repeat("0", 64) + "\" at coeff 0: it must be from 1 to 255"},
        {{{"inter_matrix", Repeat("16", 63) + ",256"}},
         "Invalid coefficient 256 in matrix \"" + Repeat("16", 63) + ",256\" at coeff 63: it must be from 1 to 255"},
        {{{"itsscale", "0:0"}}, "Invalid time stamp scale \"0:0\" for option itsscale: it must be a positive number"},
        {{{"itsscale", "0:-2"}}, "Invalid time stamp scale \"0:-2\" for option itsscale: it must be a positive number"},
        {{{"itsscale", "1:inf"}}, "Invalid time stamp scale \"1:inf\" for option itsscale: it must be a positive number"},
        {{{"itsscale", "1:nan"}}, "Invalid time stamp scale \"1:nan\" for option itsscale: it must be a positive number"},
        {{{"vbsf", "nosuchbsf=1"}}, "Unknown bitstream filter nosuchbsf=1"},
        {{{"t", "soon"}}, "Invalid duration specification for t: soon"},
        {{{"ss", "-x"}}, "Invalid duration specification for ss: -x"},
        {{{"timestamp", "someday"}}, "Invalid date specification for timestamp: someday"},
        {{{"vframes", "12x"}}, "'12x' is not a valid integer value"},
        {{{"vframes", " 12"}}, "' 12' is not a valid integer value"},
        {{{"ar", "0x10"}}, "'0x10' is not a valid integer value"},
        {{{"vol", "99999999999"}}, "'99999999999' is not a valid integer value"},
        {{{"adrift_threshold", "half"}}, "'half' is not a valid floating point value"},
        {{{"newvideo", ""}}, "At least one output file must be specified"},
        {{{"newaudio", ""}}, "At least one output file must be specified"},
        {{{"newsubtitle", ""}}, "At least one output file must be specified"},
        {{{"vhook", "/no/such/module.so arg"}}, "Failed to add video hook function: /no/such/module.so arg"},
    };
    for (const ErrorCase& c : cases) {
        TCustomFFmpeg t;
        EXPECT_EQ(ErrorOf([&] { Apply(t, c.options); }), c.message) << c.options.back().first;
    }
}

TEST_F(OptionStateTest, DirectSettersIgnoreUnsetValues)
{
    TCustomFFmpeg t;
    t.SetStartTime(kNoTimestamp);
    t.SetRecordingTime(kNoTimestamp);
    t.SetProgramID(-1);
    t.SetSampleRate(0);
    t.SetChannels(-1);
    t.SetAudioVolume(-1);
    t.SetMuxDelay(-1.0f);
    t.SetMuxPreload(0.0f);
    t.SetCrops(-1, -1, -1, -1);
    EXPECT_EQ(t.start_time, 0);
    EXPECT_EQ(t.recording_time, INT64_MAX);
    EXPECT_EQ(t.TotalOutputDuration(), -1);
    EXPECT_EQ(t.opt_programid, 0);
    EXPECT_EQ(t.audio_sample_rate, 44100);
    EXPECT_EQ(t.audio_channels, 2);
    EXPECT_EQ(t.audio_volume, 256);
    EXPECT_FLOAT_EQ(t.mux_max_delay, 0.7f);
    EXPECT_FLOAT_EQ(t.mux_preload, 0.5f);

    t.SetStartTime(1500000);
    t.SetRecordingTime(4000000);
    t.SetProgramID(0);
    t.SetSampleRate(48000);
    t.SetChannels(1);
    t.SetAudioVolume(0);
    t.SetMuxDelay(0.1f);
    t.SetMuxPreload(0.2f);
    t.SetSyncMethods(2, 0);
    t.SetOption("s", "320x240");
    t.SetCrops(8, 0, 0, 4);
    EXPECT_EQ(t.start_time, 1500000);
    EXPECT_EQ(t.TotalOutputDuration(), 4000000);
    EXPECT_EQ(t.audio_sample_rate, 48000);
    EXPECT_EQ(t.audio_channels, 1);
    EXPECT_EQ(t.audio_volume, 0);
    EXPECT_FLOAT_EQ(t.mux_max_delay, 0.1f);
    EXPECT_FLOAT_EQ(t.mux_preload, 0.2f);
    EXPECT_EQ(t.audio_sync_method, 2);
    EXPECT_EQ(t.video_sync_method, 0);
    EXPECT_EQ(t.frame_height, 232);
    EXPECT_EQ(t.frame_width, 316);
    EXPECT_EQ(ErrorOf([&] { t.SetCrops(500, 0, 0, 0); }),
              "Vertical crop dimensions are outside the range of the original image.\nRemember to crop first and "
              "scale second.");
}

TEST_F(OptionStateTest, StateChangedBeforeAnErrorStays)
{
    TCustomFFmpeg t;
    t.SetOption("s", "320x240");
    EXPECT_NE(ErrorOf([&] { t.SetOption("intra_matrix", "4,5"); }), "<no error>");
    EXPECT_EQ(t.intra_matrix.size(), 64u);  // allocated and partly filled
    EXPECT_EQ(t.intra_matrix[1], 5);
    // The zeros left in it never reach an encoder, which divides by them.
    ASSERT_TRUE(t.OpenInput(Media("av.avi"))) << t.LastErrMsg();
    EXPECT_EQ(t.OpenOutput(ScratchDir("half-matrix") + "/out.avi", false), -1);
    EXPECT_EQ(t.LastErrMsg(), "new_video_stream fail: Invalid intra_matrix: every coefficient must be from 1 to 255");
}

TEST_F(OptionStateTest, MapsAndStreamIdsAreBounded)
{
    TCustomFFmpeg t(2);
    for (int i = 0; i < 40; ++i)
        t.SetOption("map", "0.0");
    EXPECT_EQ(ErrorOf([&] { t.SetOption("map", "0.0"); }), "Too many stream maps (at most 40)");
    t.SetOption("map_meta_data", "0:0");
    t.SetOption("map_meta_data", "0:1");
    EXPECT_EQ(ErrorOf([&] { t.SetOption("map_meta_data", "0:0"); }), "Too many metadata maps (at most 2)");
}

TEST_F(OptionStateTest, IgnoredNamesOnlyLog)
{
    LogCapture log;
    TCustomFFmpeg t;
    for (const char* n : {"L", "h", "version", "formats", "codecs", "bsfs", "protocols", "filters", "i", "y",
                          "benchmark"})
        EXPECT_NO_THROW(t.SetOption(n, "in.avi")) << n;
    t.SetOption("timelimit", "10");
    EXPECT_TRUE(log.Contains("Do nothing: option - i"));
    EXPECT_TRUE(log.Contains("Do nothing: option - benchmark"));
    EXPECT_TRUE(log.Contains("Warning: -timelimit not implemented on Windows"));
    EXPECT_EQ(t.nb_input_files(), 0);
    EXPECT_TRUE(t.LibraryOptions()->Names().empty());
}

TEST_F(OptionStateTest, LowBitRateWarnsButIsKept)
{
    LogCapture log;
    TCustomFFmpeg t;
    t.SetOption("vb", "800");
    int64_t b = 0;
    AV.av_opt_get_int(t.LibraryOptions()->CodecSet(AVMEDIA_TYPE_VIDEO), "b", 0, &b);
    EXPECT_EQ(b, 800);
    EXPECT_TRUE(log.Contains(
        "WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not kbits/s"));
}

TEST_F(OptionStateTest, MessagesOfThePixelFormatAndCropOptions)
{
    LogCapture log;
    TCustomFFmpeg t;
    t.SetOption("pix_fmt", "list");
    t.SetOption("sample_fmt", "list");
    t.SetOption("s", "320x240");
    t.SetOption("cropleft", "4");
    t.SetOption("f", "pgmyuv");
    EXPECT_TRUE(log.Contains("yuv420p"));
    EXPECT_TRUE(log.Contains("fltp"));
    EXPECT_TRUE(log.Contains("CropXXX is deprecated in favor of the crop avfilter"));
    EXPECT_TRUE(log.Contains("pgmyuv format is deprecated, use image2"));
}

TEST_F(OptionStateTest, LogLevelOptionSetsTheRelay)
{
    TFFLogger& logger = TFFLogger::Instance();
    const TLogLevel before = logger.LogLevel();
    TCustomFFmpeg t;
    t.SetOption("loglevel", "warning");
    EXPECT_EQ(logger.LogLevel(), llWarning);
    EXPECT_EQ(ErrorOf([&] { t.SetOption("loglevel", "loud"); }), "'loud' is not a valid integer value");
    logger.SetLogLevel(before);
}

TEST_F(OptionStateTest, WithoutTheLibrariesEveryStepRefuses)
{
    TCustomFFmpeg t;
    UnloadAVLibSet(kEngineLibraries);
    const std::string r = ErrorOf([&] { t.SetOption("r", "25"); });
    const std::string in = ErrorOf([&] { t.OpenInput(Media("av.mp4")); });
    const std::string out = ErrorOf([&] { t.OpenOutput("out.avi", false); });
    const std::string prep = ErrorOf([&] { t.PrepareTranscode(); });
    LoadEngineLibraries();
    EXPECT_EQ(r, "LibAVCodec not loaded.");
    EXPECT_EQ(in, "LibAVCodec not loaded.");
    EXPECT_EQ(out, "LibAVCodec not loaded.");
    EXPECT_EQ(prep, "LibAVCodec not loaded.");
}

TEST_F(OptionStateTest, TextsOutsideTheCodePageBecomeQuestionMarks)
{
    TCustomFFmpeg t;
    t.SetOption("vlang", "中文");
    if (SystemCodeSet() == "UTF-8")
        EXPECT_EQ(t.video_language, "中文");
    else
        EXPECT_EQ(t.video_language, "??");
}

}  // namespace
