#include "engine/Calibration.h"

#include <algorithm>
#include <exception>
#include <stdexcept>
#include <thread>
#include <vector>

#include "engine/ColorChecker.h"

namespace tintavo {

int ChartColumns(TChartType chart) { return chart == TChartType::Classic ? 6 : 14; }
int ChartRows(TChartType chart) { return chart == TChartType::Classic ? 4 : 10; }
int ChartPatchCount(TChartType chart) { return chart == TChartType::Classic ? ClassicPatchCount : SGPatchCount; }

const TLutColor* ChartReference(TChartType chart) {
    NormalizeReferences();  // already done at start-up; a no-op unless called during static init
    return chart == TChartType::Classic ? ClassicReference : SGReference;
}

void SamplePatches(const TBitmap24& bitmap, const TSelection& selection, TChartType chart,
                   TMeasuredPatches& out) {
    SamplePatches(bitmap, TChartGeometry::FromRectangle(selection), chart, out);
}

void SamplePatches(const TBitmap24& bitmap, const TChartGeometry& geometry, TChartType chart,
                   TMeasuredPatches& out) {
    if (bitmap.Empty()) throw std::runtime_error("No image to sample.");
    const int columns = ChartColumns(chart), rows = ChartRows(chart);
    TMeasuredPatches result;
    auto store = [&](int column, int row, int index) {
        const TPointF centre = geometry.PatchCentre(column, row, columns, rows);
        if (!geometry.IsRectangle()) {
            result.MeasuredColors[index] = SampleWindowAt(bitmap, centre.X, centre.Y);
            return;
        }
        int r, g, b;
        SampleWindow(bitmap, static_cast<int>(centre.X), static_cast<int>(centre.Y), r, g, b);
        result.MeasuredColors[index] = {static_cast<double>(r / 255.0L), static_cast<double>(g / 255.0L),
                                        static_cast<double>(b / 255.0L)};
    };
    if (chart == TChartType::Classic) {
        int i = 0;
        for (int row = 0; row < rows; ++row)
            for (int column = 0; column < columns; ++column) store(column, row, i++);
    } else {
        int i = 0;
        for (int column = 0; column < columns; ++column)
            for (int row = 0; row < rows; ++row) store(column, row, i++);
    }
    result.PatchCount = ChartPatchCount(chart);
    out = result;
}

TCalibrationMapping::TCalibrationMapping(const TMeasuredPatches& measured, TChartType chart, bool colorsOnly)
    : interp_(std::make_unique<TColorCheckerInterpolate>()), chart_(chart), colorsOnly_(colorsOnly) {
    const TLutColor* reference = ChartReference(chart);
    std::copy(measured.MeasuredColors, measured.MeasuredColors + MaxPatches, interp_->Measured);
    std::copy(reference, reference + MaxPatches, interp_->Reference);
    interp_->PatchCount = measured.PatchCount;
    interp_->BuildSpline();
}

TCalibrationMapping::~TCalibrationMapping() = default;

TLutColor TCalibrationMapping::MapNode(double x, double y, double z) const {
    double r, g, b;
    interp_->MapColor(x, y, z, r, g, b);
    if (colorsOnly_) {
        // The node keeps its own luma and takes the calibrated colour's colour differences; the
        // result is not clamped again.
        double ym, um, vm, yi, ui, vi;
        RGBToYUV(r, g, b, ym, um, vm);
        RGBToYUV(x, y, z, yi, ui, vi);
        YUVToRGB(yi, um, vm, r, g, b);
    }
    return {r, g, b};
}

void TCalibrationMapping::FillTable(TLUT& lut, int threads) const {
    const int n = lut.Size3D;
    if (n < 2 || n > MaxLut3DSize) throw std::runtime_error("Dimension error");
    if (!interp_->Spline) throw std::runtime_error("No data assigned");

    auto fillSlices = [&](int r0, int r1) {
        const long double scale = n - 1;
        for (int r = r0; r < r1; ++r) {
            const double x = static_cast<double>(r / scale);
            for (int g = 0; g < n; ++g) {
                const double y = static_cast<double>(g / scale);
                TLutColor* line = lut.Table3D[r][g];
                for (int b = 0; b < n; ++b) line[b] = MapNode(x, y, static_cast<double>(b / scale));
            }
        }
    };

    int count = threads > 0 ? threads : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    count = std::min(count, n);
    if (count <= 1) {
        fillSlices(0, n);
        return;
    }
    // Each red slice is computed by exactly one thread, so the split does not change any value.
    std::vector<std::thread> pool;
    std::vector<std::exception_ptr> errors(count);
    const int per = (n + count - 1) / count;
    for (int t = 1; t < count; ++t) {
        const int r0 = std::min(n, t * per), r1 = std::min(n, r0 + per);
        pool.emplace_back([&, t, r0, r1] {
            try {
                fillSlices(r0, r1);
            } catch (...) {
                errors[t] = std::current_exception();
            }
        });
    }
    try {
        fillSlices(0, std::min(n, per));
    } catch (...) {
        errors[0] = std::current_exception();
    }
    for (auto& th : pool) th.join();
    for (auto& e : errors)
        if (e) std::rethrow_exception(e);
}

std::unique_ptr<TCalibrationMapping> Calibrate(const TBitmap24& workBitmap, const TSelection& selection,
                                               TChartType chart, bool colorsOnly, TLUT& lut,
                                               TMeasuredPatches& measured) {
    return Calibrate(workBitmap, TChartGeometry::FromRectangle(selection), chart, colorsOnly, lut, measured);
}

std::unique_ptr<TCalibrationMapping> Calibrate(const TBitmap24& workBitmap, const TChartGeometry& geometry,
                                               TChartType chart, bool colorsOnly, TLUT& lut,
                                               TMeasuredPatches& measured) {
    if (lut.Size3D < 2 || lut.Size3D > MaxLut3DSize) throw std::runtime_error("Dimension error");
    SamplePatches(workBitmap, geometry, chart, measured);
    auto mapping = std::make_unique<TCalibrationMapping>(measured, chart, colorsOnly);
    mapping->FillTable(lut);
    return mapping;
}

}  // namespace tintavo
