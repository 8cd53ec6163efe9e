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

TEST(ChartGeometry, RectangleKeepsTheTruncatingRuleAndCornersComeWithinOnePixel) {
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> coordinate(0, 1499);
    for (int trial = 0; trial < 400; ++trial) {
        // Any drag direction, spans that do not divide evenly.
        const TSelection sel{coordinate(rng), coordinate(rng), coordinate(rng), coordinate(rng)};
        for (TChartType chart : {TChartType::Classic, TChartType::DigitalSG}) {
            const int columns = ChartColumns(chart), rows = ChartRows(chart);
            const TChartGeometry rect = TChartGeometry::FromRectangle(sel);
            TChartGeometry quad;
            try {
                quad = TChartGeometry::FromCorners(RectangleCorners(sel.X1, sel.Y1, sel.X2, sel.Y2));
            } catch (const std::invalid_argument&) {
                FAIL() << "a rectangle is a parallelogram";
            }
            TColorCheckerReader reader;
            reader.X1 = sel.X1, reader.Y1 = sel.Y1, reader.X2 = sel.X2, reader.Y2 = sel.Y2;
            reader.Columns = columns, reader.Rows = rows;
            for (int row = 0; row < rows; ++row)
                for (int col = 0; col < columns; ++col) {
                    int rx, ry, gx, gy, qx, qy;
                    reader.PatchCenter(col, row, rx, ry);
                    rect.PatchPixel(col, row, columns, rows, gx, gy);
                    ASSERT_EQ(gx, rx);
                    ASSERT_EQ(gy, ry);
                    quad.PatchPixel(col, row, columns, rows, qx, qy);
                    ASSERT_LE(std::abs(qx - rx), 1) << sel.X1 << " " << sel.X2 << " column " << col;
                    ASSERT_LE(std::abs(qy - ry), 1) << sel.Y1 << " " << sel.Y2 << " row " << row;
                    const TPointF c = quad.PatchCentre(col, row, columns, rows);
                    EXPECT_NEAR(c.X, sel.X1 + (col + 0.5) * (sel.X2 - sel.X1) / columns, 1e-9);
                    EXPECT_NEAR(c.Y, sel.Y1 + (row + 0.5) * (sel.Y2 - sel.Y1) / rows, 1e-9);
                }
        }
    }
    // The rectangle hands out its corners in chart order.
    const TQuad c = TChartGeometry::FromRectangle({700, 450, 100, 50}).Corners();
    EXPECT_EQ(c[1].X, 100);
    EXPECT_EQ(c[1].Y, 450);
    EXPECT_EQ(c[3].X, 700);
    EXPECT_EQ(c[3].Y, 50);
}

TEST(ChartGeometry, CornersMapCellCentresProjectively) {
    // A known perspective map of the unit square; the quadrilateral is its image of the corners.
    const double h[9] = {820, 140, 210, -90, 560, 130, 0.35, -0.22, 1};
    auto map = [&](double u, double v) {
        const double w = h[6] * u + h[7] * v + h[8];
        return TPointF{(h[0] * u + h[1] * v + h[2]) / w, (h[3] * u + h[4] * v + h[5]) / w};
    };
    const TQuad corners = {map(0, 0), map(1, 0), map(1, 1), map(0, 1)};
    const TChartGeometry g = TChartGeometry::FromCorners(corners);
    for (int row = 0; row < 10; ++row)
        for (int col = 0; col < 14; ++col) {
            const TPointF expected = map((col + 0.5) / 14, (row + 0.5) / 10);
            const TPointF got = g.PatchCentre(col, row, 14, 10);
            EXPECT_NEAR(got.X, expected.X, 1e-7);
            EXPECT_NEAR(got.Y, expected.Y, 1e-7);
            // The sampling pixel is the centre truncated toward corner 1.
            int x, y;
            g.PatchPixel(col, row, 14, 10, x, y);
            EXPECT_EQ(x, static_cast<int>(got.X >= corners[0].X ? std::floor(got.X) : std::ceil(got.X)));
            EXPECT_EQ(y, static_cast<int>(got.Y >= corners[0].Y ? std::floor(got.Y) : std::ceil(got.Y)));
        }
}

TEST(ChartGeometry, ReorderedCornersTurnAndMirrorTheGrid) {
    const TQuad q = {TPointF{100, 100}, TPointF{700, 120}, TPointF{690, 520}, TPointF{90, 500}};
    const TChartGeometry given = TChartGeometry::FromCorners(q);
    // Starting two corners on: the chart read upside down, patch (c, r) where (5 - c, 3 - r) was.
    const TChartGeometry turned = TChartGeometry::FromCorners(ReorderedCorners(q, 2, false));
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 6; ++col) {
            const TPointF a = turned.PatchCentre(col, row, 6, 4), b = given.PatchCentre(5 - col, 3 - row, 6, 4);
            EXPECT_NEAR(a.X, b.X, 1e-9);
            EXPECT_NEAR(a.Y, b.Y, 1e-9);
        }
    // One corner on: the first row runs down the given second edge.
    const TQuad quarter = ReorderedCorners(q, 1, false);
    EXPECT_EQ(quarter[0].X, 700);
    EXPECT_EQ(quarter[3].X, 100);
    // Mirrored from corner 1: columns and rows swap on a square grid.
    const TChartGeometry mirrored = TChartGeometry::FromCorners(ReorderedCorners(q, 0, true));
    for (int row = 0; row < 5; ++row)
        for (int col = 0; col < 5; ++col) {
            const TPointF a = mirrored.PatchCentre(col, row, 5, 5), b = given.PatchCentre(row, col, 5, 5);
            EXPECT_NEAR(a.X, b.X, 1e-9);
            EXPECT_NEAR(a.Y, b.Y, 1e-9);
        }
    // Either winding is a valid quadrilateral.
    EXPECT_NO_THROW(TChartGeometry::FromCorners(ReorderedCorners(q, 3, true)));
}

TEST(ChartGeometry, RefusesCornersThatAreNoConvexQuadrilateral) {
    const char* message = "The four corners do not form a convex quadrilateral in chart order.";
    const TQuad crossed = {TPointF{0, 0}, TPointF{100, 100}, TPointF{100, 0}, TPointF{0, 100}};
    const TQuad dented = {TPointF{0, 0}, TPointF{100, 0}, TPointF{30, 30}, TPointF{0, 100}};
    const TQuad threeInLine = {TPointF{0, 0}, TPointF{50, 0}, TPointF{100, 0}, TPointF{0, 100}};
    const TQuad notANumber = {TPointF{0, 0}, TPointF{NAN, 0}, TPointF{100, 100}, TPointF{0, 100}};
    for (const TQuad& q : {crossed, dented, threeInLine, notANumber}) {
        try {
            TChartGeometry::FromCorners(q);
            ADD_FAILURE() << "accepted";
        } catch (const std::invalid_argument& e) {
            EXPECT_STREQ(e.what(), message);
        }
    }
    // A parallelogram, even one squashed to a point, has a defined grid.
    const TChartGeometry point = TChartGeometry::FromCorners({TPointF{5, 5}, TPointF{5, 5}, TPointF{5, 5}, TPointF{5, 5}});
    int x, y;
    point.PatchPixel(3, 2, 6, 4, x, y);
    EXPECT_EQ(x, 5);
    EXPECT_EQ(y, 5);
    EXPECT_THROW(point.PatchPixel(0, 0, 0, 4, x, y), std::runtime_error);
}

TEST(ChartGeometry, SamplingFollowsTheCorners) {
    // Every pixel holds its own coordinates, so a 7 x 7 mean gives back the window's centre.
    TBitmap24 bmp(250, 250);
    for (int y = 0; y < 250; ++y)
        for (int x = 0; x < 250; ++x) bmp.SetPixel(x, y, static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 9);
    const TQuad q = {TPointF{30.4, 20.2}, TPointF{220.7, 45.1}, TPointF{200.3, 230.6}, TPointF{15.9, 190.5}};
    const TChartGeometry g = TChartGeometry::FromCorners(q);
    TMeasuredPatches measured;
    SamplePatches(bmp, g, TChartType::DigitalSG, measured);
    ASSERT_EQ(measured.PatchCount, 140);
    for (int col = 0; col < 14; ++col)
        for (int row = 0; row < 10; ++row) {
            int x, y;
            g.PatchPixel(col, row, 14, 10, x, y);
            const TLutColor& m = measured.MeasuredColors[col * 10 + row];
            EXPECT_NEAR(m.R * 255, x, 1e-9);
            EXPECT_NEAR(m.G * 255, y, 1e-9);
        }
    // A rectangle samples exactly as the selection does.
    TMeasuredPatches viaSelection, viaGeometry;
    SamplePatches(bmp, TSelection{240, 230, 10, 5}, TChartType::Classic, viaSelection);
    SamplePatches(bmp, TChartGeometry::FromRectangle({240, 230, 10, 5}), TChartType::Classic, viaGeometry);
    for (int i = 0; i < 24; ++i) {
        EXPECT_EQ(viaSelection.MeasuredColors[i].R, viaGeometry.MeasuredColors[i].R);
        EXPECT_EQ(viaSelection.MeasuredColors[i].G, viaGeometry.MeasuredColors[i].G);
    }
}

}  // namespace
}  // namespace tintavo
