#include "lut/ImageResize2.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <thread>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TINTAVO_HAVE_AVX2_KERNEL 1
#endif

#include "common/Errors.h"

namespace tintavo {

// ---------------------------------------------------------------------------------------------
// Filters. Every operation is on float: the weights must not depend on how a compiler widens
// intermediate results.

float BoxFilter(float x) {
    // Deliberately half-open, so that a pixel exactly half-way between two centres goes to one
    // of them only.
    return (x > -0.5f && x <= 0.5f) ? 1.0f : 0.0f;
}

float TriangleFilter(float x) {
    const float a = std::fabs(x);
    return a < 1.0f ? 1.0f - a : 0.0f;
}

float HermiteFilter(float x) {
    const float a = std::fabs(x);
    return a < 1.0f ? (2.0f * a - 3.0f) * a * a + 1.0f : 0.0f;
}

float BellFilter(float x) {
    const float a = std::fabs(x);
    if (a < 0.5f) return 0.75f - a * a;
    if (a < 1.5f) {
        const float t = a - 1.5f;
        return 0.5f * (t * t);
    }
    return 0.0f;
}

float BSplineFilter(float x) {
    const float a = std::fabs(x);
    if (a < 1.0f) return a * a * a / 2.0f - a * a + 2.0f / 3.0f;
    if (a < 2.0f) {
        const float t = 2.0f - a;
        return t * t * t / 6.0f;
    }
    return 0.0f;
}

namespace {

float Sinc(float t) {
    if (t == 0.0f) return 1.0f;
    const float pt = 3.14159265358979323846f * t;
    return std::sin(pt) / pt;
}

}  // namespace

float Lanczos3Filter(float x) {
    const float a = std::fabs(x);
    return a < 3.0f ? Sinc(a) * Sinc(a / 3.0f) : 0.0f;
}

float MitchellFilter(float x) {
    const float a = std::fabs(x);
    const float a2 = a * a;
    const float a3 = a2 * a;
    if (a < 1.0f) return (7.0f * a3 - 12.0f * a2 + 16.0f / 3.0f) / 6.0f;
    if (a < 2.0f) return (-(7.0f / 3.0f) * a3 + 12.0f * a2 - 20.0f * a + 32.0f / 3.0f) / 6.0f;
    return 0.0f;
}

TFilterFunction FilterFunction(TResizeFilter filter) {
    switch (filter) {
        case rfBox: return BoxFilter;
        case rfTriangle: return TriangleFilter;
        case rfHermite: return HermiteFilter;
        case rfBell: return BellFilter;
        case rfBSpline: return BSplineFilter;
        case rfLanczos3: return Lanczos3Filter;
        case rfMitchell: return MitchellFilter;
    }
    ThrowAssertion("Unknown resize filter", "ImageResize2", __LINE__);
}

float FilterDefaultRadius(TResizeFilter filter) {
    switch (filter) {
        case rfBox: return 0.5f;
        case rfTriangle: return 1.0f;
        case rfHermite: return 1.0f;
        case rfBell: return 1.5f;
        case rfBSpline: return 2.0f;
        case rfLanczos3: return 3.0f;
        case rfMitchell: return 2.0f;
    }
    ThrowAssertion("Unknown resize filter", "ImageResize2", __LINE__);
}

// ---------------------------------------------------------------------------------------------

void FitSize(int srcWidth, int srcHeight, int boxWidth, int boxHeight, int& newWidth, int& newHeight) {
    newWidth = srcWidth;
    newHeight = srcHeight;
    if (srcWidth <= 0 || srcHeight <= 0) return;  // nothing to scale
    const float sx = static_cast<float>(boxWidth) / static_cast<float>(srcWidth);
    const float sy = static_cast<float>(boxHeight) / static_cast<float>(srcHeight);
    const float s = sx < sy ? sx : sy;
    if (s > 1.0f) return;
    // The products are taken in extended precision (a float scale times an int), then rounded.
    newWidth = static_cast<int>(std::nearbyint(static_cast<long double>(srcWidth) * s));
    newHeight = static_cast<int>(std::nearbyint(static_cast<long double>(srcHeight) * s));
}

int MirrorPixel(int j, int len) {
    if (j < 0) j = -j;
    else if (j >= len) j = 2 * len - j - 1;
    // Supports wider than the line itself (tiny lines, heavy reductions) can still fall
    // outside after one reflection; such taps are clamped to the nearest edge.
    if (j < 0) return 0;
    if (j >= len) return len - 1;
    return j;
}

void BuildContributorList(int count, float scale, int sourceLength, TFilterFunction filter, float radius,
                          TContributorList& list) {
    list.clear();
    list.resize(static_cast<std::size_t>(count));
    if (scale < 1.0f) {
        const float width = radius / scale;
        const int capacity = static_cast<int>(2.0f * width + 1.0f);
        for (int i = 0; i < count; ++i) {
            TContributorEntry& e = list[static_cast<std::size_t>(i)];
            e.Contributors.reserve(static_cast<std::size_t>(std::max(capacity, 0)));
            const float center = static_cast<float>(i) / scale;
            const int left = static_cast<int>(std::floor(center - width));
            const int right = static_cast<int>(std::ceil(center + width));
            for (int j = left; j <= right; ++j) {
                const float v = filter((center - static_cast<float>(j)) * scale) * scale * 256.0f;
                const auto weight = static_cast<std::int32_t>(std::nearbyint(v));
                if (weight == 0) continue;
                e.Contributors.push_back({weight, MirrorPixel(j, sourceLength)});
            }
            e.Count = static_cast<std::int32_t>(e.Contributors.size());
        }
    } else {
        const int capacity = static_cast<int>(2.0f * radius + 1.0f);
        for (int i = 0; i < count; ++i) {
            TContributorEntry& e = list[static_cast<std::size_t>(i)];
            e.Contributors.reserve(static_cast<std::size_t>(std::max(capacity, 0)));
            const float center = static_cast<float>(i) / scale;
            const int left = static_cast<int>(std::floor(center - radius));
            const int right = static_cast<int>(std::ceil(center + radius));
            for (int j = left; j <= right; ++j) {
                const float v = filter(center - static_cast<float>(j)) * 256.0f;
                const auto weight = static_cast<std::int32_t>(std::nearbyint(v));
                if (weight == 0) continue;
                e.Contributors.push_back({weight, MirrorPixel(j, sourceLength)});
            }
            e.Count = static_cast<std::int32_t>(e.Contributors.size());
        }
    }
}

std::uint8_t WeightedChannelValue(std::int32_t sum, std::int32_t total) {
    if (total == 0) {
        const std::uint32_t v = static_cast<std::uint32_t>(sum) >> 8;
        return static_cast<std::uint8_t>(v > 255u ? 255u : v);
    }
    const std::int32_t v = sum / total;
    return static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// ---------------------------------------------------------------------------------------------
// The passes.
//
// The contributor list is turned into a dense table for the inner loops: each target pixel gets
// a run of consecutive source pixels [Start, Start + Length) and one weight per pixel of the
// run (0 where no contributor falls, the sum where a mirrored pixel appears twice). Integer
// sums do not depend on the order of their terms, so every kernel gives the bytes the
// contributor list defines.

namespace {

std::atomic<int> gThreadCount{static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u))};
std::atomic<bool> gScalarOnly{false};

struct TDenseEntry {
    std::int32_t Start;
    std::int32_t Length;        // pixels in the run
    std::int32_t PaddedLength;  // Length rounded up to a multiple of 8 (zero weights after it)
    std::int32_t Total;         // sum of the weights
    std::size_t WeightOffset;   // first weight in TDenseTable::Weights
    double Reciprocal;          // 1 / Total, for the fast division
};

struct TDenseTable {
    std::vector<TDenseEntry> Entries;
    std::vector<std::int32_t> Weights;
    int MaxReach = 0;  // largest Start + PaddedLength, so the channel lines can be padded
};

void MakeDenseTable(const TContributorList& list, TDenseTable& table) {
    table.Entries.resize(list.size());
    table.Weights.clear();
    table.MaxReach = 0;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const TContributorEntry& e = list[i];
        TDenseEntry& d = table.Entries[i];
        d.WeightOffset = table.Weights.size();
        d.Total = 0;
        if (e.Count == 0) {
            d.Start = 0;
            d.Length = 0;
            d.PaddedLength = 0;
            d.Reciprocal = 0;
            continue;
        }
        int lo = e.Contributors[0].Pixel, hi = lo;
        for (int k = 0; k < e.Count; ++k) {
            lo = std::min(lo, e.Contributors[static_cast<std::size_t>(k)].Pixel);
            hi = std::max(hi, e.Contributors[static_cast<std::size_t>(k)].Pixel);
        }
        d.Start = lo;
        d.Length = hi - lo + 1;
        d.PaddedLength = (d.Length + 7) & ~7;
        table.Weights.resize(d.WeightOffset + static_cast<std::size_t>(d.PaddedLength), 0);
        for (int k = 0; k < e.Count; ++k) {
            const TContributor& c = e.Contributors[static_cast<std::size_t>(k)];
            table.Weights[d.WeightOffset + static_cast<std::size_t>(c.Pixel - lo)] += c.Weight;
            d.Total += c.Weight;
        }
        d.Reciprocal = d.Total != 0 ? 1.0 / d.Total : 0.0;
        table.MaxReach = std::max(table.MaxReach, d.Start + d.PaddedLength);
    }
}

// WeightedChannelValue with the division replaced by a multiplication where that is exact.
inline std::uint8_t ChannelValue(std::int32_t sum, const TDenseEntry& d) {
    if (d.Total > 0) {
        if (sum <= 0) return 0;  // the truncated quotient is <= 0
        if (static_cast<std::int64_t>(sum) >= 256 * static_cast<std::int64_t>(d.Total)) return 255;
        // 0 < sum / Total < 256: estimate, then correct to the exact floor.
        std::int32_t q = static_cast<std::int32_t>(static_cast<double>(sum) * d.Reciprocal);
        std::int32_t r = sum - q * d.Total;
        while (r < 0) {
            --q;
            r += d.Total;
        }
        while (r >= d.Total) {
            ++q;
            r -= d.Total;
        }
        return static_cast<std::uint8_t>(q);
    }
    return WeightedChannelValue(sum, d.Total);
}

// The three channel lines of one thread, padded with zeros so that the vector kernel may read a
// whole padded run.
struct TChannelLines {
    std::vector<std::int32_t> Red, Green, Blue;
    void Prepare(int length) {
        const std::size_t n = static_cast<std::size_t>(length);
        if (Red.size() < n) {
            Red.assign(n, 0);
            Green.assign(n, 0);
            Blue.assign(n, 0);
        }
    }
};

thread_local TChannelLines tChannelLines;

void SumsScalar(const std::int32_t* w, const TDenseEntry& d, const std::int32_t* r, const std::int32_t* g,
                const std::int32_t* b, std::int32_t& sr, std::int32_t& sg, std::int32_t& sb) {
    std::int32_t ar = 0, ag = 0, ab = 0;
    const std::int32_t* rr = r + d.Start;
    const std::int32_t* gg = g + d.Start;
    const std::int32_t* bb = b + d.Start;
    for (int k = 0; k < d.Length; ++k) {
        ar += w[k] * rr[k];
        ag += w[k] * gg[k];
        ab += w[k] * bb[k];
    }
    sr = ar;
    sg = ag;
    sb = ab;
}

#ifdef TINTAVO_HAVE_AVX2_KERNEL
__attribute__((target("avx2"))) inline std::int32_t HorizontalSum(__m256i v) {
    __m128i s = _mm_add_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    s = _mm_add_epi32(s, _mm_shuffle_epi32(s, 0x4E));
    s = _mm_add_epi32(s, _mm_shuffle_epi32(s, 0xB1));
    return _mm_cvtsi128_si32(s);
}

__attribute__((target("avx2"))) void SumsAvx2(const std::int32_t* w, const TDenseEntry& d, const std::int32_t* r,
                                               const std::int32_t* g, const std::int32_t* b, std::int32_t& sr,
                                               std::int32_t& sg, std::int32_t& sb) {
    __m256i ar = _mm256_setzero_si256(), ag = ar, ab = ar;
    const std::int32_t* rr = r + d.Start;
    const std::int32_t* gg = g + d.Start;
    const std::int32_t* bb = b + d.Start;
    for (int k = 0; k < d.PaddedLength; k += 8) {
        const __m256i wv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + k));
        ar = _mm256_add_epi32(ar, _mm256_mullo_epi32(wv, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rr + k))));
        ag = _mm256_add_epi32(ag, _mm256_mullo_epi32(wv, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(gg + k))));
        ab = _mm256_add_epi32(ab, _mm256_mullo_epi32(wv, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bb + k))));
    }
    sr = HorizontalSum(ar);
    sg = HorizontalSum(ag);
    sb = HorizontalSum(ab);
}

bool CpuHasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}
#endif

using TSumsKernel = void (*)(const std::int32_t*, const TDenseEntry&, const std::int32_t*, const std::int32_t*,
                             const std::int32_t*, std::int32_t&, std::int32_t&, std::int32_t&);

TSumsKernel ChooseKernel() {
#ifdef TINTAVO_HAVE_AVX2_KERNEL
    if (!gScalarOnly.load(std::memory_order_relaxed) && CpuHasAvx2()) return SumsAvx2;
#endif
    return SumsScalar;
}

// Filters `count` values of the channel lines into the pixels out[0], out[step], ...
inline void FilterLine(TSumsKernel kernel, const TDenseTable& table, const TChannelLines& lines, std::uint8_t* out,
                       std::ptrdiff_t step) {
    const std::int32_t* r = lines.Red.data();
    const std::int32_t* g = lines.Green.data();
    const std::int32_t* b = lines.Blue.data();
    const std::int32_t* weights = table.Weights.data();
    for (const TDenseEntry& d : table.Entries) {
        std::int32_t sr, sg, sb;
        kernel(weights + d.WeightOffset, d, r, g, b, sr, sg, sb);
        out[0] = ChannelValue(sb, d);
        out[1] = ChannelValue(sg, d);
        out[2] = ChannelValue(sr, d);
        out += step;
    }
}

// Horizontal pass over source rows [y0, y1) into the same rows of `work`.
void HorizontalStrip(const TDenseTable& table, const TBitmap24& source, TBitmap24& work, int y0, int y1) {
    const TSumsKernel kernel = ChooseKernel();
    TChannelLines& lines = tChannelLines;
    const int sw = source.Width();
    lines.Prepare(std::max(sw, table.MaxReach) + 8);
    std::int32_t* r = lines.Red.data();
    std::int32_t* g = lines.Green.data();
    std::int32_t* b = lines.Blue.data();
    for (int y = y0; y < y1; ++y) {
        const std::uint8_t* p = source.ScanLine(y);
        for (int x = 0; x < sw; ++x, p += 3) {
            b[x] = p[0];
            g[x] = p[1];
            r[x] = p[2];
        }
        FilterLine(kernel, table, lines, work.ScanLine(y), 3);
    }
}

// Vertical pass over columns [x0, x1) of `work` into the same columns of `target`.
void VerticalStrip(const TDenseTable& table, const TBitmap24& work, TBitmap24& target, int x0, int x1) {
    const TSumsKernel kernel = ChooseKernel();
    TChannelLines& lines = tChannelLines;
    const int sh = work.Height();
    lines.Prepare(std::max(sh, table.MaxReach) + 8);
    std::int32_t* r = lines.Red.data();
    std::int32_t* g = lines.Green.data();
    std::int32_t* b = lines.Blue.data();
    // Stride() is defined for any height, so a single-row bitmap needs no special case.
    const std::ptrdiff_t workStride = work.Stride();
    const std::ptrdiff_t targetStride = target.Stride();
    for (int x = x0; x < x1; ++x) {
        const std::uint8_t* p = work.Bits() + 3 * static_cast<std::ptrdiff_t>(x);
        for (int y = 0; y < sh; ++y, p += workStride) {
            b[y] = p[0];
            g[y] = p[1];
            r[y] = p[2];
        }
        FilterLine(kernel, table, lines, target.Bits() + 3 * static_cast<std::ptrdiff_t>(x), targetStride);
    }
}

// Runs body(begin, end) over [0, count) in strips, one per thread; the caller's thread takes
// the first strip. Rethrows the first error of any strip after all have finished.
template <typename Body>
void RunStrips(int count, long long workPerItem, Body body) {
    int threads = gThreadCount.load(std::memory_order_relaxed);
    // Starting a thread costs tens of microseconds: small jobs stay on one thread.
    const long long total = static_cast<long long>(count) * workPerItem;
    if (total < 200'000) threads = 1;
    threads = std::max(1, std::min(threads, count));
    if (threads == 1) {
        body(0, count);
        return;
    }
    std::vector<std::thread> pool;
    std::vector<std::exception_ptr> errors(static_cast<std::size_t>(threads));
    auto bound = [&](int t) { return static_cast<int>(static_cast<long long>(count) * t / threads); };
    for (int t = 1; t < threads; ++t) {
        pool.emplace_back([&, t] {
            try {
                body(bound(t), bound(t + 1));
            } catch (...) {
                errors[static_cast<std::size_t>(t)] = std::current_exception();
            }
        });
    }
    try {
        body(bound(0), bound(1));
    } catch (...) {
        errors[0] = std::current_exception();
    }
    for (std::thread& th : pool) th.join();
    for (const std::exception_ptr& e : errors)
        if (e) std::rethrow_exception(e);
}

long long TableWork(const TDenseTable& table, int lineLength) {
    long long work = lineLength;
    for (const TDenseEntry& d : table.Entries) work += d.PaddedLength + 4;
    return work;
}

// The intermediate bitmap of the two passes is kept per thread: reducing a large photograph
// needs tens of megabytes here, and fresh memory costs a page fault per 4 KB on every open.
thread_local TBitmap24 tWorkBitmap;

}  // namespace

void ResampleBitmap(TFilterFunction filter, const TBitmap24& source, TBitmap24& target, float radius) {
    const int sw = source.Width(), sh = source.Height();
    const int dw = target.Width(), dh = target.Height();
    if (sw == 0 || sh == 0 || dw == 0 || dh == 0) return;
    TINTAVO_ASSERT(&source != &target, "ImageResize2", "Source and target must differ");

    TBitmap24& work = tWorkBitmap;
    work.SetSize(dw, sh);

    const float xs = (sw == 1 || dw == 1) ? static_cast<float>(dw) / static_cast<float>(sw)
                                          : static_cast<float>(dw - 1) / static_cast<float>(sw - 1);
    const float ys = (sh == 1 || dh == 1) ? static_cast<float>(dh) / static_cast<float>(sh)
                                          : static_cast<float>(dh - 1) / static_cast<float>(sh - 1);

    TDenseTable table;
    {
        TContributorList list;
        BuildContributorList(dw, xs, sw, filter, radius, list);
        MakeDenseTable(list, table);
    }
    RunStrips(sh, TableWork(table, sw),
              [&](int y0, int y1) { HorizontalStrip(table, source, work, y0, y1); });

    {
        TContributorList list;
        BuildContributorList(dh, ys, sh, filter, radius, list);
        MakeDenseTable(list, table);
    }
    RunStrips(dw, TableWork(table, sh), [&](int x0, int x1) { VerticalStrip(table, work, target, x0, x1); });
}

void ResizeBitmap(int newWidth, int newHeight, TResizeFilter filter, float radius, const TBitmap24& source,
                  TBitmap24& target) {
    TINTAVO_ASSERT(&source != &target, "ImageResize2", "Source and target must differ");
    const TFilterFunction f = FilterFunction(filter);
    if (radius == 0.0f) radius = FilterDefaultRadius(filter);
    // Every target pixel is written below, so the old buffer can be reused as it is.
    target.SetSize(newWidth, newHeight);
    ResampleBitmap(f, source, target, radius);
}

void SetResampleThreadCount(int threads) { gThreadCount.store(std::clamp(threads, 1, 64)); }

int ResampleThreadCount() { return gThreadCount.load(); }

void SetResampleScalarOnly(bool scalarOnly) { gScalarOnly.store(scalarOnly); }

}  // namespace tintavo
