// TBitmap24: the core's 24-bit bitmap.
//
// Every bitmap handed between the engine, the LUT code, the resampler, picture loading and the
// window is of this type: each row a run of blue, green, red bytes, row 0 at the top. Rows
// start on 4-byte boundaries so that the desktop program can wrap the pixels for painting
// (QImage::Format_BGR888) without copying them. The pixels live in a TPixelBuffer: a large
// bitmap's memory goes back to the system when the bitmap is freed or cleared.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lut/PixelBuffer.h"

namespace tintavo {

class TBitmap24 {
public:
    TBitmap24() = default;
    TBitmap24(int width, int height) { SetSize(width, height); }
    TBitmap24(const TBitmap24& other) { Assign(other); }
    TBitmap24& operator=(const TBitmap24& other) {
        Assign(other);
        return *this;
    }
    TBitmap24(TBitmap24&& other) noexcept;
    TBitmap24& operator=(TBitmap24&& other) noexcept;

    // Sets the size. The pixel buffer is reused when it is large enough (no new page faults);
    // the contents are unspecified afterwards (a new buffer is zero). Width and height must be
    // >= 0.
    void SetSize(int width, int height);
    // Sets the size and fills every byte (padding included) with `value`.
    void SetSizeAndFill(int width, int height, std::uint8_t value);
    // Releases the pixel buffer; the bitmap becomes 0 x 0.
    void Clear();

    int Width() const { return width_; }
    int Height() const { return height_; }
    bool Empty() const { return width_ == 0 || height_ == 0; }
    // Bytes from one row to the next: 3 x Width rounded up to a multiple of 4.
    std::ptrdiff_t Stride() const { return stride_; }

    std::uint8_t* ScanLine(int y) { return data_.Data() + static_cast<std::ptrdiff_t>(y) * stride_; }
    const std::uint8_t* ScanLine(int y) const {
        return data_.Data() + static_cast<std::ptrdiff_t>(y) * stride_;
    }
    std::uint8_t* Bits() { return data_.Data(); }
    const std::uint8_t* Bits() const { return data_.Data(); }
    std::size_t ByteSize() const { return static_cast<std::size_t>(stride_) * height_; }

    // Pixel access for tests and tools (not for inner loops).
    void SetPixel(int x, int y, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
        std::uint8_t* p = ScanLine(y) + 3 * x;
        p[0] = b;
        p[1] = g;
        p[2] = r;
    }
    void GetPixel(int x, int y, std::uint8_t& r, std::uint8_t& g, std::uint8_t& b) const {
        const std::uint8_t* p = ScanLine(y) + 3 * x;
        b = p[0];
        g = p[1];
        r = p[2];
    }

    // Same size and same pixels (padding bytes are not compared).
    bool SamePixels(const TBitmap24& other) const;
    // Copies size and pixels of `other`, reusing this bitmap's buffer where possible.
    void Assign(const TBitmap24& other);

    static std::ptrdiff_t StrideFor(int width) { return (3 * static_cast<std::ptrdiff_t>(width) + 3) & ~std::ptrdiff_t(3); }

private:
    int width_ = 0;
    int height_ = 0;
    std::ptrdiff_t stride_ = 0;
    TPixelBuffer data_;
};

}  // namespace tintavo
