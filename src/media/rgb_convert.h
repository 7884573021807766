#pragma once
// Decoded pictures to 24-bit bitmaps and back.
//
// The engine's hooks and previews, the probe's CopyToBitmap and the player's
// hook all hand pictures to code that works on plain BGR bitmaps. One
// context per user keeps its scalers and buffer between calls, so converting
// a run of same-sized pictures sets up nothing after the first one.
//
// A context is used from one thread at a time.
#include "media/av_ptr.h"
#include "platform/bitmap.h"

#include <cstdint>

namespace vexa {

// The planes of a picture as the libraries lay them out (data/linesize of an
// AVFrame, or of a buffer filled with av_image_fill_arrays).
struct TPicturePlanes {
    uint8_t* data[4] = {nullptr, nullptr, nullptr, nullptr};
    int linesize[4] = {0, 0, 0, 0};
};

class TRGBConvertContext {
public:
    // The libraries' packed 24-bit format whose byte order is the bitmap's.
    static constexpr AVPixelFormat RGBPixFmt = AV_PIX_FMT_BGR24;
    static constexpr int BMPPixFmt = 24;  // bits per pixel of the bitmap

    TRGBConvertContext() = default;
    TRGBConvertContext(const TRGBConvertContext&) = delete;
    TRGBConvertContext& operator=(const TRGBConvertContext&) = delete;

    // Converts a picture of the given format and size into Bitmap(), which
    // takes the picture's size. False when the size is not positive, the
    // planes are missing or no scaler exists for the format; Bitmap() is then
    // left as it was.
    bool ToBitmap(const uint8_t* const data[4], const int linesize[4], AVPixelFormat pixFmt, int width,
                  int height);
    bool ToBitmap(const AVFrame* frame);

    // Writes a bitmap of the picture's size back into the picture, in the
    // picture's own format. False when the sizes differ, the planes are
    // missing or no scaler exists for the format.
    bool FromBitmap(const platform::Bitmap& bitmap, uint8_t* const data[4], const int linesize[4],
                    AVPixelFormat pixFmt, int width, int height);
    bool FromBitmap(const platform::Bitmap& bitmap, AVFrame* frame);
    // Writes Bitmap() back, typically after a hook changed it in place.
    bool FromBitmap(AVFrame* frame) { return FromBitmap(Bitmap, frame); }

    // Frees the scalers and the buffer; Bitmap keeps its picture.
    void Reset();

    // The bitmap of the last ToBitmap. Callers may draw on it and hand it
    // back through FromBitmap.
    platform::Bitmap Bitmap;

private:
    bool GrowBuffer(int width, int height);

    // The BGR picture between the scaler and the bitmap.
    AVMemPtr<uint8_t> RGBBuf;
    int RGBBufSize = 0;
    TPicturePlanes RGBPicture;
    SwsPtr toRGB_convert_ctx;
    SwsPtr fromRGB_convert_ctx;
};

}  // namespace vexa
