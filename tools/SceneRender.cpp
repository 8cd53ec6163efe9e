#include "tools/SceneRender.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <stdexcept>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "lut/ImageResize2.h"
#include "picture/Picture.h"

namespace tintavo::scene {

namespace {

constexpr double kPi = 3.14159265358979323846;

using TColour = std::array<double, 3>;

// A surface colour as the camera records it, still without blur, vignetting and noise (0..1).
TColour CameraColour(const TScene& s, const double in[3]) {
    double lit[3] = {in[0], in[1], in[2]};
    if (s.Exposure != 0) {
        const double gain = std::pow(2.0, s.Exposure);
        for (double& v : lit) v = std::pow(std::pow(std::max(v, 0.0), 2.2) * gain, 1 / 2.2);
    }
    TColour out;
    for (int k = 0; k < 3; ++k) {
        double v = s.Matrix[3 * k] * lit[0] + s.Matrix[3 * k + 1] * lit[1] + s.Matrix[3 * k + 2] * lit[2];
        v = v < 0 ? 0 : (v > 1 ? 1 : v);
        out[static_cast<std::size_t>(k)] = std::pow(v, s.Gamma[k]);
    }
    return out;
}

double Margin(const TScene& s) { return s.Margin < 0 ? s.Gap : s.Margin; }

TColour RandomColour(std::mt19937& rng, bool vivid) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    if (!vivid) {
        const double base = 0.1 + 0.8 * unit(rng);
        return {std::clamp(base + 0.1 * (unit(rng) - 0.5), 0.0, 1.0),
                std::clamp(base + 0.1 * (unit(rng) - 0.5), 0.0, 1.0),
                std::clamp(base + 0.1 * (unit(rng) - 0.5), 0.0, 1.0)};
    }
    // A hue, a saturation of at least one half and a value of at least 0.3.
    const double h = 6 * unit(rng), sat = 0.5 + 0.5 * unit(rng), val = 0.3 + 0.7 * unit(rng);
    const int sector = static_cast<int>(h) % 6;
    const double f = h - std::floor(h);
    const double p = val * (1 - sat), q = val * (1 - sat * f), t = val * (1 - sat * (1 - f));
    switch (sector) {
        case 0: return {val, t, p};
        case 1: return {q, val, p};
        case 2: return {p, val, t};
        case 3: return {p, q, val};
        case 4: return {t, p, val};
        default: return {val, p, q};
    }
}

// Draws the clutter into an id map (one id per surface, appended to `surfaces`).
class TClutter {
public:
    TClutter(const TScene& s, std::vector<TColour>& surfaces, std::uint16_t background)
        : s_(s), surfaces_(surfaces), rng_(s.Seed * 7919u + 17u),
          ids_(s.Height, s.Width, CV_16U, cv::Scalar(background)) {}

    void Shapes(int count) {
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        const double w = s_.Width, h = s_.Height;
        for (int i = 0; i < count; ++i) {
            const std::uint16_t id = Add(RandomColour(rng_, unit(rng_) < 0.6));
            const cv::Point2d c(unit(rng_) * w, unit(rng_) * h);
            const double size = w * (0.02 + 0.2 * unit(rng_) * unit(rng_));
            const double angle = 180 * unit(rng_);
            switch (static_cast<int>(unit(rng_) * 5)) {
                case 0: {  // rectangle
                    const cv::RotatedRect r(c, cv::Size2f(static_cast<float>(size), static_cast<float>(size * (0.3 + unit(rng_)))),
                                            static_cast<float>(angle));
                    Polygon(r, id);
                    break;
                }
                case 1:  // ellipse
                    cv::ellipse(ids_, c, cv::Size(static_cast<int>(size / 2), static_cast<int>(size * (0.2 + 0.5 * unit(rng_)))),
                                angle, 0, 360, cv::Scalar(id), cv::FILLED);
                    break;
                case 2: {  // a thick line
                    const double a = angle * kPi / 180;
                    const cv::Point2d d(std::cos(a) * size, std::sin(a) * size);
                    cv::line(ids_, c - d, c + d, cv::Scalar(id), std::max(2, static_cast<int>(size * 0.05 * (1 + 3 * unit(rng_)))));
                    break;
                }
                case 3: {  // triangle
                    std::vector<cv::Point> p;
                    for (int k = 0; k < 3; ++k)
                        p.emplace_back(static_cast<int>(c.x + size * (unit(rng_) - 0.5)),
                                       static_cast<int>(c.y + size * (unit(rng_) - 0.5)));
                    cv::fillConvexPoly(ids_, p, cv::Scalar(id));
                    break;
                }
                default: {  // stripes
                    const std::uint16_t other = Add(RandomColour(rng_, unit(rng_) < 0.5));
                    const int n = 3 + static_cast<int>(unit(rng_) * 8);
                    const double a = angle * kPi / 180;
                    const cv::Point2d along(std::cos(a), std::sin(a)), across(-std::sin(a), std::cos(a));
                    const double step = size / n;
                    for (int k = 0; k < n; ++k) {
                        const cv::Point2d o = c + across * (step * (k - n / 2.0));
                        cv::line(ids_, o - along * size / 2, o + along * size / 2, cv::Scalar(k % 2 ? id : other),
                                 std::max(1, static_cast<int>(step)));
                    }
                }
            }
        }
    }

    // Panels of tiles in a grid with dark grout; every other panel takes its tile colours from a
    // shuffled chart reference, the others are random. Nothing of a real chart's order survives.
    void Mosaics(int count) {
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        for (int i = 0; i < count; ++i) {
            const int cols = 3 + static_cast<int>(unit(rng_) * 10), rows = 3 + static_cast<int>(unit(rng_) * 8);
            const double tile = s_.Width * (0.012 + 0.04 * unit(rng_));
            const double gap = 0.1 + 0.2 * unit(rng_);
            const double a = (unit(rng_) < 0.5 ? 0 : 360 * unit(rng_)) * kPi / 180;
            const cv::Point2d along(std::cos(a), std::sin(a)), across(-std::sin(a), std::cos(a));
            const cv::Point2d origin(unit(rng_) * s_.Width, unit(rng_) * s_.Height);
            const std::uint16_t grout = Add({0.03 + 0.1 * unit(rng_), 0.03 + 0.1 * unit(rng_), 0.03 + 0.1 * unit(rng_)});
            auto quad = [&](double x0, double y0, double x1, double y1) {
                std::vector<cv::Point> p;
                for (const auto& q : {cv::Point2d(x0, y0), cv::Point2d(x1, y0), cv::Point2d(x1, y1), cv::Point2d(x0, y1)}) {
                    const cv::Point2d r = origin + along * (q.x * tile) + across * (q.y * tile);
                    p.emplace_back(static_cast<int>(std::lround(r.x * 16)), static_cast<int>(std::lround(r.y * 16)));
                }
                return p;
            };
            cv::fillConvexPoly(ids_, quad(-gap, -gap, cols + gap, rows + gap), cv::Scalar(grout), cv::LINE_8, 4);
            const bool fromChart = i % 2 == 0;
            const TChartType chart = unit(rng_) < 0.5 ? TChartType::Classic : TChartType::DigitalSG;
            const TLutColor* reference = ChartReference(chart);
            std::vector<int> order(static_cast<std::size_t>(ChartPatchCount(chart)));
            for (std::size_t k = 0; k < order.size(); ++k) order[k] = static_cast<int>(k);
            std::shuffle(order.begin(), order.end(), rng_);
            for (int y = 0; y < rows; ++y)
                for (int x = 0; x < cols; ++x) {
                    TColour colour = RandomColour(rng_, unit(rng_) < 0.7);
                    if (fromChart) {
                        const TLutColor& c = reference[order[static_cast<std::size_t>(y * cols + x) % order.size()]];
                        colour = {c.R, c.G, c.B};
                    }
                    const std::uint16_t id = Add(colour);
                    cv::fillConvexPoly(ids_, quad(x + gap / 2, y + gap / 2, x + 1 - gap / 2, y + 1 - gap / 2),
                                       cv::Scalar(id), cv::LINE_8, 4);
                }
        }
    }

    const cv::Mat& Ids() const { return ids_; }

private:
    std::uint16_t Add(const TColour& c) {
        if (surfaces_.size() >= 65535) throw std::runtime_error("too many clutter surfaces");
        surfaces_.push_back(c);
        return static_cast<std::uint16_t>(surfaces_.size() - 1);
    }
    void Polygon(const cv::RotatedRect& r, std::uint16_t id) {
        cv::Point2f p[4];
        r.points(p);
        std::vector<cv::Point> q;
        for (const auto& v : p) q.emplace_back(static_cast<int>(std::lround(v.x * 16)), static_cast<int>(std::lround(v.y * 16)));
        cv::fillConvexPoly(ids_, q, cv::Scalar(id), cv::LINE_8, 4);
    }

    const TScene& s_;
    std::vector<TColour>& surfaces_;
    std::mt19937 rng_;
    cv::Mat ids_;
};

}  // namespace

TQuad PoseCorners(TChartType chart, const TChartPose& pose, double gap, double margin, int width, int height) {
    const double columns = ChartColumns(chart), rows = ChartRows(chart);
    if (margin < 0) margin = gap;
    const double f = width;
    const double roll = pose.Roll * kPi / 180, tx = pose.TiltX * kPi / 180, ty = pose.TiltY * kPi / 180;
    const double bodyWidth = columns + 2 * margin;
    const double distance = f * bodyWidth / std::max(1.0, pose.Width * width);
    auto project = [&](double x, double y) {
        // Chart plane, centred; rolled in plane, tilted about x, then about y; pushed away and projected.
        double X = x - columns / 2, Y = y - rows / 2, Z = 0;
        const double xr = X * std::cos(roll) - Y * std::sin(roll), yr = X * std::sin(roll) + Y * std::cos(roll);
        X = xr, Y = yr;
        const double y2 = Y * std::cos(tx) - Z * std::sin(tx), z2 = Y * std::sin(tx) + Z * std::cos(tx);
        Y = y2, Z = z2;
        const double x3 = X * std::cos(ty) + Z * std::sin(ty), z3 = -X * std::sin(ty) + Z * std::cos(ty);
        X = x3, Z = z3 + distance;
        return TPointF{f * X / Z, f * Y / Z};
    };
    const TPointF body[4] = {project(-margin, -margin), project(columns + margin, -margin),
                             project(columns + margin, rows + margin), project(-margin, rows + margin)};
    double minX = body[0].X, maxX = minX, minY = body[0].Y, maxY = minY;
    for (const TPointF& p : body) {
        minX = std::min(minX, p.X), maxX = std::max(maxX, p.X);
        minY = std::min(minY, p.Y), maxY = std::max(maxY, p.Y);
    }
    const double scale = pose.Width * width / (maxX - minX);
    const double cx = (minX + maxX) / 2, cy = (minY + maxY) / 2;
    TQuad grid = {project(0, 0), project(columns, 0), project(columns, rows), project(0, rows)};
    for (TPointF& p : grid) {
        p.X = (p.X - cx) * scale + pose.CentreX * width;
        p.Y = (p.Y - cy) * scale + pose.CentreY * height;
    }
    return grid;
}

TVariedScene VariedScene(unsigned seed, int index, bool withChart, TChartType chart) {
    std::mt19937 rng(seed * 1000003u + static_cast<unsigned>(index) * 7919u + (withChart ? 1u : 2u));
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    auto between = [&](double lo, double hi) { return lo + (hi - lo) * unit(rng); };
    static const int kSizes[][2] = {{3000, 2000}, {4000, 3000}, {4500, 3000}, {5184, 3456}, {6000, 4000}};
    TVariedScene v;
    TScene& s = v.Scene;
    const int* size = kSizes[static_cast<std::size_t>(unit(rng) * 5) % 5];
    s.Width = size[0], s.Height = size[1];
    s.HasChart = withChart;
    s.Chart = chart;
    s.Upright = false;
    s.Seed = seed * 31u + static_cast<unsigned>(index);
    const double grey = between(0.15, 0.6);
    for (double& c : s.Background) c = std::clamp(grey + between(-0.05, 0.05), 0.0, 1.0);
    const double frame = between(0.04, 0.16);
    for (double& c : s.Frame) c = frame;
    s.Gap = between(0.12, 0.3);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) s.Matrix[3 * r + c] = r == c ? between(0.9, 1.05) : between(-0.06, 0.08);
    for (double& g : s.Gamma) g = between(0.85, 1.2);
    s.Exposure = between(-1.0 / 3, 1.0 / 3);
    const double toPicture = static_cast<double>(s.Width) / 1500;  // working pixels to picture pixels
    s.Blur = unit(rng) < 0.5 ? between(0, 1.2) * toPicture : 0;
    s.Vignette = between(0, 0.3);
    s.Noise = between(0.5, 4);
    s.Clutter = withChart ? (unit(rng) < 0.7 ? static_cast<int>(between(5, 40)) : 0) : static_cast<int>(between(10, 60));
    s.Mosaics = withChart ? (unit(rng) < 0.3 ? 1 : 0) : static_cast<int>(between(0, 3.99));
    v.Quality = static_cast<int>(between(85, 96));
    if (withChart) {
        TChartPose& p = v.Pose;
        p.Roll = 90 * (index % 4) + between(-25, 25);
        // Tilt up to 35 degrees in a random direction.
        const double tilt = between(0, 35), direction = between(0, 2 * kPi);
        p.TiltX = tilt * std::cos(direction), p.TiltY = tilt * std::sin(direction);
        p.Width = std::exp(between(std::log(0.15), std::log(0.6)));
        // Keep the whole chart body inside the picture with a small border.
        for (int attempt = 0; attempt < 50; ++attempt) {
            p.CentreX = between(0.2, 0.8), p.CentreY = between(0.2, 0.8);
            const double m = s.Gap;
            s.Grid = PoseCorners(chart, p, s.Gap, m, s.Width, s.Height);
            const TSquareToQuad map(s.Grid);
            const double cols = ChartColumns(chart), rows = ChartRows(chart);
            bool inside = true;
            for (const auto& c : {std::pair{-m, -m}, std::pair{cols + m, -m}, std::pair{cols + m, rows + m}, std::pair{-m, rows + m}}) {
                const TPointF q = map.Map(c.first / cols, c.second / rows);
                inside = inside && q.X > 0.02 * s.Width && q.X < 0.98 * s.Width && q.Y > 0.02 * s.Height && q.Y < 0.98 * s.Height;
            }
            if (inside) break;
            p.Width *= 0.95;
        }
        char text[200];
        std::snprintf(text, sizeof text, "%s %dx%d roll %.0f tilt %.0f,%.0f width %.2f blur %.1f noise %.1f exp %+.2f clutter %d mosaics %d",
                      chart == TChartType::Classic ? "classic" : "sg", s.Width, s.Height, p.Roll, p.TiltX, p.TiltY, p.Width,
                      s.Blur / toPicture, s.Noise, s.Exposure, s.Clutter, s.Mosaics);
        v.Description = text;
    } else {
        char text[120];
        std::snprintf(text, sizeof text, "none %dx%d clutter %d mosaics %d", s.Width, s.Height, s.Clutter, s.Mosaics);
        v.Description = text;
    }
    return v;
}

void RenderScene(const TScene& s, TBitmap24& picture, TPreciseImage* deep) {
    const TChartInfo& chart = ChartInfo(s.Chart);
    const int columns = s.HasChart ? chart.Columns : 0, rows = s.HasChart ? chart.Rows : 0;

    // Camera colours of every surface: the patches, then the frame, then the background, then
    // the clutter.
    std::vector<TColour> surfaces(static_cast<std::size_t>(columns * rows + 2));
    for (int row = 0; row < rows; ++row)
        for (int col = 0; col < columns; ++col) {
            const TLutColor& c = chart.Reference[chart.PatchIndex(col, row)];
            surfaces[static_cast<std::size_t>(row * columns + col)] = {c.R, c.G, c.B};
        }
    const std::size_t frame = static_cast<std::size_t>(columns * rows), background = frame + 1;
    surfaces[frame] = {s.Frame[0], s.Frame[1], s.Frame[2]};
    surfaces[background] = {s.Background[0], s.Background[1], s.Background[2]};

    cv::Mat ids;
    if (s.Clutter > 0 || s.Mosaics > 0) {
        TClutter clutter(s, surfaces, static_cast<std::uint16_t>(background));
        clutter.Mosaics(s.Mosaics);
        clutter.Shapes(s.Clutter);
        ids = clutter.Ids();
    }
    std::vector<TColour> colours(surfaces.size());
    for (std::size_t k = 0; k < surfaces.size(); ++k) colours[k] = CameraColour(s, surfaces[k].data());

    // Chart surfaces. Upright charts use the plain cell arithmetic; others map every pixel back
    // into the chart's cell coordinates through the inverse of the grid's homography.
    const double margin = Margin(s), half = s.Gap / 2;
    const double left = s.Grid[0].X, top = s.Grid[0].Y, right = s.Grid[2].X, bottom = s.Grid[2].Y;
    const double cellW = (right - left) / std::max(columns, 1), cellH = (bottom - top) / std::max(rows, 1);
    const double marginX = margin * cellW, marginY = margin * cellH;
    cv::Matx33d toCells = cv::Matx33d::eye();
    int x0 = 0, x1 = -1, y0 = 0, y1 = -1;  // the body's bounding box
    if (s.HasChart) {
        std::vector<cv::Point2f> from, to;
        for (int k = 0; k < 4; ++k) from.emplace_back(static_cast<float>(s.Grid[static_cast<std::size_t>(k)].X),
                                                      static_cast<float>(s.Grid[static_cast<std::size_t>(k)].Y));
        to = {{0, 0}, {static_cast<float>(columns), 0}, {static_cast<float>(columns), static_cast<float>(rows)},
              {0, static_cast<float>(rows)}};
        const cv::Mat h = cv::getPerspectiveTransform(from, to, cv::DECOMP_SVD);
        toCells = cv::Matx33d(h.ptr<double>());
        const TSquareToQuad toPicture(s.Grid);
        double minX = 1e18, maxX = -1e18, minY = 1e18, maxY = -1e18;
        for (const auto& c : {std::pair{-margin, -margin}, std::pair{columns + margin, -margin},
                              std::pair{columns + margin, rows + margin}, std::pair{-margin, rows + margin}}) {
            const TPointF p = toPicture.Map(c.first / columns, c.second / rows);
            minX = std::min(minX, p.X), maxX = std::max(maxX, p.X), minY = std::min(minY, p.Y), maxY = std::max(maxY, p.Y);
        }
        x0 = std::max(0, static_cast<int>(std::floor(minX)) - 1), x1 = std::min(s.Width - 1, static_cast<int>(std::ceil(maxX)) + 1);
        y0 = std::max(0, static_cast<int>(std::floor(minY)) - 1), y1 = std::min(s.Height - 1, static_cast<int>(std::ceil(maxY)) + 1);
    }
    auto chartSurface = [&](double px, double py, std::size_t surface) {
        if (s.Upright) {
            if (px >= left - marginX && px < right + marginX && py >= top - marginY && py < bottom + marginY) {
                surface = frame;
                const double u = (px - left) / cellW, v = (py - top) / cellH;
                if (u >= 0 && v >= 0 && u < columns && v < rows) {
                    const double fu = u - std::floor(u), fv = v - std::floor(v);
                    if (fu >= half && fu < 1 - half && fv >= half && fv < 1 - half)
                        surface = static_cast<std::size_t>(static_cast<int>(v) * columns + static_cast<int>(u));
                }
            }
            return surface;
        }
        const double w = toCells(2, 0) * px + toCells(2, 1) * py + toCells(2, 2);
        const double u = (toCells(0, 0) * px + toCells(0, 1) * py + toCells(0, 2)) / w;
        const double v = (toCells(1, 0) * px + toCells(1, 1) * py + toCells(1, 2)) / w;
        if (u >= -margin && u < columns + margin && v >= -margin && v < rows + margin) {
            surface = frame;
            if (u >= 0 && v >= 0 && u < columns && v < rows) {
                const double fu = u - std::floor(u), fv = v - std::floor(v);
                if (fu >= half && fu < 1 - half && fv >= half && fv < 1 - half)
                    surface = static_cast<std::size_t>(static_cast<int>(v) * columns + static_cast<int>(u));
            }
        }
        return surface;
    };

    const double cx = s.Width / 2.0, cy = s.Height / 2.0;
    const double r2max = cx * cx + cy * cy;
    std::mt19937 rng(s.Seed);
    std::normal_distribution<double> noise(0.0, s.Noise > 0 ? s.Noise : 1.0);
    if (deep) deep->SetSize(s.Width, s.Height);
    else picture.SetSize(s.Width, s.Height);
    cv::Mat blurred;  // the image before noise, 8-bit scale, when blurring
    if (s.Blur > 0 || deep) blurred.create(s.Height, s.Width, CV_32FC3);
    auto noisy = [&](double v) { return s.Noise > 0 ? v + noise(rng) : v; };
    auto finish = [&](double v) {
        v = std::nearbyint(noisy(v));
        return static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
    };
    for (int y = 0; y < s.Height; ++y) {
        std::uint8_t* p = deep ? nullptr : picture.ScanLine(y);
        float* b = blurred.empty() ? nullptr : blurred.ptr<float>(y);
        const std::uint16_t* idRow = ids.empty() ? nullptr : ids.ptr<std::uint16_t>(y);
        const double py = y + 0.5;
        for (int x = 0; x < s.Width; ++x, p = p ? p + 3 : nullptr) {
            const double px = x + 0.5;
            std::size_t surface = idRow ? idRow[x] : background;
            if (s.HasChart && y >= y0 && y <= y1 && x >= x0 && x <= x1) surface = chartSurface(px, py, surface);
            const double dx = px - cx, dy = py - cy;
            const double light = 1.0 - s.Vignette * (dx * dx + dy * dy) / r2max;
            for (int k = 0; k < 3; ++k) {
                const double v = colours[surface][static_cast<std::size_t>(k)] * light * 255.0;
                if (b) b[3 * x + 2 - k] = static_cast<float>(v);
                else p[2 - k] = finish(v);
            }
        }
    }
    if (s.Blur > 0) cv::GaussianBlur(blurred, blurred, cv::Size(0, 0), s.Blur, s.Blur, cv::BORDER_REFLECT);
    if (deep) {
        // Unrounded, on 0..1, red first.
        for (int y = 0; y < s.Height; ++y) {
            float* f = deep->Row(y);
            const float* b = blurred.ptr<float>(y);
            for (int x = 0; x < s.Width; ++x)
                for (int k = 0; k < 3; ++k) {
                    const double v = noisy(b[3 * x + 2 - k]);
                    f[3 * x + k] = static_cast<float>(v < 0 ? 0 : (v > 255 ? 1 : v / 255.0));
                }
        }
    } else if (s.Blur > 0) {
        for (int y = 0; y < s.Height; ++y) {
            std::uint8_t* p = picture.ScanLine(y);
            const float* b = blurred.ptr<float>(y);
            for (int x = 0; x < 3 * s.Width; ++x) p[x] = finish(b[x]);
        }
    }
}

double ToWorkingCoordinate(double coordinate, int sourceSize, int workingSize) {
    if (workingSize == sourceSize) return coordinate;
    const double k = (workingSize == 1 || sourceSize == 1) ? static_cast<double>(workingSize) / sourceSize
                                                          : static_cast<double>(workingSize - 1) / (sourceSize - 1);
    return (coordinate - 0.5) * k + 0.5;
}

TQuad ToWorkingCorners(const TQuad& corners, int width, int height) {
    int ww = 0, wh = 0;
    FitSize(width, height, WorkingWidth, WorkingHeight, ww, wh);
    TQuad out;
    for (std::size_t k = 0; k < 4; ++k)
        out[k] = {ToWorkingCoordinate(corners[k].X, width, ww), ToWorkingCoordinate(corners[k].Y, height, wh)};
    return out;
}

}  // namespace tintavo::scene
