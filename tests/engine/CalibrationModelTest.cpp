// The chart table, the calibration model interface and its registry, the node rule every model
// goes through, and the advice for selections that cannot be calibrated.
#include "engine/CalibrationModel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>

#include "common/Errors.h"
#include "engine/Calibration.h"
#include "engine/CalibrationReport.h"
#include "engine/ColorChecker.h"
#include "engine/ThinPlateSplineModel.h"

namespace tintavo {
namespace {

const char* const kSingular = "Error calculating the thin-plate-splines coefficient matrix. Matrix is not invertable";

// A camera that mixes channels and bends the tone curve (0..1 in and out).
TLutColor Camera(const TLutColor& c) {
    return {0.04 + 0.8 * std::pow(c.R, 1.1) + 0.1 * c.G, 0.02 + 0.9 * c.G + 0.05 * c.B, 0.03 + 0.75 * c.B + 0.1 * c.R};
}

TMeasuredPatches Measured(TChartType chart) {
    TMeasuredPatches m;
    m.PatchCount = ChartPatchCount(chart);
    for (int i = 0; i < m.PatchCount; ++i) m.MeasuredColors[i] = Camera(ChartReference(chart)[i]);
    return m;
}

double Luma(const TLutColor& c) {
    double y, u, v;
    RGBToYUV(c.R, c.G, c.B, y, u, v);
    return y;
}

// A model whose mapping is a given function, for checking what the calibration does around it.
class TFunctionModel : public TCalibrationModel {
public:
    explicit TFunctionModel(std::function<TLutColor(double, double, double)> map) : map_(std::move(map)) {}
    void Fit(std::span<const TPatchPair> patches) override { count_ = static_cast<int>(patches.size()); }
    bool Fitted() const override { return count_ >= 0; }
    std::vector<int> ControlPatches() const override {
        std::vector<int> all;
        for (int i = 0; i < count_; ++i) all.push_back(i);
        return all;
    }
    TLutColor Map(double r, double g, double b) const override { return map_(r, g, b); }

private:
    std::function<TLutColor(double, double, double)> map_;
    int count_ = -1;
};

TEST(ChartTable, EachChartsNamesGridAndNumbering) {
    const auto charts = Charts();
    ASSERT_EQ(charts.size(), 2u);
    for (std::size_t i = 0; i < charts.size(); ++i) EXPECT_EQ(static_cast<std::size_t>(charts[i].Type), i);

    const TChartInfo& classic = ChartInfo(TChartType::Classic);
    EXPECT_STREQ(classic.DisplayName, "ColorChecker Classic");
    EXPECT_STREQ(classic.CommandName, "classic");
    EXPECT_EQ(classic.Columns, 6);
    EXPECT_EQ(classic.Rows, 4);
    EXPECT_EQ(classic.Reference, &ClassicReference[0]);
    // Row-major: row x 6 + column.
    EXPECT_EQ(classic.PatchIndex(5, 0), 5);
    EXPECT_EQ(classic.PatchIndex(0, 1), 6);
    EXPECT_EQ(classic.PatchIndex(5, 3), 23);

    const TChartInfo& sg = ChartInfo(TChartType::DigitalSG);
    EXPECT_STREQ(sg.DisplayName, "ColorChecker Digital SG");
    EXPECT_STREQ(sg.CommandName, "sg");
    EXPECT_EQ(sg.PatchCount(), 140);
    EXPECT_EQ(sg.Reference, &SGReference[0]);
    // Column-major: column x 10 + row.
    EXPECT_EQ(sg.PatchIndex(0, 1), 1);
    EXPECT_EQ(sg.PatchIndex(1, 0), 10);
    int column = -1, row = -1;
    sg.PatchCell(125, column, row);
    EXPECT_EQ(column, 12);
    EXPECT_EQ(row, 5);
    classic.PatchCell(17, column, row);
    EXPECT_EQ(column, 5);
    EXPECT_EQ(row, 2);
    // The colour of a cell through the numbering: column 1, row 4 of the Digital SG chart.
    const TLutColor& c = sg.Reference[sg.PatchIndex(1, 4)];
    EXPECT_EQ(c.R, 0.0);
    EXPECT_EQ(c.G, static_cast<double>(121.32L / 255.0L));
}

TEST(ChartTable, CommandNamesMatchIgnoringLetterCaseOnly) {
    ASSERT_NE(FindChartByCommandName("SG"), nullptr);
    EXPECT_EQ(FindChartByCommandName("SG")->Type, TChartType::DigitalSG);
    ASSERT_NE(FindChartByCommandName("Classic"), nullptr);
    EXPECT_EQ(FindChartByCommandName("Classic")->Type, TChartType::Classic);
    for (const char* wrong : {"", "class", "classic ", "sgs", "ColorChecker Classic"})
        EXPECT_EQ(FindChartByCommandName(wrong), nullptr) << wrong;
}

TEST(ChartGeometry, CellSizeIgnoresTheDragDirection) {
    EXPECT_EQ(TChartGeometry({700, 450, 100, 50}, 6, 4).CellSize(true), 100);
    EXPECT_EQ(TChartGeometry({700, 450, 100, 50}, 6, 4).CellSize(false), 100);
    EXPECT_EQ(TChartGeometry({0, 0, 13, 6}, 6, 4).CellSize(true), 2);
    EXPECT_EQ(TChartGeometry({0, 0, 13, 6}, 6, 4).CellSize(false), 1);
    EXPECT_THROW(TChartGeometry({0, 0, 13, 6}, 0, 4).CellSize(true), std::runtime_error);
}

TEST(ChartGeometry, SamplingRefusesAGridThatIsNotTheCharts) {
    TBitmap24 bmp(100, 100);
    TMeasuredPatches m;
    EXPECT_THROW(SamplePatches(bmp, TChartGeometry({0, 0, 99, 99}, 14, 10), TChartType::Classic, m),
                 std::runtime_error);
    EXPECT_NO_THROW(SamplePatches(bmp, TChartGeometry({0, 0, 99, 99}, 6, 4), TChartType::Classic, m));
    EXPECT_EQ(m.PatchCount, 24);
}

TEST(CalibrationModels, RegistryCreatesUnfittedModelsByName) {
    const auto& models = CalibrationModels();
    ASSERT_FALSE(models.empty());
    EXPECT_EQ(std::string(models.front().Name), DefaultCalibrationModel);
    std::set<std::string> names;
    for (const TCalibrationModelEntry& entry : models) {
        EXPECT_TRUE(names.insert(entry.Name).second) << entry.Name;
        const auto model = entry.Create();
        ASSERT_NE(model, nullptr) << entry.Name;
        EXPECT_FALSE(model->Fitted()) << entry.Name;
    }
    EXPECT_NE(dynamic_cast<TThinPlateSplineModel*>(CreateCalibrationModel("TPS").get()), nullptr);
    try {
        CreateCalibrationModel("spline");
        FAIL() << "no exception";
    } catch (const std::invalid_argument& e) {
        EXPECT_NE(std::string(e.what()).find("\"spline\""), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("tps"), std::string::npos) << e.what();
    }
}

TEST(ThinPlateSplineModel, ControlPatchesAreTheThinnedOnesAndRefitsOnThemKeepThemAll) {
    const std::vector<TPatchPair> sg = PatchPairs(Measured(TChartType::DigitalSG), TChartType::DigitalSG);
    TThinPlateSplineModel model;
    model.Fit(sg);
    const std::vector<int> control = model.ControlPatches();
    EXPECT_EQ(control, ThinnedPatchIndices(SGReference, 140));
    ASSERT_EQ(control.size(), 45u);
    // Exact at its control points.
    const TPatchPair& p = sg[static_cast<std::size_t>(control[7])];
    const TLutColor at = model.Map(p.Measured.R, p.Measured.G, p.Measured.B);
    EXPECT_NEAR(at.R, p.Reference.R, 1e-9);
    EXPECT_NEAR(at.B, p.Reference.B, 1e-9);

    // What the report's leave-one-out relies on: a refit on the control points without one of
    // them rests on all the others, and no thinned-out patch comes back.
    std::vector<int> others = control;
    others.erase(others.begin() + 10);
    TThinPlateSplineModel refit;
    refit.Fit(SelectPatches(sg, others));
    EXPECT_EQ(refit.ControlPatches().size(), 44u);
    EXPECT_EQ(refit.ControlPatches().back(), 43);

    TThinPlateSplineModel classic;
    classic.Fit(PatchPairs(Measured(TChartType::Classic), TChartType::Classic));
    EXPECT_EQ(classic.ControlPatches().size(), 24u);
}

TEST(ThinPlateSplineModel, FailedFitKeepsThePreviousFit) {
    TThinPlateSplineModel unfitted;
    EXPECT_THROW(unfitted.Map(0.5, 0.5, 0.5), EAssertionFailed);

    TThinPlateSplineModel model;
    model.Fit(PatchPairs(Measured(TChartType::DigitalSG), TChartType::DigitalSG));
    const TLutColor before = model.Map(0.3, 0.4, 0.5);
    TMeasuredPatches flat;
    flat.PatchCount = 24;
    for (int i = 0; i < 24; ++i) flat.MeasuredColors[i] = {0.5, 0.5, 0.5};
    try {
        model.Fit(PatchPairs(flat, TChartType::Classic));
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), kSingular);
    }
    EXPECT_TRUE(model.Fitted());
    EXPECT_EQ(model.Map(0.3, 0.4, 0.5).G, before.G);
    EXPECT_EQ(model.ControlPatches().size(), 45u);
}

TEST(CalibrationMapping, EveryModelGoesThroughTheSameNodeRule) {
    // Out of range above and below, and not-a-number.
    auto wild = [](double r, double g, double b) {
        return TLutColor{2.0 * r - 0.2, g > 0.5 ? std::nan("") : g, b - 0.25};
    };
    auto model = std::make_unique<TFunctionModel>(wild);
    EXPECT_THROW(TCalibrationMapping(std::move(model), false), std::runtime_error);  // not fitted

    const std::vector<TPatchPair> pairs = PatchPairs(Measured(TChartType::Classic), TChartType::Classic);
    auto fitted = [&] {
        auto m = std::make_unique<TFunctionModel>(wild);
        m->Fit(pairs);
        return m;
    };
    const TCalibrationMapping full(fitted(), false);
    EXPECT_EQ(full.Model().ControlPatches().size(), 24u);
    const TLutColor hi = full.MapNode(0.9, 0.75, 0.1);
    EXPECT_EQ(hi.R, 1.0);
    EXPECT_EQ(hi.G, 0.0);
    EXPECT_EQ(hi.B, 0.0);
    const TLutColor mid = full.MapNode(0.3, 0.25, 0.75);
    EXPECT_DOUBLE_EQ(mid.R, 0.4);
    EXPECT_EQ(mid.G, 0.25);
    EXPECT_EQ(mid.B, 0.5);

    // Colors only: the clamped value's colour differences on the node's own luma (the YUV
    // coefficients invert each other only to about 1E-5).
    const TCalibrationMapping colours(fitted(), true);
    for (double x : {0.0, 0.3, 0.9})
        for (double y : {0.2, 0.75})
            for (double z : {0.1, 1.0}) {
                const TLutColor c = colours.MapNode(x, y, z);
                EXPECT_NEAR(Luma(c), Luma({x, y, z}), 1e-5);
                const TLutColor clamped = full.MapNode(x, y, z);
                double ya, ua, va, yb, ub, vb;
                RGBToYUV(c.R, c.G, c.B, ya, ua, va);
                RGBToYUV(clamped.R, clamped.G, clamped.B, yb, ub, vb);
                EXPECT_NEAR(ua, ub, 1e-4);
                EXPECT_NEAR(va, vb, 1e-4);
            }

    // The grid is filled by that rule, on any number of threads.
    auto one = std::make_unique<TLUT>();
    one->Size3D = 17;
    colours.FillTable(*one, 1);
    auto many = std::make_unique<TLUT>();
    many->Size3D = 17;
    colours.FillTable(*many, 3);
    EXPECT_EQ(std::memcmp(one->Table3D, many->Table3D, sizeof one->Table3D), 0);
    const TLutColor node = colours.MapNode(0.5, 0.75, 0.0625);
    EXPECT_EQ(one->Table3D[8][12][1].R, node.R);
    EXPECT_EQ(one->Table3D[8][12][1].B, node.B);
}

TEST(SelectionAdvice, NamesTheCauseOfADegenerateSelection) {
    const TMeasuredPatches classic = Measured(TChartType::Classic);
    const TChartGeometry large({0, 0, 600, 400}, 6, 4);
    EXPECT_EQ(DegenerateSelectionAdvice(large, TChartType::Classic, classic), "");
    // The Digital SG chart repeats its greys: near-equal references that measure alike are fine.
    EXPECT_EQ(DegenerateSelectionAdvice(TChartGeometry({0, 0, 1400, 1000}, 14, 10), TChartType::DigitalSG,
                                        Measured(TChartType::DigitalSG)),
              "");

    const std::string small = DegenerateSelectionAdvice(TChartGeometry({40, 30, 10, 0}, 6, 4), TChartType::Classic, classic);
    EXPECT_NE(small.find("too small"), std::string::npos) << small;
    EXPECT_NE(small.find("5 x 7 pixels"), std::string::npos) << small;

    TMeasuredPatches flat = classic;
    for (int i = 0; i < 24; ++i) flat.MeasuredColors[i] = {0.5, 0.5 + (i % 2) / 255.0, 0.5};
    const std::string same = DegenerateSelectionAdvice(large, TChartType::Classic, flat);
    EXPECT_NE(same.find("All 24 patches measure the same colour"), std::string::npos) << same;

    // Two patches of different chart colours (6: orange, 7: purplish blue) measuring alike.
    TMeasuredPatches twice = classic;
    twice.MeasuredColors[7] = twice.MeasuredColors[6];
    const std::string wrongChart = DegenerateSelectionAdvice(large, TChartType::Classic, twice);
    EXPECT_NE(wrongChart.find("chart type"), std::string::npos) << wrongChart;
    EXPECT_NE(wrongChart.find("ColorChecker Digital SG: 14 x 10"), std::string::npos) << wrongChart;
}

TEST(SelectionAdvice, OnlyFitFailuresTheSelectionExplainsGetAdvice) {
    TMeasuredPatches flat;
    flat.PatchCount = 24;
    const TChartGeometry large({0, 0, 600, 400}, 6, 4);
    auto failing = [] { throw std::runtime_error("fit failed"); };
    try {
        WithSelectionAdvice(large, TChartType::Classic, flat, failing);
        FAIL() << "no exception";
    } catch (const ECalibrationError& e) {
        EXPECT_STREQ(e.what(), "fit failed");
        EXPECT_NE(e.Advice().find("same colour"), std::string::npos);
        EXPECT_EQ(e.UserMessage("\n\n"), "fit failed\n\n" + e.Advice());
    }
    // Nothing about the selection explains it: the error passes as it is.
    const TMeasuredPatches fine = Measured(TChartType::Classic);
    try {
        WithSelectionAdvice(large, TChartType::Classic, fine, failing);
        FAIL() << "no exception";
    } catch (const ECalibrationError&) {
        FAIL() << "advice without a cause";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "fit failed");
    }
    // Programming errors are not the selection's fault.
    EXPECT_THROW(WithSelectionAdvice(large, TChartType::Classic, flat, [] { throw std::logic_error("bug"); }),
                 std::logic_error);
    bool ran = false;
    WithSelectionAdvice(large, TChartType::Classic, flat, [&] { ran = true; });
    EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace tintavo
