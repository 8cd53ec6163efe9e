#include "engine/RootPolynomialModel.h"

#include <Eigen/Dense>

#include <algorithm>
#include <cmath>
#include <utility>
#include <limits>
#include <stdexcept>

#include "common/Errors.h"
#include "engine/ColorDifference.h"
#include "engine/CrossValidation.h"

namespace tintavo {

namespace {

constexpr int MaxTerms = 13;

int TermsOfDegree(int degree) { return degree == 1 ? 3 : degree == 2 ? 6 : 13; }

// The root-polynomial terms of a linear colour (negative components count as 0).
int Terms(int degree, double r, double g, double b, double* t) {
    r = std::max(r, 0.0);
    g = std::max(g, 0.0);
    b = std::max(b, 0.0);
    t[0] = r;
    t[1] = g;
    t[2] = b;
    if (degree == 1) return 3;
    t[3] = std::sqrt(r * g);
    t[4] = std::sqrt(g * b);
    t[5] = std::sqrt(r * b);
    if (degree == 2) return 6;
    t[6] = std::cbrt(r * g * g);
    t[7] = std::cbrt(g * b * b);
    t[8] = std::cbrt(r * b * b);
    t[9] = std::cbrt(g * r * r);
    t[10] = std::cbrt(b * g * g);
    t[11] = std::cbrt(b * r * r);
    t[12] = std::cbrt(r * g * b);
    return 13;
}

struct TLinearFit {
    TLinearisation Lin;
    std::vector<double> Beta;  // terms x 3
};

// Fits the matrix on `use` (positions into `patches`) after the linearisation in `fit.Lin`.
void FitMatrix(std::span<const TPatchPair> patches, const std::vector<int>& use, int degree, TLinearFit& fit) {
    const int p = TermsOfDegree(degree);
    Eigen::MatrixXd normal = Eigen::MatrixXd::Zero(p, p);
    Eigen::MatrixXd rhs = Eigen::MatrixXd::Zero(p, 3);
    double t[MaxTerms];
    for (int i : use) {
        const TPatchPair& pair = patches[static_cast<std::size_t>(i)];
        Terms(degree, fit.Lin.Apply(0, pair.Measured.R), fit.Lin.Apply(1, pair.Measured.G),
              fit.Lin.Apply(2, pair.Measured.B), t);
        const double y[3] = {SRGBToLinear(pair.Reference.R), SRGBToLinear(pair.Reference.G),
                             SRGBToLinear(pair.Reference.B)};
        for (int a = 0; a < p; ++a) {
            for (int b = 0; b < p; ++b) normal(a, b) += t[a] * t[b];
            for (int c = 0; c < 3; ++c) rhs(a, c) += t[a] * y[c];
        }
    }
    // The ridge pulls towards the identity on r, g, b and 0 on the other terms.
    const double ridge = RidgeFactor * std::max(normal.trace() / p, 1e-12);
    for (int a = 0; a < p; ++a) {
        normal(a, a) += ridge;
        if (a < 3) rhs(a, a) += ridge;
    }
    const Eigen::LLT<Eigen::MatrixXd> llt(normal);
    if (llt.info() != Eigen::Success)
        throw std::runtime_error("The colour correction matrix cannot be fitted: the patches' colours are degenerate.");
    const Eigen::MatrixXd beta = llt.solve(rhs);
    if (!beta.allFinite())
        throw std::runtime_error("The colour correction matrix cannot be fitted: the patches' colours are degenerate.");
    fit.Beta.assign(static_cast<std::size_t>(p) * 3, 0.0);
    for (int a = 0; a < p; ++a)
        for (int c = 0; c < 3; ++c) fit.Beta[static_cast<std::size_t>(a) * 3 + c] = beta(a, c);
}

TLutColor Evaluate(const TLinearisation& lin, const std::vector<double>& beta, int degree, double r, double g,
                   double b) {
    double t[MaxTerms];
    const int p = Terms(degree, lin.Apply(0, r), lin.Apply(1, g), lin.Apply(2, b), t);
    double out[3] = {0.0, 0.0, 0.0};
    for (int a = 0; a < p; ++a)
        for (int c = 0; c < 3; ++c) out[c] += t[a] * beta[static_cast<std::size_t>(a) * 3 + c];
    return {LinearToSRGB(out[0]), LinearToSRGB(out[1]), LinearToSRGB(out[2])};
}

// Fits linearisation and matrix on `use`; false when the neutral linearisation has too few
// neutral patches there.
bool FitOn(std::span<const TPatchPair> patches, const std::vector<int>& use, int degree, TLinearisationKind kind,
           TLinearFit& fit) {
    fit.Lin = TLinearisation();
    if (kind == TLinearisationKind::Neutral) {
        std::vector<TPatchPair> subset;
        subset.reserve(use.size());
        for (int i : use) subset.push_back(patches[static_cast<std::size_t>(i)]);
        if (!fit.Lin.FitNeutral(subset)) return false;
    }
    FitMatrix(patches, use, degree, fit);
    return true;
}

}  // namespace

double SRGBToLinear(double v) {
    if (v <= 0.04045) return v / 12.92;
    return std::pow((v + 0.055) / 1.055, 2.4);
}

double LinearToSRGB(double v) {
    if (v <= 0.0031308) return 12.92 * v;
    return 1.055 * std::pow(v, 1.0 / 2.4) - 0.055;
}

double TLinearisation::Eval(const TCurve& c, double x) {
    if (x <= c.X.front()) return c.Y.front() + c.LowSlope * (x - c.X.front());
    if (x >= c.X.back()) return c.Y.back() + c.HighSlope * (x - c.X.back());
    const std::size_t hi = static_cast<std::size_t>(std::upper_bound(c.X.begin(), c.X.end(), x) - c.X.begin());
    const std::size_t lo = hi - 1;
    const double t = (x - c.X[lo]) / (c.X[hi] - c.X[lo]);
    return c.Y[lo] + t * (c.Y[hi] - c.Y[lo]);
}

double TLinearisation::Apply(int channel, double v) const {
    if (kind_ == TLinearisationKind::SRGB) return SRGBToLinear(v);
    if (!(v > 0.0)) return 0.0;
    return std::exp(Eval(curves_[channel], std::log(v)));
}

bool TLinearisation::FitNeutral(std::span<const TPatchPair> patches) {
    // The neutral patches with a usable measurement in every channel.
    std::vector<const TPatchPair*> neutrals;
    for (const TPatchPair& p : patches) {
        const TLutColor& ref = p.Reference;
        const double hi = std::max({ref.R, ref.G, ref.B}), lo = std::min({ref.R, ref.G, ref.B});
        if (hi - lo > NeutralSpread || lo <= 0.0) continue;
        if (!(p.Measured.R > 0.0 && p.Measured.G > 0.0 && p.Measured.B > 0.0)) continue;
        neutrals.push_back(&p);
    }
    if (static_cast<int>(neutrals.size()) < MinNeutralPatches) return false;

    TCurve curves[3];
    for (int c = 0; c < 3; ++c) {
        auto channel = [c](const TLutColor& col) { return c == 0 ? col.R : c == 1 ? col.G : col.B; };
        std::vector<std::pair<double, double>> points;
        for (const TPatchPair* p : neutrals)
            points.emplace_back(std::log(channel(p->Measured)), std::log(SRGBToLinear(channel(p->Reference))));
        std::sort(points.begin(), points.end());
        // The span is judged in linear light, where a tone curve does not compress it.
        const auto [darkest, brightest] = std::minmax_element(
            points.begin(), points.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
        if (brightest->second - darkest->second < std::log(2.0)) return false;
        // The least-squares line through all points: its slope must be sane, and continues an
        // end of the curve whose own slope is not usable.
        double mx = 0, my = 0;
        for (const auto& [x, y] : points) {
            mx += x;
            my += y;
        }
        mx /= static_cast<double>(points.size());
        my /= static_cast<double>(points.size());
        double sxy = 0, sxx = 0;
        for (const auto& [x, y] : points) {
            sxy += (x - mx) * (y - my);
            sxx += (x - mx) * (x - mx);
        }
        const double slope = sxy / sxx;
        if (!std::isfinite(slope) || !(slope > 0.2) || !(slope < 10.0)) return false;
        // Blocks of points with their summed x, mean y and count: points measured alike first
        // merged, then adjacent blocks pooled while the curve would fall.
        std::vector<double> bx, by, bw;
        for (std::size_t i = 0; i < points.size();) {
            std::size_t j = i;
            double sx = 0, sy = 0;
            while (j < points.size() && points[j].first - points[i].first < NeutralMergeDistance) {
                sx += points[j].first;
                sy += points[j].second;
                ++j;
            }
            const double w = static_cast<double>(j - i);
            bx.push_back(sx);
            by.push_back(sy / w);
            bw.push_back(w);
            while (by.size() >= 2 && by[by.size() - 2] > by.back()) {
                const std::size_t k = by.size() - 2;
                by[k] = (by[k] * bw[k] + by.back() * bw.back()) / (bw[k] + bw.back());
                bx[k] += bx.back();
                bw[k] += bw.back();
                bx.pop_back();
                by.pop_back();
                bw.pop_back();
            }
            i = j;
        }
        TCurve& curve = curves[c];
        for (std::size_t i = 0; i < bx.size(); ++i) {
            curve.X.push_back(bx[i] / bw[i]);
            curve.Y.push_back(by[i]);
        }
        if (curve.X.size() < 2) return false;
        // Beyond each end the curve goes on as it ends: with the slope of the least-squares line
        // through the EndKnots knots nearest that end, or of the line through all points where
        // that one is not usable.
        auto endSlope = [&](std::size_t first) {
            const std::size_t count = std::min<std::size_t>(EndKnots, curve.X.size());
            first = std::min(first, curve.X.size() - count);
            double ex = 0, ey = 0;
            for (std::size_t i = first; i < first + count; ++i) {
                ex += curve.X[i];
                ey += curve.Y[i];
            }
            ex /= static_cast<double>(count);
            ey /= static_cast<double>(count);
            double exy = 0, exx = 0;
            for (std::size_t i = first; i < first + count; ++i) {
                exy += (curve.X[i] - ex) * (curve.Y[i] - ey);
                exx += (curve.X[i] - ex) * (curve.X[i] - ex);
            }
            const double local = exy / exx;
            return std::isfinite(local) && local > 0.2 ? local : slope;
        };
        curve.LowSlope = endSlope(0);
        curve.HighSlope = endSlope(curve.X.size());
    }
    kind_ = TLinearisationKind::Neutral;
    for (int c = 0; c < 3; ++c) curves_[c] = curves[c];
    neutralCount_ = static_cast<int>(neutrals.size());
    return true;
}

TRootPolynomialModel::TRootPolynomialModel(int degree) : degree_(degree) {
    TINTAVO_ASSERT(degree >= 1 && degree <= 3, "RootPolynomialModel", "Degree error");
}

TRootPolynomialModel::TRootPolynomialModel(int degree, TLinearisationKind only)
    : degree_(degree), chooseLinearisation_(false), only_(only) {
    TINTAVO_ASSERT(degree >= 1 && degree <= 3, "RootPolynomialModel", "Degree error");
}

int TRootPolynomialModel::TermCount() const { return TermsOfDegree(degree_); }

void TRootPolynomialModel::Fit(std::span<const TPatchPair> patches) {
    const int n = static_cast<int>(patches.size());
    if (n < TermCount())
        throw std::runtime_error("The colour correction needs at least " + std::to_string(TermCount()) + " patches.");
    std::vector<int> all(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) all[static_cast<std::size_t>(i)] = i;

    TLinearisationKind kind = only_;
    if (chooseLinearisation_) {
        // Both linearisations on the same folds; the neutral one must win outright.
        const TFoldPlan plan = PlanFolds(patches);
        kind = TLinearisationKind::SRGB;
        if (plan.FoldCount >= 2) {
            const TLinearisationKind kinds[2] = {TLinearisationKind::SRGB, TLinearisationKind::Neutral};
            std::vector<double> sums(2 * static_cast<std::size_t>(plan.FoldCount), 0.0);
            ForEachFold(plan, [&](int fold) {
                const std::vector<int> training = plan.Training(fold);
                for (int k = 0; k < 2; ++k) {
                    double& sum = sums[2 * static_cast<std::size_t>(fold) + k];
                    TLinearFit fit;
                    try {
                        // A fold without neutral patches enough is judged with the sRGB curve:
                        // the neutral curve is chosen for the folds where it can be fitted.
                        if (!FitOn(patches, training, degree_, kinds[k], fit) &&
                            !FitOn(patches, training, degree_, TLinearisationKind::SRGB, fit))
                            throw std::runtime_error("no linearisation");
                    } catch (const std::runtime_error&) {
                        sum = std::numeric_limits<double>::infinity();
                        continue;
                    }
                    for (int i : plan.HeldOut(fold)) {
                        const TPatchPair& p = patches[static_cast<std::size_t>(i)];
                        sum += DeltaE2000(ClampToUnitRange(Evaluate(fit.Lin, fit.Beta, degree_, p.Measured.R,
                                                                    p.Measured.G, p.Measured.B)),
                                          p.Reference);
                    }
                }
            });
            double total[2] = {0.0, 0.0};
            for (int f = 0; f < plan.FoldCount; ++f)
                for (int k = 0; k < 2; ++k) total[k] += sums[2 * static_cast<std::size_t>(f) + k];
            if (total[1] < total[0]) kind = TLinearisationKind::Neutral;
        }
    }
    TLinearFit fit;
    if (!FitOn(patches, all, degree_, kind, fit)) {
        throw std::runtime_error("The neutral linearisation needs at least " + std::to_string(MinNeutralPatches) +
                                 " neutral patches spanning a brightness ratio of two.");
    }
    // Committed only after the fit succeeded.
    lin_ = fit.Lin;
    beta_ = std::move(fit.Beta);
    patchCount_ = n;
    fitted_ = true;
}

std::vector<int> TRootPolynomialModel::ControlPatches() const {
    std::vector<int> all(static_cast<std::size_t>(patchCount_));
    for (int i = 0; i < patchCount_; ++i) all[static_cast<std::size_t>(i)] = i;
    return all;
}

TLutColor TRootPolynomialModel::Map(double r, double g, double b) const {
    TINTAVO_ASSERT(fitted_, "RootPolynomialModel", "No correction fitted");
    return Evaluate(lin_, beta_, degree_, r, g, b);
}

std::string TRootPolynomialModel::Details() const {
    if (lin_.Kind() == TLinearisationKind::SRGB) return "sRGB linearisation";
    return "linearisation fitted on " + std::to_string(lin_.NeutralCount()) + " neutral patches";
}

}  // namespace tintavo
