// How well a calibration brings the chart's measured patch colours onto their reference
// colours: per patch the CIEDE2000 error before and after the correction and its leave-one-out
// error, and summary statistics for the control points of the fit, the patches the fit leaves
// out (the Digital SG thinning), and all patches.
//
// "After" is measured exactly as the program applies a calibration: the measured colour
// through the 33-point table the window makes (TCalibrationMapping::FillTable), interpolated
// with ApplyLut. The leave-one-out error of a control point refits a fresh model of the same
// kind on the other control points (so no patch the first fit left out takes its place) and
// looks the patch up the same way; a patch the fit leaves out anyway keeps its after-error.
#pragma once

#include <vector>

#include <string_view>

#include "engine/Calibration.h"

namespace tintavo {

struct TPatchQuality {
    int Index = 0;   // patch index in the chart's order
    int Column = 0;  // grid column and row of the patch (column 0, row 0 at the drag start)
    int Row = 0;
    bool ControlPoint = false;  // a control point of the fit, else left out by the thinning
    TLutColor Measured;
    TLutColor Reference;
    TLutColor Corrected;  // Measured through the calibration table
    double DeltaEBefore = 0.0;       // Measured against Reference
    double DeltaEAfter = 0.0;        // Corrected against Reference
    double DeltaELeaveOneOut = 0.0;  // under a fit without this patch
};

// Statistics of one group of delta E values; all zero when the group is empty.
struct TDeltaEStats {
    int Count = 0;
    double Mean = 0.0;
    double Median = 0.0;  // the mean of the two middle values for an even count
    double Max = 0.0;
};

struct TGroupQuality {
    TDeltaEStats Before;
    TDeltaEStats After;
    TDeltaEStats LeaveOneOut;
};

struct TCalibrationReport {
    TChartType Chart = TChartType::Classic;
    bool ColorsOnly = true;
    std::vector<TPatchQuality> Patches;  // every patch, in the chart's order
    TGroupQuality Control;
    TGroupQuality HeldOut;
    TGroupQuality All;
};

// The patches the default model ("tps") rests on, in patch order: every patch of the Classic
// chart; of the Digital SG chart the first of each group of patches whose reference colours lie
// closer than the thinning distance. Other models tell their own (TCalibrationModel).
std::vector<int> ControlPatches(TChartType chart);

// A calibration mapping fitted on the listed patches of the chart only. Fitted on
// ControlPatches(chart) it gives the same values as TCalibrationMapping with the default model.
class TPatchSubsetMapping : public TCalibrationMapping {
public:
    // Raises the model's error when the fit fails.
    TPatchSubsetMapping(const TMeasuredPatches& measured, TChartType chart, bool colorsOnly,
                        const std::vector<int>& patches, std::string_view model = DefaultCalibrationModel);
};

// The listed entries of `pairs`, in the listed order.
std::vector<TPatchPair> SelectPatches(const std::vector<TPatchPair>& pairs, const std::vector<int>& indices);

TDeltaEStats ComputeDeltaEStats(std::vector<double> values);

// Fits the calibration of `measured` with the named model and measures its quality. Raises the
// model's error when a fit fails.
TCalibrationReport ComputeCalibrationReport(const TMeasuredPatches& measured, TChartType chart, bool colorsOnly,
                                            std::string_view model = DefaultCalibrationModel);

}  // namespace tintavo
