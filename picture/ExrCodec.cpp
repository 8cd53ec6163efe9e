// OpenEXR, read through OpenImageIO (and so OpenEXR's own library) after a look at the header
// here, so that the size is checked before the library allocates anything for the pixels.
//
// An OpenEXR file starts with the magic number 76 2f 31 01, four bytes of version and flags,
// then the header: attributes, each a name, a type name (both ending in a zero byte), a 32-bit
// little-endian size and the value, ended by an empty name. "dataWindow" (type box2i: xMin,
// yMin, xMax, yMax) gives the pixels stored. Samples are half or float, usually linear light:
// values outside 0..1 are clamped into the LUT's domain and counted.
//
// A single-part scanline file follows its header with a table of 64-bit offsets, one per chunk
// of lines (how many lines a chunk holds depends on the compression); each chunk starts with
// its first line's y and its data size (32-bit each). OpenEXR's library rebuilds a damaged
// table by guessing and then hands back whatever memory held for the chunks it cannot find,
// so the table is checked here and a file whose table points outside it is refused.
#include <cstring>
#include <iterator>

#include "picture/PictureCodecs.h"

namespace tintavo {

namespace {

constexpr std::uint32_t NonImageFlag = 0x800;  // deep data
constexpr std::uint32_t TiledFlag = 0x200;     // a single tiled part
constexpr std::uint32_t MultipartFlag = 0x1000;

// Lines per chunk of each compression (none, RLE, ZIPS, ZIP, PIZ, PXR24, B44, B44A, DWAA, DWAB).
constexpr int LinesPerChunk[] = {1, 1, 1, 16, 32, 16, 32, 32, 32, 256};

std::int32_t I32(const std::uint8_t* p) {
    const std::uint32_t v = std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
                            std::uint32_t(p[3]) << 24;
    std::int32_t s;
    std::memcpy(&s, &v, 4);
    return s;
}

// A zero-ended string at `at`, at most `limit` bytes long; false when it does not end in the file.
bool ReadName(const std::uint8_t* data, std::size_t size, std::size_t& at, std::string& out) {
    const std::size_t limit = 256;
    for (std::size_t i = at; i < size && i - at < limit; ++i)
        if (data[i] == 0) {
            out.assign(reinterpret_cast<const char*>(data + at), i - at);
            at = i + 1;
            return true;
        }
    return false;
}

}  // namespace

bool SniffExr(const std::uint8_t* data, std::size_t size) {
    return size >= 4 && data[0] == 0x76 && data[1] == 0x2f && data[2] == 0x31 && data[3] == 0x01;
}

void DecodeExr(const std::uint8_t* data, std::size_t size, const std::string& name, long long maxPixels,
               TPictureRowSink& sink) {
    if (size < 8) FailPicture(name, "Truncated OpenEXR header");
    const std::uint32_t flags = static_cast<std::uint32_t>(I32(data + 4)) >> 8;
    if ((flags << 8) & NonImageFlag) FailPicture(name, "Deep OpenEXR pictures are not supported");
    std::size_t at = 8;
    bool found = false;
    long long height = 0;
    int compression = 3;  // ZIP, which OpenEXR's library assumes when the header names none
    for (;;) {
        std::string attribute, type;
        if (!ReadName(data, size, at, attribute)) FailPicture(name, "Truncated OpenEXR header");
        if (attribute.empty()) break;  // the end of the (first part's) header
        if (!ReadName(data, size, at, type) || size - at < 4) FailPicture(name, "Truncated OpenEXR header");
        const std::int32_t length = I32(data + at);
        at += 4;
        if (length < 0 || static_cast<std::size_t>(length) > size - at) FailPicture(name, "Truncated OpenEXR header");
        if (attribute == "dataWindow") {
            if (type != "box2i" || length != 16) FailPicture(name, "Invalid OpenEXR data window");
            const long long w = static_cast<long long>(I32(data + at + 8)) - I32(data + at) + 1;
            const long long h = static_cast<long long>(I32(data + at + 12)) - I32(data + at + 4) + 1;
            CheckPictureSize(name, w, h, maxPixels);
            found = true;
            height = h;
        } else if (attribute == "compression" && type == "compression" && length == 1) {
            compression = data[at];
        }
        at += static_cast<std::size_t>(length);
    }
    if (!found) FailPicture(name, "OpenEXR data window missing");
    const std::uint32_t version = static_cast<std::uint32_t>(I32(data + 4));
    if (!(version & (TiledFlag | MultipartFlag)) && compression < static_cast<int>(std::size(LinesPerChunk))) {
        const std::uint64_t chunks = static_cast<std::uint64_t>((height + LinesPerChunk[compression] - 1) / LinesPerChunk[compression]);
        if (chunks > (size - at) / 8) FailPicture(name, "Truncated OpenEXR file: its line offset table is cut short");
        const std::uint64_t firstChunk = at + 8 * chunks;
        for (std::uint64_t c = 0; c < chunks; ++c) {
            std::uint64_t offset = 0;
            for (int i = 7; i >= 0; --i) offset = offset << 8 | data[at + 8 * c + static_cast<std::size_t>(i)];
            const bool inside = offset >= firstChunk && offset <= size && size - offset >= 8 &&
                                static_cast<std::uint32_t>(I32(data + offset + 4)) <= size - offset - 8;
            if (!inside)
                FailPicture(name, "Damaged OpenEXR file: chunk " + std::to_string(c + 1) + " of " +
                                      std::to_string(chunks) + " lies outside the file");
        }
    }
    DecodeWithOiio("openexr", data, size, name, maxPixels, sink);
}

}  // namespace tintavo
