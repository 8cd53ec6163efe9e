// Unit ColorChecker: reading the patches of a photographed chart and the calibration mapping.
//
// TColorCheckerReader lays the chart's patch grid over the selection rectangle and measures each
// patch; TColorCheckerInterpolate fits one thin-plate spline from the measured patch colours to
// the chart's reference colours and evaluates it (the "tps" calibration model, held in fixed
// arrays of patches). All colours are on the 0..1 scale, in the encoding of the 8-bit image
// pixels.
#pragma once

#include "engine/ChartGeometry.h"
#include "engine/ColorCheckersData.h"
#include "engine/ThinPlateSplineModel.h"
#include "lut/Bitmap.h"
#include "lut/LUT.h"
#include "lut/PreciseImage.h"

namespace tintavo {

// Half the edge of the square sampling window: 7 x 7 pixels around the patch centre.
constexpr int SampleRadius = 3;

// Integer means (0..255, truncated) of the 7 x 7 window around (cx, cy). Near the image border
// the window is clipped to the image and only the pixels inside it are averaged; a centre so far
// outside that nothing of the window remains is moved to the nearest image pixel first. Nothing
// outside the image is ever read. An empty bitmap raises std::runtime_error("No image to
// sample.").
void SampleWindow(const TBitmap24& bitmap, int cx, int cy, int& r, int& g, int& b);
// The mean colour (0..1, not truncated) of a 7 x 7 window centred on (x, y) to a fraction of a
// pixel (pixel i covers [i, i + 1)): 49 samples one pixel apart, each interpolated bilinearly
// between its four nearest pixels, their positions held inside the picture. An empty bitmap
// raises std::runtime_error("No image to sample.").
TLutColor SampleWindowAt(const TBitmap24& bitmap, double x, double y);
// The same window of a precise image: the floating-point means of its samples (summed in
// extended precision, not truncated), on the 0..1 scale.
void SampleWindow(const TPreciseImage& image, int cx, int cy, double& r, double& g, double& b);

class TColorCheckerReader {
public:
    // Column 0, row 0 lie at (X1, Y1), the corner where the drag started; the corners are not
    // put in order, so a selection dragged from the bottom-right numbers patches from there.
    const TBitmap24* Bitmap = nullptr;  // not owned
    int X1 = 0;
    int X2 = 0;
    int Y1 = 0;
    int Y2 = 0;
    int Columns = 0;
    int Rows = 0;

    // The grid these fields describe.
    TChartGeometry Geometry() const { return TChartGeometry({X1, Y1, X2, Y2}, Columns, Rows); }

    // The centre of cell (column, row): TChartGeometry::PatchCenter.
    void PatchCenter(int column, int row, int& x, int& y) const;

    // SampleWindow around the patch centre; a missing bitmap raises as an empty one does.
    void SamplePatch(int column, int row, int& r, int& g, int& b) const;
};

class TColorCheckerInterpolate : public TThinPlateSplineModel {
public:
    TColorCheckerInterpolate() = default;
    TColorCheckerInterpolate(const TColorCheckerInterpolate&) = delete;
    TColorCheckerInterpolate& operator=(const TColorCheckerInterpolate&) = delete;

    // Fits the model on the first PatchCount entries of Measured and Reference (thinning them
    // when there are many). Raises the spline's singular-system error when the fit fails.
    void BuildSpline();
    // The calibrated colour of (x = red, y = green, z = blue), each component clamped to 0..1
    // (not-a-number becomes 0).
    void MapColor(double x, double y, double z, double& r, double& g, double& b) const;

    TLutColor Measured[MaxPatches] = {};
    TLutColor Reference[MaxPatches] = {};
    int PatchCount = 0;
};

// BT.601 analogue luma and colour differences, computed in extended precision.
void RGBToYUV(double r, double g, double b, double& y, double& u, double& v);
void YUVToRGB(double y, double u, double v, double& r, double& g, double& b);

}  // namespace tintavo
