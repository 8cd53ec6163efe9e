// TPreciseImage: a picture kept at full precision beside the 24-bit bitmap the window shows.
//
// Three floats per pixel in red, green, blue order, 0.0 black and 1.0 full scale, rows top to
// bottom and packed without padding. Deep pictures (16-bit, 10-bit, half and float samples) are
// decoded into this form, the Open command reduces them to a precise working image of this type,
// patches are sampled from it as floating-point means, and LUTs are applied to it without an
// 8-bit step. The pixels live in a TPixelBuffer, so a large image's memory goes back to the
// system when it is freed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lut/Bitmap.h"
#include "lut/PixelBuffer.h"

namespace tintavo {

class TPreciseImage {
public:
    TPreciseImage() = default;
    TPreciseImage(int width, int height) { SetSize(width, height); }
    TPreciseImage(const TPreciseImage& other) { Assign(other); }
    TPreciseImage& operator=(const TPreciseImage& other) {
        Assign(other);
        return *this;
    }
    TPreciseImage(TPreciseImage&& other) noexcept;
    TPreciseImage& operator=(TPreciseImage&& other) noexcept;

    // Sets the size, reusing the buffer when it is large enough; the contents are unspecified
    // afterwards (a new buffer is zero). Width and height must be >= 0.
    void SetSize(int width, int height);
    void Clear();
    void Assign(const TPreciseImage& other);

    int Width() const { return width_; }
    int Height() const { return height_; }
    bool Empty() const { return width_ == 0 || height_ == 0; }
    // Floats from one row to the next.
    std::ptrdiff_t RowFloats() const { return 3 * static_cast<std::ptrdiff_t>(width_); }

    float* Row(int y) { return Floats() + static_cast<std::ptrdiff_t>(y) * RowFloats(); }
    const float* Row(int y) const { return Floats() + static_cast<std::ptrdiff_t>(y) * RowFloats(); }

    // Pixel access for tests and tools (not for inner loops).
    void SetPixel(int x, int y, float r, float g, float b) {
        float* p = Row(y) + 3 * x;
        p[0] = r;
        p[1] = g;
        p[2] = b;
    }
    void GetPixel(int x, int y, float& r, float& g, float& b) const {
        const float* p = Row(y) + 3 * x;
        r = p[0];
        g = p[1];
        b = p[2];
    }

private:
    float* Floats() { return reinterpret_cast<float*>(data_.Data()); }
    const float* Floats() const { return reinterpret_cast<const float*>(data_.Data()); }

    int width_ = 0;
    int height_ = 0;
    TPixelBuffer data_;
};

// 8-bit sample to 0..1: v / 255, as the calibration scales its 8-bit means.
inline float ByteToUnit(std::uint8_t v) { return static_cast<float>(v) / 255.0f; }
// 0..1 to an 8-bit sample: clamped (not-a-number is 0), times 255, rounded half to even. For a
// 16-bit sample s given as s / 65535 this is round(s * 255 / 65535), the 8-bit value that 16-bit
// pictures have always been reduced to.
std::uint8_t UnitToByte(float v);

// A 24-bit bitmap as a precise image (each sample v / 255), and a precise image rounded to a
// 24-bit bitmap with UnitToByte.
void BitmapToPrecise(const TBitmap24& bitmap, TPreciseImage& out);
void PreciseToBitmap(const TPreciseImage& image, TBitmap24& out);

}  // namespace tintavo
