// The probe's file facts: opening and closing, counts, stream records,
// reporting, and the description text.
#include "probe_test_util.h"

#include "media/ffmpeg_loader.h"
#include "media/unicode_protocol.h"
#include "platform/error.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>

namespace vexa {
namespace {

using probetest::LogCapture;
using probetest::Lines;
using probetest::Media;

class ProbeInfo : public ::testing::Test {
protected:
    void SetUp() override { probetest::LoadProbeLibraries(); }

    // A context opened the way the player opens its own, for attaching.
    static InputContextPtr OpenRaw(const std::string& path)
    {
        AVFormatContext* ctx = nullptr;
        EXPECT_GE(OpenInputFile(&ctx, EncodeLibFileName(path), nullptr, nullptr), 0) << path;
        InputContextPtr owned(ctx);
        if (ctx) {
            EXPECT_GE(FindStreamInfo(ctx, nullptr), 0);
        }
        return owned;
    }

    static std::string Scratch(const std::string& name) { return std::string(VEXA_TEST_BINARY_DIR) + "/" + name; }
};

bool HasLine(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

bool HasLineStarting(const std::vector<std::string>& lines, const std::string& prefix)
{
    for (const std::string& l : lines)
        if (l.rfind(prefix, 0) == 0)
            return true;
    return false;
}

TEST_F(ProbeInfo, QueriesOnAClosedProbeReportFileNotLoaded)
{
    LogCapture log;
    TAVProbe probe;
    const std::vector<std::pair<const char*, std::function<bool()>>> queries = {
        {"FileName", [&] { return probe.FileName().empty(); }},
        {"FormatName", [&] { return probe.FormatName().empty(); }},
        {"FormatLongName", [&] { return probe.FormatLongName().empty(); }},
        {"FileInfoText", [&] { return probe.FileInfoText().empty(); }},
        {"FileStreamInfo",
         [&] {
             const TFileStreamInfo i = probe.FileStreamInfo();
             return i.StartTime == -1 && i.Duration == -1 && i.BitRate == -1 && i.TimeStamp == -1 && i.Year == -1 &&
                    i.Track == -1 && i.Title.empty() && i.Genre.empty();
         }},
        {"FirstAudioStreamInfo", [&] { return probe.FirstAudioStreamInfo().SampleRate == -1; }},
        {"FirstVideoStreamInfo", [&] { return probe.FirstVideoStreamInfo().Width == -1; }},
        {"FirstSubtitleStreamInfo", [&] { return probe.FirstSubtitleStreamInfo().CodecName.empty(); }},
        {"IsAudioStream", [&] { return !probe.IsAudioStream(0); }},
        {"IsVideoStream", [&] { return !probe.IsVideoStream(0); }},
        {"IsSubtitleStream", [&] { return !probe.IsSubtitleStream(0); }},
        {"Seek", [&] { return !probe.Seek(0); }},
        {"Decode", [&] { return !probe.Decode(); }},
        {"DecodePreviousKeyFrame", [&] { return !probe.DecodePreviousKeyFrame(); }},
        {"Position", [&] { return probe.Position() == -1; }},
    };
    for (const auto& [name, query] : queries) {
        SCOPED_TRACE(name);
        log.Clear();
        EXPECT_TRUE(query());
        EXPECT_EQ(probe.LastErrMsg(), "file not loaded.");
        const auto posts = log.From(&probe);
        ASSERT_FALSE(posts.empty());
        EXPECT_EQ(posts.front().Level, llWarning);
        EXPECT_EQ(posts.front().Msg, "file not loaded.");
    }
    EXPECT_EQ(probe.StreamCount(), -1);
    EXPECT_EQ(probe.FileSize(), -1);
    EXPECT_EQ(probe.FirstVideoStreamIndex(), -1);
}

TEST_F(ProbeInfo, BadFilesFailWithTheLibraryTextAndLeaveTheProbeClosed)
{
    struct Case {
        const char* name;
        const char* text;
    };
    const Case cases[] = {
        {"missing.avi", "No such file or directory"},
        {"empty.mp4", "Invalid data found when processing input"},
        {"truncated.mp4", "Invalid data found when processing input"},
        {"random.avi", "Invalid data found when processing input"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LogCapture log;
        TAVProbe probe;
        ASSERT_TRUE(probe.LoadFile(Media("av.mp4")));  // a failed load closes what was open
        const std::string path = Media(c.name);
        EXPECT_FALSE(probe.LoadFile(path));
        const std::string expected = path + ": " + c.text;
        EXPECT_EQ(probe.LastErrMsg(), expected);
        const auto posts = log.From(&probe);
        ASSERT_EQ(posts.size(), 1u);
        EXPECT_EQ(posts[0].Level, llError);
        EXPECT_EQ(posts[0].Msg, expected);
        EXPECT_EQ(probe.FileHandle(), nullptr);
        EXPECT_EQ(probe.StreamCount(), -1);
        EXPECT_EQ(probe.FileSize(), -1);
        EXPECT_FALSE(probe.Decode());
    }
}

TEST_F(ProbeInfo, UnknownForcedFormatOnlySetsLastErrMsg)
{
    LogCapture log;
    TAVProbe probe;
    ASSERT_TRUE(probe.LoadFile(Media("av.mp4")));
    EXPECT_FALSE(probe.LoadFile(Media("av.mp4"), "nosuchformat"));
    EXPECT_EQ(probe.LastErrMsg(), "Unknown input format: nosuchformat");
    EXPECT_TRUE(log.From(&probe).empty());
    EXPECT_EQ(probe.FileHandle(), nullptr);
    EXPECT_EQ(probe.ForceFormat(), "");
}

TEST_F(ProbeInfo, SizeLineThresholds)
{
    // Raw unsigned 8-bit samples open whatever their size, so the file size
    // is exactly what the test writes.
    struct Case {
        int64_t size;
        const char* line;
    };
    const Case cases[] = {
        {1024, "File Size: 1024 Byte"},
        {1025, "File Size: 1.00 KB"},
        {1048576, "File Size: 1024.00 KB"},
        {1048577, "File Size: 1.00 MB"},
        {1073741824, "File Size: 1024.00 MB"},
        {1073741825, "File Size: 1.00 GB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        const std::string path = Scratch("size-" + std::to_string(c.size) + ".u8");
        {
            std::ofstream(path, std::ios::binary | std::ios::trunc).put('\x80');
        }
        ASSERT_EQ(::truncate(path.c_str(), c.size), 0);  // sparse beyond the first byte
        TAVProbe probe;
        ASSERT_TRUE(probe.LoadFile(path, "u8")) << probe.LastErrMsg();
        EXPECT_EQ(probe.ForceFormat(), "u8");
        EXPECT_EQ(probe.FormatName(), "u8");
        EXPECT_EQ(probe.FileSize(), c.size);
        const auto lines = Lines(probe.FileInfoText());
        ASSERT_GT(lines.size(), 3u);
        EXPECT_EQ(lines[3], c.line);
        probe.CloseFile();
        EXPECT_EQ(probe.ForceFormat(), "");
        EXPECT_EQ(probe.FileSize(), -1);
        std::filesystem::remove(path);
    }
}

TEST_F(ProbeInfo, CountsAndFirstIndexes)
{
    struct Case {
        const char* name;
        int streams, programs;
        int audio, firstAudio, video, firstVideo, subtitle, firstSubtitle;
    };
    const Case cases[] = {
        {"rich.mkv", 4, 0, 2, 1, 1, 0, 1, 3},
        {"lang.ts", 2, 1, 1, 1, 1, 0, 0, -1},
        {"audio.mp3", 1, 0, 1, 0, 0, -1, 0, -1},
        {"video.avi", 1, 0, 0, -1, 1, 0, 0, -1},
        {"中文视频文件.mp4", 2, 0, 1, 1, 1, 0, 0, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TAVProbe probe;
        ASSERT_TRUE(probe.LoadFile(Media(c.name))) << probe.LastErrMsg();
        EXPECT_EQ(probe.FileName(), Media(c.name));
        EXPECT_EQ(probe.FileSize(), static_cast<int64_t>(std::filesystem::file_size(Media(c.name))));
        EXPECT_EQ(probe.StreamCount(), c.streams);
        EXPECT_EQ(probe.ProgramCount(), c.programs);
        EXPECT_EQ(probe.AudioStreamCount(), c.audio);
        EXPECT_EQ(probe.FirstAudioStreamIndex(), c.firstAudio);
        EXPECT_EQ(probe.VideoStreamCount(), c.video);
        EXPECT_EQ(probe.FirstVideoStreamIndex(), c.firstVideo);
        EXPECT_EQ(probe.SubtitleStreamCount(), c.subtitle);
        EXPECT_EQ(probe.FirstSubtitleStreamIndex(), c.firstSubtitle);
    }
}

TEST_F(ProbeInfo, StreamRecordsOfAClipWithEveryKind)
{
    TAVProbe probe;
    ASSERT_TRUE(probe.LoadFile(Media("rich.mkv")));

    const TVideoStreamInfo v = probe.FirstVideoStreamInfo();
    EXPECT_EQ(v.CodecName, "mpeg4(MPEG-4 part 2)");
    EXPECT_EQ(v.Width, 320);
    EXPECT_EQ(v.Height, 240);
    EXPECT_NEAR(v.AspectRatio, 4.0 / 3.0, 1e-6);
    EXPECT_EQ(v.PixFmt, AV_PIX_FMT_YUV420P);
    EXPECT_EQ(v.FrameRate.num, 25);
    EXPECT_EQ(v.FrameRate.den, 1);
    EXPECT_EQ(v.Language, "");
    // Matroska counts in milliseconds; every stamp was shifted by 1.5 s.
    EXPECT_GE(v.StartTime, 1500);
    EXPECT_EQ(v.StartTimeScaled, v.StartTime * 1000);
    EXPECT_EQ(v.Duration, -1);
    EXPECT_EQ(v.DurationScaled, -1);

    for (int index : {-1, 2}) {
        SCOPED_TRACE(index);
        const TAudioStreamInfo a = probe.AudioStreamInfo(index);
        EXPECT_EQ(a.Language, "eng");
        EXPECT_EQ(a.CodecName, "vorbis(Vorbis)");
        EXPECT_EQ(a.Channels, 2);
        EXPECT_EQ(a.SampleRate, 44100);
        EXPECT_EQ(a.SampleFormat, AV_SAMPLE_FMT_FLTP);
    }

    const TSubtitleStreamInfo s = probe.FirstSubtitleStreamInfo();
    EXPECT_EQ(s.Language, "chi");
    EXPECT_EQ(s.CodecName, "srt(SubRip subtitle)");

    EXPECT_TRUE(probe.IsVideoStream(0));
    EXPECT_TRUE(probe.IsAudioStream(1));
    EXPECT_TRUE(probe.IsAudioStream(2));
    EXPECT_TRUE(probe.IsSubtitleStream(3));
    EXPECT_FALSE(probe.IsVideoStream(1));
    EXPECT_FALSE(probe.IsSubtitleStream(0));

    // Known durations are rescaled to microseconds.
    ASSERT_TRUE(probe.LoadFile(Media("av.mp4")));
    const TAudioStreamInfo aac = probe.FirstAudioStreamInfo();
    EXPECT_EQ(aac.CodecName, "aac(AAC (Advanced Audio Coding))");
    EXPECT_GT(aac.Duration, 0);
    EXPECT_EQ(aac.DurationScaled, aac.Duration * 1000000 / 44100);
}

TEST_F(ProbeInfo, StreamLookupsReportWhatIsWrong)
{
    LogCapture log;
    TAVProbe rich;
    ASSERT_TRUE(rich.LoadFile(Media("rich.mkv")));
    TAVProbe audioOnly;
    ASSERT_TRUE(audioOnly.LoadFile(Media("audio.mp3")));

    struct Case {
        const char* what;
        TCustomAVProbe* probe;
        std::function<bool(TCustomAVProbe&)> cleared;  // the call, true when its result is the cleared one
        const char* message;
    };
    const Case cases[] = {
        {"no video", &audioOnly,
         [](TCustomAVProbe& p) {
             const TVideoStreamInfo v = p.FirstVideoStreamInfo();
             return v.Width == -1 && v.Height == -1 && v.CodecName.empty() && v.StartTime == -1 &&
                    v.AspectRatio == -1 && v.PixFmt == AV_PIX_FMT_NONE;
         },
         "no video stream."},
        {"no subtitle", &audioOnly, [](TCustomAVProbe& p) { return p.FirstSubtitleStreamInfo().CodecName.empty(); },
         "no subtitle stream."},
        {"index too large", &rich, [](TCustomAVProbe& p) { return p.AudioStreamInfo(4).SampleRate == -1; },
         "stream index #4 is invalid."},
        {"negative index", &rich, [](TCustomAVProbe& p) { return !p.IsAudioStream(-1); },
         "stream index #-1 is invalid."},
        {"audio as video", &rich, [](TCustomAVProbe& p) { return p.VideoStreamInfo(1).Width == -1; },
         "stream #1 is not video stream."},
        {"subtitle as audio", &rich, [](TCustomAVProbe& p) { return p.AudioStreamInfo(3).Channels == -1; },
         "stream #3 is not audio stream."},
        {"video as subtitle", &rich, [](TCustomAVProbe& p) { return p.SubtitleStreamInfo(0).Language.empty(); },
         "stream #0 is not subtitle stream."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        log.Clear();
        EXPECT_TRUE(c.cleared(*c.probe));
        EXPECT_EQ(c.probe->LastErrMsg(), c.message);
        const auto posts = log.From(c.probe);
        ASSERT_EQ(posts.size(), 1u);
        EXPECT_EQ(posts[0].Level, llError);
        EXPECT_EQ(posts[0].Msg, c.message);
    }
}

TEST_F(ProbeInfo, FileStreamInfoReadsTheContainer)
{
    TAVProbe probe;
    ASSERT_TRUE(probe.LoadFile(Media("rich.mkv")));
    const TFileStreamInfo info = probe.FileStreamInfo();
    EXPECT_EQ(info.Title, "Vexa rich clip");
    EXPECT_EQ(info.Comment, "generated");  // a Matroska tag, stored as COMMENT
    EXPECT_EQ(info.Genre, "Test");
    EXPECT_EQ(info.Author, "");
    EXPECT_EQ(info.Album, "");
    EXPECT_EQ(info.TimeStamp, 1272717296);  // 2010-05-01 12:34:56 UTC
    EXPECT_GE(info.StartTime, 1400000);
    EXPECT_LE(info.StartTime, 1500000);
    EXPECT_GT(info.Duration, 3000000);
    EXPECT_GT(info.BitRate, 0);
    EXPECT_EQ(info.Year, 0);
    EXPECT_EQ(info.Track, 0);

    ASSERT_TRUE(probe.LoadFile(Media("audio.wav")));
    const TFileStreamInfo wav = probe.FileStreamInfo();
    EXPECT_EQ(wav.StartTime, -1);
    EXPECT_EQ(wav.Duration, 2000000);
    EXPECT_EQ(wav.TimeStamp, 0);
    EXPECT_EQ(wav.Title, "");

    // Year and track come from their tags; texts keep their characters
    // whatever the locale.
    InputContextPtr ctx = OpenRaw(Media("audio.mp3"));
    AV.av_dict_set(&ctx->metadata, "date", "2009-03-01", 0);
    AV.av_dict_set(&ctx->metadata, "track", "7/12", 0);
    AV.av_dict_set(&ctx->metadata, "album", "专辑", 0);
    TAVProbe attached;
    attached.SetFileHandle(ctx.get());
    const TFileStreamInfo tagged = attached.FileStreamInfo();
    EXPECT_EQ(tagged.Year, 2009);
    EXPECT_EQ(tagged.Track, 7);
    EXPECT_EQ(tagged.Album, "专辑");
}

TEST_F(ProbeInfo, CodecDisplayNameWithoutADecoder)
{
    CodecParametersPtr par(AV.avcodec_parameters_alloc());
    par->codec_type = AVMEDIA_TYPE_VIDEO;
    par->codec_id = AV_CODEC_ID_NONE;
    par->codec_tag = MKTAG('A', 'B', 'C', 'D');
    EXPECT_EQ(TCustomAVProbe::CodecDisplayName(par.get()), "ABCD / 0x44434241");
    par->codec_tag = 0x0001;
    EXPECT_EQ(TCustomAVProbe::CodecDisplayName(par.get()), "0x0001");
    par->codec_tag = MKTAG('A', 'B', 'C', 0x7F);
    EXPECT_EQ(TCustomAVProbe::CodecDisplayName(par.get()), "0x7f434241");
    par->codec_id = AV_CODEC_ID_MPEG2TS;
    EXPECT_EQ(TCustomAVProbe::CodecDisplayName(par.get()), "mpeg2ts");
    par->codec_id = AV_CODEC_ID_TTF;  // registered, but nothing decodes it
    EXPECT_EQ(TCustomAVProbe::CodecDisplayName(par.get()), "ttf");
}

TEST_F(ProbeInfo, AttachedContextIsReadButNeverClosed)
{
    InputContextPtr ctx = OpenRaw(Media("rich.mkv"));
    ASSERT_TRUE(ctx);
    {
        LogCapture log;
        TAVProbe probe;
        probe.SetFileHandle(ctx.get());
        EXPECT_EQ(probe.FileHandle(), ctx.get());
        EXPECT_EQ(probe.StreamCount(), 4);
        EXPECT_EQ(probe.FileName(), Media("rich.mkv"));
        EXPECT_EQ(probe.FirstSubtitleStreamInfo().Language, "chi");
        EXPECT_EQ(probe.ForceFormat(), "");
        // Seeking would move its owner's read position.
        EXPECT_THROW(
            try { probe.Seek(0); } catch (const Error& e) {
                EXPECT_STREQ(e.what(), "file cannot be seeked, handle is readonly.");
                throw;
            },
            Error);
        EXPECT_EQ(probe.LastErrMsg(), "file cannot be seeked, handle is readonly.");
        ASSERT_EQ(log.From(&probe).size(), 1u);
        EXPECT_EQ(log.From(&probe)[0].Level, llWarning);

        probe.SetFileHandle(nullptr);  // detach
        EXPECT_EQ(probe.FileHandle(), nullptr);
        EXPECT_EQ(probe.StreamCount(), -1);
        probe.SetFileHandle(ctx.get());
    }  // destroyed while attached
    PacketPtr pkt(AV.av_packet_alloc());
    EXPECT_GE(AV.av_read_frame(ctx.get(), pkt.get()), 0);  // still open and readable
}

TEST_F(ProbeInfo, MissingLibrariesRaise)
{
    TAVProbe probe;
    probe.UnloadAVLib();
    EXPECT_FALSE(probe.AVLibLoaded());
    try {
        probe.LoadFile(Media("av.mp4"));
        ADD_FAILURE() << "no error raised";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "LibAVCodec not loaded.");
    }
    EXPECT_THROW(probe.SetFileHandle(nullptr), Error);
    ASSERT_TRUE(probe.LoadAVLib(platform::LibraryFolder())) << probe.LastErrMsg();
    EXPECT_TRUE(probe.LoadFile(Media("av.mp4")));
}

// --- The description text ---------------------------------------------------

// Lines of the text of a context changed to show one rule.
class ProbeInfoLines : public ProbeInfo {
protected:
    std::vector<std::string> LinesOf(const std::function<void(AVFormatContext*)>& change)
    {
        InputContextPtr ctx = OpenRaw(Media("gop10.mp4"));
        change(ctx.get());
        TAVProbe probe;
        probe.SetFileHandle(ctx.get());
        return Lines(probe.FileInfoText());
    }
    static std::string StreamLine(const std::vector<std::string>& lines)
    {
        for (const std::string& l : lines)
            if (l.rfind("Stream #0", 0) == 0)
                return l;
        return "";
    }
};

TEST_F(ProbeInfoLines, DurationStartTimeAndBitRateLines)
{
    struct Case {
        const char* what;
        std::function<void(AVFormatContext*)> change;
        const char* line;     // expected among the lines
        const char* missing;  // a line prefix that must not appear
    };
    const Case cases[] = {
        {"h:m:s.ms", [](AVFormatContext* c) { c->duration = 3723456000LL; }, "Duration: 01:02:03.456", nullptr},
        {"100 hours", [](AVFormatContext* c) { c->duration = 360000000000LL; }, "Duration: 100:00:00.000", nullptr},
        {"unknown duration", [](AVFormatContext* c) { c->duration = AV_NOPTS_VALUE; }, "Duration: N/A", nullptr},
        {"999 bit/s", [](AVFormatContext* c) { c->bit_rate = 999; }, "Bit Rate: 0 kb/s", nullptr},
        {"no bit rate", [](AVFormatContext* c) { c->bit_rate = 0; }, "Bit Rate: N/A", nullptr},
        {"start 1.5 s", [](AVFormatContext* c) { c->start_time = 1500000; }, "StartTime: 1.500000", nullptr},
        {"unknown start", [](AVFormatContext* c) { c->start_time = AV_NOPTS_VALUE; }, nullptr, "StartTime:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto lines = LinesOf(c.change);
        if (c.line) {
            EXPECT_TRUE(HasLine(lines, c.line)) << ::testing::PrintToString(lines);
        }
        if (c.missing) {
            EXPECT_FALSE(HasLineStarting(lines, c.missing)) << ::testing::PrintToString(lines);
        }
    }
}

TEST_F(ProbeInfoLines, RatesPrintWholeDecimalOrInThousands)
{
    struct Case {
        const char* what;
        std::function<void(AVStream*)> change;
        const char* part;
    };
    const Case cases[] = {
        {"25", [](AVStream* s) { s->avg_frame_rate = {25, 1}; }, ", 25 fps, 25 tbr, "},
        {"29.97",
         [](AVStream* s) {
             s->avg_frame_rate = {30000, 1001};
             s->r_frame_rate = {30000, 1001};
         },
         ", 29.97 fps, 29.97 tbr, "},
        {"90k", [](AVStream* s) { s->time_base = {1, 90000}; }, ", 90k tbn"},
        {"1k", [](AVStream* s) { s->time_base = {1, 1000}; }, ", 1k tbn"},
        {"12800", [](AVStream* s) { s->time_base = {1, 12800}; }, ", 12800 tbn"},
        {"unknown average", [](AVStream* s) { s->avg_frame_rate = {0, 0}; }, ": Video: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string line = StreamLine(LinesOf([&](AVFormatContext* ctx) { c.change(ctx->streams[0]); }));
        EXPECT_NE(line.find(c.part), std::string::npos) << line;
        if (std::string(c.what) == "unknown average") {
            EXPECT_EQ(line.find(" fps"), std::string::npos) << line;
        }
    }
}

TEST_F(ProbeInfo, RatesOfRealClips)
{
    struct Case {
        const char* file;
        const char* part;
    };
    const Case cases[] = {
        {"ntsc.mkv", ", 29.97 fps, 29.97 tbr, 1k tbn, "},
        {"av.flv", ", 25 fps, 25 tbr, 1k tbn, "},
        {"av.mpg", ", 25 fps, 25 tbr, 90k tbn, "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        TAVProbe probe;
        ASSERT_TRUE(probe.LoadFile(Media(c.file)));
        EXPECT_NE(probe.FileInfoText().find(c.part), std::string::npos) << probe.FileInfoText();
    }
}

// Sound that starts before zero (the encoder's priming samples) prints its
// sign once, in front.
TEST_F(ProbeInfoLines, NegativeStreamStartPrintsItsSign)
{
    const std::pair<int64_t, const char*> cases[] = {
        {-1024, ", StartTime: -0.021333, "}, {-72000, ", StartTime: -1.500000, "}, {1024, ", StartTime: 0.021333, "}};
    for (const auto& [start, part] : cases) {
        const std::string line = StreamLine(LinesOf([start = start](AVFormatContext* c) {
            c->streams[0]->time_base = {1, 48000};
            c->streams[0]->start_time = start;
        }));
        EXPECT_NE(line.find(part), std::string::npos) << line;
    }
}

TEST_F(ProbeInfoLines, StreamAspectDifferingFromTheCodecShowsParAndDar)
{
    const std::string plain = StreamLine(LinesOf([](AVFormatContext*) {}));
    EXPECT_EQ(plain.find("PAR"), std::string::npos) << plain;
    const std::string line = StreamLine(LinesOf([](AVFormatContext* c) { c->streams[0]->sample_aspect_ratio = {4, 3}; }));
    // 320 x 4 : 240 x 3 reduces to 16:9; the rates follow the aspect.
    EXPECT_NE(line.find(", PAR 4:3 DAR 16:9, 25 fps"), std::string::npos) << line;
}

TEST_F(ProbeInfoLines, MetadataBlocks)
{
    const auto lines = LinesOf([](AVFormatContext* c) {
        AV.av_dict_free(&c->metadata);
        AV.av_dict_set(&c->metadata, "TIT2", "A title", 0);
        AV.av_dict_set(&c->metadata, "language", "ger", 0);
        AV.av_dict_set(&c->metadata, "my key", "中文标题", 0);
        AVStream* s = c->streams[0];
        AV.av_dict_free(&s->metadata);
        AV.av_dict_set(&s->metadata, "language", "fre", 0);
    });
    const std::vector<std::string> expectedMetadata = {"Metadata:", "  title           : A title",
                                                       "  my key          : 中文标题"};
    auto at = std::find(lines.begin(), lines.end(), "Metadata:");
    ASSERT_NE(at, lines.end()) << ::testing::PrintToString(lines);
    EXPECT_EQ(std::vector<std::string>(at, at + 3), expectedMetadata);
    // A stream whose only entry is its language shows it in the stream line
    // and has no block.
    ASSERT_EQ(lines.back().rfind("Stream #0[0x1](fre), 1/12800: Video: ", 0), 0u) << lines.back();
}

TEST_F(ProbeInfoLines, TimeStampUsesTheZonesStandardTime)
{
    const char* old = std::getenv("TZ");
    const std::string saved = old ? old : "";
    struct Case {
        const char* tz;
        const char* line;
    };
    // 1272717296 s: 2010-05-01 12:34:56 UTC; the summer zone keeps its
    // standard offset.
    const Case cases[] = {
        {"UTC", "Time Stamp: 2010-05-01 12:34:56"},
        {"CST-8", "Time Stamp: 2010-05-01 20:34:56"},
        {"EST5EDT", "Time Stamp: 2010-05-01 07:34:56"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tz);
        ::setenv("TZ", c.tz, 1);
        ::tzset();
        const auto lines = LinesOf([](AVFormatContext* ctx) {
            AV.av_dict_set(&ctx->metadata, "creation_time", "2010-05-01T12:34:56.000000Z", 0);
        });
        EXPECT_TRUE(HasLine(lines, c.line)) << ::testing::PrintToString(lines);
    }
    if (old)
        ::setenv("TZ", saved.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}

// What the library says of a stream, read independently of the probe.
std::string CodecText(AVStream* st)
{
    CodecContextPtr dec(AV.avcodec_alloc_context3(nullptr));
    AV.avcodec_parameters_to_context(dec.get(), st->codecpar);
    char buf[256] = {0};
    AV.avcodec_string(buf, sizeof buf, dec.get(), 0);
    return buf;
}

TEST_F(ProbeInfo, WholeTextOfAClipWithEveryKindOfStream)
{
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    const std::string path = Media("rich.mkv");
    InputContextPtr raw = OpenRaw(path);
    ASSERT_TRUE(raw);
    ASSERT_EQ(raw->duration, 3520000);
    ASSERT_EQ(raw->start_time, 1497000);
    const AVDictionaryEntry* encoder = AV.av_dict_get(raw->metadata, "ENCODER", nullptr, AV_DICT_MATCH_CASE);
    ASSERT_NE(encoder, nullptr);
    const double kb = static_cast<double>(std::filesystem::file_size(path)) / 1024;
    ASSERT_GT(kb, 1.0);
    ASSERT_LT(kb, 1024.0);

    char size[64];
    std::snprintf(size, sizeof size, "File Size: %.2f KB", kb);
    const std::vector<std::string> expected = {
        "File Name: " + path,
        "Format Name: matroska,webm",
        "Format Long Name: Matroska / WebM",
        size,
        "Duration: 00:00:03.520",
        "StartTime: 1.497000",
        "Bit Rate: " + std::to_string(raw->bit_rate / 1000) + " kb/s",
        "Time Stamp: 2010-05-01 12:34:56",
        "Metadata:",
        "  title           : Vexa rich clip",
        "  GENRE           : Test",
        "  creation_time   : 2010-05-01T12:34:56.000000Z",
        "  COMMENT         : generated",
        std::string("  ENCODER         : ") + encoder->value,
        "Stream #0, 1/1000: " + CodecText(raw->streams[0]) +
            ", 25 fps, 25 tbr, 1k tbn, StartTime: 1.520000, Duration: N/A",
        "  Metadata:",
        "    DURATION        : 00:00:03.520000000",
        "Stream #1(eng), 1/1000: " + CodecText(raw->streams[1]) + ", StartTime: 1.497000, Duration: N/A",
        "  Metadata:",
        "    DURATION        : 00:00:03.500000000",
        "Stream #2(eng), 1/1000: " + CodecText(raw->streams[2]) + ", StartTime: 1.497000, Duration: N/A",
        "  Metadata:",
        "    DURATION        : 00:00:03.500000000",
        "Stream #3(chi), 1/1000: " + CodecText(raw->streams[3]) + ", StartTime: 1.500000, Duration: N/A",
        "  Metadata:",
        "    DURATION        : 00:00:03.300000000",
    };
    TAVProbe probe;
    ASSERT_TRUE(probe.LoadFile(path));
    EXPECT_EQ(Lines(probe.FileInfoText()), expected);
}

TEST_F(ProbeInfo, WholeTextOfATransportStreamWithAProgram)
{
    const std::string path = Media("lang.ts");
    InputContextPtr raw = OpenRaw(path);
    ASSERT_TRUE(raw);
    TAVProbe probe;
    ASSERT_TRUE(probe.LoadFile(path));
    const auto lines = Lines(probe.FileInfoText());
    ASSERT_EQ(lines.size(), 13u) << ::testing::PrintToString(lines);
    EXPECT_EQ(lines[1], "Format Name: mpegts");
    EXPECT_EQ(lines[4], "Duration: " + ProbeDurationText(raw->duration));
    EXPECT_EQ(lines[5].rfind("StartTime: 0.", 0), 0u) << lines[5];
    EXPECT_EQ(lines[7], "Program 1 FFmpeg@Service01");
    EXPECT_EQ(lines[8], "  Metadata:");
    EXPECT_EQ(lines[9], "    service_name    : Service01");
    EXPECT_EQ(lines[10], "    service_provider: FFmpeg");
    // Stream identifiers in brackets, the 90 kHz time base in thousands, and
    // an audio stream whose only metadata is its language: no block follows.
    EXPECT_EQ(lines[11].rfind("Stream #0[0x100], 1/90000: " + CodecText(raw->streams[0]) +
                                  ", 25 fps, 25 tbr, 90k tbn, StartTime: 0.",
                              0),
              0u)
        << lines[11];
    EXPECT_EQ(lines[12].rfind("Stream #1[0x101](eng), 1/90000: " + CodecText(raw->streams[1]) + ", StartTime: 0.", 0),
              0u)
        << lines[12];
}

}  // namespace
}  // namespace vexa
