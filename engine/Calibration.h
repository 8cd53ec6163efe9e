// The calibration as plain routines: sample the chart patches of a 24-bit image inside a
// selection, fit the mapping from measured to reference colours, and fill the 3D table of a
// TLUT. The window and the command-line tool only call these.
#pragma once

#include <memory>

#include "engine/ChartGeometry.h"
#include "engine/ColorCheckersData.h"
#include "lut/Bitmap.h"
#include "lut/LUT.h"

namespace tintavo {

class TColorCheckerInterpolate;

enum class TChartType { Classic, DigitalSG };

// The measured patch colours, in the chart's patch order (0..1 scale).
struct TMeasuredPatches {
    TLutColor MeasuredColors[MaxPatches] = {};
    int PatchCount = 0;  // 24 (Classic) or 140 (Digital SG)
};

int ChartColumns(TChartType chart);  // 6 or 14
int ChartRows(TChartType chart);     // 4 or 10
int ChartPatchCount(TChartType chart);  // 24 or 140
// The chart's reference table (140 entries; only the first ChartPatchCount are used).
const TLutColor* ChartReference(TChartType chart);

// Samples every patch of the chart (7 x 7 pixel window around each patch centre, clamped to
// the image: near the border only the pixels inside the image are averaged). An empty image
// raises std::runtime_error("No image to sample.").
void SamplePatches(const TBitmap24& bitmap, const TSelection& selection, TChartType chart,
                   TMeasuredPatches& out);
// The same over any chart geometry (a rectangle samples exactly as above).
void SamplePatches(const TBitmap24& bitmap, const TChartGeometry& geometry, TChartType chart,
                   TMeasuredPatches& out);

// A fitted calibration mapping, kept so that the table can be evaluated at any grid size.
class TCalibrationMapping {
public:
    // Fits the spline from the measured colours to the chart's reference colours (thinning the
    // Digital SG chart). Raises the spline's singular-system error when the fit fails.
    TCalibrationMapping(const TMeasuredPatches& measured, TChartType chart, bool colorsOnly);
    ~TCalibrationMapping();
    TCalibrationMapping(const TCalibrationMapping&) = delete;
    TCalibrationMapping& operator=(const TCalibrationMapping&) = delete;

    // The value of grid node (x, y, z) in 0..1: the clamped spline value, with the node's own
    // luma kept when colorsOnly is set.
    TLutColor MapNode(double x, double y, double z) const;
    // Fills Table3D[0..n-1]^3 of `lut` for n = lut.Size3D (2..101); LutKind, Size3D and Comments
    // are not changed. Uses up to `threads` threads (0: one per core); every node is computed
    // with the same arithmetic whatever the thread count, so the table is bit-identical.
    // A size outside 2..101 raises std::runtime_error("Dimension error") and writes nothing.
    void FillTable(TLUT& lut, int threads = 0) const;

    bool ColorsOnly() const { return colorsOnly_; }
    TChartType Chart() const { return chart_; }
    const TColorCheckerInterpolate& Interpolator() const { return *interp_; }

private:
    std::unique_ptr<TColorCheckerInterpolate> interp_;
    TChartType chart_;
    bool colorsOnly_;
};

// Samples `workBitmap`, fits, and fills the 3D table of `lut` at lut.Size3D. On a failed fit
// nothing in `lut` changes. Returns the fitted mapping for evaluation at other grid sizes.
std::unique_ptr<TCalibrationMapping> Calibrate(const TBitmap24& workBitmap, const TSelection& selection,
                                               TChartType chart, bool colorsOnly, TLUT& lut,
                                               TMeasuredPatches& measured);
std::unique_ptr<TCalibrationMapping> Calibrate(const TBitmap24& workBitmap, const TChartGeometry& geometry,
                                               TChartType chart, bool colorsOnly, TLUT& lut,
                                               TMeasuredPatches& measured);

}  // namespace tintavo
