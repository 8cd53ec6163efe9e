// The calibration models beside the exact spline: each reproduces a camera it can represent
// exactly, refuses what it cannot fit, and "auto" chooses by held-out error.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <numeric>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "engine/AutoModel.h"
#include "engine/Calibration.h"
#include "engine/ColorChecker.h"
#include "engine/ColorDifference.h"
#include "engine/CrossValidation.h"
#include "engine/RootPolynomialModel.h"
#include "engine/SmoothThinPlateSplineModel.h"

namespace tintavo {
namespace {

using TCamera = TLutColor (*)(const TLutColor&);

std::vector<TPatchPair> Shoot(TChartType chart, TCamera camera) {
    std::vector<TPatchPair> pairs;
    for (int i = 0; i < ChartPatchCount(chart); ++i) {
        const TLutColor& ref = ChartReference(chart)[i];
        pairs.push_back({camera(ref), ref});
    }
    return pairs;
}

TLutColor Decode(const TLutColor& c) { return {SRGBToLinear(c.R), SRGBToLinear(c.G), SRGBToLinear(c.B)}; }
TLutColor Encode(const TLutColor& c) { return {LinearToSRGB(c.R), LinearToSRGB(c.G), LinearToSRGB(c.B)}; }

// Linear-light mixing whose rows sum to one (neutrals stay neutral).
TLutColor Mix(const TLutColor& l) {
    return {0.80 * l.R + 0.15 * l.G + 0.05 * l.B, 0.10 * l.R + 0.85 * l.G + 0.05 * l.B,
            0.05 * l.R + 0.20 * l.G + 0.75 * l.B};
}

// A 3 x 3 camera with the sRGB curve.
TLutColor MatrixCamera(const TLutColor& ref) { return Encode(Mix(Decode(ref))); }

// The same mixing under a plain 1/2.2 power curve: only a linearisation fitted on the neutral
// patches takes it out exactly.
TLutColor PowerCamera(const TLutColor& ref) {
    const TLutColor l = Mix(Decode(ref));
    return {std::pow(l.R, 1 / 2.2), std::pow(l.G, 1 / 2.2), std::pow(l.B, 1 / 2.2)};
}

// The mixing under a filmic tone curve (toe and shoulder): no power law, no quadratic in log-log.
TLutColor ToneCamera(const TLutColor& ref) {
    auto tone = [](double l) {
        const double x = 1.6 * std::max(l, 0.0);
        return std::pow(x * (x + 0.1) / (x * (x + 0.35) + 0.08) / 1.02, 1 / 2.2);
    };
    const TLutColor l = Mix(Decode(ref));
    return {tone(l.R), tone(l.G), tone(l.B)};
}

// An affine camera in the encoded values: the splines, exact or smoothed, reproduce it (an
// affine map has no bending energy to smooth away).
TLutColor AffineCamera(const TLutColor& ref) {
    return {0.05 + 0.80 * ref.R + 0.10 * ref.G, 0.03 + 0.85 * ref.G + 0.05 * ref.B,
            0.04 + 0.75 * ref.B + 0.10 * ref.R};
}

// The largest CIEDE2000 of the model's mapping against the truth at colours the chart
// does not hold: the measured colours of a 6^3 grid of reference colours inside 0.1..0.9.
double WorstError(const TCalibrationModel& model, TCamera camera) {
    double worst = 0.0;
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b) {
                const TLutColor truth{0.1 + 0.16 * r, 0.1 + 0.16 * g, 0.1 + 0.16 * b};
                const TLutColor m = camera(truth);
                worst = std::max(worst, DeltaE2000(ClampToUnitRange(model.Map(m.R, m.G, m.B)), truth));
            }
    return worst;
}

void ExpectReproduces(const TCalibrationModel& model, TCamera camera, double maxDeltaE, const std::string& what) {
    EXPECT_LT(WorstError(model, camera), maxDeltaE) << what;
}

double Mean(const std::vector<double>& v) { return std::accumulate(v.begin(), v.end(), 0.0) / v.size(); }

TEST(CalibrationModels, EachModelReproducesACameraItCanRepresent) {
    for (TChartType chart : {TChartType::Classic, TChartType::DigitalSG}) {
        const std::string name = ChartInfo(chart).CommandName;
        const std::vector<TPatchPair> matrixShot = Shoot(chart, MatrixCamera);
        for (int degree : {1, 2, 3}) {
            TRootPolynomialModel srgb(degree, TLinearisationKind::SRGB);
            srgb.Fit(matrixShot);
            ExpectReproduces(srgb, MatrixCamera, 0.3, name + " degree " + std::to_string(degree));
        }
        // The power-law camera: the neutral linearisation takes it out, the sRGB curve cannot.
        const std::vector<TPatchPair> powerShot = Shoot(chart, PowerCamera);
        TRootPolynomialModel neutral(1, TLinearisationKind::Neutral);
        neutral.Fit(powerShot);
        EXPECT_EQ(neutral.Linearisation().Kind(), TLinearisationKind::Neutral);
        // Not exact: the chart's neutral patches are only nearly neutral.
        ExpectReproduces(neutral, PowerCamera, 1.0, name + " neutral");
        TRootPolynomialModel chooser(1);
        chooser.Fit(powerShot);
        EXPECT_EQ(chooser.Linearisation().Kind(), TLinearisationKind::Neutral) << name;
        EXPECT_NE(chooser.Details().find("neutral patches"), std::string::npos);
        TRootPolynomialModel srgbOnly(1, TLinearisationKind::SRGB);
        srgbOnly.Fit(powerShot);
        EXPECT_GT(WorstError(srgbOnly, PowerCamera), 2 * WorstError(neutral, PowerCamera)) << name;

        // The smoothed spline on every patch, the Digital SG chart's repeats included.
        const std::vector<TPatchPair> affineShot = Shoot(chart, AffineCamera);
        TSmoothThinPlateSplineModel smooth;
        smooth.Fit(affineShot);
        EXPECT_EQ(smooth.ControlPatches().size(), affineShot.size());
        EXPECT_EQ(smooth.Lambda(), DefaultSmoothing);
        ExpectReproduces(smooth, AffineCamera, 0.05, name + " smooth-tps");
    }
}

TEST(CalibrationModels, NeutralLinearisationFollowsTheCamerasToneCurve) {
    // The Digital SG chart's many neutral patches trace the curve.
    const std::vector<TPatchPair> shot = Shoot(TChartType::DigitalSG, ToneCamera);
    TRootPolynomialModel neutral(1, TLinearisationKind::Neutral);
    neutral.Fit(shot);
    ExpectReproduces(neutral, ToneCamera, 1.5, "tone curve");
    TRootPolynomialModel srgb(1, TLinearisationKind::SRGB);
    srgb.Fit(shot);
    EXPECT_GT(WorstError(srgb, ToneCamera), 3 * WorstError(neutral, ToneCamera));

    // Noisy neutral patches measured out of order: the curve still never falls, and goes on
    // rising beyond the measured range.
    std::vector<TPatchPair> greys;
    for (int k = 1; k <= 9; ++k) {
        const double v = 0.1 * k;
        greys.push_back({{v, v, v}, {v, v, v}});
    }
    greys[3].Measured.G = 0.52;  // reference 0.4 measured above reference 0.5
    TLinearisation lin;
    ASSERT_TRUE(lin.FitNeutral(greys));
    double previous = -1.0;
    for (int k = 0; k <= 100; ++k) {
        const double v = lin.Apply(1, 0.001 + k / 100.0);
        EXPECT_GE(v, previous) << k;
        previous = v;
    }
    EXPECT_GT(lin.Apply(1, 0.001), 0.0);
    EXPECT_LT(lin.Apply(1, 0.001), lin.Apply(1, 0.01));
    // Where the measurements are in order, the curve passes through them.
    EXPECT_NEAR(lin.Apply(0, 0.3), SRGBToLinear(0.3), 1e-12);
    EXPECT_NEAR(lin.Apply(1, 0.9), SRGBToLinear(0.9), 1e-12);
    // Too few neutral patches, or too narrow a range of them: no curve.
    EXPECT_FALSE(TLinearisation().FitNeutral(std::span(greys).first(2)));
    EXPECT_FALSE(TLinearisation().FitNeutral(std::span(greys).subspan(5, 3)));
}

TEST(CalibrationModels, NeutralLinearisationContinuesEachEndAsItEnds) {
    // A camera curve of two power laws: m = L^(1/2.2) in the shadows, a compressed shoulder
    // m ~ L^(1/4) above L = 0.2. The three darkest greys lie on the first, the three brightest
    // on the second, so beyond each end the curve is known exactly.
    auto measure = [](double l) {
        return l < 0.2 ? std::pow(l, 1 / 2.2) : std::pow(0.2, 1 / 2.2) * std::pow(l / 0.2, 0.25);
    };
    std::vector<TPatchPair> greys;
    for (double l : {0.05, 0.09, 0.14, 0.19, 0.36, 0.59, 0.9}) {
        const double m = measure(l), v = LinearToSRGB(l);
        greys.push_back({{m, m, m}, {v, v, v}});
    }
    TLinearisation lin;
    ASSERT_TRUE(lin.FitNeutral(greys));
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(lin.Apply(c, measure(0.01)), 0.01, 1e-9) << c;  // below the darkest grey
        EXPECT_NEAR(lin.Apply(c, measure(1.0)), 1.0, 1e-9) << c;    // above the brightest
    }

    // The shoulder alone: measured values span less than a ratio of two, the references ten;
    // the curve is fitted, since the span that counts is the one in linear light.
    std::vector<TPatchPair> bright;
    for (double l : {0.09, 0.2, 0.4, 0.9}) {
        const double m = std::pow(l, 0.25), v = LinearToSRGB(l);
        bright.push_back({{m, m, m}, {v, v, v}});
    }
    ASSERT_LT(bright.back().Measured.G / bright.front().Measured.G, 2.0);
    ASSERT_TRUE(lin.FitNeutral(bright));
    EXPECT_NEAR(lin.Apply(1, std::pow(0.3, 0.25)), 0.3, 1e-9);
}

TEST(CalibrationModels, RegisteredByNameAndUsableByTheCalibration) {
    const std::vector<TPatchPair> shot = Shoot(TChartType::Classic, MatrixCamera);
    for (const char* name : {"smooth-tps", "matrix", "rootpoly2", "rootpoly3", "auto", "AUTO"}) {
        const TCalibrationMapping full(shot, false, name);
        const TCalibrationMapping colorsOnly(shot, true, name);
        // Every node lies on 0..1, whatever the model gives outside the chart's colours; colours
        // only keeps each node's luma.
        for (double x : {0.0, 0.5, 1.0})
            for (double y : {0.0, 0.3, 1.0}) {
                const TLutColor v = full.MapNode(x, y, 1.0 - x);
                for (double c : {v.R, v.G, v.B}) {
                    EXPECT_GE(c, 0.0) << name;
                    EXPECT_LE(c, 1.0) << name;
                }
                double y0, u0, v0, y1, u1, v1;
                RGBToYUV(x, y, 1.0 - x, y0, u0, v0);
                const TLutColor w = colorsOnly.MapNode(x, y, 1.0 - x);
                RGBToYUV(w.R, w.G, w.B, y1, u1, v1);
                EXPECT_NEAR(y1, y0, 1e-5) << name;  // the luma coefficients are rounded
            }
    }
}

// The grid is filled a blue line at a time; each model's line must hold its values node by node,
// bit for bit, on lines through the middle of the cube, along its edges and through a measured
// colour (a control point of the splines, which the line evaluation leaves to the nodes).
TEST(CalibrationModels, LinesOfValuesAreTheValuesNodeByNode) {
    const std::vector<TPatchPair> shot = Shoot(TChartType::DigitalSG, ToneCamera);
    const TLutColor patch = shot[37].Measured;
    std::vector<double> blues;
    for (int i = 0; i <= 40; ++i) blues.push_back(i / 40.0);
    blues.push_back(patch.B);
    for (const TCalibrationModelEntry& entry : CalibrationModels()) {
        const std::unique_ptr<TCalibrationModel> model = CreateCalibrationModel(entry.Name);
        model->Fit(shot);
        std::vector<TLutColor> line(blues.size());
        for (const auto& [r, g] : {std::pair{0.5, 0.25}, std::pair{0.0, 1.0}, std::pair{patch.R, patch.G}}) {
            model->MapLine(r, g, blues.data(), static_cast<int>(blues.size()), line.data());
            for (std::size_t i = 0; i < blues.size(); ++i) {
                const TLutColor want = model->Map(r, g, blues[i]);
                ASSERT_EQ(std::memcmp(&want, &line[i], sizeof want), 0) << entry.Name << " at " << r << "," << g << "," << blues[i];
            }
        }
    }
}

TEST(CalibrationModels, SmoothingAveragesPatchesMeasuredAlike) {
    // The same measured colour with two references a tenth apart: the exact system is singular,
    // the smoothed fit goes between them.
    std::vector<TPatchPair> shot = Shoot(TChartType::Classic, AffineCamera);
    TPatchPair twin = shot[5];
    twin.Reference.R += 0.1;
    shot.push_back(twin);
    TSmoothThinPlateSplineModel smooth;
    smooth.Fit(shot);
    const TLutColor at = smooth.Map(twin.Measured.R, twin.Measured.G, twin.Measured.B);
    EXPECT_NEAR(at.R, shot[5].Reference.R + 0.05, 0.01);
    EXPECT_NEAR(at.G, shot[5].Reference.G, 0.01);
    // Far from the twins the affine camera is still taken out.
    ExpectReproduces(smooth, AffineCamera, 2.0, "with twins");
}

TEST(CalibrationModels, SmoothingKernelShortensTheNeutralAxis) {
    // Stretched along the neutral axis by 1 / NeutralAxisScale (about mid grey), the measured
    // colours have the plain distances of the unstretched ones in the smoothed spline's kernel:
    // with next to no smoothing it is then the exact spline of the unstretched colours, while on
    // the unstretched colours themselves it is not.
    const std::vector<TPatchPair> shot = Shoot(TChartType::Classic, ToneCamera);
    auto stretch = [](const TLutColor& c) {
        const double along = ((c.R + c.G + c.B) / 3.0 - 0.5) * (1.0 / NeutralAxisScale - 1.0);
        return TLutColor{c.R + along, c.G + along, c.B + along};
    };
    std::vector<TPatchPair> stretched = shot;
    for (TPatchPair& p : stretched) p.Measured = stretch(p.Measured);
    const std::unique_ptr<TCalibrationModel> exact = CreateCalibrationModel("tps");
    exact->Fit(shot);
    TSmoothThinPlateSplineModel onStretched(1e-9), onPlain(1e-9);
    onStretched.Fit(stretched);
    onPlain.Fit(shot);
    double plainGap = 0.0;
    for (double r = 0.1; r < 1.0; r += 0.2)
        for (double g = 0.1; g < 1.0; g += 0.2)
            for (double b = 0.1; b < 1.0; b += 0.2) {
                const TLutColor want = exact->Map(r, g, b);
                const TLutColor s = stretch({r, g, b});
                const TLutColor got = onStretched.Map(s.R, s.G, s.B);
                EXPECT_NEAR(got.R, want.R, 1e-6) << r << "," << g << "," << b;
                EXPECT_NEAR(got.G, want.G, 1e-6) << r << "," << g << "," << b;
                EXPECT_NEAR(got.B, want.B, 1e-6) << r << "," << g << "," << b;
                const TLutColor plain = onPlain.Map(r, g, b);
                plainGap = std::max({plainGap, std::abs(plain.R - want.R), std::abs(plain.G - want.G),
                                     std::abs(plain.B - want.B)});
            }
    EXPECT_GT(plainGap, 0.01);
}

TEST(CalibrationModels, RefusalsSayWhy) {
    // Every measured colour on one plane (no blue): the smoothed spline's system is singular.
    std::vector<TPatchPair> flat = Shoot(TChartType::Classic, MatrixCamera);
    for (TPatchPair& p : flat) p.Measured.B = 0.3;
    TSmoothThinPlateSplineModel smooth;
    try {
        smooth.Fit(flat);
        ADD_FAILURE() << "a flat set of colours was fitted";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("ill-conditioned"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(smooth.Fitted());

    // Too few patches for the terms; a failed fit keeps the previous one.
    TRootPolynomialModel cubic(3);
    const std::vector<TPatchPair> shot = Shoot(TChartType::Classic, MatrixCamera);
    cubic.Fit(shot);
    const TLutColor before = cubic.Map(0.3, 0.4, 0.5);
    EXPECT_THROW(cubic.Fit(std::span(shot).first(12)), std::runtime_error);
    const TLutColor after = cubic.Map(0.3, 0.4, 0.5);
    EXPECT_EQ(before.R, after.R);
    EXPECT_EQ(before.B, after.B);

    // No neutral patches: the neutral linearisation cannot be fitted, the chooser falls back.
    std::vector<TPatchPair> colourful;
    for (const TPatchPair& p : shot)
        if (std::max({p.Reference.R, p.Reference.G, p.Reference.B}) -
                std::min({p.Reference.R, p.Reference.G, p.Reference.B}) > NeutralSpread)
            colourful.push_back(p);
    TRootPolynomialModel neutralOnly(1, TLinearisationKind::Neutral);
    EXPECT_THROW(neutralOnly.Fit(colourful), std::runtime_error);
    TRootPolynomialModel chooser(1);
    chooser.Fit(colourful);
    EXPECT_EQ(chooser.Linearisation().Kind(), TLinearisationKind::SRGB);
}

TEST(CalibrationModels, ChosenSmoothingIsTheGridValueWithTheLowestHeldOutError) {
    // A camera that adds patch-to-patch noise: some smoothing must help, and the choice must be
    // the best of the grid on the same folds.
    std::vector<TPatchPair> shot = Shoot(TChartType::DigitalSG, AffineCamera);
    for (std::size_t i = 0; i < shot.size(); ++i) shot[i].Measured.G += 0.01 * std::sin(7.0 * i);
    TSmoothThinPlateSplineModel chosen(ChooseSmoothing);
    chosen.Fit(shot);
    EXPECT_NE(chosen.Details().find("cross-validation"), std::string::npos);
    const TFoldPlan plan = PlanFolds(shot);
    auto heldOutMean = [&](double lambda) {
        double sum = 0.0;
        for (int f = 0; f < plan.FoldCount; ++f) {
            std::vector<TPatchPair> training;
            for (int i : plan.Training(f)) training.push_back(shot[i]);
            TSmoothThinPlateSplineModel m(lambda);
            m.Fit(training);
            for (int i : plan.HeldOut(f)) {
                const TLutColor& c = shot[i].Measured;
                sum += DeltaE2000(ClampToUnitRange(m.Map(c.R, c.G, c.B)), shot[i].Reference);
            }
        }
        return sum;
    };
    const double best = heldOutMean(chosen.Lambda());
    for (double lambda : SmoothingGrid) EXPECT_LE(best, heldOutMean(lambda) + 1e-9) << lambda;
}

TEST(AutoModel, PicksTheModelWithTheLowestHeldOutMean) {
    // The power-law camera is a matrix in linear light; the hue twist is not, and the spline
    // that passes through the patches follows it best.
    auto twist = [](const TLutColor& ref) -> TLutColor {
        const double s = 0.25 * std::sin(6.0 * ref.R) * ref.G;
        return {ref.R + s * (1 - ref.R), ref.G - 0.5 * s * ref.G, ref.B + 0.8 * s * (1 - ref.B)};
    };
    const std::vector<TPatchPair> cases[2] = {Shoot(TChartType::Classic, PowerCamera),
                                              Shoot(TChartType::Classic, twist)};
    // The linear-light models (any degree reproduces a matrix) for the first, a spline for the second.
    const std::set<std::string> expected[2] = {{"matrix", "rootpoly2", "rootpoly3"}, {"tps", "smooth-tps"}};
    for (int k = 0; k < 2; ++k) {
        TAutoModel model;
        model.Fit(cases[k]);
        const TFoldPlan plan = PlanFolds(cases[k]);
        double best = 1e9;
        std::string bestName;
        for (const TModelScore& s : model.Scores()) {
            // The scores are the held-out means the report's comparison lists.
            EXPECT_NEAR(s.MeanDeltaE, Mean(HeldOutDeltaE(cases[k], plan, s.Name, false)), 1e-12) << s.Name;
            if (s.MeanDeltaE < best) {
                best = s.MeanDeltaE;
                bestName = s.Name;
            }
        }
        EXPECT_EQ(model.Scores().size(), CalibrationModels().size() - 1);
        EXPECT_EQ(model.Chosen(), bestName);
        EXPECT_TRUE(expected[k].count(model.Chosen())) << k << " " << model.Chosen();
        EXPECT_EQ(model.Details().substr(0, model.Chosen().size()), model.Chosen());
    }
}

}  // namespace
}  // namespace tintavo
