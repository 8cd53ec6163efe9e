#include "engine/Calibration.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "common/Parallel.h"
#include "common/Progress.h"
#include "engine/ColorChecker.h"
#include "engine/ThinPlateSplineModel.h"

namespace tintavo {

namespace {

// A rough cost of one grid node in ParallelFor's units: no model maps a colour in fewer than
// about a hundred operations (the spline takes several hundred), so tiny tables stay on one
// thread.
constexpr long long NodeWork = 100;

std::unique_ptr<TCalibrationModel> FitModel(std::span<const TPatchPair> patches, std::string_view name,
                                            bool colorsOnly) {
    std::unique_ptr<TCalibrationModel> model = CreateCalibrationModel(name);
    model->SetColorsOnly(colorsOnly);
    model->Fit(patches);
    return model;
}

long double ReferenceDistance(const TLutColor& a, const TLutColor& b) {
    const long double dr = static_cast<long double>(a.R) - b.R;
    const long double dg = static_cast<long double>(a.G) - b.G;
    const long double db = static_cast<long double>(a.B) - b.B;
    return std::sqrt(dr * dr + dg * dg + db * db);
}

}  // namespace

std::vector<TPatchPair> PatchPairs(const TMeasuredPatches& measured, TChartType chart) {
    if (measured.PatchCount < 0 || measured.PatchCount > MaxPatches) throw std::runtime_error("Dimension error");
    const TLutColor* reference = ChartReference(chart);
    std::vector<TPatchPair> pairs(static_cast<std::size_t>(measured.PatchCount));
    for (int i = 0; i < measured.PatchCount; ++i)
        pairs[static_cast<std::size_t>(i)] = {measured.MeasuredColors[i], reference[i]};
    return pairs;
}

void SamplePatches(const TBitmap24& bitmap, const TSelection& selection, TChartType chart,
                   TMeasuredPatches& out) {
    const TChartInfo& info = ChartInfo(chart);
    SamplePatches(bitmap, TChartGeometry(selection, info.Columns, info.Rows), chart, out);
}

void SamplePatches(const TBitmap24& bitmap, const TChartGeometry& geometry, TChartType chart,
                   TMeasuredPatches& out) {
    const TChartInfo& info = ChartInfo(chart);
    if (geometry.Columns() != info.Columns || geometry.Rows() != info.Rows)
        throw std::runtime_error("Dimension error");
    TMeasuredPatches result;
    for (int i = 0; i < info.PatchCount(); ++i) {
        int column, row, x, y, r, g, b;
        info.PatchCell(i, column, row);
        if (!geometry.IsRectangle()) {
            const TPointF centre = geometry.PatchCenterPoint(column, row);
            result.MeasuredColors[i] = SampleWindowAt(bitmap, centre.X, centre.Y);
            continue;
        }
        geometry.PatchCenter(column, row, x, y);
        SampleWindow(bitmap, x, y, r, g, b);
        result.MeasuredColors[i] = {static_cast<double>(r / 255.0L), static_cast<double>(g / 255.0L),
                                    static_cast<double>(b / 255.0L)};
    }
    result.PatchCount = info.PatchCount();
    out = result;
}

void SamplePatches(const TPreciseImage& image, const TChartGeometry& geometry, TChartType chart,
                   TMeasuredPatches& out) {
    const TChartInfo& info = ChartInfo(chart);
    if (geometry.Columns() != info.Columns || geometry.Rows() != info.Rows)
        throw std::runtime_error("Dimension error");
    TMeasuredPatches result;
    for (int i = 0; i < info.PatchCount(); ++i) {
        int column, row, x, y;
        info.PatchCell(i, column, row);
        geometry.PatchCenter(column, row, x, y);
        TLutColor& c = result.MeasuredColors[i];
        SampleWindow(image, x, y, c.R, c.G, c.B);
    }
    result.PatchCount = info.PatchCount();
    out = result;
}

TCalibrationMapping::TCalibrationMapping(const TMeasuredPatches& measured, TChartType chart, bool colorsOnly,
                                         std::string_view model)
    : TCalibrationMapping(PatchPairs(measured, chart), colorsOnly, model) {}

TCalibrationMapping::TCalibrationMapping(std::span<const TPatchPair> patches, bool colorsOnly,
                                         std::string_view model)
    : model_(FitModel(patches, model, colorsOnly)), colorsOnly_(colorsOnly) {}

TCalibrationMapping::TCalibrationMapping(std::unique_ptr<TCalibrationModel> fitted, bool colorsOnly)
    : model_(std::move(fitted)), colorsOnly_(colorsOnly) {
    if (model_ == nullptr || !model_->Fitted()) throw std::runtime_error("No data assigned");
}

TCalibrationMapping::~TCalibrationMapping() = default;

const TThinPlateSplineModel& TCalibrationMapping::Interpolator() const {
    const auto* spline = dynamic_cast<const TThinPlateSplineModel*>(model_.get());
    if (spline == nullptr) throw std::logic_error("The calibration model is not a thin-plate spline");
    return *spline;
}

TLutColor TCalibrationMapping::MapNode(double x, double y, double z) const {
    return NodeValue(model_->Map(x, y, z), x, y, z);
}

TLutColor TCalibrationMapping::NodeValue(const TLutColor& mapped, double x, double y, double z) const {
    TLutColor c = ClampToUnitRange(mapped);
    if (colorsOnly_) {
        // The node keeps its own luma and takes the calibrated colour's colour differences; the
        // result is not clamped again.
        double ym, um, vm, yi, ui, vi;
        RGBToYUV(c.R, c.G, c.B, ym, um, vm);
        RGBToYUV(x, y, z, yi, ui, vi);
        YUVToRGB(yi, um, vm, c.R, c.G, c.B);
    }
    return c;
}

void TCalibrationMapping::FillTable(TLUT& lut, int threads, TJobProgress* progress) const {
    const int n = lut.Size3D;
    if (n < 2 || n > MaxLut3DSize) throw std::runtime_error("Dimension error");
    if (!model_->Fitted()) throw std::runtime_error("No data assigned");

    TParallelOptions options;
    options.MaxThreads = threads;
    options.Work = static_cast<long long>(n) * n * n * NodeWork;
    if (progress != nullptr) progress->Start(n);
    // Each red slice is computed by exactly one call, so the split does not change any value.
    // The grid coordinates, the same on every axis.
    double coordinates[MaxLut3DSize];
    const long double scale = n - 1;
    for (int i = 0; i < n; ++i) coordinates[i] = static_cast<double>(i / scale);
    ParallelFor(
        n,
        [&](int r0, int r1) {
            for (int r = r0; r < r1; ++r) {
                const double x = coordinates[r];
                for (int g = 0; g < n; ++g) {
                    const double y = coordinates[g];
                    // The model's values along the blue line, then the node rule on each.
                    TLutColor* line = lut.Table3D[r][g];
                    model_->MapLine(x, y, coordinates, n, line);
                    for (int b = 0; b < n; ++b) line[b] = NodeValue(line[b], x, y, coordinates[b]);
                }
                if (progress != nullptr) progress->Advance();
            }
        },
        options);
}

namespace {

// The fit on the sampled patches and the table filled from it.
std::unique_ptr<TCalibrationMapping> FitAndFill(const TChartGeometry& geometry, TChartType chart, bool colorsOnly,
                                                TLUT& lut, const TMeasuredPatches& measured,
                                                std::string_view model) {
    std::unique_ptr<TCalibrationMapping> mapping;
    WithSelectionAdvice(geometry, chart, measured,
                        [&] { mapping = std::make_unique<TCalibrationMapping>(measured, chart, colorsOnly, model); });
    mapping->FillTable(lut);
    return mapping;
}

}  // namespace

std::unique_ptr<TCalibrationMapping> Calibrate(const TBitmap24& workBitmap, const TSelection& selection,
                                               TChartType chart, bool colorsOnly, TLUT& lut,
                                               TMeasuredPatches& measured, std::string_view model) {
    const TChartInfo& info = ChartInfo(chart);
    return Calibrate(workBitmap, TChartGeometry(selection, info.Columns, info.Rows), chart, colorsOnly, lut, measured,
                     model);
}

std::unique_ptr<TCalibrationMapping> Calibrate(const TBitmap24& workBitmap, const TChartGeometry& geometry,
                                               TChartType chart, bool colorsOnly, TLUT& lut,
                                               TMeasuredPatches& measured, std::string_view model) {
    if (lut.Size3D < 2 || lut.Size3D > MaxLut3DSize) throw std::runtime_error("Dimension error");
    SamplePatches(workBitmap, geometry, chart, measured);
    return FitAndFill(geometry, chart, colorsOnly, lut, measured, model);
}

std::unique_ptr<TCalibrationMapping> Calibrate(const TPreciseImage& workImage, const TChartGeometry& geometry,
                                               TChartType chart, bool colorsOnly, TLUT& lut,
                                               TMeasuredPatches& measured, std::string_view model) {
    if (lut.Size3D < 2 || lut.Size3D > MaxLut3DSize) throw std::runtime_error("Dimension error");
    SamplePatches(workImage, geometry, chart, measured);
    return FitAndFill(geometry, chart, colorsOnly, lut, measured, model);
}

ECalibrationError::ECalibrationError(const std::string& message, std::string advice)
    : std::runtime_error(message), advice_(std::move(advice)) {}

std::string ECalibrationError::UserMessage(const std::string& separator) const {
    return std::string(what()) + separator + advice_;
}

std::string DegenerateSelectionAdvice(const TChartGeometry& geometry, TChartType chart,
                                      const TMeasuredPatches& measured) {
    const TChartInfo& info = ChartInfo(chart);
    const std::string grid = std::to_string(info.Columns) + " x " + std::to_string(info.Rows);
    const std::string drag =
        "drag from the outer corner of the chart's first patch (normally the top-left one) to the outer corner "
        "of its last patch";

    // Cells narrower than the sampling window mix neighbouring patches or sample one place twice.
    const int window = 2 * SampleRadius + 1;
    const int cellW = geometry.CellSize(true), cellH = geometry.CellSize(false);
    if (cellW < window || cellH < window) {
        return "The selection is too small for the " + grid + " patches of the " + info.DisplayName +
               ": each patch gets " + std::to_string(cellW) + " x " + std::to_string(cellH) +
               " pixels, and at least " + std::to_string(window) + " x " + std::to_string(window) +
               " are needed. Select the whole chart (" + drag +
               "), or open a picture in which the chart is larger.";
    }

    const std::vector<TPatchPair> pairs = PatchPairs(measured, chart);
    if (pairs.empty()) return {};
    // Colours about one 8-bit level apart or less count as the same measurement.
    auto sameMeasurement = [](const TLutColor& a, const TLutColor& b) {
        constexpr double same = 1.5 / 255.0;
        return std::fabs(a.R - b.R) <= same && std::fabs(a.G - b.G) <= same && std::fabs(a.B - b.B) <= same;
    };
    if (std::all_of(pairs.begin(), pairs.end(),
                    [&](const TPatchPair& p) { return sameMeasurement(p.Measured, pairs[0].Measured); })) {
        return "All " + std::to_string(pairs.size()) +
               " patches measure the same colour, so the selection does not lie on the chart: " + drag + ".";
    }

    // Patches whose chart colours clearly differ but which measure the same colour: the grid does
    // not fit the photographed chart.
    for (std::size_t i = 0; i < pairs.size(); ++i)
        for (std::size_t j = i + 1; j < pairs.size(); ++j) {
            if (ReferenceDistance(pairs[i].Reference, pairs[j].Reference) < ThinningDistance) continue;
            if (!sameMeasurement(pairs[i].Measured, pairs[j].Measured)) continue;
            std::string charts;
            for (const TChartInfo& c : Charts()) {
                if (!charts.empty()) charts += ", ";
                charts += std::string(c.DisplayName) + ": " + std::to_string(c.Columns) + " x " +
                          std::to_string(c.Rows) + " patches";
            }
            return "Patches of different colours on the chart measure the same colour: check that the chart type "
                   "matches the photographed chart (" +
                   charts + ") and that the selection covers exactly its patches: " + drag + ".";
        }
    return {};
}

void WithSelectionAdvice(const TChartGeometry& geometry, TChartType chart, const TMeasuredPatches& measured,
                         const std::function<void()>& fit) {
    try {
        fit();
    } catch (const ECalibrationError&) {
        throw;
    } catch (const std::runtime_error& e) {
        std::string advice = DegenerateSelectionAdvice(geometry, chart, measured);
        if (advice.empty()) throw;
        throw ECalibrationError(e.what(), std::move(advice));
    }
}

}  // namespace tintavo
