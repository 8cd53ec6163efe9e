// The physically based test cameras of tools/: light sources, observer, reflectances and the
// camera pipeline (white balance, the maker's matrix, exposure).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "engine/ColorCheckersData.h"
#include "engine/ColorDifference.h"
#include "engine/RootPolynomialModel.h"
#include "tools/PhysicalCameras.h"

using namespace tintavo;
using namespace tintavo::spectral;

namespace {

TLutColor DecodedReference(int patch) {
    const TLutColor& c = ChartReference(TChartType::Classic)[patch];
    return {SRGBToLinear(c.R), SRGBToLinear(c.G), SRGBToLinear(c.B)};
}

int SampleAt(double nm) { return static_cast<int>((nm - FirstNm) / StepNm); }

}  // namespace

TEST(PhysicalCameras, LightsAndObserverMatchTheCieDefinitions) {
    // Illuminant A relative to 560 nm (CIE 15 tabulates 9.7951 at 380 nm and 241.675 at 780 nm).
    const TSpectrum a = Planck(TungstenKelvin);
    EXPECT_NEAR(a[0] * 100.0, 9.7951, 1e-3);
    EXPECT_NEAR(a[SampleCount - 1] * 100.0, 241.675, 1e-2);
    EXPECT_DOUBLE_EQ(a[static_cast<std::size_t>(SampleAt(560))], 1.0);
    EXPECT_EQ(Wavelength(SampleCount - 1), 780.0);

    // The equal-energy white is at x = y = 1/3, y-bar peaks at 1 near 555 nm.
    double sum[3] = {};
    for (int k = 0; k < 3; ++k)
        for (double v : Observer(k)) sum[k] += v;
    const double total = sum[0] + sum[1] + sum[2];
    EXPECT_NEAR(sum[0] / total, 1.0 / 3.0, 0.002);
    EXPECT_NEAR(sum[1] / total, 1.0 / 3.0, 0.002);
    const TSpectrum y = Observer(1);
    const auto peak = std::max_element(y.begin(), y.end());
    EXPECT_NEAR(*peak, 1.0, 0.01);
    EXPECT_NEAR(Wavelength(static_cast<int>(peak - y.begin())), 555.0, 5.0);

    // The perfect white shows (1, 1, 1) under either light.
    TSpectrum white;
    white.fill(1.0);
    for (double kelvin : {DaylightKelvin, TungstenKelvin}) {
        const TLutColor c = ObserverColor(white, kelvin);
        EXPECT_NEAR(c.R, 1.0, 1e-12);
        EXPECT_NEAR(c.G, 1.0, 1e-12);
        EXPECT_NEAR(c.B, 1.0, 1e-12);
    }
}

TEST(PhysicalCameras, ReflectancesShowTheChartColoursUnderDaylight) {
    for (int i = 0; i < ClassicPatchCount; ++i) {
        SCOPED_TRACE(i);
        const TLutColor target = DecodedReference(i);
        const TSpectrum rho = ReflectanceFor(target);
        EXPECT_GE(*std::min_element(rho.begin(), rho.end()), 0.0);
        EXPECT_LE(*std::max_element(rho.begin(), rho.end()), 1.0);
        const TLutColor got = ObserverColor(rho, DaylightKelvin);
        // The cyan's red reference is 0, which a smooth reflectance only approaches.
        const double tolerance = i == 17 ? 0.01 : 1e-4;
        EXPECT_NEAR(got.R, target.R, tolerance);
        EXPECT_NEAR(got.G, target.G, tolerance);
        EXPECT_NEAR(got.B, target.B, tolerance);
    }
}

TEST(PhysicalCameras, EachCameraBalancesOnTheNeutralPatchAndRendersNearTheChart) {
    const std::vector<TSpectralCamera> cameras = SpectralCameras();
    ASSERT_EQ(cameras.size(), std::size(Sensors) * 4);
    for (const TSpectralCamera& camera : cameras) {
        SCOPED_TRACE(camera.Name);
        const TChartShot shot = ShootClassic(camera);
        ASSERT_EQ(shot.Linear.size(), static_cast<std::size_t>(ClassicPatchCount));
        // White stays white through the maker's matrix.
        for (int row = 0; row < 3; ++row)
            EXPECT_NEAR(shot.Matrix[row * 3] + shot.Matrix[row * 3 + 1] + shot.Matrix[row * 3 + 2], 1.0, 1e-12);
        // The neutral patch comes out neutral, at its reference brightness.
        const TLutColor n = shot.Linear[WhiteBalancePatch];
        EXPECT_NEAR(n.R, n.G, 1e-12);
        EXPECT_NEAR(n.B, n.G, 1e-12);
        const TLutColor& ref = ChartReference(TChartType::Classic)[WhiteBalancePatch];
        EXPECT_NEAR(shot.Encoded[WhiteBalancePatch].G, (ref.R + ref.G + ref.B) / 3.0, 1e-9);
        // Near the chart but not equal to it: the camera sees through its own filters.
        double mean = 0.0;
        for (int i = 0; i < ClassicPatchCount; ++i)
            mean += DeltaE2000(shot.Encoded[static_cast<std::size_t>(i)], ChartReference(TChartType::Classic)[i]);
        mean /= ClassicPatchCount;
        EXPECT_GT(mean, 0.3);
        EXPECT_LT(mean, camera.ToneCurve ? 15.0 : 8.0);
    }
}

TEST(PhysicalCameras, SensorWithAnEmptyOrNegativeChannelIsRefused) {
    constexpr TLobe ok[] = {{550.0, 30.0, 30.0, 1.0}};
    constexpr TLobe negative[] = {{550.0, 30.0, 30.0, -1.0}};
    const TSensorData good{"good", ok, 1, ok, 1, ok, 1, 660.0, 10.0};
    EXPECT_NO_THROW(SensorCurves(good));
    const TSensorData bad{"bad", ok, 1, ok, 1, negative, 1, 660.0, 10.0};
    EXPECT_THROW(SensorCurves(bad), std::invalid_argument);
    const TSensorData empty{"empty", ok, 1, ok, 0, ok, 1, 660.0, 10.0};
    EXPECT_THROW(SensorCurves(empty), std::invalid_argument);
}
