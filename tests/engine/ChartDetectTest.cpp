#include "engine/ChartDetect.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ostream>
#include <random>
#include <string>

#include "engine/ChartCheck.h"
#include "engine/ChartFit.h"
#include "tools/SceneRender.h"

namespace tintavo {
namespace {

TChartGeometry Grid(const TQuad& corners, TChartType chart) {
    const TChartInfo& c = ChartInfo(chart);
    return TChartGeometry::FromCorners(corners, c.Columns, c.Rows);
}

TChartGeometry Grid(const TSelection& rect, TChartType chart) {
    const TChartInfo& c = ChartInfo(chart);
    return TChartGeometry(rect, c.Columns, c.Rows);
}

// A working-size picture of a chart in `pose`, with the camera and disturbances of `base`.
scene::TScene PosedScene(TChartType chart, const scene::TChartPose& pose, scene::TScene base = {}) {
    base.Chart = chart;
    base.Width = 1500, base.Height = 1000;
    base.Upright = false;
    base.Grid = scene::PoseCorners(chart, pose, base.Gap, base.Margin, base.Width, base.Height);
    return base;
}

TBitmap24 Render(const scene::TScene& s) {
    TBitmap24 picture;
    scene::RenderScene(s, picture);
    return picture;
}

// The largest distance between true and found patch centres, in patch pitches.
double WorstCentreError(const TQuad& truth, const TQuad& found, TChartType chart) {
    const int columns = ChartColumns(chart), rows = ChartRows(chart);
    const TChartGeometry t = Grid(truth, chart), f = Grid(found, chart);
    double worst = 0;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) {
            const TPointF a = t.PatchCenterPoint(c, r), b = f.PatchCenterPoint(c, r);
            const TPointF n = t.PatchCenterPoint(c + (c + 1 < columns ? 1 : -1), r);
            worst = std::max(worst, std::hypot(a.X - b.X, a.Y - b.Y) / std::hypot(n.X - a.X, n.Y - a.Y));
        }
    return worst;
}

TEST(ChartScenes, EveryPatchLiesWhereTheCornersSay) {
    // A tilted, rolled chart without noise or blur: sampling at the printed corners reads each
    // patch's own colour (the camera here is the identity).
    for (TChartType chart : {TChartType::Classic, TChartType::DigitalSG}) {
        const scene::TScene s = PosedScene(chart, {0.5, 0.5, 0.55, 160, 20, -25});
        TMeasuredPatches measured;
        SamplePatches(Render(s), Grid(s.Grid, chart), chart, measured);
        const TLutColor* reference = ChartReference(chart);
        for (int i = 0; i < measured.PatchCount; ++i) {
            const TLutColor &m = measured.MeasuredColors[i], &r = reference[i];
            ASSERT_LE(std::max({std::abs(m.R - r.R), std::abs(m.G - r.G), std::abs(m.B - r.B)}) * 255, 0.51) << "patch " << i;
        }
    }
}

struct THardCase {
    const char* Name;
    TChartType Chart;
    scene::TChartPose Pose;  // centre x, y, width, roll, tilt x, tilt y
    double Exposure, Blur, Noise, Vignette;
    int Clutter, Mosaics;
    int Orientation;
};

const THardCase kHardCases[] = {
    {"classic_quarter_turn_tilted_in_clutter", TChartType::Classic, {0.45, 0.5, 0.3, 90, 25, -15}, 0, 0.6, 2, 0.1, 40, 1, 90},
    {"sg_upside_down_small_blurred_noisy", TChartType::DigitalSG, {0.6, 0.45, 0.16, 183, -10, 12}, 0.1, 1.0, 3.5, 0, 15, 0, 180},
    {"classic_three_quarters_rolled_under_exposed", TChartType::Classic, {0.5, 0.55, 0.4, 250, 5, 8}, -1.0 / 3, 0.5, 1.5, 0.3, 0, 0, 270},
    {"sg_upright_steep_tilt_over_exposed", TChartType::DigitalSG, {0.5, 0.5, 0.45, -12, 0, 34}, 1.0 / 3, 0.5, 1, 0.15, 20, 1, 0},
};

void PrintTo(const THardCase& c, std::ostream* os) { *os << c.Name; }

class ChartDetectHardCase : public ::testing::TestWithParam<THardCase> {};

TEST_P(ChartDetectHardCase, FindsTypeCornersAndOrientation) {
    const THardCase& c = GetParam();
    scene::TScene base;
    base.Exposure = c.Exposure, base.Blur = c.Blur, base.Noise = c.Noise, base.Vignette = c.Vignette;
    base.Clutter = c.Clutter, base.Mosaics = c.Mosaics;
    base.Seed = 3;
    const double camera[9] = {0.95, 0.06, -0.01, 0.03, 0.9, 0.07, 0.0, -0.04, 1.02};
    std::copy(camera, camera + 9, base.Matrix);
    base.Gamma[0] = 1.1, base.Gamma[2] = 0.9;
    const scene::TScene s = PosedScene(c.Chart, c.Pose, base);
    const TBitmap24 picture = Render(s);

    for (bool typeGiven : {false, true}) {
        const auto found = DetectChart(picture, typeGiven ? std::optional(c.Chart) : std::nullopt);
        ASSERT_TRUE(found.has_value()) << "type given: " << typeGiven;
        EXPECT_EQ(found->Chart, c.Chart);
        EXPECT_EQ(found->Orientation, c.Orientation);
        EXPECT_GT(found->Score, 0.9);
        EXPECT_LT(WorstCentreError(s.Grid, found->Corners, c.Chart), 0.25);
        // Sampling at the found corners gives what sampling at the true corners gives.
        TMeasuredPatches atTruth, atFound;
        SamplePatches(picture, Grid(s.Grid, c.Chart), c.Chart, atTruth);
        SamplePatches(picture, Grid(found->Corners, c.Chart), c.Chart, atFound);
        for (int i = 0; i < atTruth.PatchCount; ++i) {
            const TLutColor &a = atTruth.MeasuredColors[i], &b = atFound.MeasuredColors[i];
            ASSERT_LE(std::max({std::abs(a.R - b.R), std::abs(a.G - b.G), std::abs(a.B - b.B)}) * 255, 3.0) << "patch " << i;
        }
        // Corner 1 is the corner next to the first patch, not merely some corner of the grid.
        EXPECT_LT(std::hypot(found->Corners[0].X - s.Grid[0].X, found->Corners[0].Y - s.Grid[0].Y),
                  0.25 * std::hypot(s.Grid[1].X - s.Grid[0].X, s.Grid[1].Y - s.Grid[0].Y) / ChartColumns(c.Chart));
    }
    // The found chart read from another corner: the check names the problem and suggests the
    // found reading back, with the chart's orientation in the picture.
    const auto found = DetectChart(picture);
    ASSERT_TRUE(found.has_value());
    const TSelectionCheck turned = CheckSelection(picture, Grid(ReorderedCorners(found->Corners, 1, false), c.Chart), c.Chart);
    EXPECT_EQ(turned.Problem, TSelectionProblem::Turned);
    EXPECT_EQ(turned.SuggestedChart, c.Chart);
    EXPECT_EQ(turned.SuggestedOrientation, c.Orientation);
    for (std::size_t k = 0; k < 4; ++k) {
        EXPECT_EQ(turned.SuggestedCorners[k].X, found->Corners[k].X) << "corner " << k + 1;
        EXPECT_EQ(turned.SuggestedCorners[k].Y, found->Corners[k].Y) << "corner " << k + 1;
    }
    // Asked for the other chart type, there is none.
    const TChartType other = c.Chart == TChartType::Classic ? TChartType::DigitalSG : TChartType::Classic;
    EXPECT_FALSE(DetectChart(picture, other).has_value());
}

INSTANTIATE_TEST_SUITE_P(Scenes, ChartDetectHardCase, ::testing::ValuesIn(kHardCases),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(ChartDetect, FindsNothingWithoutAChart) {
    // Colourful clutter and tiled panels, some of them in the charts' own colours (shuffled).
    for (unsigned seed : {4u, 5u, 6u}) {
        scene::TScene s;
        s.HasChart = false;
        s.Width = 1500, s.Height = 1000;
        s.Clutter = 40, s.Mosaics = 3;
        s.Noise = 1.5, s.Blur = 0.5;
        s.Seed = seed;
        EXPECT_FALSE(DetectChart(Render(s)).has_value()) << "seed " << seed;
    }
    TBitmap24 grey;
    grey.SetSizeAndFill(300, 200, 128);
    EXPECT_FALSE(DetectChart(grey).has_value());
    EXPECT_FALSE(DetectChart(TBitmap24()).has_value());
}

TLutColor Camera(const TLutColor& c) {
    return {0.04 + 0.9 * std::pow(c.R, 1.15) + 0.03 * c.G, 0.02 + 0.92 * c.G + 0.05 * c.B, 0.85 * std::pow(c.B, 0.9) + 0.05 * c.R};
}

TEST(ChartFit, ScoresCameraColoursHighAndAnythingElseLow) {
    for (TChartType chart : {TChartType::Classic, TChartType::DigitalSG}) {
        const int n = ChartPatchCount(chart);
        const TLutColor* reference = ChartReference(chart);
        std::vector<TLutColor> measured(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) measured[static_cast<std::size_t>(i)] = Camera(reference[i]);
        EXPECT_GT(ChartFitScore(measured.data(), reference, n), 0.98);
        // The same colours in another order.
        std::mt19937 rng(2);
        std::shuffle(measured.begin(), measured.end(), rng);
        EXPECT_LT(ChartFitScore(measured.data(), reference, n), 0.5);
        // One colour everywhere explains nothing.
        std::fill(measured.begin(), measured.end(), TLutColor{0.4, 0.4, 0.4});
        EXPECT_EQ(ChartFitScore(measured.data(), reference, n), 0.0);
    }
    // Too few patches to judge.
    EXPECT_EQ(ChartFitScore(ClassicReference, ClassicReference, ChartFitTerms + 1), 0.0);
    EXPECT_GT(ChartFitScore(ClassicReference, ClassicReference, ChartFitTerms + 2), 0.99);
}

// An upright Classic chart whose patch grid is exactly the rectangle (300, 200) - (1200, 800).
class SelectionCheck : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        scene::TScene s;
        s.Width = 1500, s.Height = 1000;
        s.Grid = {TPointF{300, 200}, TPointF{1200, 200}, TPointF{1200, 800}, TPointF{300, 800}};
        s.Noise = 1.5;
        const double camera[9] = {0.92, 0.1, -0.02, 0.05, 0.88, 0.07, 0.02, -0.06, 1.04};
        std::copy(camera, camera + 9, s.Matrix);
        s.Gamma[0] = 1.15, s.Gamma[2] = 0.9;
        picture_ = new TBitmap24(Render(s));
    }
    static void TearDownTestSuite() {
        delete picture_;
        picture_ = nullptr;
    }
    static TSelectionCheck Check(const TSelection& sel, TChartType chart = TChartType::Classic) {
        return CheckSelection(*picture_, Grid(sel, chart), chart);
    }
    static TBitmap24* picture_;
};
TBitmap24* SelectionCheck::picture_ = nullptr;

TEST_F(SelectionCheck, QuietWhenTheSelectionFits) {
    const TSelectionCheck c = Check({300, 200, 1200, 800});
    EXPECT_TRUE(c.Warnings.empty()) << c.Warnings[0];
    EXPECT_GT(c.Score, 0.95);
    EXPECT_EQ(c.BestStart, 0);
    EXPECT_FALSE(c.BestMirrored);
    // Given as tilted-looking corners a little off the whole pixels, the same.
    const TQuad q = {TPointF{300.4, 200.2}, TPointF{1199.6, 200.5}, TPointF{1199.8, 799.7}, TPointF{300.1, 800.3}};
    EXPECT_TRUE(CheckSelection(*picture_, Grid(q, TChartType::Classic), TChartType::Classic).Warnings.empty());
}

TEST_F(SelectionCheck, DetectionFindsTheGridToAFractionOfAPixel) {
    const auto found = DetectChart(*picture_);
    ASSERT_TRUE(found.has_value());
    const TQuad truth = {TPointF{300, 200}, TPointF{1200, 200}, TPointF{1200, 800}, TPointF{300, 800}};
    for (std::size_t k = 0; k < 4; ++k) {
        EXPECT_NEAR(found->Corners[k].X, truth[k].X, 0.2) << "corner " << k + 1;
        EXPECT_NEAR(found->Corners[k].Y, truth[k].Y, 0.2) << "corner " << k + 1;
    }
}

TEST_F(SelectionCheck, NamesWhereTheFirstPatchReallyIs) {
    // Dragged from the bottom-right: the chart reads upside down.
    TSelectionCheck c = Check({1200, 800, 300, 200});
    ASSERT_EQ(c.Warnings.size(), 1u);
    EXPECT_NE(c.Warnings[0].find("at the top-left corner of the selection, not at the bottom-right corner"), std::string::npos)
        << c.Warnings[0];
    EXPECT_NE(c.Warnings[0].find("Drag the selection from the corner next to the first patch"), std::string::npos);
    EXPECT_EQ(c.BestStart, 2);
    EXPECT_FALSE(c.BestMirrored);
    EXPECT_EQ(c.BestCorners[0].X, 300);
    EXPECT_EQ(c.BestCorners[0].Y, 200);
    EXPECT_LT(c.Score, 0.5);

    // Dragged from the top-right: the chart reads mirrored.
    c = Check({1200, 200, 300, 800});
    ASSERT_EQ(c.Warnings.size(), 1u);
    EXPECT_NE(c.Warnings[0].find("at the top-left corner of the selection, not at the top-right corner"), std::string::npos)
        << c.Warnings[0];
    EXPECT_TRUE(c.BestMirrored);
    EXPECT_EQ(c.BestCorners[0].X, 300);
    EXPECT_EQ(c.BestCorners[1].X, 1200);
    EXPECT_EQ(c.BestCorners[1].Y, 200);

    // Corners given from the bottom-left, going up first: the advice speaks of corners.
    const TQuad q = {TPointF{300, 800}, TPointF{300, 200}, TPointF{1200, 200}, TPointF{1200, 800}};
    const TSelectionCheck k = CheckSelection(*picture_, Grid(q, TChartType::Classic), TChartType::Classic);
    ASSERT_EQ(k.Warnings.size(), 1u);
    EXPECT_NE(k.Warnings[0].find("Give the corners starting next to the first patch"), std::string::npos) << k.Warnings[0];
    EXPECT_EQ(k.BestCorners[0].Y, 200);
    EXPECT_EQ(k.BestCorners[1].X, 1200);
}

TEST_F(SelectionCheck, WarnsAboutTheWrongChartAndAPlaceOffTheChart) {
    TSelectionCheck c = Check({300, 200, 1200, 800}, TChartType::DigitalSG);
    ASSERT_EQ(c.Warnings.size(), 1u);
    EXPECT_EQ(c.Warnings[0].rfind("The selected area looks like a ColorChecker Classic, not a ColorChecker Digital SG", 0), 0u)
        << c.Warnings[0];
    EXPECT_GT(c.OtherChartScore, 0.95);

    // Half a chart to the side: no reading fits.
    c = Check({750, 200, 1450, 800});
    ASSERT_EQ(c.Warnings.size(), 1u);
    EXPECT_EQ(c.Warnings[0].rfind("The colours under the selection do not look like a ColorChecker Classic in any orientation", 0), 0u)
        << c.Warnings[0];
    EXPECT_LT(c.BestScore, PlausibleFitScore);
    // Nothing but background.
    EXPECT_EQ(Check({10, 10, 200, 150}).Warnings.size(), 1u);
}

TEST_F(SelectionCheck, SuggestsWhatToUseInsteadForAOneClickFix) {
    const TSelection truth{300, 200, 1200, 800};
    auto expectRectangle = [](const TSelectionCheck& c, const TSelection& r, TChartType chart) {
        const TChartGeometry g = c.SuggestedGeometry();
        ASSERT_TRUE(g.IsRectangle());
        EXPECT_EQ(g.Rect().X1, r.X1);
        EXPECT_EQ(g.Rect().Y1, r.Y1);
        EXPECT_EQ(g.Rect().X2, r.X2);
        EXPECT_EQ(g.Rect().Y2, r.Y2);
        EXPECT_EQ(g.Columns(), ChartColumns(chart));
        EXPECT_EQ(c.SuggestedChart, chart);
    };
    TSelectionCheck c = Check(truth);
    EXPECT_EQ(c.Problem, TSelectionProblem::None);
    expectRectangle(c, truth, TChartType::Classic);

    // Dragged from either far corner: drag from the top-left instead; the chart stands upright.
    for (const TSelection& wrong : {TSelection{1200, 800, 300, 200}, TSelection{1200, 200, 300, 800}}) {
        c = Check(wrong);
        EXPECT_EQ(c.Problem, TSelectionProblem::Turned);
        EXPECT_EQ(c.SuggestedOrientation, 0);
        expectRectangle(c, truth, TChartType::Classic);
        // Taking the suggestion leaves nothing to warn about.
        EXPECT_EQ(CheckSelection(*picture_, c.SuggestedGeometry(), c.SuggestedChart).Problem, TSelectionProblem::None);
    }

    // The wrong chart type, even dragged from the far corner: the other chart, read the right way.
    c = Check({1200, 800, 300, 200}, TChartType::DigitalSG);
    EXPECT_EQ(c.Problem, TSelectionProblem::OtherChart);
    expectRectangle(c, truth, TChartType::Classic);

    // Off the chart there is nothing better to suggest than the selection itself.
    c = Check({750, 200, 1450, 800});
    EXPECT_EQ(c.Problem, TSelectionProblem::NoFit);
    expectRectangle(c, {750, 200, 1450, 800}, TChartType::Classic);
}

}  // namespace
}  // namespace tintavo
