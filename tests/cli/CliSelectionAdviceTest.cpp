// A calibration that the selection makes impossible fails with the fit's message and what to do
// about it, on the one error line, for calibrate and report alike; chart names come from the
// chart table.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "CliTestSupport.h"
#include "picture/Picture.h"

namespace tintavo {
namespace {

using namespace clitest;

const TSelection kRect{60, 50, 840, 550};
const char* const kSingular = "Error calculating the thin-plate-splines coefficient matrix. Matrix is not invertable";

class CliSelectionAdvice : public ::testing::Test {
protected:
    void SetUp() override {
        TBitmap24 chart;
        DrawChart(TChartType::Classic, kRect, 900, 600, chart);
        SavePicture(dir.Path("chart.png"), chart);
    }

    static void ExpectAdvice(const TRunResult& run, const std::string& advice, const std::string& what) {
        EXPECT_EQ(run.Status, 1) << what << ": " << run.Err;
        EXPECT_EQ(run.Err.rfind(std::string("error: ") + kSingular + ". ", 0), 0u) << what << ": " << run.Err;
        EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), 1) << what << ": " << run.Err;
        EXPECT_NE(run.Err.find(advice), std::string::npos) << what << ": " << run.Err;
    }

    TScratchDir dir;
};

TEST_F(CliSelectionAdvice, WrongChartTypeAndTinySelectionSayWhatToDo) {
    // The Classic chart taken for a Digital SG one.
    ExpectAdvice(RunCli({"calibrate", dir.Path("chart.png"), "--chart", "sg", "--rect", RectText(kRect), "--profile",
                         "8", "-o", dir.Path("x.cube")}),
                 "check that the chart type matches", "calibrate, wrong chart");
    ExpectAdvice(RunCli({"report", dir.Path("chart.png"), "--chart", "SG", "--rect", RectText(kRect)}),
                 "check that the chart type matches", "report, wrong chart");
    // A few pixels for 24 patches.
    ExpectAdvice(RunCli({"calibrate", dir.Path("chart.png"), "--chart", "classic", "--rect", "300,200,330,212",
                         "--profile", "8", "-o", dir.Path("x.cube")}),
                 "too small for the 6 x 4 patches of the ColorChecker Classic", "calibrate, tiny selection");
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"chart.png"});
}

TEST_F(CliSelectionAdvice, ChartNamesComeFromTheChartTable) {
    const TRunResult run = RunCli({"report", dir.Path("chart.png"), "--chart", "Classic", "--rect", RectText(kRect)});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_NE(run.Out.find("chart ColorChecker Classic,"), std::string::npos) << run.Out.substr(0, 200);
    const TRunResult json =
        RunCli({"report", dir.Path("chart.png"), "--chart", "classic", "--rect", RectText(kRect), "--json"});
    ASSERT_EQ(json.Status, 0) << json.Err;
    EXPECT_EQ(ParseJson(json.Out)["chart"].StringValue, "classic");
    const TRunResult unknown = RunCli({"report", dir.Path("chart.png"), "--chart", "passport", "--rect", RectText(kRect)});
    EXPECT_EQ(unknown.Status, 2);
    EXPECT_NE(unknown.Err.find("unknown chart \"passport\" (classic or sg)"), std::string::npos) << unknown.Err;
}

}  // namespace
}  // namespace tintavo
