// How well a calibration brings the chart's measured patch colours onto their reference
// colours: per patch the CIEDE2000 error before and after the correction, its leave-one-out
// error and its cross-validated (held-out) error, and summary statistics for the control points
// of the fit, the patches the fit leaves out (the Digital SG thinning), and all patches.
//
// "After" is in-sample: the table fitted on the patches it is judged on. The held-out figures
// never mix with it: the cross-validated error of a patch comes from a fit that saw neither the
// patch nor any of its near-duplicates (CrossValidation.h: leave one out on the Classic chart,
// grouped 5-fold on the Digital SG chart, the whole fit re-run per fold).
//
// "After" is measured exactly as the program applies a calibration: the measured colour
// through the 33-point table the window makes (TCalibrationMapping::FillTable), interpolated
// with ApplyLut. The leave-one-out error of a control point refits a fresh model of the same
// kind on the other control points (so no patch the first fit left out takes its place) and
// looks the patch up the same way; a patch the fit leaves out anyway keeps its after-error.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/Progress.h"
#include "engine/Calibration.h"
#include "engine/CrossValidation.h"

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
    double DeltaELeaveOneOut = 0.0;  // under a fit without this patch (see HasLeaveOneOut)
    int Fold = 0;                     // the cross-validation fold that holds the patch out
    TLutColor CrossValidated;         // Measured through the table of its fold's fit
    double DeltaECrossValidated = 0.0;  // CrossValidated against Reference
};

// Statistics of one group of delta E values; all zero when the group is empty.
struct TDeltaEStats {
    int Count = 0;
    double Mean = 0.0;
    double Median = 0.0;  // the mean of the two middle values for an even count
    double P95 = 0.0;     // 95th percentile, linear between the two nearest ranks
    double Max = 0.0;
};

struct TGroupQuality {
    TDeltaEStats Before;
    TDeltaEStats After;
    TDeltaEStats LeaveOneOut;    // empty without HasLeaveOneOut
    TDeltaEStats CrossValidated;
};

// One model's held-out errors on the report's folds.
struct TModelComparison {
    std::string Name;
    std::string Details;        // the model's choices when fitted on all patches
    std::string Error;          // why it could not be fitted on some fold; empty when it could
    TDeltaEStats CrossValidated;  // over all patches
    std::vector<double> DeltaE;   // per patch
};

struct TCalibrationReport {
    TChartType Chart = TChartType::Classic;
    bool ColorsOnly = true;
    std::vector<TPatchQuality> Patches;  // every patch, in the chart's order
    std::string Model;         // the registered name
    std::string ModelDetails;  // what its fit chose (TCalibrationModel::Details)
    TFoldPlan Folds;
    // Leave-one-out refits are made on the Classic chart (where they are the validation) and
    // for the default model's control points; other models on larger charts are judged by the
    // grouped folds alone.
    bool HasLeaveOneOut = true;
    TGroupQuality Control;
    TGroupQuality HeldOut;
    TGroupQuality All;
    std::vector<TModelComparison> Comparison;  // every registered model, when asked for
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

// Positions in report.Patches, worst first: by held-out delta E, then by in-sample delta E, both
// descending, then in patch order.
std::vector<int> WorstPatchesFirst(const TCalibrationReport& report);
// How many of those count as the worst: the patches whose held-out delta E reaches the 95th
// percentile of all patches' (at least one when there are patches).
int WorstPatchCount(const TCalibrationReport& report);

// Fits the calibration of `measured` with the named model and measures its quality; with
// compareModels also every registered model's held-out errors on the same folds. Raises the
// model's error when a fit of the named model fails; a compared model that fails is listed with
// its error.
// With `progress`, the model comparison reports a unit per model and stops (ECancelled) when
// the job is cancelled.
TCalibrationReport ComputeCalibrationReport(const TMeasuredPatches& measured, TChartType chart, bool colorsOnly,
                                            std::string_view model = DefaultCalibrationModel,
                                            bool compareModels = false, TJobProgress* progress = nullptr);

}  // namespace tintavo
