// The calibration as plain routines: sample the chart patches of a 24-bit image inside a
// selection, fit the mapping from measured to reference colours, and fill the 3D table of a
// TLUT. The window and the command-line tool only call these.
#pragma once

#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "engine/CalibrationModel.h"
#include "engine/ChartGeometry.h"
#include "engine/ColorCheckersData.h"
#include "lut/Bitmap.h"
#include "lut/LUT.h"
#include "lut/PreciseImage.h"

namespace tintavo {

class TJobProgress;
class TThinPlateSplineModel;

// The points per axis of the calibration table the window keeps, previews and saves as it
// stands; the command line makes the same table.
constexpr int CalibrationLutSize = 33;

// The measured patch colours, in the chart's patch order (0..1 scale).
struct TMeasuredPatches {
    TLutColor MeasuredColors[MaxPatches] = {};
    int PatchCount = 0;  // the chart's patch count: 24 (Classic) or 140 (Digital SG)
};

// The first measured.PatchCount patches paired with the chart's reference colours. A count
// outside 0..MaxPatches raises std::runtime_error("Dimension error").
std::vector<TPatchPair> PatchPairs(const TMeasuredPatches& measured, TChartType chart);

// Samples every patch of the chart (7 x 7 pixel window around each patch centre, clamped to
// the image: near the border only the pixels inside the image are averaged). An empty image
// raises std::runtime_error("No image to sample."). The geometry's grid must be the chart's.
// A rectangle gives truncated integer means around whole pixels; corners give the exact means
// of windows centred on the patch centres to a fraction of a pixel (SampleWindowAt), so that
// corners found to a fraction of a pixel sample as the true corners do.
void SamplePatches(const TBitmap24& bitmap, const TSelection& selection, TChartType chart,
                   TMeasuredPatches& out);
void SamplePatches(const TBitmap24& bitmap, const TChartGeometry& geometry, TChartType chart,
                   TMeasuredPatches& out);
// The same on a precise image: each patch the floating-point mean of the same window.
void SamplePatches(const TPreciseImage& image, const TChartGeometry& geometry, TChartType chart,
                   TMeasuredPatches& out);

// A fitted calibration: a calibration model and the rule that turns its value at a grid node
// into the table entry. Kept so that the table can be evaluated at any grid size.
class TCalibrationMapping {
public:
    // Fits the named model from the measured colours to the chart's reference colours. Raises
    // the model's error when the fit fails (for "tps", the spline's singular-system error).
    TCalibrationMapping(const TMeasuredPatches& measured, TChartType chart, bool colorsOnly,
                        std::string_view model = DefaultCalibrationModel);
    // The same on an explicit list of patches (any subset of a chart's patches).
    TCalibrationMapping(std::span<const TPatchPair> patches, bool colorsOnly,
                        std::string_view model = DefaultCalibrationModel);
    // A model fitted elsewhere (for instance one chosen among several by validation). A model
    // without a fit raises std::runtime_error("No data assigned").
    TCalibrationMapping(std::unique_ptr<TCalibrationModel> fitted, bool colorsOnly);
    ~TCalibrationMapping();
    TCalibrationMapping(const TCalibrationMapping&) = delete;
    TCalibrationMapping& operator=(const TCalibrationMapping&) = delete;

    // The value of grid node (x, y, z): the model's value clamped to 0..1 (not-a-number becomes
    // 0); with colorsOnly the node then keeps its own luma and takes the clamped value's colour
    // differences, not clamped again. Every table of a calibration is made by this rule.
    TLutColor MapNode(double x, double y, double z) const;
    // Fills Table3D[0..n-1]^3 of `lut` for n = lut.Size3D (2..101); LutKind, Size3D and Comments
    // are not changed. Uses up to `threads` threads (0: the process-wide limit); every node is
    // computed with the same arithmetic whatever the thread count, so the table is bit-identical.
    // A size outside 2..101 raises std::runtime_error("Dimension error") and writes nothing.
    // With `progress`, one unit per red slice is reported and a cancelled job stops with
    // ECancelled (the table then holds a mix of old and new entries).
    void FillTable(TLUT& lut, int threads = 0, TJobProgress* progress = nullptr) const;

    bool ColorsOnly() const { return colorsOnly_; }
    const TCalibrationModel& Model() const { return *model_; }
    // The model as the thin-plate spline it is by default; raises std::logic_error for others.
    const TThinPlateSplineModel& Interpolator() const;

private:
    // The node rule of MapNode applied to the model's value `mapped` at node (x, y, z).
    TLutColor NodeValue(const TLutColor& mapped, double x, double y, double z) const;

    std::unique_ptr<TCalibrationModel> model_;
    bool colorsOnly_;
};

// Samples `workBitmap`, fits the named model, and fills the 3D table of `lut` at lut.Size3D.
// On a failed fit nothing in `lut` changes; when the selection explains the failure the error is
// an ECalibrationError. Returns the fitted mapping for evaluation at other grid sizes.
std::unique_ptr<TCalibrationMapping> Calibrate(const TBitmap24& workBitmap, const TSelection& selection,
                                               TChartType chart, bool colorsOnly, TLUT& lut,
                                               TMeasuredPatches& measured,
                                               std::string_view model = DefaultCalibrationModel);
// The same over any chart geometry (its grid must be the chart's).
std::unique_ptr<TCalibrationMapping> Calibrate(const TBitmap24& workBitmap, const TChartGeometry& geometry,
                                               TChartType chart, bool colorsOnly, TLUT& lut,
                                               TMeasuredPatches& measured,
                                               std::string_view model = DefaultCalibrationModel);

// The same on a precise working image (sampled with floating-point means).
std::unique_ptr<TCalibrationMapping> Calibrate(const TPreciseImage& workImage, const TChartGeometry& geometry,
                                               TChartType chart, bool colorsOnly, TLUT& lut,
                                               TMeasuredPatches& measured,
                                               std::string_view model = DefaultCalibrationModel);

// A calibration that cannot be fitted because of the selection. what() is the fit's own
// message, unchanged; Advice() tells the user what to do about it.
class ECalibrationError : public std::runtime_error {
public:
    ECalibrationError(const std::string& message, std::string advice);
    const std::string& Advice() const { return advice_; }
    // The message and the advice joined by `separator` ("\n\n" for a message box).
    std::string UserMessage(const std::string& separator) const;

private:
    std::string advice_;
};

// What the user can do when a fit on patches measured through `geometry` failed: a selection too
// small for the chart's grid, every patch measuring the same colour, or patches of different
// chart colours measuring the same colour (the wrong chart type, or a selection not on the
// grid). Empty when none of these applies.
std::string DegenerateSelectionAdvice(const TChartGeometry& geometry, TChartType chart,
                                      const TMeasuredPatches& measured);

// Runs `fit`. When it raises std::runtime_error and DegenerateSelectionAdvice has advice, raises
// ECalibrationError with the same message and that advice; otherwise the error passes unchanged.
void WithSelectionAdvice(const TChartGeometry& geometry, TChartType chart, const TMeasuredPatches& measured,
                         const std::function<void()>& fit);

}  // namespace tintavo
