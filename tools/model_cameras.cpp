// tintavo-model-cameras: scores every calibration model on test cameras under the report's
// held-out validation (leave one out on the Classic chart, grouped 5-fold on the Digital SG
// chart), and the smoothed spline with its smoothing fixed and chosen per picture.
//
// Two sets of cameras (README.md beside this file says how they were made): the physically
// based ones of PhysicalCameras.h, which render the Classic chart spectrally, and the analytic
// ones written down below, each of which takes a chart reference colour (sRGB-encoded, 0..1) to
// the colour the camera records. Every recorded colour gets a deterministic per-patch noise of
// about one 8-bit step and is rounded to 8 bits.
// Prints two tables: mean held-out CIEDE2000 per physically based camera and model, with the
// means over the cameras with and without a tone curve and over all; then per analytic camera,
// chart and model, followed by the smoothed spline at fixed smoothing values (s1e-05 ...) and
// with the smoothing chosen per picture by inner cross-validation (smooth-cv), all on the same
// folds. With --spectral, only the first table.
#include <cmath>
#include <cstdio>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "engine/CalibrationModel.h"
#include "engine/CalibrationReport.h"
#include "engine/ColorChecker.h"
#include "engine/ColorDifference.h"
#include "engine/CrossValidation.h"
#include "engine/RootPolynomialModel.h"
#include "engine/SmoothThinPlateSplineModel.h"
#include "tools/PhysicalCameras.h"

using namespace tintavo;

namespace {

TLutColor Decode(const TLutColor& c) { return {SRGBToLinear(c.R), SRGBToLinear(c.G), SRGBToLinear(c.B)}; }
TLutColor Encode(const TLutColor& c) { return {LinearToSRGB(c.R), LinearToSRGB(c.G), LinearToSRGB(c.B)}; }

TLutColor Multiply(const double (&m)[9], const TLutColor& c) {
    return {m[0] * c.R + m[1] * c.G + m[2] * c.B, m[3] * c.R + m[4] * c.G + m[5] * c.B,
            m[6] * c.R + m[7] * c.G + m[8] * c.B};
}

// Hue rotated by up to `angle` radians in the chroma plane of YUV, strongest at mid saturation.
TLutColor HueTwist(const TLutColor& c, double angle) {
    double y, u, v;
    RGBToYUV(c.R, c.G, c.B, y, u, v);
    const double chroma = std::sqrt(u * u + v * v);
    const double a = angle * std::sin(std::atan2(v, u) * 2.0) * std::min(1.0, 4.0 * chroma);
    const double u2 = u * std::cos(a) - v * std::sin(a), v2 = u * std::sin(a) + v * std::cos(a);
    double r, g, b;
    YUVToRGB(y, u2, v2, r, g, b);
    return {r, g, b};
}

// Linear-light crosstalk of a sensor whose filters overlap: rows sum to one.
constexpr double kCrosstalk[9] = {0.78, 0.18, 0.04, 0.12, 0.80, 0.08, 0.03, 0.22, 0.75};
// White balanced for daylight, shot under tungsten: red up, blue down.
constexpr double kTungsten[9] = {1.18, 0.04, 0.0, 0.02, 1.0, 0.0, 0.0, 0.06, 0.70};

struct TCamera {
    const char* Name;
    TLutColor (*Record)(const TLutColor& reference);
};

const TCamera kCameras[] = {
    {"matrix-srgb", [](const TLutColor& c) { return Encode(Multiply(kCrosstalk, Decode(c))); }},
    {"tungsten-srgb", [](const TLutColor& c) { return Encode(Multiply(kTungsten, Multiply(kCrosstalk, Decode(c)))); }},
    {"matrix-tone", [](const TLutColor& c) {
         const TLutColor l = Multiply(kCrosstalk, Decode(c));
         return TLutColor{spectral::FilmicTone(l.R), spectral::FilmicTone(l.G), spectral::FilmicTone(l.B)};
     }},
    {"tungsten-tone", [](const TLutColor& c) {
         const TLutColor l = Multiply(kTungsten, Multiply(kCrosstalk, Decode(c)));
         return TLutColor{spectral::FilmicTone(l.R), spectral::FilmicTone(l.G), spectral::FilmicTone(l.B)};
     }},
    {"hue-twist", [](const TLutColor& c) { return HueTwist(c, 0.25); }},
    // Strongly mis-rendering: crosstalk, per-channel gammas, a hue twist and the tone curve.
    {"misrender", [](const TLutColor& c) {
         const TLutColor l = Multiply(kTungsten, Multiply(kCrosstalk, Decode(HueTwist(c, 0.35))));
         return TLutColor{std::pow(spectral::FilmicTone(l.R), 1.15), spectral::FilmicTone(l.G),
                          std::pow(spectral::FilmicTone(l.B), 0.85)};
     }},
};

double Clamp8(double v, double noise) { return std::nearbyint(255.0 * std::clamp(v + noise, 0.0, 1.0)) / 255.0; }

// The colours a camera recorded for the Classic or Digital SG chart's patches, with the
// deterministic noise and the rounding to 8 bits, paired with the chart's reference colours.
std::vector<TPatchPair> Record(const std::vector<TLutColor>& recorded, TChartType chart = TChartType::Classic) {
    std::mt19937 rng(7);
    std::vector<TPatchPair> pairs;
    for (std::size_t i = 0; i < recorded.size(); ++i) {
        const TLutColor& m = recorded[i];
        auto noise = [&] { return (static_cast<double>(rng() % 2001) / 1000.0 - 1.0) / 255.0; };
        const double nr = noise(), ng = noise(), nb = noise();
        pairs.push_back({{Clamp8(m.R, nr), Clamp8(m.G, ng), Clamp8(m.B, nb)}, ChartReference(chart)[i]});
    }
    return pairs;
}

std::vector<TPatchPair> Shoot(TChartType chart, const TCamera& camera) {
    std::vector<TLutColor> recorded;
    for (int i = 0; i < ChartPatchCount(chart); ++i) recorded.push_back(camera.Record(ChartReference(chart)[i]));
    return Record(recorded, chart);
}

double Mean(const std::vector<double>& v) { return std::accumulate(v.begin(), v.end(), 0.0) / v.size(); }

// Held-out mean of a smoothed spline built with `lambda`, on the report's folds.
double SmoothHeldOut(const std::vector<TPatchPair>& pairs, const TFoldPlan& plan, double lambda, bool colorsOnly) {
    std::vector<double> errors(pairs.size());
    ForEachFold(plan, [&](int fold) {
        std::vector<TPatchPair> training;
        for (int i : plan.Training(fold)) training.push_back(pairs[static_cast<std::size_t>(i)]);
        auto model = std::make_unique<TSmoothThinPlateSplineModel>(lambda);
        model->Fit(training);
        const TCalibrationMapping mapping(std::move(model), colorsOnly);
        for (int i : plan.HeldOut(fold))
            errors[static_cast<std::size_t>(i)] = DeltaE2000(
                LookUpThroughTable(mapping, pairs[static_cast<std::size_t>(i)].Measured), pairs[static_cast<std::size_t>(i)].Reference);
    });
    return Mean(errors);
}

// Mean held-out CIEDE2000 of every model on the physically based cameras (Classic chart, leave
// one out), then the means of `tps` and `auto` over the set and over each half.
void ScoreSpectralCameras(bool colorsOnly) {
    std::printf("%-26s", "physically based camera");
    for (const TCalibrationModelEntry& m : CalibrationModels()) std::printf(" %10s", m.Name);
    std::printf("\n");
    std::vector<double> sums[2];  // per half (sRGB curve, tone curve): one sum per model
    int counts[2] = {0, 0};
    for (const spectral::TSpectralCamera& camera : spectral::SpectralCameras()) {
        const std::vector<TPatchPair> pairs = Record(spectral::ShootClassic(camera).Encoded);
        const TFoldPlan plan = PlanFolds(pairs);
        std::printf("%-26s", camera.Name.c_str());
        std::vector<double>& sum = sums[camera.ToneCurve ? 1 : 0];
        sum.resize(CalibrationModels().size());
        ++counts[camera.ToneCurve ? 1 : 0];
        std::size_t k = 0;
        for (const TCalibrationModelEntry& m : CalibrationModels()) {
            const double mean = Mean(HeldOutDeltaE(pairs, plan, m.Name, colorsOnly));
            sum[k++] += mean;
            std::printf(" %10.3f", mean);
        }
        std::printf("\n");
    }
    auto line = [&](const char* name, const std::vector<double>& sum, int count) {
        std::printf("%-26s", name);
        for (double v : sum) std::printf(" %10.3f", v / count);
        std::printf("\n");
    };
    std::vector<double> all(sums[0].size());
    for (std::size_t k = 0; k < all.size(); ++k) all[k] = sums[0][k] + sums[1][k];
    line("mean, sRGB curve", sums[0], counts[0]);
    line("mean, tone curve", sums[1], counts[1]);
    line("mean, whole set", all, counts[0] + counts[1]);
}

}  // namespace

int main(int argc, char** argv) {
    const bool colorsOnly = false;
    ScoreSpectralCameras(colorsOnly);
    if (argc > 1 && std::string(argv[1]) == "--spectral") return 0;
    std::printf("\n");
    std::printf("%-14s %-8s", "camera", "chart");
    for (const TCalibrationModelEntry& m : CalibrationModels()) std::printf(" %10s", m.Name);
    const double fixed[] = {1e-5, 3e-5, 1e-4, 3e-4, 3e-3};
    for (double lambda : fixed) std::printf("   s%-7g", lambda);
    std::printf(" %10s\n", "smooth-cv");
    for (TChartType chart : {TChartType::Classic, TChartType::DigitalSG}) {
        for (const TCamera& camera : kCameras) {
            const std::vector<TPatchPair> pairs = Shoot(chart, camera);
            const TFoldPlan plan = PlanFolds(pairs);
            std::printf("%-14s %-8s", camera.Name, ChartInfo(chart).CommandName);
            for (const TCalibrationModelEntry& m : CalibrationModels()) {
                try {
                    std::printf(" %10.3f", Mean(HeldOutDeltaE(pairs, plan, m.Name, colorsOnly)));
                } catch (const std::exception&) {
                    std::printf(" %10s", "fails");
                }
            }
            for (double lambda : fixed) std::printf(" %10.3f", SmoothHeldOut(pairs, plan, lambda, colorsOnly));
            std::printf(" %10.3f\n", SmoothHeldOut(pairs, plan, ChooseSmoothing, colorsOnly));
        }
    }
    return 0;
}
