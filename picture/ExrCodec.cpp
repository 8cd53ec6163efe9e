// OpenEXR, read through OpenImageIO (and so OpenEXR's own library) after a look at the header
// here, so that the size is checked before the library allocates anything for the pixels.
//
// An OpenEXR file starts with the magic number 76 2f 31 01, four bytes of version and flags,
// then the header: attributes, each a name, a type name (both ending in a zero byte), a 32-bit
// little-endian size and the value, ended by an empty name. "dataWindow" (type box2i: xMin,
// yMin, xMax, yMax) gives the pixels stored. Samples are half or float, usually linear light:
// values outside 0..1 are clamped into the LUT's domain and counted.
//
// A single-part file follows its header with a table of 64-bit offsets, one per chunk: of lines
// (how many lines a chunk holds depends on the compression), or one tile each; each chunk starts
// with its first line's y (or its tile's coordinates) and its data size. OpenEXR's library rebuilds a damaged
// table by guessing and then hands back whatever memory held for the chunks it cannot find,
// so the table is checked here and a file whose table points outside it is refused. Likewise a
// chunk that unpacks to fewer bytes than its lines need: the library copies the lines out of
// its unpacking buffer regardless, and the rest of them would be whatever that buffer held
// before. The sizes of uncompressed, RLE, ZIPS and ZIP chunks (the ones whose unpacked size the
// library does not check itself) are checked here, and so are empty chunks of the other
// compressions, which the library takes as unpacked to nothing.
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <utility>
#include <vector>

#include "common/Parallel.h"
#include "picture/PictureCodecs.h"

namespace tintavo {

namespace {

constexpr std::uint32_t NonImageFlag = 0x800;  // deep data
constexpr std::uint32_t TiledFlag = 0x200;     // a single tiled part
constexpr std::uint32_t MultipartFlag = 0x1000;
constexpr std::uint32_t LongNamesFlag = 0x400;  // attribute names of up to 255 characters, not 31

// Lines per chunk of each compression (none, RLE, ZIPS, ZIP, PIZ, PXR24, B44, B44A, DWAA, DWAB).
constexpr int LinesPerChunk[] = {1, 1, 1, 16, 32, 16, 32, 32, 32, 256};

std::int32_t I32(const std::uint8_t* p) {
    const std::uint32_t v = std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
                            std::uint32_t(p[3]) << 24;
    std::int32_t s;
    std::memcpy(&s, &v, 4);
    return s;
}

enum EExrCompression { ecNone = 0, ecRle = 1, ecZips = 2, ecZip = 3 };

struct TExrChannel {
    int Bytes;  // per sample: 4 for unsigned int and float, 2 for half
    int XSampling, YSampling;
};

// Floor division and the number of multiples of `s` in [a, b], as OpenEXR counts subsampled
// samples.
long long FloorDiv(long long x, long long s) { return x >= 0 ? x / s : -((-x + s - 1) / s); }
long long Multiples(long long s, long long a, long long b) { return FloorDiv(b, s) - FloorDiv(a - 1, s); }

// The bytes that lines [y0, y1] of the data window [x0, x1] take unpacked.
std::uint64_t UnpackedBytes(const std::vector<TExrChannel>& channels, long long x0, long long x1, long long y0,
                            long long y1) {
    std::uint64_t bytes = 0;
    for (const TExrChannel& c : channels)
        bytes += static_cast<std::uint64_t>(Multiples(c.XSampling, x0, x1)) *
                 static_cast<std::uint64_t>(Multiples(c.YSampling, y0, y1)) * static_cast<std::uint64_t>(c.Bytes);
    return bytes;
}

// What a packed chunk unpacks to, in bytes, counted without keeping it; `limit` + 1 at most, and
// -1 when the data is not valid RLE or zlib.
long long RleUnpackedBytes(const std::uint8_t* in, std::size_t size, long long limit) {
    long long out = 0;
    for (std::size_t i = 0; i < size && out <= limit;) {
        const auto run = static_cast<std::int8_t>(in[i++]);
        if (run < 0) {  // -run bytes copied as they are
            const std::size_t count = static_cast<std::size_t>(-run);
            if (count > size - i) return -1;
            out += static_cast<long long>(count);
            i += count;
        } else {  // the next byte run + 1 times
            if (i >= size) return -1;
            out += run + 1;
            ++i;
        }
    }
    return std::min(out, limit + 1);
}

long long ZlibUnpackedBytes(const std::uint8_t* in, std::size_t size, long long limit) {
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) return -1;
    std::uint8_t scratch[16384];
    stream.next_in = const_cast<Bytef*>(in);
    stream.avail_in = static_cast<uInt>(size);
    int status = Z_OK;
    while (status == Z_OK && static_cast<long long>(stream.total_out) <= limit) {
        stream.next_out = scratch;
        stream.avail_out = sizeof scratch;
        status = inflate(&stream, Z_NO_FLUSH);
        if (status == Z_BUF_ERROR && stream.avail_in == 0) status = Z_DATA_ERROR;  // cut short
    }
    const long long out = static_cast<long long>(stream.total_out);
    inflateEnd(&stream);
    if (status != Z_STREAM_END && out <= limit) return -1;
    return std::min(out, limit + 1);
}

// The library reads a value of these types at its own size, whatever the attribute's size field
// says, and then goes on from there: a header whose size fields disagree would be read one way
// here and another way by the library.
std::int32_t FixedValueSize(const std::string& type) {
    static const std::pair<const char*, std::int32_t> sizes[] = {
        {"box2i", 16},    {"box2f", 16},    {"compression", 1}, {"lineOrder", 1}, {"envmap", 1},
        {"float", 4},     {"double", 8},    {"int", 4},         {"v2i", 8},       {"v2f", 8},
        {"v2d", 16},      {"v3i", 12},      {"v3f", 12},        {"v3d", 24},      {"m33f", 36},
        {"m33d", 72},     {"m44f", 64},     {"m44d", 128},      {"rational", 8},  {"timecode", 8},
        {"keycode", 28},  {"tiledesc", 9},  {"chromaticities", 32}, {"deepImageState", 1}};
    for (const auto& [name, bytes] : sizes)
        if (type == name) return bytes;
    return -1;
}

// A zero-ended string at `at` of at most `longest` characters; false when it is longer or does
// not end in the file.
bool ReadName(const std::uint8_t* data, std::size_t size, std::size_t& at, std::string& out,
              std::size_t longest) {
    for (std::size_t i = at; i < size && i - at <= longest; ++i)
        if (data[i] == 0) {
            out.assign(reinterpret_cast<const char*>(data + at), i - at);
            at = i + 1;
            return true;
        }
    return false;
}

// Whether the library, reading a value of `type` by its own structure, stops at the value's
// size: it does not skip to the size given, so a value that it reads shorter or longer puts it
// out of step with the header. A channel list is read to its empty name (each channel is a name
// and 16 bytes), a string vector string by string (each with its own 32-bit length) until the
// size is reached, a preview as its width, height and 4 bytes per pixel, a float vector 4 bytes
// at a time.
bool ReadsToItsSize(const std::string& type, const std::uint8_t* value, std::size_t length) {
    if (type == "chlist") {
        std::size_t c = 0;
        std::string channel;
        while (ReadName(value, length, c, channel, 255)) {
            if (channel.empty()) return c == length;
            if (length - c < 16) return false;
            c += 16;
        }
        return false;
    }
    if (type == "stringvector") {
        for (std::size_t r = 0; r < length;) {
            if (length - r < 4) return false;
            const std::int32_t n = I32(value + r);
            if (n < 0 || static_cast<std::size_t>(n) > length - r - 4) return false;
            r += 4 + static_cast<std::size_t>(n);
        }
        return true;
    }
    if (type == "preview")
        return length >= 8 && static_cast<std::uint64_t>(static_cast<std::uint32_t>(I32(value))) *
                                      static_cast<std::uint32_t>(I32(value + 4)) * 4 ==
                                  length - 8;
    if (type == "floatvector") return length % 4 == 0;
    return true;
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
    const std::size_t longest = (flags << 8) & LongNamesFlag ? 255 : 31;
    bool found = false;
    long long width = 0, height = 0, x0 = 0, x1 = -1, y0 = 0;
    std::uint64_t tileWidth = 0, tileHeight = 0;
    bool tilesFound = false;
    std::vector<TExrChannel> channels;
    bool channelsKnown = false;
    int compression = 3;  // ZIP, which OpenEXR's library assumes when the header names none
    std::string partType;  // a multi-part file's first part: "scanlineimage", "tiledimage", ...
    const std::uint32_t version = static_cast<std::uint32_t>(I32(data + 4));
    const bool multipart = (version & MultipartFlag) != 0;
    // A multi-part file has a header per part, each ended like a single part's, and an empty one
    // after the last; the picture is its first part.
    for (int part = 0;; ++part) {
        for (;;) {
            std::string attribute, type;
            // Names longer than the library reads would put its reading and ours out of step.
            if (!ReadName(data, size, at, attribute, longest)) FailPicture(name, "Truncated OpenEXR header");
            if (attribute.empty()) break;  // the end of this part's header
            if (!ReadName(data, size, at, type, longest) || size - at < 4) FailPicture(name, "Truncated OpenEXR header");
            const std::int32_t length = I32(data + at);
            at += 4;
            if (length < 0 || static_cast<std::size_t>(length) > size - at) FailPicture(name, "Truncated OpenEXR header");
            const std::int32_t fixed = FixedValueSize(type);
            if (fixed >= 0 && length != fixed)
                FailPicture(name, "Invalid OpenEXR header: attribute \"" + attribute + "\" of type " + type + " has " +
                                      std::to_string(length) + " bytes instead of " + std::to_string(fixed));
            if (!ReadsToItsSize(type, data + at, static_cast<std::size_t>(length)))
                FailPicture(name, "Invalid OpenEXR header: attribute \"" + attribute + "\" of type " + type +
                                      " does not end at its size");
            if (attribute == "channels" && type == "chlist") {
                // Name, pixel type (0 unsigned int, 1 half, 2 float), linear flag, 3 reserved
                // bytes, x and y sampling; an empty name ends the list (which ends at its size,
                // checked above). OpenImageIO stops the program on a channel of a type it does not
                // know, in any part. A sampling that is not understood leaves the chunk sizes
                // unchecked (the library refuses such channels itself).
                std::vector<TExrChannel> list;
                bool understood = true;
                std::size_t c = at;
                std::string channel;
                while (ReadName(data, size, c, channel, 255) && !channel.empty()) {
                    const std::int32_t pixelType = I32(data + c), xs = I32(data + c + 8), ys = I32(data + c + 12);
                    if (pixelType < 0 || pixelType > 2)
                        FailPicture(name, "Invalid OpenEXR header: channel \"" + channel + "\" has the unknown pixel type " +
                                              std::to_string(pixelType));
                    c += 16;
                    understood = understood && xs >= 1 && ys >= 1;
                    list.push_back({pixelType == 1 ? 2 : 4, xs, ys});
                }
                if (part == 0) {
                    channelsKnown = understood && !list.empty();
                    channels = std::move(list);
                }
            }
            if (part > 0) {
                at += static_cast<std::size_t>(length);
                continue;
            }
            if (attribute == "dataWindow") {
                if (type != "box2i" || length != 16) FailPicture(name, "Invalid OpenEXR data window");
                const long long w = static_cast<long long>(I32(data + at + 8)) - I32(data + at) + 1;
                const long long h = static_cast<long long>(I32(data + at + 12)) - I32(data + at + 4) + 1;
                CheckPictureSize(name, w, h, maxPixels);
                found = true;
                width = w;
                height = h;
                x0 = I32(data + at);
                x1 = I32(data + at + 8);
                y0 = I32(data + at + 4);
            } else if (attribute == "tiles") {
                // x size, y size (32-bit each), level mode (its size is checked with the other
                // fixed-size values above).
                if (type != "tiledesc") FailPicture(name, "Invalid OpenEXR tile description");
                tileWidth = static_cast<std::uint32_t>(I32(data + at));
                tileHeight = static_cast<std::uint32_t>(I32(data + at + 4));
                tilesFound = true;
            } else if (attribute == "type" && type == "string") {
                partType.assign(reinterpret_cast<const char*>(data + at), static_cast<std::size_t>(length));
            } else if (attribute == "compression" && type == "compression" && length == 1) {
                compression = data[at];
            }
            at += static_cast<std::size_t>(length);
        }
        if (!multipart) break;
        if (at >= size) FailPicture(name, "Truncated OpenEXR header");
        if (data[at] == 0) {
            ++at;
            break;
        }
    }
    if (!found) FailPicture(name, "OpenEXR data window missing");
    // A tiled file must describe its tiles (without, the library spent seconds on a 16 x 16
    // picture). The library allocates its tile buffers as it opens the file: a tile is refused
    // when it is empty, or larger than the picture and than 256 x 256 pixels.
    const bool tiled = multipart ? partType == "tiledimage" : (version & TiledFlag) != 0;
    if (tiled && !tilesFound)
        FailPicture(name, "Invalid OpenEXR file: tiled, without a tile description");
    if ((tilesFound && (tileWidth == 0 || tileHeight == 0)) ||
        tileWidth * tileHeight > std::max<std::uint64_t>(static_cast<std::uint64_t>(width * height), 1u << 16))
        FailPicture(name, "Invalid OpenEXR tile size " + std::to_string(tileWidth) + " x " + std::to_string(tileHeight) +
                              " for a picture of " + std::to_string(width) + " x " + std::to_string(height) + " pixels");
    // The chunks the picture is read from: its lines, or the tiles of its full-size level (the
    // first in the offset table when the file also holds smaller levels). A multi-part file's
    // first part has the first table.
    const bool flat = !multipart || tiled || partType == "scanlineimage";
    if (flat && compression < static_cast<int>(std::size(LinesPerChunk))) {
        const int lines = LinesPerChunk[compression];
        const std::uint64_t w = static_cast<std::uint64_t>(width), h = static_cast<std::uint64_t>(height);
        const std::uint64_t tilesX = tiled ? (w + tileWidth - 1) / tileWidth : 1;
        const std::uint64_t chunks = tiled ? tilesX * ((h + tileHeight - 1) / tileHeight)
                                           : (h + static_cast<std::uint64_t>(lines) - 1) / static_cast<std::uint64_t>(lines);
        // A chunk starts with its part number in a multi-part file, its first line's y or its
        // tile's x, y and level x, y (32-bit each), then its data size.
        const std::uint64_t chunkHead = (multipart ? 4 : 0) + (tiled ? 20 : 8);
        if (chunks > (size - at) / 8)
            FailPicture(name, std::string("Truncated OpenEXR file: its ") + (tiled ? "tile" : "line") +
                                  " offset table is cut short");
        const std::uint64_t firstChunk = at + 8 * chunks;
        std::vector<std::uint64_t> offsets(chunks);
        for (std::uint64_t c = 0; c < chunks; ++c) {
            std::uint64_t offset = 0;
            for (int i = 7; i >= 0; --i) offset = offset << 8 | data[at + 8 * c + static_cast<std::size_t>(i)];
            const bool inside = offset >= firstChunk && offset <= size && size - offset >= chunkHead &&
                                static_cast<std::uint32_t>(I32(data + offset + chunkHead - 4)) <= size - offset - chunkHead;
            if (!inside)
                FailPicture(name, "Damaged OpenEXR file: chunk " + std::to_string(c + 1) + " of " +
                                      std::to_string(chunks) + " lies outside the file");
            offsets[c] = offset;
        }
        if (channelsKnown) {
            // Every chunk's unpacked size, on all cores (ZIP chunks are unpacked to count them);
            // the first chunk in the file's order that is wrong is the one reported.
            std::vector<long long> unpacked(chunks), needed(chunks);
            ParallelFor(static_cast<int>(chunks), [&](int begin, int end) {
                for (int c = begin; c < end; ++c) {
                    long long left = x0, right = x1, first = y0 + static_cast<long long>(c) * lines;
                    long long last = std::min(y0 + height - 1, first + lines - 1);
                    if (tiled) {
                        const auto tx = static_cast<long long>(static_cast<std::uint64_t>(c) % tilesX);
                        const auto ty = static_cast<long long>(static_cast<std::uint64_t>(c) / tilesX);
                        const auto tw = static_cast<long long>(tileWidth), th = static_cast<long long>(tileHeight);
                        left = x0 + tx * tw;
                        right = std::min(x1, left + tw - 1);
                        first = y0 + ty * th;
                        last = std::min(y0 + height - 1, first + th - 1);
                    }
                    const long long need = static_cast<long long>(UnpackedBytes(channels, left, right, first, last));
                    const std::uint8_t* chunk = data + offsets[static_cast<std::size_t>(c)] + chunkHead;
                    const auto packed = static_cast<std::uint32_t>(I32(chunk - 4));
                    // A chunk at least as large as its pixels is stored as it is.
                    long long got = packed >= need ? need : static_cast<long long>(packed);
                    if (packed < need) {
                        if (compression == ecRle) got = RleUnpackedBytes(chunk, packed, need);
                        else if (compression == ecZips || compression == ecZip) got = ZlibUnpackedBytes(chunk, packed, need);
                        else if (compression != ecNone && packed > 0) got = need;  // the library checks these
                    }
                    needed[static_cast<std::size_t>(c)] = need;
                    unpacked[static_cast<std::size_t>(c)] = got;
                }
            }, {0, static_cast<long long>(size) * 20});
            for (std::uint64_t c = 0; c < chunks; ++c)
                if (unpacked[c] != needed[c] && !(unpacked[c] > needed[c] && compression == ecNone))
                    FailPicture(name, "Damaged OpenEXR file: chunk " + std::to_string(c + 1) + " of " +
                                          std::to_string(chunks) + " holds " +
                                          (unpacked[c] < 0 ? std::string("invalid packed data")
                                                           : std::to_string(unpacked[c]) + " bytes of pixels") +
                                          " instead of " + std::to_string(needed[c]));
        }
    }
    DecodeWithOiio("openexr", data, size, name, maxPixels, sink);
}

}  // namespace tintavo
