#include "engine/ChartCheck.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "engine/ChartFit.h"

namespace tintavo {

namespace {

// Where a corner lies in the picture, seen from the middle of the quadrilateral.
const char* Position(const TQuad& corners, const TPointF& corner) {
    double cx = 0, cy = 0;
    for (const TPointF& p : corners) cx += p.X / 4, cy += p.Y / 4;
    const bool left = corner.X < cx, top = corner.Y < cy;
    return top ? (left ? "top-left" : "top-right") : (left ? "bottom-left" : "bottom-right");
}

// The selection read from corner `start` (going the other way round when mirrored) as `chart`.
TChartGeometry Reading(const TChartGeometry& selection, int start, bool mirrored, const TChartInfo& chart) {
    if (start == 0 && !mirrored && selection.IsRectangle()) return TChartGeometry(selection.Rect(), chart.Columns, chart.Rows);
    return TChartGeometry::FromCorners(ReorderedCorners(selection.Corners(), start, mirrored), chart.Columns, chart.Rows);
}

double Score(const TBitmap24& image, const TChartGeometry& geometry, const TChartInfo& chart) {
    TMeasuredPatches measured;
    SamplePatches(image, geometry, chart.Type, measured);
    return ChartFitScore(measured.MeasuredColors, chart.Reference, measured.PatchCount);
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

TSelectionCheck CheckSelection(const TBitmap24& image, const TChartGeometry& geometry, TChartType chartType) {
    const TChartInfo& chart = ChartInfo(chartType);
    TSelectionCheck check;
    const TQuad corners = geometry.Corners();
    check.Score = Score(image, Reading(geometry, 0, false, chart), chart);
    check.BestScore = check.Score;
    check.BestCorners = corners;
    const TChartInfo* other = nullptr;
    for (bool mirrored : {false, true})
        for (int start = 0; start < 4; ++start) {
            if (start != 0 || mirrored) {
                const double s = Score(image, Reading(geometry, start, mirrored, chart), chart);
                if (s > check.BestScore) {
                    check.BestScore = s;
                    check.BestStart = start;
                    check.BestMirrored = mirrored;
                    check.BestCorners = ReorderedCorners(corners, start, mirrored);
                }
            }
            for (const TChartInfo& c : Charts()) {
                if (c.Type == chartType) continue;
                const double s = Score(image, Reading(geometry, start, mirrored, c), c);
                if (s > check.OtherChartScore) {
                    check.OtherChartScore = s, other = &c;
                    check.OtherChartCorners = ReorderedCorners(corners, start, mirrored);
                }
            }
        }

    check.SuggestedChart = chartType;
    check.SuggestedCorners = corners;
    if (other != nullptr && check.OtherChartScore >= PlausibleFitScore &&
        check.OtherChartScore >= check.BestScore + ClearlyBetterFit) {
        check.Problem = TSelectionProblem::OtherChart;
        check.SuggestedChart = other->Type;
        check.SuggestedCorners = check.OtherChartCorners;
        check.Warnings.push_back(Format(
            "The selected area looks like a %s, not a %s (colour fit %.2f against %.2f): choose %s as the chart type.",
            other->DisplayName, chart.DisplayName, check.OtherChartScore, check.BestScore, other->DisplayName));
    } else if (check.BestScore < PlausibleFitScore) {
        check.Problem = TSelectionProblem::NoFit;
        check.Warnings.push_back(Format(
            "The colours under the selection do not look like a %s in any orientation (colour fit %.2f; a good fit is "
            "above %.2f): check the chart type, and that the selection covers the patch grid from the outer corner of "
            "the first patch to the outer corner of the last one.",
            chart.DisplayName, check.BestScore, PlausibleFitScore));
    } else if (check.BestScore >= check.Score + ClearlyBetterFit) {
        check.Problem = TSelectionProblem::Turned;
        check.SuggestedCorners = check.BestCorners;
        check.Warnings.push_back(Format(
            "The chart seems to be turned against the selection: its first patch (%s) appears to lie at the %s corner of "
            "the selection, "
            "not at the %s corner where the selection starts, and read that way the colours fit clearly better (%.2f "
            "against %.2f). %s",
            chart.FirstPatchName, Position(corners, check.BestCorners[0]), Position(corners, corners[0]),
            check.BestScore, check.Score,
            geometry.IsRectangle() ? "Drag the selection from the corner next to the first patch to the opposite corner."
                                   : "Give the corners starting next to the first patch and going along its row first."));
    }
    check.SuggestedOrientation = ChartOrientation(check.SuggestedCorners);
    return check;
}

TChartGeometry TSelectionCheck::SuggestedGeometry() const {
    const TChartInfo& chart = ChartInfo(SuggestedChart);
    return TChartGeometry::FromCorners(SuggestedCorners, chart.Columns, chart.Rows);
}

}  // namespace tintavo
