// Held-out validation of calibration models: which patches a fold fits on and which it judges,
// and the colour a model fitted without a patch gives that patch.
//
// Small charts (fewer than ThinningMinPatches patches: the Classic chart) are validated leave
// one out. Larger ones (the Digital SG chart) in CrossValidationFoldCount folds, grouped:
// patches whose reference colours lie within NearDuplicateDistance of each other (directly or
// through a chain of such patches) always fall into the same fold, because a near-duplicate
// left among the training patches would show the fit the very colour it is judged on (the
// Digital SG chart repeats its white, black and grey a dozen times each). The groups are dealt
// into the folds in an order shuffled with a fixed seed, largest first, each into the fold with
// the fewest patches so far, so the same chart always gets the same folds.
//
// A held-out colour is judged as the program applies a calibration: the model is fitted on the
// fold's training patches only (its whole fit, thinning and its own choices included), and the
// patch's measured colour is looked up in the CalibrationLutSize-point table that fit makes
// under the calibration's node rule (TCalibrationMapping::MapNode, then ApplyLut).
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

#include "engine/Calibration.h"

namespace tintavo {

constexpr int CrossValidationFoldCount = 5;
constexpr std::uint32_t CrossValidationSeed = 20240611u;
// Reference colours closer than this (Euclidean, 0..1 scale) are near-duplicates.
constexpr double NearDuplicateDistance = 0.02;

struct TFoldPlan {
    bool LeaveOneOut = false;
    int FoldCount = 0;
    std::vector<int> FoldOf;  // the fold of each patch, 0..FoldCount-1

    // Positions of the patches fitted on, and judged, in `fold`, in increasing order.
    std::vector<int> Training(int fold) const;
    std::vector<int> HeldOut(int fold) const;
};

// The folds of a list of patches (see above). A list of one patch or none has no folds.
TFoldPlan PlanFolds(std::span<const TPatchPair> patches);

// For each patch the smallest position of its near-duplicate group.
std::vector<int> NearDuplicateGroups(std::span<const TPatchPair> patches);

// The value at `colour` of the CalibrationLutSize-point table `mapping` makes (FillTable), as
// ApplyLut interpolates it; only the eight nodes around the colour are evaluated.
TLutColor LookUpThroughTable(const TCalibrationMapping& mapping, const TLutColor& colour);

// For every patch, its measured colour looked up in the table of the named model fitted on the
// training patches of the patch's fold. Folds run in parallel. Raises the first failing fold's
// error.
std::vector<TLutColor> HeldOutColours(std::span<const TPatchPair> patches, const TFoldPlan& plan,
                                      std::string_view model, bool colorsOnly);

// The CIEDE2000 differences between those colours and the patches' reference colours.
std::vector<double> HeldOutDeltaE(std::span<const TPatchPair> patches, const TFoldPlan& plan,
                                  std::string_view model, bool colorsOnly);

// Runs body(fold) for every fold of `plan`, in parallel unless already inside such a loop (a
// model that validates its own choices inside a fold of an outer validation runs its folds on
// the thread it has). Results must not depend on the order.
void ForEachFold(const TFoldPlan& plan, const std::function<void(int fold)>& body);

}  // namespace tintavo
