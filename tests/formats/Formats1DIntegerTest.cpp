// Codex 1D, Autodesk Lustre 1D, Quantel 1D, Fusion 1D, Cine-tal 1D, Shake 1D and the DaVinci
// Resolve ilut and olut readers.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "Formats1DTestUtil.h"
#include "common/Errors.h"
#include "formats/Formats1DInteger.h"

namespace tintavo {
namespace {

using test1d::ExpectFileLines;
using test1d::ExpectLoadError;
using test1d::ExpectTablesNear;
using test1d::NewLut;
using test1d::SetCurves;
using test1d::SetSample5;
using test1d::TempDir;
using test1d::WriteBytes;

// The sample table as integer codes (rounded half to even):
//   10 bits  R 0 256 512 767 1023     G 102 307 563 818 972     B 51 128 256 614 921
//   12 bits  R 0 1024 2048 3071 4095  G 410 1228 2252 3276 3890 B 205 512 1024 2457 3686
const std::vector<std::string> kSampleEntries10 = {"0 102 51", "256 307 128", "512 563 256", "767 818 614",
                                                   "1023 972 921"};

double HalfCode(int bits) { return 0.5 / (std::ldexp(1.0, bits) - 1) + 1e-12; }

TEST(Formats1DIntegerTest, NamesAndKinds) {
    EXPECT_EQ("Codex 1D, Scratch 1D", TCodex1DLutFormat().Name);
    EXPECT_EQ("Autodesk Lustre 1D", TLustre1DLutFormat().Name);
    EXPECT_EQ("Quantel 1D", TQuantel1DLutFormat().Name);
    EXPECT_EQ("Fusion 1D", TFusion1DLutFormat().Name);
    EXPECT_EQ("Cine-tal 1D", TCinetal1DLutFormat().Name);
    EXPECT_EQ("Shake 1D", TShake1DLutFormat().Name);
    EXPECT_EQ("DaVinci Resolve ilut 1D", TDavinciILut1DLutFormat().Name);
    EXPECT_EQ("DaVinci Resolve olut 1D", TDavinciOLut1DLutFormat().Name);
    EXPECT_FALSE(TCodex1DLutFormat().Is3D);
    EXPECT_FALSE(TLustre1DLutFormat().Is3D);
    EXPECT_FALSE(TQuantel1DLutFormat().Is3D);
    EXPECT_FALSE(TFusion1DLutFormat().Is3D);
    EXPECT_FALSE(TCinetal1DLutFormat().Is3D);
    EXPECT_FALSE(TShake1DLutFormat().Is3D);
    EXPECT_FALSE(TDavinciILut1DLutFormat().Is3D);
    EXPECT_FALSE(TDavinciOLut1DLutFormat().Is3D);
}

// ---------------------------------------------------------------------------------------------
// Writers: exact bytes

TEST(Formats1DIntegerTest, CodexWritesPlanarChannels) {
    TempDir dir;
    auto lut = NewLut();
    SetSample5(*lut);
    TCodex1DLutFormat().Save(dir.File("a.dat"), *lut, 10);
    ExpectFileLines(dir.File("a.dat"), {"# Converted by Vorn LUT Converter", "", "LUT: 3 5", "",
                                        "0", "256", "512", "767", "1023",     // red
                                        "102", "307", "563", "818", "972",    // green
                                        "51", "128", "256", "614", "921"});  // blue
}

TEST(Formats1DIntegerTest, CodexWritesCodesUnclamped) {
    TempDir dir;
    auto lut = NewLut();
    lut->Size1D = 2;
    lut->Table1D[0] = {1.25, -0.01, std::numeric_limits<double>::quiet_NaN()};
    lut->Table1D[1] = {0.5, -1.0, 1.0};
    TCodex1DLutFormat().Save(dir.File("a.dat"), *lut, 10);
    ExpectFileLines(dir.File("a.dat"), {"# Converted by Vorn LUT Converter", "", "LUT: 3 2", "", "1279", "512",
                                        "-10", "-1023", "0", "1023"});
}

TEST(Formats1DIntegerTest, LustreWritesIndexAndCodes) {
    TempDir dir;
    auto lut = NewLut();
    SetSample5(*lut);
    TLustre1DLutFormat().Save(dir.File("a.lut"), *lut, 12);
    ExpectFileLines(dir.File("a.lut"), {"LUT12", "", "# Converted by Vorn LUT Converter", "", "0 0 410 205",
                                        "1 1024 1228 512", "2 2048 2252 1024", "3 3071 3276 2457",
                                        "4 4095 3890 3686"});
}

TEST(Formats1DIntegerTest, QuantelWritesHeaderWithTabs) {
    TempDir dir;
    auto lut = NewLut();
    SetSample5(*lut);
    TQuantel1DLutFormat().Save(dir.File("a.txt"), *lut, 10);
    std::vector<std::string> expected = {"table type\t2", "", "gMax\t1023", "gSize\t5", "", "gamma", "r\tg\tb"};
    expected.insert(expected.end(), kSampleEntries10.begin(), kSampleEntries10.end());
    ExpectFileLines(dir.File("a.txt"), expected);
}

TEST(Formats1DIntegerTest, FusionWritesIndexBeforeEveryCode) {
    TempDir dir;
    auto lut = NewLut();
    SetSample5(*lut);
    TFusion1DLutFormat().Save(dir.File("a.alut"), *lut, 10);
    ExpectFileLines(dir.File("a.alut"), {"F5LT", "", "10", "", "0 0 0 102 0 51", "1 256 1 307 1 128",
                                         "2 512 2 563 2 256", "3 767 3 818 3 614", "4 1023 4 972 4 921"});
}

TEST(Formats1DIntegerTest, CinetalAndShakeWriteBareClampedCodes) {
    TempDir dir;
    auto lut = NewLut();
    SetSample5(*lut);
    TCinetal1DLutFormat().Save(dir.File("c.txt"), *lut, 10);
    ExpectFileLines(dir.File("c.txt"), kSampleEntries10);

    lut->Size1D = 2;
    lut->Table1D[0] = {1.7, -0.3, std::numeric_limits<double>::quiet_NaN()};
    lut->Table1D[1] = {0.5, 1.0, 0.0};
    TShake1DLutFormat().Save(dir.File("s.txt"), *lut, 10);
    ExpectFileLines(dir.File("s.txt"), {"1023 0 0", "512 1023 0"});
}

TEST(Formats1DIntegerTest, EmptyTableWritesHeadersOnly) {
    TempDir dir;
    auto lut = NewLut();
    lut->Size1D = 0;
    TCodex1DLutFormat().Save(dir.File("a.dat"), *lut, 10);
    ExpectFileLines(dir.File("a.dat"), {"# Converted by Vorn LUT Converter", "", "LUT: 3 0", ""});
    TQuantel1DLutFormat().Save(dir.File("q.txt"), *lut, 12);
    ExpectFileLines(dir.File("q.txt"), {"table type\t2", "", "gMax\t4095", "gSize\t0", "", "gamma", "r\tg\tb"});
    TShake1DLutFormat().Save(dir.File("s.txt"), *lut, 16);
    TCinetal1DLutFormat().Save(dir.File("c.txt"), *lut, 16);
    EXPECT_EQ(0u, std::filesystem::file_size(dir.File("s.txt")));
    EXPECT_EQ(0u, std::filesystem::file_size(dir.File("c.txt")));
}

TEST(Formats1DIntegerTest, WritersRefuseBadDepthsAndSizes) {
    TempDir dir;
    auto lut = NewLut();
    SetSample5(*lut);
    try {
        TShake1DLutFormat().Save(dir.File("a.txt"), *lut, 0);
        ADD_FAILURE() << "Save returned";
    } catch (const ELUTError& e) {
        EXPECT_EQ("Unsupported bit depth 0 (1 to 31 bits).", std::string(e.what()));
    }
    EXPECT_THROW(TCodex1DLutFormat().Save(dir.File("a.txt"), *lut, 32), ELUTError);
    EXPECT_THROW(TLustre1DLutFormat().Save(dir.File("a.txt"), *lut, -1), ELUTError);
    lut->Size1D = MaxLut1DSize + 1;
    EXPECT_THROW(TFusion1DLutFormat().Save(dir.File("a.txt"), *lut, 16), ELUTError);
    EXPECT_FALSE(std::filesystem::exists(dir.File("a.txt")));
}

TEST(Formats1DIntegerTest, DavinciSaveCreatesNoFile) {
    TempDir dir;
    auto lut = NewLut();
    SetSample5(*lut);
    TDavinciILut1DLutFormat().Save(dir.File("a.ilut"), *lut, 14);
    TDavinciOLut1DLutFormat().Save(dir.File("a.olut"), *lut, 12);
    EXPECT_FALSE(std::filesystem::exists(dir.File("a.ilut")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("a.olut")));
}

// ---------------------------------------------------------------------------------------------
// Round trips

TEST(Formats1DIntegerTest, RoundTripsThroughEveryReadableLayout) {
    TempDir dir;
    TLustre1DLutFormat lustre;
    TQuantel1DLutFormat quantel;
    TFusion1DLutFormat fusion;
    TCodex1DLutFormat codex;
    struct Case {
        TLUTFormat* format;
        int bits;
        int size;
    };
    // Codex divides by Size - 1, so it round-trips where 2^bits = Size.
    const Case cases[] = {{&lustre, 12, 5},     {&lustre, 16, 4096},  {&quantel, 10, 1024},
                          {&quantel, 16, 300},  {&quantel, 31, 5},    {&fusion, 8, 256},
                          {&fusion, 16, 4096},  {&fusion, 31, 5},     {&codex, 10, 1024},
                          {&codex, 4, 16}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format->Name + " at " + std::to_string(c.bits) + " bits, " + std::to_string(c.size));
        auto written = NewLut();
        if (c.size == 5)
            SetSample5(*written);
        else
            SetCurves(*written, c.size);
        const std::string file = dir.File("roundtrip.txt");
        c.format->Save(file, *written, c.bits);
        EXPECT_TRUE(c.format->Identify(file));
        auto read = NewLut();
        read->LutKind = lk3D;
        c.format->Load(file, *read);
        ExpectTablesNear(*written, *read, HalfCode(c.bits));
    }
}

// ---------------------------------------------------------------------------------------------
// Identify

TEST(Formats1DIntegerTest, IdentifyTellsTheFamiliesApart) {
    TempDir dir;
    auto lut = NewLut();
    SetSample5(*lut);
    TCodex1DLutFormat codex;
    TLustre1DLutFormat lustre;
    TQuantel1DLutFormat quantel;
    TFusion1DLutFormat fusion;
    TCinetal1DLutFormat cinetal;
    TShake1DLutFormat shake;
    codex.Save(dir.File("codex.dat"), *lut, 10);
    lustre.Save(dir.File("lustre16.lut"), *lut, 16);
    lustre.Save(dir.File("lustre12.lut"), *lut, 12);
    lustre.Save(dir.File("lustre10.lut"), *lut, 10);
    quantel.Save(dir.File("quantel.txt"), *lut, 10);
    fusion.Save(dir.File("fusion.alut"), *lut, 16);
    cinetal.Save(dir.File("cinetal.txt"), *lut, 10);
    shake.Save(dir.File("shake.txt"), *lut, 16);

    struct Case {
        TLUTFormat* format;
        const char* own;
        std::vector<const char*> others;
    };
    const Case cases[] = {
        {&codex, "codex.dat", {"lustre16.lut", "quantel.txt", "fusion.alut", "shake.txt"}},
        {&lustre, "lustre16.lut", {"codex.dat", "quantel.txt", "fusion.alut", "lustre10.lut"}},
        {&lustre, "lustre12.lut", {}},
        {&quantel, "quantel.txt", {"codex.dat", "lustre12.lut", "fusion.alut", "cinetal.txt"}},
        {&fusion, "fusion.alut", {"codex.dat", "lustre16.lut", "quantel.txt", "shake.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format->Name);
        EXPECT_TRUE(c.format->Identify(dir.File(c.own))) << c.own;
        for (const char* other : c.others) EXPECT_FALSE(c.format->Identify(dir.File(other))) << other;
    }
    EXPECT_FALSE(cinetal.Identify(dir.File("cinetal.txt")));
    EXPECT_FALSE(shake.Identify(dir.File("shake.txt")));
}

TEST(Formats1DIntegerTest, QuantelIdentifyNeedsEveryWordInAnyOrder) {
    TempDir dir;
    WriteBytes(dir.File("a.txt"), "GSIZE 2 type gmax 3 table\n");
    EXPECT_TRUE(TQuantel1DLutFormat().Identify(dir.File("a.txt")));
    WriteBytes(dir.File("b.txt"), "table\ngMax 3\ngSize 2\n");
    EXPECT_FALSE(TQuantel1DLutFormat().Identify(dir.File("b.txt")));
}

TEST(Formats1DIntegerTest, DavinciIdentifyByExtension) {
    TempDir dir;
    WriteBytes(dir.File("a.ilut"), "0 0 0\n16383 16383 16383\n");
    WriteBytes(dir.File("b.ILUT"), "0 0 0\n");
    WriteBytes(dir.File("script.ilut"), "<?xml version=\"1.0\"?>\n<iridascript>\n</iridascript>\n");
    WriteBytes(dir.File("a.olut"), "0 0 0\n");
    WriteBytes(dir.File("a.txt"), "0 0 0\n");
    TDavinciILut1DLutFormat ilut;
    TDavinciOLut1DLutFormat olut;
    EXPECT_TRUE(ilut.Identify(dir.File("a.ilut")));
    EXPECT_TRUE(ilut.Identify(dir.File("b.ILUT")));
    EXPECT_FALSE(ilut.Identify(dir.File("script.ilut")));
    EXPECT_FALSE(ilut.Identify(dir.File("a.olut")));
    EXPECT_FALSE(ilut.Identify(dir.File("a.txt")));
    EXPECT_TRUE(olut.Identify(dir.File("a.olut")));
    EXPECT_TRUE(olut.Identify("/not/there/x.OLut"));
    EXPECT_FALSE(olut.Identify(dir.File("a.ilut")));
}

// ---------------------------------------------------------------------------------------------
// Codex reader

TEST(Formats1DIntegerTest, CodexSingleChannelFeedsAllCurves) {
    TempDir dir;
    WriteBytes(dir.File("a.dat"), "# from the camera\r\n\r\nLUT: 1 5\r\n# ignored after the header\r\n"
                                  "0\r\n1\r\n2\r\n  3  \r\n4\r\n5\r\n");
    auto lut = NewLut();
    TCodex1DLutFormat().Load(dir.File("a.dat"), *lut);
    ASSERT_EQ(5, lut->Size1D);
    for (int i = 0; i < 5; ++i) {
        EXPECT_DOUBLE_EQ(i / 4.0, lut->Table1D[i].R);
        EXPECT_DOUBLE_EQ(i / 4.0, lut->Table1D[i].G);
        EXPECT_DOUBLE_EQ(i / 4.0, lut->Table1D[i].B);
    }
    EXPECT_EQ(std::vector<std::string>{"from the camera"}, lut->Comments);
}

TEST(Formats1DIntegerTest, CodexPlanarReadsRedThenGreenThenBlue) {
    TempDir dir;
    WriteBytes(dir.File("a.dat"), "LUT: 3 3\n0\n1\n2\n2\n0\n1\nnot a value\n1 2\n-2\n4\n2\n");
    auto lut = NewLut();
    TCodex1DLutFormat().Load(dir.File("a.dat"), *lut);
    ASSERT_EQ(3, lut->Size1D);
    EXPECT_DOUBLE_EQ(0.0, lut->Table1D[0].R);
    EXPECT_DOUBLE_EQ(1.0, lut->Table1D[2].R);
    EXPECT_DOUBLE_EQ(1.0, lut->Table1D[0].G);
    EXPECT_DOUBLE_EQ(0.0, lut->Table1D[1].G);
    EXPECT_DOUBLE_EQ(-1.0, lut->Table1D[0].B);
    EXPECT_DOUBLE_EQ(2.0, lut->Table1D[1].B);
    EXPECT_DOUBLE_EQ(1.0, lut->Table1D[2].B);
}

// The divisor is Size - 1 whatever depth the file was written at.
TEST(Formats1DIntegerTest, CodexDividesBySizeMinusOne) {
    TempDir dir;
    auto written = NewLut();
    SetSample5(*written);
    TCodex1DLutFormat codex;
    codex.Save(dir.File("a.dat"), *written, 12);
    auto lut = NewLut();
    codex.Load(dir.File("a.dat"), *lut);
    ASSERT_EQ(5, lut->Size1D);
    EXPECT_DOUBLE_EQ(1024 / 4.0, lut->Table1D[1].R);
    EXPECT_DOUBLE_EQ(3890 / 4.0, lut->Table1D[4].G);
    EXPECT_DOUBLE_EQ(3686 / 4.0, lut->Table1D[4].B);
}

TEST(Formats1DIntegerTest, CodexReaderErrors) {
    TempDir dir;
    auto lut = NewLut();
    TCodex1DLutFormat codex;
    struct Case {
        const char* text;
        const char* message;
    };
    const Case lutErrors[] = {
        {"LUT: 3 3\n0\n1\n2\n0\n1\n2\n0\n1\n", "Incomplete file."},  // one blue value short
        {"LUT: 1 3\n0\n1\n", "Incomplete file."},
        {"0\n1\n2\n", "Incomplete file."},
        {"LUT: 3 0\n", "LUT size 0 is too small: at least 2 entries are needed at line 1."},
        {"LUT: 3 1\n0\n0\n0\n", "LUT size 1 is too small: at least 2 entries are needed at line 1."},
        {"LUT: 3 100002\n", "LUT size 100002 is too large: at most 100001 entries are supported at line 1."},
    };
    for (const Case& c : lutErrors) {
        SCOPED_TRACE(c.text);
        WriteBytes(dir.File("a.dat"), c.text);
        ExpectLoadError<ELUTError>(codex, dir.File("a.dat"), *lut, c.message);
    }
    WriteBytes(dir.File("a.dat"), "LUT: 3 x1024\n");
    ExpectLoadError<EConvertError>(codex, dir.File("a.dat"), *lut, "'x1024' is not a valid integer value at line 1");
    WriteBytes(dir.File("a.dat"), "LUT: three 1024\n");
    ExpectLoadError<EConvertError>(codex, dir.File("a.dat"), *lut, "'three' is not a valid integer value at line 1");
    WriteBytes(dir.File("a.dat"), "LUT:\n");
    ExpectLoadError<EConvertError>(codex, dir.File("a.dat"), *lut, "'' is not a valid integer value at line 1");
}

// A second header must not reopen a table that is complete.
TEST(Formats1DIntegerTest, CodexReaderKeepsTheFirstHeader) {
    TempDir dir;
    WriteBytes(dir.File("a.dat"), "LUT: 1 2\n0\n1\nLUT: 1 4\n1\n1\n");
    auto lut = NewLut();
    TCodex1DLutFormat().Load(dir.File("a.dat"), *lut);
    EXPECT_EQ(2, lut->Size1D);
    EXPECT_DOUBLE_EQ(1.0, lut->Table1D[1].R);
}

// ---------------------------------------------------------------------------------------------
// Lustre reader

TEST(Formats1DIntegerTest, LustreIgnoresTheIndexColumn) {
    TempDir dir;
    WriteBytes(dir.File("a.lut"), "made by hand\r\nLUT16\r\n\r\n# note\r\n7 65535 0 0\r\n3\t0\t65535\t0\r\n"
                                  "not an entry\r\n0 0 0 32768\r\n");
    auto lut = NewLut();
    TLustre1DLutFormat().Load(dir.File("a.lut"), *lut);
    ASSERT_EQ(3, lut->Size1D);
    EXPECT_DOUBLE_EQ(1.0, lut->Table1D[0].R);
    EXPECT_DOUBLE_EQ(0.0, lut->Table1D[0].G);
    EXPECT_DOUBLE_EQ(1.0, lut->Table1D[1].G);
    EXPECT_DOUBLE_EQ(32768.0 / 65535.0, lut->Table1D[2].B);
    EXPECT_TRUE(lut->Comments.empty());
}

TEST(Formats1DIntegerTest, LustreReaderErrors) {
    TempDir dir;
    auto lut = NewLut();
    TLustre1DLutFormat lustre;
    auto written = NewLut();
    SetSample5(*written);
    lustre.Save(dir.File("ten.lut"), *written, 10);  // "LUT10" is no Lustre header
    ExpectLoadError<ELUTError>(lustre, dir.File("ten.lut"), *lut, "Incomplete file.");
    WriteBytes(dir.File("a.lut"), "lut16\n0 0 0 0\n1 1 1 1\n");  // the header is case-sensitive
    ExpectLoadError<ELUTError>(lustre, dir.File("a.lut"), *lut, "Incomplete file.");
    WriteBytes(dir.File("a.lut"), "LUT12\n\n# nothing follows\n");
    ExpectLoadError<ELUTError>(lustre, dir.File("a.lut"), *lut, "Incomplete file.");
    WriteBytes(dir.File("a.lut"), "LUT12\nrubbish\n");
    ExpectLoadError<ELUTError>(lustre, dir.File("a.lut"), *lut,
                               "LUT size 0 is too small: at least 2 entries are needed.");
}

// ---------------------------------------------------------------------------------------------
// Quantel reader

TEST(Formats1DIntegerTest, QuantelReadsHeaderValuesAfterTheKeyword) {
    TempDir dir;
    WriteBytes(dir.File("a.txt"), "table type\t2\r\n# note\r\ngSize\t3\r\ngMax 255\r\n\r\ngamma\r\nr\tg\tb\r\n"
                                  "0 51 255\r\n255\t0\t0\r\n128,64,32\r\n0 0 0\r\n");
    auto lut = NewLut();
    TQuantel1DLutFormat().Load(dir.File("a.txt"), *lut);
    ASSERT_EQ(3, lut->Size1D);
    EXPECT_DOUBLE_EQ(0.2, lut->Table1D[0].G);
    EXPECT_DOUBLE_EQ(1.0, lut->Table1D[1].R);
    EXPECT_DOUBLE_EQ(128.0 / 255.0, lut->Table1D[2].R);
    EXPECT_DOUBLE_EQ(32.0 / 255.0, lut->Table1D[2].B);
}

TEST(Formats1DIntegerTest, QuantelReaderErrors) {
    TempDir dir;
    auto lut = NewLut();
    TQuantel1DLutFormat quantel;
    WriteBytes(dir.File("a.txt"), "gMax\t0\ngSize\t2\n0 0 0\n0 0 0\n");
    ExpectLoadError<ELUTError>(quantel, dir.File("a.txt"), *lut, "Invalid largest code 0: gMax must be at least 1 at line 1.");
    WriteBytes(dir.File("a.txt"), "gMax\t-1023\ngSize\t2\n");
    ExpectLoadError<ELUTError>(quantel, dir.File("a.txt"), *lut,
                               "Invalid largest code -1023: gMax must be at least 1 at line 1.");
    WriteBytes(dir.File("a.txt"), "gMax\t1023\ngSize\tmany\n");
    ExpectLoadError<EConvertError>(quantel, dir.File("a.txt"), *lut, "'many' is not a valid integer value at line 2");
    WriteBytes(dir.File("a.txt"), "gMax\t1023\ngSize\t3\n0 0 0\n1 1 1\n");
    ExpectLoadError<ELUTError>(quantel, dir.File("a.txt"), *lut, "Incomplete file.");
    WriteBytes(dir.File("a.txt"), "gSize\t2\n0 0 0\n1 1 1\n");  // no largest code: nothing is read
    ExpectLoadError<ELUTError>(quantel, dir.File("a.txt"), *lut, "Incomplete file.");
    WriteBytes(dir.File("a.txt"), "gMax\t1023\ngSize\t1000000\n");
    ExpectLoadError<ELUTError>(quantel, dir.File("a.txt"), *lut,
                               "LUT size 1000000 is too large: at most 100001 entries are supported at line 2.");
}

// ---------------------------------------------------------------------------------------------
// Fusion reader

TEST(Formats1DIntegerTest, FusionSkipsTheIndexCopies) {
    TempDir dir;
    WriteBytes(dir.File("a.alut"), "F5LT\r\n\r\n# note\r\n8\r\n\r\n0 255 0 0 0 51\r\n"
                                   "9 0 3 255 -7 0\r\n1 2 3 4 5\r\n1 2 3 4 5 6 7\r\n");
    auto lut = NewLut();
    TFusion1DLutFormat().Load(dir.File("a.alut"), *lut);
    ASSERT_EQ(2, lut->Size1D);
    EXPECT_DOUBLE_EQ(1.0, lut->Table1D[0].R);
    EXPECT_DOUBLE_EQ(0.2, lut->Table1D[0].B);
    EXPECT_DOUBLE_EQ(1.0, lut->Table1D[1].G);
    EXPECT_DOUBLE_EQ(0.0, lut->Table1D[1].B);
}

TEST(Formats1DIntegerTest, FusionReaderErrors) {
    TempDir dir;
    auto lut = NewLut();
    TFusion1DLutFormat fusion;
    WriteBytes(dir.File("a.alut"), "F5LT\n0\n0 0 0 0 0 0\n1 1 1 1 1 1\n");
    ExpectLoadError<ELUTError>(fusion, dir.File("a.alut"), *lut, "Unsupported bit depth 0 (1 to 31 bits) at line 2.");
    WriteBytes(dir.File("a.alut"), "F5LT\n70\n");
    ExpectLoadError<ELUTError>(fusion, dir.File("a.alut"), *lut, "Unsupported bit depth 70 (1 to 31 bits) at line 2.");
    WriteBytes(dir.File("a.alut"), "F5LT\n\n16\n\n");
    ExpectLoadError<ELUTError>(fusion, dir.File("a.alut"), *lut, "Incomplete file.");
    WriteBytes(dir.File("a.alut"), "F5LT\n0 0 0 0 0 0\n1 65535 1 65535 1 65535\n");  // no depth line
    ExpectLoadError<ELUTError>(fusion, dir.File("a.alut"), *lut, "Incomplete file.");
}

// ---------------------------------------------------------------------------------------------
// DaVinci readers

TEST(Formats1DIntegerTest, DavinciReadsFourteenAndTwelveBitCodes) {
    TempDir dir;
    WriteBytes(dir.File("a.ilut"), "# input\r\n0 8192 16383\r\n16383 16383 16383\r\nbad line\r\n");
    WriteBytes(dir.File("a.olut"), "0 2048 4095\n4095,4095,4095\n");
    auto lut = NewLut();
    TDavinciILut1DLutFormat().Load(dir.File("a.ilut"), *lut);
    ASSERT_EQ(2, lut->Size1D);
    EXPECT_DOUBLE_EQ(8192.0 / 16383.0, lut->Table1D[0].G);
    EXPECT_DOUBLE_EQ(1.0, lut->Table1D[0].B);
    TDavinciOLut1DLutFormat().Load(dir.File("a.olut"), *lut);
    ASSERT_EQ(2, lut->Size1D);
    EXPECT_DOUBLE_EQ(2048.0 / 4095.0, lut->Table1D[0].G);
    EXPECT_DOUBLE_EQ(1.0, lut->Table1D[1].R);

    WriteBytes(dir.File("b.olut"), "# only a comment\n");
    TDavinciOLut1DLutFormat olut;
    ExpectLoadError<ELUTError>(olut, dir.File("b.olut"), *lut, "Incomplete file.");
}

}  // namespace
}  // namespace tintavo
