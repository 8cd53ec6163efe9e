// Precise images: tetrahedral interpolation against the textbook formula, LUTs applied to float
// pixels, and the floating-point Lanczos reduction against the 8-bit one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>

#include "common/Parallel.h"
#include "lut/ImageResize2.h"
#include "lut/LUT.h"
#include "lut/PreciseImage.h"
#include "lut/PreciseResize.h"

namespace tintavo {
namespace {

std::unique_ptr<TLUT> RandomCube(int size, unsigned seed) {
    auto lut = std::make_unique<TLUT>();
    lut->LutKind = lk3D;
    lut->Size3D = size;
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> d(-0.1, 1.1);  // entries are never clamped
    for (int r = 0; r < size; ++r)
        for (int g = 0; g < size; ++g)
            for (int b = 0; b < size; ++b) lut->Table3D[r][g][b] = {d(rng), d(rng), d(rng)};
    return lut;
}

// The cell of the grid the colour lies in, split into six tetrahedra along its grey diagonal.
TLutColor Tetrahedral(const TLUT& lut, double r, double g, double b) {
    const int n = lut.Size3D - 1;
    auto split = [n](double v, int& i, double& f) {
        const double p = std::clamp(v, 0.0, 1.0) * n;
        i = std::min(static_cast<int>(p), n - 1);
        f = p - i;
    };
    int ir, ig, ib;
    double fr, fg, fb;
    split(r, ir, fr);
    split(g, ig, fg);
    split(b, ib, fb);
    auto c = [&](int dr, int dg, int db) { return lut.Table3D[ir + dr][ig + dg][ib + db]; };
    struct W {
        double w;
        TLutColor c;
    };
    W t[4];
    if (fr >= fg && fg >= fb) t[0] = {1 - fr, c(0, 0, 0)}, t[1] = {fr - fg, c(1, 0, 0)}, t[2] = {fg - fb, c(1, 1, 0)}, t[3] = {fb, c(1, 1, 1)};
    else if (fr >= fb && fb >= fg) t[0] = {1 - fr, c(0, 0, 0)}, t[1] = {fr - fb, c(1, 0, 0)}, t[2] = {fb - fg, c(1, 0, 1)}, t[3] = {fg, c(1, 1, 1)};
    else if (fb >= fr && fr >= fg) t[0] = {1 - fb, c(0, 0, 0)}, t[1] = {fb - fr, c(0, 0, 1)}, t[2] = {fr - fg, c(1, 0, 1)}, t[3] = {fg, c(1, 1, 1)};
    else if (fg >= fr && fr >= fb) t[0] = {1 - fg, c(0, 0, 0)}, t[1] = {fg - fr, c(0, 1, 0)}, t[2] = {fr - fb, c(1, 1, 0)}, t[3] = {fb, c(1, 1, 1)};
    else if (fg >= fb && fb >= fr) t[0] = {1 - fg, c(0, 0, 0)}, t[1] = {fg - fb, c(0, 1, 0)}, t[2] = {fb - fr, c(0, 1, 1)}, t[3] = {fr, c(1, 1, 1)};
    else t[0] = {1 - fb, c(0, 0, 0)}, t[1] = {fb - fg, c(0, 0, 1)}, t[2] = {fg - fr, c(0, 1, 1)}, t[3] = {fr, c(1, 1, 1)};
    TLutColor out;
    for (const W& x : t) {
        out.R += x.w * x.c.R;
        out.G += x.w * x.c.G;
        out.B += x.w * x.c.B;
    }
    return out;
}

TPreciseImage RandomImage(int w, int h, unsigned seed) {
    TPreciseImage image(w, h);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> d(0.0f, 1.0f);
    for (int y = 0; y < h; ++y)
        for (std::ptrdiff_t i = 0; i < image.RowFloats(); ++i) image.Row(y)[i] = d(rng);
    image.SetPixel(0, 0, 0.0f, 0.0f, 0.0f);  // the corners of the cube
    image.SetPixel(1, 0, 1.0f, 1.0f, 1.0f);
    image.SetPixel(2, 0, 1.0f, 0.0f, 0.5f);
    return image;
}

bool SameFloats(const TPreciseImage& a, const TPreciseImage& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
    for (int y = 0; y < a.Height(); ++y)
        if (std::memcmp(a.Row(y), b.Row(y), sizeof(float) * static_cast<std::size_t>(a.RowFloats())) != 0) return false;
    return true;
}

}  // namespace

// Tetrahedral interpolation weighs four nodes per colour as the six-tetrahedra formula does, in
// every tetrahedron and on the faces between them; it agrees with trilinear on the nodes and
// on an affine table, and differs from it inside a curved one.
TEST(PreciseLut, TetrahedralMatchesTheSixTetrahedraFormula) {
    const auto lut = RandomCube(5, 3);
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> d(0.0, 1.0);
    double largestGap = 0;
    for (int i = 0; i < 4000; ++i) {
        double r = d(rng), g = d(rng), b = d(rng);
        if (i % 4 == 1) g = r;  // on the faces between tetrahedra
        if (i % 4 == 2) b = g;
        if (i % 8 == 3) r = g = b;
        const TLutColor want = Tetrahedral(*lut, r, g, b);
        const TLutColor got = ApplyLut(*lut, {r, g, b}, TLutInterpolation::Tetrahedral);
        ASSERT_NEAR(got.R, want.R, 1e-12) << r << " " << g << " " << b;
        ASSERT_NEAR(got.G, want.G, 1e-12);
        ASSERT_NEAR(got.B, want.B, 1e-12);
        largestGap = std::max(largestGap, std::abs(got.G - ApplyLut(*lut, {r, g, b}).G));
    }
    EXPECT_GT(largestGap, 1e-3);  // not trilinear under another name
    for (int r = 0; r < 5; ++r) {  // nodes are exact
        const TLutColor got = ApplyLut(*lut, {r / 4.0, 1.0, 0.5}, TLutInterpolation::Tetrahedral);
        EXPECT_DOUBLE_EQ(got.B, lut->Table3D[r][4][2].B);
    }
    TLutInterpolation parsed = TLutInterpolation::Trilinear;
    EXPECT_TRUE(ParseInterpolation("Tetrahedral", parsed));
    EXPECT_EQ(parsed, TLutInterpolation::Tetrahedral);
    EXPECT_FALSE(ParseInterpolation("cubic", parsed));
    EXPECT_STREQ(InterpolationName(TLutInterpolation::Trilinear), "trilinear");
}

// ApplyLutToImage gives each pixel ApplyLut's colour clamped to 0..1 and stored as floats,
// for every kind and both interpolations, on the vector and the portable path alike and
// whatever the number of threads.
TEST(PreciseLut, ImageMatchesPerPixelForEveryKindAndPath) {
    auto lut = RandomCube(17, 11);
    for (int i = 0; i < 1024; ++i) {
        const double v = i / 1023.0;
        lut->Table1D[i] = {v * v, std::sqrt(v), 1.05 * v - 0.02};
    }
    lut->Size1D = 1024;
    const TPreciseImage source = RandomImage(203, 37, 2);
    for (const TLutKind kind : {lk1D, lk3D, lk1DThen3D})
        for (const TLutInterpolation interp : {TLutInterpolation::Trilinear, TLutInterpolation::Tetrahedral}) {
            lut->LutKind = kind;
            TPreciseImage want = source;
            for (int y = 0; y < want.Height(); ++y)
                for (int x = 0; x < want.Width(); ++x) {
                    float* p = want.Row(y) + 3 * x;
                    const TLutColor c = ApplyLut(*lut, {p[0], p[1], p[2]}, interp);
                    const double v[3] = {c.R, c.G, c.B};
                    for (int k = 0; k < 3; ++k) p[k] = static_cast<float>(std::clamp(v[k], 0.0, 1.0));
                }
            for (const bool vector : {true, false}) {
                AllowLutVectorPath(vector);
                TPreciseImage got = source;
                ApplyLutToImage(*lut, got, interp);
                EXPECT_TRUE(SameFloats(got, want)) << "kind " << int(kind) << " " << InterpolationName(interp)
                                                   << (vector ? " vector" : " portable");
            }
            AllowLutVectorPath(true);
            SetParallelThreadLimit(1);
            TPreciseImage single = source;
            ApplyLutToImage(*lut, single, interp);
            SetParallelThreadLimit(0);
            EXPECT_TRUE(SameFloats(single, want)) << "one thread";
        }
}

// The floating-point reduction: a flat picture stays flat, the same size gives the source back,
// and on an 8-bit picture it lies within one level of the 8-bit reduction (which truncates).
// Bands of rows and threads do not change a bit of it.
TEST(PreciseResize, AgreesWithTheEightBitReductionWithoutItsTruncation) {
    TPreciseImage flat(301, 203);
    for (int y = 0; y < 203; ++y)
        for (int x = 0; x < 301; ++x) flat.SetPixel(x, y, 0.3f, 0.71f, 1.0f);
    TPreciseImage reduced;
    ResizePrecise(97, 41, rfLanczos3, 0.0f, flat, reduced);
    ASSERT_EQ(reduced.Width(), 97);
    for (int y = 0; y < 41; ++y)
        for (int x = 0; x < 97; ++x) {
            float r, g, b;
            reduced.GetPixel(x, y, r, g, b);
            ASSERT_NEAR(r, 0.3f, 1e-6f);
            ASSERT_NEAR(g, 0.71f, 1e-6f);
            ASSERT_NEAR(b, 1.0f, 1e-6f);
            ASSERT_LE(b, 1.0f);  // clamped: the lobes cannot push it over
        }

    const TPreciseImage source = RandomImage(64, 48, 8);
    TPreciseImage same;
    ResizePrecise(64, 48, rfLanczos3, 0.0f, source, same);
    EXPECT_TRUE(SameFloats(same, source));

    TBitmap24 bytes(613, 409);
    std::mt19937 rng(4);
    for (int y = 0; y < bytes.Height(); ++y)
        for (int x = 0; x < bytes.Width(); ++x)  // smooth with some detail: both reductions work hard
            bytes.SetPixel(x, y, static_cast<std::uint8_t>((x * 5 + y) % 256), static_cast<std::uint8_t>(rng() % 256),
                           static_cast<std::uint8_t>(128 + 100 * std::sin(x * 0.05)));
    TBitmap24 eight;
    ResizeBitmap(150, 100, rfLanczos3, 0.0f, bytes, eight);
    TPreciseImage precise, preciseReduced;
    BitmapToPrecise(bytes, precise);
    ResizePrecise(150, 100, rfLanczos3, 0.0f, precise, preciseReduced);
    double worst = 0, bias = 0;
    int off = 0;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 150; ++x) {
            std::uint8_t e[3];
            eight.GetPixel(x, y, e[0], e[1], e[2]);
            float p[3];
            preciseReduced.GetPixel(x, y, p[0], p[1], p[2]);
            for (int c = 0; c < 3; ++c) {
                const double level = 255.0 * p[c];
                // The 8-bit passes truncate after each pass (the vertical pass carries the first
                // truncation through lobes whose weights add up to more than 1).
                worst = std::max(worst, std::abs(level - e[c]));
                bias += level - e[c];
                if (std::abs(level - std::nearbyint(level)) > 1e-3) ++off;
            }
        }
    EXPECT_LT(worst, 2.5);
    bias /= 3 * 150 * 100;
    EXPECT_GT(bias, 0.5);  // truncation costs the 8-bit image about a level on average
    EXPECT_LT(bias, 1.5);
    EXPECT_GT(off, 1000);  // the precise values are not whole levels

    // Banded and threaded: the same bits.
    TPreciseBandResampler bands(FilterFunction(rfLanczos3), FilterDefaultRadius(rfLanczos3), 613, 409, 150, 100);
    for (int y = 409; y > 0;) {  // bands in reverse order and of uneven height
        const int count = std::min(y, 1 + y % 23);
        y -= count;
        bands.AddRows(y, precise.Row(y), precise.RowFloats(), count);
    }
    TPreciseImage banded;
    bands.Finish(banded);
    EXPECT_TRUE(SameFloats(banded, preciseReduced));
    SetPreciseResampleScalarOnly(true);
    TPreciseImage scalar;
    ResizePrecise(150, 100, rfLanczos3, 0.0f, precise, scalar);
    SetPreciseResampleScalarOnly(false);
    EXPECT_TRUE(SameFloats(scalar, preciseReduced));

    TPreciseBandResampler fromBytes(FilterFunction(rfLanczos3), FilterDefaultRadius(rfLanczos3), 613, 409, 150, 100);
    fromBytes.AddByteRows(0, bytes.ScanLine(0), bytes.Stride(), 409);
    TPreciseImage byteRows;
    fromBytes.Finish(byteRows);
    EXPECT_TRUE(SameFloats(byteRows, preciseReduced));
}

// Rounding to 8 bits: half to even, clamped, not-a-number to 0; 16-bit samples come out as the
// 8-bit reduction of 16-bit pictures always rounded them.
TEST(PreciseImage, RoundsToBytesAsSixteenBitPicturesAlwaysWere) {
    EXPECT_EQ(UnitToByte(0.5f / 255.0f), 0);  // ties to even
    EXPECT_EQ(UnitToByte(1.5f / 255.0f), 2);
    EXPECT_EQ(UnitToByte(-0.2f), 0);
    EXPECT_EQ(UnitToByte(1.7f), 255);
    EXPECT_EQ(UnitToByte(std::nanf("")), 0);
    for (unsigned v = 0; v < 65536; ++v)
        ASSERT_EQ(UnitToByte(static_cast<float>(v / 65535.0)), (v * 255u + 32767u) / 65535u) << v;
    for (int v = 0; v < 256; ++v) ASSERT_EQ(UnitToByte(ByteToUnit(static_cast<std::uint8_t>(v))), v);
}

}  // namespace tintavo
