// tintavo-model-cameras: scores every calibration model on synthetic cameras, each chart, under
// the report's held-out validation (leave one out on the Classic chart, grouped 5-fold on the
// Digital SG chart), and the smoothed spline with its smoothing fixed and chosen per picture.
//
// The cameras are analytic, written down below (README.md beside this file says how they were
// chosen). Each takes a chart reference colour (sRGB-encoded, 0..1) to the colour the camera
// records; a deterministic per-patch noise of about one 8-bit step and rounding to 8 bits follow.
// Prints one table: mean held-out CIEDE2000 per camera, chart and model, then the smoothed
// spline at fixed smoothing values (s1e-05 ...) and with the smoothing chosen per picture by
// inner cross-validation (smooth-cv), all on the same folds.
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

using namespace tintavo;

namespace {

TLutColor Decode(const TLutColor& c) { return {SRGBToLinear(c.R), SRGBToLinear(c.G), SRGBToLinear(c.B)}; }
TLutColor Encode(const TLutColor& c) { return {LinearToSRGB(c.R), LinearToSRGB(c.G), LinearToSRGB(c.B)}; }

TLutColor Multiply(const double (&m)[9], const TLutColor& c) {
    return {m[0] * c.R + m[1] * c.G + m[2] * c.B, m[3] * c.R + m[4] * c.G + m[5] * c.B,
            m[6] * c.R + m[7] * c.G + m[8] * c.B};
}

// A filmic S-curve on linear light, the kind of tone curve cameras add (toe, lifted mid-tones,
// soft shoulder), encoded with a 1/2.2 power: not the sRGB curve.
double FilmicTone(double l) {
    l = std::max(l, 0.0);
    const double x = 1.6 * l;
    const double y = x * (x + 0.1) / (x * (x + 0.35) + 0.08);
    return std::pow(std::min(y / 1.02, 1.0), 1 / 2.2);
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
         return TLutColor{FilmicTone(l.R), FilmicTone(l.G), FilmicTone(l.B)};
     }},
    {"tungsten-tone", [](const TLutColor& c) {
         const TLutColor l = Multiply(kTungsten, Multiply(kCrosstalk, Decode(c)));
         return TLutColor{FilmicTone(l.R), FilmicTone(l.G), FilmicTone(l.B)};
     }},
    {"hue-twist", [](const TLutColor& c) { return HueTwist(c, 0.25); }},
    // Strongly mis-rendering: crosstalk, per-channel gammas, a hue twist and the tone curve.
    {"misrender", [](const TLutColor& c) {
         const TLutColor l = Multiply(kTungsten, Multiply(kCrosstalk, Decode(HueTwist(c, 0.35))));
         return TLutColor{std::pow(FilmicTone(l.R), 1.15), FilmicTone(l.G), std::pow(FilmicTone(l.B), 0.85)};
     }},
};

double Clamp8(double v, double noise) { return std::nearbyint(255.0 * std::clamp(v + noise, 0.0, 1.0)) / 255.0; }

std::vector<TPatchPair> Shoot(TChartType chart, const TCamera& camera) {
    std::mt19937 rng(7);
    std::vector<TPatchPair> pairs;
    for (int i = 0; i < ChartPatchCount(chart); ++i) {
        const TLutColor& ref = ChartReference(chart)[i];
        const TLutColor m = camera.Record(ref);
        auto noise = [&] { return (static_cast<double>(rng() % 2001) / 1000.0 - 1.0) / 255.0; };
        const double nr = noise(), ng = noise(), nb = noise();
        pairs.push_back({{Clamp8(m.R, nr), Clamp8(m.G, ng), Clamp8(m.B, nb)}, ref});
    }
    return pairs;
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

}  // namespace

int main() {
    const bool colorsOnly = false;
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
