// Exact bytes of the integer-code 3D text layouts.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>

#include "formats/Formats3DInteger.h"
#include "formats/LUTFormat.h"
#include "Formats3DIntegerTestUtil.h"

namespace tintavo {
namespace {

using test3di::Asymmetric2Lines;
using test3di::ExpectSameLines;
using test3di::ReadBytes;
using test3di::SetAsymmetric2;
using test3di::TempDir;

class Formats3DIntegerWrite : public ::testing::Test {
protected:
    TempDir dir;
    std::unique_ptr<TLUT> lut = std::make_unique<TLUT>();

    std::string SaveText(TLUTFormat& format, int bits, const std::string& name = "out.txt") {
        const std::string file = dir.File(name);
        format.Save(file, *lut, bits);
        return ReadBytes(file);
    }
};

TEST_F(Formats3DIntegerWrite, ThreeDlIdentityWithComments) {
    lut->SetIdentity3D(2);
    lut->Comments = {"first", "second line"};
    T3dlLutFormat format;
    ExpectSameLines(
        "# first\n# second line\n# Converted by Vorn LUT Converter\n0 1023\n"
        "0 0 0\n0 0 4095\n0 4095 0\n0 4095 4095\n4095 0 0\n4095 0 4095\n4095 4095 0\n4095 4095 4095\n",
        SaveText(format, 12, "id.3dl"));
}

TEST_F(Formats3DIntegerWrite, ThreeDlAsymmetricBlueFastest) {
    SetAsymmetric2(*lut, 4095.0);
    T3dlLutFormat format;
    ExpectSameLines(std::string("# Converted by Vorn LUT Converter\n0 1023\n") + Asymmetric2Lines(' '),
                    SaveText(format, 12, "a.3dl"));
}

TEST_F(Formats3DIntegerWrite, ThreeDlGridLineRoundsUpAndAlwaysSpans1023) {
    T3dlLutFormat format;
    auto gridLine = [&](int n, int bits) {
        lut->SetIdentity3D(n);
        return test3di::SplitLines(SaveText(format, bits, "g.3dl")).at(1);
    };
    // 1023 / 2 = 511.5 rounds up, not to even.
    EXPECT_EQ("0 512 1023", gridLine(3, 12));
    std::string g17, g33;
    for (int i = 0; i < 16; ++i) g17 += std::to_string(64 * i) + " ";
    for (int i = 0; i < 32; ++i) g33 += std::to_string(32 * i) + " ";
    EXPECT_EQ(g17 + "1023", gridLine(17, 12));
    EXPECT_EQ(g33 + "1023", gridLine(33, 12));
    // The grid does not follow the depth of the codes.
    EXPECT_EQ(g17 + "1023", gridLine(17, 16));
    EXPECT_EQ(17u * 17u * 17u + 2u, test3di::SplitLines(SaveText(format, 16, "g.3dl")).size());
}

TEST_F(Formats3DIntegerWrite, CommentWithLineBreakStaysComment) {
    lut->SetIdentity3D(2);
    lut->Comments = {"one\r\ntwo"};
    T3dlLutFormat format;
    const auto lines = test3di::SplitLines(SaveText(format, 12, "c.3dl"));
    EXPECT_EQ("# one", lines.at(0));
    EXPECT_EQ("# two", lines.at(1));
    EXPECT_EQ("# Converted by Vorn LUT Converter", lines.at(2));
}

TEST_F(Formats3DIntegerWrite, CodesClampRoundHalfEvenAndIgnoreNaN) {
    lut->SetIdentity3D(2);
    lut->Table3D[0][0][0] = TLutColor{1.2, -0.1, std::numeric_limits<double>::quiet_NaN()};
    lut->Table3D[0][0][1] = TLutColor{0.5, 1.0, 2047.0 / 4095.0};
    T3dlLutFormat format;
    const auto lines = test3di::SplitLines(SaveText(format, 12, "k.3dl"));
    EXPECT_EQ("4095 0 0", lines.at(2));
    EXPECT_EQ("2048 4095 2047", lines.at(3));  // 2047.5 rounds to the even 2048
}

TEST_F(Formats3DIntegerWrite, LustreLayout) {
    SetAsymmetric2(*lut, 4095.0);
    lut->Comments = {"not written"};
    TLustre3DLutFormat format;
    ExpectSameLines(std::string("\n# Converted by Vorn LUT Converter\n\n3DMESH\nMesh 5 12\n\n") +
                        Asymmetric2Lines(' ') + "\nLUT8\ngamma 1.0\n",
                    SaveText(format, 12, "a.lut"));
    SetAsymmetric2(*lut, 65535.0);
    EXPECT_NE(std::string::npos, SaveText(format, 16, "b.lut").find("\n3DMESH\nMesh 5 16\n\n1 334 667\n"));
}

TEST_F(Formats3DIntegerWrite, PandoraLayoutWithIndexColumn) {
    lut->SetIdentity3D(2);
    lut->Comments = {"not written"};
    TPandora3DLutFormat format;
    ExpectSameLines(
        "#HEADER\n#type: 3D cube file\n#format: 1.00\n#comment: Converted by Vorn LUT Converter\n#END\n\n"
        "channel 3d\nin 8\nout 65536\n\nformat lut\n\nvalues\tred\tgreen\tblue\n"
        "0\t0\t0\t0\n1\t0\t0\t65535\n2\t0\t65535\t0\n3\t0\t65535\t65535\n"
        "4\t65535\t0\t0\n5\t65535\t0\t65535\n6\t65535\t65535\t0\n7\t65535\t65535\t65535\n",
        SaveText(format, 16, "id.m3d"));

    SetAsymmetric2(*lut, 4095.0);
    const auto lines = test3di::SplitLines(SaveText(format, 12, "a.mga"));
    ASSERT_EQ(13u + 8u, lines.size());
    EXPECT_EQ("out 4096", lines[8]);
    const auto data = test3di::SplitLines(Asymmetric2Lines('\t'));
    for (int k = 0; k < 8; ++k) EXPECT_EQ(std::to_string(k) + "\t" + data[k], lines[13 + k]);
}

TEST_F(Formats3DIntegerWrite, PandoraEntryCountAt17) {
    lut->SetIdentity3D(17);
    TPandora3DLutFormat format;
    const auto lines = test3di::SplitLines(SaveText(format, 16, "p.m3d"));
    EXPECT_EQ("in 4913", lines.at(7));
    EXPECT_EQ("4912\t65535\t65535\t65535", lines.back());
}

TEST_F(Formats3DIntegerWrite, CodexLayout) {
    SetAsymmetric2(*lut, 4095.0);
    lut->Comments = {"not written"};
    TCodex3DLutFormat format;
    ExpectSameLines(std::string("Lut3D: 2\n\nR\tG\tB\n") + Asymmetric2Lines(' '), SaveText(format, 12));
}

TEST_F(Formats3DIntegerWrite, LutherLayout) {
    SetAsymmetric2(*lut, 1023.0);
    lut->Comments = {"not written"};
    TLuther3DLutFormat format;
    ExpectSameLines(std::string("#channels: c3\n#elements = 8\n") + Asymmetric2Lines(' '), SaveText(format, 10));
    lut->SetIdentity3D(33);
    EXPECT_EQ("#elements = 35937", test3di::SplitLines(SaveText(format, 10)).at(1));
}

TEST_F(Formats3DIntegerWrite, QuantelLayout) {
    SetAsymmetric2(*lut, 4095.0);
    lut->Comments = {"not written"};
    TQuantel3DLutFormat format;
    ExpectSameLines(std::string("max value 4095\nvertices 2\nblue is fastest changing\nred is slowest changing\n\n"
                                "cube data\nR G B\n") +
                        Asymmetric2Lines(' '),
                    SaveText(format, 12));
}

TEST_F(Formats3DIntegerWrite, SizesTheTableCannotHoldAreRefused) {
    T3dlLutFormat f3dl;
    TLustre3DLutFormat lustre;
    TPandora3DLutFormat pandora;
    TCodex3DLutFormat codex;
    TLuther3DLutFormat luther;
    TQuantel3DLutFormat quantel;
    TLUTFormat* formats[] = {&f3dl, &lustre, &pandora, &codex, &luther, &quantel};
    for (int size : {-1, 0, 1, 102}) {
        lut->Size3D = size;
        for (TLUTFormat* format : formats) {
            const std::string file = dir.File("bad.txt");
            try {
                format->Save(file, *lut, 12);
                ADD_FAILURE() << format->Name << " wrote size " << size;
            } catch (const ELUTError& e) {
                EXPECT_NE(std::string::npos, std::string(e.what()).find(std::to_string(size))) << e.what();
            }
            EXPECT_FALSE(std::filesystem::exists(file)) << format->Name;
        }
    }
    lut->SetIdentity3D(2);
    for (int bits : {0, 63}) {
        for (TLUTFormat* format : formats) {
            try {
                format->Save(dir.File("bad.txt"), *lut, bits);
                ADD_FAILURE() << format->Name << " wrote at " << bits << " bits";
            } catch (const ELUTError& e) {
                EXPECT_EQ("Unsupported bit depth " + std::to_string(bits) + " (1 to 62 bits).", std::string(e.what()));
            }
        }
    }
}

TEST_F(Formats3DIntegerWrite, SaveReplacesAnExistingFileAndReportsAnUncreatableOne) {
    lut->SetIdentity3D(2);
    TCodex3DLutFormat format;
    const std::string file = dir.File("x.txt");
    test3di::WriteBytes(file, std::string(100000, 'z'));
    format.Save(file, *lut, 12);
    EXPECT_EQ(0u, ReadBytes(file).find("Lut3D: 2\n"));
    EXPECT_EQ(std::string::npos, ReadBytes(file).find('z'));
    EXPECT_ANY_THROW(format.Save(dir.File("no/such/folder/x.txt"), *lut, 12));
}

TEST(Formats3DIntegerNames, NamesAndKind) {
    EXPECT_EQ("3DL", T3dlLutFormat().Name);
    EXPECT_EQ("Autodesk Lustre 3D", TLustre3DLutFormat().Name);
    EXPECT_EQ("Pandora 3D, Technicolor", TPandora3DLutFormat().Name);
    EXPECT_EQ("Codex 3D", TCodex3DLutFormat().Name);
    EXPECT_EQ("Luther 3D", TLuther3DLutFormat().Name);
    EXPECT_EQ("Quantel 3D", TQuantel3DLutFormat().Name);
    EXPECT_TRUE(T3dlLutFormat().Is3D && TLustre3DLutFormat().Is3D && TPandora3DLutFormat().Is3D &&
                TCodex3DLutFormat().Is3D && TLuther3DLutFormat().Is3D && TQuantel3DLutFormat().Is3D);
}

}  // namespace
}  // namespace tintavo
