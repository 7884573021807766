#pragma once
// A 24-bit picture: BGR byte order, rows from top to bottom, each row padded
// to a multiple of four bytes so that toolkits can wrap it without copying.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vexa::platform {

class Bitmap {
public:
    Bitmap() = default;
    Bitmap(int width, int height) { SetSize(width, height); }

    void SetSize(int width, int height);
    int Width() const { return width_; }
    int Height() const { return height_; }
    int Stride() const { return stride_; }
    bool Empty() const { return width_ <= 0 || height_ <= 0; }

    uint8_t* ScanLine(int y) { return data_.data() + static_cast<size_t>(y) * static_cast<size_t>(stride_); }
    const uint8_t* ScanLine(int y) const { return data_.data() + static_cast<size_t>(y) * static_cast<size_t>(stride_); }
    uint8_t* Bits() { return data_.data(); }
    const uint8_t* Bits() const { return data_.data(); }

    // Pixel access in RGB terms (tests, snapshots).
    void SetPixel(int x, int y, uint8_t r, uint8_t g, uint8_t b);
    void GetPixel(int x, int y, uint8_t& r, uint8_t& g, uint8_t& b) const;
    void Fill(uint8_t r, uint8_t g, uint8_t b);

private:
    int width_ = 0;
    int height_ = 0;
    int stride_ = 0;
    std::vector<uint8_t> data_;
};

}  // namespace vexa::platform
