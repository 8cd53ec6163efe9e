// CIELAB coordinates of sRGB colours and the CIEDE2000 colour difference, used to judge how
// well a calibration brings the measured chart patches onto their reference colours.
//
// The conversion is the standard one for sRGB: the sRGB transfer curve and primaries (IEC
// 61966-2-1) give CIE XYZ relative to the sRGB white, D65, and L*a*b* is taken relative to that
// same D65 white. Little CMS does the colorimetry; because its profile connection space is D50,
// its XYZ result is adapted back to D65 with the Bradford transform before the Lab step. A
// neutral sRGB colour therefore has a* = b* = 0, and sRGB red is (53.24, 80.09, 67.20) as in the
// usual sRGB tables.
#pragma once

#include "lut/LUT.h"

namespace tintavo {

struct TLabColor {
    double L = 0.0;
    double a = 0.0;
    double b = 0.0;
};

// CIELAB (D65 white) of an sRGB colour on the 0..1 scale. Components outside 0..1 are clamped
// first (a LUT entry may lie slightly outside the range). Safe to call from several threads.
TLabColor SRGBToLab(const TLutColor& rgb);

// CIEDE2000 difference of two CIELAB colours (weights kL = kC = kH = 1).
double DeltaE2000(const TLabColor& lab1, const TLabColor& lab2);

// The CIEDE2000 difference of two sRGB colours (0..1 scale).
double DeltaE2000(const TLutColor& rgb1, const TLutColor& rgb2);

}  // namespace tintavo
