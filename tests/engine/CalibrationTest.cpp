#include "engine/Calibration.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>

#include "engine/ColorChecker.h"

namespace tintavo {
namespace {

using TColourFn = std::function<TLutColor(const TLutColor&)>;

std::uint8_t ToByte(double v) { return static_cast<std::uint8_t>(std::nearbyint(255.0 * std::clamp(v, 0.0, 1.0))); }

// A grey image with a 9 x 9 block of each patch's colour around its centre (the centres come
// from the reader's own rule, so this works for any drag direction).
TBitmap24 RenderChart(int width, int height, const TSelection& sel, TChartType chart, const TColourFn& camera) {
    TBitmap24 bmp(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) bmp.SetPixel(x, y, 128, 128, 128);
    TColorCheckerReader reader;
    reader.X1 = sel.X1, reader.Y1 = sel.Y1, reader.X2 = sel.X2, reader.Y2 = sel.Y2;
    reader.Columns = ChartColumns(chart);
    reader.Rows = ChartRows(chart);
    const TLutColor* reference = ChartReference(chart);
    for (int row = 0; row < reader.Rows; ++row)
        for (int col = 0; col < reader.Columns; ++col) {
            const int index = chart == TChartType::Classic ? row * 6 + col : col * 10 + row;
            const TLutColor c = camera(reference[index]);
            int cx, cy;
            reader.PatchCenter(col, row, cx, cy);
            for (int y = cy - 4; y <= cy + 4; ++y)
                for (int x = cx - 4; x <= cx + 4; ++x) bmp.SetPixel(x, y, ToByte(c.R), ToByte(c.G), ToByte(c.B));
        }
    return bmp;
}

TLutColor SameColour(const TLutColor& c) { return c; }

// A camera that mixes channels, lifts the blacks and bends the tone curve.
TLutColor SkewedCamera(const TLutColor& c) {
    return {0.05 + 0.85 * std::pow(c.R, 1.2) + 0.05 * c.G, 0.03 + 0.9 * c.G + 0.04 * c.B,
            0.02 + 0.7 * std::pow(c.B, 0.8) + 0.1 * c.R};
}

double Luma(const TLutColor& c) {
    double y, u, v;
    RGBToYUV(c.R, c.G, c.B, y, u, v);
    return y;
}

double NodeValue(int i, int n) { return static_cast<double>(i / static_cast<long double>(n - 1)); }

const TSelection kClassicSel{100, 50, 700, 450};
const TSelection kSGSel{20, 20, 1420, 1020};

TEST(Calibration, ChartGeometry) {
    EXPECT_EQ(ChartColumns(TChartType::Classic), 6);
    EXPECT_EQ(ChartRows(TChartType::Classic), 4);
    EXPECT_EQ(ChartPatchCount(TChartType::Classic), 24);
    EXPECT_EQ(ChartColumns(TChartType::DigitalSG), 14);
    EXPECT_EQ(ChartRows(TChartType::DigitalSG), 10);
    EXPECT_EQ(ChartPatchCount(TChartType::DigitalSG), 140);
    EXPECT_EQ(ChartReference(TChartType::Classic), &ClassicReference[0]);
    EXPECT_EQ(ChartReference(TChartType::DigitalSG), &SGReference[0]);
}

TEST(Calibration, ChartOfReferenceColoursGivesTheIdentity) {
    // Classic values are whole numbers on the 0..255 scale, so the image reproduces them exactly.
    const TBitmap24 bmp = RenderChart(800, 500, kClassicSel, TChartType::Classic, SameColour);
    for (bool colorsOnly : {false, true}) {
        auto lut = std::make_unique<TLUT>();
        lut->LutKind = lk3D;
        lut->Size3D = 33;
        TMeasuredPatches measured;
        auto mapping = Calibrate(bmp, kClassicSel, TChartType::Classic, colorsOnly, *lut, measured);
        ASSERT_EQ(measured.PatchCount, 24);
        for (int i = 0; i < 24; ++i) EXPECT_EQ(measured.MeasuredColors[i].G, ClassicReference[i].G) << i;
        EXPECT_EQ(mapping->Interpolator().Spline->SourceCount, 24);
        const double tol = colorsOnly ? 1e-4 : 1e-9;
        double worst = 0;
        for (int r = 0; r < 33; ++r)
            for (int g = 0; g < 33; ++g)
                for (int b = 0; b < 33; ++b) {
                    const TLutColor& c = lut->Table3D[r][g][b];
                    worst = std::max({worst, std::fabs(c.R - NodeValue(r, 33)), std::fabs(c.G - NodeValue(g, 33)),
                                      std::fabs(c.B - NodeValue(b, 33))});
                }
        EXPECT_LT(worst, tol) << "colorsOnly " << colorsOnly;
        EXPECT_EQ(lut->LutKind, lk3D);
        EXPECT_EQ(lut->Size3D, 33);
    }
}

TEST(Calibration, DigitalSGUsesFortyFiveControlPointsAndMapsReferencesToThemselves) {
    TMeasuredPatches measured;
    std::copy(SGReference, SGReference + 140, measured.MeasuredColors);
    measured.PatchCount = 140;
    TCalibrationMapping mapping(measured, TChartType::DigitalSG, false);
    EXPECT_EQ(mapping.Interpolator().Spline->SourceCount, 45);
    for (double x : {0.0, 0.2, 0.55, 1.0})
        for (double y : {0.0, 0.35, 0.9})
            for (double z : {0.1, 0.5, 1.0}) {
                const TLutColor c = mapping.MapNode(x, y, z);
                EXPECT_NEAR(c.R, x, 1e-9);
                EXPECT_NEAR(c.G, y, 1e-9);
                EXPECT_NEAR(c.B, z, 1e-9);
            }
}

TEST(Calibration, ColorsOnlyKeepsEveryNodesLuma) {
    const TBitmap24 bmp = RenderChart(1440, 1040, kSGSel, TChartType::DigitalSG, SkewedCamera);
    auto lut = std::make_unique<TLUT>();
    lut->Size3D = 33;
    TMeasuredPatches measured;
    auto mapping = Calibrate(bmp, kSGSel, TChartType::DigitalSG, true, *lut, measured);
    EXPECT_EQ(measured.PatchCount, 140);
    bool anyColourChanged = false;
    for (int r = 0; r < 33; ++r)
        for (int g = 0; g < 33; ++g)
            for (int b = 0; b < 33; ++b) {
                const TLutColor in{NodeValue(r, 33), NodeValue(g, 33), NodeValue(b, 33)};
                const TLutColor& out = lut->Table3D[r][g][b];
                ASSERT_NEAR(Luma(out), Luma(in), 1e-5) << r << "," << g << "," << b;
                if (std::fabs(out.R - in.R) > 0.01) anyColourChanged = true;
            }
    EXPECT_TRUE(anyColourChanged) << "the camera's colour shift was corrected";
    EXPECT_NEAR(Luma(lut->Table3D[0][0][0]), 0.0, 1e-5);
    EXPECT_NEAR(Luma(lut->Table3D[32][32][32]), 1.0, 1e-5);

    // Without the option the correction also changes the brightness: black is lifted by the
    // camera, so the mapping darkens dark greys.
    TMeasuredPatches again;
    auto full = Calibrate(bmp, kSGSel, TChartType::DigitalSG, false, *lut, again);
    EXPECT_LT(Luma(lut->Table3D[4][4][4]), Luma({NodeValue(4, 33), NodeValue(4, 33), NodeValue(4, 33)}) - 0.01);
}

TEST(Calibration, SelectionDraggedFromTheBottomRightNumbersPatchesFromThere) {
    const TBitmap24 bmp = RenderChart(800, 500, kClassicSel, TChartType::Classic, SameColour);
    TMeasuredPatches measured;
    SamplePatches(bmp, TSelection{700, 450, 100, 50}, TChartType::Classic, measured);
    ASSERT_EQ(measured.PatchCount, 24);
    for (int i = 0; i < 24; ++i) {
        EXPECT_EQ(measured.MeasuredColors[i].R, ClassicReference[23 - i].R) << i;
        EXPECT_EQ(measured.MeasuredColors[i].B, ClassicReference[23 - i].B) << i;
    }
}

TEST(Calibration, CoincidentCornersRaiseTheSingularErrorAndLeaveTheLutUnchanged) {
    const TBitmap24 bmp = RenderChart(800, 500, kClassicSel, TChartType::Classic, SameColour);
    for (TChartType chart : {TChartType::Classic, TChartType::DigitalSG}) {
        auto lut = std::make_unique<TLUT>();
        lut->SetIdentity3D(33);
        lut->Table3D[5][6][7] = {0.25, -3.0, 9.0};
        auto before = std::make_unique<TLUT>();
        before->CopyFrom(*lut);
        TMeasuredPatches measured;
        try {
            Calibrate(bmp, TSelection{300, 200, 300, 200}, chart, false, *lut, measured);
            FAIL() << "no exception";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(),
                         "Error calculating the thin-plate-splines coefficient matrix. Matrix is not invertable");
        }
        EXPECT_EQ(std::memcmp(lut->Table3D, before->Table3D, sizeof lut->Table3D), 0);
    }
}

TEST(Calibration, SelectionsThatCannotBeCalibratedSayWhatToDo) {
    // A Classic chart whose patches fill their cells, read as a Digital SG one: several cells of
    // the finer grid measure the same patch. A tiny selection puts every patch in one spot.
    TBitmap24 bmp = RenderChart(800, 500, kClassicSel, TChartType::Classic, SkewedCamera);
    for (int y = kClassicSel.Y1; y < kClassicSel.Y2; ++y)
        for (int x = kClassicSel.X1; x < kClassicSel.X2; ++x) {
            const int index = (y - kClassicSel.Y1) / 100 * 6 + (x - kClassicSel.X1) / 100;
            const TLutColor c = SkewedCamera(ClassicReference[index]);
            bmp.SetPixel(x, y, ToByte(c.R), ToByte(c.G), ToByte(c.B));
        }
    struct TCase {
        TSelection Sel;
        TChartType Chart;
        const char* Advice;
    };
    for (const TCase& c : {TCase{kClassicSel, TChartType::DigitalSG, "check that the chart type"},
                           TCase{TSelection{300, 200, 312, 210}, TChartType::Classic, "too small"}}) {
        auto lut = std::make_unique<TLUT>();
        lut->SetIdentity3D(33);
        TMeasuredPatches measured;
        try {
            Calibrate(bmp, c.Sel, c.Chart, true, *lut, measured);
            FAIL() << "no exception";
        } catch (const ECalibrationError& e) {
            EXPECT_STREQ(e.what(),
                         "Error calculating the thin-plate-splines coefficient matrix. Matrix is not invertable");
            EXPECT_NE(e.Advice().find(c.Advice), std::string::npos) << e.Advice();
        }
        EXPECT_EQ(lut->Table3D[32][0][0].R, 1.0);
        EXPECT_EQ(lut->Table3D[32][0][0].G, 0.0);
    }
}

TEST(Calibration, EmptyImageOrBadSizeRaisesBeforeTouchingTheLut) {
    auto lut = std::make_unique<TLUT>();
    lut->SetIdentity3D(33);
    TMeasuredPatches measured;
    TBitmap24 empty;
    try {
        Calibrate(empty, kClassicSel, TChartType::Classic, false, *lut, measured);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "No image to sample.");
    }
    EXPECT_EQ(lut->Table3D[32][0][0].R, 1.0);

    const TBitmap24 bmp = RenderChart(800, 500, kClassicSel, TChartType::Classic, SkewedCamera);
    for (int size : {0, 1, 102}) {
        lut->Size3D = size;
        EXPECT_THROW(Calibrate(bmp, kClassicSel, TChartType::Classic, false, *lut, measured), std::runtime_error);
    }
    lut->Size3D = 33;
    EXPECT_EQ(lut->Table3D[32][0][0].R, 1.0);
    EXPECT_EQ(lut->Table3D[1][0][0].R, NodeValue(1, 33));
}

TEST(Calibration, MappingIsEvaluatedOnAnyGridSize) {
    const TBitmap24 bmp = RenderChart(800, 500, kClassicSel, TChartType::Classic, SkewedCamera);
    auto lut33 = std::make_unique<TLUT>();
    lut33->Size3D = 33;
    TMeasuredPatches measured;
    auto mapping = Calibrate(bmp, kClassicSel, TChartType::Classic, false, *lut33, measured);

    // Nodes shared by the 17-, 33- and 65-point grids lie at the same inputs, so they hold the
    // same values bit for bit: the finer grids evaluate the mapping, they do not resample.
    auto lut17 = std::make_unique<TLUT>();
    lut17->Size3D = 17;
    mapping->FillTable(*lut17);
    auto lut65 = std::make_unique<TLUT>();
    lut65->Size3D = 65;
    mapping->FillTable(*lut65);
    for (int r = 0; r < 17; ++r)
        for (int g = 0; g < 17; ++g)
            for (int b = 0; b < 17; ++b) {
                const TLutColor& a = lut17->Table3D[r][g][b];
                const TLutColor& c = lut33->Table3D[2 * r][2 * g][2 * b];
                const TLutColor& d = lut65->Table3D[4 * r][4 * g][4 * b];
                ASSERT_TRUE(a.R == c.R && a.G == c.G && a.B == c.B && c.R == d.R && c.G == d.G && c.B == d.B)
                    << r << "," << g << "," << b;
            }
    // An odd 65-point node is the mapping's value there, not the average of its neighbours.
    const TLutColor mid = mapping->MapNode(NodeValue(1, 65), 0.0, 0.0);
    EXPECT_EQ(lut65->Table3D[1][0][0].R, mid.R);

    auto lut2 = std::make_unique<TLUT>();
    lut2->Size3D = 2;
    mapping->FillTable(*lut2);
    const TLutColor top = mapping->MapNode(1, 1, 1);
    EXPECT_EQ(lut2->Table3D[1][1][1].G, top.G);
    EXPECT_EQ(lut2->Table3D[1][1][1].G, lut33->Table3D[32][32][32].G);
}

TEST(Calibration, ThreadedFillIsBitIdenticalToOneThread) {
    const TBitmap24 bmp = RenderChart(1440, 1040, kSGSel, TChartType::DigitalSG, SkewedCamera);
    TMeasuredPatches measured;
    SamplePatches(bmp, kSGSel, TChartType::DigitalSG, measured);
    for (bool colorsOnly : {false, true}) {
        TCalibrationMapping mapping(measured, TChartType::DigitalSG, colorsOnly);
        for (int size : {33, 35}) {
            auto single = std::make_unique<TLUT>();
            single->Size3D = size;
            mapping.FillTable(*single, 1);
            for (int threads : {0, 2, 3}) {
                auto multi = std::make_unique<TLUT>();
                multi->Size3D = size;
                mapping.FillTable(*multi, threads);
                EXPECT_EQ(std::memcmp(multi->Table3D, single->Table3D, sizeof single->Table3D), 0)
                    << "size " << size << ", threads " << threads;
            }
        }
    }
}

// The table is filled line by line; every entry must still be the node rule applied to the
// model's value at that node alone, whatever the chart, the rule and the grid size.
TEST(Calibration, EveryTableEntryIsTheNodesOwnValue) {
    struct TCase {
        TChartType Chart;
        TSelection Sel;
        int Width, Height;
    };
    for (const TCase& c : {TCase{TChartType::Classic, kClassicSel, 800, 500}, TCase{TChartType::DigitalSG, kSGSel, 1440, 1040}}) {
        const TBitmap24 bmp = RenderChart(c.Width, c.Height, c.Sel, c.Chart, SkewedCamera);
        TMeasuredPatches measured;
        SamplePatches(bmp, c.Sel, c.Chart, measured);
        for (bool colorsOnly : {false, true}) {
            const TCalibrationMapping mapping(measured, c.Chart, colorsOnly);
            for (int size : {2, 17, 101}) {
                auto lut = std::make_unique<TLUT>();
                lut->Size3D = size;
                mapping.FillTable(*lut);
                // Every node of the small grids; on the largest every seventh line in red and green.
                const int step = size > 33 ? 7 : 1;
                for (int r = 0; r < size; r += step)
                    for (int g = 0; g < size; g += step)
                        for (int b = 0; b < size; ++b) {
                            const TLutColor want = mapping.MapNode(NodeValue(r, size), NodeValue(g, size), NodeValue(b, size));
                            ASSERT_EQ(std::memcmp(&want, &lut->Table3D[r][g][b], sizeof want), 0)
                                << ChartInfo(c.Chart).CommandName << (colorsOnly ? " colors only" : "") << " size " << size
                                << " node " << r << "," << g << "," << b;
                        }
            }
        }
    }
}

TEST(Calibration, SmallSelectionAtTheImageEdgeSamplesOnlyInsideTheImage) {
    // A Classic selection covering a tiny image: the windows of all patches cross the border.
    TBitmap24 bmp(12, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 12; ++x) bmp.SetPixel(x, y, 20 * x, 30 * y, 255 - 20 * x);
    TMeasuredPatches measured;
    SamplePatches(bmp, TSelection{0, 0, 12, 8}, TChartType::Classic, measured);
    // Patch 0 is centred on (1, 1): its window keeps x, y = 0..4, 25 pixels.
    EXPECT_EQ(measured.MeasuredColors[0].R, static_cast<double>((20 * 10 * 5 / 25) / 255.0L));
    // Patch 23 is centred on (11, 7): its window keeps x = 8..11, y = 4..7.
    EXPECT_EQ(measured.MeasuredColors[23].G, static_cast<double>((30 * (4 + 5 + 6 + 7) * 4 / 16) / 255.0L));
}

}  // namespace
}  // namespace tintavo
