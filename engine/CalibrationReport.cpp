#include "engine/CalibrationReport.h"

#include <algorithm>
#include <memory>
#include <numeric>

#include "engine/ColorDifference.h"
#include "engine/ThinPlateSplineModel.h"

namespace tintavo {

namespace {

inline double GridCoordinate(int k, int size) { return static_cast<double>(k / static_cast<long double>(size - 1)); }

// The colour looked up in the table `mapping` would make at CalibrationLutSize points, without
// making all of it: only the nodes around the colour's cell are evaluated (into `scratch`), and
// the lookup is ApplyLut itself, so the result equals that of the full table.
TLutColor LookUpThroughTable(const TCalibrationMapping& mapping, const TLutColor& colour, TLUT& scratch) {
    constexpr int size = CalibrationLutSize;
    const int n = size - 1;
    scratch.LutKind = lk3D;
    scratch.Size3D = size;
    const TLutColor inside = ClampToUnitRange(colour);
    auto range = [&](double v, int& lo, int& hi) {
        const int cell = std::clamp(static_cast<int>(v * n), 0, n - 1);
        lo = std::max(cell - 1, 0);  // one node of margin against rounding in the cell choice
        hi = std::min(cell + 2, n);
    };
    int r0, r1, g0, g1, b0, b1;
    range(inside.R, r0, r1);
    range(inside.G, g0, g1);
    range(inside.B, b0, b1);
    for (int r = r0; r <= r1; ++r)
        for (int g = g0; g <= g1; ++g)
            for (int b = b0; b <= b1; ++b)
                scratch.Table3D[r][g][b] =
                    mapping.MapNode(GridCoordinate(r, size), GridCoordinate(g, size), GridCoordinate(b, size));
    return ApplyLut(scratch, colour);
}

}  // namespace

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
    stats.Max = values.back();
    return stats;
}

TCalibrationReport ComputeCalibrationReport(const TMeasuredPatches& measured, TChartType chart, bool colorsOnly,
                                            std::string_view model) {
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

    const std::vector<int> control = mapping.Model().ControlPatches();
    std::vector<bool> isControl(count, false);
    for (int i : control) isControl[i] = true;

    auto scratch = std::make_unique<TLUT>();
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
        if (p.ControlPoint) {
            std::vector<int> others;
            for (int k : control)
                if (k != i) others.push_back(k);
            const TCalibrationMapping refit(SelectPatches(pairs, others), colorsOnly, model);
            const TLutColor looked = LookUpThroughTable(refit, p.Measured, *scratch);
            p.DeltaELeaveOneOut = DeltaE2000(looked, p.Reference);
        } else {
            p.DeltaELeaveOneOut = p.DeltaEAfter;  // the fit never saw this patch
        }
        report.Patches.push_back(p);
    }

    auto group = [&](auto&& select) {
        std::vector<double> before, after, loo;
        for (const TPatchQuality& p : report.Patches) {
            if (!select(p)) continue;
            before.push_back(p.DeltaEBefore);
            after.push_back(p.DeltaEAfter);
            loo.push_back(p.DeltaELeaveOneOut);
        }
        return TGroupQuality{ComputeDeltaEStats(before), ComputeDeltaEStats(after), ComputeDeltaEStats(loo)};
    };
    report.Control = group([](const TPatchQuality& p) { return p.ControlPoint; });
    report.HeldOut = group([](const TPatchQuality& p) { return !p.ControlPoint; });
    report.All = group([](const TPatchQuality&) { return true; });
    return report;
}

}  // namespace tintavo
