#include "lut/PreciseImage.h"

#include <cmath>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "common/Parallel.h"

namespace tintavo {

TPreciseImage::TPreciseImage(TPreciseImage&& other) noexcept
    : width_(std::exchange(other.width_, 0)), height_(std::exchange(other.height_, 0)), data_(std::move(other.data_)) {}

TPreciseImage& TPreciseImage::operator=(TPreciseImage&& other) noexcept {
    if (this != &other) {
        width_ = std::exchange(other.width_, 0);
        height_ = std::exchange(other.height_, 0);
        data_ = std::move(other.data_);
    }
    return *this;
}

void TPreciseImage::SetSize(int width, int height) {
    if (width < 0 || height < 0) throw std::invalid_argument("Image size must not be negative");
    const std::size_t need = 3 * sizeof(float) * static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (data_.Size() < need) {
        Clear();  // the old buffer goes first: the two need not fit in memory together
        data_ = TPixelBuffer(need);
    }
    width_ = width;
    height_ = height;
}

void TPreciseImage::Clear() {
    width_ = height_ = 0;
    data_.Release();
}

void TPreciseImage::Assign(const TPreciseImage& other) {
    if (this == &other) return;
    SetSize(other.width_, other.height_);
    if (!Empty()) std::memcpy(Row(0), other.Row(0), sizeof(float) * static_cast<std::size_t>(RowFloats()) * height_);
}

std::uint8_t UnitToByte(float v) {
    if (!(v >= 0.0f)) return 0;
    if (v >= 1.0f) return 255;
    return static_cast<std::uint8_t>(std::nearbyint(v * 255.0f));
}

void BitmapToPrecise(const TBitmap24& bitmap, TPreciseImage& out) {
    out.SetSize(bitmap.Width(), bitmap.Height());
    const int w = bitmap.Width();
    TParallelOptions options;
    options.Work = static_cast<long long>(w) * bitmap.Height() * 3;
    ParallelFor(
        bitmap.Height(),
        [&](int y0, int y1) {
            for (int y = y0; y < y1; ++y) {
                const std::uint8_t* s = bitmap.ScanLine(y);
                float* d = out.Row(y);
                for (int x = 0; x < w; ++x, s += 3, d += 3) {
                    d[0] = ByteToUnit(s[2]);
                    d[1] = ByteToUnit(s[1]);
                    d[2] = ByteToUnit(s[0]);
                }
            }
        },
        options);
}

void PreciseToBitmap(const TPreciseImage& image, TBitmap24& out) {
    out.SetSize(image.Width(), image.Height());
    const int w = image.Width();
    TParallelOptions options;
    options.Work = static_cast<long long>(w) * image.Height() * 6;
    ParallelFor(
        image.Height(),
        [&](int y0, int y1) {
            for (int y = y0; y < y1; ++y) {
                const float* s = image.Row(y);
                std::uint8_t* d = out.ScanLine(y);
                for (int x = 0; x < w; ++x, s += 3, d += 3) {
                    d[0] = UnitToByte(s[2]);
                    d[1] = UnitToByte(s[1]);
                    d[2] = UnitToByte(s[0]);
                }
            }
        },
        options);
}

}  // namespace tintavo
