// The calibration model "smooth-tps": a thin-plate spline of dimension 3 with a smoothing term,
// fitted on every patch (no thinning).
//
// The exact spline ("tps") passes through every control point, so the measurement noise of each
// patch and every near-duplicate patch pull it about; the Digital SG chart repeats its white,
// black and grey a dozen times each, which makes the exact system singular unless the repeats
// are thinned out. Adding lambda to the diagonal of the kernel block,
//   [K + lambda I   P] [w]   [targets]
//   [P^T            0] [a] = [   0   ],
// makes the fit minimise  sum |target_i - f(source_i)|^2 + lambda * w^T K w  (squared error plus
// lambda times the spline's bending energy), so it stays well posed with repeated patches and
// averages them instead of passing through each.
//
// The kernel is that of "tps", s ln sqrt(s) of a squared distance s, but the distance between two
// colours counts their difference along the neutral axis (r = g = b) at NeutralAxisScale of its
// length and across it at its full length: a camera's errors change faster with hue and
// saturation than with lightness (its tone curve is smooth), so the fit bends more readily
// across the neutral axis than along it. Against plain distances this lowers the held-out error
// on the Digital SG chart by 12 % over the analytic test cameras (tools/README.md).
//
// Unit of lambda: that of the kernel, on colours on the 0..1 scale (two colours 0.1 apart across
// the neutral axis give 0.01 ln 0.1 = -0.023; black and white, 1.73 apart on the neutral axis,
// 1.04 here, give 0.04). The residual at patch i is lambda times its radial weight.
//
// The system is solved directly (LU factorisation with partial pivoting, never an inverse); a
// system whose estimated reciprocal condition number is below MinSmoothSplineRcond is refused
// with an error saying why.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "engine/CalibrationModel.h"

namespace tintavo {

// The smoothing values tried, smallest first.
constexpr std::array<double, 9> SmoothingGrid = {1e-5, 3e-5, 1e-4, 3e-4, 1e-3, 3e-3, 1e-2, 3e-2, 1e-1};
// The smoothing used unless another is given.
constexpr double DefaultSmoothing = 3e-4;
// The weight of distances along the neutral axis in the kernel (see above).
constexpr double NeutralAxisScale = 0.6;
// Passed as the smoothing: choose it per fit by cross-validation over SmoothingGrid.
constexpr double ChooseSmoothing = -1.0;
// Systems whose estimated reciprocal condition number lies below this are refused.
constexpr double MinSmoothSplineRcond = 1e-13;

class TSmoothThinPlateSplineModel : public TCalibrationModel {
public:
    // `lambda` > 0: that smoothing. ChooseSmoothing: the value of SmoothingGrid with the lowest
    // mean held-out CIEDE2000 on the folds of the patches (CrossValidation.h), each fold fitted
    // on its training patches; too few patches for folds take DefaultSmoothing.
    explicit TSmoothThinPlateSplineModel(double lambda = DefaultSmoothing);

    // Needs at least 5 patches. Raises std::runtime_error for an ill-conditioned system (for
    // instance every measured colour on one plane) and keeps the previous fit.
    void Fit(std::span<const TPatchPair> patches) override;
    bool Fitted() const override { return !points_.empty(); }
    std::vector<int> ControlPatches() const override;
    TLutColor Map(double r, double g, double b) const override;
    void MapLine(double r, double g, const double* b, int count, TLutColor* out) const override;
    std::string Details() const override;

    // The smoothing of the last fit.
    double Lambda() const { return fittedLambda_; }

private:
    double lambda_;
    double fittedLambda_ = 0.0;
    std::vector<double> points_;   // 3 per control point, in the kernel's coordinates (see the .cpp)
    std::vector<double> weights_;  // 3 per control point: the radial weights of R, G, B
    double affine_[4][3] = {};     // constant, then the terms of r, g, b; one column per output
};

}  // namespace tintavo
