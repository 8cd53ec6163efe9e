// Exit statuses and messages of tintavo-cli on bad command lines and failing inputs, and that a
// failure leaves no new or changed file behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "CliTestSupport.h"
#include "picture/Picture.h"

namespace tintavo {
namespace {

using namespace clitest;

const TSelection kRect{60, 50, 840, 550};

// A failure: status 1 and exactly one line on stderr, beginning with "error: ".
void ExpectFailure(const TRunResult& run, const std::string& mention, const std::string& what) {
    EXPECT_EQ(run.Status, 1) << what << ": " << run.Err;
    EXPECT_EQ(run.Err.rfind("error: ", 0), 0u) << what << ": " << run.Err;
    EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), 1) << what << ": " << run.Err;
    EXPECT_NE(run.Err.find(mention), std::string::npos) << what << ": " << run.Err;
}

void ExpectUsageError(const TRunResult& run, const std::string& mention, const std::string& what) {
    EXPECT_EQ(run.Status, 2) << what << ": " << run.Err;
    EXPECT_EQ(run.Err.rfind("error: ", 0), 0u) << what << ": " << run.Err;
    EXPECT_NE(run.Err.find("usage: "), std::string::npos) << what;
    EXPECT_NE(run.Err.find(mention), std::string::npos) << what << ": " << run.Err;
}

class CliErrors : public ::testing::Test {
protected:
    void SetUp() override {
        TBitmap24 chart;
        DrawChart(TChartType::Classic, kRect, 900, 600, chart);
        SavePicture(dir.Path("chart.png"), chart);
        TBitmap24 flat;
        flat.SetSizeAndFill(900, 600, 90);
        SavePicture(dir.Path("flat.png"), flat);
        WriteText(dir.Path("noise.jpg"), "\xFF\xD8\xFF\xE0 not really a JPEG");
        std::string cube = "LUT_3D_SIZE 2\n";
        for (int i = 0; i < 8; ++i) cube += std::to_string(i & 4 ? 1 : 0) + " " + std::to_string(i & 2 ? 1 : 0) + " " +
                                            std::to_string(i & 1 ? 1 : 0) + "\n";
        WriteText(dir.Path("good.cube"), cube);
        WriteText(dir.Path("short.cube"), "LUT_3D_SIZE 17\n0 0 0\n0.5 0.5 0.5\n");
        WriteText(dir.Path("prose.txt"), "Nothing but words here.\n");
        WriteText(dir.Path("keep.cube"), "precious\n");
    }

    std::vector<std::string> Calibrate(const std::string& image, const std::string& output,
                                       const std::string& rect = RectText(kRect)) {
        return {"calibrate", image, "--chart", "classic", "--rect", rect, "--profile", "8", "-o", output};
    }

    TScratchDir dir;
};

TEST_F(CliErrors, CommandLineMistakesAreUsageErrors) {
    EXPECT_EQ(RunCli({}).Status, 2);
    ExpectUsageError(RunCli({"frobnicate"}), "unknown command", "unknown command");
    ExpectUsageError(RunCli({"profiles", "--yaml"}), "unknown option --yaml", "unknown option");
    ExpectUsageError(RunCli({"info"}), "missing argument", "no file");
    ExpectUsageError(RunCli({"info", "a", "b"}), "too many", "two files");
    ExpectUsageError(RunCli({"convert", dir.Path("good.cube"), dir.Path("x.cube"), "--profile"}), "needs a value",
                     "option without value");
    ExpectUsageError(RunCli({"convert", dir.Path("good.cube"), dir.Path("x.cube"), "--profile", "Nope"}),
                     "unknown output profile \"Nope\"", "unknown profile");
    ExpectUsageError(RunCli({"info", dir.Path("good.cube"), "--from", "Shake 1D"}), "does not read", "write-only");
    ExpectUsageError(RunCli({"info", dir.Path("good.cube"), "--from", "31"}), "no format index 31", "format index");
    ExpectUsageError(RunCli({"apply", dir.Path("good.cube"), dir.Path("chart.png")}), "-o is required", "no -o");

    auto args = Calibrate(dir.Path("chart.png"), dir.Path("x.cube"));
    args[3] = "passport";
    ExpectUsageError(RunCli(args), "unknown chart", "chart");
    args = Calibrate(dir.Path("chart.png"), dir.Path("x.cube"), "1,2,3");
    ExpectUsageError(RunCli(args), "four whole numbers", "rect syntax");
    args = Calibrate(dir.Path("chart.png"), dir.Path("x.cube"));
    args[7] = "Cube 1D";
    ExpectUsageError(RunCli(args), "1D curves", "1D profile for a calibration");
    EXPECT_EQ(RunCli({"calibrate", "--help"}).Status, 0);
    EXPECT_EQ(dir.Names().size(), 7u);  // nothing written
}

TEST_F(CliErrors, RectanglesMustLieInsideTheWorkingImage) {
    // The rectangle is checked against the working image, whose size the message names.
    for (const std::string rect : {"60,50,900,550", "-1,50,840,550", "60,50,840,600", "60,50,60,550", "60,50,840,50"}) {
        ExpectUsageError(RunCli(Calibrate(dir.Path("chart.png"), dir.Path("x.cube"), rect)), "900 x 600", rect);
        ExpectUsageError(RunCli({"report", dir.Path("chart.png"), "--chart", "classic", "--rect", rect}), "900 x 600",
                         rect);
    }
    // The last pixel is inside.
    TBitmap24 wide;
    DrawChart(TChartType::Classic, TSelection{899, 599, 0, 0}, 900, 600, wide);
    SavePicture(dir.Path("wide.png"), wide);
    const TRunResult run = RunCli(Calibrate(dir.Path("wide.png"), dir.Path("x.cube"), "899,599,0,0"));
    EXPECT_EQ(run.Status, 0) << run.Err;
    // A 3000 x 2400 picture is worked on at 1250 x 1000.
    TBitmap24 big;
    big.SetSizeAndFill(3000, 2400, 100);
    SavePicture(dir.Path("big.bmp"), big);
    ExpectUsageError(RunCli(Calibrate(dir.Path("big.bmp"), dir.Path("y.cube"), "0,0,1300,900")), "1250 x 1000",
                     "reduced picture");
}

TEST_F(CliErrors, UnreadableInputsFailWithOneLine) {
    ExpectFailure(RunCli(Calibrate(dir.Path("noise.jpg"), dir.Path("x.cube"))), "noise.jpg", "broken picture");
    ExpectFailure(RunCli(Calibrate(dir.Path("absent.png"), dir.Path("x.cube"))), "absent.png", "missing picture");
    ExpectFailure(RunCli({"apply", dir.Path("good.cube"), dir.Path("noise.jpg"), "-o", dir.Path("x.png")}),
                  "noise.jpg", "apply to a broken picture");
    ExpectFailure(RunCli({"info", dir.Path("short.cube")}), "cannot read", "truncated LUT");
    ExpectFailure(RunCli({"info", dir.Path("prose.txt")}), "no known LUT format", "not a LUT");
    ExpectFailure(RunCli({"info", dir.Path("absent.cube")}), "absent.cube", "missing LUT");
    ExpectFailure(RunCli({"apply", dir.Path("short.cube"), dir.Path("chart.png"), "-o", dir.Path("x.png")}),
                  "short.cube", "apply a truncated LUT");
    // Every picture is flat: all patches measure the same colour and the fit is singular.
    ExpectFailure(RunCli(Calibrate(dir.Path("flat.png"), dir.Path("x.cube"))), "thin-plate-splines", "singular fit");
    ExpectFailure(RunCli({"convert", dir.Path("good.cube"), dir.Path("missing/dir/x.cube"), "--profile", "8"}),
                  "missing/dir/x.cube", "missing folder");
    ExpectFailure(RunCli(Calibrate(dir.Path("chart.png"), dir.Path("missing/x.cube"))), "missing/x.cube",
                  "calibrate into a missing folder");
    EXPECT_EQ(dir.Names().size(), 7u);  // no output and no temporary file left behind
}

TEST_F(CliErrors, AnExistingOutputSurvivesAFailure) {
    const std::string keep = dir.Path("keep.cube");
    const std::vector<std::vector<std::string>> failing = {
        {"convert", dir.Path("short.cube"), keep, "--profile", "8"},
        {"convert", dir.Path("good.cube"), keep, "--profile", "Cube 1D"},
        Calibrate(dir.Path("flat.png"), keep),
        Calibrate(dir.Path("noise.jpg"), keep),
        {"apply", dir.Path("short.cube"), dir.Path("chart.png"), "-o", keep + ".png"},
    };
    WriteText(keep + ".png", "precious\n");
    for (const auto& args : failing) {
        const TRunResult run = RunCli(args);
        EXPECT_EQ(run.Status, 1) << args[0] << " " << args[1] << ": " << run.Err;
        EXPECT_EQ(ReadText(keep), "precious\n");
        EXPECT_EQ(ReadText(keep + ".png"), "precious\n");
    }
    EXPECT_EQ(dir.Names().size(), 8u);
    // A successful command replaces it, as the Save dialog does.
    const TRunResult run = RunCli({"convert", dir.Path("good.cube"), keep, "--profile", "8"});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_NE(ReadText(keep), "precious\n");
}

}  // namespace
}  // namespace tintavo
