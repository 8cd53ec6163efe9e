#include "engine/ColorChecker.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace tintavo {

namespace {

// The window around (cx, cy) clipped to a width x height image: [x0, x1] x [y0, y1].
void WindowBounds(int width, int height, int cx, int cy, int& x0, int& x1, int& y0, int& y1) {
    auto clip = [](int c, int size, int& lo, int& hi) {
        lo = std::max(c - SampleRadius, 0);
        hi = std::min(c + SampleRadius, size - 1);
        if (lo > hi) {  // the whole window lies outside: sample at the nearest image pixels
            c = std::clamp(c, 0, size - 1);
            lo = std::max(c - SampleRadius, 0);
            hi = std::min(c + SampleRadius, size - 1);
        }
    };
    clip(cx, width, x0, x1);
    clip(cy, height, y0, y1);
}

}  // namespace

void SampleWindow(const TBitmap24& bitmap, int cx, int cy, int& r, int& g, int& b) {
    if (bitmap.Empty()) throw std::runtime_error("No image to sample.");
    int x0, x1, y0, y1;
    WindowBounds(bitmap.Width(), bitmap.Height(), cx, cy, x0, x1, y0, y1);
    long sr = 0, sg = 0, sb = 0, count = 0;
    for (int y = y0; y <= y1; ++y) {
        const std::uint8_t* line = bitmap.ScanLine(y);
        for (int x = x0; x <= x1; ++x) {
            sr += line[3 * x + 2];
            sg += line[3 * x + 1];
            sb += line[3 * x];
            ++count;
        }
    }
    r = static_cast<int>(sr / count);
    g = static_cast<int>(sg / count);
    b = static_cast<int>(sb / count);
}

TLutColor SampleWindowAt(const TBitmap24& bitmap, double x, double y) {
    if (bitmap.Empty()) throw std::runtime_error("No image to sample.");
    constexpr int n = 2 * SampleRadius + 1;
    // Per axis: the left (upper) pixel of each sample and the weight of the right (lower) one.
    auto taps = [](double centre, int size, int (&first)[n], long double (&weight)[n]) {
        for (int k = 0; k < n; ++k) {
            // Pixel centres lie at i + 0.5; positions are held inside the picture.
            long double p = static_cast<long double>(centre) - 0.5L + (k - SampleRadius);
            if (!(p >= 0)) p = 0;  // also not a number
            if (p > size - 1) p = size - 1;
            int i = static_cast<int>(std::floor(p));
            if (i > size - 2) i = std::max(size - 2, 0);
            first[k] = i;
            weight[k] = size > 1 ? p - i : 0;
        }
    };
    int xs[n], ys[n];
    long double wx[n], wy[n];
    taps(x, bitmap.Width(), xs, wx);
    taps(y, bitmap.Height(), ys, wy);
    const int lastX = bitmap.Width() - 1, lastY = bitmap.Height() - 1;
    long double sum[3] = {0, 0, 0};
    for (int j = 0; j < n; ++j) {
        const std::uint8_t* upper = bitmap.ScanLine(ys[j]);
        const std::uint8_t* lower = bitmap.ScanLine(std::min(ys[j] + 1, lastY));
        for (int k = 0; k < n; ++k) {
            const int a = 3 * xs[k], b = 3 * std::min(xs[k] + 1, lastX);
            for (int c = 0; c < 3; ++c) {
                const long double top = upper[a + c] + wx[k] * (upper[b + c] - upper[a + c]);
                const long double bottom = lower[a + c] + wx[k] * (lower[b + c] - lower[a + c]);
                sum[c] += top + wy[j] * (bottom - top);
            }
        }
    }
    const long double scale = 255.0L * n * n;
    return {static_cast<double>(sum[2] / scale), static_cast<double>(sum[1] / scale), static_cast<double>(sum[0] / scale)};
}

void SampleWindow(const TPreciseImage& image, int cx, int cy, double& r, double& g, double& b) {
    if (image.Empty()) throw std::runtime_error("No image to sample.");
    int x0, x1, y0, y1;
    WindowBounds(image.Width(), image.Height(), cx, cy, x0, x1, y0, y1);
    long double sr = 0, sg = 0, sb = 0;
    long count = 0;
    for (int y = y0; y <= y1; ++y) {
        const float* line = image.Row(y);
        for (int x = x0; x <= x1; ++x) {
            sr += line[3 * x];
            sg += line[3 * x + 1];
            sb += line[3 * x + 2];
            ++count;
        }
    }
    r = static_cast<double>(sr / count);
    g = static_cast<double>(sg / count);
    b = static_cast<double>(sb / count);
}

void TColorCheckerReader::PatchCenter(int column, int row, int& x, int& y) const {
    Geometry().PatchCenter(column, row, x, y);
}

void TColorCheckerReader::SamplePatch(int column, int row, int& r, int& g, int& b) const {
    if (!Bitmap || Bitmap->Empty()) throw std::runtime_error("No image to sample.");
    int cx, cy;
    PatchCenter(column, row, cx, cy);
    SampleWindow(*Bitmap, cx, cy, r, g, b);
}

void TColorCheckerInterpolate::BuildSpline() {
    if (PatchCount < 0 || PatchCount > MaxPatches) throw std::runtime_error("Dimension error");
    std::vector<TPatchPair> patches(static_cast<std::size_t>(PatchCount));
    for (int i = 0; i < PatchCount; ++i) patches[static_cast<std::size_t>(i)] = {Measured[i], Reference[i]};
    Fit(patches);
}

void TColorCheckerInterpolate::MapColor(double x, double y, double z, double& r, double& g, double& b) const {
    const TLutColor c = ClampToUnitRange(Map(x, y, z));
    r = c.R;
    g = c.G;
    b = c.B;
}

void RGBToYUV(double r, double g, double b, double& y, double& u, double& v) {
    const long double R = r, G = g, B = b;
    y = static_cast<double>(0.299L * R + 0.587L * G + 0.114L * B);
    u = static_cast<double>(-0.14713L * R - 0.28886L * G + 0.436L * B);
    v = static_cast<double>(0.615L * R - 0.51499L * G - 0.10001L * B);
}

void YUVToRGB(double y, double u, double v, double& r, double& g, double& b) {
    const long double Y = y, U = u, V = v;
    r = static_cast<double>(Y + 1.13983L * V);
    g = static_cast<double>(Y - 0.39465L * U - 0.5806L * V);
    b = static_cast<double>(Y + 2.03211L * U);
}

}  // namespace tintavo
