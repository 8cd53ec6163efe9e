// Patches sampled from a precise working image: floating-point means of the same 7 x 7 window,
// and the calibration fitted on them.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>

#include "engine/Calibration.h"
#include "engine/CalibrationReport.h"
#include "engine/ColorChecker.h"

namespace tintavo {
namespace {

TPreciseImage Noise(int w, int h, unsigned seed) {
    TPreciseImage image(w, h);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> d(0.0f, 1.0f);
    for (int y = 0; y < h; ++y)
        for (std::ptrdiff_t i = 0; i < image.RowFloats(); ++i) image.Row(y)[i] = d(rng);
    return image;
}

// A camera that bends the tone curve and mixes the channels, as the working image holds it:
// each patch of the chart filled, without noise, at full precision.
TPreciseImage RenderChart(TChartType chart, const TSelection& grid, int w, int h) {
    TPreciseImage image(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) image.SetPixel(x, y, 0.3f, 0.31f, 0.33f);
    const TChartInfo& info = ChartInfo(chart);
    const TChartGeometry geometry(grid, info.Columns, info.Rows);
    for (int i = 0; i < info.PatchCount(); ++i) {
        int column, row, cx, cy;
        info.PatchCell(i, column, row);
        geometry.PatchCenter(column, row, cx, cy);
        const TLutColor& c = info.Reference[i];
        const float r = static_cast<float>(0.04 + 0.85 * c.R + 0.06 * c.G);
        const float g = static_cast<float>(0.92 * std::pow(c.G, 1.1) + 0.03);
        const float b = static_cast<float>(0.82 * c.B + 0.1 * c.R + 0.02);
        for (int y = cy - 12; y <= cy + 12; ++y)
            for (int x = cx - 12; x <= cx + 12; ++x) image.SetPixel(x, y, r, g, b);
    }
    return image;
}

}  // namespace

// Each patch is the plain mean of its 49 samples (to 1e-5 and much closer), with no truncation
// to 8-bit levels; near the border only the pixels inside the image count, as in the 8-bit
// sampling; a patch sampled from the rounded bitmap is its truncated mean.
TEST(PreciseSampling, PatchMeansAreTheFloatingPointMeansOfTheWindow) {
    const TPreciseImage image = Noise(700, 460, 4);
    const TSelection rect{100, 50, 700, 450};  // the last column's centre is 650: all inside
    TMeasuredPatches precise, bytes;
    SamplePatches(image, TChartGeometry(rect, 6, 4), TChartType::Classic, precise);
    TBitmap24 rounded;
    PreciseToBitmap(image, rounded);
    SamplePatches(rounded, TChartGeometry(rect, 6, 4), TChartType::Classic, bytes);
    ASSERT_EQ(precise.PatchCount, 24);
    int differing = 0;
    for (int i = 0; i < 24; ++i) {
        const int cx = 150 + (i % 6) * 100, cy = 100 + (i / 6) * 100;
        double sum[3] = {0, 0, 0};
        for (int y = cy - 3; y <= cy + 3; ++y)
            for (int x = cx - 3; x <= cx + 3; ++x)
                for (int c = 0; c < 3; ++c) sum[c] += image.Row(y)[3 * x + c];
        const TLutColor& m = precise.MeasuredColors[i];
        EXPECT_NEAR(m.R, sum[0] / 49, 1e-12) << i;
        EXPECT_NEAR(m.G, sum[1] / 49, 1e-12) << i;
        EXPECT_NEAR(m.B, sum[2] / 49, 1e-12) << i;
        // The 8-bit mean of the rounded samples, truncated, lies within a level below.
        EXPECT_NEAR(bytes.MeasuredColors[i].G, m.G - 0.5 / 255, 0.51 / 255) << i;
        if (std::abs(bytes.MeasuredColors[i].R - m.R) > 1e-4) ++differing;
    }
    EXPECT_GT(differing, 20);

    // A window cut by the image's corner: the 4 x 4 pixels inside it.
    double r, g, b;
    SampleWindow(image, 0, 0, r, g, b);
    double sum = 0;
    for (int y = 0; y <= 3; ++y)
        for (int x = 0; x <= 3; ++x) sum += image.Row(y)[3 * x + 1];
    EXPECT_NEAR(g, sum / 16, 1e-12);
    SampleWindow(image, 5000, -200, r, g, b);  // far outside: the nearest corner's window
    sum = 0;
    for (int y = 0; y <= 3; ++y)
        for (int x = 696; x <= 699; ++x) sum += image.Row(y)[3 * x + 2];
    EXPECT_NEAR(b, sum / 16, 1e-12);
    EXPECT_THROW(SampleWindow(TPreciseImage(), 1, 1, r, g, b), std::runtime_error);
}

// On a noise-free rendering, the calibration fitted on the precise patches is a different table
// from the one fitted on truncated 8-bit patches, and it is no worse on the patches the fit did
// not use.
TEST(PreciseSampling, CalibrationFromPreciseMeansIsNoWorseOnHeldOutPatches) {
    const TSelection grid{60, 80, 1460, 980};
    const TPreciseImage image = RenderChart(TChartType::DigitalSG, grid, 1500, 1000);
    TBitmap24 bitmap;
    PreciseToBitmap(image, bitmap);
    const TChartGeometry geometry(grid, 14, 10);

    auto precise = std::make_unique<TLUT>(), eight = std::make_unique<TLUT>();
    precise->LutKind = eight->LutKind = lk3D;
    precise->Size3D = eight->Size3D = CalibrationLutSize;
    TMeasuredPatches fromPrecise, fromBitmap;
    Calibrate(image, geometry, TChartType::DigitalSG, true, *precise, fromPrecise);
    Calibrate(bitmap, geometry, TChartType::DigitalSG, true, *eight, fromBitmap);

    double largest = 0;
    for (int r = 0; r < 33; ++r)
        for (int g = 0; g < 33; ++g)
            for (int b = 0; b < 33; ++b)
                largest = std::max(largest, std::abs(precise->Table3D[r][g][b].G - eight->Table3D[r][g][b].G));
    EXPECT_GT(largest, 1e-4);

    const TCalibrationReport withPrecise = ComputeCalibrationReport(fromPrecise, TChartType::DigitalSG, true);
    const TCalibrationReport withBitmap = ComputeCalibrationReport(fromBitmap, TChartType::DigitalSG, true);
    ASSERT_EQ(withPrecise.HeldOut.After.Count, 95);
    EXPECT_LE(withPrecise.HeldOut.After.Mean, withBitmap.HeldOut.After.Mean);
    RecordProperty("heldOutMeanPrecise", std::to_string(withPrecise.HeldOut.After.Mean));
    RecordProperty("heldOutMeanEightBit", std::to_string(withBitmap.HeldOut.After.Mean));
}

}  // namespace tintavo
