// tintavo-cli calibrate and report with a chosen calibration model, and the report's held-out
// validation and model comparison.
#include <gtest/gtest.h>

#include <string>

#include "CliTestSupport.h"
#include "engine/CalibrationModel.h"
#include "picture/Picture.h"

namespace tintavo {
namespace {

using namespace clitest;

const TSelection kSGRect{20, 20, 1380, 980};
const TSelection kClassicRect{60, 50, 840, 550};

class CliModels : public ::testing::Test {
protected:
    void SetUp() override {
        TBitmap24 bmp;
        DrawChart(TChartType::DigitalSG, kSGRect, 1400, 1000, bmp);
        SavePicture(dir.Path("sg.png"), bmp);
        DrawChart(TChartType::Classic, kClassicRect, 900, 600, bmp);
        SavePicture(dir.Path("classic.png"), bmp);
    }
    TRunResult Calibrate(const std::string& out, std::vector<std::string> extra) {
        std::vector<std::string> args = {"calibrate", dir.Path("classic.png"), "--chart", "classic", "--rect",
                                         RectText(kClassicRect), "--profile", "8", "-o", dir.Path(out)};
        args.insert(args.end(), extra.begin(), extra.end());
        return RunCli(args);
    }
    TScratchDir dir;
};

TEST_F(CliModels, CalibrateWithEachModelAndRefuseUnknownOnes) {
    ASSERT_EQ(Calibrate("default.cube", {}).Status, 0);
    const TRunResult tps = Calibrate("tps.cube", {"--model", "TPS"});
    ASSERT_EQ(tps.Status, 0) << tps.Err;
    EXPECT_EQ(ReadText(dir.Path("tps.cube")), ReadText(dir.Path("default.cube")));
    for (const TCalibrationModelEntry& model : CalibrationModels()) {
        const std::string name = model.Name;
        const TRunResult run = Calibrate(name + ".cube", {"--model=" + name});
        ASSERT_EQ(run.Status, 0) << name << ": " << run.Err;
        // "auto" may pick the spline itself.
        if (name == "tps" || name == "auto") continue;
        EXPECT_TRUE(ReadText(dir.Path(name + ".cube")) != ReadText(dir.Path("default.cube"))) << name;
    }
    // Another size is the mapping evaluated on its own grid, the same with every model.
    ASSERT_EQ(Calibrate("small.cube", {"--model", "rootpoly2", "--size", "9"}).Status, 0);
    EXPECT_NE(ReadText(dir.Path("small.cube")).find("LUT_3D_SIZE 9"), std::string::npos);

    const TRunResult bad = Calibrate("bad.cube", {"--model", "spline"});
    EXPECT_EQ(bad.Status, 2);
    EXPECT_NE(bad.Err.find("--model spline is not a calibration model (tps, smooth-tps, matrix, rootpoly2, "
                           "rootpoly3, auto)"),
              std::string::npos)
        << bad.Err;
    const TRunResult help = RunCli({"calibrate", "--help"});
    EXPECT_NE(help.Out.find("--model"), std::string::npos);
    EXPECT_NE(help.Out.find("(default: tps)"), std::string::npos) << help.Out;
}

TEST_F(CliModels, ReportKeepsInSampleAndHeldOutApartAndComparesModels) {
    const std::vector<std::string> base = {"report", dir.Path("sg.png"), "--chart", "sg", "--rect", RectText(kSGRect)};
    auto with = [&](std::vector<std::string> extra) {
        std::vector<std::string> args = base;
        args.insert(args.end(), extra.begin(), extra.end());
        return RunCli(args);
    };
    const TRunResult plain = with({"--json"});
    ASSERT_EQ(plain.Status, 0) << plain.Err;
    const TJson defaults = ParseJson(plain.Out);
    EXPECT_EQ(defaults["model"].StringValue, "tps");
    EXPECT_EQ(defaults["validation"]["method"].StringValue, "grouped 5-fold");
    EXPECT_EQ(defaults["validation"]["folds"].NumberValue, 5);
    const TJson& all = defaults["summary"]["all"];
    EXPECT_LE(all["after"]["median"].NumberValue, all["after"]["p95"].NumberValue);
    EXPECT_LE(all["after"]["p95"].NumberValue, all["after"]["max"].NumberValue);
    EXPECT_GT(all["crossValidated"]["mean"].NumberValue, all["after"]["mean"].NumberValue);
    EXPECT_EQ(all["count"].NumberValue, 140);

    const TRunResult json = with({"--json", "--model", "smooth-tps", "--compare-models"});
    ASSERT_EQ(json.Status, 0) << json.Err;
    const TJson report = ParseJson(json.Out);
    EXPECT_EQ(report["model"].StringValue, "smooth-tps");
    EXPECT_EQ(report["modelDetails"].StringValue, "smoothing 0.0003");
    // Smoothing leaves no patch out: no leave-one-out figures, every patch judged in its fold.
    EXPECT_EQ(report["patches"][0]["deltaELeaveOneOut"].Type, TJson::Null);
    EXPECT_EQ(report["summary"]["control"]["count"].NumberValue, 140);
    const TJson& models = report["cross_validation"];
    ASSERT_EQ(models.Size(), CalibrationModels().size());
    for (const TCalibrationModelEntry& model : CalibrationModels()) {
        const TJson& m = models[model.Name];
        EXPECT_EQ(m["error"].Type, TJson::Null) << model.Name;
        EXPECT_LE(m["median"].NumberValue, m["p95"].NumberValue) << model.Name;
        EXPECT_LE(m["p95"].NumberValue, m["max"].NumberValue) << model.Name;
    }
    EXPECT_EQ(models["smooth-tps"]["mean"].NumberValue, report["summary"]["all"]["crossValidated"]["mean"].NumberValue);
    // The default model's comparison entry is the default report's held-out figure.
    EXPECT_EQ(models["tps"]["mean"].NumberValue, all["crossValidated"]["mean"].NumberValue);
    EXPECT_EQ(defaults.Members.count("cross_validation"), 0u);

    // The table: the earlier layout by default, the validated one when a model is named.
    const TRunResult table = with({});
    EXPECT_NE(table.Out.find("---- leave one out ----"), std::string::npos);
    EXPECT_EQ(table.Out.find("In-sample"), std::string::npos);
    const TRunResult validated = with({"--compare-models"});
    ASSERT_EQ(validated.Status, 0) << validated.Err;
    EXPECT_NE(validated.Out.find("Model tps\n"), std::string::npos) << validated.Out;
    EXPECT_NE(validated.Out.find("Held out: grouped 5-fold (5 folds, seed"), std::string::npos);
    EXPECT_NE(validated.Out.find("mean median    p95    max     mean"), std::string::npos);
    EXPECT_NE(validated.Out.find("\nrootpoly3  "), std::string::npos);
    EXPECT_NE(validated.Out.find("\nauto       "), std::string::npos);

    const TRunResult classic = RunCli({"report", dir.Path("classic.png"), "--chart", "classic", "--rect",
                                       RectText(kClassicRect), "--model", "matrix"});
    ASSERT_EQ(classic.Status, 0) << classic.Err;
    EXPECT_NE(classic.Out.find("Held out: leave one out (24 folds)"), std::string::npos) << classic.Out;
}

}  // namespace
}  // namespace tintavo
