#include "lut/Bitmap.h"

#include <cstring>
#include <stdexcept>

namespace tintavo {

void TBitmap24::SetSize(int width, int height) {
    if (width < 0 || height < 0) throw std::invalid_argument("Bitmap size must not be negative");
    width_ = width;
    height_ = height;
    stride_ = StrideFor(width);
    const std::size_t need = static_cast<std::size_t>(stride_) * static_cast<std::size_t>(height);
    if (data_.size() < need) data_.resize(need);
}

void TBitmap24::SetSizeAndFill(int width, int height, std::uint8_t value) {
    SetSize(width, height);
    if (ByteSize() > 0) std::memset(data_.data(), value, ByteSize());
}

void TBitmap24::Clear() {
    width_ = height_ = 0;
    stride_ = 0;
    std::vector<std::uint8_t>().swap(data_);
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
    if (ByteSize() > 0) std::memcpy(data_.data(), other.data_.data(), ByteSize());
}

}  // namespace tintavo
