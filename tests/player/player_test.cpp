// The player end to end: real files, SDL's dummy sound driver and a
// recording video sink.
#include "player_test_util.h"

#include "media/ffmpeg_loader.h"
#include "media/unicode_protocol.h"
#include "platform/paths.h"

#include <dirent.h>

#include <algorithm>
#include <cmath>
#include <atomic>
#include <thread>

namespace vexa {
namespace {

using playertest::EventLog;
using playertest::Media;
using playertest::RecordingSink;
using playertest::Serve;
using playertest::WaitFor;

int ThreadCount()
{
    int n = 0;
    if (DIR* d = opendir("/proc/self/task")) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.')
                n++;
        closedir(d);
    }
    return n;
}

class PlayerTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        platform::MainThread::SetCurrentAsMain();
        playertest::UseDummyAudio();
        TFFPlayer probe;
        if (!probe.AVLibLoaded()) {
            ASSERT_TRUE(probe.LoadAVLib(platform::LibraryFolder())) << probe.LastErrMsg();
        }
    }

    TFFPlayer player;
    RecordingSink sink;
    EventLog log;
};

TEST_F(PlayerTest, OpenPausedShowsTheFirstPictureThenReportsPause)
{
    log.Attach(player);
    ASSERT_TRUE(player.Open(Media("av.mp4"), &sink, true)) << player.LastErrMsg();
    ASSERT_TRUE(WaitFor([&] { return log.Has(psPause); })) << log.Text();
    ASSERT_TRUE(WaitFor([&] { return sink.Presented() > 0; }));
    EXPECT_EQ(log.states.front(), psPlay);
    EXPECT_TRUE(player.Paused());
    EXPECT_EQ(player.PlayState(), psPause);
    EXPECT_EQ(sink.LastSize(), std::make_pair(320, 240));

    // Paused means paused: the picture and the position stay where they are.
    Serve(400);
    const int shown = sink.Presented();
    const int64_t pts = player.CurrentPTS();
    Serve(400);
    EXPECT_LE(sink.Presented() - shown, 1);
    EXPECT_LT(std::llabs(player.CurrentPTS() - pts), 50000);
    EXPECT_LT(pts, 200000);

    int64_t framePts = -2;
    const platform::Bitmap& bmp = player.CurrentFrame(framePts);
    EXPECT_EQ(bmp.Width(), 320);
    EXPECT_EQ(bmp.Height(), 240);
    EXPECT_GE(framePts, 0);
    EXPECT_LT(framePts, 200000);
}

struct EndCase {
    const char* file;
    bool video;
};

class PlayToEndTest : public PlayerTest, public testing::WithParamInterface<EndCase> {};

TEST_P(PlayToEndTest, PlaysToTheEndAndReportsTheDuration)
{
    const EndCase c = GetParam();
    log.Attach(player);
    ASSERT_TRUE(player.Open(Media(c.file), &sink, false)) << player.LastErrMsg();
    ASSERT_TRUE(WaitFor([&] { return log.Has(psEnd); })) << log.Text();
    EXPECT_EQ(log.states.front(), psPlay);
    ASSERT_FALSE(log.positions.empty());
    // Positions rise and end at the duration. The video clock may step back
    // a little when the picture schedule is corrected to follow the sound.
    EXPECT_NEAR(static_cast<double>(log.positions.back()), 2000000.0, 150000.0);
    for (size_t i = 1; i < log.positions.size(); i++)
        EXPECT_GT(log.positions[i], log.positions[i - 1] - 100000) << i;
    if (c.video) {
        EXPECT_GT(sink.Presented(), 25);  // 2 s at 25 pictures per second, some may drop
        EXPECT_EQ(player.VideoStreamIndex() >= 0, true);
    } else {
        // A file without pictures shows the sound instead.
        EXPECT_GT(sink.Presented(), 0);
        int64_t pts = 0;
        EXPECT_TRUE(player.CurrentFrame(pts).Empty());
    }
    player.Stop(true);
    EXPECT_EQ(log.states.back(), psStop);
}

INSTANTIATE_TEST_SUITE_P(Files, PlayToEndTest,
                         testing::Values(EndCase{"av.mp4", true}, EndCase{"av.avi", true},
                                         EndCase{"video.avi", true}, EndCase{"audio.wav", false}),
                         [](const testing::TestParamInfo<EndCase>& i) {
                             std::string n = i.param.file;
                             std::replace(n.begin(), n.end(), '.', '_');
                             return n;
                         });

TEST_F(PlayerTest, SeekBeyondTheDurationEndsAtTheDuration)
{
    log.Attach(player);
    int64_t duration = -1;
    player.OnFileOpen = [&](TCustomPlayer*, int64_t d, int, int, int&, int&) { duration = d; };
    ASSERT_TRUE(player.Open(Media("long.avi"), &sink, false)) << player.LastErrMsg();
    ASSERT_TRUE(WaitFor([&] { return sink.Presented() > 0; }));
    player.Seek(int64_t{600000000}, 0, true);
    ASSERT_TRUE(WaitFor([&] { return log.Has(psEnd); })) << log.Text();
    EXPECT_FALSE(player.Seeking());
    EXPECT_NEAR(static_cast<double>(duration), 6000000.0, 100000.0);
    // The last picture is shown a picture's time before the end; the
    // position then reaches the duration and stops there.
    ASSERT_TRUE(WaitFor([&] { return log.positions.back() == duration; }, 2000)) << log.positions.back();
    Serve(200);
    EXPECT_EQ(log.positions.back(), duration);
    EXPECT_EQ(player.CurrentPTS() >= duration, true);
}

TEST_F(PlayerTest, SeekWhilePausedShowsThePictureThereAndStaysPaused)
{
    log.Attach(player);
    ASSERT_TRUE(player.Open(Media("long.avi"), &sink, true)) << player.LastErrMsg();
    ASSERT_TRUE(WaitFor([&] { return log.Has(psPause); })) << log.Text();
    player.Seek(int64_t{4000000}, sfBackward, true);
    // The picture shown is the key picture at or before the target.
    ASSERT_TRUE(WaitFor([&] {
        int64_t pts = 0;
        player.CurrentFrame(pts);
        return pts >= 2500000;
    }));
    int64_t pts = 0;
    player.CurrentFrame(pts);
    EXPECT_LE(pts, 4000000);
    EXPECT_TRUE(player.Paused());
    EXPECT_FALSE(player.Seeking());
    // Still paused: the picture does not run on.
    Serve(300);
    int64_t later = 0;
    player.CurrentFrame(later);
    EXPECT_LT(later - pts, 100000);
    EXPECT_FALSE(log.Has(psEnd));
}

TEST_F(PlayerTest, ASecondSeekWhileOneIsPendingIsIgnored)
{
    TVideoState is;
    StreamSeek(&is, 1000000, 0, 0);
    StreamSeek(&is, 4000000, 0, sfBackward);
    EXPECT_EQ(is.seek_pos, 1000000);
    EXPECT_EQ(is.seek_flags, 0);
    is.seek_req.store(0);  // the reader took it
    StreamSeek(&is, 4000000, 0, sfBackward);
    EXPECT_EQ(is.seek_pos, 4000000);
}

TEST_F(PlayerTest, TwoSeeksInARowBothLand)
{
    log.Attach(player);
    ASSERT_TRUE(player.Open(Media("long.avi"), &sink, false)) << player.LastErrMsg();
    ASSERT_TRUE(WaitFor([&] { return sink.Presented() > 0; }));
    player.Seek(int64_t{4000000}, sfBackward, true);
    EXPECT_FALSE(player.Seeking());
    player.Seek(int64_t{1000000}, sfBackward, true);
    EXPECT_FALSE(player.Seeking());
    // The second seek lands too: a picture from the first second shows and
    // the playback goes on from there.
    ASSERT_TRUE(WaitFor([&] {
        int64_t pts = 0;
        player.CurrentFrame(pts);
        return pts <= 1000000;
    }));
    // (the position follows the picture at the next report)
    ASSERT_TRUE(WaitFor([&] { return player.CurrentPTS() > 1000000 && player.CurrentPTS() < 2500000; }));
    EXPECT_FALSE(log.Has(psEnd));
}

TEST_F(PlayerTest, StepShowsOnePictureLeavesPausedAndReportsStepOnce)
{
    log.Attach(player);
    ASSERT_TRUE(player.Open(Media("long.avi"), &sink, true)) << player.LastErrMsg();
    ASSERT_TRUE(WaitFor([&] { return log.Has(psPause) && sink.Presented() > 0; })) << log.Text();
    Serve(200);
    int64_t before = 0;
    player.CurrentFrame(before);
    for (int i = 0; i < 3; i++) {
        player.StepToNextFrame();
        ASSERT_TRUE(WaitFor([&] { return player.Paused(); }));
        Serve(150);
    }
    int64_t after = 0;
    player.CurrentFrame(after);
    EXPECT_GT(after, before);
    EXPECT_LT(after - before, 400000);  // a few pictures, not a playing second
    EXPECT_TRUE(player.Paused());
    EXPECT_EQ(log.Count(psStep), 1) << log.Text();
    // Resuming clears the step: the next step is reported again.
    player.Resume();
    player.StepToNextFrame();
    Serve(100);
    EXPECT_EQ(log.Count(psStep), 2) << log.Text();
}

TEST_F(PlayerTest, CurrentFrameOfAnAudioOnlyFileIsEmptyWithoutATime)
{
    ASSERT_TRUE(player.Open(Media("audio.mp3"), &sink, false)) << player.LastErrMsg();
    int64_t pts = 0;
    const platform::Bitmap& bmp = player.CurrentFrame(pts);
    EXPECT_EQ(bmp.Width(), 0);
    EXPECT_EQ(bmp.Height(), 0);
    EXPECT_EQ(pts, -1);
    EXPECT_EQ(player.VideoStreamIndex(), -1);
    EXPECT_GE(player.AudioStreamIndex(), 0);
}

// An AVI whose audio stream claims a codec set-up no decoder accepts; its
// pictures are those of av.avi.
std::string MakeUndecodableAudioClip()
{
    const std::string out = std::string(VEXA_TEST_BINARY_DIR) + "/bad_audio.avi";
    AVFormatContext* raw = nullptr;
    if (OpenInputFile(&raw, EncodeLibFileName(Media("av.avi")), nullptr, nullptr) < 0)
        return "";
    InputContextPtr in(raw);
    AVFormatContext* oraw = nullptr;
    AV.avformat_alloc_output_context2(&oraw, nullptr, "avi", out.c_str());
    OutputContextPtr oc(oraw);
    if (!oc)
        return "";
    for (unsigned i = 0; i < in->nb_streams; i++) {
        AVStream* st = AV.avformat_new_stream(oc.get(), nullptr);
        AV.avcodec_parameters_copy(st->codecpar, in->streams[i]->codecpar);
        st->codecpar->codec_tag = 0;
        st->time_base = in->streams[i]->time_base;
        if (st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
            // AAC with an audio object type the decoder does not support.
            st->codecpar->codec_id = AV_CODEC_ID_AAC;
            AV.av_freep(&st->codecpar->extradata);
            st->codecpar->extradata = static_cast<uint8_t*>(AV.av_mallocz(2 + AV_INPUT_BUFFER_PADDING_SIZE));
            st->codecpar->extradata[0] = 0xF8;
            st->codecpar->extradata[1] = 0x10;
            st->codecpar->extradata_size = 2;
        }
    }
    if (OpenOutputIO(oc.get(), out) < 0 || AV.avformat_write_header(oc.get(), nullptr) < 0)
        return "";
    PacketPtr pkt(AV.av_packet_alloc());
    while (AV.av_read_frame(in.get(), pkt.get()) >= 0) {
        AV.av_packet_rescale_ts(pkt.get(), in->streams[pkt->stream_index]->time_base,
                                oc->streams[pkt->stream_index]->time_base);
        AV.av_interleaved_write_frame(oc.get(), pkt.get());
    }
    AV.av_write_trailer(oc.get());
    return out;
}

TEST_F(PlayerTest, AnUndecodableAudioStreamStillPlaysTheVideo)
{
    const std::string clip = MakeUndecodableAudioClip();
    ASSERT_FALSE(clip.empty());
    log.Attach(player);
    ASSERT_TRUE(player.Open(clip, &sink, false)) << player.LastErrMsg();
    EXPECT_EQ(player.AudioStreamIndex(), -1);
    EXPECT_GE(player.VideoStreamIndex(), 0);
    ASSERT_TRUE(WaitFor([&] { return log.Has(psEnd); })) << log.Text();
    EXPECT_GT(sink.Presented(), 25);
}

struct NoStreamCase {
    const char* file;
    bool disableAudio;
    bool disableVideo;
    const char* message;  // after "<file>: "
};

class NoStreamTest : public PlayerTest, public testing::WithParamInterface<NoStreamCase> {};

TEST_P(NoStreamTest, FailsWithItsMessage)
{
    const NoStreamCase c = GetParam();
    player.SetDisableAudio(c.disableAudio);
    player.SetDisableVideo(c.disableVideo);
    const int threads = ThreadCount();
    EXPECT_FALSE(player.Open(Media(c.file), &sink, false));
    EXPECT_EQ(player.LastErrMsg(), Media(c.file) + ": " + c.message);
    EXPECT_EQ(player.PlayState(), psStop);
    EXPECT_TRUE(player.Paused());
    EXPECT_EQ(ThreadCount(), threads);
}

INSTANTIATE_TEST_SUITE_P(Cases, NoStreamTest,
                         testing::Values(NoStreamCase{"video.avi", false, true, "could not open codecs, no stream to play."},
                                         NoStreamCase{"audio.mp3", true, false, "could not open codecs, no stream to play."},
                                         NoStreamCase{"av.mp4", true, true, "could not open codecs, no stream to play."},
                                         NoStreamCase{"missing.mp4", false, false, "No such file or directory"}));

TEST_F(PlayerTest, TwoPlaybacksOneAfterTheOtherShareNoEvents)
{
    log.Attach(player);
    ASSERT_TRUE(player.Open(Media("long.avi"), &sink, false)) << player.LastErrMsg();
    player.Seek(int64_t{5000000}, sfBackward, true);
    ASSERT_TRUE(WaitFor([&] { return player.CurrentPTS() > 4000000; }));
    // The second Open stops the first; nothing of the first arrives after.
    ASSERT_TRUE(player.Open(Media("av.mp4"), &sink, false)) << player.LastErrMsg();
    const size_t firstStates = log.states.size();
    const size_t firstPositions = log.positions.size();
    EXPECT_EQ(log.states.back(), psStop);
    ASSERT_TRUE(WaitFor([&] { return log.Has(psEnd); })) << log.Text();
    ASSERT_GT(log.states.size(), firstStates);
    EXPECT_EQ(log.states[firstStates], psPlay);
    for (size_t i = firstStates; i < log.states.size(); i++)
        EXPECT_NE(log.states[i], psStop);
    for (size_t i = firstPositions; i < log.positions.size(); i++)
        EXPECT_LE(log.positions[i], 2100000) << "a position of the first file";
}

TEST_F(PlayerTest, StopWhilePlayingEndsEveryThread)
{
    const int threads = ThreadCount();
    log.Attach(player);
    ASSERT_TRUE(player.Open(Media("long.avi"), &sink, false)) << player.LastErrMsg();
    ASSERT_TRUE(WaitFor([&] { return sink.Presented() > 5; }));
    EXPECT_GT(ThreadCount(), threads);
    player.Stop(true);
    EXPECT_EQ(log.states.back(), psStop);
    EXPECT_EQ(player.PlayState(), psStop);
    EXPECT_TRUE(player.Paused());
    EXPECT_EQ(ThreadCount(), threads);
    // Operations on a stopped player do nothing.
    player.Pause();
    player.Seek(1.0, 0, true);
    player.StepToNextFrame();
    EXPECT_EQ(player.PlayState(), psStop);
}

TEST_F(PlayerTest, ABusyMainThreadGetsTheNewestPositionNotABacklog)
{
    log.Attach(player);
    ASSERT_TRUE(player.Open(Media("long.avi"), &sink, false)) << player.LastErrMsg();
    ASSERT_TRUE(WaitFor([&] { return log.positions.size() > 3; }));
    // The main thread does not serve for a while; positions keep coming.
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    const size_t before = log.positions.size();
    Serve(30);
    const size_t burst = log.positions.size() - before;
    EXPECT_LE(burst, 3u) << "positions should collapse in the ring";
    ASSERT_GT(burst, 0u);
    EXPECT_NEAR(static_cast<double>(log.positions.back()), static_cast<double>(player.CurrentPTS()), 100000.0);
}

TEST(PlayEventRing, CollapsesRunsAndDropsTheOldestWhenFull)
{
    struct Case {
        std::vector<std::pair<int, int64_t>> pushed;
        std::vector<std::pair<int, int64_t>> popped;
    };
    const int P = TPlayEventRing::etPosition, S = TPlayEventRing::etState;
    const std::vector<Case> cases = {
        {{{P, 1}, {P, 2}, {P, 3}}, {{P, 3}}},
        {{{P, 1}, {S, psPause}, {P, 2}, {P, 4}}, {{P, 1}, {S, psPause}, {P, 4}}},
        {{{S, psPlay}, {S, psEnd}}, {{S, psEnd}}},
        // Eleven alternating events: nine fit, the two oldest go.
        {{{P, 0}, {S, 1}, {P, 2}, {S, 3}, {P, 4}, {S, 5}, {P, 6}, {S, 7}, {P, 8}, {S, 9}, {P, 10}},
         {{P, 2}, {S, 3}, {P, 4}, {S, 5}, {P, 6}, {S, 7}, {P, 8}, {S, 9}, {P, 10}}},
    };
    for (const Case& c : cases) {
        TPlayEventRing ring;
        for (auto [t, v] : c.pushed)
            ring.Push(t, v);
        std::vector<std::pair<int, int64_t>> got;
        TPlayEventRing::Item item;
        while (ring.Pop(item))
            got.emplace_back(item.type, item.value);
        EXPECT_EQ(got, c.popped);
        EXPECT_FALSE(ring.WaitFor(std::chrono::milliseconds(0)));
    }
}

}  // namespace
}  // namespace vexa

namespace vexa {
namespace {

TEST_F(PlayerTest, StreamSwitchingChecksTheIndexAndSwitches)
{
    ASSERT_TRUE(player.Open(Media("rich.mkv"), &sink, true)) << player.LastErrMsg();
    const int video = player.VideoStreamIndex();
    const int audio = player.AudioStreamIndex();
    ASSERT_GE(video, 0);
    ASSERT_GE(audio, 0);
    TAVProbe& probe = player.AVProbe();
    int otherAudio = -1;
    for (int i = 0; i < probe.StreamCount(); i++)
        if (i != audio && i != video && probe.IsAudioStream(i))
            otherAudio = i;
    ASSERT_GE(otherAudio, 0);

    struct Refused {
        int index;
        const char* message;
    };
    for (const Refused& r : {Refused{video, "the stream type is not matched."}, Refused{99, "the stream index is not valid."},
                             Refused{-1, "the stream index is not valid."}}) {
        player.SetAudioStreamIndex(r.index);
        EXPECT_EQ(player.LastErrMsg(), r.message) << r.index;
        EXPECT_EQ(player.AudioStreamIndex(), audio);
    }
    player.SetAudioStreamIndex(otherAudio);
    EXPECT_EQ(player.AudioStreamIndex(), otherAudio);
    // Subtitles go off with -1; the video stream is not a subtitle stream.
    player.SetSubtitleStreamIndex(video);
    EXPECT_EQ(player.LastErrMsg(), "the stream type is not matched.");
    player.SetSubtitleStreamIndex(-1);
    EXPECT_EQ(player.SubtitleStreamIndex(), -1);
    player.Resume();
    ASSERT_TRUE(WaitFor([&] { return player.CurrentPTS() > 300000; }));
}

TEST_F(PlayerTest, TheHookChangesEveryPictureShown)
{
    player.SetHook(true);
    std::atomic<int> hooked{0};
    player.OnHook = [&](TCustomPlayer*, platform::Bitmap& bmp, int64_t) {
        bmp.Fill(255, 255, 255);
        hooked++;
    };
    ASSERT_TRUE(player.Open(Media("colour.avi"), &sink, false)) << player.LastErrMsg();
    ASSERT_TRUE(WaitFor([&] { return sink.Presented() > 3; }));
    EXPECT_GT(hooked.load(), 3);
    EXPECT_GT(sink.LastLuma(), 200.0);  // white, where the clip is red and blue
}

TEST_F(PlayerTest, AnAudioOnlyFileShowsItsSoundInBothKinds)
{
    for (TShowAudio kind : {saWave, saRDFT}) {
        RecordingSink area;
        player.SetShowAudio(kind);
        ASSERT_TRUE(player.Open(Media("audio.mp3"), &area, false)) << player.LastErrMsg();
        ASSERT_TRUE(WaitFor([&] { return area.Presented() > 5; })) << kind;
        EXPECT_EQ(area.LastSize(), std::make_pair(640, 480)) << kind;
        EXPECT_GT(area.LastLuma(), 16.0) << kind;  // something drawn on black
        player.Stop(true);
    }
}

}  // namespace
}  // namespace vexa
