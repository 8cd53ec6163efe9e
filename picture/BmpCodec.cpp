// Windows bitmap files.
//
//   BITMAPFILEHEADER (14 bytes): "BM", file size, 2 x reserved, offset of the pixels
//   info header: BITMAPCOREHEADER (12 bytes, 16-bit sizes, RGB palette entries) or
//                BITMAPINFOHEADER (40) and its extensions V2..V5 (52, 56, 108, 124 bytes),
//                palette entries B,G,R,0
//   rows of 1, 4, 8 (palette), 16, 24 or 32 bits per pixel, each padded to 4 bytes, bottom row
//   first unless the height is negative.
//
// 16 and 32-bit pixels are BI_RGB (5-5-5 and 8-8-8 defaults) or BI_BITFIELDS with masks; 8 and
// 4-bit pixels may be run-length encoded; embedded JPEG/PNG is refused.

#include <bit>
#include <cstring>

#include "picture/PictureCodecs.h"

namespace tintavo {

namespace {

constexpr std::uint32_t BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3, BI_ALPHABITFIELDS = 6;

std::uint32_t U16(const std::uint8_t* p) { return p[0] | (p[1] << 8); }
std::uint32_t U32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
void Put16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
    Put16(p, v);
    Put16(p + 2, v >> 16);
}

// One colour channel of a BI_BITFIELDS pixel, scaled to 8 bits with rounding.
struct TMaskChannel {
    std::uint32_t mask = 0;
    int shift = 0;
    std::uint64_t maximum = 0;
    void Set(std::uint32_t m) {
        mask = m;
        if (m == 0) return;
        shift = std::countr_zero(m);
        maximum = (std::uint64_t(1) << std::popcount(m)) - 1;
    }
    std::uint8_t Get(std::uint32_t pixel) const {
        if (mask == 0) return 0;
        const std::uint64_t v = (pixel & mask) >> shift;
        const std::uint64_t r = (v * 255 + maximum / 2) / maximum;
        return static_cast<std::uint8_t>(r > 255 ? 255 : r);
    }
};

// Run-length encoded 8 and 4-bit pixels, bottom row first. Each step is two bytes: a run
// (count, index or index pair), or an escape 0 followed by 0 (end of line), 1 (end of
// bitmap), 2 (move by dx, dy) or n >= 3 (n literal indices, padded to an even byte count).
// Pixels that the data skips stay black.
void DecodeRle(const std::uint8_t* p, std::size_t size, bool four, const std::uint8_t (*palette)[3],
               const std::string& name, int width, int height, TBitmap24& out) {
    out.SetSizeAndFill(width, height, 0);
    long long x = 0, y = 0;
    auto put = [&](unsigned index) {
        if (x < width && y < height) std::memcpy(out.ScanLine(height - 1 - static_cast<int>(y)) + 3 * x, palette[index], 3);
        ++x;
    };
    std::size_t pos = 0;
    while (y < height) {
        if (pos + 2 > size) FailPicture(name, "Premature end of BMP file");
        const unsigned a = p[pos], b = p[pos + 1];
        pos += 2;
        if (a > 0) {
            for (unsigned i = 0; i < a; ++i) put(four ? ((i % 2 == 0) ? b >> 4 : b & 15) : b);
        } else if (b == 0) {
            x = 0;
            ++y;
        } else if (b == 1) {
            return;
        } else if (b == 2) {
            if (pos + 2 > size) FailPicture(name, "Premature end of BMP file");
            x += p[pos];
            y += p[pos + 1];
            pos += 2;
        } else {
            const std::size_t bytes = four ? (b + 1) / 2 : b;
            if (pos + bytes > size) FailPicture(name, "Premature end of BMP file");
            for (unsigned i = 0; i < b; ++i) put(four ? ((i % 2 == 0) ? p[pos + i / 2] >> 4 : p[pos + i / 2] & 15) : p[pos + i]);
            pos += bytes + (bytes & 1);
        }
    }
}

}  // namespace

bool SniffBmp(const std::uint8_t* data, std::size_t size) { return size >= 2 && data[0] == 'B' && data[1] == 'M'; }

void DecodeBmp(const std::uint8_t* data, std::size_t size, const std::string& name, long long maxPixels,
               TPictureRowSink& sink) {
    const char* truncated = "Premature end of BMP file";
    if (size < 14 + 4) FailPicture(name, truncated);
    const std::uint32_t pixelOffset = U32(data + 10);
    const std::uint32_t headerSize = U32(data + 14);
    if (headerSize != 12 && (headerSize < 16 || headerSize > 1024))
        FailPicture(name, "Invalid BMP header size " + std::to_string(headerSize));
    if (size < 14 + static_cast<std::size_t>(headerSize)) FailPicture(name, truncated);
    const std::uint8_t* h = data + 14;
    // Fields past the end of a short OS/2 header read as zero.
    std::uint8_t info[124] = {};
    std::memcpy(info, h, headerSize < sizeof info ? headerSize : sizeof info);

    long long width, height;
    unsigned bitCount;
    std::uint32_t compression = BI_RGB, colorsUsed = 0;
    std::size_t paletteEntrySize = 4;
    bool topDown = false;
    if (headerSize == 12) {
        width = U16(info + 4);
        height = U16(info + 6);
        bitCount = U16(info + 10);
        paletteEntrySize = 3;
    } else {
        width = static_cast<std::int32_t>(U32(info + 4));
        const std::int32_t rawHeight = static_cast<std::int32_t>(U32(info + 8));
        bitCount = U16(info + 14);
        compression = U32(info + 16);
        colorsUsed = U32(info + 32);
        topDown = rawHeight < 0;
        height = topDown ? -static_cast<long long>(rawHeight) : rawHeight;
    }
    CheckPictureSize(name, width, height, maxPixels);

    const bool rle = compression == BI_RLE8 || compression == BI_RLE4;
    if (compression != BI_RGB && compression != BI_BITFIELDS && compression != BI_ALPHABITFIELDS && !rle)
        FailPicture(name, "Unsupported BMP compression " + std::to_string(compression));
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32)
        FailPicture(name, "Unsupported BMP bit depth " + std::to_string(bitCount));
    if ((compression == BI_RLE8 && bitCount != 8) || (compression == BI_RLE4 && bitCount != 4) ||
        (rle && topDown))
        FailPicture(name, "Invalid run-length encoded BMP");
    if (!rle && compression != BI_RGB && bitCount != 16 && bitCount != 32)
        FailPicture(name, "Bit fields need 16 or 32 bits per pixel, not " + std::to_string(bitCount));

    // Colour masks: inside V2 and later headers, else right after a 40-byte header.
    TMaskChannel red, green, blue;
    if (compression == BI_RGB) {
        if (bitCount == 16) {
            red.Set(0x7C00);
            green.Set(0x03E0);
            blue.Set(0x001F);
        } else {
            red.Set(0x00FF0000);
            green.Set(0x0000FF00);
            blue.Set(0x000000FF);
        }
    } else {
        const std::uint8_t* masks;
        if (headerSize >= 52) {
            masks = info + 40;
        } else {
            if (size < 14 + static_cast<std::size_t>(headerSize) + 12) FailPicture(name, truncated);
            masks = h + headerSize;
        }
        red.Set(U32(masks));
        green.Set(U32(masks + 4));
        blue.Set(U32(masks + 8));
    }

    // Palette, right after the header (and the masks, which palettes never have).
    std::uint8_t palette[256][3] = {};  // B, G, R; missing entries stay black
    if (bitCount <= 8) {
        const std::uint32_t maxColors = 1u << bitCount;
        std::uint32_t count = (colorsUsed == 0 || colorsUsed > maxColors) ? maxColors : colorsUsed;
        const std::size_t start = 14 + static_cast<std::size_t>(headerSize);
        // Writers often store fewer entries than the bit depth allows without saying so (the
        // OS/2 header cannot): the pixels start where the palette ends.
        if (pixelOffset >= start && (pixelOffset - start) / paletteEntrySize < count)
            count = static_cast<std::uint32_t>((pixelOffset - start) / paletteEntrySize);
        const std::size_t bytes = count * paletteEntrySize;
        if (start + bytes > size) FailPicture(name, truncated);
        for (std::uint32_t i = 0; i < count; ++i) std::memcpy(palette[i], data + start + i * paletteEntrySize, 3);
    }

    if (rle) {
        if (pixelOffset > size) FailPicture(name, truncated);
        // Runs and moves may go anywhere below the current row, so no row is final before the end.
        TBitmap24 whole;
        DecodeRle(data + pixelOffset, size - pixelOffset, compression == BI_RLE4, palette, name,
                  static_cast<int>(width), static_cast<int>(height), whole);
        sink.Start(RowsInfo(whole.Width(), whole.Height()));
        PourRows(whole, sink);
        return;
    }

    const std::size_t rowBytes = ((static_cast<std::size_t>(width) * bitCount + 31) / 32) * 4;
    if (pixelOffset > size || (size - pixelOffset) / rowBytes < static_cast<std::size_t>(height))
        FailPicture(name, truncated);

    const int w = static_cast<int>(width), hgt = static_cast<int>(height);
    auto convertRow = [&](const std::uint8_t* src, std::uint8_t* dst) {
        switch (bitCount) {
            case 1:
            case 4:
            case 8: {
                const unsigned perByte = 8 / bitCount, mask = (1u << bitCount) - 1;
                for (int x = 0; x < w; ++x, dst += 3) {
                    const unsigned byte = src[x / perByte];
                    const unsigned shift = 8 - bitCount * (x % perByte + 1);
                    std::memcpy(dst, palette[(byte >> shift) & mask], 3);
                }
                break;
            }
            case 16:
                for (int x = 0; x < w; ++x, dst += 3) {
                    const std::uint32_t px = U16(src + 2 * x);
                    dst[0] = blue.Get(px);
                    dst[1] = green.Get(px);
                    dst[2] = red.Get(px);
                }
                break;
            case 24:
                std::memcpy(dst, src, 3 * static_cast<std::size_t>(w));
                break;
            case 32:
                if (compression == BI_RGB) {
                    for (int x = 0; x < w; ++x, dst += 3) std::memcpy(dst, src + 4 * x, 3);
                } else {
                    for (int x = 0; x < w; ++x, dst += 3) {
                        const std::uint32_t px = U32(src + 4 * x);
                        dst[0] = blue.Get(px);
                        dst[1] = green.Get(px);
                        dst[2] = red.Get(px);
                    }
                }
                break;
        }
    };
    sink.Start(RowsInfo(w, hgt));
    // The file is in memory, so a bottom-up file is simply read from its last row on.
    for (int y = 0; y < hgt;) {
        const TPictureRowSink::TRoom room = sink.Room(y, hgt - y);
        for (int i = 0; i < room.Count; ++i) {
            const int row = topDown ? y + i : hgt - 1 - (y + i);
            convertRow(data + pixelOffset + static_cast<std::size_t>(row) * rowBytes, room.Rows + i * room.Stride);
        }
        sink.Filled(y, room.Count);
        y += room.Count;
    }
}

std::vector<std::uint8_t> EncodeBmp(const TBitmap24& bitmap, const TPictureSaveOptions&, const std::string&) {
    const int w = bitmap.Width(), h = bitmap.Height();
    const std::size_t rowBytes = static_cast<std::size_t>(TBitmap24::StrideFor(w));
    const std::size_t imageBytes = rowBytes * static_cast<std::size_t>(h);
    std::vector<std::uint8_t> bytes(54 + imageBytes, 0);
    std::uint8_t* p = bytes.data();
    p[0] = 'B';
    p[1] = 'M';
    Put32(p + 2, static_cast<std::uint32_t>(bytes.size()));
    Put32(p + 10, 54);
    Put32(p + 14, 40);
    Put32(p + 18, static_cast<std::uint32_t>(w));
    Put32(p + 22, static_cast<std::uint32_t>(h));  // positive: bottom row first
    Put16(p + 26, 1);
    Put16(p + 28, 24);
    Put32(p + 30, BI_RGB);
    Put32(p + 34, static_cast<std::uint32_t>(imageBytes));
    Put32(p + 38, 2835);  // 72 dpi
    Put32(p + 42, 2835);
    for (int y = 0; y < h; ++y)
        std::memcpy(p + 54 + static_cast<std::size_t>(h - 1 - y) * rowBytes, bitmap.ScanLine(y),
                    3 * static_cast<std::size_t>(w));
    return bytes;
}

}  // namespace tintavo
