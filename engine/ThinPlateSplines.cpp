#include "engine/ThinPlateSplines.h"

#include <cmath>
#include <stdexcept>

#include "common/Errors.h"
#include "engine/Matrix.h"

namespace tintavo {

namespace {

constexpr const char* kUnit = "ThinPlateSplines";

// The dimension-3 kernel r^2 ln r of a squared distance s > 0, in extended precision.
inline double Kernel3(double s) {
    const long double ls = s;
    return static_cast<double>(ls * std::log(std::sqrt(ls)));
}

}  // namespace

double TTPSpline::Kernel(double s) const {
    if (s == 0.0) return 0.0;
    const long double ls = s;
    switch (Dimension) {
        case 1:
            return static_cast<double>(ls * ls);
        case 2:
            return static_cast<double>(ls * std::log(ls));
        case 3:
            return Kernel3(s);
        default:
            throw std::runtime_error("Error thin plate splines only defined for 1,2,3 dimensions");
    }
}

std::unique_ptr<TDoubleMatrix> TTPSpline::PointsToMatrix(const TPoint3D* points) const {
    auto m = std::make_unique<TDoubleMatrix>(3, PointCount);
    for (int k = 0; k < PointCount; ++k) {
        m->SetCell(0, k, points[k].X);
        m->SetCell(1, k, points[k].Y);
        m->SetCell(2, k, points[k].Z);
    }
    return m;
}

void TTPSpline::Fit(const TPoint3D* source, const TPoint3D* target) {
    std::unique_ptr<TDoubleMatrix> m = PointsToMatrix(source);
    std::unique_ptr<TDoubleMatrix> v = PointsToMatrix(target);
    TINTAVO_ASSERT(m->Width() == v->Width() && m->Height() == v->Height(), kUnit,
                   "Dimension error - number of points and dimension must match");
    Dimension = v->Width();
    const int d = Dimension;
    const int n = m->Height();

    // Row k of P is (1, x_k, y_k, z_k).
    auto p = std::make_unique<TDoubleMatrix>(d + 1, n);
    p->PasteAt(*m, 1, 0);
    for (int k = 0; k < n; ++k) p->SetCell(0, k, 1.0);

    TDoubleMatrix l(n + d + 1, n + d + 1);
    for (int pi = 0; pi < n; ++pi) {
        for (int i = 0; i < n; ++i) {
            double s = 0.0;
            for (int j = 0; j < d; ++j) {
                const double diff = m->GetCell(j, pi) - m->GetCell(j, i);
                s += diff * diff;
            }
            l.SetCell(pi, i, static_cast<long double>(s) <= CoincidenceThreshold ? 0.0 : Kernel(s));
        }
    }
    l.PasteAt(*p, n, 0);
    p->TransposeSelf();
    l.PasteAt(*p, 0, n);
    p.reset();

    if (l.Invert() == ssSingular)
        throw std::runtime_error(
            "Error calculating the thin-plate-splines coefficient matrix. Matrix is not invertable");

    std::vector<double> sourcePoints = m->ToFlatArray();
    const int sourceDim = m->Width();
    const int sourceCount = m->Height();

    TDoubleMatrix r(d, n + d + 1);
    r.PasteAt(*v, 0, 0);
    l.MultiplyBy(r);

    // Commit only once everything that can fail has succeeded.
    Coefficients = l.ToFlatArray();
    CoefWidth = d;
    CoefHeight = n + d + 1;
    SourcePoints = std::move(sourcePoints);
    SourceDim = sourceDim;
    SourceCount = sourceCount;
}

void TTPSpline::Evaluate(double x, double y, double z, double& outX, double& outY, double& outZ) const {
    // The query point is a 1-row, 3-column matrix in the textbook formulation; it is kept in
    // locals here because this runs once per LUT node. The arithmetic is the same.
    const double q[3] = {x, y, z};
    TINTAVO_ASSERT(Dimension == 3, kUnit, "Dimension error");
    TINTAVO_ASSERT(Dimension > 0, kUnit, "Error 0 dimension");
    TINTAVO_ASSERT(SourceDim == 3 && CoefWidth == 3 && CoefHeight == SourceCount + 4 &&
                       static_cast<long long>(SourcePoints.size()) >= 3LL * SourceCount &&
                       static_cast<long long>(Coefficients.size()) >= 3LL * CoefHeight,
                   kUnit, "Dimension error");

    const int n = SourceCount;
    const double* src = SourcePoints.data();
    const double* w = Coefficients.data();
    double a0 = 0.0, a1 = 0.0, a2 = 0.0;
    for (int k = 0; k < n; ++k, src += 3, w += 3) {
        double s = 0.0;
        double diff = src[0] - q[0];
        s += diff * diff;
        diff = src[1] - q[1];
        s += diff * diff;
        diff = src[2] - q[2];
        s += diff * diff;
        if (static_cast<long double>(s) <= CoincidenceThreshold) continue;
        const double k3 = Kernel3(s);
        a0 += k3 * w[0];
        a1 += k3 * w[1];
        a2 += k3 * w[2];
    }
    // w now points at row n: the constant term, then the linear terms of x, y, z.
    const double a[3] = {a0, a1, a2};
    double out[3];
    for (int c = 0; c < 3; ++c) {
        double v = a[c] + w[c];
        for (int i = 0; i < 3; ++i) v += q[i] * w[3 * (1 + i) + c];
        out[c] = v;
    }
    outX = out[0];
    outY = out[1];
    outZ = out[2];
}

}  // namespace tintavo
