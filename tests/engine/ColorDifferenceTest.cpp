#include "engine/ColorDifference.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tintavo {
namespace {

void ExpectLab(const TLutColor& rgb, double L, double a, double b) {
    const TLabColor lab = SRGBToLab(rgb);
    EXPECT_NEAR(lab.L, L, 0.02) << rgb.R << " " << rgb.G << " " << rgb.B;
    EXPECT_NEAR(lab.a, a, 0.02) << rgb.R << " " << rgb.G << " " << rgb.B;
    EXPECT_NEAR(lab.b, b, 0.02) << rgb.R << " " << rgb.G << " " << rgb.B;
}

TEST(ColorDifference, SRGBToLabMatchesTheD65Tables) {
    // Published CIELAB (D65) values of the sRGB primaries and neutrals.
    ExpectLab({1, 0, 0}, 53.2408, 80.0925, 67.2032);
    ExpectLab({0, 1, 0}, 87.7347, -86.1827, 83.1793);
    ExpectLab({0, 0, 1}, 32.2970, 79.1875, -107.8602);
    ExpectLab({1, 1, 1}, 100.0, 0.0, 0.0);
    ExpectLab({0, 0, 0}, 0.0, 0.0, 0.0);
    ExpectLab({0.5, 0.5, 0.5}, 53.3890, 0.0, 0.0);  // the sRGB curve: 0.5 encodes Y = 0.2140
}

TEST(ColorDifference, OutOfRangeComponentsAreClamped) {
    const TLabColor clamped = SRGBToLab({1.2, -0.1, std::nan("")});
    const TLabColor red = SRGBToLab({1, 0, 0});
    EXPECT_EQ(clamped.L, red.L);
    EXPECT_EQ(clamped.a, red.a);
    EXPECT_EQ(clamped.b, red.b);
}

TEST(ColorDifference, DeltaE2000MatchesSharmasTestData) {
    // Pairs from Sharma, Wu and Dalal's CIEDE2000 test data set, including the hue wrap-around
    // and a large difference.
    struct TPair {
        TLabColor first, second;
        double deltaE;
    };
    const TPair pairs[] = {
        {{50.0, 2.6772, -79.7751}, {50.0, 0.0, -82.7485}, 2.0425},
        {{50.0, 0.0, 0.0}, {50.0, -1.0, 2.0}, 2.3669},
        {{50.0, 2.49, -0.001}, {50.0, -2.49, 0.0009}, 7.1792},
        {{50.0, 2.5, 0.0}, {73.0, 25.0, -18.0}, 27.1492},
        {{60.2574, -34.0099, 36.2677}, {60.4626, -34.1751, 39.4387}, 1.2644},
    };
    for (const TPair& p : pairs) {
        EXPECT_NEAR(DeltaE2000(p.first, p.second), p.deltaE, 5e-5) << p.deltaE;
        EXPECT_NEAR(DeltaE2000(p.second, p.first), p.deltaE, 5e-5) << p.deltaE;
    }
    EXPECT_EQ(DeltaE2000(TLabColor{40, 10, -5}, TLabColor{40, 10, -5}), 0.0);
}

TEST(ColorDifference, DeltaE2000OfSRGBColours) {
    EXPECT_NEAR(DeltaE2000(TLutColor{1, 1, 1}, TLutColor{0, 0, 0}), 100.0, 1e-6);
    EXPECT_EQ(DeltaE2000(TLutColor{0.3, 0.6, 0.2}, TLutColor{0.3, 0.6, 0.2}), 0.0);
    // One code of difference in a mid grey is well below one unit; a shift to red is not.
    const double oneCode = DeltaE2000(TLutColor{0.5, 0.5, 0.5}, TLutColor{0.5 + 1 / 255.0, 0.5, 0.5});
    EXPECT_GT(oneCode, 0.0);
    EXPECT_LT(oneCode, 1.0);
    EXPECT_GT(DeltaE2000(TLutColor{0.5, 0.5, 0.5}, TLutColor{0.6, 0.5, 0.5}), 5.0);
}

}  // namespace
}  // namespace tintavo
