#include "engine/ChartCheck.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "engine/ChartFit.h"

namespace tintavo {

namespace {

const char* ChartName(TChartType chart) {
    return chart == TChartType::Classic ? "ColorChecker Classic" : "ColorChecker Digital SG";
}

const char* FirstPatchName(TChartType chart) {
    return chart == TChartType::Classic ? "the first patch (dark skin)" : "the first patch (top-left when the chart is upright)";
}

// Where a corner lies in the picture, seen from the middle of the quadrilateral.
const char* Position(const TQuad& corners, const TPointF& corner) {
    double cx = 0, cy = 0;
    for (const TPointF& p : corners) cx += p.X / 4, cy += p.Y / 4;
    const bool left = corner.X < cx, top = corner.Y < cy;
    return top ? (left ? "top-left" : "top-right") : (left ? "bottom-left" : "bottom-right");
}

double Score(const TBitmap24& image, const TChartGeometry& geometry, TChartType chart) {
    TMeasuredPatches measured;
    SamplePatches(image, geometry, chart, measured);
    return ChartFitScore(measured.MeasuredColors, ChartReference(chart), measured.PatchCount);
}

std::string Format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* pattern, ...) {
    char text[600];
    va_list args;
    va_start(args, pattern);
    std::vsnprintf(text, sizeof text, pattern, args);
    va_end(args);
    return text;
}

}  // namespace

TSelectionCheck CheckSelection(const TBitmap24& image, const TChartGeometry& geometry, TChartType chart) {
    TSelectionCheck check;
    const TQuad corners = geometry.Corners();
    check.Score = Score(image, geometry, chart);
    check.BestScore = check.Score;
    check.BestCorners = corners;
    const TChartType other = chart == TChartType::Classic ? TChartType::DigitalSG : TChartType::Classic;
    for (bool mirrored : {false, true})
        for (int start = 0; start < 4; ++start) {
            const TChartGeometry reading = TChartGeometry::FromCorners(ReorderedCorners(corners, start, mirrored));
            if (start != 0 || mirrored) {
                const double s = Score(image, reading, chart);
                if (s > check.BestScore) {
                    check.BestScore = s;
                    check.BestStart = start;
                    check.BestMirrored = mirrored;
                    check.BestCorners = ReorderedCorners(corners, start, mirrored);
                }
            }
            check.OtherChartScore = std::max(check.OtherChartScore, Score(image, reading, other));
        }

    if (check.OtherChartScore >= PlausibleFitScore && check.OtherChartScore >= check.BestScore + ClearlyBetterFit) {
        check.Warnings.push_back(Format(
            "The selected area looks like a %s, not a %s (colour fit %.2f against %.2f): choose %s as the chart type.",
            ChartName(other), ChartName(chart), check.OtherChartScore, check.BestScore, ChartName(other)));
    } else if (check.BestScore < PlausibleFitScore) {
        check.Warnings.push_back(Format(
            "The colours under the selection do not look like a %s in any orientation (colour fit %.2f; a good fit is "
            "above %.2f): check the chart type, and that the selection covers the patch grid from the outer corner of "
            "the first patch to the outer corner of the last one.",
            ChartName(chart), check.BestScore, PlausibleFitScore));
    } else if (check.BestScore >= check.Score + ClearlyBetterFit) {
        check.Warnings.push_back(Format(
            "The chart seems to be turned against the selection: %s appears to lie at the %s corner of the selection, "
            "not at the %s corner where the selection starts, and read that way the colours fit clearly better (%.2f "
            "against %.2f). %s",
            FirstPatchName(chart), Position(corners, check.BestCorners[0]), Position(corners, corners[0]),
            check.BestScore, check.Score,
            geometry.IsRectangle() ? "Drag the selection from the corner next to the first patch to the opposite corner."
                                   : "Give the corners starting next to the first patch and going along its row first."));
    }
    return check;
}

}  // namespace tintavo
