// The calibration model "tps": one exact thin-plate spline of dimension 3 from the measured
// colours to the reference colours, through every control point.
//
// Large charts repeat colours (the Digital SG chart's outer ring of whites, blacks and greys);
// two patches with nearly the same reference colour would make the exact fit ill-posed, so a
// list of at least ThinningMinPatches patches keeps only the first of each group of patches whose
// reference colours lie closer than ThinningDistance, and the others are no control points.
#pragma once

#include <memory>
#include <vector>

#include "engine/CalibrationModel.h"
#include "engine/ThinPlateSplines.h"

namespace tintavo {

// Lists of at least this many patches are thinned before fitting.
constexpr int ThinningMinPatches = 30;
// Reference colours closer than this (Euclidean, 0..1 scale) count as repeats.
constexpr long double ThinningDistance = 0.15L;

// The patches kept for fitting: patch i stays unless the reference colour of an earlier kept
// patch lies closer than ThinningDistance to its own. Lists of fewer than ThinningMinPatches
// patches keep all of them. The kept reference colours lie at least ThinningDistance apart, so
// thinning a subset of the kept patches again keeps all of it.
std::vector<int> ThinnedPatchIndices(const TLutColor* reference, int patchCount);

class TThinPlateSplineModel : public TCalibrationModel {
public:
    // Thins the patches and fits Spline on the kept ones. A singular system raises
    // std::runtime_error("Error calculating the thin-plate-splines coefficient matrix. Matrix is
    // not invertable") and keeps the previous fit.
    void Fit(std::span<const TPatchPair> patches) override;
    bool Fitted() const override { return Spline != nullptr; }
    std::vector<int> ControlPatches() const override { return controlPatches_; }
    TLutColor Map(double r, double g, double b) const override;
    void MapLine(double r, double g, const double* b, int count, TLutColor* out) const override;

    // The fitted spline; none until the first successful fit.
    std::unique_ptr<TTPSpline> Spline;

private:
    std::vector<int> controlPatches_;
};

}  // namespace tintavo
