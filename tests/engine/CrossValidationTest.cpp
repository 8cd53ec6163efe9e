// Held-out validation: the folds, and that a held-out colour owes nothing to its own patch or to
// its near-duplicates.
#include "engine/CrossValidation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <set>
#include <vector>

#include "engine/CalibrationReport.h"
#include "engine/ColorChecker.h"

namespace tintavo {
namespace {

double Distance(const TLutColor& a, const TLutColor& b) {
    return std::sqrt((a.R - b.R) * (a.R - b.R) + (a.G - b.G) * (a.G - b.G) + (a.B - b.B) * (a.B - b.B));
}

std::vector<TPatchPair> Shoot(TChartType chart) {
    std::vector<TPatchPair> pairs;
    for (int i = 0; i < ChartPatchCount(chart); ++i) {
        const TLutColor& c = ChartReference(chart)[i];
        pairs.push_back({{0.04 + 0.85 * c.R + 0.06 * c.G, 0.92 * std::pow(c.G, 1.1) + 0.03, 0.82 * c.B + 0.1 * c.R + 0.02},
                         c});
    }
    return pairs;
}

TEST(CrossValidation, FoldsKeepNearDuplicatesTogetherAndAreStable) {
    const std::vector<TPatchPair> sg = Shoot(TChartType::DigitalSG);
    const TFoldPlan plan = PlanFolds(sg);
    EXPECT_FALSE(plan.LeaveOneOut);
    ASSERT_EQ(plan.FoldCount, CrossValidationFoldCount);
    ASSERT_EQ(plan.FoldOf.size(), sg.size());
    for (std::size_t i = 0; i < sg.size(); ++i)
        for (std::size_t j = i + 1; j < sg.size(); ++j)
            if (Distance(sg[i].Reference, sg[j].Reference) < NearDuplicateDistance) {
                EXPECT_EQ(plan.FoldOf[i], plan.FoldOf[j]) << i << " " << j;
            }
    // Every patch held out exactly once, trained on in every other fold; the folds balanced.
    std::vector<int> heldOut(sg.size(), 0);
    for (int f = 0; f < plan.FoldCount; ++f) {
        const std::vector<int> out = plan.HeldOut(f), in = plan.Training(f);
        EXPECT_EQ(out.size() + in.size(), sg.size());
        EXPECT_GT(out.size(), sg.size() / 5 - 15) << f;
        EXPECT_LT(out.size(), sg.size() / 5 + 15) << f;
        for (int i : out) ++heldOut[i];
    }
    for (int count : heldOut) EXPECT_EQ(count, 1);
    // The same patches, the same folds.
    EXPECT_EQ(PlanFolds(sg).FoldOf, plan.FoldOf);

    // The threshold: 0.019 apart joins, 0.021 apart does not; chains join through a middle patch.
    std::vector<TPatchPair> few = Shoot(TChartType::Classic);
    few.resize(40, few[0]);
    for (int i = 24; i < 40; ++i) few[i].Reference = {0.05 * (i - 24), 0.9, 0.1};
    few[24].Reference = {0.5, 0.5, 0.5};
    few[25].Reference = {0.519, 0.5, 0.5};
    few[26].Reference = {0.538, 0.5, 0.5};  // chained to 24 through 25
    few[27].Reference = {0.2, 0.2, 0.9};
    few[28].Reference = {0.221, 0.2, 0.9};
    const std::vector<int> groups = NearDuplicateGroups(few);
    EXPECT_EQ(groups[25], 24);
    EXPECT_EQ(groups[26], 24);
    EXPECT_EQ(groups[27], 27);
    EXPECT_EQ(groups[28], 28);
    const TFoldPlan fewPlan = PlanFolds(few);
    EXPECT_EQ(fewPlan.FoldOf[24], fewPlan.FoldOf[26]);

    // The Classic chart: one fold per patch.
    const TFoldPlan classic = PlanFolds(Shoot(TChartType::Classic));
    EXPECT_TRUE(classic.LeaveOneOut);
    EXPECT_EQ(classic.FoldCount, 24);
    EXPECT_EQ(std::set<int>(classic.FoldOf.begin(), classic.FoldOf.end()).size(), 24u);
}

TEST(CrossValidation, HeldOutColoursIgnoreThePatchAndItsNearDuplicates) {
    for (const char* model : {"tps", "smooth-tps", "rootpoly2"}) {
        const std::vector<TPatchPair> sg = Shoot(TChartType::DigitalSG);
        const TFoldPlan plan = PlanFolds(sg);
        const std::vector<TLutColor> base = HeldOutColours(sg, plan, model, false);
        // Spoil the reference of one patch of a repeated colour (white is repeated): no held-out
        // colour of its fold may move; the fit of every other fold sees it.
        const int spoilt = plan.HeldOut(0).front();
        std::vector<TPatchPair> changed = sg;
        changed[spoilt].Reference = {0.2, 0.9, 0.1};
        const std::vector<TLutColor> after = HeldOutColours(changed, plan, model, false);
        int moved = 0;
        for (std::size_t i = 0; i < sg.size(); ++i) {
            if (plan.FoldOf[i] == 0) {
                EXPECT_EQ(after[i].R, base[i].R) << model << " " << i;
                EXPECT_EQ(after[i].G, base[i].G) << model << " " << i;
            } else if (Distance(after[i], base[i]) > 1e-6) {
                ++moved;
            }
        }
        EXPECT_GT(moved, 0) << model;
    }
}

TEST(CrossValidation, LookUpMatchesTheFullTable) {
    const std::vector<TPatchPair> shot = Shoot(TChartType::Classic);
    const TCalibrationMapping mapping(shot, true, "rootpoly2");
    auto lut = std::make_unique<TLUT>();
    lut->LutKind = lk3D;
    lut->Size3D = CalibrationLutSize;
    mapping.FillTable(*lut);
    for (const TLutColor c : {TLutColor{0.0, 0.0, 0.0}, TLutColor{1.0, 1.0, 1.0}, TLutColor{0.123, 0.5, 0.987},
                              TLutColor{0.03125, 0.75, 0.3}, TLutColor{1.2, -0.1, 0.5}}) {
        const TLutColor want = ApplyLut(*lut, c);
        const TLutColor got = LookUpThroughTable(mapping, c);
        EXPECT_EQ(got.R, want.R);
        EXPECT_EQ(got.G, want.G);
        EXPECT_EQ(got.B, want.B);
    }
}

TEST(CalibrationReport, CrossValidatedFiguresAndModelComparison) {
    TMeasuredPatches m;
    const std::vector<TPatchPair> sg = Shoot(TChartType::DigitalSG);
    m.PatchCount = static_cast<int>(sg.size());
    for (int i = 0; i < m.PatchCount; ++i) m.MeasuredColors[i] = sg[i].Measured;
    const TCalibrationReport plain = ComputeCalibrationReport(m, TChartType::DigitalSG, false);
    EXPECT_EQ(plain.Model, "tps");
    EXPECT_TRUE(plain.Comparison.empty());
    const TCalibrationReport report = ComputeCalibrationReport(m, TChartType::DigitalSG, false, "Smooth-TPS", true);
    EXPECT_EQ(report.Model, "smooth-tps");
    EXPECT_FALSE(report.HasLeaveOneOut);
    ASSERT_EQ(report.Comparison.size(), CalibrationModels().size());
    const std::vector<TLutColor> heldOut = HeldOutColours(sg, report.Folds, "smooth-tps", false);
    for (const TPatchQuality& p : report.Patches) {
        EXPECT_EQ(p.CrossValidated.R, heldOut[p.Index].R);
        EXPECT_EQ(p.Fold, report.Folds.FoldOf[p.Index]);
    }
    for (const TModelComparison& c : report.Comparison) {
        EXPECT_TRUE(c.Error.empty()) << c.Name << ": " << c.Error;
        EXPECT_EQ(c.CrossValidated.Count, m.PatchCount) << c.Name;
        EXPECT_LE(c.CrossValidated.Median, c.CrossValidated.P95);
        EXPECT_LE(c.CrossValidated.P95, c.CrossValidated.Max);
        if (c.Name == "smooth-tps") {
            EXPECT_EQ(c.CrossValidated.Mean, report.All.CrossValidated.Mean);
        }
    }
    // Held-out errors exceed the in-sample ones of a fit that passes near every patch.
    EXPECT_GT(report.All.CrossValidated.Mean, report.All.After.Mean);
}

TEST(CalibrationReport, NinetyFifthPercentileInterpolatesBetweenRanks) {
    std::vector<double> v;
    for (int i = 20; i >= 0; --i) v.push_back(i);  // 0..20, unsorted
    const TDeltaEStats s = ComputeDeltaEStats(v);
    EXPECT_DOUBLE_EQ(s.P95, 19.0);
    const TDeltaEStats two = ComputeDeltaEStats({1.0, 3.0});
    EXPECT_DOUBLE_EQ(two.P95, 2.9);
    EXPECT_DOUBLE_EQ(ComputeDeltaEStats({4.0}).P95, 4.0);
}

}  // namespace
}  // namespace tintavo
