// FSI DIT: a 128-byte header, then 64^3 little-endian 32-bit words, red changing fastest.
//
//   offset   0: 99 02 34 42           magic 0x42340299
//   offset   4: 02 00 00 01           0x01000002
//   offset  40: data checksum         sum of all data bytes, modulo 2^32
//   offset  44: 00 00 10 00           data length, 64^3 * 4 bytes
//   offset  48: "Vorn LUT Convert"    author, 16 characters; byte 64 is its terminating zero
//   offset 127: header checksum       2 * (sum of bytes 0..126), modulo 256
//   offset 128: words                 R10 | G10 << 10 | B10 << 20, where 1008 is the code of 1.0
#include "formats/FormatFSIDIT.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "common/FileIO.h"

namespace tintavo {

namespace {

constexpr std::uint32_t SecondWord = 0x01000002u;
constexpr int ChecksumOffset = 40;
constexpr int LengthOffset = 44;
constexpr int AuthorOffset = 48;
constexpr int HeaderChecksumOffset = 127;
constexpr std::uint32_t DataLength = 64u * 64u * 64u * 4u;
constexpr double UnitCode = 1008.0;  // the code of 1.0; 1009..1023 hold values a little above 1

void PutLE32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

std::uint32_t GetLE32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// A channel as a 10-bit code. Values below 0 or above 1023/1008 do not fit the field and
// would spill into the neighbouring channel, so they are clamped; NaN becomes 0.
std::uint32_t Code10(double value) {
    const double code = std::nearbyint(static_cast<long double>(value) * UnitCode);
    if (!(code > 0.0)) return 0;
    if (code > 1023.0) return 1023;
    return static_cast<std::uint32_t>(code);
}

// The first `count` bytes of the file (all of a shorter one), read in blocks.
std::string ReadAtMost(const std::string& fileName, std::size_t count) {
    constexpr std::size_t Block = 64 * 1024;
    std::string head = ReadFileHeadBytes(fileName, std::min(count, Block));
    if (head.size() < std::min(count, Block) || head.size() == count) return head;
    return ReadFileHeadBytes(fileName, count);
}

}  // namespace

TFSI_DIT_3DLutFormat::TFSI_DIT_3DLutFormat() {
    Name = "FSI DIT (Flanders Scientific) 3D";
    Is3D = true;
}

std::uint32_t TFSI_DIT_3DLutFormat::PackWord(const TLutColor& color) {
    return Code10(color.R) | (Code10(color.G) << 10) | (Code10(color.B) << 20);
}

std::vector<std::uint8_t> TFSI_DIT_3DLutFormat::Encode(const TLUT& lut) {
    // The header's length field always states 64^3 words; a file of any other size would
    // contradict it and could not be read back, so other sizes are refused.
    if (lut.Size3D != GridSize)
        throw ELUTError("FSI DIT files hold 64-point 3D LUTs only; this LUT has " +
                        std::to_string(lut.Size3D) + " points per axis.");
    const int n = GridSize;
    std::vector<std::uint8_t> bytes(HeaderSize + static_cast<std::size_t>(n) * n * n * 4, 0);
    std::uint8_t* header = bytes.data();
    PutLE32(header, Magic);
    PutLE32(header + 4, SecondWord);
    PutLE32(header + LengthOffset, DataLength);
    std::memcpy(header + AuthorOffset, "Vorn LUT Convert", 16);

    std::uint32_t dataSum = 0;
    std::uint8_t* out = bytes.data() + HeaderSize;
    for (int b = 0; b < n; ++b)
        for (int g = 0; g < n; ++g)
            for (int r = 0; r < n; ++r) {
                PutLE32(out, PackWord(lut.Table3D[r][g][b]));
                dataSum += static_cast<std::uint32_t>(out[0]) + out[1] + out[2] + out[3];
                out += 4;
            }
    PutLE32(header + ChecksumOffset, dataSum);

    // The header checksum adds all 128 bytes into byte 127, itself last, so it ends up as twice
    // the sum of bytes 0..126.
    header[HeaderChecksumOffset] = 0;
    for (int i = 0; i < HeaderSize; ++i)
        header[HeaderChecksumOffset] = static_cast<std::uint8_t>(header[HeaderChecksumOffset] + header[i]);
    return bytes;
}

void TFSI_DIT_3DLutFormat::Save(const std::string& fileName, const TLUT& lut, int /*bits*/) const {
    WriteFileAtomically(fileName, Encode(lut));
}

bool TFSI_DIT_3DLutFormat::Identify(const std::string& fileName) const {
    const std::string head = ReadFileHeadBytes(fileName, HeaderSize);
    if (head.size() < 4) return false;
    return GetLE32(reinterpret_cast<const unsigned char*>(head.data())) == Magic;
}

void TFSI_DIT_3DLutFormat::Load(const std::string& fileName, TLUT& lut) const {
    const std::size_t words = static_cast<std::size_t>(GridSize) * GridSize * GridSize;
    const std::size_t expected = HeaderSize + words * 4;
    // Read no more than the layout holds, however long the file is, and no more memory than
    // a short file needs.
    const std::string data = ReadAtMost(fileName, expected);
    // A short file would leave entries undefined; the LUT is left untouched instead.
    if (data.size() < expected)
        throw ELUTError("Incomplete file: " + std::to_string(data.size()) + " bytes where an FSI DIT file has " +
                        std::to_string(expected) + ".");
    const unsigned char* p = reinterpret_cast<const unsigned char*>(data.data()) + HeaderSize;
    for (int b = 0; b < GridSize; ++b)
        for (int g = 0; g < GridSize; ++g)
            for (int r = 0; r < GridSize; ++r) {
                const std::uint32_t word = GetLE32(p);
                p += 4;
                lut.Table3D[r][g][b] = TLutColor{(word & 1023u) / UnitCode, ((word >> 10) & 1023u) / UnitCode,
                                                 ((word >> 20) & 1023u) / UnitCode};
            }
    lut.Size3D = GridSize;
    lut.LutKind = lk3D;
}

}  // namespace tintavo
