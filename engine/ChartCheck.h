// Plausibility of a selection: do the colours under it look like the chosen chart, read in the
// order the selection gives? The selection is read the other seven ways as well (starting at
// each corner, going either way round) and as the other chart type; when one of those fits
// clearly better, or nothing fits, the check says so in words the user can act on. The check
// only advises: the calibration still uses the selection as given.
#pragma once

#include <string>
#include <vector>

#include "engine/Calibration.h"
#include "engine/ChartFit.h"
#include "engine/ChartGeometry.h"
#include "lut/Bitmap.h"

namespace tintavo {

// Another reading must beat the given one by this much to count as clearly better.
constexpr double ClearlyBetterFit = 0.1;

// What the check found wrong with a selection; at most one thing is reported.
enum class TSelectionProblem {
    None,
    OtherChart,  // the colours fit the other chart type clearly better
    NoFit,       // no reading fits the chosen chart (off the chart, or a chart of neither type)
    Turned,      // another reading of the corners fits clearly better: the chart is turned or mirrored
};

struct TSelectionCheck {
    double Score = 0;                // the selection as given
    double BestScore = 0;            // the best of the eight readings for the chosen chart
    int BestStart = 0;               // that reading: ReorderedCorners(corners, BestStart, BestMirrored)
    bool BestMirrored = false;
    TQuad BestCorners{};             // the selection's corners in that reading
    double OtherChartScore = 0;      // the best reading as the other chart type
    TQuad OtherChartCorners{};       // the selection's corners in that reading

    TSelectionProblem Problem = TSelectionProblem::None;
    // What to use instead, for a one-click fix: the other chart in its best reading (OtherChart),
    // the chosen chart read from its first patch (Turned), else the selection as given. The
    // corners are in chart order; SuggestedOrientation is the chart's clockwise rotation in the
    // picture when read that way (0, 90, 180 or 270).
    TChartType SuggestedChart = TChartType::Classic;
    TQuad SuggestedCorners{};
    int SuggestedOrientation = 0;
    // The suggestion as a selection: a rectangle again when its corners are one (a drag from
    // another corner), four corners otherwise.
    TChartGeometry SuggestedGeometry() const;

    std::vector<std::string> Warnings;  // the problem in words, one line; empty when there is none
};

// Samples the chart under `geometry` (7 x 7 windows, as the calibration does) in all eight
// readings and as the other chart type. Raises what sampling raises (an empty image).
TSelectionCheck CheckSelection(const TBitmap24& image, const TChartGeometry& geometry, TChartType chart);

}  // namespace tintavo
