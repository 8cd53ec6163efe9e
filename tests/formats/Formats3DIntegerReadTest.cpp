// Reading and identifying the integer-code 3D text layouts, round trips and bad input.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "common/Errors.h"
#include "formats/Formats3DInteger.h"
#include "formats/LUTFormat.h"
#include "Formats3DIntegerTestUtil.h"

namespace tintavo {
namespace {

using test3di::ReadBytes;
using test3di::TempDir;
using test3di::WriteBytes;

class Formats3DIntegerRead : public ::testing::Test {
protected:
    TempDir dir;
    std::unique_ptr<TLUT> lut = std::make_unique<TLUT>();

    std::string Put(const std::string& name, const std::string& text) {
        const std::string file = dir.File(name);
        WriteBytes(file, text);
        return file;
    }

    void Load(TLUTFormat& format, const std::string& name, const std::string& text) {
        format.Load(Put(name, text), *lut);
    }

    // The message of the ELUTError that loading `text` raises ("" when none is raised).
    std::string LoadError(TLUTFormat& format, const std::string& text) {
        try {
            Load(format, "bad.txt", text);
        } catch (const ELUTError& e) {
            return e.what();
        }
        return "";
    }

    // Every entry of the loaded 2-point LUT is the code triple given (blue fastest) / largest.
    void ExpectEntries2(const char* const codes[8][3], double largest) {
        ASSERT_EQ(lk3D, lut->LutKind);
        ASSERT_EQ(2, lut->Size3D);
        int k = 0;
        for (int r = 0; r < 2; ++r)
            for (int g = 0; g < 2; ++g)
                for (int b = 0; b < 2; ++b, ++k) {
                    const TLutColor& c = lut->Table3D[r][g][b];
                    EXPECT_DOUBLE_EQ(std::stod(codes[k][0]) / largest, c.R) << "entry " << k;
                    EXPECT_DOUBLE_EQ(std::stod(codes[k][1]) / largest, c.G) << "entry " << k;
                    EXPECT_DOUBLE_EQ(std::stod(codes[k][2]) / largest, c.B) << "entry " << k;
                }
    }
};

const char* const kAsym[8][3] = {{"1", "334", "667"},   {"4", "337", "670"},   {"31", "364", "697"},
                                 {"34", "367", "700"},  {"301", "634", "967"}, {"304", "637", "970"},
                                 {"331", "664", "997"}, {"334", "667", "1000"}};

// --- 3DL ---

TEST_F(Formats3DIntegerRead, ThreeDlTwelveBitWithCommentsAndCrLf) {
    T3dlLutFormat format;
    Load(format, "a.3dl",
         "# made by hand\r\n  #  second  \r\n\r\n0 1023\r\n1 334 667\r\n4 337 670\r\n31 364 697\r\n34 367 700\r\n"
         "301 634 967\r\n304 637 970\r\n331 664 997\r\n334 667 1000\r\n");
    ExpectEntries2(kAsym, 4095.0);
    ASSERT_EQ(2u, lut->Comments.size());
    EXPECT_EQ("made by hand", lut->Comments[0]);
    EXPECT_EQ("second", lut->Comments[1]);
}

TEST_F(Formats3DIntegerRead, ThreeDlSixteenBitDetection) {
    T3dlLutFormat format;
    // One code above 4095 anywhere makes the whole file 16-bit: 65535 is 1.0.
    Load(format, "a.3dl", "0 1023\n0 0 0\n0 0 4095\n0 4095 0\n0 4095 4096\n4095 0 0\n4095 0 4095\n"
                          "4095 4095 0\n4095 4095 65535\n");
    EXPECT_DOUBLE_EQ(4095.0 / 65535.0, lut->Table3D[0][0][1].B);
    EXPECT_DOUBLE_EQ(4096.0 / 65535.0, lut->Table3D[0][1][1].B);
    EXPECT_DOUBLE_EQ(1.0, lut->Table3D[1][1][1].B);
    // Codes up to 4095 only: 12-bit.
    Load(format, "b.3dl", "0 1023\n0 0 0\n0 0 4095\n0 4095 0\n0 4095 4095\n4095 0 0\n4095 0 4095\n"
                          "4095 4095 0\n4095 4095 4095\n");
    EXPECT_DOUBLE_EQ(1.0, lut->Table3D[0][0][1].B);
    EXPECT_DOUBLE_EQ(1.0, lut->Table3D[1][1][1].R);
    EXPECT_DOUBLE_EQ(0.0, lut->Table3D[1][1][0].B);
}

TEST_F(Formats3DIntegerRead, ThreeDlSkipsAutodeskHeaderAndTakesGridLengthAsSize) {
    T3dlLutFormat format;
    std::string text = "3DMESH\nMesh 1 12\n0 512 1023\n";
    for (int k = 0; k < 27; ++k) text += std::to_string(k) + " " + std::to_string(100 + k) + " 7\n";
    text += "9 9 9\n";  // after the last entry: ignored
    Load(format, "m.3dl", text);
    EXPECT_EQ(3, lut->Size3D);
    EXPECT_DOUBLE_EQ(1.0 / 4095.0, lut->Table3D[0][0][1].R);     // k = 1
    EXPECT_DOUBLE_EQ(103.0 / 4095.0, lut->Table3D[0][1][0].G);   // k = 3
    EXPECT_DOUBLE_EQ(9.0 / 4095.0, lut->Table3D[1][0][0].R);     // k = 9
    EXPECT_DOUBLE_EQ(126.0 / 4095.0, lut->Table3D[2][2][2].G);   // k = 26
}

TEST_F(Formats3DIntegerRead, ThreeDlBadInput) {
    T3dlLutFormat format;
    EXPECT_EQ("Incomplete file.", LoadError(format, "0 1023\n0 0 0\n0 0 4095\n"));
    EXPECT_EQ("Incomplete file.", LoadError(format, "# only a comment\n"));
    EXPECT_EQ("Incomplete file.", LoadError(format, ""));
    std::string grid;
    for (int i = 0; i < 102; ++i) grid += std::to_string(i) + " ";
    const std::string message = LoadError(format, grid + "\n0 0 0\n");
    EXPECT_NE(std::string::npos, message.find("102")) << message;
    EXPECT_NE(std::string::npos, message.find("101")) << message;
    // A grid of one point cannot be interpolated.
    EXPECT_FALSE(LoadError(format, "0\n0 0 0\n").empty());
}

TEST_F(Formats3DIntegerRead, ThreeDlIdentifiesByExtensionOnly) {
    T3dlLutFormat format;
    EXPECT_TRUE(format.Identify("/no/such/dir/look.3dl"));
    EXPECT_TRUE(format.Identify("LOOK.3DL"));
    EXPECT_TRUE(format.Identify("a.b.3Dl"));
    EXPECT_FALSE(format.Identify("look.dd3"));
    EXPECT_FALSE(format.Identify("look.3dl.txt"));
    EXPECT_FALSE(format.Identify("dir.3dl/look"));
    EXPECT_FALSE(format.Identify("3dl"));
}

// --- Lustre 3D ---

TEST_F(Formats3DIntegerRead, LustreReadsMeshSizeAndDepth) {
    TLustre3DLutFormat format;
    // Mesh 0 16: 2 points, 16-bit codes; the grid line of values and the trailer are ignored.
    Load(format, "a.lut",
         "\r\n# comment\r\n3DMESH\r\nMesh 0 16\r\n0 65535\r\n1 334 667\r\n4 337 670\r\n31 364 697\r\n"
         "34 367 700\r\n301 634 967\r\n304 637 970\r\n331 664 997\r\n334 667 1000\r\n\r\nLUT8\r\ngamma 1.0\r\n");
    ExpectEntries2(kAsym, 65535.0);
    EXPECT_TRUE(lut->Comments.empty());
}

TEST_F(Formats3DIntegerRead, LustreBadInput) {
    TLustre3DLutFormat format;
    lut->SetIdentity3D(5);
    // Without a mesh line the size is unknown: refused, the LUT keeps its state.
    EXPECT_EQ("Incomplete file: no Mesh line.", LoadError(format, "3DMESH\n0 0 0\n1 1 1\n"));
    EXPECT_EQ(5, lut->Size3D);
    EXPECT_DOUBLE_EQ(0.25, lut->Table3D[1][0][0].R);
    EXPECT_EQ("Incomplete file.", LoadError(format, "3DMESH\nMesh 0 12\n0 0 0\n1 1 1\n"));
    EXPECT_EQ(5, lut->Size3D);
    const std::string message = LoadError(format, "3DMESH\nMesh 7 12\n0 0 0\n");
    EXPECT_NE(std::string::npos, message.find("129")) << message;
    EXPECT_NE(std::string::npos, message.find("101")) << message;
    EXPECT_FALSE(LoadError(format, "3DMESH\nMesh 31 12\n").empty());
    EXPECT_FALSE(LoadError(format, "3DMESH\nMesh -1 12\n").empty());
    EXPECT_FALSE(LoadError(format, "3DMESH\nMesh 1 0\n").empty());
    EXPECT_THROW(Load(format, "c.lut", "3DMESH\nMesh five 12\n"), EConvertError);
}

TEST_F(Formats3DIntegerRead, LustreIdentify) {
    TLustre3DLutFormat format;
    EXPECT_TRUE(format.Identify(Put("a.lut", "\n3dmesh\nMesh 5 12\n")));
    EXPECT_FALSE(format.Identify(Put("b.lut", "Mesh 5 12\n0 0 0\n")));
    EXPECT_THROW(format.Identify(dir.File("missing.lut")), EFileError);
}

// --- Pandora 3D ---

TEST_F(Formats3DIntegerRead, PandoraSkipsIndexColumn) {
    TPandora3DLutFormat format;
    std::string text = "#HEADER\n#END\n\nchannel 3d\n  in 8\nout 4096\n\nformat lut\n\nvalues\tred\tgreen\tblue\n";
    for (int k = 0; k < 8; ++k)
        text += std::to_string(k) + "\t" + kAsym[k][0] + "\t" + kAsym[k][1] + "\t" + kAsym[k][2] + "\r\n";
    Load(format, "a.m3d", text);
    ExpectEntries2(kAsym, 4095.0);
}

TEST_F(Formats3DIntegerRead, PandoraSizeFromCubeRoot) {
    TPandora3DLutFormat format;
    std::string text = "channel 3d\nin 4913\nout 1024\nformat lut\n";
    for (int k = 0; k < 4913; ++k) text += std::to_string(k) + "\t0\t0\t" + std::to_string(k % 1024) + "\n";
    Load(format, "b.m3d", text);
    EXPECT_EQ(17, lut->Size3D);
    EXPECT_DOUBLE_EQ(16.0 / 1023.0, lut->Table3D[0][0][16].B);
    EXPECT_DOUBLE_EQ(17.0 / 1023.0, lut->Table3D[0][1][0].B);
}

TEST_F(Formats3DIntegerRead, PandoraBadInput) {
    TPandora3DLutFormat format;
    // Prefixes are case-sensitive: without "in" the size stays unknown.
    EXPECT_EQ("Incomplete file.", LoadError(format, "IN 8\nout 4096\n0\t0\t0\t0\n"));
    EXPECT_EQ("Incomplete file.", LoadError(format, "in 8\nout 4096\n0\t0\t0\t0\n1\t0\t0\t1\n"));
    const std::string message = LoadError(format, "in 1092727\nout 4096\n");  // 103^3
    EXPECT_NE(std::string::npos, message.find("103")) << message;
    EXPECT_FALSE(LoadError(format, "in 0\nout 4096\n").empty());
    EXPECT_FALSE(LoadError(format, "in 8\nout 1\n").empty());  // largest code 0
    EXPECT_THROW(Load(format, "c.m3d", "in eight\n"), EConvertError);
    try {
        Load(format, "d.m3d", "in 8\nout 40 96\n");
        ADD_FAILURE() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_STREQ("'40 96' is not a valid integer value at line 2", e.what());
    }
}

TEST_F(Formats3DIntegerRead, PandoraIdentify) {
    TPandora3DLutFormat format;
    EXPECT_TRUE(format.Identify(Put("a.m3d", "#HEADER\nCHANNEL 3D\nin 8\nFormat Lut\n")));
    EXPECT_FALSE(format.Identify(Put("b.m3d", "channel 3d\nin 8\nout 4096\n")));
    EXPECT_FALSE(format.Identify(Put("c.m3d", std::string("\x00\x01\xff", 3))));
}

// --- Codex 3D ---

TEST_F(Formats3DIntegerRead, CodexSizeLineTitlesAndComments) {
    TCodex3DLutFormat format;
    std::string text = "# from the camera\nlut3d:   2\n\nR\tG\tB\n";
    for (int k = 0; k < 8; ++k) text += std::string(kAsym[k][0]) + " " + kAsym[k][1] + " " + kAsym[k][2] + "\n";
    Load(format, "a.txt", text);
    ExpectEntries2(kAsym, 4095.0);
    ASSERT_EQ(1u, lut->Comments.size());
    EXPECT_EQ("from the camera", lut->Comments[0]);
}

TEST_F(Formats3DIntegerRead, CodexBadInput) {
    TCodex3DLutFormat format;
    EXPECT_EQ("Incomplete file.", LoadError(format, "1 2 3\n4 5 6\n"));  // no size line
    EXPECT_EQ("Incomplete file.", LoadError(format, "Lut3D: 2\n1 2 3\n"));
    const std::string message = LoadError(format, "Lut3D: 500\n1 2 3\n");
    EXPECT_NE(std::string::npos, message.find("500")) << message;
    try {
        Load(format, "c.txt", "Lut3D: abc\n");
        ADD_FAILURE() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_STREQ("'abc' is not a valid integer value at line 1", e.what());
    }
}

TEST_F(Formats3DIntegerRead, CodexIdentify) {
    TCodex3DLutFormat format;
    EXPECT_TRUE(format.Identify(Put("a.txt", "LUT3D: 17\n")));
    EXPECT_FALSE(format.Identify(Put("b.txt", "Lut3D 17\n")));
}

// --- Luther 3D ---

TEST_F(Formats3DIntegerRead, LutherElementsGiveSizeAndCodesAreTenBit) {
    TLuther3DLutFormat format;
    std::string text = "#channels: c3\n#ELEMENTS = 4913\n# 5 5 5\n";
    for (int k = 0; k < 4913; ++k) text += "1023 " + std::to_string(k % 1024) + " 2046\n";
    Load(format, "a.txt", text);
    EXPECT_EQ(17, lut->Size3D);
    EXPECT_DOUBLE_EQ(1.0, lut->Table3D[0][0][0].R);
    EXPECT_DOUBLE_EQ(0.0, lut->Table3D[0][0][0].G);  // the comment line was not a data line
    EXPECT_DOUBLE_EQ(17.0 / 1023.0, lut->Table3D[0][1][0].G);
    EXPECT_DOUBLE_EQ(2.0, lut->Table3D[16][16][16].B);  // 10-bit whatever the file holds
}

TEST_F(Formats3DIntegerRead, LutherBadInputAndIdentify) {
    TLuther3DLutFormat format;
    EXPECT_EQ("Incomplete file.", LoadError(format, "#channels: c3\n0 0 0\n"));
    EXPECT_EQ("Incomplete file.", LoadError(format, "#channels: c3\n#elements = 8\n0 0 0\n1 2 3 4\n"));
    EXPECT_NE(std::string::npos, LoadError(format, "#elements = 2000000\n").find("126"));
    EXPECT_THROW(Load(format, "b.txt", "#elements = many\n"), EConvertError);
    EXPECT_TRUE(format.Identify(Put("c.txt", "#Channels: C3\n")));
    EXPECT_FALSE(format.Identify(Put("d.txt", "#channels: c4\n")));
}

// --- Quantel 3D ---

TEST_F(Formats3DIntegerRead, QuantelHeaderInAnyOrder) {
    TQuantel3DLutFormat format;
    std::string text = "vertices 2\n  max value 4095\ncube data\nR G B\n";
    for (int k = 0; k < 8; ++k) text += std::string(kAsym[k][0]) + " " + kAsym[k][1] + " " + kAsym[k][2] + "\n";
    Load(format, "a.txt", text);
    ExpectEntries2(kAsym, 4095.0);
}

TEST_F(Formats3DIntegerRead, QuantelBadInputAndIdentify) {
    TQuantel3DLutFormat format;
    EXPECT_EQ("Incomplete file.", LoadError(format, "Vertices 2\nmax value 4095\n0 0 0\n"));
    EXPECT_NE(std::string::npos, LoadError(format, "vertices 200\nmax value 4095\n").find("200"));
    EXPECT_FALSE(LoadError(format, "vertices 2\nmax value 0\n0 0 0\n").empty());
    EXPECT_THROW(Load(format, "b.txt", "vertices x\n"), EConvertError);
    EXPECT_TRUE(format.Identify(Put("c.txt", "Max Value 4095\nVERTICES 17\n")));
    EXPECT_FALSE(format.Identify(Put("d.txt", "max value 4095\n")));
}

// A file stating a largest code of 0 (or below) is refused where it says so, although every
// entry follows: dividing by it would load infinities and NaNs as a complete LUT.
TEST_F(Formats3DIntegerRead, LargestCodeOfZeroIsRefusedInCompleteFiles) {
    std::string data;
    for (int k = 0; k < 8; ++k) data += std::string(kAsym[k][0]) + " " + kAsym[k][1] + " " + kAsym[k][2] + "\n";
    std::string indexed;
    for (int k = 0; k < 8; ++k)
        indexed += std::to_string(k) + "\t" + kAsym[k][0] + "\t" + kAsym[k][1] + "\t" + kAsym[k][2] + "\n";
    TPandora3DLutFormat pandora;
    TQuantel3DLutFormat quantel;
    const struct {
        TLUTFormat& format;
        std::string text;
        const char* message;
    } cases[] = {
        {pandora, "channel 3d\nin 8\nout 1\nformat lut\n" + indexed,
         "Invalid largest code 0: it must be at least 1 at line 3."},
        {pandora, "channel 3d\nin 8\nout 0\nformat lut\n" + indexed,
         "Invalid largest code -1: it must be at least 1 at line 3."},
        {quantel, "max value 0\nvertices 2\n" + data, "Invalid largest code 0: it must be at least 1 at line 1."},
        {quantel, "vertices 2\nmax value -4095\n" + data,
         "Invalid largest code -4095: it must be at least 1 at line 2."},
    };
    for (const auto& c : cases) {
        lut->SetIdentity3D(3);
        EXPECT_EQ(c.message, LoadError(c.format, c.text)) << c.format.Name << "\n" << c.text;
        EXPECT_EQ(3, lut->Size3D) << c.format.Name;
    }
    // The same files with a largest code of 1 load, so the refusal is the code's alone.
    Load(pandora, "p.m3d", "channel 3d\nin 8\nout 2\nformat lut\n" + indexed);
    EXPECT_EQ(2, lut->Size3D);
    Load(quantel, "q.txt", "max value 1\nvertices 2\n" + data);
    EXPECT_EQ(2, lut->Size3D);
}

// --- All text layouts ---

// Every profile of these layouts at its size and depth: write, identify, read back.
TEST_F(Formats3DIntegerRead, RoundTripsAtProfileSizesAndDepths) {
    T3dlLutFormat f3dl;
    TLustre3DLutFormat lustre;
    TPandora3DLutFormat pandora;
    TCodex3DLutFormat codex;
    TLuther3DLutFormat luther;
    TQuantel3DLutFormat quantel;
    struct Case {
        TLUTFormat* format;
        const char* file;
        int size;
        int bits;
        double readLargest;  // largest code the reader divides by
    } cases[] = {
        {&f3dl, "scratch.3dl", 17, 12, 4095.0},  {&f3dl, "fusion.3dl", 33, 12, 4095.0},
        {&f3dl, "dolby.dd3", 17, 12, 4095.0},    {&f3dl, "deep.3dl", 17, 16, 65535.0},
        {&lustre, "a.lut", 33, 12, 4095.0},      {&pandora, "a.m3d", 17, 16, 65535.0},
        {&pandora, "a.mga", 33, 16, 65535.0},    {&codex, "codex.txt", 17, 12, 4095.0},
        {&luther, "luther.txt", 33, 10, 1023.0}, {&quantel, "quantel.txt", 17, 12, 4095.0},
    };
    unsigned seed = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " at " + std::to_string(c.bits) + " bits");
        auto written = std::make_unique<TLUT>();
        test3di::SetPseudoRandom(*written, c.size, seed++);
        const std::string file = dir.File(c.file);
        c.format->Save(file, *written, c.bits);
        if (std::string(c.file) != "dolby.dd3") {
            EXPECT_TRUE(c.format->Identify(file));
        }
        auto read = std::make_unique<TLUT>();
        c.format->Load(file, *read);
        test3di::ExpectRoundTrip(*written, *read, c.readLargest);
    }
}

// Truncated and garbled copies of valid files never crash or hang; they load or raise.
TEST_F(Formats3DIntegerRead, TruncatedAndGarbledFilesRaiseOrLoad) {
    T3dlLutFormat f3dl;
    TLustre3DLutFormat lustre;
    TPandora3DLutFormat pandora;
    TCodex3DLutFormat codex;
    TLuther3DLutFormat luther;
    TQuantel3DLutFormat quantel;
    TLUTFormat* formats[] = {&f3dl, &lustre, &pandora, &codex, &luther, &quantel};
    const int bits[] = {12, 12, 16, 12, 10, 12};
    auto written = std::make_unique<TLUT>();
    for (int f = 0; f < 6; ++f) {
        SCOPED_TRACE(formats[f]->Name);
        // Lustre files always declare 33 points.
        test3di::SetPseudoRandom(*written, f == 1 ? 33 : 3, 99);
        const std::string good = dir.File("good.txt");
        formats[f]->Save(good, *written, bits[f]);
        const std::string text = ReadBytes(good);
        int incomplete = 0;
        for (std::size_t cut = 0; cut < text.size(); cut += 1 + text.size() / 41) {
            std::string damaged = text.substr(0, cut);
            if (cut % 2) damaged += std::string("\x00\xff\x80 -7 99999999999", 17);
            const std::string file = Put("damaged.txt", damaged);
            auto read = std::make_unique<TLUT>();
            try {
                formats[f]->Load(file, *read);
            } catch (const ELUTError& e) {
                if (std::string(e.what()).rfind("Incomplete file", 0) == 0) ++incomplete;
            } catch (const EConvertError&) {
            }
        }
        EXPECT_GT(incomplete, 0);

        // The header of the layout followed by noise of digits, separators and binary bytes.
        const auto lines = test3di::SplitLines(text);
        const char alphabet[] = "0123456789 \t\n\r#,-.eE\x00\xff\x7fMeshin out";
        unsigned state = 12345u + static_cast<unsigned>(f);
        for (int trial = 0; trial < 40; ++trial) {
            std::string noisy;
            for (std::size_t i = 0; i < lines.size() && i < static_cast<std::size_t>(trial % 16); ++i)
                noisy += lines[i] + "\n";
            for (int i = 0; i < 3000; ++i) {
                state = state * 1103515245u + 12345u;
                noisy += alphabet[(state >> 16) % (sizeof(alphabet) - 1)];
            }
            const std::string file = Put("noisy.txt", noisy);
            auto read = std::make_unique<TLUT>();
            try {
                formats[f]->Load(file, *read);
                EXPECT_GE(read->Size3D, 2);
                EXPECT_LE(read->Size3D, MaxLut3DSize);
            } catch (const ELUTError&) {
            } catch (const EConvertError&) {
            }
        }
    }
}

}  // namespace
}  // namespace tintavo
