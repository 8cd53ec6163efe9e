#include "engine/CalibrationReport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <stdexcept>

#include "engine/ColorDifference.h"

namespace tintavo {
namespace {

double Node(int k, int n) { return static_cast<double>(k / static_cast<long double>(n - 1)); }

// A camera that bends the tone curve and mixes the channels a little.
TMeasuredPatches Photograph(TChartType chart, bool ideal = false) {
    TMeasuredPatches m;
    m.PatchCount = ChartPatchCount(chart);
    const TLutColor* reference = ChartReference(chart);
    for (int i = 0; i < m.PatchCount; ++i) {
        const TLutColor& c = reference[i];
        m.MeasuredColors[i] = ideal ? c
                                    : TLutColor{std::round(255 * (0.04 + 0.85 * c.R + 0.06 * c.G)) / 255,
                                                std::round(255 * (0.92 * std::pow(c.G, 1.1) + 0.03)) / 255,
                                                std::round(255 * (0.82 * c.B + 0.1 * c.R + 0.02)) / 255};
    }
    return m;
}

TEST(CalibrationReport, ControlPatchesFollowTheThinning) {
    const std::vector<int> sg = ControlPatches(TChartType::DigitalSG);
    const std::vector<int> expected = {0,  1,  2,  11, 12, 13, 14, 16, 17, 21, 22, 23, 26, 27,  28,
                                       31, 32, 35, 36, 37, 38, 41, 42, 46, 52, 53, 62, 63, 64,  65,
                                       66, 68, 71, 73, 81, 82, 83, 85, 91, 92, 116, 117, 121, 124, 128};
    EXPECT_EQ(sg, expected);
    EXPECT_EQ(ControlPatches(TChartType::Classic).size(), 24u);
}

TEST(CalibrationReport, SubsetMappingOnTheControlPatchesIsTheCalibration) {
    for (TChartType chart : {TChartType::Classic, TChartType::DigitalSG}) {
        const TMeasuredPatches m = Photograph(chart);
        for (bool colorsOnly : {false, true}) {
            const TCalibrationMapping engine(m, chart, colorsOnly);
            const TPatchSubsetMapping subset(m, chart, colorsOnly, ControlPatches(chart));
            for (int r = 0; r < 9; ++r)
                for (int g = 0; g < 9; ++g)
                    for (int b = 0; b < 9; ++b) {
                        const TLutColor want = engine.MapNode(Node(r, 9), Node(g, 9), Node(b, 9));
                        const TLutColor got = subset.MapNode(Node(r, 9), Node(g, 9), Node(b, 9));
                        ASSERT_EQ(got.R, want.R);
                        ASSERT_EQ(got.G, want.G);
                        ASSERT_EQ(got.B, want.B);
                    }
        }
    }
}

TEST(CalibrationReport, LeaveOneOutEqualsAFullTableFittedWithoutThePatch) {
    const TChartType chart = TChartType::DigitalSG;
    const TMeasuredPatches m = Photograph(chart);
    const TCalibrationReport report = ComputeCalibrationReport(m, chart, false);
    ASSERT_EQ(report.Patches.size(), 140u);
    const std::vector<int> control = ControlPatches(chart);
    auto table = std::make_unique<TLUT>();
    table->LutKind = lk3D;
    table->Size3D = 33;
    // Brute force for a few control patches: the whole 33-point table of the refit, then ApplyLut.
    for (int patch : {0, 27, 128}) {
        std::vector<int> others;
        for (int k : control)
            if (k != patch) others.push_back(k);
        const TPatchSubsetMapping refit(m, chart, false, others);
        for (int r = 0; r < 33; ++r)
            for (int g = 0; g < 33; ++g)
                for (int b = 0; b < 33; ++b) table->Table3D[r][g][b] = refit.MapNode(Node(r, 33), Node(g, 33), Node(b, 33));
        const TPatchQuality& p = report.Patches[patch];
        ASSERT_TRUE(p.ControlPoint);
        EXPECT_EQ(p.DeltaELeaveOneOut, DeltaE2000(ApplyLut(*table, p.Measured), p.Reference)) << patch;
        EXPECT_GT(p.DeltaELeaveOneOut, p.DeltaEAfter) << patch;
    }
    for (const TPatchQuality& p : report.Patches) {
        if (!p.ControlPoint) {
            EXPECT_EQ(p.DeltaELeaveOneOut, p.DeltaEAfter) << p.Index;
        }
    }
    EXPECT_EQ(report.Control.After.Count, 45);
    EXPECT_EQ(report.HeldOut.After.Count, 95);
    EXPECT_EQ(report.All.Before.Count, 140);
    EXPECT_LT(report.All.After.Mean, report.All.Before.Mean / 5);
    // Patch 13 sits at column 1, row 3 of the column-major chart.
    EXPECT_EQ(report.Patches[13].Column, 1);
    EXPECT_EQ(report.Patches[13].Row, 3);
}

TEST(CalibrationReport, AnIdealCameraNeedsNoCorrection) {
    const TMeasuredPatches m = Photograph(TChartType::Classic, true);
    for (bool colorsOnly : {false, true}) {
        const TCalibrationReport report = ComputeCalibrationReport(m, TChartType::Classic, colorsOnly);
        EXPECT_EQ(report.All.Before.Max, 0.0);
        EXPECT_LT(report.All.After.Max, 0.05) << colorsOnly;
        EXPECT_LT(report.All.LeaveOneOut.Max, 0.05) << colorsOnly;
        EXPECT_EQ(report.HeldOut.After.Count, 0);
        EXPECT_EQ(report.Patches[23].Column, 5);
        EXPECT_EQ(report.Patches[23].Row, 3);
    }
}

TEST(CalibrationReport, WorstPatchesComeFirstByHeldOutThenInSampleError) {
    TCalibrationReport report;
    EXPECT_TRUE(WorstPatchesFirst(report).empty());
    EXPECT_EQ(WorstPatchCount(report), 0);
    // Held-out and in-sample errors per patch: a tie on the held-out error goes to the larger
    // in-sample error, a full tie to patch order.
    const double heldOut[] = {1.0, 4.0, 2.5, 4.0, 0.5, 2.5, 9.0, 1.5, 2.5, 3.0};
    const double inSample[] = {0.5, 1.0, 0.7, 2.0, 0.2, 0.7, 3.0, 0.9, 0.8, 1.0};
    for (int i = 0; i < 10; ++i) {
        TPatchQuality p;
        p.Index = i;
        p.DeltaECrossValidated = heldOut[i];
        p.DeltaEAfter = inSample[i];
        report.Patches.push_back(p);
    }
    EXPECT_EQ(WorstPatchesFirst(report), (std::vector<int>{6, 3, 1, 9, 8, 2, 5, 7, 0, 4}));
    // The 95th percentile of these held-out errors lies between 4.0 and 9.0: one patch reaches it.
    EXPECT_EQ(WorstPatchCount(report), 1);
    // Twenty patches of equal error all reach it.
    report.Patches.assign(20, report.Patches.front());
    EXPECT_EQ(WorstPatchCount(report), 20);
    // Errors 0..19: the 95th percentile is 18.05, which only the largest reaches.
    for (int i = 0; i < 20; ++i) report.Patches[static_cast<std::size_t>(i)].DeltaECrossValidated = i;
    EXPECT_EQ(WorstPatchCount(report), 1);
    EXPECT_EQ(WorstPatchesFirst(report).front(), 19);
}

TEST(CalibrationReport, StatisticsAndFailures) {
    const TDeltaEStats odd = ComputeDeltaEStats({3.0, 1.0, 2.0});
    EXPECT_EQ(odd.Count, 3);
    EXPECT_DOUBLE_EQ(odd.Mean, 2.0);
    EXPECT_EQ(odd.Median, 2.0);
    EXPECT_EQ(odd.Max, 3.0);
    EXPECT_EQ(ComputeDeltaEStats({4.0, 1.0, 3.0, 2.0}).Median, 2.5);
    const TDeltaEStats none = ComputeDeltaEStats({});
    EXPECT_EQ(none.Count, 0);
    EXPECT_EQ(none.Max, 0.0);

    // Every patch measured alike: the fit is singular and the report says so.
    TMeasuredPatches flat;
    flat.PatchCount = 24;
    for (int i = 0; i < 24; ++i) flat.MeasuredColors[i] = {0.4, 0.4, 0.4};
    EXPECT_THROW(ComputeCalibrationReport(flat, TChartType::Classic, true), std::runtime_error);
}

}  // namespace
}  // namespace tintavo
