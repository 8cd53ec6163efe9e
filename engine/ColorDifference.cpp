#include "engine/ColorDifference.h"

#include <lcms2.h>

#include <cmath>
#include <stdexcept>

namespace tintavo {

namespace {

// sRGB -> XYZ (profile connection space, D50) through Little CMS, made once. A transform without
// a cache may be shared between threads.
class TSRGBToXYZ {
public:
    TSRGBToXYZ() {
        cmsHPROFILE srgb = cmsCreate_sRGBProfile();
        cmsHPROFILE xyz = cmsCreateXYZProfile();
        if (srgb && xyz) {
            transform_ = cmsCreateTransform(srgb, TYPE_RGB_DBL, xyz, TYPE_XYZ_DBL, INTENT_RELATIVE_COLORIMETRIC,
                                            cmsFLAGS_NOCACHE | cmsFLAGS_NOOPTIMIZE);
        }
        if (srgb) cmsCloseProfile(srgb);
        if (xyz) cmsCloseProfile(xyz);
        if (!transform_) throw std::runtime_error("Cannot create the sRGB to CIELAB colour transform");
        const cmsCIExyY d65 = {0.3127, 0.3290, 1.0};
        cmsxyY2XYZ(&d65White_, &d65);
    }
    ~TSRGBToXYZ() { cmsDeleteTransform(transform_); }
    TSRGBToXYZ(const TSRGBToXYZ&) = delete;
    TSRGBToXYZ& operator=(const TSRGBToXYZ&) = delete;

    TLabColor ToLab(const TLutColor& rgb) const {
        const double in[3] = {Clamp(rgb.R), Clamp(rgb.G), Clamp(rgb.B)};
        cmsCIEXYZ pcs;
        cmsDoTransform(transform_, in, &pcs, 1);
        // Back from the D50 connection space to the sRGB white, then Lab relative to it.
        cmsCIEXYZ xyz;
        cmsAdaptToIlluminant(&xyz, cmsD50_XYZ(), &d65White_, &pcs);
        cmsCIELab lab;
        cmsXYZ2Lab(&d65White_, &lab, &xyz);
        return {lab.L, lab.a, lab.b};
    }

private:
    static double Clamp(double v) {
        if (!(v >= 0.0)) return 0.0;
        return v > 1.0 ? 1.0 : v;
    }

    cmsHTRANSFORM transform_ = nullptr;
    cmsCIEXYZ d65White_{};
};

const TSRGBToXYZ& Converter() {
    static const TSRGBToXYZ converter;
    return converter;
}

}  // namespace

TLabColor SRGBToLab(const TLutColor& rgb) { return Converter().ToLab(rgb); }

double DeltaE2000(const TLabColor& lab1, const TLabColor& lab2) {
    const cmsCIELab a = {lab1.L, lab1.a, lab1.b};
    const cmsCIELab b = {lab2.L, lab2.a, lab2.b};
    return cmsCIE2000DeltaE(&a, &b, 1.0, 1.0, 1.0);
}

double DeltaE2000(const TLutColor& rgb1, const TLutColor& rgb2) {
    return DeltaE2000(SRGBToLab(rgb1), SRGBToLab(rgb2));
}

}  // namespace tintavo
