// tintavo-render-chart: renders a synthetic photograph of a ColorChecker Classic or Digital SG
// chart from the charts' reference colours, as a camera with a known colour error would see
// it, and prints the selection rectangle that fits the chart in the working image (the picture
// reduced into 1500 x 1000 by the Open command).
//
// The scene: a background, the chart body (the frame colour, also between the patches) and the
// patches in a grid of equal cells. Every surface colour c (0..1) then goes through the camera:
//   c' = clamp(M c, 0, 1) ^ gamma   per channel (M: 3 x 3 matrix, row-major)
// then vignetting (brightness x (1 - V r^2), r = distance from the picture centre over the
// half-diagonal), then Gaussian noise of the given standard deviation in 8-bit steps (seeded),
// then rounding to 8 bits.

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

#include "engine/ColorCheckersData.h"
#include "lut/ImageResize2.h"
#include "picture/Picture.h"

using namespace tintavo;

namespace {

struct TScene {
    TChartType Chart = TChartType::Classic;
    int Width = 3000;
    int Height = 2000;
    bool GridGiven = false;
    double Grid[4] = {0, 0, 0, 0};  // left, top, right, bottom of the patch grid, picture pixels
    double Background[3] = {0.30, 0.31, 0.33};
    double Frame[3] = {0.08, 0.08, 0.08};
    double Gap = 0.2;  // part of a cell that is frame, split over both sides of the patch
    double Matrix[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    double Gamma[3] = {1, 1, 1};
    double Vignette = 0;
    double Noise = 0;
    unsigned Seed = 1;
    int Quality = 90;
    TSampleDepth Depth = TSampleDepth::Bits8;
    std::string Output;
};

[[noreturn]] void Usage(const std::string& error) {
    if (!error.empty()) std::fprintf(stderr, "tintavo-render-chart: %s\n\n", error.c_str());
    std::fprintf(stderr, "Usage: tintavo-render-chart --chart %s --out FILE [options]\n", ChartCommandNames("|", "|").c_str());
    std::fprintf(stderr,
                 "  --out FILE            .jpg, .bmp, .png, .tif, .dpx or .exr\n"
                 "  --size WxH            picture size in pixels (default 3000x2000)\n"
                 "  --grid L,T,R,B        patch grid in picture pixels (default: centred)\n"
                 "  --background R,G,B    background colour, 0..255 (default 77,79,84)\n"
                 "  --frame R,G,B         chart body colour, 0..255 (default 20,20,20)\n"
                 "  --gap G               frame part of each cell, 0..0.9 (default 0.2)\n"
                 "  --matrix m00,...,m22  camera colour matrix, row-major (default identity)\n"
                 "  --gamma gR,gG,gB      camera gamma per channel (default 1,1,1)\n"
                 "  --vignette V          brightness falls by V at the corners (default 0)\n"
                 "  --noise S             noise standard deviation in 8-bit steps (default 0)\n"
                 "  --seed N              noise seed (default 1)\n"
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

TScene ParseArguments(int argc, char** argv) {
    TScene s;
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
            const TChartInfo* chart = FindChartByCommandName(value);
            if (chart == nullptr) Usage("--chart is " + ChartCommandNames("|", "|"));
            s.Chart = chart->Type;
            chartGiven = true;
        } else if (key == "--out") {
            s.Output = value;
        } else if (key == "--size") {
            if (std::sscanf(value.c_str(), "%dx%d", &s.Width, &s.Height) != 2 || s.Width < 16 || s.Height < 16 ||
                static_cast<long long>(s.Width) * s.Height > MaxPicturePixels)
                Usage("bad --size");
        } else if (key == "--grid") {
            const auto v = Numbers(value, 4, "--grid");
            for (int k = 0; k < 4; ++k) s.Grid[k] = v[k];
            s.GridGiven = true;
        } else if (key == "--background" || key == "--frame") {
            const auto v = Numbers(value, 3, key.c_str());
            double* target = key == "--frame" ? s.Frame : s.Background;
            for (int k = 0; k < 3; ++k) target[k] = v[k] / 255.0;
        } else if (key == "--gap") {
            s.Gap = Numbers(value, 1, "--gap")[0];
            if (s.Gap < 0 || s.Gap > 0.9) Usage("--gap is 0..0.9");
        } else if (key == "--matrix") {
            const auto v = Numbers(value, 9, "--matrix");
            for (int k = 0; k < 9; ++k) s.Matrix[k] = v[k];
        } else if (key == "--gamma") {
            const auto v = Numbers(value, 3, "--gamma");
            for (int k = 0; k < 3; ++k) {
                if (v[k] <= 0) Usage("--gamma values must be positive");
                s.Gamma[k] = v[k];
            }
        } else if (key == "--vignette") {
            s.Vignette = Numbers(value, 1, "--vignette")[0];
        } else if (key == "--noise") {
            s.Noise = Numbers(value, 1, "--noise")[0];
            if (s.Noise < 0) Usage("--noise must not be negative");
        } else if (key == "--seed") {
            s.Seed = static_cast<unsigned>(Numbers(value, 1, "--seed")[0]);
        } else if (key == "--quality") {
            s.Quality = static_cast<int>(Numbers(value, 1, "--quality")[0]);
        } else if (key == "--depth") {
            if (!ParseSampleDepth(value, s.Depth) || s.Depth == TSampleDepth::Default) Usage("bad --depth");
        } else {
            Usage("unknown option " + key);
        }
    }
    if (!chartGiven) Usage("--chart is required");
    if (s.Output.empty()) Usage("--out is required");
    if (!s.GridGiven) {
        // Square cells, the grid centred and about 60 % of the picture wide.
        const TChartInfo& chart = ChartInfo(s.Chart);
        const double cols = chart.Columns, rows = chart.Rows;
        double w = 0.6 * s.Width;
        double h = w * rows / cols;
        if (h > 0.75 * s.Height) {
            h = 0.75 * s.Height;
            w = h * cols / rows;
        }
        s.Grid[0] = std::round((s.Width - w) / 2);
        s.Grid[1] = std::round((s.Height - h) / 2);
        s.Grid[2] = s.Grid[0] + std::round(w);
        s.Grid[3] = s.Grid[1] + std::round(h);
    }
    if (s.Grid[2] <= s.Grid[0] || s.Grid[3] <= s.Grid[1]) Usage("--grid needs L < R and T < B");
    return s;
}

// A surface colour as the camera records it, still without vignetting and noise (0..1).
void CameraColor(const TScene& s, const double in[3], double out[3]) {
    for (int k = 0; k < 3; ++k) {
        double v = s.Matrix[3 * k] * in[0] + s.Matrix[3 * k + 1] * in[1] + s.Matrix[3 * k + 2] * in[2];
        v = v < 0 ? 0 : (v > 1 ? 1 : v);
        out[k] = std::pow(v, s.Gamma[k]);
    }
}

// Renders into `picture` at 8 bits, or into `deep` (when given) without rounding.
void Render(const TScene& s, TBitmap24& picture, TPreciseImage* deep) {
    const TChartInfo& chart = ChartInfo(s.Chart);
    const int columns = chart.Columns, rows = chart.Rows;

    // Camera colours of every surface: the patches, then the frame, then the background.
    std::vector<std::array<double, 3>> colors(static_cast<std::size_t>(columns * rows + 2));
    for (int row = 0; row < rows; ++row)
        for (int col = 0; col < columns; ++col) {
            const TLutColor& c = chart.Reference[chart.PatchIndex(col, row)];
            const double in[3] = {c.R, c.G, c.B};
            CameraColor(s, in, colors[static_cast<std::size_t>(row * columns + col)].data());
        }
    const std::size_t frame = static_cast<std::size_t>(columns * rows), background = frame + 1;
    CameraColor(s, s.Frame, colors[frame].data());
    CameraColor(s, s.Background, colors[background].data());

    const double left = s.Grid[0], top = s.Grid[1];
    const double cellW = (s.Grid[2] - s.Grid[0]) / columns, cellH = (s.Grid[3] - s.Grid[1]) / rows;
    // The chart body reaches one gap beyond the grid.
    const double marginX = s.Gap * cellW, marginY = s.Gap * cellH;
    const double half = s.Gap / 2;
    const double cx = s.Width / 2.0, cy = s.Height / 2.0;
    const double r2max = cx * cx + cy * cy;

    std::mt19937 rng(s.Seed);
    std::normal_distribution<double> noise(0.0, s.Noise > 0 ? s.Noise : 1.0);
    if (deep) deep->SetSize(s.Width, s.Height);
    else picture.SetSize(s.Width, s.Height);
    for (int y = 0; y < s.Height; ++y) {
        std::uint8_t* p = deep ? nullptr : picture.ScanLine(y);
        float* f = deep ? deep->Row(y) : nullptr;
        const double py = y + 0.5;
        for (int x = 0; x < s.Width; ++x) {
            const double px = x + 0.5;
            std::size_t surface = background;
            if (px >= left - marginX && px < s.Grid[2] + marginX && py >= top - marginY && py < s.Grid[3] + marginY) {
                surface = frame;
                const double u = (px - left) / cellW, v = (py - top) / cellH;
                if (u >= 0 && v >= 0 && u < columns && v < rows) {
                    const double fu = u - std::floor(u), fv = v - std::floor(v);
                    if (fu >= half && fu < 1 - half && fv >= half && fv < 1 - half)
                        surface = static_cast<std::size_t>(static_cast<int>(v) * columns + static_cast<int>(u));
                }
            }
            const double dx = px - cx, dy = py - cy;
            const double light = 1.0 - s.Vignette * (dx * dx + dy * dy) / r2max;
            for (int k = 0; k < 3; ++k) {
                double v = colors[surface][k] * light * 255.0;
                if (s.Noise > 0) v += noise(rng);
                if (deep) {
                    f[3 * x + k] = static_cast<float>(v < 0 ? 0 : (v > 255 ? 1 : v / 255.0));
                    continue;
                }
                v = std::nearbyint(v);
                p[3 * x + 2 - k] = static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
            }
        }
    }
}

// A picture coordinate (pixel edges at integers) in the working image: the resampler maps pixel
// centre i to i x (dw - 1) / (sw - 1).
int ToWorking(double coordinate, int sourceSize, int workingSize) {
    if (workingSize == sourceSize) return static_cast<int>(std::lround(coordinate));
    const double k = (workingSize == 1 || sourceSize == 1) ? static_cast<double>(workingSize) / sourceSize
                                                          : static_cast<double>(workingSize - 1) / (sourceSize - 1);
    return static_cast<int>(std::lround((coordinate - 0.5) * k + 0.5));
}

}  // namespace

int main(int argc, char** argv) {
    const TScene scene = ParseArguments(argc, argv);
    try {
        TBitmap24 picture;
        if (scene.Depth == TSampleDepth::Bits8) {
            Render(scene, picture, nullptr);
            SavePicture(scene.Output, picture, scene.Quality);
        } else {
            TPreciseImage deep;
            Render(scene, picture, &deep);
            SavePreciseImage(scene.Output, deep, scene.Depth);
        }
        int ww = 0, wh = 0;
        FitSize(scene.Width, scene.Height, WorkingWidth, WorkingHeight, ww, wh);
        std::printf("Picture: %s, %d x %d, chart grid %g,%g,%g,%g\n", scene.Output.c_str(), scene.Width,
                    scene.Height, scene.Grid[0], scene.Grid[1], scene.Grid[2], scene.Grid[3]);
        std::printf("Working image: %d x %d\n", ww, wh);
        std::printf("Selection: X1=%d Y1=%d X2=%d Y2=%d\n", ToWorking(scene.Grid[0], scene.Width, ww),
                    ToWorking(scene.Grid[1], scene.Height, wh), ToWorking(scene.Grid[2], scene.Width, ww),
                    ToWorking(scene.Grid[3], scene.Height, wh));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tintavo-render-chart: %s\n", e.what());
        return 1;
    }
    return 0;
}
