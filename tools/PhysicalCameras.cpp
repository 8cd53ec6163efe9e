#include "tools/PhysicalCameras.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "engine/ColorCheckersData.h"
#include "engine/RootPolynomialModel.h"

namespace tintavo::spectral {

namespace {

double Lobe(const TLobe& lobe, double nm) {
    const double width = nm < lobe.Peak ? lobe.WidthBelow : lobe.WidthAbove;
    const double z = (nm - lobe.Peak) / width;
    return lobe.Height * std::exp(-0.5 * z * z);
}

TSpectrum Lobes(const TLobe* lobes, int count) {
    TSpectrum s{};
    for (int i = 0; i < SampleCount; ++i)
        for (int k = 0; k < count; ++k) s[static_cast<std::size_t>(i)] += Lobe(lobes[k], Wavelength(i));
    return s;
}

// XYZ to linear sRGB (IEC 61966-2-1).
constexpr double kXYZToSRGB[9] = {3.2406, -1.5372, -0.4986, -0.9689, 1.8758, 0.0415, 0.0557, -0.2040, 1.0570};

TLutColor Multiply(const double (&m)[9], const TLutColor& c) {
    return {m[0] * c.R + m[1] * c.G + m[2] * c.B, m[3] * c.R + m[4] * c.G + m[5] * c.B,
            m[6] * c.R + m[7] * c.G + m[8] * c.B};
}

double Sigmoid(double x) { return 0.5 + x / (2.0 * std::sqrt(1.0 + x * x)); }
double InverseSigmoid(double y) { return (y - 0.5) / std::sqrt(y * (1.0 - y)); }

TSpectrum SigmoidReflectance(const double (&c)[3]) {
    TSpectrum s{};
    for (int i = 0; i < SampleCount; ++i) {
        const double t = (Wavelength(i) - FirstNm) / 400.0;
        s[static_cast<std::size_t>(i)] = Sigmoid((c[0] * t + c[1]) * t + c[2]);
    }
    return s;
}

TSpectrum Constant(double v) {
    TSpectrum s;
    s.fill(v);
    return s;
}

double Component(const TLutColor& c, int k) { return k == 0 ? c.R : k == 1 ? c.G : c.B; }

// Solves the 3 x 3 system a x = b by Cramer's rule; false when singular.
bool Solve3(const double (&a)[3][3], const double (&b)[3], double (&x)[3]) {
    auto det = [](const double(&m)[3][3]) {
        return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
               m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    };
    const double d = det(a);
    if (!(std::abs(d) > 1e-300)) return false;
    for (int k = 0; k < 3; ++k) {
        double m[3][3];
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) m[r][c] = c == k ? b[r] : a[r][c];
        x[k] = det(m) / d;
    }
    return true;
}

// The maker's matrix: for each output channel, weights on the white-balanced camera channels
// that sum to one, fitted by least squares: y - x_b = a (x_r - x_b) + b (x_g - x_b).
void FitMakerMatrix(const std::array<TSpectrum, 3>& curves, double (&m)[9]) {
    const TLutColor white = SensorResponse(curves, Constant(1.0), DaylightKelvin);
    for (int row = 0; row < 3; ++row) {
        double s11 = 0, s12 = 0, s22 = 0, t1 = 0, t2 = 0;
        for (const TSpectrum& rho : TrainingReflectances()) {
            const TLutColor raw = SensorResponse(curves, rho, DaylightKelvin);
            const double x[3] = {raw.R / white.R, raw.G / white.G, raw.B / white.B};
            const double y = Component(ObserverColor(rho, DaylightKelvin), row);
            const double u = x[0] - x[2], v = x[1] - x[2], w = y - x[2];
            s11 += u * u;
            s12 += u * v;
            s22 += v * v;
            t1 += u * w;
            t2 += v * w;
        }
        const double d = s11 * s22 - s12 * s12;
        const double a = (t1 * s22 - t2 * s12) / d, b = (s11 * t2 - s12 * t1) / d;
        m[row * 3 + 0] = a;
        m[row * 3 + 1] = b;
        m[row * 3 + 2] = 1.0 - a - b;
    }
}

}  // namespace

double Wavelength(int sample) { return FirstNm + StepNm * sample; }

TSpectrum Planck(double kelvin) {
    auto radiance = [kelvin](double nm) { return std::pow(nm, -5.0) / std::expm1(PlanckC2 / (nm * kelvin)); };
    const double at560 = radiance(560.0);
    TSpectrum s{};
    for (int i = 0; i < SampleCount; ++i) s[static_cast<std::size_t>(i)] = radiance(Wavelength(i)) / at560;
    return s;
}

TSpectrum Observer(int component) {
    switch (component) {
        case 0: return Lobes(ObserverX, static_cast<int>(std::size(ObserverX)));
        case 1: return Lobes(ObserverY, static_cast<int>(std::size(ObserverY)));
        default: return Lobes(ObserverZ, static_cast<int>(std::size(ObserverZ)));
    }
}

std::array<TSpectrum, 3> SensorCurves(const TSensorData& sensor) {
    std::array<TSpectrum, 3> curves = {Lobes(sensor.Red, sensor.RedLobes), Lobes(sensor.Green, sensor.GreenLobes),
                                       Lobes(sensor.Blue, sensor.BlueLobes)};
    double greenPeak = 0.0;
    for (int i = 0; i < SampleCount; ++i) {
        const double cut = 1.0 / (1.0 + std::exp((Wavelength(i) - sensor.IrCutNm) / sensor.IrCutWidth));
        for (TSpectrum& c : curves) c[static_cast<std::size_t>(i)] *= cut;
        greenPeak = std::max(greenPeak, curves[1][static_cast<std::size_t>(i)]);
    }
    for (const TSpectrum& c : curves) {
        const double peak = *std::max_element(c.begin(), c.end());
        if (!(peak > 0.0) || *std::min_element(c.begin(), c.end()) < 0.0)
            throw std::invalid_argument(std::string("Sensor ") + sensor.Name + " has an empty or negative channel");
    }
    for (TSpectrum& c : curves)
        for (double& v : c) v /= greenPeak;
    return curves;
}

TLutColor ObserverColor(const TSpectrum& reflectance, double kelvin) {
    const TSpectrum light = Planck(kelvin);
    const TSpectrum cmf[3] = {Observer(0), Observer(1), Observer(2)};
    double xyz[3] = {}, white[3] = {};
    for (int k = 0; k < 3; ++k)
        for (std::size_t i = 0; i < SampleCount; ++i) {
            xyz[k] += reflectance[i] * light[i] * cmf[k][i];
            white[k] += light[i] * cmf[k][i];
        }
    const TLutColor c = Multiply(kXYZToSRGB, {xyz[0], xyz[1], xyz[2]});
    const TLutColor w = Multiply(kXYZToSRGB, {white[0], white[1], white[2]});
    return {c.R / w.R, c.G / w.G, c.B / w.B};
}

TSpectrum ReflectanceFor(const TLutColor& linear) {
    const double target[3] = {linear.R, linear.G, linear.B};
    const double y = std::clamp(0.2126 * linear.R + 0.7152 * linear.G + 0.0722 * linear.B, 0.01, 0.99);
    double c[3] = {0.0, 0.0, InverseSigmoid(y)};
    auto residual = [&](const double(&coef)[3], double(&r)[3]) {
        const TLutColor got = ObserverColor(SigmoidReflectance(coef), DaylightKelvin);
        double sum = 0.0;
        for (int k = 0; k < 3; ++k) {
            r[k] = Component(got, k) - target[k];
            sum += r[k] * r[k];
        }
        return sum;
    };
    double r[3];
    double cost = residual(c, r);
    double damping = 1e-3;
    for (int iteration = 0; iteration < 200 && cost > 1e-14; ++iteration) {
        double jac[3][3];  // jac[k][j] = d r_k / d c_j
        for (int j = 0; j < 3; ++j) {
            double cj[3] = {c[0], c[1], c[2]};
            const double h = 1e-6 * std::max(1.0, std::abs(c[j]));
            cj[j] += h;
            double rj[3];
            residual(cj, rj);
            for (int k = 0; k < 3; ++k) jac[k][j] = (rj[k] - r[k]) / h;
        }
        double normal[3][3], gradient[3];
        for (int a = 0; a < 3; ++a) {
            gradient[a] = 0.0;
            for (int k = 0; k < 3; ++k) gradient[a] -= jac[k][a] * r[k];
            for (int b = 0; b < 3; ++b) {
                normal[a][b] = 0.0;
                for (int k = 0; k < 3; ++k) normal[a][b] += jac[k][a] * jac[k][b];
            }
        }
        bool improved = false;
        while (!improved && damping < 1e12) {
            double damped[3][3], step[3];
            for (int a = 0; a < 3; ++a)
                for (int b = 0; b < 3; ++b)
                    damped[a][b] = normal[a][b] + (a == b ? damping * (normal[a][a] + 1e-12) : 0.0);
            if (Solve3(damped, gradient, step)) {
                const double trial[3] = {c[0] + step[0], c[1] + step[1], c[2] + step[2]};
                double rt[3];
                const double trialCost = residual(trial, rt);
                if (trialCost < cost) {
                    std::copy(trial, trial + 3, c);
                    std::copy(rt, rt + 3, r);
                    cost = trialCost;
                    damping = std::max(damping / 10.0, 1e-12);
                    improved = true;
                    continue;
                }
            }
            damping *= 10.0;
        }
        if (!improved) break;
    }
    return SigmoidReflectance(c);
}

std::vector<TSpectrum> TrainingReflectances() {
    static const std::vector<TSpectrum> set = [] {
        std::vector<TSpectrum> out;
        // rho = S(a (t - p)^2 + d): a bump (a < 0) or a dip (a > 0) centred at t = p.
        for (double a : {-60.0, -25.0, -8.0, 8.0, 25.0, 60.0})
            for (int centre = 0; centre < 10; ++centre)
                for (double d : {-1.5, -0.5, 0.5, 1.5}) {
                    const double p = 0.05 + 0.1 * centre;
                    out.push_back(SigmoidReflectance({a, -2.0 * a * p, a * p * p + d}));
                }
        for (double v : {0.05, 0.2, 0.5, 0.9}) out.push_back(Constant(v));
        return out;
    }();
    return set;
}

TLutColor SensorResponse(const std::array<TSpectrum, 3>& curves, const TSpectrum& reflectance, double kelvin) {
    const TSpectrum light = Planck(kelvin);
    double v[3] = {};
    for (int k = 0; k < 3; ++k)
        for (std::size_t i = 0; i < SampleCount; ++i)
            v[k] += curves[static_cast<std::size_t>(k)][i] * reflectance[i] * light[i];
    return {v[0], v[1], v[2]};
}

std::vector<TSpectralCamera> SpectralCameras() {
    std::vector<TSpectralCamera> cameras;
    for (bool tone : {false, true})
        for (const TSensorData& sensor : Sensors)
            for (double kelvin : {DaylightKelvin, TungstenKelvin})
                cameras.push_back({std::string(sensor.Name) + (kelvin == DaylightKelvin ? "-daylight" : "-tungsten") +
                                       (tone ? "-tone" : "-srgb"),
                                   &sensor, kelvin, tone});
    return cameras;
}

double FilmicTone(double l) {
    l = std::max(l, 0.0);
    const double x = 1.6 * l;
    const double y = x * (x + 0.1) / (x * (x + 0.35) + 0.08);
    return std::pow(std::min(y / 1.02, 1.0), 1 / 2.2);
}

TChartShot ShootClassic(const TSpectralCamera& camera) {
    const std::array<TSpectrum, 3> curves = SensorCurves(*camera.Sensor);
    TChartShot shot;
    FitMakerMatrix(curves, shot.Matrix);
    const TLutColor* reference = ChartReference(TChartType::Classic);
    std::vector<TLutColor> raw;
    for (int i = 0; i < ClassicPatchCount; ++i) {
        const TLutColor& ref = reference[i];
        raw.push_back(SensorResponse(
            curves, ReflectanceFor({SRGBToLinear(ref.R), SRGBToLinear(ref.G), SRGBToLinear(ref.B)}), camera.Kelvin));
    }
    auto encode = [&](double v) { return std::clamp(camera.ToneCurve ? FilmicTone(v) : LinearToSRGB(v), 0.0, 1.0); };
    // The exposure that brings the balanced neutral patch (1, 1, 1 before exposure) to the mean
    // of its reference's components, found by bisection on the encoding.
    const TLutColor& neutralRef = reference[WhiteBalancePatch];
    const double level = (neutralRef.R + neutralRef.G + neutralRef.B) / 3.0;
    double low = 0.0, high = 1.0;
    for (int i = 0; i < 100; ++i) (encode(0.5 * (low + high)) < level ? low : high) = 0.5 * (low + high);
    const double exposure = 0.5 * (low + high);
    const TLutColor& neutral = raw[WhiteBalancePatch];
    for (const TLutColor& r : raw) {
        const TLutColor balanced{r.R / neutral.R, r.G / neutral.G, r.B / neutral.B};
        const TLutColor m = Multiply(shot.Matrix, balanced);
        const TLutColor lin{exposure * m.R, exposure * m.G, exposure * m.B};
        shot.Linear.push_back(lin);
        shot.Encoded.push_back({encode(lin.R), encode(lin.G), encode(lin.B)});
    }
    return shot;
}

}  // namespace tintavo::spectral
