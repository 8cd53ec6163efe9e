#include "engine/SmoothThinPlateSplineModel.h"

#include <Eigen/Dense>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <stdexcept>

#include "common/Errors.h"
#include "engine/ColorDifference.h"
#include "engine/CrossValidation.h"
#include "engine/ThinPlateSplines.h"

namespace tintavo {

namespace {

using TMatrix = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;

// The lower-triangular basis of the kernel coordinates: rows x, y, z of the matrix F with
// F^T F = I + (NeutralAxisScale^2 - 1) u u^T, u the unit vector along r = g = b, so that
// |F c - F d| is the distance of colours c and d with their difference along the neutral axis
// scaled by NeutralAxisScale. Being lower-triangular, F moves a colour whose blue alone changes
// along z alone: the grid's lines in blue stay lines in z.
struct TKernelBasis {
    double Xr, Yr, Yg, Zr, Zg, Zb;
};

const TKernelBasis& KernelBasis() {
    static const TKernelBasis basis = [] {
        // M is unchanged by reversing the channels (P M P = M), so with M = C C^T (Cholesky),
        // F = P C^T P is lower-triangular and F^T F = P C C^T P = M.
        const double c = (NeutralAxisScale * NeutralAxisScale - 1.0) / 3.0;
        Eigen::Matrix3d m = Eigen::Matrix3d::Identity() + c * Eigen::Matrix3d::Ones();
        const Eigen::Matrix3d l = Eigen::LLT<Eigen::Matrix3d>(m).matrixL();
        Eigen::Matrix3d f;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) f(i, j) = l(2 - j, 2 - i);
        return TKernelBasis{f(0, 0), f(1, 0), f(1, 1), f(2, 0), f(2, 1), f(2, 2)};
    }();
    return basis;
}

// The part of the z coordinate that red and green give; Map and MapLine form z alike.
inline double ZOfRedGreen(const TKernelBasis& f, double r, double g) { return f.Zr * r + f.Zg * g; }

// A colour in kernel coordinates.
inline void ToKernelCoordinates(double r, double g, double b, double* out) {
    const TKernelBasis& f = KernelBasis();
    out[0] = f.Xr * r;
    out[1] = f.Yr * r + f.Yg * g;
    out[2] = ZOfRedGreen(f, r, g) + f.Zb * b;
}

// Kernel values of the squared distances between every pair of points (3 kernel coordinates
// each; 0 on the diagonal and for coincident points, as in the exact spline).
TMatrix KernelMatrix(const std::vector<double>& points) {
    const int n = static_cast<int>(points.size() / 3);
    TMatrix k = TMatrix::Zero(n, n);
    std::vector<double> s, v;
    std::vector<int> column;
    for (int i = 0; i < n; ++i) {
        s.clear();
        column.clear();
        const double* a = &points[3 * static_cast<std::size_t>(i)];
        for (int j = i + 1; j < n; ++j) {
            const double* b = &points[3 * static_cast<std::size_t>(j)];
            const double dr = a[0] - b[0], dg = a[1] - b[1], db = a[2] - b[2];
            const double d = dr * dr + dg * dg + db * db;
            if (static_cast<long double>(d) <= CoincidenceThreshold) continue;
            s.push_back(d);
            column.push_back(j);
        }
        v.resize(s.size());
        Kernel3Batch(s.data(), v.data(), static_cast<int>(s.size()));
        for (std::size_t c = 0; c < column.size(); ++c) k(i, column[c]) = k(column[c], i) = v[c];
    }
    return k;
}

struct TSolution {
    TMatrix Weights;  // m x 3
    TMatrix Affine;   // 4 x 3
};

std::string IllConditioned(double rcond) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2g", rcond);
    return std::string("The smoothed thin-plate spline cannot be fitted: its linear system is ill-conditioned "
                       "(reciprocal condition number ") +
           text + "). The measured colours must differ in all three channels.";
}

// Solves the smoothed system on the patches listed in `use` (positions into `patches` and into
// the rows and columns of `kernel`).
TSolution Solve(std::span<const TPatchPair> patches, const TMatrix& kernel, const std::vector<int>& use,
                double lambda) {
    const int m = static_cast<int>(use.size());
    TMatrix a = TMatrix::Zero(m + 4, m + 4);
    TMatrix rhs = TMatrix::Zero(m + 4, 3);
    for (int i = 0; i < m; ++i) {
        const int pi = use[static_cast<std::size_t>(i)];
        for (int j = 0; j < m; ++j) a(i, j) = kernel(pi, use[static_cast<std::size_t>(j)]);
        a(i, i) += lambda;
        const TPatchPair& p = patches[static_cast<std::size_t>(pi)];
        const double row[4] = {1.0, p.Measured.R, p.Measured.G, p.Measured.B};
        for (int c = 0; c < 4; ++c) a(i, m + c) = a(m + c, i) = row[c];
        rhs(i, 0) = p.Reference.R;
        rhs(i, 1) = p.Reference.G;
        rhs(i, 2) = p.Reference.B;
    }
    const Eigen::PartialPivLU<TMatrix> lu(a);
    const double rcond = lu.rcond();
    if (!(rcond >= MinSmoothSplineRcond)) throw std::runtime_error(IllConditioned(rcond));
    const TMatrix x = lu.solve(rhs);
    if (!x.allFinite()) throw std::runtime_error(IllConditioned(rcond));
    return {x.topRows(m), x.bottomRows(4)};
}

// The value of a solution at patch `at` from the kernel row of that patch.
TLutColor Predict(std::span<const TPatchPair> patches, const TMatrix& kernel, const std::vector<int>& use,
                  const TSolution& fit, int at) {
    double out[3];
    const TLutColor& q = patches[static_cast<std::size_t>(at)].Measured;
    for (int c = 0; c < 3; ++c) {
        double v = 0.0;
        for (std::size_t k = 0; k < use.size(); ++k) v += kernel(at, use[k]) * fit.Weights(static_cast<int>(k), c);
        v += fit.Affine(0, c) + q.R * fit.Affine(1, c) + q.G * fit.Affine(2, c) + q.B * fit.Affine(3, c);
        out[c] = v;
    }
    return {out[0], out[1], out[2]};
}

}  // namespace

TSmoothThinPlateSplineModel::TSmoothThinPlateSplineModel(double lambda) : lambda_(lambda) {}

void TSmoothThinPlateSplineModel::Fit(std::span<const TPatchPair> patches) {
    const int n = static_cast<int>(patches.size());
    if (n < 5) throw std::runtime_error("The smoothed thin-plate spline needs at least 5 patches.");
    std::vector<double> points(3 * static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        const TLutColor& p = patches[static_cast<std::size_t>(i)].Measured;
        ToKernelCoordinates(p.R, p.G, p.B, &points[3 * static_cast<std::size_t>(i)]);
    }
    const TMatrix kernel = KernelMatrix(points);

    double lambda = lambda_;
    if (lambda_ <= 0.0) {
        lambda = DefaultSmoothing;
        const TFoldPlan plan = PlanFolds(patches);
        if (plan.FoldCount >= 2) {
            // Held-out error of every grid value in every fold; a value whose system is
            // ill-conditioned in some fold is out.
            const std::size_t grid = SmoothingGrid.size();
            std::vector<std::vector<double>> sums(static_cast<std::size_t>(plan.FoldCount),
                                                  std::vector<double>(grid, 0.0));
            ForEachFold(plan, [&](int fold) {
                const std::vector<int> training = plan.Training(fold);
                const std::vector<int> heldOut = plan.HeldOut(fold);
                for (std::size_t g = 0; g < grid; ++g) {
                    double& sum = sums[static_cast<std::size_t>(fold)][g];
                    try {
                        const TSolution fit = Solve(patches, kernel, training, SmoothingGrid[g]);
                        for (int i : heldOut)
                            sum += DeltaE2000(ClampToUnitRange(Predict(patches, kernel, training, fit, i)),
                                              patches[static_cast<std::size_t>(i)].Reference);
                    } catch (const std::runtime_error&) {
                        sum = std::numeric_limits<double>::infinity();
                    }
                }
            });
            double best = std::numeric_limits<double>::infinity();
            for (std::size_t g = 0; g < grid; ++g) {
                double total = 0.0;
                for (const auto& fold : sums) total += fold[g];
                if (total < best) {
                    best = total;
                    lambda = SmoothingGrid[g];
                }
            }
        }
    }

    std::vector<int> all(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) all[static_cast<std::size_t>(i)] = i;
    const TSolution fit = Solve(patches, kernel, all, lambda);

    // Committed only after the fit succeeded.
    points_ = std::move(points);
    weights_.resize(3 * static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        for (int c = 0; c < 3; ++c) weights_[3 * i + c] = fit.Weights(i, c);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c) affine_[r][c] = fit.Affine(r, c);
    fittedLambda_ = lambda;
}

std::vector<int> TSmoothThinPlateSplineModel::ControlPatches() const {
    std::vector<int> all(points_.size() / 3);
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<int>(i);
    return all;
}

TLutColor TSmoothThinPlateSplineModel::Map(double r, double g, double b) const {
    TINTAVO_ASSERT(Fitted(), "SmoothThinPlateSplineModel", "No spline built");
    const int n = static_cast<int>(points_.size() / 3);
    constexpr int kChunk = 64;
    double dist[kChunk], kern[kChunk];
    int index[kChunk];
    double q[3];
    ToKernelCoordinates(r, g, b, q);
    double out[3] = {0.0, 0.0, 0.0};
    for (int start = 0; start < n; start += kChunk) {
        const int count = std::min(kChunk, n - start);
        int used = 0;
        for (int k = start; k < start + count; ++k) {
            const double* p = &points_[3 * static_cast<std::size_t>(k)];
            const double dr = p[0] - q[0], dg = p[1] - q[1], db = p[2] - q[2];
            const double s = dr * dr + dg * dg + db * db;
            if (static_cast<long double>(s) <= CoincidenceThreshold) continue;
            dist[used] = s;
            index[used++] = k;
        }
        Kernel3Batch(dist, kern, used);
        for (int u = 0; u < used; ++u) {
            const double* w = &weights_[3 * static_cast<std::size_t>(index[u])];
            out[0] += kern[u] * w[0];
            out[1] += kern[u] * w[1];
            out[2] += kern[u] * w[2];
        }
    }
    for (int c = 0; c < 3; ++c) out[c] += affine_[0][c] + r * affine_[1][c] + g * affine_[2][c] + b * affine_[3][c];
    return {out[0], out[1], out[2]};
}

void TSmoothThinPlateSplineModel::MapLine(double r, double g, const double* b, int count, TLutColor* out) const {
    TINTAVO_ASSERT(Fitted(), "SmoothThinPlateSplineModel", "No spline built");
    thread_local std::vector<double> sums, z;
    if (sums.size() < 3 * static_cast<std::size_t>(count)) sums.resize(3 * static_cast<std::size_t>(count));
    if (z.size() < static_cast<std::size_t>(count)) z.resize(static_cast<std::size_t>(count));
    // The line in kernel coordinates: x and y fixed, z from blue as Map forms it.
    const TKernelBasis& f = KernelBasis();
    double start[3];
    ToKernelCoordinates(r, g, 0.0, start);
    const double zRedGreen = ZOfRedGreen(f, r, g);
    for (int i = 0; i < count; ++i) z[static_cast<std::size_t>(i)] = zRedGreen + f.Zb * b[i];
    const int n = static_cast<int>(points_.size() / 3);
    if (!RadialSumsAlongLine(points_.data(), weights_.data(), n, start[0], start[1], z.data(), count, sums.data())) {
        TCalibrationModel::MapLine(r, g, b, count, out);
        return;
    }
    for (int i = 0; i < count; ++i) {
        double v[3] = {sums[static_cast<std::size_t>(i)], sums[static_cast<std::size_t>(count + i)],
                       sums[static_cast<std::size_t>(2 * count + i)]};
        for (int c = 0; c < 3; ++c)
            v[c] += affine_[0][c] + r * affine_[1][c] + g * affine_[2][c] + b[i] * affine_[3][c];
        out[i] = {v[0], v[1], v[2]};
    }
}

std::string TSmoothThinPlateSplineModel::Details() const {
    char text[64];
    std::snprintf(text, sizeof text, "smoothing %g%s", fittedLambda_, lambda_ <= 0.0 ? " (chosen by cross-validation)" : "");
    return text;
}

}  // namespace tintavo
