// The binary FSI DIT layout: header, checksums, packing, identification and reading.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>

#include "formats/FormatFSIDIT.h"
#include "formats/LUTFormat.h"
#include "Formats3DIntegerTestUtil.h"

namespace tintavo {
namespace {

using test3di::ReadBytes;
using test3di::TempDir;
using test3di::WriteBytes;

constexpr std::size_t kFileSize = 128 + 1048576;

std::uint32_t Word(const std::string& bytes, std::size_t offset) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + offset;
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Offset of the word of entry [r][g][b]: red changes fastest.
std::size_t WordOffset(int r, int g, int b) { return 128 + 4 * (static_cast<std::size_t>(r) + 64 * g + 64 * 64 * b); }

class FSIDIT : public ::testing::Test {
protected:
    TempDir dir;
    std::unique_ptr<TLUT> lut = std::make_unique<TLUT>();
    TFSI_DIT_3DLutFormat format;

    std::string SaveBytes() {
        const std::string file = dir.File("lut.dat");
        format.Save(file, *lut, 10);
        return ReadBytes(file);
    }
};

TEST_F(FSIDIT, HeaderFieldsAndChecksums) {
    test3di::SetPseudoRandom(*lut, 64, 7);
    const std::string bytes = SaveBytes();
    ASSERT_EQ(kFileSize, bytes.size());
    EXPECT_EQ(std::string("\x99\x02\x34\x42\x02\x00\x00\x01", 8), bytes.substr(0, 8));
    EXPECT_EQ(std::string(32, '\0'), bytes.substr(8, 32));
    EXPECT_EQ(std::string("\x00\x00\x10\x00", 4), bytes.substr(44, 4));
    EXPECT_EQ("Vorn LUT Convert", bytes.substr(48, 16));
    EXPECT_EQ(std::string(63, '\0'), bytes.substr(64, 63));

    std::uint32_t dataSum = 0;
    for (std::size_t i = 128; i < bytes.size(); ++i) dataSum += static_cast<unsigned char>(bytes[i]);
    EXPECT_NE(0u, dataSum);
    EXPECT_EQ(dataSum, Word(bytes, 40));

    unsigned headerSum = 0;
    for (int i = 0; i < 127; ++i) headerSum += static_cast<unsigned char>(bytes[i]);
    EXPECT_EQ((2 * headerSum) % 256, static_cast<unsigned char>(bytes[127]));
}

TEST_F(FSIDIT, ChecksumsOfAKnownTable) {
    // Only T[0][0][0] = (1, 0, 0): one word 1008 = F0 03 00 00, data sum 0xF3.
    lut->Size3D = 64;
    lut->LutKind = lk3D;
    lut->Table3D[0][0][0] = TLutColor{1.0, 0.0, 0.0};
    const std::string bytes = SaveBytes();
    EXPECT_EQ(0xF3u, Word(bytes, 40));
    // Header bytes: 99 02 34 42 02 00 00 01 F3 ... 10 ... "Vorn LUT Convert".
    unsigned sum = 0x99 + 0x02 + 0x34 + 0x42 + 0x02 + 0x01 + 0xF3 + 0x10;
    for (char c : std::string("Vorn LUT Convert")) sum += static_cast<unsigned char>(c);
    EXPECT_EQ((2 * sum) & 0xFF, static_cast<unsigned char>(bytes[127]));
}

TEST_F(FSIDIT, PackingIsRedFastestWithUnitCode1008) {
    lut->Size3D = 64;
    lut->LutKind = lk3D;
    lut->Table3D[1][0][0] = TLutColor{1.0, 0.0, 0.0};
    lut->Table3D[0][1][0] = TLutColor{0.0, 1.0, 0.0};
    lut->Table3D[0][0][1] = TLutColor{0.0, 0.0, 1.0};
    lut->Table3D[63][2][5] = TLutColor{3.0 / 1008, 500.0 / 1008, 1023.0 / 1008};
    const std::string bytes = SaveBytes();
    EXPECT_EQ(std::string("\xF0\x03\x00\x00", 4), bytes.substr(WordOffset(1, 0, 0), 4));
    EXPECT_EQ(1008u << 10, Word(bytes, WordOffset(0, 1, 0)));
    EXPECT_EQ(0x3F000000u, Word(bytes, WordOffset(0, 0, 1)));
    EXPECT_EQ(3u | (500u << 10) | (1023u << 20), Word(bytes, WordOffset(63, 2, 5)));
    EXPECT_EQ(0u, Word(bytes, WordOffset(2, 0, 0)));
}

TEST_F(FSIDIT, OutOfRangeValuesAreClampedIntoTheirField) {
    EXPECT_EQ(0u, TFSI_DIT_3DLutFormat::PackWord({-0.5, -1e300, std::numeric_limits<double>::quiet_NaN()}));
    // 1.2 * 1008 = 1209.6 would carry into green; it stays 1023 in the red field.
    EXPECT_EQ(1023u, TFSI_DIT_3DLutFormat::PackWord({1.2, 0.0, 0.0}));
    EXPECT_EQ(1023u << 20, TFSI_DIT_3DLutFormat::PackWord({0.0, 0.0, 1e300}));
    EXPECT_EQ(1023u << 10, TFSI_DIT_3DLutFormat::PackWord({0.0, std::numeric_limits<double>::infinity(), 0.0}));
    EXPECT_EQ(1022u | (1u << 10), TFSI_DIT_3DLutFormat::PackWord({1022.0 / 1008, 1.0 / 1008, 0.0}));
    // Bits 30 and 31 stay clear whatever the input.
    EXPECT_EQ(0u, TFSI_DIT_3DLutFormat::PackWord({5.0, 5.0, 5.0}) >> 30);
}

TEST_F(FSIDIT, OnlySixtyFourPointLutsAreWritten) {
    lut->SetIdentity3D(33);
    try {
        SaveBytes();
        ADD_FAILURE() << "a 33-point LUT was written";
    } catch (const ELUTError& e) {
        EXPECT_NE(std::string::npos, std::string(e.what()).find("33")) << e.what();
    }
    EXPECT_FALSE(std::filesystem::exists(dir.File("lut.dat")));
}

TEST_F(FSIDIT, RoundTripWithinHalfACode) {
    test3di::SetPseudoRandom(*lut, 64, 3);
    const std::string file = dir.File("rt.dat");
    format.Save(file, *lut, 10);
    ASSERT_TRUE(format.Identify(file));
    auto read = std::make_unique<TLUT>();
    format.Load(file, *read);
    EXPECT_EQ(lk3D, read->LutKind);
    EXPECT_EQ(64, read->Size3D);
    // Values up to 1023/1008 survive; below 0 and beyond that they are clamped.
    auto fit = [](double v) { return std::fmin(std::fmax(v, 0.0), 1023.0 / 1008.0); };
    int failures = 0;
    for (int r = 0; r < 64; ++r)
        for (int g = 0; g < 64; ++g)
            for (int b = 0; b < 64; ++b) {
                const TLutColor& w = lut->Table3D[r][g][b];
                const TLutColor& x = read->Table3D[r][g][b];
                if (std::abs(fit(w.R) - x.R) > 0.5 / 1008 + 1e-12 || std::abs(fit(w.G) - x.G) > 0.5 / 1008 + 1e-12 ||
                    std::abs(fit(w.B) - x.B) > 0.5 / 1008 + 1e-12)
                    ++failures;
            }
    EXPECT_EQ(0, failures);
}

TEST_F(FSIDIT, ReadDecodesRedFastestWords) {
    std::string bytes(kFileSize, '\0');
    bytes[0] = '\x12';  // the header is not examined
    auto put = [&](std::size_t offset, std::uint32_t w) {
        for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<char>(w >> (8 * i));
    };
    put(WordOffset(1, 0, 0), 1008u);
    put(WordOffset(0, 0, 1), 0xFFFFFFFFu);  // bits 30 and 31 ignored
    put(WordOffset(5, 6, 7), 4u | (8u << 10) | (1016u << 20));
    const std::string file = dir.File("in.dat");
    WriteBytes(file, bytes);
    format.Load(file, *lut);
    EXPECT_EQ(64, lut->Size3D);
    EXPECT_DOUBLE_EQ(1.0, lut->Table3D[1][0][0].R);
    EXPECT_DOUBLE_EQ(0.0, lut->Table3D[1][0][0].G);
    EXPECT_DOUBLE_EQ(1023.0 / 1008, lut->Table3D[0][0][1].R);
    EXPECT_DOUBLE_EQ(1023.0 / 1008, lut->Table3D[0][0][1].B);
    EXPECT_DOUBLE_EQ(4.0 / 1008, lut->Table3D[5][6][7].R);
    EXPECT_DOUBLE_EQ(8.0 / 1008, lut->Table3D[5][6][7].G);
    EXPECT_DOUBLE_EQ(1016.0 / 1008, lut->Table3D[5][6][7].B);
    EXPECT_FALSE(format.Identify(file));
}

TEST_F(FSIDIT, ShortFileIsRefusedAndLeavesTheLutAlone) {
    lut->SetIdentity3D(9);
    const std::string magic("\x99\x02\x34\x42", 4);
    for (std::size_t length : {std::size_t{0}, std::size_t{4}, std::size_t{128}, kFileSize - 1}) {
        std::string bytes(length, '\x7f');
        bytes.replace(0, std::min<std::size_t>(4, length), magic.substr(0, std::min<std::size_t>(4, length)));
        const std::string file = dir.File("short.dat");
        WriteBytes(file, bytes);
        EXPECT_EQ(length >= 4, format.Identify(file)) << length;
        try {
            format.Load(file, *lut);
            ADD_FAILURE() << "a file of " << length << " bytes was read";
        } catch (const ELUTError& e) {
            EXPECT_NE(std::string::npos, std::string(e.what()).find(std::to_string(length))) << e.what();
            EXPECT_NE(std::string::npos, std::string(e.what()).find("1048704")) << e.what();
        }
        EXPECT_EQ(9, lut->Size3D);
        EXPECT_DOUBLE_EQ(0.125, lut->Table3D[1][0][0].R);
    }
}

TEST_F(FSIDIT, IdentifyLooksAtTheMagicOnly) {
    std::string bytes(kFileSize, '\0');
    const std::string file = dir.File("x.dat");
    WriteBytes(file, std::string("\x99\x02\x34\x42", 4) + bytes);
    EXPECT_TRUE(format.Identify(file));
    WriteBytes(file, std::string("\x99\x02\x34\x43", 4) + bytes);
    EXPECT_FALSE(format.Identify(file));
    WriteBytes(file, std::string("\x42\x34\x02\x99", 4) + bytes);  // big-endian magic
    EXPECT_FALSE(format.Identify(file));
    EXPECT_ANY_THROW(format.Identify(dir.File("missing.dat")));
    EXPECT_EQ("FSI DIT (Flanders Scientific) 3D", format.Name);
    EXPECT_TRUE(format.Is3D);
}

}  // namespace
}  // namespace tintavo
