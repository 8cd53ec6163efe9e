#include "engine/ColorChecker.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <vector>

#include "engine/ColorCheckersData.h"

namespace tintavo {
namespace {

TEST(ColorCheckersData, TablesAreNormalisedOnce) {
    EXPECT_EQ(ClassicReference[0].R, static_cast<double>(116 / 255.0L));
    EXPECT_EQ(ClassicReference[0].G, static_cast<double>(81 / 255.0L));
    EXPECT_EQ(ClassicReference[0].B, static_cast<double>(67 / 255.0L));
    EXPECT_EQ(ClassicReference[17].R, 0.0);
    EXPECT_EQ(ClassicReference[17].G, static_cast<double>(136 / 255.0L));
    EXPECT_EQ(ClassicReference[23].B, static_cast<double>(51 / 255.0L));
    // Column 1, row 4: a negative red becomes 0.
    EXPECT_EQ(SGReference[14].R, 0.0);
    EXPECT_EQ(SGReference[14].G, static_cast<double>(121.32L / 255.0L));
    EXPECT_EQ(SGReference[14].B, static_cast<double>(193.02L / 255.0L));
    // Column 12, row 5: red above 255 becomes 1.
    EXPECT_EQ(SGReference[125].R, 1.0);
    EXPECT_EQ(SGReference[125].G, static_cast<double>(173.5L / 255.0L));
    EXPECT_EQ(SGReference[125].B, 0.0);
    EXPECT_EQ(SGReference[139].G, static_cast<double>(244.71L / 255.0L));

    const TLutColor before = SGReference[50];
    NormalizeReferences();  // a second call changes nothing
    EXPECT_EQ(SGReference[50].R, before.R);
    EXPECT_EQ(ClassicReference[0].R, static_cast<double>(116 / 255.0L));

    for (int i = 0; i < MaxPatches; ++i) {
        for (const TLutColor* t : {&ClassicReference[i], &SGReference[i]}) {
            EXPECT_TRUE(t->R >= 0 && t->R <= 1 && t->G >= 0 && t->G <= 1 && t->B >= 0 && t->B <= 1) << i;
        }
        if (i >= 24) {
            EXPECT_EQ(ClassicReference[i].R, 0.0);
            EXPECT_EQ(ClassicReference[i].G, 0.0);
            EXPECT_EQ(ClassicReference[i].B, 0.0);
        }
    }
}

TEST(ColorCheckerThinning, DigitalSGKeepsTheSame45Patches) {
    const std::vector<int> expected = {0,  1,  2,  11, 12, 13, 14, 16, 17, 21, 22, 23, 26, 27, 28,
                                       31, 32, 35, 36, 37, 38, 41, 42, 46, 52, 53, 62, 63, 64, 65,
                                       66, 68, 71, 73, 81, 82, 83, 85, 91, 92, 116, 117, 121, 124, 128};
    EXPECT_EQ(ThinnedPatchIndices(SGReference, 140), expected);
    const std::vector<int> classic = ThinnedPatchIndices(ClassicReference, 24);
    ASSERT_EQ(classic.size(), 24u);
    EXPECT_EQ(classic.back(), 23);
}

TEST(ColorCheckerThinning, BuildSplineFitsTheKeptMeasuredColours) {
    TColorCheckerInterpolate interp;
    for (int i = 0; i < 140; ++i) {
        interp.Reference[i] = SGReference[i];
        interp.Measured[i] = {0.9 * SGReference[i].R + 0.05, SGReference[i].G, 0.8 * SGReference[i].B};
    }
    interp.PatchCount = 140;
    interp.BuildSpline();
    ASSERT_NE(interp.Spline, nullptr);
    ASSERT_EQ(interp.Spline->SourceCount, 45);
    // Control point 6 is patch 14 (column 1, row 4).
    EXPECT_EQ(interp.Spline->SourcePoints[3 * 6 + 0], interp.Measured[14].R);
    EXPECT_EQ(interp.Spline->SourcePoints[3 * 6 + 2], interp.Measured[14].B);
    double r, g, b;
    interp.MapColor(interp.Measured[14].R, interp.Measured[14].G, interp.Measured[14].B, r, g, b);
    EXPECT_NEAR(g, SGReference[14].G, 1e-9);
    EXPECT_NEAR(b, SGReference[14].B, 1e-9);
}

TEST(ColorCheckerReader, PatchCentresFollowTheDragDirection) {
    TColorCheckerReader reader;
    reader.Columns = 6;
    reader.Rows = 4;
    reader.X1 = 100, reader.Y1 = 50, reader.X2 = 700, reader.Y2 = 450;
    int x, y;
    reader.PatchCenter(0, 0, x, y);
    EXPECT_EQ(x, 150);
    EXPECT_EQ(y, 100);
    reader.PatchCenter(5, 0, x, y);
    EXPECT_EQ(x, 650);
    reader.PatchCenter(5, 3, x, y);
    EXPECT_EQ(x, 650);
    EXPECT_EQ(y, 400);

    reader.X1 = 700, reader.Y1 = 450, reader.X2 = 100, reader.Y2 = 50;
    reader.PatchCenter(0, 0, x, y);
    EXPECT_EQ(x, 650);
    EXPECT_EQ(y, 400);
    reader.PatchCenter(5, 3, x, y);
    EXPECT_EQ(x, 150);
    EXPECT_EQ(y, 100);

    // Truncation toward zero on a negative span: -601 / 6 = -100, -100 / 2 = -50.
    reader.X1 = 701, reader.X2 = 100;
    reader.PatchCenter(1, 0, x, y);
    EXPECT_EQ(x, 701 + (-601) / 6 - 50);

    reader.Columns = 14;
    reader.Rows = 10;
    reader.X1 = 0, reader.Y1 = 0, reader.X2 = 1400, reader.Y2 = 1000;
    reader.PatchCenter(0, 1, x, y);  // patch 1
    EXPECT_EQ(x, 50);
    EXPECT_EQ(y, 150);
    reader.PatchCenter(1, 0, x, y);  // patch 10
    EXPECT_EQ(x, 150);
    EXPECT_EQ(y, 50);
}

TColorCheckerReader ReaderOn(const TBitmap24& bmp, int x1, int y1, int x2, int y2) {
    TColorCheckerReader reader;
    reader.Bitmap = &bmp;
    reader.X1 = x1, reader.Y1 = y1, reader.X2 = x2, reader.Y2 = y2;
    reader.Columns = 6;
    reader.Rows = 4;
    return reader;
}

TEST(ColorCheckerReader, SamplesTheSevenBySevenWindowWithTruncatingMeans) {
    TBitmap24 bmp(60, 40);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 60; ++x) bmp.SetPixel(x, y, 7, 7, 7);
    // Cell 10 x 10, patch (0, 0) centred on (5, 5): its window is x, y = 2..8.
    for (int y = 2; y <= 8; ++y)
        for (int x = 2; x <= 8; ++x) bmp.SetPixel(x, y, 255, 0, 0);
    // Patch (1, 0) centred on (15, 5): red bytes summing to 49 x 100 + 48.
    for (int y = 2; y <= 8; ++y)
        for (int x = 12; x <= 18; ++x) bmp.SetPixel(x, y, 100, 20, 30);
    bmp.SetPixel(15, 5, 148, 20, 30);
    const TColorCheckerReader reader = ReaderOn(bmp, 0, 0, 60, 40);
    int r, g, b;
    reader.SamplePatch(0, 0, r, g, b);
    EXPECT_EQ(r, 255);
    EXPECT_EQ(g, 0);
    EXPECT_EQ(b, 0);
    reader.SamplePatch(1, 0, r, g, b);
    EXPECT_EQ(r, 100);
    EXPECT_EQ(g, 20);
    EXPECT_EQ(b, 30);
}

// Mean of the pixels of the window around (cx, cy) that lie inside the image.
void ClippedMean(const TBitmap24& bmp, int cx, int cy, int& r, int& g, int& b) {
    long sr = 0, sg = 0, sb = 0, n = 0;
    for (int y = cy - 3; y <= cy + 3; ++y)
        for (int x = cx - 3; x <= cx + 3; ++x) {
            if (x < 0 || y < 0 || x >= bmp.Width() || y >= bmp.Height()) continue;
            std::uint8_t pr, pg, pb;
            bmp.GetPixel(x, y, pr, pg, pb);
            sr += pr, sg += pg, sb += pb, ++n;
        }
    r = static_cast<int>(sr / n), g = static_cast<int>(sg / n), b = static_cast<int>(sb / n);
}

TEST(ColorCheckerReader, WindowsAtTheImageBorderAverageOnlyPixelsInside) {
    // A 6 x 4 image with a 6 x 4 selection: every centre lies on or next to the border.
    TBitmap24 bmp(6, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) bmp.SetPixel(x, y, 40 * x, 60 * y, 10 * x + y);
    const TColorCheckerReader reader = ReaderOn(bmp, 0, 0, 6, 4);
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 6; ++col) {
            int r, g, b, er, eg, eb;
            reader.SamplePatch(col, row, r, g, b);
            ClippedMean(bmp, col, row, er, eg, eb);
            EXPECT_EQ(r, er) << col << "," << row;
            EXPECT_EQ(g, eg);
            EXPECT_EQ(b, eb);
        }
    // Bottom-right corner pixel as a centre: only the 4 x 4 pixels up and left of it count.
    const TColorCheckerReader corner = ReaderOn(bmp, 5, 3, 11, 7);
    int r, g, b;
    corner.SamplePatch(0, 0, r, g, b);
    EXPECT_EQ(r, (40 * (2 + 3 + 4 + 5) * 4) / 16);
    EXPECT_EQ(g, (60 * (0 + 1 + 2 + 3) * 4) / 16);
}

TEST(ColorCheckerReader, CentresFarOutsideSampleTheNearestPixelsAndEmptyImagesRaise) {
    TBitmap24 bmp(20, 20);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) bmp.SetPixel(x, y, x, y, 0);
    const TColorCheckerReader reader = ReaderOn(bmp, -600, -400, -540, -360);
    int r, g, b;
    reader.SamplePatch(0, 0, r, g, b);
    EXPECT_EQ(r, (0 + 1 + 2 + 3) / 4);
    EXPECT_EQ(g, (0 + 1 + 2 + 3) / 4);

    TBitmap24 empty;
    const TColorCheckerReader none = ReaderOn(empty, 0, 0, 60, 40);
    try {
        none.SamplePatch(0, 0, r, g, b);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "No image to sample.");
    }
    TBitmap24 noRows(5, 0);
    const TColorCheckerReader flat = ReaderOn(noRows, 0, 0, 60, 40);
    EXPECT_THROW(flat.SamplePatch(0, 0, r, g, b), std::runtime_error);
}

TEST(ColorCheckerColour, LumaAndColourDifferences) {
    double y, u, v;
    RGBToYUV(1, 1, 1, y, u, v);
    EXPECT_NEAR(y, 1.0, 1e-15);
    EXPECT_NEAR(u, 0.00001, 1e-15);
    EXPECT_NEAR(v, 0.0, 1e-15);
    RGBToYUV(1, 0, 0, y, u, v);
    EXPECT_EQ(y, static_cast<double>(0.299L));
    EXPECT_EQ(u, static_cast<double>(-0.14713L));
    EXPECT_EQ(v, static_cast<double>(0.615L));
    double r, g, b;
    YUVToRGB(0.5, 0.1, -0.2, r, g, b);
    EXPECT_NEAR(r, 0.5 - 0.227966, 1e-15);
    EXPECT_NEAR(g, 0.5 - 0.039465 + 0.11612, 1e-15);
    EXPECT_NEAR(b, 0.5 + 0.203211, 1e-15);

    // The coefficients are rounded inverses of each other: a round trip keeps the colour to
    // within 1E-4 and the luma to within 1E-5.
    for (double cr : {0.0, 0.3, 1.0})
        for (double cg : {0.0, 0.6, 1.0})
            for (double cb : {0.0, 0.1, 1.0}) {
                RGBToYUV(cr, cg, cb, y, u, v);
                YUVToRGB(y, u, v, r, g, b);
                EXPECT_NEAR(r, cr, 1e-4);
                EXPECT_NEAR(g, cg, 1e-4);
                EXPECT_NEAR(b, cb, 1e-4);
                double y2, u2, v2;
                RGBToYUV(r, g, b, y2, u2, v2);
                EXPECT_NEAR(y2, y, 1e-5);
            }
}

TEST(ColorCheckerInterpolate, MapColorClampsToTheUnitRange) {
    TColorCheckerInterpolate interp;
    // Measured = reference shifted down: the mapping lifts colours by about 0.3 and pushes
    // white above 1.
    for (int i = 0; i < 24; ++i) {
        interp.Reference[i] = ClassicReference[i];
        interp.Measured[i] = {ClassicReference[i].R * 0.7, ClassicReference[i].G * 0.7, ClassicReference[i].B * 0.7};
    }
    interp.PatchCount = 24;
    interp.BuildSpline();
    EXPECT_EQ(interp.Spline->SourceCount, 24);
    double r, g, b;
    interp.MapColor(1, 1, 1, r, g, b);
    EXPECT_EQ(r, 1.0);
    EXPECT_EQ(g, 1.0);
    EXPECT_EQ(b, 1.0);
    interp.MapColor(-2, -2, -2, r, g, b);
    EXPECT_EQ(r, 0.0);
    EXPECT_EQ(b, 0.0);
    interp.MapColor(NAN, 0.5, 0.5, r, g, b);
    EXPECT_EQ(r, 0.0) << "not-a-number becomes 0";
}

}  // namespace
}  // namespace tintavo
