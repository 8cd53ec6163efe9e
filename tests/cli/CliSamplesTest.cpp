// tintavo-cli on the committed sample photographs and on pictures made by the chart renderer
// (tools/render_chart.cpp), whose cameras distort colours in ways the tests do not model.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "CliTestSupport.h"

namespace tintavo {
namespace {

using namespace clitest;

// The report's summary of all patches: after-error far below the camera's error.
void ExpectCorrected(const std::vector<std::string>& reportArgs, double factor) {
    std::vector<std::string> args = reportArgs;
    args.push_back("--json");
    const TRunResult run = RunCli(args);
    ASSERT_EQ(run.Status, 0) << run.Err;
    const TJson all = ParseJson(run.Out)["summary"]["all"];
    const double before = all["before"]["mean"].NumberValue;
    EXPECT_GT(before, 3.0);
    EXPECT_LT(all["after"]["mean"].NumberValue, before / factor);
    EXPECT_LT(all["leaveOneOut"]["mean"].NumberValue, before / 3);
}

TEST(CliSamples, CommittedPhotographsCalibrate) {
    const std::string samples = std::string(TINTAVO_SOURCE_DIR) + "/samples/";
    if (!std::filesystem::exists(samples + "classic.jpg")) GTEST_SKIP() << "no sample photographs";
    // Rectangles from samples/README.md; JPEG noise stays, so "far below" is a factor of 5.
    ExpectCorrected({"report", samples + "classic.jpg", "--chart", "classic", "--rect", "300,200,1200,800", "--full"},
                    5);
    ExpectCorrected({"report", samples + "sg.jpg", "--chart", "sg", "--rect", "300,179,1200,821", "--full"}, 5);

    TScratchDir dir;
    const TRunResult run = RunCli({"calibrate", samples + "sg.jpg", "--chart", "sg", "--rect", "300,179,1200,821",
                                   "--profile", "Nucoda 3D", "--size", "17", "-o", dir.Path("sg.cms")});
    ASSERT_EQ(run.Status, 0) << run.Err;
    const TRunResult info = RunCli({"info", dir.Path("sg.cms"), "--json"});
    ASSERT_EQ(info.Status, 0) << info.Err;
    EXPECT_EQ(ParseJson(info.Out)["size3d"].NumberValue, 17);
}

#ifdef TINTAVO_RENDER_CHART_PATH
TEST(CliSamples, RenderedChartWithAStrongColourErrorCalibrates) {
    TScratchDir dir;
    const TRunResult render = RunProgram(
        TINTAVO_RENDER_CHART_PATH, {"--chart", "classic", "--out", dir.Path("chart.png"), "--size", "2400x1600",
                                    "--matrix", "0.8,0.2,0,0.1,0.8,0.1,0,0.2,0.8", "--gamma", "1.3,1,0.8"});
    ASSERT_EQ(render.Status, 0) << render.Err;
    // The renderer names the selection in working-image pixels (the picture is halved).
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    const std::size_t at = render.Out.find("Selection: ");
    ASSERT_NE(at, std::string::npos) << render.Out;
    ASSERT_EQ(std::sscanf(render.Out.c_str() + at, "Selection: X1=%d Y1=%d X2=%d Y2=%d", &x1, &y1, &x2, &y2), 4);
    const std::string rect = RectText(TSelection{x1, y1, x2, y2});
    ExpectCorrected({"report", dir.Path("chart.png"), "--chart", "classic", "--rect", rect, "--full"}, 20);
}
#endif

}  // namespace
}  // namespace tintavo
