// Frame access of the probe: decoding, seeking, stepping between key frames
// and pictures, and copying pictures into bitmaps.
#include "probe_test_util.h"

#include "platform/error.h"

#include <cstdlib>

namespace vexa {
namespace {

using probetest::LogCapture;
using probetest::Media;

constexpr int64_t kFrame = 40000;  // 25 pictures a second
constexpr int64_t kGop = 10 * kFrame;

class ProbeFrames : public ::testing::Test {
protected:
    void SetUp() override
    {
        probetest::LoadProbeLibraries();
        // gop10.mp4: 4 s at 25 fps, a key frame every 10 pictures.
        ASSERT_TRUE(probe.LoadFile(Media("gop10.mp4"))) << probe.LastErrMsg();
    }

    // Decodes from the start until the picture at `pts`.
    void DecodeTo(int64_t pts)
    {
        ASSERT_TRUE(probe.Seek(0));
        do
            ASSERT_TRUE(probe.Decode()) << probe.LastErrMsg();
        while (probe.FrameInfo().PTS < pts);
        ASSERT_EQ(probe.FrameInfo().PTS, pts);
    }

    TAVProbe probe;
};

TEST_F(ProbeFrames, SequentialDecodingGivesEveryPictureWithItsKind)
{
    int count = 0;
    while (probe.Decode()) {
        const TFrameInfo& f = probe.FrameInfo();
        SCOPED_TRACE(count);
        ASSERT_EQ(f.PTS, count * kFrame);
        EXPECT_EQ(f.IsKeyFrame, count % 10 == 0);
        EXPECT_EQ(f.PictureType, count % 10 == 0 ? ptI : ptP);
        EXPECT_TRUE(f.Ready);
        EXPECT_EQ(f.StreamIndex, 0);
        EXPECT_EQ(f.Width, 320);
        EXPECT_EQ(f.Height, 240);
        EXPECT_EQ(f.PixFmt, AV_PIX_FMT_YUV420P);
        EXPECT_GE(f.Size, 320 * 240 * 3 / 2);
        EXPECT_EQ(f.Picture.data[0], f.Buffer);
        EXPECT_GE(f.Position, 0);
        ++count;
    }
    EXPECT_EQ(count, 100);
    EXPECT_TRUE(probe.IsEOF());
    EXPECT_EQ(probe.LastErrMsg(), "stream eof reached.");
    // The last picture stays, and asking again reads nothing.
    EXPECT_EQ(probe.FrameInfo().PTS, 99 * kFrame);
    EXPECT_FALSE(probe.Decode());
    // A seek clears the end.
    ASSERT_TRUE(probe.Seek(0));
    EXPECT_FALSE(probe.IsEOF());
    EXPECT_FALSE(probe.FrameInfo().Ready);
    ASSERT_TRUE(probe.Decode());
    EXPECT_EQ(probe.FrameInfo().PTS, 0);
}

TEST_F(ProbeFrames, SeekLandsOnKeyFrames)
{
    struct Case {
        int64_t target;
        TSeekFlags flags;
        int64_t landed;
    };
    const Case cases[] = {
        {1000000, sfBackward, 800000},  // the key frame at or before
        {1000000, 0, 1200000},          // the key frame at or after
        {1200000, sfBackward, 1200000},
        {0, 0, 0},
        {-500000, 0, 0},  // before the start counts as the start
        {3500000, sfBackward, 3200000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        ASSERT_TRUE(probe.Seek(c.target, c.flags)) << probe.LastErrMsg();
        ASSERT_TRUE(probe.Decode());
        EXPECT_EQ(probe.FrameInfo().PTS, c.landed);
        EXPECT_TRUE(probe.FrameInfo().IsKeyFrame);
    }
}

TEST_F(ProbeFrames, NextAndPreviousKeyFrames)
{
    struct Case {
        const char* what;
        int64_t from;
        std::function<bool(TAVProbe&)> step;
        int64_t landed;
    };
    auto next = [](TAVProbe& p) { return p.DecodeNextKeyFrame(); };
    auto previous = [](TAVProbe& p) { return p.DecodePreviousKeyFrame(); };
    const Case cases[] = {
        {"next from a key frame", 3 * kGop, next, 4 * kGop},
        {"next from inside a group", 3 * kGop + 3 * kFrame, next, 4 * kGop},
        {"next from the start", 0, next, kGop},
        {"previous from inside a group", 3 * kGop + 3 * kFrame, previous, 3 * kGop},
        {"previous from a key frame", 3 * kGop, previous, 2 * kGop},
        {"previous from the first group", 4 * kFrame, previous, 0},
        {"previous from the start", 0, previous, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DecodeTo(c.from);
        ASSERT_TRUE(c.step(probe)) << probe.LastErrMsg();
        EXPECT_EQ(probe.FrameInfo().PTS, c.landed);
        EXPECT_TRUE(probe.FrameInfo().IsKeyFrame);
    }
}

TEST_F(ProbeFrames, PreviousFrameStepsBackOnePicture)
{
    for (int64_t from : {3 * kGop + 3 * kFrame, 3 * kGop, 3 * kGop + kFrame, kFrame}) {
        SCOPED_TRACE(from);
        DecodeTo(from);
        ASSERT_TRUE(probe.DecodePreviousFrame()) << probe.LastErrMsg();
        EXPECT_EQ(probe.FrameInfo().PTS, from - kFrame);
    }
    // Stepping back repeatedly walks the pictures in reverse.
    DecodeTo(2 * kGop + kFrame);
    for (int64_t expected = 2 * kGop; expected >= kGop - 2 * kFrame; expected -= kFrame) {
        ASSERT_TRUE(probe.DecodePreviousFrame());
        EXPECT_EQ(probe.FrameInfo().PTS, expected);
    }
}

TEST_F(ProbeFrames, NoKeyFrameAfterTheLastOne)
{
    DecodeTo(9 * kGop + kFrame);
    LogCapture log;
    EXPECT_FALSE(probe.DecodeNextKeyFrame());
    EXPECT_EQ(probe.LastErrMsg(), "could not seek to position 3.680 seconds");
    const auto posts = log.From(&probe);
    ASSERT_FALSE(posts.empty());
    EXPECT_EQ(posts.back().Level, llError);
}

TEST_F(ProbeFrames, StreamChoice)
{
    struct Case {
        const char* file;
        int index;
        const char* message;
    };
    const Case cases[] = {
        {"audio.mp3", -1, "no video stream."},
        {"rich.mkv", 1, "stream #1 is not video stream."},
        {"rich.mkv", 3, "stream #3 is not video stream."},
        {"rich.mkv", 4, "stream index #4 is invalid."},
        {"rich.mkv", -2, "stream index #-2 is invalid."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        LogCapture log;
        TAVProbe p;
        ASSERT_TRUE(p.LoadFile(Media(c.file)));
        EXPECT_FALSE(p.Decode(c.index));
        EXPECT_EQ(p.LastErrMsg(), c.message);
        const auto posts = log.From(&p);
        ASSERT_EQ(posts.size(), 1u);
        EXPECT_EQ(posts[0].Level, llError);
    }
    // An explicit video stream, then -1 for the one decoded last.
    TAVProbe rich;
    ASSERT_TRUE(rich.LoadFile(Media("rich.mkv")));
    ASSERT_TRUE(rich.Decode(0));
    ASSERT_TRUE(rich.Decode(-1));
    EXPECT_EQ(rich.FrameInfo().StreamIndex, 0);
    // Stamps count from the stream's own start (1.5 s into this file).
    EXPECT_EQ(rich.FrameInfo().PTS, kFrame);
}

TEST_F(ProbeFrames, ReorderedPicturesKeepTheirOwnTimes)
{
    // av.mp4 is H.264 with B-pictures: decoding order differs from display
    // order, yet every picture comes out with its display time.
    TAVProbe p;
    ASSERT_TRUE(p.LoadFile(Media("av.mp4")));
    int count = 0;
    bool sawB = false;
    while (p.Decode()) {
        ASSERT_EQ(p.FrameInfo().PTS, count * kFrame) << count;
        sawB = sawB || p.FrameInfo().PictureType == ptB;
        ++count;
    }
    EXPECT_EQ(count, 50);
    EXPECT_TRUE(sawB);
}

TEST_F(ProbeFrames, CopyToBitmapGivesThePicturesColours)
{
    LogCapture log;
    TAVProbe p;
    ASSERT_TRUE(p.LoadFile(Media("colour.avi")));
    platform::Bitmap bitmap;
    EXPECT_FALSE(p.CopyToBitmap(bitmap));
    EXPECT_EQ(p.LastErrMsg(), "picture not ready, please decode first");
    ASSERT_EQ(log.From(&p).size(), 1u);
    EXPECT_EQ(log.From(&p)[0].Level, llError);

    ASSERT_TRUE(p.Decode());
    ASSERT_TRUE(p.CopyToBitmap(bitmap));
    ASSERT_EQ(bitmap.Width(), 320);
    ASSERT_EQ(bitmap.Height(), 240);
    struct Spot {
        int x, y;
        int r, g, b;
    };
    // Blue above, red below (the encoder's limited range costs a step or two).
    const Spot spots[] = {{5, 5, 0, 0, 255}, {315, 110, 0, 0, 255}, {5, 130, 255, 0, 0}, {315, 235, 255, 0, 0}};
    for (const Spot& s : spots) {
        SCOPED_TRACE(::testing::Message() << s.x << "," << s.y);
        uint8_t r, g, b;
        bitmap.GetPixel(s.x, s.y, r, g, b);
        EXPECT_NEAR(r, s.r, 6);
        EXPECT_NEAR(g, s.g, 6);
        EXPECT_NEAR(b, s.b, 6);
    }
}

TEST_F(ProbeFrames, StillImageSequence)
{
    LogCapture log;
    TAVProbe p;
    ASSERT_TRUE(p.LoadFile(Media("still%03d.png")));
    EXPECT_EQ(p.FormatName(), "image2");
    EXPECT_FALSE(p.Seek(0));
    EXPECT_EQ(p.LastErrMsg(), "\"image2\" format cannot to be seeked.");
    ASSERT_EQ(log.From(&p).size(), 1u);
    EXPECT_EQ(log.From(&p)[0].Level, llInfo);

    ASSERT_TRUE(p.Decode());
    const int64_t first = p.FrameInfo().PTS;
    // The picture stays: nothing more is read from a still sequence.
    ASSERT_TRUE(p.Decode());
    EXPECT_EQ(p.FrameInfo().PTS, first);
    EXPECT_EQ(p.FrameInfo().PixFmt, AV_PIX_FMT_RGB24);

    platform::Bitmap bitmap;
    ASSERT_TRUE(p.CopyToBitmap(bitmap));
    uint8_t r, g, b;
    bitmap.GetPixel(100, 100, r, g, b);
    EXPECT_EQ(r, 255);  // yellow, so red and green must not be swapped with blue
    EXPECT_EQ(g, 255);
    EXPECT_EQ(b, 0);
}

TEST_F(ProbeFrames, PositionAndClose)
{
    EXPECT_GE(probe.Position(), 0);
    ASSERT_TRUE(probe.Decode());
    probe.CloseFile();
    EXPECT_FALSE(probe.FrameInfo().Ready);
    EXPECT_EQ(probe.FrameInfo().PTS, AV_NOPTS_VALUE);
    EXPECT_EQ(probe.Position(), -1);
    EXPECT_EQ(probe.LastErrMsg(), "file not loaded.");
    // The probe opens again after a close, with a fresh decoder.
    ASSERT_TRUE(probe.LoadFile(Media("colour.avi")));
    ASSERT_TRUE(probe.Decode());
    EXPECT_EQ(probe.FrameInfo().PTS, 0);
}

}  // namespace
}  // namespace vexa
