// tintavo-render-chart: renders a synthetic photograph of a ColorChecker Classic or Digital SG
// chart from the charts' reference colours, as a camera with a known colour error would see
// it, and prints where the chart lies in the working image (the picture reduced into
// 1500 x 1000 by the Open command): the selection rectangle of an upright chart, and the four
// patch-grid corners in chart order for any chart.
//
// The scene: a background (optionally with clutter shapes and tiled look-alike panels), the chart
// body (the frame colour, also between the patches) and the patches in a grid of equal cells,
// upright or placed by a pose (roll, tilt, size, position) or by its four corners. The camera
// model is described in tools/SceneRender.h.

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/Calibration.h"
#include "lut/ImageResize2.h"
#include "picture/Picture.h"
#include "tools/SceneRender.h"

using namespace tintavo;

namespace {

struct TOptions {
    scene::TScene Scene;
    bool GridGiven = false;
    bool CornersGiven = false;
    bool PoseGiven = false;
    scene::TChartPose Pose;
    int Quality = 90;
    TSampleDepth Depth = TSampleDepth::Bits8;
    std::string Output;
};

[[noreturn]] void Usage(const std::string& error) {
    if (!error.empty()) std::fprintf(stderr, "tintavo-render-chart: %s\n\n", error.c_str());
    std::fprintf(stderr, "Usage: tintavo-render-chart --chart %s|none --out FILE [options]\n",
                 ChartCommandNames("|", "|").c_str());
    std::fprintf(stderr,
                 "  --out FILE            .jpg, .bmp, .png, .tif, .dpx or .exr\n"
                 "  --size WxH            picture size in pixels (default 3000x2000)\n"
                 "  --grid L,T,R,B        upright patch grid in picture pixels (default: centred)\n"
                 "  --corners X1,Y1,...,X4,Y4  patch-grid corners in chart order, picture pixels\n"
                 "  --pose CX,CY,W,ROLL,TILTX,TILTY  chart centre and body width (picture = 1),\n"
                 "                        roll clockwise and tilts about the chart's axes (degrees)\n"
                 "  --background R,G,B    background colour, 0..255 (default 77,79,84)\n"
                 "  --frame R,G,B         chart body colour, 0..255 (default 20,20,20)\n"
                 "  --gap G               frame part of each cell, 0..0.9 (default 0.2)\n"
                 "  --margin M            chart body beyond the grid, in cells (default: one gap)\n"
                 "  --matrix m00,...,m22  camera colour matrix, row-major (default identity)\n"
                 "  --gamma gR,gG,gB      camera gamma per channel (default 1,1,1)\n"
                 "  --exposure STOPS      exposure error in stops (default 0)\n"
                 "  --blur SIGMA          lens blur, Gaussian sigma in picture pixels (default 0)\n"
                 "  --vignette V          brightness falls by V at the corners (default 0)\n"
                 "  --noise S             noise standard deviation in 8-bit steps (default 0)\n"
                 "  --clutter N           random shapes on the background (default 0)\n"
                 "  --mosaics N           panels of coloured tiles on the background (default 0)\n"
                 "  --seed N              noise and clutter seed (default 1)\n"
                 "  --quality Q           JPEG quality (default 90)\n"
                 "  --depth D             8, 10, 16, half or float, as the type of --out has them (default 8)\n");
    std::exit(2);
}

std::vector<double> Numbers(const std::string& text, std::size_t count, const char* option) {
    std::vector<double> values;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        char* end = nullptr;
        const double v = std::strtod(item.c_str(), &end);
        if (item.empty() || *end != '\0' || !std::isfinite(v)) Usage(std::string("bad number in ") + option);
        values.push_back(v);
    }
    if (values.size() != count) Usage(std::string(option) + " needs " + std::to_string(count) + " numbers");
    return values;
}

int Count(const std::string& value, const char* option) {
    const double v = Numbers(value, 1, option)[0];
    if (v < 0 || v > 1000 || v != std::floor(v)) Usage(std::string(option) + " is a whole number 0..1000");
    return static_cast<int>(v);
}

TOptions ParseArguments(int argc, char** argv) {
    TOptions o;
    scene::TScene& s = o.Scene;
    bool chartGiven = false;
    for (int i = 1; i < argc; ++i) {
        std::string key = argv[i];
        std::string value;
        const auto eq = key.find('=');
        if (eq != std::string::npos) {
            value = key.substr(eq + 1);
            key = key.substr(0, eq);
        } else if (key == "--help" || key == "-h") {
            Usage("");
        } else {
            if (i + 1 >= argc) Usage(key + " needs a value");
            value = argv[++i];
        }
        if (key == "--chart") {
            if (value == "none") {
                s.HasChart = false;
            } else {
                const TChartInfo* chart = FindChartByCommandName(value);
                if (chart == nullptr) Usage("--chart is " + ChartCommandNames(", ", ", ") + " or none");
                s.Chart = chart->Type;
            }
            chartGiven = true;
        } else if (key == "--out") {
            o.Output = value;
        } else if (key == "--size") {
            if (std::sscanf(value.c_str(), "%dx%d", &s.Width, &s.Height) != 2 || s.Width < 16 || s.Height < 16 ||
                static_cast<long long>(s.Width) * s.Height > MaxPicturePixels)
                Usage("bad --size");
        } else if (key == "--grid") {
            const auto v = Numbers(value, 4, "--grid");
            s.Grid = {TPointF{v[0], v[1]}, TPointF{v[2], v[1]}, TPointF{v[2], v[3]}, TPointF{v[0], v[3]}};
            o.GridGiven = true;
        } else if (key == "--corners") {
            const auto v = Numbers(value, 8, "--corners");
            for (std::size_t k = 0; k < 4; ++k) s.Grid[k] = {v[2 * k], v[2 * k + 1]};
            o.CornersGiven = true;
        } else if (key == "--pose") {
            const auto v = Numbers(value, 6, "--pose");
            o.Pose = {v[0], v[1], v[2], v[3], v[4], v[5]};
            if (o.Pose.Width <= 0 || o.Pose.Width > 2) Usage("--pose width is 0..2");
            if (std::abs(o.Pose.TiltX) >= 80 || std::abs(o.Pose.TiltY) >= 80) Usage("--pose tilts are below 80 degrees");
            o.PoseGiven = true;
        } else if (key == "--background" || key == "--frame") {
            const auto v = Numbers(value, 3, key.c_str());
            double* target = key == "--frame" ? s.Frame : s.Background;
            for (int k = 0; k < 3; ++k) target[k] = v[static_cast<std::size_t>(k)] / 255.0;
        } else if (key == "--gap") {
            s.Gap = Numbers(value, 1, "--gap")[0];
            if (s.Gap < 0 || s.Gap > 0.9) Usage("--gap is 0..0.9");
        } else if (key == "--margin") {
            s.Margin = Numbers(value, 1, "--margin")[0];
            if (s.Margin < 0 || s.Margin > 5) Usage("--margin is 0..5");
        } else if (key == "--matrix") {
            const auto v = Numbers(value, 9, "--matrix");
            for (int k = 0; k < 9; ++k) s.Matrix[k] = v[static_cast<std::size_t>(k)];
        } else if (key == "--gamma") {
            const auto v = Numbers(value, 3, "--gamma");
            for (int k = 0; k < 3; ++k) {
                if (v[static_cast<std::size_t>(k)] <= 0) Usage("--gamma values must be positive");
                s.Gamma[k] = v[static_cast<std::size_t>(k)];
            }
        } else if (key == "--exposure") {
            s.Exposure = Numbers(value, 1, "--exposure")[0];
            if (std::abs(s.Exposure) > 5) Usage("--exposure is -5..5");
        } else if (key == "--blur") {
            s.Blur = Numbers(value, 1, "--blur")[0];
            if (s.Blur < 0 || s.Blur > 50) Usage("--blur is 0..50");
        } else if (key == "--vignette") {
            s.Vignette = Numbers(value, 1, "--vignette")[0];
        } else if (key == "--noise") {
            s.Noise = Numbers(value, 1, "--noise")[0];
            if (s.Noise < 0) Usage("--noise must not be negative");
        } else if (key == "--clutter") {
            s.Clutter = Count(value, "--clutter");
        } else if (key == "--mosaics") {
            s.Mosaics = Count(value, "--mosaics");
        } else if (key == "--seed") {
            s.Seed = static_cast<unsigned>(Numbers(value, 1, "--seed")[0]);
        } else if (key == "--quality") {
            o.Quality = static_cast<int>(Numbers(value, 1, "--quality")[0]);
        } else if (key == "--depth") {
            if (!ParseSampleDepth(value, o.Depth) || o.Depth == TSampleDepth::Default) Usage("bad --depth");
        } else {
            Usage("unknown option " + key);
        }
    }
    if (!chartGiven) Usage("--chart is required");
    if (o.Output.empty()) Usage("--out is required");
    if (o.GridGiven + o.CornersGiven + o.PoseGiven > 1) Usage("give one of --grid, --corners and --pose");
    if (!s.HasChart) return o;
    if (o.PoseGiven) {
        s.Grid = scene::PoseCorners(s.Chart, o.Pose, s.Gap, s.Margin, s.Width, s.Height);
        s.Upright = false;
    } else if (o.CornersGiven) {
        s.Upright = false;
        try {
            (void)TSquareToQuad(s.Grid);
        } catch (const std::exception& e) {
            Usage(std::string("--corners: ") + e.what());
        }
    } else if (!o.GridGiven) {
        // Square cells, the grid centred and about 60 % of the picture wide.
        const TChartInfo& chart = ChartInfo(s.Chart);
        const double cols = chart.Columns, rows = chart.Rows;
        double w = 0.6 * s.Width;
        double h = w * rows / cols;
        if (h > 0.75 * s.Height) {
            h = 0.75 * s.Height;
            w = h * cols / rows;
        }
        const double l = std::round((s.Width - w) / 2), t = std::round((s.Height - h) / 2);
        const double r = l + std::round(w), b = t + std::round(h);
        s.Grid = {TPointF{l, t}, TPointF{r, t}, TPointF{r, b}, TPointF{l, b}};
    }
    if (s.Upright && (s.Grid[2].X <= s.Grid[0].X || s.Grid[2].Y <= s.Grid[0].Y)) Usage("--grid needs L < R and T < B");
    return o;
}

// A picture coordinate in the working image, to the nearest pixel.
int ToWorking(double coordinate, int sourceSize, int workingSize) {
    return static_cast<int>(std::lround(scene::ToWorkingCoordinate(coordinate, sourceSize, workingSize)));
}

}  // namespace

int main(int argc, char** argv) {
    const TOptions options = ParseArguments(argc, argv);
    const scene::TScene& scene = options.Scene;
    try {
        TBitmap24 picture;
        if (options.Depth == TSampleDepth::Bits8) {
            scene::RenderScene(scene, picture);
            SavePicture(options.Output, picture, options.Quality);
        } else {
            TPreciseImage deep;
            scene::RenderScene(scene, picture, &deep);
            SavePreciseImage(options.Output, deep, options.Depth);
        }
        int ww = 0, wh = 0;
        FitSize(scene.Width, scene.Height, WorkingWidth, WorkingHeight, ww, wh);
        if (!scene.HasChart) {
            std::printf("Picture: %s, %d x %d, no chart\n", options.Output.c_str(), scene.Width, scene.Height);
            std::printf("Working image: %d x %d\n", ww, wh);
            return 0;
        }
        const TQuad& g = scene.Grid;
        if (scene.Upright) {
            std::printf("Picture: %s, %d x %d, chart grid %g,%g,%g,%g\n", options.Output.c_str(), scene.Width,
                        scene.Height, g[0].X, g[0].Y, g[2].X, g[2].Y);
            std::printf("Working image: %d x %d\n", ww, wh);
            std::printf("Selection: X1=%d Y1=%d X2=%d Y2=%d\n", ToWorking(g[0].X, scene.Width, ww),
                        ToWorking(g[0].Y, scene.Height, wh), ToWorking(g[2].X, scene.Width, ww),
                        ToWorking(g[2].Y, scene.Height, wh));
        } else {
            std::printf("Picture: %s, %d x %d, chart corners %.2f,%.2f,%.2f,%.2f,%.2f,%.2f,%.2f,%.2f\n",
                        options.Output.c_str(), scene.Width, scene.Height, g[0].X, g[0].Y, g[1].X, g[1].Y, g[2].X,
                        g[2].Y, g[3].X, g[3].Y);
            std::printf("Working image: %d x %d\n", ww, wh);
        }
        const TQuad w = scene::ToWorkingCorners(g, scene.Width, scene.Height);
        std::printf("Corners: %.3f,%.3f,%.3f,%.3f,%.3f,%.3f,%.3f,%.3f\n", w[0].X, w[0].Y, w[1].X, w[1].Y, w[2].X,
                    w[2].Y, w[3].X, w[3].Y);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tintavo-render-chart: %s\n", e.what());
        return 1;
    }
    return 0;
}
