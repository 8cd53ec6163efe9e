#include "engine/CalibrationReport.h"

#include <algorithm>
#include <memory>
#include <numeric>

#include "engine/ColorDifference.h"
#include "engine/CrossValidation.h"
#include "engine/ThinPlateSplineModel.h"

namespace tintavo {


std::vector<int> ControlPatches(TChartType chart) {
    return ThinnedPatchIndices(ChartReference(chart), ChartPatchCount(chart));
}

std::vector<TPatchPair> SelectPatches(const std::vector<TPatchPair>& pairs, const std::vector<int>& indices) {
    std::vector<TPatchPair> selected;
    selected.reserve(indices.size());
    for (int i : indices) selected.push_back(pairs.at(static_cast<std::size_t>(i)));
    return selected;
}

TPatchSubsetMapping::TPatchSubsetMapping(const TMeasuredPatches& measured, TChartType chart, bool colorsOnly,
                                         const std::vector<int>& patches, std::string_view model)
    : TCalibrationMapping(SelectPatches(PatchPairs(measured, chart), patches), colorsOnly, model) {}

TDeltaEStats ComputeDeltaEStats(std::vector<double> values) {
    TDeltaEStats stats;
    stats.Count = static_cast<int>(values.size());
    if (values.empty()) return stats;
    std::sort(values.begin(), values.end());
    stats.Mean = std::accumulate(values.begin(), values.end(), 0.0L) / values.size();
    const std::size_t mid = values.size() / 2;
    stats.Median = values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2.0;
    const double rank = 0.95 * static_cast<double>(values.size() - 1);
    const std::size_t low = static_cast<std::size_t>(rank);
    const std::size_t high = std::min(low + 1, values.size() - 1);
    stats.P95 = values[low] + (rank - static_cast<double>(low)) * (values[high] - values[low]);
    stats.Max = values.back();
    return stats;
}

std::vector<int> WorstPatchesFirst(const TCalibrationReport& report) {
    std::vector<int> order(report.Patches.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const TPatchQuality& p = report.Patches[static_cast<std::size_t>(a)];
        const TPatchQuality& q = report.Patches[static_cast<std::size_t>(b)];
        if (p.DeltaECrossValidated != q.DeltaECrossValidated) return p.DeltaECrossValidated > q.DeltaECrossValidated;
        return p.DeltaEAfter > q.DeltaEAfter;
    });
    return order;
}

int WorstPatchCount(const TCalibrationReport& report) {
    if (report.Patches.empty()) return 0;
    std::vector<double> heldOut;
    for (const TPatchQuality& p : report.Patches) heldOut.push_back(p.DeltaECrossValidated);
    const double p95 = ComputeDeltaEStats(heldOut).P95;
    const auto count = std::count_if(heldOut.begin(), heldOut.end(), [&](double d) { return d >= p95; });
    return std::max(1, static_cast<int>(count));
}

TCalibrationReport ComputeCalibrationReport(const TMeasuredPatches& measured, TChartType chart, bool colorsOnly,
                                            std::string_view model, bool compareModels, TJobProgress* progress) {
    TCalibrationReport report;
    report.Chart = chart;
    report.ColorsOnly = colorsOnly;

    const TChartInfo& info = ChartInfo(chart);
    const std::vector<TPatchPair> pairs = PatchPairs(measured, chart);
    const int count = static_cast<int>(pairs.size());

    // The table the window would make.
    const TCalibrationMapping mapping(pairs, colorsOnly, model);
    auto lut = std::make_unique<TLUT>();
    lut->LutKind = lk3D;
    lut->Size3D = CalibrationLutSize;
    mapping.FillTable(*lut);
    for (const TCalibrationModelEntry& entry : CalibrationModels())
        if (SameModelName(entry.Name, model)) report.Model = entry.Name;
    report.ModelDetails = mapping.Model().Details();

    const std::vector<int> control = mapping.Model().ControlPatches();
    std::vector<bool> isControl(count, false);
    for (int i : control) isControl[i] = true;

    report.Folds = PlanFolds(pairs);
    const std::vector<TLutColor> heldOut = HeldOutColours(pairs, report.Folds, model, colorsOnly);
    report.HasLeaveOneOut = report.Folds.LeaveOneOut || SameModelName(model, DefaultCalibrationModel);
    // Leave one out on the control points: on the Classic chart that is the cross-validation
    // itself (every patch a fold); otherwise a refit on the other control points.
    std::vector<double> leaveOneOut(static_cast<std::size_t>(count), 0.0);
    const bool looIsCrossValidation =
        report.Folds.LeaveOneOut && static_cast<int>(control.size()) == count && report.Folds.FoldCount == count;
    if (report.HasLeaveOneOut && !looIsCrossValidation) {
        std::vector<int> controlPositions(control.begin(), control.end());
        TFoldPlan refits;
        refits.FoldCount = static_cast<int>(controlPositions.size());
        ForEachFold(refits, [&](int k) {
            const int i = controlPositions[static_cast<std::size_t>(k)];
            std::vector<int> others;
            for (int c : control)
                if (c != i) others.push_back(c);
            const TCalibrationMapping refit(SelectPatches(pairs, others), colorsOnly, model);
            leaveOneOut[static_cast<std::size_t>(i)] = DeltaE2000(LookUpThroughTable(refit, pairs[i].Measured), pairs[i].Reference);
        });
    }

    for (int i = 0; i < count; ++i) {
        TPatchQuality p;
        p.Index = i;
        info.PatchCell(i, p.Column, p.Row);
        p.ControlPoint = isControl[i];
        p.Measured = pairs[i].Measured;
        p.Reference = pairs[i].Reference;
        p.Corrected = ApplyLut(*lut, p.Measured);
        p.DeltaEBefore = DeltaE2000(p.Measured, p.Reference);
        p.DeltaEAfter = DeltaE2000(p.Corrected, p.Reference);
        p.Fold = report.Folds.FoldOf[static_cast<std::size_t>(i)];
        p.CrossValidated = heldOut[static_cast<std::size_t>(i)];
        p.DeltaECrossValidated = DeltaE2000(p.CrossValidated, p.Reference);
        if (!report.HasLeaveOneOut)
            p.DeltaELeaveOneOut = 0.0;
        else if (!p.ControlPoint)
            p.DeltaELeaveOneOut = p.DeltaEAfter;  // the fit never saw this patch
        else if (looIsCrossValidation)
            p.DeltaELeaveOneOut = p.DeltaECrossValidated;
        else
            p.DeltaELeaveOneOut = leaveOneOut[static_cast<std::size_t>(i)];
        report.Patches.push_back(p);
    }

    auto group = [&](auto&& select) {
        std::vector<double> before, after, loo, cv;
        for (const TPatchQuality& p : report.Patches) {
            if (!select(p)) continue;
            before.push_back(p.DeltaEBefore);
            after.push_back(p.DeltaEAfter);
            if (report.HasLeaveOneOut) loo.push_back(p.DeltaELeaveOneOut);
            cv.push_back(p.DeltaECrossValidated);
        }
        return TGroupQuality{ComputeDeltaEStats(before), ComputeDeltaEStats(after), ComputeDeltaEStats(loo),
                             ComputeDeltaEStats(cv)};
    };
    report.Control = group([](const TPatchQuality& p) { return p.ControlPoint; });
    report.HeldOut = group([](const TPatchQuality& p) { return !p.ControlPoint; });
    report.All = group([](const TPatchQuality&) { return true; });

    if (compareModels) {
        if (progress) progress->Start(static_cast<long long>(CalibrationModels().size()));
        for (const TCalibrationModelEntry& entry : CalibrationModels()) {
            if (progress) progress->CheckCancelled();
            TModelComparison c;
            c.Name = entry.Name;
            try {
                if (entry.Name == report.Model) {
                    c.Details = report.ModelDetails;
                    for (const TPatchQuality& p : report.Patches) c.DeltaE.push_back(p.DeltaECrossValidated);
                } else {
                    c.Details = TCalibrationMapping(pairs, colorsOnly, entry.Name).Model().Details();
                    c.DeltaE = HeldOutDeltaE(pairs, report.Folds, entry.Name, colorsOnly);
                }
                c.CrossValidated = ComputeDeltaEStats(c.DeltaE);
            } catch (const std::runtime_error& e) {
                c.Error = e.what();
                c.DeltaE.clear();
            }
            report.Comparison.push_back(std::move(c));
            if (progress) progress->Advance();
        }
    }
    return report;
}

}  // namespace tintavo
