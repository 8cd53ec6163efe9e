// tintavo-cli convert and info: every output profile, the size and bit-depth rules, and the
// conversions between 1D and 3D data.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>

#include "CliTestSupport.h"
#include "formats/LUTFormat.h"
#include "formats/LutExport.h"

namespace tintavo {
namespace {

using namespace clitest;

double Node(int k, int n) { return static_cast<double>(k / static_cast<long double>(n - 1)); }

// A smooth, clearly non-identity table inside 0..1 (integer layouts clamp).
void WriteSourceCube(const std::string& fileName) {
    auto lut = std::make_unique<TLUT>();
    lut->LutKind = lk3D;
    lut->Size3D = 9;
    for (int r = 0; r < 9; ++r)
        for (int g = 0; g < 9; ++g)
            for (int b = 0; b < 9; ++b) {
                const double x = Node(r, 9), y = Node(g, 9), z = Node(b, 9);
                lut->Table3D[r][g][b] = {0.05 + 0.8 * x * x + 0.1 * y, 0.9 * std::sqrt(y) + 0.05 * z,
                                         0.1 + 0.6 * z + 0.2 * x * y};
            }
    GetLutFormat(1)->Save(fileName, *lut, 0);  // Cube 3D
}

void WriteSourceCurves(const std::string& fileName) {
    auto lut = std::make_unique<TLUT>();
    lut->LutKind = lk1D;
    lut->Size1D = 1024;
    for (int i = 0; i < 1024; ++i) {
        const double x = Node(i, 1024);
        lut->Table1D[i] = {x * x, 0.02 + 0.9 * std::sqrt(x), 1.0 - 0.5 * x};
    }
    GetLutFormat(7)->Save(fileName, *lut, 0);  // Cube 1D
}

std::unique_ptr<TLUT> LoadWith(int formatIndex, const std::string& fileName) {
    auto lut = std::make_unique<TLUT>();
    GetLutFormat(formatIndex)->Load(fileName, *lut);
    return lut;
}

TJson InfoValues(const std::string& fileName, int formatIndex) {
    const TRunResult run = RunCli({"info", fileName, "--from", std::to_string(formatIndex), "--json", "--values"});
    EXPECT_EQ(run.Status, 0) << run.Err;
    return ParseJson(run.Out);
}

void ExpectColour(const TJson& triple, const TLutColor& want, double tolerance, const std::string& where) {
    ASSERT_EQ(triple.Size(), 3u) << where;
    ASSERT_NEAR(triple[0].NumberValue, want.R, tolerance) << where;
    ASSERT_NEAR(triple[1].NumberValue, want.G, tolerance) << where;
    ASSERT_NEAR(triple[2].NumberValue, want.B, tolerance) << where;
}

TEST(CliConvert, EveryProfileWritesWhatReadsBackWithinItsQuantisation) {
    TScratchDir dir;
    WriteSourceCube(dir.Path("source.cube"));
    WriteSourceCurves(dir.Path("curves.cube"));
    const auto cube = LoadWith(1, dir.Path("source.cube"));
    const auto curves = LoadWith(7, dir.Path("curves.cube"));

    const auto& profiles = OutputProfiles();
    ASSERT_EQ(profiles.size(), 31u);
    int readBack = 0;
    for (std::size_t i = 0; i < profiles.size(); ++i) {
        const TLutOutputProfile& p = *profiles[i];
        const TLUTFormat& format = *GetLutFormat(p.FormatIndex);
        const std::string where = "profile " + std::to_string(i + 1) + " " + p.Name;
        const std::string output = dir.Path("out" + std::to_string(i + 1) + "." + p.Extension);
        const std::string input = dir.Path(format.Is3D ? "source.cube" : "curves.cube");
        const TRunResult run = RunCli({"convert", input, output, "--profile", std::to_string(i + 1)});
        ASSERT_EQ(run.Status, 0) << where << ": " << run.Err;
        ASSERT_TRUE(std::filesystem::exists(output)) << where;
        // The profile's name works as well as its number, in any letter case.
        const TRunResult byName = RunCli({"convert", input, output + ".again", "--profile", p.Name});
        EXPECT_EQ(byName.Status, 0) << where << ": " << byName.Err;

        if (p.FormatIndex == 18 || p.FormatIndex == 22 || p.FormatIndex == 23) continue;  // writers only
        auto expected = std::make_unique<TLUT>();
        ResampleLut(format.Is3D ? *cube : *curves, format.Is3D, p.DefaultSize, *expected);
        // A code of b bits is within half a step (FSI DIT codes 1.0 as 1008 whatever the bits);
        // decimal layouts keep at least five decimals.
        const double step = p.FormatIndex == 30 ? 1008.0 : (1 << p.DefaultBits) - 1;
        const double tolerance = p.DefaultBits > 0 ? 0.5 / step + 1e-9 : 1e-5;
        const TJson info = InfoValues(output, p.FormatIndex);
        EXPECT_EQ(info["format"].StringValue, format.Name) << where;
        if (format.Is3D) {
            // Nucoda files carry a shaper next to the table.
            EXPECT_TRUE(info["kind"].StringValue == "3D" || info["kind"].StringValue == "1D+3D") << where;
            const int n = p.DefaultSize;
            ASSERT_EQ(info["size3d"].NumberValue, n) << where;
            const TJson& table = info["table3d"];
            ASSERT_EQ(table.Size(), static_cast<std::size_t>(n * n * n)) << where;
            for (int r = 0, k = 0; r < n; ++r)
                for (int g = 0; g < n; ++g)
                    for (int b = 0; b < n; ++b, ++k)
                        ExpectColour(table[k], expected->Table3D[r][g][b], tolerance, where);
        } else {
            ASSERT_EQ(info["size1d"].NumberValue, p.DefaultSize) << where;
            const TJson& table = info["table1d"];
            ASSERT_EQ(table.Size(), static_cast<std::size_t>(p.DefaultSize)) << where;
            for (int k = 0; k < p.DefaultSize; ++k) ExpectColour(table[k], expected->Table1D[k], tolerance, where);
        }
        ++readBack;
    }
    EXPECT_EQ(readBack, 28);
}

TEST(CliInfo, ValuesRoundTripExactlyAndTheSummaryDescribesTheFile) {
    TScratchDir dir;
    WriteSourceCube(dir.Path("source.cube"));
    const auto lut = LoadWith(1, dir.Path("source.cube"));
    // Without --from the file is identified; JSON numbers read back to the very same doubles.
    const TRunResult run = RunCli({"info", dir.Path("source.cube"), "--json", "--values"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    const TJson info = ParseJson(run.Out);
    EXPECT_EQ(info["format"].StringValue, "Cube 3D");
    EXPECT_EQ(info["size3d"].NumberValue, 9);
    EXPECT_EQ(info["table1d"].Size(), 0u);
    const TJson& table = info["table3d"];
    ASSERT_EQ(table.Size(), 729u);
    // Memory order: red slowest, blue fastest.
    EXPECT_EQ(table[1][2].NumberValue, lut->Table3D[0][0][1].B);
    EXPECT_EQ(table[9][1].NumberValue, lut->Table3D[0][1][0].G);
    EXPECT_EQ(table[81][0].NumberValue, lut->Table3D[1][0][0].R);
    EXPECT_EQ(table[728][0].NumberValue, lut->Table3D[8][8][8].R);
    ASSERT_EQ(info["comments"].Size(), lut->Comments.size());

    const TRunResult text = RunCli({"info", dir.Path("source.cube")});
    ASSERT_EQ(text.Status, 0) << text.Err;
    EXPECT_NE(text.Out.find("Format:   Cube 3D"), std::string::npos) << text.Out;
    EXPECT_NE(text.Out.find("3D size:  9"), std::string::npos) << text.Out;
    EXPECT_NE(text.Out.find("R 0.050000 .. 0.950000"), std::string::npos) << text.Out;
}

TEST(CliInfo, CommentsBecomeValidJsonStrings) {
    TScratchDir dir;
    // A Latin-1 byte, quotes, a backslash, a tab and a UTF-8 character.
    WriteText(dir.Path("c.cube"), "# caf\xE9 \"quoted\" back\\slash\ttab\n# gr\xC3\xBC\xC3\x9F\n"
                                  "LUT_3D_SIZE 2\n0 0 0\n0 0 1\n0 1 0\n0 1 1\n1 0 0\n1 0 1\n1 1 0\n1 1 1\n");
    const TRunResult run = RunCli({"info", dir.Path("c.cube"), "--json"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    const TJson comments = ParseJson(run.Out)["comments"];
    ASSERT_EQ(comments.Size(), 2u) << run.Out;
    EXPECT_EQ(comments[0].StringValue, "caf\xC3\xA9 \"quoted\" back\\slash\ttab");
    EXPECT_EQ(comments[1].StringValue, "gr\xC3\xBC\xC3\x9F");
    EXPECT_NE(run.Out.find("caf\\u00e9"), std::string::npos) << run.Out;
}

TEST(CliConvert, SizeAndBitsFollowTheProfileRules) {
    TScratchDir dir;
    WriteSourceCube(dir.Path("source.cube"));
    WriteSourceCurves(dir.Path("curves.cube"));
    const std::string src = dir.Path("source.cube");

    // "Cube 3D Davinci" lets the user choose the size; the table is resampled to it.
    TRunResult run = RunCli({"convert", src, dir.Path("a.cube"), "--profile", "cube 3d davinci", "--size", "5"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(InfoValues(dir.Path("a.cube"), 1)["size3d"].NumberValue, 5);

    // Refused with a usage error, and nothing written: the size or bits of a fixed profile,
    // sizes outside 2..101 for 3D, bit depths the dialog does not offer.
    const std::vector<std::vector<std::string>> refused = {
        {"--profile", "Cube 3D Iridas, Nuke, AfterEffects", "--size", "33"},
        {"--profile", "8", "--size", "1"},
        {"--profile", "8", "--size", "102"},
        {"--profile", "8", "--size", "17x"},
        {"--profile", "8", "--bits", "10"},
        {"--profile", "3", "--bits", "10"},
        {"--profile", "32"},
        {"--profile", "Cube 4D"},
        {},  // .cube belongs to five profiles
    };
    for (const auto& extra : refused) {
        std::vector<std::string> args = {"convert", src, dir.Path("refused.cube")};
        args.insert(args.end(), extra.begin(), extra.end());
        run = RunCli(args);
        std::string line;
        for (const auto& a : extra) line += a + " ";
        EXPECT_EQ(run.Status, 2) << line << run.Err;
        EXPECT_EQ(run.Err.rfind("error: ", 0), 0u) << line;
        EXPECT_NE(run.Err.find("usage: tintavo-cli convert"), std::string::npos) << line;
        EXPECT_FALSE(std::filesystem::exists(dir.Path("refused.cube"))) << line;
    }

    // "Autodesk Lustre 1D" lets the user choose both (its reader knows 12 and 16 bits only).
    run = RunCli({"convert", dir.Path("curves.cube"), dir.Path("c.lut"), "--profile", "20", "--size", "2048", "--bits",
                  "12"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    const TJson lustre = InfoValues(dir.Path("c.lut"), 14);
    EXPECT_EQ(lustre["size1d"].NumberValue, 2048);
    EXPECT_EQ(lustre["table1d"][2047][0].NumberValue, 1.0);
    EXPECT_NEAR(lustre["table1d"][1024][1].NumberValue, 0.02 + 0.9 * std::sqrt(1024.0 / 2047), 0.5 / 4095 + 1e-6);
    run = RunCli({"convert", dir.Path("curves.cube"), dir.Path("d.lut"), "--profile", "20", "--size", "100002"});
    EXPECT_EQ(run.Status, 2) << run.Err;
}

TEST(CliConvert, ExtensionChoosesTheProfileAndKindsConvertOnlyOneWay) {
    TScratchDir dir;
    WriteSourceCube(dir.Path("source.cube"));
    WriteSourceCurves(dir.Path("curves.cube"));

    // .3dmesh belongs to "Colorfront OSD 3D" alone (17 points).
    TRunResult run = RunCli({"convert", dir.Path("source.cube"), dir.Path("a.3DMESH")});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(InfoValues(dir.Path("a.3DMESH"), 10)["size3d"].NumberValue, 17);

    // Curves written to a 3D profile apply on the grid, each channel along its own axis.
    run = RunCli({"convert", dir.Path("curves.cube"), dir.Path("b.cube"), "--profile", "Cube 3D Davinci"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    const TJson table = InfoValues(dir.Path("b.cube"), 1)["table3d"];
    const TJson& node = table[(32 * 33 + 16) * 33 + 0];  // r = 1, g = 0.5, b = 0
    EXPECT_NEAR(node[0].NumberValue, 1.0, 1e-6);
    EXPECT_NEAR(node[1].NumberValue, 0.02 + 0.9 * std::sqrt(0.5), 1e-5);
    EXPECT_NEAR(node[2].NumberValue, 1.0, 1e-6);

    // A 3D table cannot become 1D curves: a failure, not a usage error, and no file.
    run = RunCli({"convert", dir.Path("source.cube"), dir.Path("c.alut")});
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Err.find("error: "), std::string::npos);
    EXPECT_NE(run.Err.find("1D profile \"Fusion 1D\""), std::string::npos) << run.Err;
    EXPECT_FALSE(std::filesystem::exists(dir.Path("c.alut")));
}

}  // namespace
}  // namespace tintavo
