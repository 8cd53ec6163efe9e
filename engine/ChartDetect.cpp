#include "engine/ChartDetect.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <vector>

#include <opencv2/calib3d.hpp>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "engine/ChartFit.h"

namespace tintavo {

namespace {

// One patch-like shape: a convex quadrilateral of a plausible size.
struct TPatchShape {
    cv::Point2d Centre;
    cv::Point2d Side1, Side2;  // side vectors of the quadrilateral
    double Area = 0;
};

// A patch shape placed on the lattice of its chart.
struct TLatticeNode {
    int Shape = 0;
    int I = 0, J = 0;
};

// The eight ways the chart's (column, row) axes can lie on the lattice's (i, j) axes.
struct TAxes {
    int A, B, C, D;  // i = A column + B row, j = C column + D row
};
constexpr TAxes kAxes[8] = {{1, 0, 0, 1},  {0, -1, 1, 0}, {-1, 0, 0, -1}, {0, 1, -1, 0},
                            {-1, 0, 0, 1}, {1, 0, 0, -1}, {0, 1, 1, 0},   {0, -1, -1, 0}};

// Outer boundaries of the white regions of `binary` that look like patches.
void CollectShapes(const cv::Mat& binary, double minArea, double maxArea, std::vector<TPatchShape>& out) {
    std::vector<std::vector<cv::Point>> contours;
    std::vector<cv::Vec4i> hierarchy;
    cv::findContours(binary, contours, hierarchy, cv::RETR_CCOMP, cv::CHAIN_APPROX_SIMPLE);
    std::vector<cv::Point> poly;
    for (std::size_t i = 0; i < contours.size(); ++i) {
        if (hierarchy[i][3] != -1) continue;  // a hole
        const std::vector<cv::Point>& c = contours[i];
        if (c.size() < 4) continue;
        const cv::Rect box = cv::boundingRect(c);
        if (box.width < 4 || box.height < 4) continue;
        if (static_cast<double>(box.width) * box.height < minArea || static_cast<double>(box.width) * box.height > 4 * maxArea) continue;
        const double area = cv::contourArea(c);
        if (area < minArea || area > maxArea) continue;
        const double perimeter = cv::arcLength(c, true);
        cv::approxPolyDP(c, poly, 0.06 * perimeter, true);
        if (poly.size() != 4 || !cv::isContourConvex(poly)) continue;
        const double polyArea = cv::contourArea(poly);
        if (polyArea <= 0 || area / polyArea < 0.85 || area / polyArea > 1.15) continue;
        const cv::Point2d p0 = poly[0], p1 = poly[1], p2 = poly[2], p3 = poly[3];
        const cv::Point2d s1 = (p1 - p0 + p2 - p3) * 0.5, s2 = (p3 - p0 + p2 - p1) * 0.5;
        const double l1 = std::hypot(s1.x, s1.y), l2 = std::hypot(s2.x, s2.y);
        if (l1 < 3 || l2 < 3 || std::max(l1, l2) > 2.5 * std::min(l1, l2)) continue;
        if (std::abs(s1.dot(s2)) > 0.6 * l1 * l2) continue;
        const cv::Moments m = cv::moments(c);
        TPatchShape s;
        s.Centre = {m.m10 / m.m00, m.m01 / m.m00};
        s.Side1 = s1, s.Side2 = s2;
        s.Area = area;
        out.push_back(s);
    }
}

// Drops shapes found twice (by several binarisations): of shapes whose centres lie within a
// third of a side of each other, the larger stays.
void RemoveDuplicates(std::vector<TPatchShape>& shapes) {
    std::sort(shapes.begin(), shapes.end(), [](const TPatchShape& a, const TPatchShape& b) { return a.Area > b.Area; });
    std::vector<TPatchShape> kept;
    for (const TPatchShape& s : shapes) {
        const double reach = 0.35 * std::sqrt(s.Area);
        bool duplicate = false;
        for (const TPatchShape& k : kept)
            if (std::abs(k.Centre.x - s.Centre.x) < reach && std::abs(k.Centre.y - s.Centre.y) < reach) {
                duplicate = true;
                break;
            }
        if (!duplicate) kept.push_back(s);
    }
    shapes.swap(kept);
}

// The offset d in the basis (u, v): d = a u + b v.
bool InBasis(const cv::Point2d& u, const cv::Point2d& v, const cv::Point2d& d, double& a, double& b) {
    const double det = u.x * v.y - u.y * v.x;
    if (std::abs(det) < 1e-9) return false;
    a = (d.x * v.y - d.y * v.x) / det;
    b = (u.x * d.y - u.y * d.x) / det;
    return true;
}

// Whether `to` is the next patch of `from` along one of from's sides.
bool IsNeighbourStep(const TPatchShape& from, const TPatchShape& to) {
    double a, b;
    if (!InBasis(from.Side1, from.Side2, to.Centre - from.Centre, a, b)) return false;
    a = std::abs(a), b = std::abs(b);
    if (a < b) std::swap(a, b);
    return a > 1.02 && a < 1.9 && b < 0.3;
}

// Groups the shapes into lattices: neighbouring patches of similar size one step apart along their
// sides get lattice coordinates one apart.
std::vector<std::vector<TLatticeNode>> BuildLattices(const std::vector<TPatchShape>& shapes) {
    const int n = static_cast<int>(shapes.size());
    std::vector<int> order(static_cast<std::size_t>(n));
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](int a, int b) { return shapes[static_cast<std::size_t>(a)].Centre.x < shapes[static_cast<std::size_t>(b)].Centre.x; });
    std::vector<std::vector<int>> links(static_cast<std::size_t>(n));
    for (int oi = 0; oi < n; ++oi) {
        const int i = order[static_cast<std::size_t>(oi)];
        const TPatchShape& a = shapes[static_cast<std::size_t>(i)];
        const double reach = 2.2 * std::sqrt(a.Area) + 2;
        for (int oj = oi + 1; oj < n; ++oj) {
            const int j = order[static_cast<std::size_t>(oj)];
            const TPatchShape& b = shapes[static_cast<std::size_t>(j)];
            if (b.Centre.x - a.Centre.x > reach) break;
            if (std::abs(b.Centre.y - a.Centre.y) > reach) continue;
            const double ratio = a.Area / b.Area;
            if (ratio > 1.8 || ratio < 1 / 1.8) continue;
            if (IsNeighbourStep(a, b) && IsNeighbourStep(b, a)) {
                links[static_cast<std::size_t>(i)].push_back(j);
                links[static_cast<std::size_t>(j)].push_back(i);
            }
        }
    }

    std::vector<std::vector<TLatticeNode>> lattices;
    std::vector<bool> seen(static_cast<std::size_t>(n), false);
    std::vector<cv::Point2d> axisU(static_cast<std::size_t>(n)), axisV(static_cast<std::size_t>(n));
    std::vector<TLatticeNode> queue;
    for (int seed = 0; seed < n; ++seed) {
        if (seen[static_cast<std::size_t>(seed)] || links[static_cast<std::size_t>(seed)].empty()) continue;
        queue.clear();
        queue.push_back({seed, 0, 0});
        seen[static_cast<std::size_t>(seed)] = true;
        axisU[static_cast<std::size_t>(seed)] = shapes[static_cast<std::size_t>(seed)].Side1;
        axisV[static_cast<std::size_t>(seed)] = shapes[static_cast<std::size_t>(seed)].Side2;
        for (std::size_t head = 0; head < queue.size(); ++head) {
            const TLatticeNode p = queue[head];
            const std::size_t ps = static_cast<std::size_t>(p.Shape);
            for (int q : links[ps]) {
                const std::size_t qs = static_cast<std::size_t>(q);
                if (seen[qs]) continue;
                double a, b;
                if (!InBasis(axisU[ps], axisV[ps], shapes[qs].Centre - shapes[ps].Centre, a, b)) continue;
                TLatticeNode node{q, p.I, p.J};
                if (std::abs(a) > std::abs(b)) node.I += a > 0 ? 1 : -1;
                else node.J += b > 0 ? 1 : -1;
                // Carry the lattice axes over to q's own sides, whichever way round they were found.
                const cv::Point2d& s1 = shapes[qs].Side1;
                const cv::Point2d& s2 = shapes[qs].Side2;
                const double along1 = s1.dot(axisU[ps]) / std::hypot(s1.x, s1.y);
                const double along2 = s2.dot(axisU[ps]) / std::hypot(s2.x, s2.y);
                if (std::abs(along1) >= std::abs(along2)) {
                    axisU[qs] = along1 >= 0 ? s1 : -s1;
                    axisV[qs] = s2.dot(axisV[ps]) >= 0 ? s2 : -s2;
                } else {
                    axisU[qs] = along2 >= 0 ? s2 : -s2;
                    axisV[qs] = s1.dot(axisV[ps]) >= 0 ? s1 : -s1;
                }
                seen[qs] = true;
                queue.push_back(node);
            }
        }
        lattices.push_back(queue);
    }
    return lattices;
}

// The mean colour (0..1) of a small window around (x, y) (pixel-index coordinates); false when the
// window leaves the picture.
bool SampleMean(const cv::Mat& bgr, double x, double y, int radius, TLutColor& out) {
    // Also refuses points a degenerate lattice throws to infinity.
    if (!(x >= radius && y >= radius && x <= bgr.cols - 1 - radius && y <= bgr.rows - 1 - radius)) return false;
    const int cx = static_cast<int>(std::lround(x)), cy = static_cast<int>(std::lround(y));
    if (cx - radius < 0 || cy - radius < 0 || cx + radius >= bgr.cols || cy + radius >= bgr.rows) return false;
    int sb = 0, sg = 0, sr = 0;
    for (int yy = cy - radius; yy <= cy + radius; ++yy) {
        const std::uint8_t* p = bgr.ptr<std::uint8_t>(yy) + 3 * (cx - radius);
        for (int xx = -radius; xx <= radius; ++xx, p += 3) sb += p[0], sg += p[1], sr += p[2];
    }
    const double count = (2 * radius + 1) * (2 * radius + 1) * 255.0;
    out = {sr / count, sg / count, sb / count};
    return true;
}

cv::Point2d MapPoint(const cv::Matx33d& h, double i, double j) {
    const double w = h(2, 0) * i + h(2, 1) * j + h(2, 2);
    return {(h(0, 0) * i + h(0, 1) * j + h(0, 2)) / w, (h(1, 0) * i + h(1, 1) * j + h(1, 2)) / w};
}

struct TCandidate {
    TChartType Chart = TChartType::Classic;
    double Score = -1;
    TQuad Corners{};
};

// Tries every placement of `chart` on one lattice and keeps the one whose colours fit best.
void TryChart(const cv::Mat& bgr, const std::vector<TLatticeNode>& nodes, const cv::Matx33d& toImage, double pitch,
              const TChartInfo& chart, TCandidate& best) {
    const int columns = chart.Columns, rows = chart.Rows, count = chart.PatchCount();
    int i0 = nodes[0].I, i1 = i0, j0 = nodes[0].J, j1 = j0;
    for (const TLatticeNode& n : nodes) i0 = std::min(i0, n.I), i1 = std::max(i1, n.I), j0 = std::min(j0, n.J), j1 = std::max(j1, n.J);
    // Handedness of the lattice in the picture: a chart is never seen mirrored.
    const double ci = (i0 + i1) / 2.0, cj = (j0 + j1) / 2.0;
    const cv::Point2d o = MapPoint(toImage, ci, cj), vi = MapPoint(toImage, ci + 1, cj) - o, vj = MapPoint(toImage, ci, cj + 1) - o;
    const double hand = vi.x * vj.y - vi.y * vj.x;
    const int radius = std::clamp(static_cast<int>(0.18 * pitch), 1, 3);
    const int needed = std::max(ChartFitTerms + 2, static_cast<int>(0.7 * static_cast<double>(nodes.size())));
    std::vector<TLutColor> measured(static_cast<std::size_t>(count));
    for (const TAxes& ax : kAxes) {
        if ((ax.A * ax.D - ax.B * ax.C) * hand <= 0) continue;
        // Lattice extent of the chart placed with its first patch at lattice (0, 0).
        const int ci0 = std::min({0, ax.A * (columns - 1), ax.B * (rows - 1), ax.A * (columns - 1) + ax.B * (rows - 1)});
        const int ci1 = std::max({0, ax.A * (columns - 1), ax.B * (rows - 1), ax.A * (columns - 1) + ax.B * (rows - 1)});
        const int cj0 = std::min({0, ax.C * (columns - 1), ax.D * (rows - 1), ax.C * (columns - 1) + ax.D * (rows - 1)});
        const int cj1 = std::max({0, ax.C * (columns - 1), ax.D * (rows - 1), ax.C * (columns - 1) + ax.D * (rows - 1)});
        // Offsets that put most of the lattice's patches on the chart.
        for (int ti = i0 - ci1; ti <= i1 - ci0; ++ti)
            for (int tj = j0 - cj1; tj <= j1 - cj0; ++tj) {
                int inside = 0;
                for (const TLatticeNode& n : nodes)
                    if (n.I >= ti + ci0 && n.I <= ti + ci1 && n.J >= tj + cj0 && n.J <= tj + cj1) ++inside;
                if (inside < needed) continue;
                bool ok = true;
                for (int row = 0; row < rows && ok; ++row)
                    for (int col = 0; col < columns && ok; ++col) {
                        const cv::Point2d p = MapPoint(toImage, ti + ax.A * col + ax.B * row, tj + ax.C * col + ax.D * row);
                        ok = SampleMean(bgr, p.x, p.y, radius, measured[static_cast<std::size_t>(chart.PatchIndex(col, row))]);
                    }
                if (!ok) continue;
                const double score = ChartFitScore(measured.data(), chart.Reference, count);
                if (score <= best.Score) continue;
                best.Score = score;
                best.Chart = chart.Type;
                const double corners[4][2] = {{-0.5, -0.5}, {columns - 0.5, -0.5}, {columns - 0.5, rows - 0.5}, {-0.5, rows - 0.5}};
                for (std::size_t k = 0; k < 4; ++k) {
                    const double col = corners[k][0], row = corners[k][1];
                    const cv::Point2d p = MapPoint(toImage, ti + ax.A * col + ax.B * row, tj + ax.C * col + ax.D * row);
                    // Pixel-index coordinates to pixel-covers-[i, i + 1) coordinates.
                    best.Corners[k] = {p.x + 0.5, p.y + 0.5};
                }
            }
    }
}

}  // namespace

std::optional<TDetectedChart> DetectChart(const TBitmap24& image, std::optional<TChartType> chart) {
    if (image.Empty()) return std::nullopt;
    const cv::Mat bgr(image.Height(), image.Width(), CV_8UC3, const_cast<std::uint8_t*>(image.Bits()),
                      static_cast<std::size_t>(image.Stride()));
    cv::Mat grey, smooth, edges, binary;
    cv::cvtColor(bgr, grey, cv::COLOR_BGR2GRAY);

    const double pictureArea = static_cast<double>(image.Width()) * image.Height();
    const double minArea = 30, maxArea = pictureArea / 16;
    std::vector<TPatchShape> shapes;
    // Patch outlines as edges: the regions enclosed by edges.
    cv::GaussianBlur(grey, smooth, cv::Size(3, 3), 0);
    cv::Canny(smooth, edges, 20, 50, 3, true);
    cv::dilate(edges, edges, cv::Mat());
    cv::bitwise_not(edges, binary);
    CollectShapes(binary, minArea, maxArea, shapes);
    // Patches brighter than their surroundings, at two neighbourhood sizes.
    for (int block : {15, 41}) {
        cv::adaptiveThreshold(grey, binary, 255, cv::ADAPTIVE_THRESH_MEAN_C, cv::THRESH_BINARY, block, -4);
        CollectShapes(binary, minArea, maxArea, shapes);
    }
    RemoveDuplicates(shapes);

    TCandidate best;
    for (const std::vector<TLatticeNode>& lattice : BuildLattices(shapes)) {
        if (lattice.size() < 6) continue;
        std::vector<cv::Point2f> from, to;
        double sideSum = 0;
        for (const TLatticeNode& n : lattice) {
            const TPatchShape& s = shapes[static_cast<std::size_t>(n.Shape)];
            from.emplace_back(static_cast<float>(n.I), static_cast<float>(n.J));
            to.emplace_back(static_cast<float>(s.Centre.x), static_cast<float>(s.Centre.y));
            sideSum += std::sqrt(s.Area);
        }
        const double side = sideSum / static_cast<double>(lattice.size());
        std::vector<unsigned char> inliers;
        const cv::Mat h = cv::findHomography(from, to, cv::RANSAC, std::max(1.0, 0.25 * side), inliers);
        if (h.empty()) continue;
        std::vector<TLatticeNode> kept;
        for (std::size_t k = 0; k < lattice.size(); ++k)
            if (inliers[k]) kept.push_back(lattice[k]);
        if (kept.size() < 6) continue;
        const cv::Matx33d toImage(h.ptr<double>());
        const cv::Point2d o = MapPoint(toImage, kept[0].I, kept[0].J);
        const cv::Point2d di = MapPoint(toImage, kept[0].I + 1, kept[0].J) - o;
        const cv::Point2d dj = MapPoint(toImage, kept[0].I, kept[0].J + 1) - o;
        const double pitch = std::min(std::hypot(di.x, di.y), std::hypot(dj.x, dj.y));
        for (const TChartInfo& info : Charts())
            if (!chart || *chart == info.Type) TryChart(bgr, kept, toImage, pitch, info, best);
    }
    if (best.Score < PlausibleFitScore) return std::nullopt;

    TDetectedChart found;
    found.Chart = best.Chart;
    found.Corners = best.Corners;
    found.Score = best.Score;
    found.Orientation = ChartOrientation(best.Corners);
    return found;
}

TChartGeometry TDetectedChart::Geometry() const {
    const TChartInfo& chart = ChartInfo(Chart);
    return TChartGeometry::FromCorners(Corners, chart.Columns, chart.Rows);
}

}  // namespace tintavo
