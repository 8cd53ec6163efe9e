#include "lut/ImageResize2.h"

#include "common/Parallel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <thread>
#include <utility>
#include <vector>

#include "common/Errors.h"

using namespace tintavo;

namespace {

TBitmap24 RandomBitmap(int w, int h, unsigned seed) {
    TBitmap24 b(w, h);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            b.SetPixel(x, y, static_cast<std::uint8_t>(rng()), static_cast<std::uint8_t>(rng()),
                       static_cast<std::uint8_t>(rng()));
    return b;
}

// A literal two-pass resampler working straight from the contributor lists, one contributor
// at a time, as a reference for the optimised passes.
TBitmap24 ReferenceResample(TFilterFunction f, float radius, const TBitmap24& src, int dw, int dh) {
    const int sw = src.Width(), sh = src.Height();
    TBitmap24 work(dw, sh), out(dw, dh);
    const float xs = (sw == 1 || dw == 1) ? float(dw) / float(sw) : float(dw - 1) / float(sw - 1);
    const float ys = (sh == 1 || dh == 1) ? float(dh) / float(sh) : float(dh - 1) / float(sh - 1);
    TContributorList list;
    BuildContributorList(dw, xs, sw, f, radius, list);
    for (int y = 0; y < sh; ++y)
        for (int i = 0; i < dw; ++i) {
            std::int32_t s[3] = {0, 0, 0}, total = 0;
            for (int k = 0; k < list[i].Count; ++k) {
                const TContributor& c = list[i].Contributors[k];
                for (int ch = 0; ch < 3; ++ch) s[ch] += c.Weight * src.ScanLine(y)[3 * c.Pixel + ch];
                total += c.Weight;
            }
            for (int ch = 0; ch < 3; ++ch) work.ScanLine(y)[3 * i + ch] = WeightedChannelValue(s[ch], total);
        }
    BuildContributorList(dh, ys, sh, f, radius, list);
    for (int x = 0; x < dw; ++x)
        for (int i = 0; i < dh; ++i) {
            std::int32_t s[3] = {0, 0, 0}, total = 0;
            for (int k = 0; k < list[i].Count; ++k) {
                const TContributor& c = list[i].Contributors[k];
                for (int ch = 0; ch < 3; ++ch) s[ch] += c.Weight * work.ScanLine(c.Pixel)[3 * x + ch];
                total += c.Weight;
            }
            for (int ch = 0; ch < 3; ++ch) out.ScanLine(i)[3 * x + ch] = WeightedChannelValue(s[ch], total);
        }
    return out;
}

const TResizeFilter kAllFilters[] = {rfBox, rfTriangle, rfHermite, rfBell, rfBSpline, rfLanczos3, rfMitchell};

// Restores the global resampling settings after a test changes them.
struct ResampleSettingsGuard {
    ~ResampleSettingsGuard() {
        SetParallelThreadLimit(0);
        SetResampleScalarOnly(false);
    }
};

}  // namespace

TEST(FitSize, ReducesIntoTheBoxAndNeverEnlarges) {
    struct Case {
        int sw, sh, bw, bh, w, h;
    } cases[] = {
        {3000, 2000, 1500, 1000, 1500, 1000}, {4000, 1000, 1500, 1000, 1500, 375},
        {1000, 800, 1500, 1000, 1000, 800},   {6000, 4000, 1500, 1000, 1500, 1000},
        {1000, 3000, 1500, 1000, 333, 1000},  {1500, 1000, 1500, 1000, 1500, 1000},
        {3, 2000, 1500, 1000, 2, 1000},  // 1.5 rounds to even
    };
    for (const Case& c : cases) {
        int w = -1, h = -1;
        FitSize(c.sw, c.sh, c.bw, c.bh, w, h);
        EXPECT_EQ(w, c.w) << c.sw << "x" << c.sh;
        EXPECT_EQ(h, c.h) << c.sw << "x" << c.sh;
    }
}

TEST(ImageResize, MirrorsWithoutRepeatingTheLowEdgeButRepeatingTheHighEdge) {
    EXPECT_EQ(MirrorPixel(-1, 5), 1);
    EXPECT_EQ(MirrorPixel(-2, 5), 2);
    EXPECT_EQ(MirrorPixel(0, 5), 0);
    EXPECT_EQ(MirrorPixel(4, 5), 4);
    EXPECT_EQ(MirrorPixel(5, 5), 4);
    EXPECT_EQ(MirrorPixel(6, 5), 3);
    // Reflections that still fall outside a very short line stay inside it.
    EXPECT_EQ(MirrorPixel(-3, 2), 1);
    EXPECT_EQ(MirrorPixel(7, 2), 0);
    EXPECT_EQ(MirrorPixel(-1, 1), 0);
}

TEST(ImageResize, FilterShapes) {
    EXPECT_EQ(BoxFilter(0.5f), 1.0f);
    EXPECT_EQ(BoxFilter(-0.5f), 0.0f);  // half-open on purpose
    EXPECT_EQ(TriangleFilter(0.25f), 0.75f);
    EXPECT_EQ(HermiteFilter(0.5f), 0.5f);
    EXPECT_EQ(BellFilter(0.0f), 0.75f);
    EXPECT_EQ(BellFilter(1.0f), 0.125f);
    EXPECT_FLOAT_EQ(BSplineFilter(0.0f), 2.0f / 3.0f);
    EXPECT_FLOAT_EQ(BSplineFilter(1.0f), 1.0f / 6.0f);
    EXPECT_EQ(Lanczos3Filter(0.0f), 1.0f);
    EXPECT_NEAR(Lanczos3Filter(1.0f), 0.0f, 1e-6f);
    EXPECT_NEAR(Lanczos3Filter(0.5f), 0.6079271f, 1e-6f);
    EXPECT_EQ(Lanczos3Filter(3.0f), 0.0f);
    EXPECT_FLOAT_EQ(MitchellFilter(0.0f), 8.0f / 9.0f);
    EXPECT_NEAR(MitchellFilter(1.0f), 1.0f / 18.0f, 1e-6f);
    EXPECT_EQ(MitchellFilter(2.0f), 0.0f);
    for (TResizeFilter f : kAllFilters)
        EXPECT_EQ(FilterFunction(f)(FilterDefaultRadius(f) + 0.01f), 0.0f) << f;
}

TEST(ImageResize, TriangleWorkedExampleContributors) {
    TContributorList list;
    BuildContributorList(3, 0.5f, 5, TriangleFilter, 1.0f, list);
    ASSERT_EQ(list.size(), 3u);
    const std::vector<std::pair<int, int>> expected[3] = {
        {{64, 1}, {128, 0}, {64, 1}},
        {{64, 1}, {128, 2}, {64, 3}},
        {{64, 3}, {128, 4}, {64, 4}},
    };
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(list[i].Count, 3) << i;
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(list[i].Contributors[k].Weight, expected[i][k].first) << i << "," << k;
            EXPECT_EQ(list[i].Contributors[k].Pixel, expected[i][k].second) << i << "," << k;
        }
        EXPECT_LE(list[i].Count, 5);  // capacity 2w + 1
    }

    // The same line through the whole resampler: (128 p0 + 128 p1) / 256, (64 p1 + 128 p2 +
    // 64 p3) / 256, (64 p3 + 192 p4) / 256, truncated.
    const int p[5] = {10, 101, 200, 31, 250};
    TBitmap24 src(5, 1), dst(3, 1);
    for (int x = 0; x < 5; ++x) src.SetPixel(x, 0, p[x], 255 - p[x], p[x] / 2);
    ResampleBitmap(TriangleFilter, src, dst, 1.0f);
    const int want[3] = {(128 * p[0] + 128 * p[1]) / 256, (64 * p[1] + 128 * p[2] + 64 * p[3]) / 256,
                         (64 * p[3] + 192 * p[4]) / 256};
    for (int i = 0; i < 3; ++i) {
        std::uint8_t r, g, b;
        dst.GetPixel(i, 0, r, g, b);
        EXPECT_EQ(r, want[i]) << i;
    }
}

TEST(ImageResize, WeightedChannelValueTruncatesClampsAndHandlesZeroTotal) {
    EXPECT_EQ(WeightedChannelValue(256 * 100 + 255, 256), 100);
    EXPECT_EQ(WeightedChannelValue(-255, 256), 0);
    EXPECT_EQ(WeightedChannelValue(-100000, 256), 0);
    EXPECT_EQ(WeightedChannelValue(256 * 300, 256), 255);
    EXPECT_EQ(WeightedChannelValue(-1000, -10), 100);
    // Zero total: the sum's bit pattern shifted right by 8 as an unsigned number.
    EXPECT_EQ(WeightedChannelValue(0x1234, 0), 0x12);
    EXPECT_EQ(WeightedChannelValue(0, 0), 0);
    EXPECT_EQ(WeightedChannelValue(-256, 0), 255);
}

TEST(ImageResize, SameSizeLanczos3ReturnsTheSource) {
    const TBitmap24 src = RandomBitmap(97, 61, 1);
    TBitmap24 dst;
    ResizeBitmap(97, 61, rfLanczos3, 0, src, dst);
    EXPECT_TRUE(dst.SamePixels(src));
}

TEST(ImageResize, FlatImageStaysFlatAtAnySize) {
    const int sizes[][2] = {{1, 1}, {1, 7}, {9, 1}, {13, 5}, {40, 30}, {120, 77}, {311, 203}};
    for (TResizeFilter f : kAllFilters) {
        TBitmap24 src;
        src.SetSize(57, 38);
        for (int y = 0; y < 38; ++y)
            for (int x = 0; x < 57; ++x) src.SetPixel(x, y, 201, 7, 128);
        for (const auto& s : sizes) {
            TBitmap24 dst;
            ResizeBitmap(s[0], s[1], f, 0, src, dst);
            ASSERT_EQ(dst.Width(), s[0]);
            ASSERT_EQ(dst.Height(), s[1]);
            for (int y = 0; y < s[1]; ++y)
                for (int x = 0; x < s[0]; ++x) {
                    std::uint8_t r, g, b;
                    dst.GetPixel(x, y, r, g, b);
                    ASSERT_EQ(r, 201) << "filter " << f << " " << s[0] << "x" << s[1] << " at " << x << "," << y;
                    ASSERT_EQ(g, 7);
                    ASSERT_EQ(b, 128);
                }
        }
    }
}

TEST(ImageResize, MatchesTheContributorListsForEveryFilterKernelAndThreadCount) {
    ResampleSettingsGuard guard;
    const int shapes[][4] = {
        {23, 17, 9, 5},   {23, 17, 60, 40}, {16, 16, 16, 16}, {1, 9, 10, 4}, {9, 1, 3, 12},
        {50, 3, 1, 1},    {31, 29, 1, 29},  {31, 29, 31, 1},  {2, 2, 7, 7},  {400, 300, 150, 100},
        {300, 200, 301, 201}, {16, 24, 8, 9},  {17, 17, 8, 16}, {64, 40, 24, 41},
        // Reductions so strong that every rounded weight is 0 (the weights total 0).
        {2000, 3, 1, 2},  {3, 1500, 2, 1},
    };
    int seed = 10;
    for (TResizeFilter f : kAllFilters)
        for (const auto& s : shapes) {
            const TBitmap24 src = RandomBitmap(s[0], s[1], seed++);
            const float radius = FilterDefaultRadius(f);
            const TBitmap24 want = ReferenceResample(FilterFunction(f), radius, src, s[2], s[3]);
            for (int scalar = 0; scalar < 2; ++scalar)
                for (int threads = 1; threads <= 2; ++threads) {
                    SetResampleScalarOnly(scalar != 0);
                    SetParallelThreadLimit(threads);
                    TBitmap24 dst;
                    ResizeBitmap(s[2], s[3], f, 0, src, dst);
                    EXPECT_TRUE(dst.SamePixels(want)) << "filter " << f << " " << s[0] << "x" << s[1] << " -> "
                                                      << s[2] << "x" << s[3] << " scalar " << scalar
                                                      << " threads " << threads;
                }
        }
}

TEST(ImageResize, TwoThreadsGiveTheSameBytesAsOne) {
    ResampleSettingsGuard guard;
    const TBitmap24 src = RandomBitmap(1203, 801, 99);
    TBitmap24 one, two;
    SetParallelThreadLimit(1);
    ResizeBitmap(601, 399, rfLanczos3, 0, src, one);
    SetParallelThreadLimit(2);
    ResizeBitmap(601, 399, rfLanczos3, 0, src, two);
    EXPECT_TRUE(one.SamePixels(two));
    SetParallelThreadLimit(1);
    ResizeBitmap(1500, 1000, rfMitchell, 0, src, one);
    SetParallelThreadLimit(2);
    ResizeBitmap(1500, 1000, rfMitchell, 0, src, two);
    EXPECT_TRUE(one.SamePixels(two));
}

TEST(ImageResize, OnePixelWideSourceEnlargesToConstantRows) {
    TBitmap24 src(1, 6), dst;
    for (int y = 0; y < 6; ++y) src.SetPixel(0, y, 40 * y, 255 - 40 * y, 17);
    ResizeBitmap(10, 6, rfLanczos3, 0, src, dst);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 10; ++x) {
            std::uint8_t r, g, b;
            dst.GetPixel(x, y, r, g, b);
            EXPECT_EQ(r, 40 * y);
            EXPECT_EQ(g, 255 - 40 * y);
            EXPECT_EQ(b, 17);
        }
}

TEST(ImageResize, ReductionToOneRowAveragesEachColumn) {
    // Columns 0..3 hold two values each, alternating by row: a single target row must lie
    // between them, and a flat column stays exact.
    TBitmap24 src(4, 8), dst;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 4; ++x) src.SetPixel(x, y, (y % 2) ? 200 : 100, 60, 60);
    ResizeBitmap(4, 1, rfTriangle, 0, src, dst);
    ASSERT_EQ(dst.Height(), 1);
    for (int x = 0; x < 4; ++x) {
        std::uint8_t r, g, b;
        dst.GetPixel(x, 0, r, g, b);
        EXPECT_GT(r, 100);
        EXPECT_LT(r, 200);
        EXPECT_EQ(g, 60);
    }
}

TEST(ImageResize, ZeroSizedSourceLeavesTheTargetUntouched) {
    TBitmap24 empty, dst;
    dst.SetSizeAndFill(4, 3, 77);
    ResampleBitmap(Lanczos3Filter, empty, dst, 3.0f);
    for (int y = 0; y < 3; ++y) EXPECT_EQ(dst.ScanLine(y)[5], 77);
    TBitmap24 src = RandomBitmap(5, 5, 3);
    ResizeBitmap(0, 7, rfLanczos3, 0, src, dst);
    EXPECT_EQ(dst.Width(), 0);
    EXPECT_EQ(dst.Height(), 7);
}

// A picture may arrive in bands of any height, in any order, from several threads at once: the
// bytes are those of resampling it whole. Rows left out are an error, not a silent black stripe.
TEST(BandResampler, BandsGiveTheBytesOfTheWholePicture) {
    ResampleSettingsGuard guard;
    const TBitmap24 src = RandomBitmap(301, 203, 21);
    for (TResizeFilter f : {rfLanczos3, rfTriangle, rfMitchell}) {
        const float radius = FilterDefaultRadius(f);
        for (const auto& size : {std::pair{120, 80}, std::pair{301, 203}, std::pair{450, 97}}) {
            TBitmap24 whole(size.first, size.second);
            ResampleBitmap(FilterFunction(f), src, whole, radius);
            for (int band : {1, 7, 8, 64, 203}) {
                // Bands from the bottom up, to show that order does not matter.
                TBandResampler resampler(FilterFunction(f), radius, 301, 203, size.first, size.second);
                for (int y0 = (202 / band) * band; y0 >= 0; y0 -= band) {
                    const int n = std::min(band, 203 - y0);
                    resampler.AddRows(y0, src.ScanLine(y0), src.Stride(), n);
                }
                TBitmap24 banded(size.first, size.second);
                resampler.Finish(banded);
                EXPECT_TRUE(banded.SamePixels(whole)) << "filter " << f << " band " << band << " -> " << size.first;
            }
        }
    }

    // Two threads adding alternate bands.
    TBitmap24 whole(150, 100), twoThreads(150, 100);
    ResampleBitmap(Lanczos3Filter, src, whole, 3.0f);
    TBandResampler shared(Lanczos3Filter, 3.0f, 301, 203, 150, 100);
    auto addEvery = [&](int first) {
        for (int y0 = first * 16; y0 < 203; y0 += 32) shared.AddRows(y0, src.ScanLine(y0), src.Stride(), std::min(16, 203 - y0));
    };
    std::thread other(addEvery, 1);
    addEvery(0);
    other.join();
    shared.Finish(twoThreads);
    EXPECT_TRUE(twoThreads.SamePixels(whole));

    TBandResampler missing(Lanczos3Filter, 3.0f, 301, 203, 150, 100);
    missing.AddRows(0, src.ScanLine(0), src.Stride(), 200);
    EXPECT_THROW(missing.AddRows(200, src.ScanLine(200), src.Stride(), 4), EAssertionFailed);
    TBitmap24 target(150, 100);
    EXPECT_THROW(missing.Finish(target), EAssertionFailed);
}
