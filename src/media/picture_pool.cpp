#include "media/picture_pool.h"

namespace vexa {

namespace {

// Line alignment the scalers and encoders read fastest, and tail room for
// the SIMD readers that run past the last line.
constexpr int kAlign = 64;
constexpr int kPadding = 64;

}  // namespace

bool TPicturePool::Get(AVFrame* frame, AVPixelFormat format, int width, int height)
{
    AV.av_frame_unref(frame);
    if (!pool_ || format != format_ || width != width_ || height != height_) {
        pool_.reset();
        const int size = AV.av_image_get_buffer_size(format, width, height, kAlign);
        if (size < 0)
            return false;
        pool_.reset(AV.av_buffer_pool_init(static_cast<size_t>(size) + kPadding, nullptr));
        if (!pool_)
            return false;
        format_ = format;
        width_ = width;
        height_ = height;
        size_ = size;
    }
    frame->buf[0] = AV.av_buffer_pool_get(pool_.get());
    if (!frame->buf[0])
        return false;
    if (AV.av_image_fill_arrays(frame->data, frame->linesize, frame->buf[0]->data, format, width, height, kAlign) < 0) {
        AV.av_frame_unref(frame);
        return false;
    }
    frame->extended_data = frame->data;
    frame->format = format;
    frame->width = width;
    frame->height = height;
    return true;
}

}  // namespace vexa
