// Cube 3D, Cube 3D Truelight, FSI CFE, Nucoda 3D, Davinci DAT 3D and Colorfront OSD 3D.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>

#include "common/Errors.h"
#include "formats/Formats3DDecimal.h"
#include "FrameworkTestUtil.h"

namespace tintavo {
namespace {

using testfw::ExpectLines;
using testfw::FillSample3D;
using testfw::LinesOf;
using testfw::ReadBytes;
using testfw::TempDir;
using testfw::WriteBytes;

const std::string ConvertedBy = "# Converted by Vorn LUT Converter";

// The eight lines of a 2-point identity LUT, red fastest.
std::vector<std::string> IdentityLines2(bool blueFirst) {
    std::vector<std::string> lines;
    for (int b = 0; b < 2; ++b)
        for (int g = 0; g < 2; ++g)
            for (int r = 0; r < 2; ++r) {
                auto v = [](int x) { return x ? std::string("1.000000") : std::string("0.000000"); };
                lines.push_back(blueFirst ? v(b) + " " + v(g) + " " + v(r) : v(r) + " " + v(g) + " " + v(b));
            }
    return lines;
}

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::unique_ptr<TLUT> Identity(int n) {
    auto lut = std::make_unique<TLUT>();
    lut->SetIdentity3D(n);
    return lut;
}

TEST(Cube3DTest, WritesCommentsHeaderAndRedFastestData) {
    TempDir dir;
    auto lut = Identity(2);
    lut->Comments = {"first", "second comment"};
    TCube3DLutFormat().Save(dir.File("id.cube"), *lut, 12);
    const auto lines = LinesOf(ReadBytes(dir.File("id.cube")));
    ExpectLines(Concat({"# first", "# second comment", ConvertedBy, "", "LUT_3D_SIZE 2"}, IdentityLines2(false)), lines);
    // Red changes on every line, blue only after four.
    EXPECT_EQ("1.000000 0.000000 0.000000", lines[6]);
    EXPECT_EQ("0.000000 1.000000 0.000000", lines[7]);
    EXPECT_EQ("0.000000 0.000000 1.000000", lines[9]);
}

TEST(Cube3DTest, ValuesAreNotClampedAndUseSixDecimals) {
    TempDir dir;
    auto lut = Identity(2);
    lut->Table3D[1][0][0] = {1.2, -0.1, 0.1234566};
    lut->Table3D[0][0][0] = {-0.0000001, 0.5, 2.0 / 3.0};
    TCube3DLutFormat().Save(dir.File("v.cube"), *lut, 0);
    const auto lines = LinesOf(ReadBytes(dir.File("v.cube")));
    ASSERT_EQ(11u, lines.size());
    EXPECT_EQ("0.000000 0.500000 0.666667", lines[3]);
    EXPECT_EQ("1.200000 -0.100000 0.123457", lines[4]);
}

TEST(Cube3DTest, CommentWithLineBreaksBecomesSeveralCommentLines) {
    TempDir dir;
    auto lut = Identity(2);
    lut->Comments = {"a\nLUT_3D_SIZE 3\r\nb\r"};
    TCube3DLutFormat().Save(dir.File("c.cube"), *lut, 0);
    const auto lines = LinesOf(ReadBytes(dir.File("c.cube")));
    ASSERT_EQ(15u, lines.size());
    ExpectLines({"# a", "# LUT_3D_SIZE 3", "# b", "# ", ConvertedBy, "", "LUT_3D_SIZE 2"},
                std::vector<std::string>(lines.begin(), lines.begin() + 7));
    auto back = std::make_unique<TLUT>();
    TCube3DLutFormat().Load(dir.File("c.cube"), *back);
    EXPECT_EQ(2, back->Size3D);
    EXPECT_EQ((std::vector<std::string>{"a", "LUT_3D_SIZE 3", "b", "", "Converted by Vorn LUT Converter"}),
              back->Comments);
}

TEST(Cube3DTest, ReadsCommentsOnlyBeforeTheSizeLine) {
    TempDir dir;
    std::string text = "  #  before  \r\n\r\nTITLE \"x\"\r\n0.5 0.5 0.5\r\nlut_3d_size 2\r\n# after\r\n";
    for (const auto& l : IdentityLines2(false)) text += l + "\r\n";
    WriteBytes(dir.File("q.cube"), text);
    auto lut = std::make_unique<TLUT>();
    lut->Comments = {"kept"};
    TCube3DLutFormat().Load(dir.File("q.cube"), *lut);
    EXPECT_EQ((std::vector<std::string>{"kept", "before"}), lut->Comments);
    EXPECT_EQ(lk3D, lut->LutKind);
    EXPECT_EQ(2, lut->Size3D);
    // The numeric line before the size line is not data: the first entry is the identity's.
    EXPECT_EQ(0.0, lut->Table3D[0][0][0].R);
    EXPECT_EQ(1.0, lut->Table3D[1][0][0].R);
    EXPECT_EQ(1.0, lut->Table3D[1][1][1].B);
}

TEST(Cube3DTest, SkipsKeywordLinesAndExtraLinesAfterTheSize) {
    TempDir dir;
    std::string text = "LUT_3D_SIZE 2\nDOMAIN_MIN 0 0 0\nDOMAIN_MAX 1 1 1\nTITLE 0.1 0.2 0.3\n";
    for (const auto& l : IdentityLines2(false)) text += l + "\n";
    text += "0.9 0.9 0.9\n";  // beyond N^3: ignored
    WriteBytes(dir.File("k.cube"), text);
    auto lut = std::make_unique<TLUT>();
    TCube3DLutFormat().Load(dir.File("k.cube"), *lut);
    EXPECT_EQ(0.0, lut->Table3D[0][0][0].R);
    EXPECT_EQ(1.0, lut->Table3D[1][1][1].R);
    EXPECT_EQ(0.0, lut->Table3D[2][0][0].R);
}

TEST(Cube3DTest, IncompleteAndMissingSize) {
    TempDir dir;
    auto lut = Identity(33);
    TCube3DLutFormat().Save(dir.File("full.cube"), *lut, 0);
    std::string text = ReadBytes(dir.File("full.cube"));
    text.erase(text.rfind('\n', text.size() - 2) + 1);  // 35936 data lines remain
    WriteBytes(dir.File("short.cube"), text);
    auto target = Identity(5);
    try {
        TCube3DLutFormat().Load(dir.File("short.cube"), *target);
        FAIL();
    } catch (const ELUTError& e) {
        EXPECT_STREQ("Incomplete file.", e.what());
    }
    EXPECT_EQ(5, target->Size3D);  // the failed load's size is not handed out

    WriteBytes(dir.File("nosize.cube"), "0 0 0\n1 1 1\n");
    EXPECT_THROW(TCube3DLutFormat().Load(dir.File("nosize.cube"), *target), ELUTError);
    WriteBytes(dir.File("empty.cube"), "");
    EXPECT_THROW(TCube3DLutFormat().Load(dir.File("empty.cube"), *target), ELUTError);
    EXPECT_EQ(5, target->Size3D);
}

TEST(Cube3DTest, SizeErrors) {
    TempDir dir;
    auto lut = std::make_unique<TLUT>();
    WriteBytes(dir.File("letters.cube"), "LUT_3D_SIZE abc\n");
    try {
        TCube3DLutFormat().Load(dir.File("letters.cube"), *lut);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ("'abc' is not a valid integer value at line 1", e.what());
    }
    // Sizes the tables cannot hold are refused before any entry is stored.
    std::string big = "LUT_3D_SIZE 102\n";
    for (int i = 0; i < 20; ++i) big += "0.5 0.5 0.5\n";
    WriteBytes(dir.File("big.cube"), big);
    try {
        TCube3DLutFormat().Load(dir.File("big.cube"), *lut);
        FAIL();
    } catch (const ELUTError& e) {
        EXPECT_NE(std::string(e.what()).find("102"), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("101"), std::string::npos);
    }
    EXPECT_EQ(0.0, lut->Table3D[0][0][0].R);
    for (const char* size : {"1", "0", "-3", "2147483647"}) {
        WriteBytes(dir.File("s.cube"), std::string("LUT_3D_SIZE ") + size + "\n0 0 0\n");
        EXPECT_THROW(TCube3DLutFormat().Load(dir.File("s.cube"), *lut), ELUTError) << size;
    }
    WriteBytes(dir.File("huge.cube"), "LUT_3D_SIZE 99999999999\n");
    EXPECT_THROW(TCube3DLutFormat().Load(dir.File("huge.cube"), *lut), EConvertError);
    EXPECT_EQ(lk1D, lut->LutKind);
    EXPECT_EQ(0, lut->Size3D);
}

TEST(Cube3DTest, SaveRefusesSizesOutsideTheTablesAndWritesNothing) {
    TempDir dir;
    auto lut = std::make_unique<TLUT>();
    for (int n : {0, 1, -1, 102}) {
        lut->Size3D = n;
        EXPECT_THROW(TCube3DLutFormat().Save(dir.File("x.cube"), *lut, 0), ELUTError) << n;
        EXPECT_THROW(TColorFrontOSD3DLutFormat().Save(dir.File("x.3dmesh"), *lut, 0), ELUTError) << n;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.File("x.cube")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("x.3dmesh")));
}

TEST(Cube3DTest, WritesAndReadsTheLargestTable) {
    TempDir dir;
    auto lut = std::make_unique<TLUT>();
    FillSample3D(*lut, 101);
    TCube3DLutFormat().Save(dir.File("l.cube"), *lut, 0);
    auto back = std::make_unique<TLUT>();
    TCube3DLutFormat().Load(dir.File("l.cube"), *back);
    EXPECT_EQ(101, back->Size3D);
    EXPECT_NEAR(lut->Table3D[100][100][100].B, back->Table3D[100][100][100].B, 5e-7);
    EXPECT_NEAR(lut->Table3D[100][3][57].G, back->Table3D[100][3][57].G, 5e-7);
}

TEST(Cube3DTruelightTest, WritesItsHeaderAndTrailer) {
    TempDir dir;
    auto lut = Identity(2);
    lut->Comments = {"not written"};
    TCube3DTruelightLutFormat().Save(dir.File("t.cub"), *lut, 0);
    ExpectLines(Concat(Concat({"# Truelight Cube v2.0", "# iDims     3", "# oDims     3", "# width     2 2 2", "",
                               "# Cube"},
                              IdentityLines2(false)),
                       {"# end", ConvertedBy}),
                LinesOf(ReadBytes(dir.File("t.cub"))));
}

TEST(Cube3DTruelightTest, ReadsTheWidthLineWithBlanksOrTabs) {
    TempDir dir;
    std::string text = "# Truelight Cube v2.0\r\n# iDims 3\r\n# oDims 3\r\n# WIDTH\t2\t2\t2\r\n\r\n# Cube\r\n";
    for (const auto& l : IdentityLines2(false)) text += "  " + l + "\r\n";
    text += "# end\r\n";
    WriteBytes(dir.File("t.cub"), text);
    auto lut = std::make_unique<TLUT>();
    TCube3DTruelightLutFormat format;
    EXPECT_TRUE(format.Identify(dir.File("t.cub")));
    format.Load(dir.File("t.cub"), *lut);
    EXPECT_EQ(2, lut->Size3D);
    EXPECT_TRUE(lut->Comments.empty());
    EXPECT_EQ(1.0, lut->Table3D[0][1][0].G);
    EXPECT_EQ(0.0, lut->Table3D[0][1][0].R);
}

TEST(FSICFETest, WritesAuthorModelVersionAndSize) {
    TempDir dir;
    auto lut = Identity(2);
    lut->Comments = {"not written"};
    TFSI_CFE_3DLutFormat().Save(dir.File("f.cfe"), *lut, 0);
    ExpectLines(Concat({"LUT_3D_AUTHOR Vorn LUT Converter", "LUT_3D_MODEL CM240", "LUT_3D_VERSION 2.0.0",
                        "LUT_3D_SIZE 2", ""},
                       IdentityLines2(false)),
                LinesOf(ReadBytes(dir.File("f.cfe"))));
}

TEST(Nucoda3DTest, WritesTitleShaperAndCube) {
    TempDir dir;
    auto lut = Identity(2);
    TNucoda3DLutFormat().Save(dir.File("grade.cms"), *lut, 0);
    const auto lines = LinesOf(ReadBytes(dir.File("grade.cms")));
    ASSERT_EQ(7u + 4096u + 1u + 8u, lines.size());
    ExpectLines({"NUCODA_3D_CUBE 1", "", "TITLE \"grade\"", "", "LUT_1D_SIZE 4096", "LUT_3D_SIZE 2", ""},
                std::vector<std::string>(lines.begin(), lines.begin() + 7));
    EXPECT_EQ("0.000000 0.000000 0.000000", lines[7]);
    EXPECT_EQ("0.008059 0.008059 0.008059", lines[8]);  // 32.999999 / 4095
    EXPECT_EQ("16.504029 16.504029 16.504029", lines[7 + 2048]);
    EXPECT_EQ("32.999999 32.999999 32.999999", lines[7 + 4095]);
    EXPECT_EQ("", lines[7 + 4096]);
    ExpectLines(IdentityLines2(false), std::vector<std::string>(lines.end() - 8, lines.end()));

    TNucoda3DLutFormat().Save(dir.File("my.grade.v2.cms"), *lut, 0);
    EXPECT_EQ("TITLE \"my.grade.v2\"", LinesOf(ReadBytes(dir.File("my.grade.v2.cms")))[2]);
}

TEST(Nucoda3DTest, ReadsShaperAndCube) {
    TempDir dir;
    std::string text = "# comment\nNUCODA_3D_CUBE 1\nTITLE \"t\"\nLUT_1D_SIZE 3\nLUT_3D_SIZE 2\n"
                       "0 0 0\n16.5 16.5 16.5\n33 33 33\n";
    for (const auto& l : IdentityLines2(false)) text += l + "\n";
    WriteBytes(dir.File("n.cms"), text);
    auto lut = std::make_unique<TLUT>();
    TNucoda3DLutFormat format;
    format.Load(dir.File("n.cms"), *lut);
    EXPECT_EQ(lk1DThen3D, lut->LutKind);
    EXPECT_EQ(3, lut->Size1D);
    EXPECT_EQ(2, lut->Size3D);
    EXPECT_EQ(0.5, lut->Table1D[1].R);
    EXPECT_EQ(0.5, lut->Table1D[1].B);
    EXPECT_EQ(1.0, lut->Table1D[2].G);
    EXPECT_EQ(1.0, lut->Table3D[1][0][0].R);
    EXPECT_EQ(1.0, lut->Table3D[1][1][1].B);

    // Version 2 keeps the shaper values as they are; a 3D-only file gives lk3D.
    WriteBytes(dir.File("v2.cms"), "NUCODA_3D_CUBE 2\nLUT_1D_SIZE 2\n0 0 0\n0.5 0.25 1\n");
    format.Load(dir.File("v2.cms"), *lut);
    EXPECT_EQ(lk1D, lut->LutKind);
    EXPECT_EQ(2, lut->Size1D);
    EXPECT_EQ(0.25, lut->Table1D[1].G);
    EXPECT_EQ(2, lut->Size3D);  // untouched

    text = "NUCODA_3D_CUBE 2\nLUT_3D_SIZE 2\n";
    for (const auto& l : IdentityLines2(false)) text += l + "\n";
    WriteBytes(dir.File("3d.cms"), text);
    format.Load(dir.File("3d.cms"), *lut);
    EXPECT_EQ(lk3D, lut->LutKind);
}

TEST(Nucoda3DTest, IncompletenessAndBounds) {
    TempDir dir;
    auto lut = Identity(2);
    TNucoda3DLutFormat format;
    // Only keyword lines: incomplete.
    WriteBytes(dir.File("k.cms"), "NUCODA_3D_CUBE 1\nLUT_3D_SIZE 2\n");
    EXPECT_THROW(format.Load(dir.File("k.cms"), *lut), ELUTError);
    // A title without any section holds no LUT.
    WriteBytes(dir.File("t.cms"), "NUCODA_3D_CUBE 1\nTITLE \"x\"\n");
    EXPECT_THROW(format.Load(dir.File("t.cms"), *lut), ELUTError);
    EXPECT_EQ(lk3D, lut->LutKind);
    EXPECT_EQ(2, lut->Size3D);
    // Missing entries keep their previous values; no report.
    WriteBytes(dir.File("p.cms"), "NUCODA_3D_CUBE 2\nLUT_3D_SIZE 2\n0.25 0.25 0.25\n");
    format.Load(dir.File("p.cms"), *lut);
    EXPECT_EQ(0.25, lut->Table3D[0][0][0].R);
    EXPECT_EQ(1.0, lut->Table3D[1][1][1].R);
    // Lines beyond N^3 and beyond the declared shaper length are not stored anywhere.
    std::string text = "NUCODA_3D_CUBE 2\nLUT_3D_SIZE 2\n";
    for (int i = 0; i < 20; ++i) text += "0.75 0.75 0.75\n";
    WriteBytes(dir.File("long.cms"), text);
    format.Load(dir.File("long.cms"), *lut);
    EXPECT_EQ(0.0, lut->Table3D[2][0][0].R);
    EXPECT_EQ(0.0, lut->Table3D[0][0][2].R);
    // Declared sizes beyond the tables are refused.
    WriteBytes(dir.File("big1.cms"), "NUCODA_3D_CUBE 2\nLUT_1D_SIZE 100002\n0 0 0\n");
    EXPECT_THROW(format.Load(dir.File("big1.cms"), *lut), ELUTError);
    WriteBytes(dir.File("big3.cms"), "NUCODA_3D_CUBE 2\nLUT_3D_SIZE 102\n0 0 0\n");
    EXPECT_THROW(format.Load(dir.File("big3.cms"), *lut), ELUTError);
    // A shaper with fewer than two entries read counts as none.
    WriteBytes(dir.File("noshaper.cms"), "NUCODA_3D_CUBE 1\nLUT_1D_SIZE 4096\nLUT_3D_SIZE 2\n33 33 33\n");
    lut->LutKind = lk1D;
    format.Load(dir.File("noshaper.cms"), *lut);
    EXPECT_EQ(lk3D, lut->LutKind);
    WriteBytes(dir.File("noshaper1d.cms"), "NUCODA_3D_CUBE 1\nLUT_1D_SIZE 4096\n33 33 33\n");
    EXPECT_THROW(format.Load(dir.File("noshaper1d.cms"), *lut), ELUTError);
    WriteBytes(dir.File("nover.cms"), "NUCODA_3D_CUBE\n");
    EXPECT_THROW(format.Load(dir.File("nover.cms"), *lut), EConvertError);
}

TEST(DavinciDatTest, WritesBlueFirst) {
    TempDir dir;
    auto lut = Identity(2);
    lut->Comments = {"not written"};
    TDavinciDat3DLutFormat().Save(dir.File("d.dat"), *lut, 0);
    ExpectLines(Concat({"3DLUTSIZE 2", ""}, IdentityLines2(true)), LinesOf(ReadBytes(dir.File("d.dat"))));
}

TEST(DavinciDatTest, ReadsWithAndWithoutTheSizeKeyword) {
    TempDir dir;
    auto lut = std::make_unique<TLUT>();
    FillSample3D(*lut, 17);
    TDavinciDat3DLutFormat format;
    format.Save(dir.File("s.dat"), *lut, 0);
    std::string text = ReadBytes(dir.File("s.dat"));
    // Without its size line: 4913 data lines give N = 17.
    WriteBytes(dir.File("nokw.dat"), "# no size\r\n" + text.substr(text.find('\n') + 1));
    auto back = std::make_unique<TLUT>();
    EXPECT_TRUE(format.Identify(dir.File("nokw.dat")));
    format.Load(dir.File("nokw.dat"), *back);
    EXPECT_EQ(17, back->Size3D);
    EXPECT_NEAR(lut->Table3D[16][3][9].R, back->Table3D[16][3][9].R, 5e-7);
    EXPECT_NEAR(lut->Table3D[16][3][9].B, back->Table3D[16][3][9].B, 5e-7);

    // The keyword with a lower-case spelling; data lines before it are not data.
    WriteBytes(dir.File("kw.dat"), "0.9 0.9 0.9\n3dlutsize 2\n" + [] {
        std::string t;
        for (const auto& l : IdentityLines2(true)) t += l + "\n";
        return t;
    }());
    format.Load(dir.File("kw.dat"), *back);
    EXPECT_EQ(2, back->Size3D);
    EXPECT_EQ(0.0, back->Table3D[0][0][0].R);
    EXPECT_EQ(1.0, back->Table3D[1][0][0].R);
    EXPECT_EQ(0.0, back->Table3D[1][0][0].B);
}

TEST(DavinciDatTest, IdentifyByKeywordOrByExtensionAndData) {
    TempDir dir;
    WriteBytes(dir.File("a.txt"), "3DLUTSIZE 2\n");
    WriteBytes(dir.File("b.DAT"), "# x\n0.1 0.2 0.3\n");
    WriteBytes(dir.File("c.txt"), "0.1 0.2 0.3\n");
    WriteBytes(dir.File("d.dat"), "1 2\nabc\n");
    TDavinciDat3DLutFormat format;
    EXPECT_TRUE(format.Identify(dir.File("a.txt")));
    EXPECT_TRUE(format.Identify(dir.File("b.DAT")));
    EXPECT_FALSE(format.Identify(dir.File("c.txt")));
    EXPECT_FALSE(format.Identify(dir.File("d.dat")));
}

TEST(ColorFrontOSDTest, WritesOnlyDataBlueFirst) {
    TempDir dir;
    auto lut = Identity(2);
    lut->Comments = {"not written"};
    TColorFrontOSD3DLutFormat().Save(dir.File("o.3dmesh"), *lut, 0);
    const auto lines = LinesOf(ReadBytes(dir.File("o.3dmesh")));
    ExpectLines(IdentityLines2(true), lines);
    EXPECT_EQ("0.000000 0.000000 1.000000", lines[1]);
}

TEST(ColorFrontOSDTest, SizeFromTheNumberOfDataLines) {
    TempDir dir;
    TColorFrontOSD3DLutFormat format;
    EXPECT_TRUE(format.Identify(dir.File("x.3DMesh")));
    EXPECT_FALSE(format.Identify(dir.File("x.3dmesh.txt")));
    EXPECT_FALSE(format.Identify(dir.File("3dmesh")));
    // Nine data lines round to N = 2: the first eight are stored, the ninth is ignored.
    std::string text = "# c\n";
    for (const auto& l : IdentityLines2(true)) text += l + "\n";
    text += "0.5 0.5 0.5\n";
    WriteBytes(dir.File("n.3dmesh"), text);
    auto lut = std::make_unique<TLUT>();
    format.Load(dir.File("n.3dmesh"), *lut);
    EXPECT_EQ(2, lut->Size3D);
    EXPECT_EQ(1.0, lut->Table3D[1][0][0].R);
    EXPECT_EQ(0.0, lut->Table3D[1][0][0].B);
    // Six lines round to 2 as well, but hold too few entries.
    WriteBytes(dir.File("six.3dmesh"), text.substr(0, text.find("1.000000 1.000000 0.000000")));
    EXPECT_THROW(format.Load(dir.File("six.3dmesh"), *lut), ELUTError);
    // One line: a one-point grid is refused.
    WriteBytes(dir.File("one.3dmesh"), "0.5 0.5 0.5\n");
    EXPECT_THROW(format.Load(dir.File("one.3dmesh"), *lut), ELUTError);
    EXPECT_EQ(2, lut->Size3D);
}

TEST(Formats3DDecimalIdentifyTest, KeywordsDecideBetweenTheCubeFamily) {
    TempDir dir;
    WriteBytes(dir.File("nucoda.cube"), "NUCODA_3D_CUBE 1\nLUT_3D_SIZE 2\n");
    WriteBytes(dir.File("cfe.cube"), "LUT_3D_VERSION 2.0.0\nLUT_3D_SIZE 2\n");
    WriteBytes(dir.File("plain.cube"), "lut_3d_size 2\n");
    WriteBytes(dir.File("tl.cube"), "# iDims 3\n# oDims 3\n# width 2 2 2\n");
    TCube3DLutFormat cube;
    TFSI_CFE_3DLutFormat cfe;
    TNucoda3DLutFormat nucoda;
    TCube3DTruelightLutFormat truelight;
    EXPECT_FALSE(cube.Identify(dir.File("nucoda.cube")));
    EXPECT_TRUE(nucoda.Identify(dir.File("nucoda.cube")));
    EXPECT_FALSE(cfe.Identify(dir.File("nucoda.cube")));
    EXPECT_FALSE(truelight.Identify(dir.File("nucoda.cube")));
    EXPECT_FALSE(cube.Identify(dir.File("cfe.cube")));
    EXPECT_TRUE(cfe.Identify(dir.File("cfe.cube")));
    EXPECT_TRUE(cube.Identify(dir.File("plain.cube")));
    EXPECT_FALSE(cfe.Identify(dir.File("plain.cube")));
    EXPECT_FALSE(nucoda.Identify(dir.File("plain.cube")));
    EXPECT_TRUE(truelight.Identify(dir.File("tl.cube")));
    EXPECT_FALSE(cube.Identify(dir.File("tl.cube")));
    EXPECT_THROW(cube.Identify(dir.File("absent.cube")), EFileError);
}

// Every layout reads back what it wrote, within the six decimals.
TEST(Formats3DDecimalRoundTripTest, EveryLayoutAtSeveralSizes) {
    TempDir dir;
    struct Case {
        std::unique_ptr<TGenericLutFormat> format;
        const char* file;
    };
    std::vector<Case> cases;
    cases.push_back({std::make_unique<TCube3DLutFormat>(), "r.cube"});
    cases.push_back({std::make_unique<TCube3DTruelightLutFormat>(), "r.cub"});
    cases.push_back({std::make_unique<TFSI_CFE_3DLutFormat>(), "r.cfe"});
    cases.push_back({std::make_unique<TNucoda3DLutFormat>(), "r.cms"});
    cases.push_back({std::make_unique<TDavinciDat3DLutFormat>(), "r.dat"});
    cases.push_back({std::make_unique<TColorFrontOSD3DLutFormat>(), "r.3dmesh"});
    auto lut = std::make_unique<TLUT>();
    auto back = std::make_unique<TLUT>();
    for (int n : {2, 5, 17, 33}) {
        FillSample3D(*lut, n);
        lut->Table3D[n - 1][0][1] = {1.25, -0.125, 3.5};  // outside 0..1 survives too
        for (auto& c : cases) {
            SCOPED_TRACE(c.format->Name + " N=" + std::to_string(n));
            c.format->Save(dir.File(c.file), *lut, 10);
            EXPECT_TRUE(c.format->Identify(dir.File(c.file)));
            back->Comments.clear();
            c.format->Load(dir.File(c.file), *back);
            EXPECT_EQ(n, back->Size3D);
            double worst = 0;
            for (int r = 0; r < n; ++r)
                for (int g = 0; g < n; ++g)
                    for (int b = 0; b < n; ++b) {
                        const TLutColor& x = lut->Table3D[r][g][b];
                        const TLutColor& y = back->Table3D[r][g][b];
                        worst = std::max({worst, std::fabs(x.R - y.R), std::fabs(x.G - y.G), std::fabs(x.B - y.B)});
                    }
            EXPECT_LE(worst, 5.0000001e-7);
        }
    }
}

}  // namespace
}  // namespace tintavo
