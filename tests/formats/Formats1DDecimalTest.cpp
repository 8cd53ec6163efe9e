// Cube 1D, Filmlight Truelight 1D, Nucoda 1D, Colorfront OSD 1D and Blackmagic HDLink 1D.
#include <gtest/gtest.h>

#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "common/Errors.h"
#include "formats/Formats1DDecimal.h"
#include "Formats1DTestUtil.h"

namespace tintavo {
namespace {

using test1d::ExpectFileLines;
using test1d::ExpectLoadError;
using test1d::ExpectTablesNear;
using test1d::JoinLines;
using test1d::NewLut;
using test1d::SetCurves;
using test1d::SetSample5;
using test1d::TempDir;
using test1d::WriteBytes;

const std::vector<std::string> kSampleEntries6 = {
    "0.000000 0.100000 0.050000", "0.250000 0.300000 0.125000", "0.500000 0.550000 0.250000",
    "0.750000 0.800000 0.600000", "1.000000 0.950000 0.900000"};

// Half a unit of the last written decimal place.
constexpr double kSixDecimals = 0.5e-6 + 1e-12;

TEST(Formats1DDecimalTest, NamesAndKinds) {
    EXPECT_EQ("Cube 1D", TCube1DLutFormat().Name);
    EXPECT_EQ("Filmlight Truelight 1D", TFilmlight1DLutFormat().Name);
    EXPECT_EQ("Nucoda 1D", TNucoda1DLutWriterFormat().Name);
    EXPECT_EQ("Colorfront OSD 1D", TColorFrontOSD1DLutFormat().Name);
    EXPECT_EQ("Blackmagic HDLink 1D", TBlackmagic1DLutFormat().Name);
    EXPECT_FALSE(TCube1DLutFormat().Is3D);
    EXPECT_FALSE(TFilmlight1DLutFormat().Is3D);
    EXPECT_FALSE(TNucoda1DLutWriterFormat().Is3D);
    EXPECT_FALSE(TColorFrontOSD1DLutFormat().Is3D);
    EXPECT_FALSE(TBlackmagic1DLutFormat().Is3D);
}

// ---------------------------------------------------------------------------------------------
// Writers: exact bytes

TEST(Formats1DDecimalTest, CubeWritesCommentsHeaderAndEntries) {
    TempDir dir;
    auto lut = NewLut();
    SetSample5(*lut);
    lut->Comments = {"shot 12 grade", "second note"};
    TCube1DLutFormat().Save(dir.File("a.cube"), *lut, 16);
    std::vector<std::string> expected = {"# shot 12 grade", "# second note", "# Converted by Vorn LUT Converter", "",
                                         "LUT_1D_SIZE 5"};
    expected.insert(expected.end(), kSampleEntries6.begin(), kSampleEntries6.end());
    ExpectFileLines(dir.File("a.cube"), expected);
}

TEST(Formats1DDecimalTest, CubeWritesOutOfRangeValuesUnclamped) {
    TempDir dir;
    auto lut = NewLut();
    lut->Size1D = 2;
    lut->Table1D[0] = {0.0, 0.5, 1.0};
    lut->Table1D[1] = {1.25, -0.125, 2.0};
    TCube1DLutFormat().Save(dir.File("a.cube"), *lut, 0);
    ExpectFileLines(dir.File("a.cube"), {"# Converted by Vorn LUT Converter", "", "LUT_1D_SIZE 2",
                                         "0.000000 0.500000 1.000000", "1.250000 -0.125000 2.000000"});
}

// A comment with line breaks must not smuggle a size or data line into the file.
TEST(Formats1DDecimalTest, CubeWritesMultiLineCommentsAsCommentLines) {
    TempDir dir;
    auto lut = NewLut();
    SetSample5(*lut);
    lut->Comments = {"one\nLUT_1D_SIZE 2\r\n0 0 0\rend"};
    TCube1DLutFormat cube;
    cube.Save(dir.File("a.cube"), *lut, 0);
    std::vector<std::string> expected = {"# one", "# LUT_1D_SIZE 2", "# 0 0 0", "# end",
                                         "# Converted by Vorn LUT Converter", "", "LUT_1D_SIZE 5"};
    expected.insert(expected.end(), kSampleEntries6.begin(), kSampleEntries6.end());
    ExpectFileLines(dir.File("a.cube"), expected);
    auto read = NewLut();
    cube.Load(dir.File("a.cube"), *read);
    ExpectTablesNear(*lut, *read, kSixDecimals);
}

TEST(Formats1DDecimalTest, FilmlightWritesTruelightLayout) {
    TempDir dir;
    auto lut = NewLut();
    SetSample5(*lut);
    lut->Comments = {"not written by this layout"};
    TFilmlight1DLutFormat().Save(dir.File("a.cube"), *lut, 0);
    std::vector<std::string> expected = {"# Truelight Cube v2.0", "# lutLength 5", "# iDims     3", "", "# InputLUT"};
    expected.insert(expected.end(), kSampleEntries6.begin(), kSampleEntries6.end());
    expected.push_back("# end");
    expected.push_back("# Converted by Vorn LUT Converter");
    ExpectFileLines(dir.File("a.cube"), expected);
}

TEST(Formats1DDecimalTest, NucodaWritesTitleFromFileNameWithoutComments) {
    TempDir dir;
    auto lut = NewLut();
    SetSample5(*lut);
    lut->Comments = {"never written"};
    TNucoda1DLutWriterFormat().Save(dir.File("day2.grade.cms"), *lut, 0);
    std::vector<std::string> expected = {"NUCODA_3D_CUBE 2", "", "TITLE \"day2.grade\"", "", "LUT_1D_SIZE 5", ""};
    expected.insert(expected.end(), kSampleEntries6.begin(), kSampleEntries6.end());
    ExpectFileLines(dir.File("day2.grade.cms"), expected);
}

TEST(Formats1DDecimalTest, ColorfrontWritesEntriesOnly) {
    TempDir dir;
    auto lut = NewLut();
    SetSample5(*lut);
    lut->Comments = {"never written"};
    TColorFrontOSD1DLutFormat().Save(dir.File("a.1dlut"), *lut, 0);
    ExpectFileLines(dir.File("a.1dlut"), kSampleEntries6);
}

TEST(Formats1DDecimalTest, BlackmagicWritesThousandsWithTwoDecimals) {
    TempDir dir;
    auto lut = NewLut();
    SetSample5(*lut);
    lut->Table1D[4].G = 1.2;  // not clamped
    TBlackmagic1DLutFormat().Save(dir.File("a.txt"), *lut, 0);
    ExpectFileLines(dir.File("a.txt"), {"R\tG\tB - HDLINK GAMMA TABLE", "0.00 100.00 50.00", "250.00 300.00 125.00",
                                        "500.00 550.00 250.00", "750.00 800.00 600.00", "1000.00 1200.00 900.00"});
}

TEST(Formats1DDecimalTest, EmptyTableWritesHeadersOnly) {
    TempDir dir;
    auto lut = NewLut();
    lut->Size1D = 0;
    TCube1DLutFormat().Save(dir.File("a.cube"), *lut, 0);
    ExpectFileLines(dir.File("a.cube"), {"# Converted by Vorn LUT Converter", "", "LUT_1D_SIZE 0"});
    TColorFrontOSD1DLutFormat().Save(dir.File("a.1dlut"), *lut, 0);
    EXPECT_TRUE(std::filesystem::exists(dir.File("a.1dlut")));
    EXPECT_EQ(0u, std::filesystem::file_size(dir.File("a.1dlut")));
    TBlackmagic1DLutFormat().Save(dir.File("a.txt"), *lut, 0);
    ExpectFileLines(dir.File("a.txt"), {"R\tG\tB - HDLINK GAMMA TABLE"});
}

TEST(Formats1DDecimalTest, WritersRefuseSizesOutsideTheTable) {
    TempDir dir;
    auto lut = NewLut();
    lut->Size1D = MaxLut1DSize + 1;
    try {
        TCube1DLutFormat().Save(dir.File("a.cube"), *lut, 0);
        ADD_FAILURE() << "Save returned";
    } catch (const ELUTError& e) {
        EXPECT_EQ("LUT size 100002 is too large: at most 100001 entries are supported.", std::string(e.what()));
    }
    lut->Size1D = -3;
    EXPECT_THROW(TBlackmagic1DLutFormat().Save(dir.File("b.txt"), *lut, 0), ELUTError);
    EXPECT_FALSE(std::filesystem::exists(dir.File("a.cube")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("b.txt")));
}

// ---------------------------------------------------------------------------------------------
// Round trips

TEST(Formats1DDecimalTest, RoundTripsThroughEveryReadableLayout) {
    TempDir dir;
    auto written = NewLut();
    SetCurves(*written, 1024);
    struct Case {
        TLUTFormat* format;
        const char* file;
        double tolerance;
    };
    TCube1DLutFormat cube;
    TFilmlight1DLutFormat filmlight;
    TColorFrontOSD1DLutFormat osd;
    TBlackmagic1DLutFormat hdlink;
    const Case cases[] = {{&cube, "a.cube", kSixDecimals},
                          {&filmlight, "b.cube", kSixDecimals},
                          {&osd, "c.1dlut", kSixDecimals},
                          {&hdlink, "d.txt", 0.5e-5 + 1e-12}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format->Name);
        c.format->Save(dir.File(c.file), *written, 0);
        EXPECT_TRUE(c.format->Identify(dir.File(c.file)));
        auto read = NewLut();
        read->LutKind = lk3D;
        c.format->Load(dir.File(c.file), *read);
        ExpectTablesNear(*written, *read, c.tolerance);
    }
}

TEST(Formats1DDecimalTest, CubeRoundTripKeepsCommentsAndOutOfRangeValues) {
    TempDir dir;
    auto written = NewLut();
    SetSample5(*written);
    written->Table1D[1] = {1.25, -0.5, 3.0};
    written->Comments = {"look A"};
    TCube1DLutFormat().Save(dir.File("a.cube"), *written, 0);
    auto read = NewLut();
    TCube1DLutFormat().Load(dir.File("a.cube"), *read);
    ExpectTablesNear(*written, *read, kSixDecimals);
    EXPECT_EQ((std::vector<std::string>{"look A", "Converted by Vorn LUT Converter"}), read->Comments);
}

// ---------------------------------------------------------------------------------------------
// Identify

TEST(Formats1DDecimalTest, IdentifyTellsTheFamiliesApart) {
    TempDir dir;
    auto lut = NewLut();
    SetSample5(*lut);
    TCube1DLutFormat cube;
    TFilmlight1DLutFormat filmlight;
    TNucoda1DLutWriterFormat nucoda;
    TColorFrontOSD1DLutFormat osd;
    TBlackmagic1DLutFormat hdlink;
    cube.Save(dir.File("cube.cube"), *lut, 0);
    filmlight.Save(dir.File("filmlight.cube"), *lut, 0);
    nucoda.Save(dir.File("nucoda.cms"), *lut, 0);
    hdlink.Save(dir.File("hdlink.txt"), *lut, 0);

    EXPECT_TRUE(cube.Identify(dir.File("cube.cube")));
    EXPECT_FALSE(cube.Identify(dir.File("nucoda.cms")));  // NUCODA_3D_CUBE excludes it
    EXPECT_FALSE(cube.Identify(dir.File("filmlight.cube")));
    EXPECT_FALSE(cube.Identify(dir.File("hdlink.txt")));

    EXPECT_TRUE(filmlight.Identify(dir.File("filmlight.cube")));
    EXPECT_FALSE(filmlight.Identify(dir.File("cube.cube")));

    EXPECT_TRUE(hdlink.Identify(dir.File("hdlink.txt")));
    EXPECT_FALSE(hdlink.Identify(dir.File("cube.cube")));

    EXPECT_FALSE(nucoda.Identify(dir.File("nucoda.cms")));

    // Colorfront goes by the extension alone, whatever the content and its case.
    EXPECT_TRUE(osd.Identify(dir.File("cube.1DLUT")));
    EXPECT_TRUE(osd.Identify("/no/such/folder/x.1dLut"));
    EXPECT_FALSE(osd.Identify(dir.File("cube.cube")));
    EXPECT_FALSE(osd.Identify("/folder.1dlut/name"));
    EXPECT_FALSE(osd.Identify("x.1dlut.bak"));
}

TEST(Formats1DDecimalTest, KeywordIdentifyIgnoresCaseAndLooksOnlyAtTheHead) {
    TempDir dir;
    WriteBytes(dir.File("a.cube"), "lut_1d_size 2\n0 0 0\n1 1 1\n");
    EXPECT_TRUE(TCube1DLutFormat().Identify(dir.File("a.cube")));
    WriteBytes(dir.File("b.cube"), std::string(5000, '#') + "\nLUT_1D_SIZE 2\n");
    EXPECT_FALSE(TCube1DLutFormat().Identify(dir.File("b.cube")));
    WriteBytes(dir.File("c.txt"), "r g b - hdlink\n");
    EXPECT_TRUE(TBlackmagic1DLutFormat().Identify(dir.File("c.txt")));
    EXPECT_THROW(TCube1DLutFormat().Identify(dir.File("missing.cube")), EFileError);
}

// ---------------------------------------------------------------------------------------------
// Cube 1D reader

TEST(Formats1DDecimalTest, CubeReaderQuirks) {
    TempDir dir;
    // CR LF line ends, a TITLE, a data line before the size (ignored), comments before, between
    // and after the data, blank and tab-separated lines, a fifth entry beyond the size (ignored).
    WriteBytes(dir.File("a.cube"),
               "  # first\r\nTITLE \"x\"\r\n0.9 0.9 0.9\r\n\r\nLUT_1D_SIZE 4\r\n0 0.1 0.2\r\n"
               "# middle\r\n\t\r\n0.25\t0.35\t0.45\r\n0.5,0.6,0.7\r\n1e0 1.1 1.2E-1\r\n0.7 0.7 0.7\r\n#last");
    auto lut = NewLut();
    lut->Comments = {"kept"};
    TCube1DLutFormat().Load(dir.File("a.cube"), *lut);
    EXPECT_EQ(lk1D, lut->LutKind);
    ASSERT_EQ(4, lut->Size1D);
    EXPECT_DOUBLE_EQ(0.0, lut->Table1D[0].R);
    EXPECT_DOUBLE_EQ(0.2, lut->Table1D[0].B);
    EXPECT_DOUBLE_EQ(0.35, lut->Table1D[1].G);
    EXPECT_DOUBLE_EQ(0.7, lut->Table1D[2].B);
    EXPECT_DOUBLE_EQ(1.0, lut->Table1D[3].R);
    EXPECT_DOUBLE_EQ(0.12, lut->Table1D[3].B);
    EXPECT_EQ((std::vector<std::string>{"kept", "first", "middle", "last"}), lut->Comments);
}

TEST(Formats1DDecimalTest, CubeReaderSkipsLinesThatAreNotThreeNumbers) {
    TempDir dir;
    WriteBytes(dir.File("a.cube"),
               "LUT_1D_SIZE 2\nLUT_1D_INPUT_RANGE 0 1\n0 0\n0 0 0 0\n0,5 0,5 0,5\n0.1 0.2 0.3\nx y z\n0.4 0.5 0.6\n");
    auto lut = NewLut();
    TCube1DLutFormat().Load(dir.File("a.cube"), *lut);
    ASSERT_EQ(2, lut->Size1D);
    EXPECT_DOUBLE_EQ(0.1, lut->Table1D[0].R);
    EXPECT_DOUBLE_EQ(0.6, lut->Table1D[1].B);
}

TEST(Formats1DDecimalTest, CubeReaderErrors) {
    TempDir dir;
    auto lut = NewLut();
    TCube1DLutFormat cube;
    struct Case {
        const char* text;
        const char* message;
    };
    const Case lutErrors[] = {
        {"LUT_1D_SIZE 4\n0 0 0\n0.5 0.5 0.5\n1 1 1\n", "Incomplete file."},
        {"# only a comment\n0 0 0\n1 1 1\n", "Incomplete file."},
        {"", "Incomplete file."},
        {"LUT_1D_SIZE 100002\n0 0 0\n", "LUT size 100002 is too large: at most 100001 entries are supported at line 1."},
        {"LUT_1D_SIZE 1\n0 0 0\n", "LUT size 1 is too small: at least 2 entries are needed at line 1."},
        {"LUT_1D_SIZE -4\n0 0 0\n", "LUT size -4 is too small: at least 2 entries are needed at line 1."},
    };
    for (const Case& c : lutErrors) {
        SCOPED_TRACE(c.text);
        WriteBytes(dir.File("a.cube"), c.text);
        ExpectLoadError<ELUTError>(cube, dir.File("a.cube"), *lut, c.message);
    }
    WriteBytes(dir.File("a.cube"), "LUT_1D_SIZE four\n");
    ExpectLoadError<EConvertError>(cube, dir.File("a.cube"), *lut, "'four' is not a valid integer value at line 1");
    WriteBytes(dir.File("a.cube"), "LUT_1D_SIZE\n");
    ExpectLoadError<EConvertError>(cube, dir.File("a.cube"), *lut, "'' is not a valid integer value at line 1");
    EXPECT_THROW(cube.Load(dir.File("missing.cube"), *lut), EFileError);
}

TEST(Formats1DDecimalTest, FailedLoadLeavesKindAndSizeAlone) {
    TempDir dir;
    auto lut = NewLut();
    lut->SetIdentity3D(3);
    WriteBytes(dir.File("a.cube"), "LUT_1D_SIZE 4\n0 0 0\n");
    EXPECT_THROW(TCube1DLutFormat().Load(dir.File("a.cube"), *lut), ELUTError);
    EXPECT_EQ(lk3D, lut->LutKind);
    EXPECT_EQ(3, lut->Size3D);
    EXPECT_EQ(0, lut->Size1D);
}

// A later size line must not stretch a table that is already complete.
TEST(Formats1DDecimalTest, CubeReaderKeepsTheFirstSize) {
    TempDir dir;
    WriteBytes(dir.File("a.cube"), "LUT_1D_SIZE 2\n0 0 0\n1 1 1\nLUT_1D_SIZE 3\n0.5 0.5 0.5\n");
    auto lut = NewLut();
    TCube1DLutFormat().Load(dir.File("a.cube"), *lut);
    EXPECT_EQ(2, lut->Size1D);
    EXPECT_DOUBLE_EQ(1.0, lut->Table1D[1].G);
}

// ---------------------------------------------------------------------------------------------
// Filmlight reader

TEST(Formats1DDecimalTest, FilmlightReadsLengthFromComment) {
    TempDir dir;
    WriteBytes(dir.File("a.cube"),
               "# Truelight Cube v2.0\r\n# LUTLENGTH 3\r\n# iDims 3\r\n\r\n# InputLUT\r\n0 0.1 0.2\r\n"
               "# a comment between entries\r\n0.3 0.4 0.5\r\n0.6 0.7 0.8\r\n0.9 0.9 0.9\r\n# end\r\n");
    auto lut = NewLut();
    TFilmlight1DLutFormat().Load(dir.File("a.cube"), *lut);
    ASSERT_EQ(3, lut->Size1D);
    EXPECT_DOUBLE_EQ(0.1, lut->Table1D[0].G);
    EXPECT_DOUBLE_EQ(0.5, lut->Table1D[1].B);
    EXPECT_DOUBLE_EQ(0.6, lut->Table1D[2].R);
    EXPECT_TRUE(lut->Comments.empty());
}

TEST(Formats1DDecimalTest, FilmlightReaderErrors) {
    TempDir dir;
    auto lut = NewLut();
    TFilmlight1DLutFormat filmlight;
    WriteBytes(dir.File("a.cube"), "# lutLength 3\n# iDims 3\n0 0 0\n1 1 1\n# end\n");
    ExpectLoadError<ELUTError>(filmlight, dir.File("a.cube"), *lut, "Incomplete file.");
    WriteBytes(dir.File("a.cube"), "# iDims 3\n0 0 0\n1 1 1\n");
    ExpectLoadError<ELUTError>(filmlight, dir.File("a.cube"), *lut, "Incomplete file.");
    WriteBytes(dir.File("a.cube"), "# lutLength x3\n");
    ExpectLoadError<EConvertError>(filmlight, dir.File("a.cube"), *lut, "'x3' is not a valid integer value at line 1");
    WriteBytes(dir.File("a.cube"), "# lutLength 2000000000\n");
    ExpectLoadError<ELUTError>(filmlight, dir.File("a.cube"), *lut,
                               "LUT size 2000000000 is too large: at most 100001 entries are supported at line 1.");
}

// ---------------------------------------------------------------------------------------------
// Colorfront OSD and Blackmagic HDLink readers (both count their entries)

TEST(Formats1DDecimalTest, ColorfrontCountsEntries) {
    TempDir dir;
    WriteBytes(dir.File("a.1dlut"), "# made by hand\r\n0 0.1 0.2\r\n\r\nnot a number\r\n0.3 0.4 0.5\r\n1 1 1");
    auto lut = NewLut();
    TColorFrontOSD1DLutFormat osd;
    osd.Load(dir.File("a.1dlut"), *lut);
    ASSERT_EQ(3, lut->Size1D);
    EXPECT_DOUBLE_EQ(0.4, lut->Table1D[1].G);
    EXPECT_DOUBLE_EQ(1.0, lut->Table1D[2].B);
    EXPECT_TRUE(lut->Comments.empty());

    WriteBytes(dir.File("b.1dlut"), "# nothing but comments\n\n   # and blanks\n");
    ExpectLoadError<ELUTError>(osd, dir.File("b.1dlut"), *lut, "Incomplete file.");
    // A line that is not an entry still completes the file, which then has too few entries.
    WriteBytes(dir.File("c.1dlut"), "garbage\n");
    ExpectLoadError<ELUTError>(osd, dir.File("c.1dlut"), *lut,
                               "LUT size 0 is too small: at least 2 entries are needed.");
}

TEST(Formats1DDecimalTest, BlackmagicReadsLinesStartingWithADigit) {
    TempDir dir;
    WriteBytes(dir.File("a.txt"),
               "R\tG\tB - HDLINK GAMMA TABLE\r\n# comment\r\n0.00 100.00 50.00\r\n-5.00 0 0\r\n"
               "  500 550.5 250\r\n1000.00\t1200.00\t900.00\r\n");
    auto lut = NewLut();
    TBlackmagic1DLutFormat hdlink;
    hdlink.Load(dir.File("a.txt"), *lut);
    ASSERT_EQ(3, lut->Size1D);
    EXPECT_DOUBLE_EQ(0.1, lut->Table1D[0].G);
    EXPECT_DOUBLE_EQ(0.5505, lut->Table1D[1].G);
    EXPECT_DOUBLE_EQ(1.2, lut->Table1D[2].G);
    EXPECT_DOUBLE_EQ(0.9, lut->Table1D[2].B);

    WriteBytes(dir.File("b.txt"), "R\tG\tB - HDLINK GAMMA TABLE\n-1 0 0\n");
    ExpectLoadError<ELUTError>(hdlink, dir.File("b.txt"), *lut, "Incomplete file.");
}

TEST(Formats1DDecimalTest, CountingReadersRefuseTheEntryBeyondCapacity) {
    TempDir dir;
    std::string text;
    text.reserve((MaxLut1DSize + 1) * 6);
    for (int i = 0; i <= MaxLut1DSize; ++i) text += "1 0 1\n";
    WriteBytes(dir.File("a.1dlut"), text);
    auto lut = NewLut();
    TColorFrontOSD1DLutFormat osd;
    ExpectLoadError<ELUTError>(osd, dir.File("a.1dlut"), *lut,
                               "LUT size 100002 is too large: at most 100001 entries are supported at line 100002.");
    EXPECT_EQ(0, lut->Size1D);

    // Exactly at capacity the file is read in full.
    text.resize(text.size() - 6);
    WriteBytes(dir.File("b.1dlut"), text);
    osd.Load(dir.File("b.1dlut"), *lut);
    EXPECT_EQ(MaxLut1DSize, lut->Size1D);
    EXPECT_DOUBLE_EQ(1.0, lut->Table1D[MaxLut1DSize - 1].B);
}

}  // namespace
}  // namespace tintavo
