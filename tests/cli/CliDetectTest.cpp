// Finding the chart from the command line: detect, and calibrate and report placed by --corners
// or --detect; the selection check's warnings; the mistakes and failures of these forms.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "CliTestSupport.h"
#include "engine/ChartGeometry.h"
#include "picture/Picture.h"
#include "tools/SceneRender.h"

namespace tintavo {
namespace {

using namespace clitest;

const TSelection kRect{60, 50, 840, 550};

std::string CornersArg(const TQuad& q) {
    std::string text;
    char item[64];
    for (const TPointF& p : q) {
        std::snprintf(item, sizeof item, "%s%.3f,%.3f", text.empty() ? "" : ",", p.X, p.Y);
        text += item;
    }
    return text;
}

TQuad JsonCorners(const TJson& corners) {
    EXPECT_EQ(corners.Size(), 4u);
    TQuad q{};
    for (std::size_t k = 0; k < 4 && k < corners.Size(); ++k) {
        EXPECT_EQ(corners[k].Size(), 2u);
        q[k] = {corners[k][0].NumberValue, corners[k][1].NumberValue};
    }
    return q;
}

// Pictures of the working size (1500 x 1000), so working-image pixels are picture pixels.
class CliDetect : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new TScratchDir;
        const double camera[9] = {0.93, 0.08, -0.01, 0.04, 0.9, 0.06, 0.0, -0.05, 1.03};
        auto render = [&](TChartType chart, const scene::TChartPose& pose, const std::string& name) {
            scene::TScene s;
            s.Chart = chart;
            s.Width = 1500, s.Height = 1000;
            s.Upright = false;
            s.Grid = scene::PoseCorners(chart, pose, s.Gap, s.Margin, s.Width, s.Height);
            std::copy(camera, camera + 9, s.Matrix);
            s.Noise = 1.5, s.Blur = 0.6, s.Clutter = 20, s.Seed = 7;
            TBitmap24 picture;
            scene::RenderScene(s, picture);
            SavePicture(dir_->Path(name), picture);
            return s.Grid;
        };
        // A Classic chart turned a quarter clockwise and tilted; a Digital SG chart upside down.
        classicTruth_ = render(TChartType::Classic, {0.45, 0.5, 0.35, 97, 20, -12}, "classic.png");
        sgTruth_ = render(TChartType::DigitalSG, {0.55, 0.5, 0.45, 176, -8, 10}, "sg.png");
        scene::TScene empty;
        empty.HasChart = false;
        empty.Width = 1500, empty.Height = 1000;
        empty.Clutter = 40, empty.Mosaics = 2, empty.Noise = 1.5, empty.Seed = 5;
        TBitmap24 picture;
        scene::RenderScene(empty, picture);
        SavePicture(dir_->Path("empty.png"), picture);
        // The synthetic camera of the other command-line tests, chart upright in kRect.
        DrawChart(TChartType::Classic, kRect, 900, 600, picture);
        SavePicture(dir_->Path("upright.png"), picture);
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    static std::string Path(const std::string& name) { return dir_->Path(name); }

    // Found corners against the truth, in cells of the chart's grid.
    static void ExpectCorners(const TQuad& found, const TQuad& truth, TChartType chart) {
        const double cell = std::hypot(truth[1].X - truth[0].X, truth[1].Y - truth[0].Y) / ChartColumns(chart);
        for (std::size_t k = 0; k < 4; ++k)
            EXPECT_LT(std::hypot(found[k].X - truth[k].X, found[k].Y - truth[k].Y), 0.1 * cell) << "corner " << k + 1;
    }

    static TScratchDir* dir_;
    static TQuad classicTruth_, sgTruth_;
};
TScratchDir* CliDetect::dir_ = nullptr;
TQuad CliDetect::classicTruth_{};
TQuad CliDetect::sgTruth_{};

TEST_F(CliDetect, PrintsChartCornersOrientationAndScore) {
    struct TCase {
        const char* File;
        const char* Chart;
        TChartType Type;
        const TQuad* Truth;
        int Orientation;
    };
    for (const TCase& c : {TCase{"classic.png", "classic", TChartType::Classic, &classicTruth_, 90},
                           TCase{"sg.png", "sg", TChartType::DigitalSG, &sgTruth_, 180}}) {
        TQuad jsonCorners{};
        for (const char* asked : {"auto", c.Chart}) {
            const TRunResult run = RunCli({"detect", Path(c.File), "--chart", asked, "--json"});
            ASSERT_EQ(run.Status, 0) << c.File << ": " << run.Err;
            EXPECT_EQ(run.Err, "");
            const TJson doc = ParseJson(run.Out);
            ASSERT_EQ(doc.Size(), 4u) << run.Out;
            EXPECT_EQ(doc["chart"].StringValue, c.Chart);
            EXPECT_EQ(doc["orientation"].NumberValue, c.Orientation) << c.File;
            EXPECT_GT(doc["score"].NumberValue, 0.9);
            EXPECT_LE(doc["score"].NumberValue, 1.0);
            jsonCorners = JsonCorners(doc["corners"]);
            ExpectCorners(jsonCorners, *c.Truth, c.Type);
            // The keys in the documented order.
            EXPECT_LT(run.Out.find("\"chart\""), run.Out.find("\"corners\""));
            EXPECT_LT(run.Out.find("\"corners\""), run.Out.find("\"orientation\""));
            EXPECT_LT(run.Out.find("\"orientation\""), run.Out.find("\"score\""));
        }
        // The text form: the same finding, the corners ready for --corners.
        const TRunResult text = RunCli({"detect", Path(c.File)});
        ASSERT_EQ(text.Status, 0) << text.Err;
        EXPECT_NE(text.Out.find("(" + std::string(c.Chart) + "), turned " + std::to_string(c.Orientation) +
                                " degrees clockwise"),
                  std::string::npos)
            << text.Out;
        const std::size_t at = text.Out.find("(1500 x 1000): ");
        ASSERT_NE(at, std::string::npos) << text.Out;
        const std::string corners = text.Out.substr(at + 15, text.Out.find('\n', at) - at - 15);
        // Both forms give the corners in hundredths of a pixel.
        double v[8] = {};
        ASSERT_EQ(std::sscanf(corners.c_str(), "%lf,%lf,%lf,%lf,%lf,%lf,%lf,%lf", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5],
                              &v[6], &v[7]),
                  8)
            << corners;
        for (std::size_t k = 0; k < 4; ++k) {
            EXPECT_EQ(v[2 * k], jsonCorners[k].X) << corners;
            EXPECT_EQ(v[2 * k + 1], jsonCorners[k].Y) << corners;
        }
        const TRunResult report = RunCli({"report", Path(c.File), "--chart", c.Chart, "--corners", corners, "--json"});
        ASSERT_EQ(report.Status, 0) << report.Err;
        EXPECT_EQ(report.Err, "");  // the colours agree with the corners: no warning
        ExpectCorners(JsonCorners(ParseJson(report.Out)["corners"]), *c.Truth, c.Type);
    }
}

TEST_F(CliDetect, NoChartIsAFailureOfItsOwn) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"detect", Path("empty.png")}, {"detect", Path("empty.png"), "--json"},
          {"detect", Path("classic.png"), "--chart", "sg"},
          {"report", Path("empty.png"), "--chart", "auto", "--detect"},
          {"calibrate", Path("sg.png"), "--chart", "Classic", "--detect", "--profile", "8", "-o", Path("x.cube")}}) {
        const TRunResult run = RunCli(args);
        EXPECT_EQ(run.Status, 1) << args[1] << ": " << run.Err;
        EXPECT_EQ(run.Err.rfind("error: no colour chart found in \"", 0), 0u) << run.Err;
        EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), 1) << run.Err;
        EXPECT_EQ(run.Out, "");
    }
    EXPECT_NE(RunCli({"detect", Path("classic.png"), "--chart", "sg"}).Err.find("(looking for a ColorChecker Digital SG)"),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(Path("x.cube")));
    // A picture that cannot be read is the usual failure.
    const TRunResult missing = RunCli({"detect", Path("missing.png")});
    EXPECT_EQ(missing.Status, 1);
    EXPECT_NE(missing.Err.find("missing.png"), std::string::npos) << missing.Err;
}

TEST_F(CliDetect, CalibratingThroughDetectSamplesAsTheTrueCorners) {
    for (const auto& [file, chart, truth] : {std::tuple{"classic.png", "classic", &classicTruth_},
                                             std::tuple{"sg.png", "sg", &sgTruth_}}) {
        const TRunResult found = RunCli({"report", Path(file), "--chart", "auto", "--detect", "--json"});
        const TRunResult known = RunCli({"report", Path(file), "--chart", chart, "--corners", CornersArg(*truth), "--json"});
        ASSERT_EQ(found.Status, 0) << found.Err;
        ASSERT_EQ(known.Status, 0) << known.Err;
        EXPECT_EQ(found.Err, "");
        const TJson a = ParseJson(found.Out), b = ParseJson(known.Out);
        EXPECT_EQ(a["chart"].StringValue, chart);
        EXPECT_EQ(a.Members.count("rect"), 0u);
        const TJson &pa = a["patches"], &pb = b["patches"];
        ASSERT_EQ(pa.Size(), pb.Size());
        double worst = 0;
        for (std::size_t i = 0; i < pa.Size(); ++i)
            for (std::size_t k = 0; k < 3; ++k)
                worst = std::max(worst, std::abs(pa[i]["measured"][k].NumberValue - pb[i]["measured"][k].NumberValue) * 255);
        EXPECT_LE(worst, 3.0) << file;
    }
    const TRunResult run = RunCli({"calibrate", Path("classic.png"), "--chart", "auto", "--detect", "--profile", "8",
                                   "-o", Path("detected.cube")});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Err, "");
    EXPECT_TRUE(std::filesystem::exists(Path("detected.cube")));
    std::filesystem::remove(Path("detected.cube"));
}

TEST_F(CliDetect, ARectangleGivenAsCornersIsTheRectangle) {
    const TSelection reversed{kRect.X2, kRect.Y2, kRect.X1, kRect.Y1};
    for (const TSelection& r : {kRect, reversed}) {
        const TQuad q = TChartGeometry(r, 6, 4).Corners();
        const TRunResult byRect = RunCli({"calibrate", Path("upright.png"), "--chart", "classic", "--rect", RectText(r),
                                          "--profile", "8", "-o", Path("rect.cube")});
        const TRunResult byCorners = RunCli({"calibrate", Path("upright.png"), "--chart", "classic", "--corners",
                                             CornersArg(q), "--profile", "8", "-o", Path("corners.cube")});
        ASSERT_EQ(byRect.Status, 0) << byRect.Err;
        ASSERT_EQ(byCorners.Status, 0) << byCorners.Err;
        EXPECT_EQ(ReadText(Path("rect.cube")), ReadText(Path("corners.cube")));
        EXPECT_EQ(byRect.Err, byCorners.Err);
    }
    std::filesystem::remove(Path("rect.cube"));
    std::filesystem::remove(Path("corners.cube"));
    // The rectangle's report keeps its form: "rect" before the patches, no corners.
    const TRunResult report = RunCli({"report", Path("upright.png"), "--chart", "classic", "--rect", RectText(kRect), "--json"});
    ASSERT_EQ(report.Status, 0) << report.Err;
    EXPECT_LT(report.Out.find("\"imageHeight\""), report.Out.find("\"rect\""));
    EXPECT_LT(report.Out.find("\"rect\""), report.Out.find("\"patches\""));
    EXPECT_EQ(report.Out.find("\"corners\""), std::string::npos);
}

TEST_F(CliDetect, SelectionsTheColoursContradictWarnButStillRun) {
    auto expectWarning = [](const TRunResult& run, const std::string& mention) {
        EXPECT_EQ(run.Status, 0) << run.Err;
        EXPECT_EQ(run.Err.rfind("warning: ", 0), 0u) << run.Err;
        EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), 1) << run.Err;
        EXPECT_NE(run.Err.find(mention), std::string::npos) << run.Err;
    };
    // Dragged from the bottom-right: read upside down, as asked, with a warning.
    const TSelection reversed{kRect.X2, kRect.Y2, kRect.X1, kRect.Y1};
    const TRunResult report = RunCli({"report", Path("upright.png"), "--chart", "classic", "--rect", RectText(reversed), "--json"});
    expectWarning(report, "Drag the selection from the corner next to the first patch");
    const TJson doc = ParseJson(report.Out);
    EXPECT_EQ(doc["rect"][0].NumberValue, kRect.X2);
    EXPECT_EQ(doc["patches"][0]["column"].NumberValue, 0);
    const TRunResult calibrate = RunCli({"calibrate", Path("upright.png"), "--chart", "classic", "--rect",
                                         RectText(reversed), "--profile", "8", "-o", Path("turned.cube")});
    expectWarning(calibrate, "at the top-left corner of the selection, not at the bottom-right corner");
    EXPECT_NE(calibrate.Out.find("turned.cube"), std::string::npos) << calibrate.Out;
    EXPECT_TRUE(std::filesystem::exists(Path("turned.cube")));
    std::filesystem::remove(Path("turned.cube"));

    // The turned chart's corners given from the wrong corner.
    expectWarning(RunCli({"report", Path("classic.png"), "--chart", "classic", "--corners",
                          CornersArg(ReorderedCorners(classicTruth_, 1, false))}),
                  "Give the corners starting next to the first patch");
    // Found but named as the wrong chart: the selection is the chart's place, the type is wrong.
    expectWarning(RunCli({"report", Path("sg.png"), "--chart", "classic", "--corners", CornersArg(sgTruth_)}),
                  "looks like a ColorChecker Digital SG, not a ColorChecker Classic");
}

TEST_F(CliDetect, PlacementMistakesAreUsageErrors) {
    const std::string image = Path("upright.png");
    auto expectUsage = [](const TRunResult& run, const std::string& mention) {
        EXPECT_EQ(run.Status, 2) << mention << ": " << run.Err;
        EXPECT_EQ(run.Err.rfind("error: ", 0), 0u) << run.Err;
        EXPECT_NE(run.Err.find(mention), std::string::npos) << run.Err;
        EXPECT_NE(run.Err.find("usage: "), std::string::npos) << run.Err;
    };
    expectUsage(RunCli({"report", image, "--chart", "classic"}), "the chart's place is needed: --rect, --corners or --detect");
    expectUsage(RunCli({"report", image, "--chart", "classic", "--rect", RectText(kRect), "--detect"}),
                "give only one of --rect, --corners and --detect");
    expectUsage(RunCli({"calibrate", image, "--chart", "classic", "--corners", "1,2,3,4,5,6,7,8", "--detect", "--profile",
                        "8", "-o", Path("x.cube")}),
                "give only one of --rect, --corners and --detect");
    expectUsage(RunCli({"report", image, "--chart", "auto", "--rect", RectText(kRect)}), "--chart auto needs --detect");
    expectUsage(RunCli({"report", image, "--chart", "auto", "--corners", "60,50,840,50,840,550,60,550"}),
                "--chart auto needs --detect");
    for (const char* bad : {"60,50,840,50,840,550,60", "60,50,840,50,840,550,60,550,1", "60,50,840,50,840,550,60,x",
                            "60,50,,50,840,550,60,550", "60,50,840,50,840,550,60,inf"})
        expectUsage(RunCli({"report", image, "--chart", "classic", "--corners", bad}),
                    std::string("--corners must be eight numbers X1,Y1,X2,Y2,X3,Y3,X4,Y4, not \"") + bad + "\"");
    // Decimals are fine; the far edges of a 900 x 600 picture are at 900 and 600.
    EXPECT_EQ(RunCli({"report", image, "--chart", "classic", "--corners", "60.5,50.25,900,50,840,600,60,550"}).Status, 0);
    expectUsage(RunCli({"report", image, "--chart", "classic", "--corners", "60,50,900.5,50,840,550,60,550"}),
                "the corner 900.50,50.00 lies outside the working image (900 x 600 pixels)");
    expectUsage(RunCli({"report", image, "--chart", "classic", "--corners", "60,50,840,550,840,50,60,550"}),
                "the four corners do not form a convex quadrilateral");
    expectUsage(RunCli({"detect", image, "--chart", "passport"}), "unknown chart \"passport\"");
    expectUsage(RunCli({"detect", image, "--rect", RectText(kRect)}), "--rect");
    EXPECT_FALSE(std::filesystem::exists(Path("x.cube")));
}

}  // namespace
}  // namespace tintavo
