// tintavo-cli calibrate, report and apply on synthetic chart photographs whose camera
// distortion is known (DistortColor).
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>

#include "CliTestSupport.h"
#include "common/FileIO.h"
#include "engine/CalibrationExport.h"
#include "formats/LUTFormat.h"
#include "formats/LutExport.h"
#include "picture/Picture.h"

namespace tintavo {
namespace {

using namespace clitest;

const TSelection kClassicRect{60, 50, 840, 550};
const TSelection kSGRect{20, 20, 1380, 980};

std::string MakeChart(const TScratchDir& dir, TChartType chart, const std::string& name) {
    TBitmap24 bmp;
    if (chart == TChartType::Classic)
        DrawChart(chart, kClassicRect, 900, 600, bmp);
    else
        DrawChart(chart, kSGRect, 1400, 1000, bmp);
    const std::string file = dir.Path(name);
    SavePicture(file, bmp);
    return file;
}

// What the window does on Save: open, calibrate at 33 points, bring the table to the size,
// write through the profile.
void CalibrateWithTheLibrary(const std::string& image, TChartType chart, const TSelection& rect, bool colorsOnly,
                             int profileNumber, int size, const std::string& output) {
    TBitmap24 work;
    OpenCalibrationPicture(image, work);
    auto lut = std::make_unique<TLUT>();
    lut->LutKind = lk3D;
    lut->Size3D = 33;
    TMeasuredPatches measured;
    const auto mapping = Calibrate(work, rect, chart, colorsOnly, *lut, measured);
    const TLutOutputProfile& profile = *GetOutputProfile(profileNumber - 1);
    if (size == 33) {
        SaveThroughProfile(profile, *lut, 0, output);
    } else {
        auto sized = std::make_unique<TLUT>();
        TabulateCalibration(*mapping, size, *sized);
        SaveThroughProfile(profile, *sized, 0, output);
    }
}

TEST(CliCalibrate, WritesTheSameBytesAsTheLibraryCalls) {
    TScratchDir dir;
    const std::string classic = MakeChart(dir, TChartType::Classic, "classic.png");
    const std::string sg = MakeChart(dir, TChartType::DigitalSG, "sg.png");
    const TSelection reversed{kClassicRect.X2, kClassicRect.Y2, kClassicRect.X1, kClassicRect.Y1};
    struct TCase {
        std::string image;
        TChartType chart;
        TSelection rect;
        bool colorsOnly;
        int profile;  // number 1..31
        int size;
    };
    const TCase cases[] = {
        {classic, TChartType::Classic, kClassicRect, true, 8, 33},   // Cube 3D Davinci, default size
        {classic, TChartType::Classic, kClassicRect, false, 8, 17},  // another size: its own grid
        {classic, TChartType::Classic, reversed, true, 3, 33},       // Lustre 3D, dragged the other way
        {sg, TChartType::DigitalSG, kSGRect, true, 13, 64},          // binary FSI DIT
        {sg, TChartType::DigitalSG, kSGRect, false, 17, 16},         // PFClean 3D, 8 bits
    };
    int n = 0;
    for (const TCase& c : cases) {
        const std::string where = "case " + std::to_string(n);
        const std::string fromCli = dir.Path("cli" + std::to_string(n));
        const std::string fromLib = dir.Path("lib" + std::to_string(n));
        ++n;
        std::vector<std::string> args = {"calibrate", c.image, "--chart",
                                         c.chart == TChartType::Classic ? "classic" : "SG", "--rect",
                                         RectText(c.rect), "--profile", std::to_string(c.profile), "-o", fromCli};
        if (!c.colorsOnly) args.push_back("--full");
        if (c.size != GetOutputProfile(c.profile - 1)->DefaultSize) {
            args.push_back("--size");
            args.push_back(std::to_string(c.size));
        }
        const TRunResult run = RunCli(args);
        ASSERT_EQ(run.Status, 0) << where << ": " << run.Err;
        // The reversed drag reads the chart upside down, as asked, and says so on one line.
        if (c.rect.X1 < c.rect.X2) EXPECT_TRUE(run.Err.empty()) << run.Err;
        else EXPECT_EQ(run.Err.rfind("warning: The chart seems to be turned against the selection", 0), 0u) << run.Err;
        CalibrateWithTheLibrary(c.image, c.chart, c.rect, c.colorsOnly, c.profile, c.size, fromLib);
        EXPECT_EQ(ReadWholeFile(fromCli), ReadWholeFile(fromLib)) << where;
    }
    // The window's LUT has no comments; the Davinci cube therefore starts with the writer's own.
    auto lut = std::make_unique<TLUT>();
    GetLutFormat(1)->Load(dir.Path("cli0"), *lut);
    EXPECT_EQ(lut->Size3D, 33);
}

TEST(CliCalibrate, TheWrittenLutUndoesTheCameraDistortion) {
    TScratchDir dir;
    const std::string image = MakeChart(dir, TChartType::Classic, "classic.png");
    TRunResult run = RunCli({"calibrate", image, "--chart", "classic", "--rect", RectText(kClassicRect), "--full",
                             "--profile", "Cube 3D Davinci", "-o", dir.Path("fix.cube")});
    ASSERT_EQ(run.Status, 0) << run.Err;
    run = RunCli({"apply", dir.Path("fix.cube"), image, "-o", dir.Path("fixed.png")});
    ASSERT_EQ(run.Status, 0) << run.Err;
    TBitmap24 fixed;
    LoadPicture(dir.Path("fixed.png"), fixed);
    ASSERT_EQ(fixed.Width(), 900);
    // Every patch centre comes out within a few codes of the chart's true colour.
    const TLutColor* reference = ChartReference(TChartType::Classic);
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 6; ++column) {
            const int x = kClassicRect.X1 + column * 130 + 65, y = kClassicRect.Y1 + row * 125 + 62;
            std::uint8_t r, g, b;
            fixed.GetPixel(x, y, r, g, b);
            const TLutColor& want = reference[row * 6 + column];
            EXPECT_NEAR(r, 255 * want.R, 4) << row << " " << column;
            EXPECT_NEAR(g, 255 * want.G, 4) << row << " " << column;
            EXPECT_NEAR(b, 255 * want.B, 4) << row << " " << column;
        }
}

TEST(CliReport, ClassicChartErrorsDropFarBelowTheCameraError) {
    TScratchDir dir;
    const std::string image = MakeChart(dir, TChartType::Classic, "classic.png");
    const TRunResult run =
        RunCli({"report", image, "--chart", "classic", "--rect", RectText(kClassicRect), "--full", "--json"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    const TJson report = ParseJson(run.Out);
    EXPECT_EQ(report["imageWidth"].NumberValue, 900);
    EXPECT_FALSE(report["colorsOnly"].BoolValue);
    const TJson& patches = report["patches"];
    ASSERT_EQ(patches.Size(), 24u);
    const TLutColor* reference = ChartReference(TChartType::Classic);
    for (std::size_t i = 0; i < 24; ++i) {
        const TJson& p = patches[i];
        EXPECT_EQ(p["role"].StringValue, "control");
        // The measured colour is the drawn one: the distorted reference in whole codes.
        const TLutColor drawn = DistortColor(reference[i]);
        EXPECT_NEAR(255 * p["measured"][0].NumberValue, std::round(255 * drawn.R), 1e-9) << i;
        EXPECT_NEAR(255 * p["measured"][2].NumberValue, std::round(255 * drawn.B), 1e-9) << i;
        EXPECT_EQ(p["reference"][1].NumberValue, reference[i].G);
        EXPECT_LT(p["deltaEAfter"].NumberValue, p["deltaEBefore"].NumberValue) << i;
    }
    const TJson& all = report["summary"]["all"];
    EXPECT_EQ(all["count"].NumberValue, 24);
    EXPECT_GT(all["before"]["mean"].NumberValue, 3.0);
    EXPECT_LT(all["after"]["mean"].NumberValue, all["before"]["mean"].NumberValue / 10);
    EXPECT_LT(all["after"]["max"].NumberValue, 1.0);
    // Without the patch itself the fit does worse, still well below the camera's error.
    EXPECT_GT(all["leaveOneOut"]["mean"].NumberValue, all["after"]["mean"].NumberValue);
    EXPECT_LT(all["leaveOneOut"]["mean"].NumberValue, all["before"]["mean"].NumberValue);
    const TJson& heldOut = report["summary"]["heldOut"];
    EXPECT_EQ(heldOut["count"].NumberValue, 0);
    EXPECT_EQ(heldOut["after"]["mean"].Type, TJson::Null);

    const TRunResult text = RunCli({"report", image, "--chart", "classic", "--rect", RectText(kClassicRect)});
    ASSERT_EQ(text.Status, 0) << text.Err;
    EXPECT_NE(text.Out.find("colors only"), std::string::npos);
    EXPECT_NE(text.Out.find("\nall        24 "), std::string::npos) << text.Out;
}

TEST(CliReport, DigitalSGHoldsOutTheThinnedPatches) {
    TScratchDir dir;
    const std::string image = MakeChart(dir, TChartType::DigitalSG, "sg.png");
    const TRunResult run = RunCli({"report", image, "--chart", "sg", "--rect", RectText(kSGRect), "--json"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    const TJson report = ParseJson(run.Out);
    const TJson& patches = report["patches"];
    ASSERT_EQ(patches.Size(), 140u);
    int control = 0;
    for (std::size_t i = 0; i < 140; ++i) {
        const TJson& p = patches[i];
        EXPECT_EQ(p["column"].NumberValue, static_cast<double>(i / 10));
        EXPECT_EQ(p["row"].NumberValue, static_cast<double>(i % 10));
        if (p["role"].StringValue == "control") {
            ++control;
        } else {
            // The fit never saw a held-out patch, so leaving it out changes nothing.
            EXPECT_EQ(p["deltaELeaveOneOut"].NumberValue, p["deltaEAfter"].NumberValue) << i;
        }
    }
    EXPECT_EQ(control, 45);
    EXPECT_EQ(patches[0]["role"].StringValue, "control");
    EXPECT_EQ(patches[3]["role"].StringValue, "held out");
    const TJson& summary = report["summary"];
    EXPECT_EQ(summary["control"]["count"].NumberValue, 45);
    EXPECT_EQ(summary["heldOut"]["count"].NumberValue, 95);
    EXPECT_LT(summary["heldOut"]["after"]["mean"].NumberValue, summary["heldOut"]["before"]["mean"].NumberValue / 2);
    EXPECT_GT(summary["control"]["leaveOneOut"]["mean"].NumberValue, summary["control"]["after"]["mean"].NumberValue);
}

TEST(CliApply, CorrectsThePictureAtItsFullSizeInTheFormatOfTheName) {
    TScratchDir dir;
    // Larger than the working size: apply must not reduce it.
    TBitmap24 big(1800, 1300);
    for (int y = 0; y < big.Height(); ++y)
        for (int x = 0; x < big.Width(); ++x) big.SetPixel(x, y, x % 256, y % 256, (x + y) % 256);
    SavePicture(dir.Path("big.png"), big);
    // A 1D curve file: the inverse of each channel.
    std::string cube = "LUT_1D_SIZE 2\n1 1 1\n0 0 0\n";
    WriteText(dir.Path("invert.cube"), cube);

    TRunResult run = RunCli({"apply", dir.Path("invert.cube"), dir.Path("big.png"), "-o", dir.Path("out.PNG")});
    ASSERT_EQ(run.Status, 0) << run.Err;
    TBitmap24 out;
    LoadPicture(dir.Path("out.PNG"), out);
    ASSERT_EQ(out.Width(), 1800);
    ASSERT_EQ(out.Height(), 1300);
    for (int y = 0; y < 1300; y += 37)
        for (int x = 0; x < 1800; x += 41) {
            std::uint8_t r, g, b;
            out.GetPixel(x, y, r, g, b);
            ASSERT_EQ(r, 255 - x % 256);
            ASSERT_EQ(g, 255 - y % 256);
            ASSERT_EQ(b, 255 - (x + y) % 256);
        }

    run = RunCli({"apply", dir.Path("invert.cube"), dir.Path("big.png"), "-o", dir.Path("out.jpg")});
    ASSERT_EQ(run.Status, 0) << run.Err;
    const std::string head = ReadFileHeadBytes(dir.Path("out.jpg"), 2);
    EXPECT_EQ(head, "\xFF\xD8");

    run = RunCli({"apply", dir.Path("invert.cube"), dir.Path("big.png"), "-o", dir.Path("out.gif")});
    EXPECT_EQ(run.Status, 2);
    EXPECT_FALSE(std::filesystem::exists(dir.Path("out.gif")));
}

}  // namespace
}  // namespace tintavo
