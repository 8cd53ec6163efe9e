#include "engine/ChartGeometry.h"

#include <cmath>
#include <cstdint>
#include <stdexcept>

namespace tintavo {

namespace {

long double Cross(const TPointF& o, const TPointF& a, const TPointF& b) {
    return (static_cast<long double>(a.X) - o.X) * (static_cast<long double>(b.Y) - o.Y) -
           (static_cast<long double>(a.Y) - o.Y) * (static_cast<long double>(b.X) - o.X);
}

[[noreturn]] void NotAQuadrilateral() {
    throw std::invalid_argument("The four corners do not form a convex quadrilateral in chart order.");
}

// One axis of the rectangle's patch-centre rule. The product is formed before the division;
// 64-bit intermediates give the 32-bit result without overflow for any corner pair.
int CellCentre(int start, int end, int index, int count) {
    const std::int64_t span = static_cast<std::int64_t>(end) - start;
    return static_cast<int>(start + (index * span) / count + (span / count) / 2);
}

}  // namespace

TSquareToQuad::TSquareToQuad(const TQuad& q) {
    for (const TPointF& p : q)
        if (!std::isfinite(p.X) || !std::isfinite(p.Y)) NotAQuadrilateral();
    const long double x0 = q[0].X, y0 = q[0].Y, x1 = q[1].X, y1 = q[1].Y;
    const long double x2 = q[2].X, y2 = q[2].Y, x3 = q[3].X, y3 = q[3].Y;
    const long double sx = x0 - x1 + x2 - x3, sy = y0 - y1 + y2 - y3;
    if (sx == 0 && sy == 0) {
        // A parallelogram: the map is affine, defined even when the corners coincide.
        m_[0] = x1 - x0, m_[1] = x3 - x0, m_[2] = x0;
        m_[3] = y1 - y0, m_[4] = y3 - y0, m_[5] = y0;
        m_[6] = 0, m_[7] = 0, m_[8] = 1;
        return;
    }
    // Strictly convex, turning the same way at every corner: the projective terms then keep the
    // denominator positive over the whole square.
    long double turn[4];
    for (int k = 0; k < 4; ++k) turn[k] = Cross(q[k], q[(k + 1) % 4], q[(k + 2) % 4]);
    const bool clockwise = turn[0] > 0 && turn[1] > 0 && turn[2] > 0 && turn[3] > 0;
    const bool anticlockwise = turn[0] < 0 && turn[1] < 0 && turn[2] < 0 && turn[3] < 0;
    if (!clockwise && !anticlockwise) NotAQuadrilateral();
    const long double dx1 = x1 - x2, dx2 = x3 - x2, dy1 = y1 - y2, dy2 = y3 - y2;
    const long double den = dx1 * dy2 - dx2 * dy1;
    const long double g = (sx * dy2 - dx2 * sy) / den;
    const long double h = (dx1 * sy - sx * dy1) / den;
    m_[0] = x1 - x0 + g * x1, m_[1] = x3 - x0 + h * x3, m_[2] = x0;
    m_[3] = y1 - y0 + g * y1, m_[4] = y3 - y0 + h * y3, m_[5] = y0;
    m_[6] = g, m_[7] = h, m_[8] = 1;
}

TPointF TSquareToQuad::Map(double u, double v) const {
    const long double U = u, V = v;
    const long double w = m_[6] * U + m_[7] * V + m_[8];
    return {static_cast<double>((m_[0] * U + m_[1] * V + m_[2]) / w),
            static_cast<double>((m_[3] * U + m_[4] * V + m_[5]) / w)};
}

TChartGeometry TChartGeometry::FromRectangle(const TSelection& selection) {
    TChartGeometry g;
    g.rect_ = selection;
    return g;
}

TChartGeometry TChartGeometry::FromCorners(const TQuad& corners) {
    auto whole = [](double v) { return v == std::floor(v) && std::abs(v) <= 1e9; };
    bool rectangle = corners[1].Y == corners[0].Y && corners[2].X == corners[1].X && corners[3].Y == corners[2].Y &&
                     corners[3].X == corners[0].X;
    for (const TPointF& p : corners) rectangle = rectangle && whole(p.X) && whole(p.Y);
    if (rectangle)
        return FromRectangle({static_cast<int>(corners[0].X), static_cast<int>(corners[0].Y),
                              static_cast<int>(corners[2].X), static_cast<int>(corners[2].Y)});
    TChartGeometry g;
    g.map_ = TSquareToQuad(corners);
    g.isQuad_ = true;
    g.corners_ = corners;
    return g;
}

TQuad TChartGeometry::Corners() const {
    if (isQuad_) return corners_;
    const double x1 = rect_.X1, y1 = rect_.Y1, x2 = rect_.X2, y2 = rect_.Y2;
    return {TPointF{x1, y1}, TPointF{x2, y1}, TPointF{x2, y2}, TPointF{x1, y2}};
}

TPointF TChartGeometry::PatchCentre(int column, int row, int columns, int rows) const {
    if (columns < 1 || rows < 1) throw std::runtime_error("Dimension error");
    if (!isQuad_)
        return {static_cast<double>(CellCentre(rect_.X1, rect_.X2, column, columns)),
                static_cast<double>(CellCentre(rect_.Y1, rect_.Y2, row, rows))};
    return map_.Map(static_cast<double>((column + 0.5L) / columns), static_cast<double>((row + 0.5L) / rows));
}

TQuad ReorderedCorners(const TQuad& corners, int start, bool mirrored) {
    TQuad out;
    for (int k = 0; k < 4; ++k) {
        const int from = mirrored ? start - k : start + k;
        out[static_cast<std::size_t>(k)] = corners[static_cast<std::size_t>(((from % 4) + 4) % 4)];
    }
    return out;
}

}  // namespace tintavo
