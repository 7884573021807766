#include "media/rgb_convert.h"

#include <algorithm>
#include <cstring>

namespace vexa {
namespace {

// Rows of the intermediate BGR picture are padded so that the scaler can use
// its aligned paths.
constexpr int kRowAlign = 32;

bool ValidPicture(const uint8_t* const data[4], const int linesize[4], AVPixelFormat pixFmt, int width,
                  int height)
{
    if (width <= 0 || height <= 0 || pixFmt == AV_PIX_FMT_NONE || !data || !linesize || !data[0])
        return false;
    return AV.av_image_check_size(static_cast<unsigned>(width), static_cast<unsigned>(height), 0, nullptr) >= 0;
}

// Packed BGR needs no scaler: rows are copied as they are.
void CopyRows(uint8_t* dst, int dstStride, const uint8_t* src, int srcStride, int rowBytes, int height)
{
    for (int y = 0; y < height; ++y)
        std::memcpy(dst + static_cast<ptrdiff_t>(y) * dstStride, src + static_cast<ptrdiff_t>(y) * srcStride,
                    static_cast<size_t>(rowBytes));
}

}  // namespace

bool TRGBConvertContext::GrowBuffer(int width, int height)
{
    const int stride = (width * 3 + kRowAlign - 1) / kRowAlign * kRowAlign;
    const int64_t size = static_cast<int64_t>(stride) * height;
    if (size > INT32_MAX)
        return false;
    if (!RGBBuf || RGBBufSize < size) {
        RGBBuf.reset(static_cast<uint8_t*>(AV.av_malloc(static_cast<size_t>(size))));
        RGBBufSize = RGBBuf ? static_cast<int>(size) : 0;
        if (!RGBBuf)
            return false;
    }
    RGBPicture = TPicturePlanes{};
    RGBPicture.data[0] = RGBBuf.get();
    RGBPicture.linesize[0] = stride;
    return true;
}

bool TRGBConvertContext::ToBitmap(const uint8_t* const data[4], const int linesize[4], AVPixelFormat pixFmt,
                                  int width, int height)
{
    if (!ValidPicture(data, linesize, pixFmt, width, height))
        return false;
    if (pixFmt == RGBPixFmt) {
        Bitmap.SetSize(width, height);
        CopyRows(Bitmap.Bits(), Bitmap.Stride(), data[0], linesize[0], width * 3, height);
        return true;
    }
    SwsContext* ctx = AV.sws_getCachedContext(toRGB_convert_ctx.release(), width, height, pixFmt, width, height,
                                              RGBPixFmt, SWS_BICUBIC, nullptr, nullptr, nullptr);
    toRGB_convert_ctx.reset(ctx);
    if (!ctx || !GrowBuffer(width, height))
        return false;
    if (AV.sws_scale(ctx, data, linesize, 0, height, RGBPicture.data, RGBPicture.linesize) != height)
        return false;
    Bitmap.SetSize(width, height);
    CopyRows(Bitmap.Bits(), Bitmap.Stride(), RGBPicture.data[0], RGBPicture.linesize[0], width * 3, height);
    return true;
}

bool TRGBConvertContext::ToBitmap(const AVFrame* frame)
{
    if (!frame)
        return false;
    return ToBitmap(frame->data, frame->linesize, static_cast<AVPixelFormat>(frame->format), frame->width,
                    frame->height);
}

bool TRGBConvertContext::FromBitmap(const platform::Bitmap& bitmap, uint8_t* const data[4], const int linesize[4],
                                    AVPixelFormat pixFmt, int width, int height)
{
    if (!ValidPicture(data, linesize, pixFmt, width, height) || bitmap.Width() != width ||
        bitmap.Height() != height)
        return false;
    if (pixFmt == RGBPixFmt) {
        CopyRows(data[0], linesize[0], bitmap.Bits(), bitmap.Stride(), width * 3, height);
        return true;
    }
    SwsContext* ctx = AV.sws_getCachedContext(fromRGB_convert_ctx.release(), width, height, RGBPixFmt, width,
                                              height, pixFmt, SWS_BICUBIC, nullptr, nullptr, nullptr);
    fromRGB_convert_ctx.reset(ctx);
    if (!ctx || !GrowBuffer(width, height))
        return false;
    CopyRows(RGBPicture.data[0], RGBPicture.linesize[0], bitmap.Bits(), bitmap.Stride(), width * 3, height);
    const uint8_t* const src[4] = {RGBPicture.data[0], nullptr, nullptr, nullptr};
    return AV.sws_scale(ctx, src, RGBPicture.linesize, 0, height, data, linesize) == height;
}

bool TRGBConvertContext::FromBitmap(const platform::Bitmap& bitmap, AVFrame* frame)
{
    if (!frame)
        return false;
    return FromBitmap(bitmap, frame->data, frame->linesize, static_cast<AVPixelFormat>(frame->format),
                      frame->width, frame->height);
}

void TRGBConvertContext::Reset()
{
    toRGB_convert_ctx.reset();
    fromRGB_convert_ctx.reset();
    RGBBuf.reset();
    RGBBufSize = 0;
    RGBPicture = TPicturePlanes{};
}

}  // namespace vexa
