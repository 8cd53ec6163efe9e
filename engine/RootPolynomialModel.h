// The calibration models "matrix", "rootpoly2" and "rootpoly3": corrections fitted in linear
// light by least squares on every patch.
//
// The measured colours are first brought to linear light, by one of two linearisations:
// - sRGB: the sRGB decoding curve (IEC 61966-2-1), right for a camera that encodes with it;
// - neutral: one curve per channel fitted on the chart's neutral patches (reference colours
//   whose components differ by at most NeutralSpread): ln L against ln m, from the measured value
//   m to the sRGB-decoded reference value L, through the neutral patches (those measured within
//   NeutralMergeDistance in ln m averaged, then made non-decreasing by pooling adjacent
//   violators), straight between them, and continued beyond each end of the measured range
//   with the slope of the least-squares line through the EndKnots points nearest that end (the
//   line through all of them where that slope is not usable). A camera's own rendering curve is
//   rarely sRGB, and the fitted curve also takes out its white balance. It needs at least
//   MinNeutralPatches neutral patches whose reference colours span a ratio of two or more in
//   linear light (judged on the references: a camera's tone curve compresses the measured
//   span), and a line through them of slope between 0.2 and 10.
// Each model tries both on the held-out folds of its patches (CrossValidation.h) and keeps the
// one with the lower mean CIEDE2000.
//
// Then the linear colour's terms are mapped to the sRGB-decoded reference colours by a matrix
// fitted by ridge regression (a small pull, RidgeFactor times the mean diagonal of the normal
// equations, towards the identity on r, g, b and 0 on the other terms, so that few or
// degenerate patches cannot blow it up), and the result is sRGB-encoded. The terms are
// exposure-invariant root-polynomials:
// - degree 1 ("matrix"): r, g, b;
// - degree 2 ("rootpoly2"): also sqrt(rg), sqrt(gb), sqrt(rb);
// - degree 3 ("rootpoly3"): also the cube roots of rg^2, gb^2, rb^2, gr^2, bg^2, br^2 and rgb.
#pragma once

#include <string>
#include <vector>

#include "engine/CalibrationModel.h"

namespace tintavo {

constexpr double NeutralSpread = 0.03;
constexpr int MinNeutralPatches = 3;
constexpr double NeutralMergeDistance = 0.02;
constexpr double RidgeFactor = 1e-4;
constexpr int EndKnots = 3;

// The sRGB curves, continued linearly below 0.
double SRGBToLinear(double v);
double LinearToSRGB(double v);

enum class TLinearisationKind { SRGB, Neutral };

// A per-channel curve from measured values to linear light.
class TLinearisation {
public:
    // The sRGB decoding curve.
    TLinearisation() = default;
    // Fitted on the neutral patches of `patches`; false when there are too few.
    bool FitNeutral(std::span<const TPatchPair> patches);

    TLinearisationKind Kind() const { return kind_; }
    double Apply(int channel, double v) const;
    // The neutral patches the last FitNeutral used.
    int NeutralCount() const { return neutralCount_; }

private:
    // ln L as a function of x = ln m: straight between knots (increasing x, non-decreasing ln L),
    // continued beyond the first and last knot with the slopes of the lines fitted near each end.
    struct TCurve {
        std::vector<double> X, Y;
        double LowSlope = 1.0, HighSlope = 1.0;
    };
    static double Eval(const TCurve& c, double x);

    TLinearisationKind kind_ = TLinearisationKind::SRGB;
    TCurve curves_[3];
    int neutralCount_ = 0;
};

class TRootPolynomialModel : public TCalibrationModel {
public:
    // degree 1, 2 or 3. With a linearisation kind given, only that one is used.
    explicit TRootPolynomialModel(int degree);
    TRootPolynomialModel(int degree, TLinearisationKind only);

    // Needs at least as many patches as the model has terms per output (3, 6 or 13).
    void Fit(std::span<const TPatchPair> patches) override;
    bool Fitted() const override { return fitted_; }
    std::vector<int> ControlPatches() const override;
    TLutColor Map(double r, double g, double b) const override;
    std::string Details() const override;

    const TLinearisation& Linearisation() const { return lin_; }
    int TermCount() const;

private:
    int degree_;
    bool chooseLinearisation_ = true;
    TLinearisationKind only_ = TLinearisationKind::SRGB;
    bool fitted_ = false;
    int patchCount_ = 0;
    TLinearisation lin_;
    std::vector<double> beta_;  // TermCount() rows of 3
};

}  // namespace tintavo
