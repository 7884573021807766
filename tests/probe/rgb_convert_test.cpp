// Pictures to 24-bit bitmaps and back.
#include "probe_test_util.h"

#include "media/rgb_convert.h"

namespace vexa {
namespace {

class RGBConvert : public ::testing::Test {
protected:
    void SetUp() override { probetest::LoadProbeLibraries(); }

    static FramePtr MakeFrame(AVPixelFormat fmt, int width, int height)
    {
        FramePtr f(AV.av_frame_alloc());
        f->format = fmt;
        f->width = width;
        f->height = height;
        EXPECT_GE(AV.av_frame_get_buffer(f.get(), 0), 0);
        return f;
    }

    // A bitmap with four quadrants of distinct colours.
    static platform::Bitmap Quadrants(int width, int height)
    {
        platform::Bitmap b(width, height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const bool right = x >= width / 2;
                const bool bottom = y >= height / 2;
                if (!right && !bottom)
                    b.SetPixel(x, y, 200, 40, 40);
                else if (right && !bottom)
                    b.SetPixel(x, y, 40, 200, 40);
                else if (!right)
                    b.SetPixel(x, y, 40, 40, 200);
                else
                    b.SetPixel(x, y, 220, 220, 220);
            }
        return b;
    }

    static void ExpectQuadrants(const platform::Bitmap& b, int tolerance)
    {
        struct Spot {
            double fx, fy;
            int r, g, b;
        };
        const Spot spots[] = {
            {0.1, 0.1, 200, 40, 40}, {0.9, 0.1, 40, 200, 40}, {0.1, 0.9, 40, 40, 200}, {0.9, 0.9, 220, 220, 220}};
        for (const Spot& s : spots) {
            const int x = static_cast<int>(s.fx * b.Width());
            const int y = static_cast<int>(s.fy * b.Height());
            SCOPED_TRACE(::testing::Message() << x << "," << y);
            uint8_t r, g, bl;
            b.GetPixel(x, y, r, g, bl);
            EXPECT_NEAR(r, s.r, tolerance);
            EXPECT_NEAR(g, s.g, tolerance);
            EXPECT_NEAR(bl, s.b, tolerance);
        }
    }
};

TEST_F(RGBConvert, RoundTripThroughPictureFormats)
{
    // Odd sizes catch row strides taken from the wrong side; several formats
    // catch swapped channels and planes.
    struct Case {
        AVPixelFormat fmt;
        int width, height;
        int tolerance;
    };
    const Case cases[] = {
        {AV_PIX_FMT_YUV420P, 320, 240, 8}, {AV_PIX_FMT_YUV420P, 99, 67, 8}, {AV_PIX_FMT_YUV444P, 64, 48, 4},
        {AV_PIX_FMT_RGB24, 33, 17, 0},     {AV_PIX_FMT_BGR24, 35, 19, 0},   {AV_PIX_FMT_RGBA, 40, 30, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << AV.av_get_pix_fmt_name(c.fmt) << " " << c.width << "x" << c.height);
        TRGBConvertContext ctx;
        FramePtr frame = MakeFrame(c.fmt, c.width, c.height);
        ASSERT_TRUE(ctx.FromBitmap(Quadrants(c.width, c.height), frame.get()));
        ASSERT_TRUE(ctx.ToBitmap(frame.get()));
        ASSERT_EQ(ctx.Bitmap.Width(), c.width);
        ASSERT_EQ(ctx.Bitmap.Height(), c.height);
        ExpectQuadrants(ctx.Bitmap, c.tolerance);
    }
}

TEST_F(RGBConvert, PackedRGBKeepsChannelOrder)
{
    FramePtr frame = MakeFrame(AV_PIX_FMT_RGB24, 8, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) {
            uint8_t* p = frame->data[0] + y * frame->linesize[0] + x * 3;
            p[0] = 10;  // R
            p[1] = 20;  // G
            p[2] = 30;  // B
        }
    TRGBConvertContext ctx;
    ASSERT_TRUE(ctx.ToBitmap(frame.get()));
    uint8_t r, g, b;
    ctx.Bitmap.GetPixel(7, 3, r, g, b);
    EXPECT_EQ(r, 10);
    EXPECT_EQ(g, 20);
    EXPECT_EQ(b, 30);
}

TEST_F(RGBConvert, HookEditsReachThePicture)
{
    // What the engine's and player's hooks do: convert, draw on the bitmap,
    // write it back into the same picture.
    TRGBConvertContext ctx;
    FramePtr frame = MakeFrame(AV_PIX_FMT_YUV420P, 64, 48);
    ASSERT_TRUE(ctx.FromBitmap(Quadrants(64, 48), frame.get()));
    ASSERT_TRUE(ctx.ToBitmap(frame.get()));
    ctx.Bitmap.Fill(255, 255, 0);
    ASSERT_TRUE(ctx.FromBitmap(frame.get()));
    TRGBConvertContext check;
    ASSERT_TRUE(check.ToBitmap(frame.get()));
    uint8_t r, g, b;
    check.Bitmap.GetPixel(10, 10, r, g, b);
    EXPECT_NEAR(r, 255, 6);
    EXPECT_NEAR(g, 255, 6);
    EXPECT_NEAR(b, 0, 6);

    // The cached scalers follow a change of size.
    FramePtr larger = MakeFrame(AV_PIX_FMT_YUV420P, 128, 96);
    ASSERT_TRUE(ctx.FromBitmap(Quadrants(128, 96), larger.get()));
    ASSERT_TRUE(ctx.ToBitmap(larger.get()));
    ExpectQuadrants(ctx.Bitmap, 8);
}

TEST_F(RGBConvert, RefusesWhatItCannotConvert)
{
    TRGBConvertContext ctx;
    FramePtr frame = MakeFrame(AV_PIX_FMT_YUV420P, 16, 16);
    EXPECT_FALSE(ctx.FromBitmap(platform::Bitmap(8, 8), frame.get()));  // sizes differ
    const uint8_t* none[4] = {nullptr, nullptr, nullptr, nullptr};
    const int zero[4] = {0, 0, 0, 0};
    EXPECT_FALSE(ctx.ToBitmap(none, zero, AV_PIX_FMT_YUV420P, 16, 16));
    EXPECT_FALSE(ctx.ToBitmap(frame->data, frame->linesize, AV_PIX_FMT_YUV420P, 0, 16));
    EXPECT_FALSE(ctx.ToBitmap(frame->data, frame->linesize, AV_PIX_FMT_NONE, 16, 16));
    EXPECT_FALSE(ctx.ToBitmap(static_cast<const AVFrame*>(nullptr)));
    EXPECT_TRUE(ctx.Bitmap.Empty());  // nothing converted, nothing changed
}

}  // namespace
}  // namespace vexa
