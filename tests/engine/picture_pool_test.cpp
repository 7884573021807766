// Pooled pictures for whole-picture writes: a buffer someone still holds
// (an encoder keeping a picture for reordering) is never written again, and
// buffers come back to the pool once let go.
#include "engine_test_support.h"

#include "media/picture_pool.h"

#include <cstring>

using namespace vexa;
using namespace vexa::test;

namespace {

class PicturePoolTest : public EngineTest {};

TEST_F(PicturePoolTest, HeldBuffersAreNotReusedAndFreeOnesAre)
{
    TPicturePool pool;
    FramePtr frame(AV.av_frame_alloc());
    ASSERT_TRUE(pool.Get(frame.get(), AV_PIX_FMT_YUV420P, 322, 240));
    EXPECT_EQ(frame->width, 322);
    EXPECT_EQ(frame->height, 240);
    for (int p = 0; p < 3; ++p) {
        ASSERT_NE(frame->data[p], nullptr) << p;
        EXPECT_EQ(frame->linesize[p] % 32, 0) << p;  // what the scaler's fast paths need
    }
    std::memset(frame->data[0], 7, static_cast<size_t>(frame->linesize[0]) * 240);

    // Someone else holds the picture, as an encoder may.
    FramePtr held(AV.av_frame_alloc());
    ASSERT_EQ(AV.av_frame_ref(held.get(), frame.get()), 0);
    const uint8_t* heldData = held->data[0];
    ASSERT_TRUE(pool.Get(frame.get(), AV_PIX_FMT_YUV420P, 322, 240));
    EXPECT_NE(frame->data[0], heldData);
    std::memset(frame->data[0], 9, static_cast<size_t>(frame->linesize[0]) * 240);
    EXPECT_EQ(held->data[0][0], 7);
    EXPECT_EQ(held->data[0][static_cast<size_t>(held->linesize[0]) * 239], 7);

    // Let go of both: the next picture reuses a buffer instead of allocating.
    const uint8_t* second = frame->data[0];
    AV.av_frame_unref(held.get());
    AV.av_frame_unref(frame.get());
    ASSERT_TRUE(pool.Get(frame.get(), AV_PIX_FMT_YUV420P, 322, 240));
    EXPECT_TRUE(frame->data[0] == heldData || frame->data[0] == second);

    // Another size starts a new pool; a buffer of the old one stays valid.
    ASSERT_EQ(AV.av_frame_ref(held.get(), frame.get()), 0);
    ASSERT_TRUE(pool.Get(frame.get(), AV_PIX_FMT_RGB24, 64, 48));
    EXPECT_EQ(frame->format, AV_PIX_FMT_RGB24);
    EXPECT_GE(frame->linesize[0], 64 * 3);
    // Held pictures outlive the pool (the sanitizer build checks the writes).
    pool.Reset();
    std::memset(held->data[0], 2, static_cast<size_t>(held->linesize[0]) * 240);
    std::memset(frame->data[0], 3, static_cast<size_t>(frame->linesize[0]) * 48);
    AV.av_frame_unref(held.get());
    AV.av_frame_unref(frame.get());
}

TEST_F(PicturePoolTest, ImpossiblePicturesAreRefused)
{
    TPicturePool pool;
    FramePtr frame(AV.av_frame_alloc());
    EXPECT_FALSE(pool.Get(frame.get(), AV_PIX_FMT_NONE, 320, 240));
    EXPECT_FALSE(pool.Get(frame.get(), AV_PIX_FMT_YUV420P, 0, 240));
    EXPECT_EQ(frame->buf[0], nullptr);
    EXPECT_TRUE(pool.Get(frame.get(), AV_PIX_FMT_YUV420P, 16, 16));
}

}  // namespace
