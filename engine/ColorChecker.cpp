#include "engine/ColorChecker.h"

#include <algorithm>
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
