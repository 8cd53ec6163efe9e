// Unit ColorChecker: reading the patches of a photographed chart and the calibration mapping.
//
// TColorCheckerReader lays the chart's patch grid over the selection rectangle and measures each
// patch; TColorCheckerInterpolate fits one thin-plate spline from the measured patch colours to
// the chart's reference colours and evaluates it. All colours are on the 0..1 scale, in the
// encoding of the 8-bit image pixels.
#pragma once

#include <memory>
#include <vector>

#include "engine/ColorCheckersData.h"
#include "engine/ThinPlateSplines.h"
#include "lut/Bitmap.h"
#include "lut/LUT.h"

namespace tintavo {

// Half the edge of the square sampling window: 7 x 7 pixels around the patch centre.
constexpr int SampleRadius = 3;
// The Digital SG chart repeats its outer-ring greys; charts with at least this many patches are
// thinned before fitting.
constexpr int ThinningMinPatches = 30;
// Reference colours closer than this (Euclidean, 0..1 scale) count as repeats.
constexpr long double ThinningDistance = 0.15L;

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

    // The centre of cell (column, row): the cell's start plus half a cell, in integer
    // arithmetic truncating toward zero.
    void PatchCenter(int column, int row, int& x, int& y) const;

    // Integer means (0..255, truncated) of the 7 x 7 window around the patch centre. Near the
    // image border the window is clipped to the image and only the pixels inside it are
    // averaged; a centre so far outside that nothing of the window remains is moved to the
    // nearest image pixel first. Nothing outside the image is ever read. An empty or missing
    // bitmap raises std::runtime_error("No image to sample.").
    void SamplePatch(int column, int row, int& r, int& g, int& b) const;
};

// The integer means (0..255, truncated) of the 7 x 7 window centred on pixel (cx, cy), clipped to
// the picture as SamplePatch describes.
void SampleWindow(const TBitmap24& bitmap, int cx, int cy, int& r, int& g, int& b);
// The mean colour (0..1, not truncated) of a 7 x 7 window centred on (x, y) to a fraction of a
// pixel (pixel i covers [i, i + 1)): 49 samples one pixel apart, each interpolated bilinearly
// between its four nearest pixels, their positions held inside the picture. An empty bitmap
// raises std::runtime_error("No image to sample.").
TLutColor SampleWindowAt(const TBitmap24& bitmap, double x, double y);

// The patches kept for fitting: patch i stays unless the reference colour of an earlier kept
// patch lies closer than ThinningDistance to its own. Charts with fewer than ThinningMinPatches
// patches keep all of them.
std::vector<int> ThinnedPatchIndices(const TLutColor* reference, int patchCount);

class TColorCheckerInterpolate {
public:
    TColorCheckerInterpolate() = default;
    TColorCheckerInterpolate(const TColorCheckerInterpolate&) = delete;
    TColorCheckerInterpolate& operator=(const TColorCheckerInterpolate&) = delete;

    // Thins the patches (Digital SG) and fits Spline from Measured to Reference. Raises the
    // spline's singular-system error when the fit fails.
    void BuildSpline();
    // The calibrated colour of (x = red, y = green, z = blue), each component clamped to 0..1
    // (not-a-number becomes 0).
    void MapColor(double x, double y, double z, double& r, double& g, double& b) const;

    std::unique_ptr<TTPSpline> Spline;
    TLutColor Measured[MaxPatches] = {};
    TLutColor Reference[MaxPatches] = {};
    int PatchCount = 0;
};

// BT.601 analogue luma and colour differences, computed in extended precision.
void RGBToYUV(double r, double g, double b, double& y, double& u, double& v);
void YUVToRGB(double y, double u, double v, double& r, double& g, double& b);

}  // namespace tintavo
