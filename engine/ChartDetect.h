// Finding a colour chart in the working image: its type and its four corners in chart order.
#pragma once

#include <optional>

#include "engine/Calibration.h"
#include "engine/ChartGeometry.h"
#include "lut/Bitmap.h"

namespace tintavo {

struct TDetectedChart {
    TChartType Chart = TChartType::Classic;
    TQuad Corners{};       // chart order, working-image pixels
    int Orientation = 0;   // 0, 90, 180 or 270: the chart's clockwise rotation in the picture
    double Score = 0;      // how well the patch colours fit the chart, 0..1

    // The patch grid as a selection, for sampling and for the viewer's markers and handles.
    TChartGeometry Geometry() const;
};

// Looks for one chart of the given type (or of either type) in `image`, the working image the
// calibration samples (the picture as Open reduces it). Nothing found: no value.
std::optional<TDetectedChart> DetectChart(const TBitmap24& image, std::optional<TChartType> chart = std::nullopt);

}  // namespace tintavo
