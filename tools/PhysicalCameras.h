// Physically based test cameras: the Classic chart rendered spectrally through a camera sensor
// under a light source, the way a camera makes its picture (README.md beside this file).
//
// 1. Each patch gets a smooth reflectance that, under daylight, shows its reference colour:
//    rho = S(c0 t^2 + c1 t + c2), t = (nm - 380) / 400, S(x) = 1/2 + x / (2 sqrt(1 + x^2)) (the
//    three-coefficient form of Jakob and Hanika, "A Low-Dimensional Function Space for Efficient
//    Spectral Upsampling", 2019), its coefficients solved by damped Gauss-Newton.
// 2. The sensor records sum(sensitivity x reflectance x light) per channel.
// 3. White balance: per-channel gains that make the chart's neutral patch (WhiteBalancePatch)
//    neutral under the light of the shot.
// 4. The camera's colour matrix to linear sRGB, fitted once per sensor as a maker would: least
//    squares, rows summing to one (white stays white), on a set of smooth reflectances other
//    than the chart's (TrainingReflectances), under daylight only.
// 5. Exposure: the camera meters on the neutral patch, which comes out at the mean of its
//    reference colour's components after the encoding.
// 6. Encoding: the sRGB curve, or the camera's own filmic tone curve.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "lut/LUT.h"
#include "tools/PhysicalCameraData.h"

namespace tintavo::spectral {

using TSpectrum = std::array<double, SampleCount>;

constexpr int WhiteBalancePatch = 21;  // Classic "neutral 5"

double Wavelength(int sample);
// Relative spectral power of a Planck radiator, 1 at 560 nm.
TSpectrum Planck(double kelvin);
// x-bar, y-bar or z-bar (component 0, 1, 2).
TSpectrum Observer(int component);
// A sensor's red, green and blue sensitivities; peak of the green 1. Raises std::invalid_argument
// on a sensor whose lobes leave a channel empty or negative on the grid.
std::array<TSpectrum, 3> SensorCurves(const TSensorData& sensor);

// The colour a reflectance shows under the light `kelvin` to the observer, as linear sRGB scaled
// so that the perfect white reflector is (1, 1, 1).
TLutColor ObserverColor(const TSpectrum& reflectance, double kelvin);
// The smooth reflectance (step 1 above) whose ObserverColor under daylight is `linear`, as near
// as the form allows (colours outside its reach, such as a zero component, come out close).
TSpectrum ReflectanceFor(const TLutColor& linear);
// The maker's fitting set: smooth reflectances with peaks and dips across the spectrum.
std::vector<TSpectrum> TrainingReflectances();

// What the sensor records (step 2).
TLutColor SensorResponse(const std::array<TSpectrum, 3>& curves, const TSpectrum& reflectance, double kelvin);

struct TSpectralCamera {
    std::string Name;  // "sensor-a-daylight-srgb"
    const TSensorData* Sensor;
    double Kelvin;
    bool ToneCurve;
};

// Every sensor under daylight and tungsten, with and without the tone curve.
std::vector<TSpectralCamera> SpectralCameras();

struct TChartShot {
    std::vector<TLutColor> Linear;   // after white balance, matrix and exposure (steps 3-5)
    std::vector<TLutColor> Encoded;  // after the encoding (step 6), 0..1 clamped
    double Matrix[9];                // the camera's colour matrix (step 4)
};
// The Classic chart through `camera`, patch by patch.
TChartShot ShootClassic(const TSpectralCamera& camera);

// The filmic tone curve of the test cameras: toe, lifted mid-tones, soft shoulder, then a 1/2.2
// power (not the sRGB curve).
double FilmicTone(double linear);

}  // namespace tintavo::spectral
