#include "lut/Bitmap.h"

#include <cstring>
#include <stdexcept>
#include <utility>

namespace tintavo {

void TBitmap24::SetSize(int width, int height) {
    if (width < 0 || height < 0) throw std::invalid_argument("Bitmap size must not be negative");
    const std::ptrdiff_t stride = StrideFor(width);
    const std::size_t need = static_cast<std::size_t>(stride) * static_cast<std::size_t>(height);
    if (data_.Size() < need) {
        // The old buffer goes first: the two need not fit in memory together. Should the new
        // one fail, the bitmap is left empty.
        Clear();
        data_ = TPixelBuffer(need);
    }
    width_ = width;
    height_ = height;
    stride_ = stride;
}

TBitmap24::TBitmap24(TBitmap24&& other) noexcept
    : width_(std::exchange(other.width_, 0)),
      height_(std::exchange(other.height_, 0)),
      stride_(std::exchange(other.stride_, 0)),
      data_(std::move(other.data_)) {}

TBitmap24& TBitmap24::operator=(TBitmap24&& other) noexcept {
    if (this != &other) {
        width_ = std::exchange(other.width_, 0);
        height_ = std::exchange(other.height_, 0);
        stride_ = std::exchange(other.stride_, 0);
        data_ = std::move(other.data_);
    }
    return *this;
}

void TBitmap24::SetSizeAndFill(int width, int height, std::uint8_t value) {
    SetSize(width, height);
    if (ByteSize() > 0) std::memset(data_.Data(), value, ByteSize());
}

void TBitmap24::Clear() {
    width_ = height_ = 0;
    stride_ = 0;
    data_.Release();
}

bool TBitmap24::SamePixels(const TBitmap24& other) const {
    if (width_ != other.width_ || height_ != other.height_) return false;
    const std::size_t rowBytes = 3 * static_cast<std::size_t>(width_);
    for (int y = 0; y < height_; ++y)
        if (std::memcmp(ScanLine(y), other.ScanLine(y), rowBytes) != 0) return false;
    return true;
}

void TBitmap24::Assign(const TBitmap24& other) {
    if (this == &other) return;
    SetSize(other.width_, other.height_);
    if (ByteSize() > 0) std::memcpy(data_.Data(), other.data_.Data(), ByteSize());
}

}  // namespace tintavo
