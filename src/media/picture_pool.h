#pragma once
// Pictures that are about to be overwritten whole (scaler output, a copy
// for the hooks) take a fresh buffer from a pool each time instead of
// copying the old one when an encoder or filter still holds it: the holder
// keeps its buffer, and the pool hands it back once every holder let go.
#include "media/av_ptr.h"

namespace vexa {

struct BufferPoolDeleter { void operator()(AVBufferPool* p) const { AV.av_buffer_pool_uninit(&p); } };
using BufferPoolPtr = std::unique_ptr<AVBufferPool, BufferPoolDeleter>;

class TPicturePool {
public:
    // Unreferences `frame` and gives it a pooled buffer of that format and
    // size, with aligned lines. False when no buffer can be had; the frame
    // is then empty. A change of format or size starts a new pool; buffers
    // of the old one stay valid while referenced.
    bool Get(AVFrame* frame, AVPixelFormat format, int width, int height);
    void Reset() { pool_.reset(); }

private:
    BufferPoolPtr pool_;
    AVPixelFormat format_ = AV_PIX_FMT_NONE;
    int width_ = 0, height_ = 0;
    int size_ = 0;  // image bytes, without the padding
};

}  // namespace vexa
