// DPX (SMPTE 268M), read through OpenImageIO after a check of the header here.
//
// A DPX file starts with a 2048-byte header, big or little-endian as its magic number says:
//   0    "SDPX" (big-endian) or "XPDS" (little-endian)
//   4    offset of the image data                       (32-bit)
//   32   size of the user data that follows the headers  (32-bit; all ones: none)
//   770  number of image elements                       (16-bit)
//   772  pixels per line, 776 lines per element         (32-bit each)
//   780  the first image element: 800 descriptor (50 RGB, 51 RGBA, 6 luma), 803 bits per
//        sample (8, 10, 12, 16), 804 packing, 806 encoding (0: none), 808 its data offset,
//        812 padding after each line
// Colourists' frames are 10-bit RGB (three samples packed into each 32-bit word) or 16-bit RGB.
#include <cstring>
#include <vector>

#include "picture/PictureCodecs.h"

namespace tintavo {

namespace {

constexpr std::size_t DpxHeaderBytes = 1664;  // the generic header; the industry header follows

struct TDpxHeader {
    const std::uint8_t* Data;
    bool BigEndian;
    std::uint32_t U32(std::size_t at) const {
        const std::uint8_t* p = Data + at;
        return BigEndian ? (std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3])
                         : (std::uint32_t(p[3]) << 24 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0]);
    }
    unsigned U16(std::size_t at) const {
        const std::uint8_t* p = Data + at;
        return BigEndian ? (unsigned(p[0]) << 8 | p[1]) : (unsigned(p[1]) << 8 | p[0]);
    }
};

}  // namespace

bool SniffDpx(const std::uint8_t* data, std::size_t size) {
    return size >= 4 && (std::memcmp(data, "SDPX", 4) == 0 || std::memcmp(data, "XPDS", 4) == 0);
}

void DecodeDpx(const std::uint8_t* data, std::size_t size, const std::string& name, long long maxPixels,
               TPictureRowSink& sink) {
    if (size < DpxHeaderBytes) FailPicture(name, "Truncated DPX header");
    const TDpxHeader h{data, std::memcmp(data, "SDPX", 4) == 0};
    const unsigned elements = h.U16(770);
    const std::uint32_t width = h.U32(772), height = h.U32(776);
    const unsigned descriptor = data[800], bits = data[803], packing = h.U16(804), encoding = h.U16(806);
    if (elements < 1 || elements > 8) FailPicture(name, "Invalid DPX element count " + std::to_string(elements));
    CheckPictureSize(name, width, height, maxPixels);
    // OpenImageIO takes memory for the user data before reading it: a damaged size field would
    // have it clear gigabytes for a small file.
    const std::uint32_t userData = h.U32(32);
    if (userData != 0xFFFFFFFFu && userData > size)
        FailPicture(name, "Invalid DPX user data size " + std::to_string(userData) + ": larger than the file");
    const unsigned channels = descriptor == 50 ? 3 : descriptor == 51 ? 4 : descriptor == 6 ? 1 : 0;
    if (channels == 0 || (bits != 8 && bits != 10 && bits != 12 && bits != 16) || encoding != 0 || packing > 2)
        FailPicture(name, "Unsupported DPX layout (descriptor " + std::to_string(descriptor) + ", " +
                              std::to_string(bits) + " bits, packing " + std::to_string(packing) + ", encoding " +
                              std::to_string(encoding) + ")");
    // OpenImageIO's reader of 10-bit samples filled into 32-bit words (three to a word) handles
    // only lines of whole words: with lines of other lengths (gray pictures whose width is not a
    // multiple of 3, for one) it left samples unwritten or wrote past its buffer.
    const std::uint64_t lineSamples = std::uint64_t(width) * channels;
    if (bits == 10 && packing != 0 && lineSamples % 3 != 0)
        FailPicture(name, "Unsupported DPX layout: lines of " + std::to_string(lineSamples) +
                              " 10-bit samples filled into 32-bit words (only multiples of 3 are read)");
    // The pixels must be in the file, from the element's data offset (or the image offset when
    // it is 0). Each line of packed 10 and 12-bit samples starts on a 32-bit word; filled 10-bit
    // samples take 4 bytes for 3, filled 12-bit ones 2 bytes each.
    std::uint64_t offset = h.U32(808);
    if (offset == 0 || offset == 0xFFFFFFFFu) offset = h.U32(4);
    const bool packedWords = packing == 0 && (bits == 10 || bits == 12);
    const std::uint64_t lineBytes = packedWords ? (lineSamples * bits + 31) / 32 * 4
                                    : bits == 10 ? lineSamples / 3 * 4
                                    : bits == 12 ? lineSamples * 2
                                                 : lineSamples * bits / 8;
    // Bytes of padding after each line (at 812; all ones: not given).
    std::uint64_t padding = h.U32(812);
    if (padding == 0xFFFFFFFFu) padding = 0;
    if (padding > size)
        FailPicture(name, "Invalid DPX line padding " + std::to_string(padding) + ": larger than the file");
    const std::uint64_t need = (height - 1) * (lineBytes + padding) + lineBytes;
    if (offset < DpxHeaderBytes || offset > size || size - offset < need)
        FailPicture(name, "Truncated DPX file: the header claims " + std::to_string(width) + " x " +
                              std::to_string(height) + " pixels, more than the file holds");
    // OpenImageIO's reader counts the padding from the first line it is asked for rather than
    // from the top of the picture, so every read after the first would start in the wrong place:
    // it is given the lines without their padding.
    if (padding != 0 && height > 1) {
        std::vector<std::uint8_t> lines(offset + height * lineBytes);
        std::memcpy(lines.data(), data, offset);
        std::memset(lines.data() + 812, 0, 4);
        for (std::uint64_t y = 0; y < height; ++y)
            std::memcpy(lines.data() + offset + y * lineBytes, data + offset + y * (lineBytes + padding), lineBytes);
        DecodeWithOiio("dpx", lines.data(), lines.size(), name, maxPixels, sink);
        return;
    }
    DecodeWithOiio("dpx", data, size, name, maxPixels, sink);
}

}  // namespace tintavo
