#include "engine/ChartGeometry.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
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

// One axis of the rectangle's patch-centre rule. 64-bit intermediates give the 32-bit result
// without overflow for any corner pair.
inline int CellCenter(int start, int end, int index, int count) {
    const std::int64_t span = static_cast<std::int64_t>(end) - start;
    return static_cast<int>(start + (index * span) / count + (span / count) / 2);
}

bool IsWholePixelRectangle(const TQuad& q) {
    auto whole = [](double v) { return v == std::floor(v) && std::abs(v) <= 1e9; };
    bool rectangle = q[1].Y == q[0].Y && q[2].X == q[1].X && q[3].Y == q[2].Y && q[3].X == q[0].X;
    for (const TPointF& p : q) rectangle = rectangle && whole(p.X) && whole(p.Y);
    return rectangle;
}

double Distance(const TPointF& a, const TPointF& b) { return std::hypot(a.X - b.X, a.Y - b.Y); }

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

TChartGeometry::TChartGeometry(const TSelection& rect, int columns, int rows)
    : rect_(rect), columns_(columns), rows_(rows) {}

TChartGeometry TChartGeometry::FromCorners(const TQuad& corners, int columns, int rows) {
    const TSquareToQuad map(corners);
    if (IsWholePixelRectangle(corners))
        return TChartGeometry({static_cast<int>(corners[0].X), static_cast<int>(corners[0].Y),
                               static_cast<int>(corners[2].X), static_cast<int>(corners[2].Y)},
                              columns, rows);
    TChartGeometry g(TSelection{}, columns, rows);
    g.isQuad_ = true;
    g.corners_ = corners;
    g.map_ = map;
    return g;
}

TQuad TChartGeometry::Corners() const {
    if (isQuad_) return corners_;
    const double x1 = rect_.X1, y1 = rect_.Y1, x2 = rect_.X2, y2 = rect_.Y2;
    return {TPointF{x1, y1}, TPointF{x2, y1}, TPointF{x2, y2}, TPointF{x1, y2}};
}

TPointF TChartGeometry::PatchCenterPoint(int column, int row) const {
    if (columns_ < 1 || rows_ < 1) throw std::runtime_error("Dimension error");
    if (!isQuad_)
        return {static_cast<double>(CellCenter(rect_.X1, rect_.X2, column, columns_)),
                static_cast<double>(CellCenter(rect_.Y1, rect_.Y2, row, rows_))};
    return map_.Map(static_cast<double>((column + 0.5L) / columns_), static_cast<double>((row + 0.5L) / rows_));
}

void TChartGeometry::PatchCenter(int column, int row, int& x, int& y) const {
    const TPointF c = PatchCenterPoint(column, row);
    // Far-away centres are held inside the 32-bit range (the sampler clips to the picture anyway).
    x = static_cast<int>(std::clamp(std::floor(c.X), -1e9, 1e9));
    y = static_cast<int>(std::clamp(std::floor(c.Y), -1e9, 1e9));
}

int TChartGeometry::CellSize(bool horizontal) const {
    if (columns_ < 1 || rows_ < 1) throw std::runtime_error("Dimension error");
    if (isQuad_) {
        const TQuad& q = corners_;
        const double edge = horizontal ? std::min(Distance(q[0], q[1]), Distance(q[3], q[2]))
                                       : std::min(Distance(q[0], q[3]), Distance(q[1], q[2]));
        return static_cast<int>(std::min(edge / (horizontal ? columns_ : rows_), 1e9));
    }
    const std::int64_t span = horizontal ? static_cast<std::int64_t>(rect_.X2) - rect_.X1
                                         : static_cast<std::int64_t>(rect_.Y2) - rect_.Y1;
    return static_cast<int>(std::llabs(span) / (horizontal ? columns_ : rows_));
}

int TChartGeometry::CornerNear(const TPointF& point, double reach) const {
    const TQuad corners = Corners();
    int nearest = -1;
    double best = reach;
    for (int k = 0; k < 4; ++k) {
        const double d = Distance(corners[static_cast<std::size_t>(k)], point);
        if (d <= best) best = d, nearest = k;
    }
    return nearest;
}

TChartGeometry TChartGeometry::WithCornerMovedTo(int corner, const TPointF& to) const {
    if (corner < 0 || corner > 3) throw std::out_of_range("corner index");
    TQuad corners = Corners();
    corners[static_cast<std::size_t>(corner)] = to;
    return FromCorners(corners, columns_, rows_);
}

TQuad ReorderedCorners(const TQuad& corners, int start, bool mirrored) {
    TQuad out;
    for (int k = 0; k < 4; ++k) {
        const int from = mirrored ? start - k : start + k;
        out[static_cast<std::size_t>(k)] = corners[static_cast<std::size_t>(((from % 4) + 4) % 4)];
    }
    return out;
}

int ChartOrientation(const TQuad& corners) {
    const double angle = std::atan2(corners[1].Y - corners[0].Y, corners[1].X - corners[0].X);
    const long quarter = std::lround(angle / (std::acos(-1.0) / 2));
    return static_cast<int>(((quarter % 4) + 4) % 4) * 90;
}

}  // namespace tintavo
