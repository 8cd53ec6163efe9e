// Small encoders for the picture tests: every test file is written by the tests themselves.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "lut/Bitmap.h"

namespace picture_test {

using Bytes = std::vector<std::uint8_t>;

// A fresh folder under the build tree for files of one test.
std::filesystem::path TempFolder(const std::string& testName);
void WriteBytes(const std::filesystem::path& file, const Bytes& bytes);

// JPEG with the given input colour space: 1 (gray), 3 (RGB), 4 (CMYK, stored as given).
// `pixels` holds components-per-pixel bytes per pixel, rows top to bottom.
Bytes EncodeJpeg(int width, int height, int components, const Bytes& pixels, int quality, bool progressive,
                 bool adobeMarker = true);

// A progressive RGB JPEG whose every AC coefficient arrives in its own scans, refined bit by
// bit: 3 x 63 x `refinements` + 1 scans.
Bytes EncodeJpegWithManyScans(int width, int height, int refinements);

// PNG of the given color type and bit depth from raw rows (network byte order for 16 bits).
Bytes EncodePng(int width, int height, int colorType, int bitDepth, const std::vector<Bytes>& rows,
                const std::vector<std::uint8_t>& paletteRgb = {}, bool interlaced = false);

struct TiffLayout {
    int width = 0, height = 0, samples = 3, bits = 8, photometric = 2;
    bool tiled = false;
    std::vector<std::uint16_t> colormap;  // 3 x 2^bits entries (R..., G..., B...)
};
// TIFF from raw samples (native byte order for 16 bits), rows top to bottom.
Bytes EncodeTiff(const TiffLayout& layout, const Bytes& samples);

// A little-endian writer for hand-made BMP headers.
struct LeWriter {
    Bytes bytes;
    void U8(unsigned v) { bytes.push_back(static_cast<std::uint8_t>(v)); }
    void U16(unsigned v) {
        U8(v & 0xFF);
        U8((v >> 8) & 0xFF);
    }
    void U32(std::uint32_t v) {
        U16(v & 0xFFFF);
        U16(v >> 16);
    }
};

// A BMP file: file header + 40-byte info header (or `headerSize` bytes, zero-filled), then
// `extra` (masks or palette), then the pixel rows as given.
Bytes MakeBmp(int width, int height, int bitCount, std::uint32_t compression, const Bytes& extra, const Bytes& rows,
              std::uint32_t headerSize = 40, std::uint32_t colorsUsed = 0);

}  // namespace picture_test

namespace picture_test {
Bytes ReadFileBytes(const std::string& file);
}
