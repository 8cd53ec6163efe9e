// Synthetic photographs of a colour chart as it is really shot: placed anywhere in the picture,
// rotated, tilted in perspective, small, among clutter, slightly out of focus, noisy and off in
// exposure, or no chart at all. Used by tintavo-render-chart, the detection tests and the
// detection benchmark, so that the true corners of every test chart are known.
//
// The scene is a set of flat surfaces (background, clutter shapes, the chart body, the patches),
// each of one colour c (0..1). A surface colour goes through the camera as
//   c' = clamp(M (exposure(c)), 0, 1) ^ gamma   per channel (M: 3 x 3 matrix, row-major),
// where exposure(c) scales the light by 2^stops (on c^2.2) and is the identity at 0 stops; then
// optional lens blur (Gaussian, on the 8-bit scale before noise), vignetting (brightness
// x (1 - V r^2), r = distance from the picture centre over the half-diagonal), Gaussian noise in
// 8-bit steps (seeded) and rounding to 8 bits.
#pragma once

#include <string>
#include <vector>

#include "engine/Calibration.h"
#include "engine/ChartGeometry.h"
#include "lut/Bitmap.h"
#include "lut/PreciseImage.h"

namespace tintavo::scene {

// Where a chart sits, as a camera would see it: the chart is rolled in its own plane, tilted about
// its horizontal and vertical axes, and projected by a pinhole camera whose focal length equals
// the picture width; the result is scaled to the given width and centred on the given point.
struct TChartPose {
    double CentreX = 0.5;  // picture width = 1
    double CentreY = 0.5;  // picture height = 1
    double Width = 0.6;    // width of the chart body's bounding box, picture width = 1
    double Roll = 0;       // degrees, clockwise as seen in the picture
    double TiltX = 0;      // degrees about the chart's horizontal axis
    double TiltY = 0;      // degrees about the chart's vertical axis
};

struct TScene {
    bool HasChart = true;
    TChartType Chart = TChartType::Classic;
    int Width = 3000;
    int Height = 2000;
    // The patch grid's corners in chart order, picture pixels (pixel i covers [i, i + 1)).
    TQuad Grid{};
    // True when Grid is an upright rectangle given as left, top, right, bottom; such a chart is
    // drawn with axis-aligned tests so that the original sample photographs come out unchanged.
    bool Upright = true;
    double Background[3] = {0.30, 0.31, 0.33};
    double Frame[3] = {0.08, 0.08, 0.08};
    double Gap = 0.2;      // part of a cell that is frame, split over both sides of the patch
    double Margin = -1;    // chart body beyond the grid, in cells; below 0: one gap
    double Matrix[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    double Gamma[3] = {1, 1, 1};
    double Exposure = 0;   // stops
    double Blur = 0;       // Gaussian sigma, picture pixels
    double Vignette = 0;
    double Noise = 0;
    unsigned Seed = 1;     // noise and clutter
    int Clutter = 0;       // random shapes on the background
    int Mosaics = 0;       // panels of coloured tiles with dark grout (look-alikes of a chart)
};

// One scene of a varied test set, drawn from (seed, index): picture sizes from 3000 x 2000 to
// 6000 x 4000, the chart (when `chart` is given) rotated by index x 90 degrees plus up to 25 degrees
// in plane, tilted up to 35 degrees, 15 % to 60 % of the picture wide, on a background with or
// without clutter and look-alike panels, with blur, noise, vignetting, a camera matrix and gamma
// and up to a third of a stop of exposure error. Without a chart the clutter is always there.
struct TVariedScene {
    TScene Scene;
    TChartPose Pose;
    int Quality = 90;
    std::string Description;
};
TVariedScene VariedScene(unsigned seed, int index, bool withChart, TChartType chart);

// The patch-grid corners of a chart in `pose` on a width x height picture (chart order).
TQuad PoseCorners(TChartType chart, const TChartPose& pose, double gap, double margin, int width, int height);

// Renders the scene into `picture` (width x height) at 8 bits, or, when `deep` is given, into it
// without rounding (picture is then left alone).
void RenderScene(const TScene& scene, TBitmap24& picture, TPreciseImage* deep = nullptr);

// A picture coordinate in the working image made from it by the Open command (the resampler maps
// pixel centre i to i x (dw - 1) / (sw - 1)); both in the pixel-covers-[i, i + 1) convention.
double ToWorkingCoordinate(double coordinate, int sourceSize, int workingSize);
// The patch-grid corners in working-image coordinates.
TQuad ToWorkingCorners(const TQuad& corners, int width, int height);

}  // namespace tintavo::scene
