#include "engine/CalibrationReport.h"

#include <algorithm>
#include <memory>
#include <numeric>

#include "engine/ColorChecker.h"
#include "engine/ColorDifference.h"

namespace tintavo {

namespace {

// The size of the table the window makes and applies.
constexpr int ReportLutSize = 33;

inline double ClampUnit(double v) {
    if (!(v >= 0.0)) v = 0.0;  // below 0 or not a number
    if (v > 1.0) v = 1.0;
    return v;
}

inline double GridCoordinate(int k, int size) { return static_cast<double>(k / static_cast<long double>(size - 1)); }

// The colour looked up in the table `map` would make at ReportLutSize points, without making
// all of it: only the nodes around the colour's cell are evaluated (into `scratch`), and the
// lookup is ApplyLut itself, so the result equals that of the full table.
template <typename TMapNode>
TLutColor LookUpThroughTable(const TMapNode& map, const TLutColor& colour, TLUT& scratch) {
    const int n = ReportLutSize - 1;
    scratch.LutKind = lk3D;
    scratch.Size3D = ReportLutSize;
    auto range = [&](double v, int& lo, int& hi) {
        const int cell = std::clamp(static_cast<int>(ClampUnit(v) * n), 0, n - 1);
        lo = std::max(cell - 1, 0);  // one node of margin against rounding in the cell choice
        hi = std::min(cell + 2, n);
    };
    int r0, r1, g0, g1, b0, b1;
    range(colour.R, r0, r1);
    range(colour.G, g0, g1);
    range(colour.B, b0, b1);
    for (int r = r0; r <= r1; ++r)
        for (int g = g0; g <= g1; ++g)
            for (int b = b0; b <= b1; ++b)
                scratch.Table3D[r][g][b] =
                    map(GridCoordinate(r, ReportLutSize), GridCoordinate(g, ReportLutSize), GridCoordinate(b, ReportLutSize));
    return ApplyLut(scratch, colour);
}

}  // namespace

std::vector<int> ControlPatches(TChartType chart) {
    return ThinnedPatchIndices(ChartReference(chart), ChartPatchCount(chart));
}

TPatchSubsetMapping::TPatchSubsetMapping(const TMeasuredPatches& measured, TChartType chart, bool colorsOnly,
                                         const std::vector<int>& patches)
    : colorsOnly_(colorsOnly) {
    const TLutColor* reference = ChartReference(chart);
    std::vector<TPoint3D> source, target;
    source.reserve(patches.size());
    target.reserve(patches.size());
    for (int i : patches) {
        const TLutColor& m = measured.MeasuredColors[i];
        source.push_back({m.R, m.G, m.B});
        target.push_back({reference[i].R, reference[i].G, reference[i].B});
    }
    spline_.PointCount = static_cast<int>(patches.size());
    spline_.Fit(source.data(), target.data());
}

TLutColor TPatchSubsetMapping::MapNode(double x, double y, double z) const {
    double r, g, b;
    spline_.Evaluate(x, y, z, r, g, b);
    r = ClampUnit(r);
    g = ClampUnit(g);
    b = ClampUnit(b);
    if (colorsOnly_) {
        double ym, um, vm, yi, ui, vi;
        RGBToYUV(r, g, b, ym, um, vm);
        RGBToYUV(x, y, z, yi, ui, vi);
        YUVToRGB(yi, um, vm, r, g, b);
    }
    return {r, g, b};
}

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

TCalibrationReport ComputeCalibrationReport(const TMeasuredPatches& measured, TChartType chart, bool colorsOnly) {
    TCalibrationReport report;
    report.Chart = chart;
    report.ColorsOnly = colorsOnly;

    const int count = measured.PatchCount;
    const TLutColor* reference = ChartReference(chart);
    const std::vector<int> control = ControlPatches(chart);
    std::vector<bool> isControl(count, false);
    for (int i : control)
        if (i < count) isControl[i] = true;

    // The table the window would make.
    const TCalibrationMapping mapping(measured, chart, colorsOnly);
    auto lut = std::make_unique<TLUT>();
    lut->LutKind = lk3D;
    lut->Size3D = ReportLutSize;
    mapping.FillTable(*lut);

    auto scratch = std::make_unique<TLUT>();
    const int columns = ChartColumns(chart);
    const int rows = ChartRows(chart);
    for (int i = 0; i < count; ++i) {
        TPatchQuality p;
        p.Index = i;
        if (chart == TChartType::Classic) {
            p.Column = i % columns;
            p.Row = i / columns;
        } else {
            p.Column = i / rows;
            p.Row = i % rows;
        }
        p.ControlPoint = isControl[i];
        p.Measured = measured.MeasuredColors[i];
        p.Reference = reference[i];
        p.Corrected = ApplyLut(*lut, p.Measured);
        p.DeltaEBefore = DeltaE2000(p.Measured, p.Reference);
        p.DeltaEAfter = DeltaE2000(p.Corrected, p.Reference);
        if (p.ControlPoint) {
            std::vector<int> others;
            for (int k : control)
                if (k != i) others.push_back(k);
            const TPatchSubsetMapping refit(measured, chart, colorsOnly, others);
            const TLutColor looked = LookUpThroughTable(
                [&](double x, double y, double z) { return refit.MapNode(x, y, z); }, p.Measured, *scratch);
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
