#include "engine/ChartGeometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <stdexcept>

#include "engine/Calibration.h"
#include "engine/ColorChecker.h"

namespace tintavo {
namespace {

TQuad RectangleCorners(double x1, double y1, double x2, double y2) {
    return {TPointF{x1, y1}, TPointF{x2, y1}, TPointF{x2, y2}, TPointF{x1, y2}};
}

TEST(ChartGeometry, RectangleKeepsTheTruncatingRuleAlsoWhenGivenAsCorners) {
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> coordinate(0, 1499);
    for (int trial = 0; trial < 300; ++trial) {
        // Any drag direction, spans that do not divide evenly.
        const TSelection sel{coordinate(rng), coordinate(rng), coordinate(rng), coordinate(rng)};
        for (const TChartInfo& chart : Charts()) {
            const int columns = chart.Columns, rows = chart.Rows;
            const TChartGeometry rect(sel, columns, rows);
            const TChartGeometry corners = TChartGeometry::FromCorners(RectangleCorners(sel.X1, sel.Y1, sel.X2, sel.Y2), columns, rows);
            ASSERT_TRUE(corners.IsRectangle());
            // A quarter pixel off the whole pixels: a quadrilateral with projective centres.
            const TChartGeometry shifted = TChartGeometry::FromCorners(
                RectangleCorners(sel.X1 + 0.25, sel.Y1 + 0.25, sel.X2 + 0.25, sel.Y2 + 0.25), columns, rows);
            ASSERT_FALSE(shifted.IsRectangle());
            TColorCheckerReader reader;
            reader.X1 = sel.X1, reader.Y1 = sel.Y1, reader.X2 = sel.X2, reader.Y2 = sel.Y2;
            reader.Columns = columns, reader.Rows = rows;
            for (int row = 0; row < rows; ++row)
                for (int col = 0; col < columns; ++col) {
                    int rx, ry;
                    reader.PatchCenter(col, row, rx, ry);
                    for (const TChartGeometry* g : {&rect, &corners}) {
                        const TPointF c = g->PatchCenterPoint(col, row);
                        ASSERT_EQ(c.X, rx);
                        ASSERT_EQ(c.Y, ry);
                    }
                    const TPointF c = shifted.PatchCenterPoint(col, row);
                    EXPECT_NEAR(c.X, sel.X1 + 0.25 + (col + 0.5) * (sel.X2 - sel.X1) / columns, 1e-9);
                    EXPECT_NEAR(c.Y, sel.Y1 + 0.25 + (row + 0.5) * (sel.Y2 - sel.Y1) / rows, 1e-9);
                }
        }
    }
    // The rectangle hands out its corners in chart order.
    const TQuad c = TChartGeometry(TSelection{700, 450, 100, 50}, 6, 4).Corners();
    EXPECT_EQ(c[1].X, 100);
    EXPECT_EQ(c[1].Y, 450);
    EXPECT_EQ(c[3].X, 700);
    EXPECT_EQ(c[3].Y, 50);
    // Corners that run down the first column first are no drag rectangle.
    EXPECT_FALSE(TChartGeometry::FromCorners(TQuad{TPointF{0, 0}, TPointF{0, 40}, TPointF{60, 40}, TPointF{60, 0}}, 6, 4).IsRectangle());
}

TEST(ChartGeometry, CornersMapCellCentresProjectively) {
    // A known perspective map of the unit square; the quadrilateral is its image of the corners.
    const double h[9] = {820, 140, 210, -90, 560, 130, 0.35, -0.22, 1};
    auto map = [&](double u, double v) {
        const double w = h[6] * u + h[7] * v + h[8];
        return TPointF{(h[0] * u + h[1] * v + h[2]) / w, (h[3] * u + h[4] * v + h[5]) / w};
    };
    const TQuad corners = {map(0, 0), map(1, 0), map(1, 1), map(0, 1)};
    const TChartGeometry g = TChartGeometry::FromCorners(corners, 14, 10);
    for (int row = 0; row < 10; ++row)
        for (int col = 0; col < 14; ++col) {
            const TPointF expected = map((col + 0.5) / 14, (row + 0.5) / 10);
            const TPointF got = g.PatchCenterPoint(col, row);
            EXPECT_NEAR(got.X, expected.X, 1e-7);
            EXPECT_NEAR(got.Y, expected.Y, 1e-7);
            // As a pixel: the one the centre lies in.
            int x, y;
            g.PatchCenter(col, row, x, y);
            EXPECT_EQ(x, static_cast<int>(std::floor(got.X)));
            EXPECT_EQ(y, static_cast<int>(std::floor(got.Y)));
        }
    // Cells of a tilted grid are as large as its shorter edge allows.
    const TQuad tilted = {TPointF{0, 0}, TPointF{600, 10}, TPointF{590, 400}, TPointF{5, 390}};
    EXPECT_EQ(TChartGeometry::FromCorners(tilted, 6, 4).CellSize(true), 97);   // 585.0 / 6
    EXPECT_EQ(TChartGeometry::FromCorners(tilted, 6, 4).CellSize(false), 97);  // 390.03 / 4
}

TEST(ChartGeometry, ReorderedCornersTurnAndMirrorTheGrid) {
    const TQuad q = {TPointF{100, 100}, TPointF{700, 120}, TPointF{690, 520}, TPointF{90, 500}};
    const TChartGeometry given = TChartGeometry::FromCorners(q, 6, 4);
    const TChartGeometry square = TChartGeometry::FromCorners(q, 5, 5);
    // Starting two corners on: the chart read upside down, patch (c, r) where (5 - c, 3 - r) was.
    const TChartGeometry turned = TChartGeometry::FromCorners(ReorderedCorners(q, 2, false), 6, 4);
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 6; ++col) {
            const TPointF a = turned.PatchCenterPoint(col, row), b = given.PatchCenterPoint(5 - col, 3 - row);
            EXPECT_NEAR(a.X, b.X, 1e-9);
            EXPECT_NEAR(a.Y, b.Y, 1e-9);
        }
    // One corner on: the first row runs down the given second edge.
    const TQuad quarter = ReorderedCorners(q, 1, false);
    EXPECT_EQ(quarter[0].X, 700);
    EXPECT_EQ(quarter[3].X, 100);
    // Mirrored from corner 1: columns and rows swap on a square grid.
    const TChartGeometry mirrored = TChartGeometry::FromCorners(ReorderedCorners(q, 0, true), 5, 5);
    for (int row = 0; row < 5; ++row)
        for (int col = 0; col < 5; ++col) {
            const TPointF a = mirrored.PatchCenterPoint(col, row), b = square.PatchCenterPoint(row, col);
            EXPECT_NEAR(a.X, b.X, 1e-9);
            EXPECT_NEAR(a.Y, b.Y, 1e-9);
        }
    // Either winding is a valid quadrilateral.
    EXPECT_NO_THROW(TChartGeometry::FromCorners(ReorderedCorners(q, 3, true), 6, 4));
}

TEST(ChartGeometry, CornerHandlesMoveOneCornerAndKeepTheRectangleWhileItIsOne) {
    const TChartGeometry rect(TSelection{700, 450, 100, 50}, 6, 4);
    // Handles in chart order: corner 1 is where the drag started.
    EXPECT_EQ(rect.CornerNear(TPointF{703, 446}, 6), 0);
    EXPECT_EQ(rect.CornerNear(TPointF{98, 452}, 6), 1);
    EXPECT_EQ(rect.CornerNear(TPointF{104, 52}, 6), 2);
    EXPECT_EQ(rect.CornerNear(TPointF{700, 57}, 6), -1);  // 7 pixels off
    EXPECT_EQ(rect.CornerNear(TPointF{650, 90}, 1e9), 3);
    // The nearest of two corners within reach.
    const TChartGeometry tiny(TSelection{10, 10, 14, 13}, 6, 4);
    EXPECT_EQ(tiny.CornerNear(TPointF{13, 12}, 10), 2);
    EXPECT_EQ(tiny.CornerNear(TPointF{11, 10.5}, 10), 0);

    // Pulling one corner makes four corners; the other three stay where they were.
    const TChartGeometry pulled = rect.WithCornerMovedTo(2, TPointF{90.5, 40.25});
    ASSERT_FALSE(pulled.IsRectangle());
    const TQuad c = pulled.Corners();
    EXPECT_EQ(c[0].X, 700);
    EXPECT_EQ(c[0].Y, 450);
    EXPECT_EQ(c[1].X, 100);
    EXPECT_EQ(c[2].X, 90.5);
    EXPECT_EQ(c[2].Y, 40.25);
    EXPECT_EQ(c[3].Y, 50);
    EXPECT_EQ(pulled.Columns(), 6);
    EXPECT_EQ(pulled.Rows(), 4);
    // The markers follow: patch (5, 3) sits in the cell next to the moved corner.
    const TPointF last = pulled.PatchCenterPoint(5, 3);
    EXPECT_LT(last.X, 150);
    EXPECT_LT(last.Y, 100);
    // Moved back onto whole pixels of a rectangle, it samples as the rectangle again.
    const TChartGeometry back = pulled.WithCornerMovedTo(2, TPointF{100, 50});
    ASSERT_TRUE(back.IsRectangle());
    EXPECT_EQ(back.Rect().X1, 700);
    EXPECT_EQ(back.Rect().Y2, 50);
    // A move that folds the quadrilateral is refused, and the selection keeps its shape.
    EXPECT_THROW(rect.WithCornerMovedTo(2, TPointF{800, 500}), std::invalid_argument);
    EXPECT_THROW(rect.WithCornerMovedTo(4, TPointF{0, 0}), std::out_of_range);
}

TEST(ChartGeometry, OrientationIsTheFirstRowsClockwiseTurn) {
    const TQuad upright = {TPointF{100, 100}, TPointF{700, 120}, TPointF{690, 520}, TPointF{90, 500}};
    EXPECT_EQ(ChartOrientation(upright), 0);
    // A chart turned a quarter clockwise has its first patch at the top right and its first row
    // running down (y grows downwards).
    EXPECT_EQ(ChartOrientation(ReorderedCorners(upright, 1, false)), 90);
    EXPECT_EQ(ChartOrientation(ReorderedCorners(upright, 2, false)), 180);
    EXPECT_EQ(ChartOrientation(ReorderedCorners(upright, 3, false)), 270);
    // Rolled 40 degrees clockwise is still nearest to upright; 50 degrees is nearest to a quarter turn.
    auto rolled = [](double degrees) {
        const double a = degrees * std::acos(-1.0) / 180;
        return TQuad{TPointF{0, 0}, TPointF{std::cos(a), std::sin(a)}, TPointF{std::cos(a) - std::sin(a), std::sin(a) + std::cos(a)},
                     TPointF{-std::sin(a), std::cos(a)}};
    };
    EXPECT_EQ(ChartOrientation(rolled(40)), 0);
    EXPECT_EQ(ChartOrientation(rolled(50)), 90);
    EXPECT_EQ(ChartOrientation(rolled(-50)), 270);
    EXPECT_EQ(ChartOrientation(rolled(175)), 180);
    EXPECT_EQ(ChartOrientation(rolled(-175)), 180);
}

TEST(ChartGeometry, RefusesCornersThatAreNoConvexQuadrilateral) {
    const char* message = "The four corners do not form a convex quadrilateral in chart order.";
    const TQuad crossed = {TPointF{0, 0}, TPointF{100, 100}, TPointF{100, 0}, TPointF{0, 100}};
    const TQuad dented = {TPointF{0, 0}, TPointF{100, 0}, TPointF{30, 30}, TPointF{0, 100}};
    const TQuad threeInLine = {TPointF{0, 0}, TPointF{50, 0}, TPointF{100, 0}, TPointF{0, 100}};
    const TQuad notANumber = {TPointF{0, 0}, TPointF{NAN, 0}, TPointF{100, 100}, TPointF{0, 100}};
    for (const TQuad& q : {crossed, dented, threeInLine, notANumber}) {
        try {
            TChartGeometry::FromCorners(q, 6, 4);
            ADD_FAILURE() << "accepted";
        } catch (const std::invalid_argument& e) {
            EXPECT_STREQ(e.what(), message);
        }
    }
    // A parallelogram, even one squashed to a point, has a defined grid.
    const TQuad point = {TPointF{5.5, 5}, TPointF{5.5, 5}, TPointF{5.5, 5}, TPointF{5.5, 5}};
    EXPECT_EQ(TChartGeometry::FromCorners(point, 6, 4).PatchCenterPoint(3, 2).X, 5.5);
    EXPECT_EQ(TChartGeometry::FromCorners(point, 6, 4).PatchCenterPoint(3, 2).Y, 5);
    EXPECT_THROW(TChartGeometry::FromCorners(point, 0, 4).PatchCenterPoint(0, 0), std::runtime_error);
}

TEST(ChartGeometry, CornersSampleTheWindowAtTheExactCentre) {
    // Red and green rise by one level per pixel, so a 7 x 7 mean gives back the window's centre:
    // the patch centre itself, not a whole pixel near it.
    TBitmap24 bmp(250, 250);
    for (int y = 0; y < 250; ++y)
        for (int x = 0; x < 250; ++x) bmp.SetPixel(x, y, static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 9);
    const TQuad q = {TPointF{30.4, 20.2}, TPointF{220.7, 45.1}, TPointF{200.3, 230.6}, TPointF{15.9, 190.5}};
    const TChartGeometry g = TChartGeometry::FromCorners(q, 14, 10);
    TMeasuredPatches measured;
    SamplePatches(bmp, g, TChartType::DigitalSG, measured);
    ASSERT_EQ(measured.PatchCount, 140);
    for (int col = 0; col < 14; ++col)
        for (int row = 0; row < 10; ++row) {
            const TPointF c = g.PatchCenterPoint(col, row);
            const TLutColor& m = measured.MeasuredColors[col * 10 + row];
            // Pixel i holds the value i and covers [i, i + 1).
            EXPECT_NEAR(m.R * 255, c.X - 0.5, 1e-9);
            EXPECT_NEAR(m.G * 255, c.Y - 0.5, 1e-9);
            EXPECT_NEAR(m.B * 255, 9, 1e-9);
        }
    // At the picture's edge the samples stay on the edge pixels.
    const TLutColor corner = SampleWindowAt(bmp, 0.3, 249.9);
    EXPECT_NEAR(corner.R * 255, (0 + 0 + 0 + 0 + 0.8 + 1.8 + 2.8) / 7, 1e-9);
    EXPECT_NEAR(corner.G * 255, (246.4 + 247.4 + 248.4 + 249 * 4) / 7, 1e-9);
    // A rectangle samples exactly as the selection does (truncated integer means).
    TMeasuredPatches viaSelection, viaGeometry;
    SamplePatches(bmp, TSelection{240, 230, 10, 5}, TChartType::Classic, viaSelection);
    SamplePatches(bmp, TChartGeometry::FromCorners(RectangleCorners(240, 230, 10, 5), 6, 4), TChartType::Classic, viaGeometry);
    for (int i = 0; i < 24; ++i) {
        EXPECT_EQ(viaSelection.MeasuredColors[i].R, viaGeometry.MeasuredColors[i].R);
        EXPECT_EQ(viaSelection.MeasuredColors[i].G, viaGeometry.MeasuredColors[i].G);
        EXPECT_EQ(viaSelection.MeasuredColors[i].R * 255, std::floor(viaSelection.MeasuredColors[i].R * 255 + 1e-9));
    }
}

}  // namespace
}  // namespace tintavo
