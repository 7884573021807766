#include "platform/bitmap.h"

namespace vexa::platform {

void Bitmap::SetSize(int width, int height)
{
    if (width < 0) width = 0;
    if (height < 0) height = 0;
    width_ = width;
    height_ = height;
    stride_ = (width * 3 + 3) & ~3;
    data_.assign(static_cast<size_t>(stride_) * static_cast<size_t>(height), 0);
}

void Bitmap::SetPixel(int x, int y, uint8_t r, uint8_t g, uint8_t b)
{
    uint8_t* p = ScanLine(y) + x * 3;
    p[0] = b;
    p[1] = g;
    p[2] = r;
}

void Bitmap::GetPixel(int x, int y, uint8_t& r, uint8_t& g, uint8_t& b) const
{
    const uint8_t* p = ScanLine(y) + x * 3;
    b = p[0];
    g = p[1];
    r = p[2];
}

void Bitmap::Fill(uint8_t r, uint8_t g, uint8_t b)
{
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x)
            SetPixel(x, y, r, g, b);
}

}  // namespace vexa::platform
