// The spectral data of the physically based test cameras, in one place: the observer, the light
// sources and the camera sensors (README.md beside this file says where each comes from).
//
// Every curve here is a formula with published or stated parameters, not a measured table: no
// measured camera sensitivity table with a licence that lets it into this repository was found
// (README.md lists the ones looked at and why each was left out). The sensors below are
// parametric: sums of two-sided Gaussian lobes (a different width below and above the peak)
// times an infrared cut-off filter.
#pragma once

namespace tintavo::spectral {

// The wavelength grid every spectrum is sampled on: 380..780 nm every 5 nm.
constexpr int FirstNm = 380;
constexpr int StepNm = 5;
constexpr int SampleCount = 81;

// exp(-((nm - Peak) / width)^2 / 2) times Height, the width being WidthBelow below the peak and
// WidthAbove above it.
struct TLobe {
    double Peak;
    double WidthBelow;
    double WidthAbove;
    double Height;
};

// The CIE 1931 2-degree colour-matching functions as the multi-lobe fit of Wyman, Sloan and
// Shirley, "Simple Analytic Approximations to the CIE XYZ Color Matching Functions", Journal of
// Computer Graphics Techniques 2(2), 2013 (table 1): x-bar, y-bar, z-bar.
constexpr TLobe ObserverX[] = {{599.8, 37.9, 31.0, 1.056}, {442.0, 16.0, 26.7, 0.362}, {501.1, 20.4, 26.2, -0.065}};
constexpr TLobe ObserverY[] = {{568.8, 46.9, 40.5, 0.821}, {530.9, 16.3, 31.1, 0.286}};
constexpr TLobe ObserverZ[] = {{437.0, 11.8, 36.0, 1.217}, {459.0, 26.0, 13.8, 0.681}};

// Light sources are Planck radiators with the second radiation constant of the definition of
// CIE standard illuminant A (1.435e-2 m K): at 2848 K that is illuminant A itself (tungsten,
// 2856 K on today's temperature scale); daylight is the radiator at 6504 K, the correlated
// colour temperature of D65 (the CIE daylight tables themselves are not in the repository).
constexpr double PlanckC2 = 1.435e7;  // nm K
constexpr double TungstenKelvin = 2848.0;
constexpr double DaylightKelvin = 6504.0;

// A camera sensor: red, green and blue sensitivities, each a sum of lobes, all times an
// infrared cut-off filter whose transmission falls as a logistic curve through one half at
// IrCutNm with the slope set by IrCutWidth (nm).
struct TSensorData {
    const char* Name;
    const TLobe* Red;
    int RedLobes;
    const TLobe* Green;
    int GreenLobes;
    const TLobe* Blue;
    int BlueLobes;
    double IrCutNm;
    double IrCutWidth;
};

// sensor-a: a recent CMOS sensor with moderate overlap, the red filter leaking a little in the
// violet as dyed red filters do.
constexpr TLobe SensorARed[] = {{600.0, 28.0, 45.0, 1.0}, {440.0, 18.0, 20.0, 0.06}};
constexpr TLobe SensorAGreen[] = {{535.0, 38.0, 45.0, 1.0}};
constexpr TLobe SensorABlue[] = {{460.0, 24.0, 40.0, 0.95}};
// sensor-b: an older sensor with broad, strongly overlapping filters (a green that reaches far
// into the red, a red with a second violet lobe).
constexpr TLobe SensorBRed[] = {{590.0, 40.0, 55.0, 1.0}, {430.0, 25.0, 25.0, 0.10}};
constexpr TLobe SensorBGreen[] = {{528.0, 50.0, 58.0, 1.0}};
constexpr TLobe SensorBBlue[] = {{455.0, 30.0, 50.0, 0.90}};
// sensor-c: narrow filters with the red peak far out and a blue with a long tail into the
// green, under a steep cut-off.
constexpr TLobe SensorCRed[] = {{612.0, 24.0, 38.0, 1.0}};
constexpr TLobe SensorCGreen[] = {{542.0, 34.0, 34.0, 1.0}, {490.0, 20.0, 20.0, 0.15}};
constexpr TLobe SensorCBlue[] = {{465.0, 22.0, 35.0, 1.0}, {520.0, 25.0, 30.0, 0.12}};

constexpr TSensorData Sensors[] = {
    {"sensor-a", SensorARed, 2, SensorAGreen, 1, SensorABlue, 1, 660.0, 10.0},
    {"sensor-b", SensorBRed, 2, SensorBGreen, 1, SensorBBlue, 1, 680.0, 14.0},
    {"sensor-c", SensorCRed, 1, SensorCGreen, 2, SensorCBlue, 2, 650.0, 7.0},
};

}  // namespace tintavo::spectral
