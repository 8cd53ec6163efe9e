#include "lut/ImageResize2.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TINTAVO_HAVE_AVX2_KERNEL 1
#endif

#include "common/BufferPool.h"
#include "common/Errors.h"
#include "common/Parallel.h"
#include "lut/PixelBuffer.h"

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
//
// Both passes work on blocks of eight lines: eight source rows (horizontal pass) or eight
// columns of the work bitmap (vertical pass) are split into the three channel lines side by
// side, value i of line c at [i * 8 + c], and the eight lines' weighted sums are taken
// together. Walking down eight columns at once touches each row of the work bitmap once per
// eight columns instead of once per column, and neither pass needs a sum across vector lanes.

namespace {

constexpr int ColumnBlock = 8;

std::atomic<bool> gScalarOnly{false};

struct TDenseEntry {
    std::int32_t Start;
    std::int32_t Length;        // pixels in the run
    std::int32_t Total;         // sum of the weights
    std::size_t WeightOffset;   // first weight in TDenseTable::Weights
    float Reciprocal;           // 1 / Total, for the fast division
    bool Fast;                  // Total > 0 and every sum exact in a float: the fast division applies
};

struct TDenseTable {
    std::vector<TDenseEntry> Entries;
    std::vector<std::int32_t> Weights;
    int MaxReach = 0;  // largest Start + Length
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
        d.Start = 0;
        d.Length = 0;
        d.Reciprocal = 0;
        d.Fast = false;
        if (e.Count == 0) continue;
        int lo = e.Contributors[0].Pixel, hi = lo;
        for (int k = 0; k < e.Count; ++k) {
            lo = std::min(lo, e.Contributors[static_cast<std::size_t>(k)].Pixel);
            hi = std::max(hi, e.Contributors[static_cast<std::size_t>(k)].Pixel);
        }
        d.Start = lo;
        d.Length = hi - lo + 1;
        table.Weights.resize(d.WeightOffset + static_cast<std::size_t>(d.Length), 0);
        long long absolute = 0;
        for (int k = 0; k < e.Count; ++k) {
            const TContributor& c = e.Contributors[static_cast<std::size_t>(k)];
            table.Weights[d.WeightOffset + static_cast<std::size_t>(c.Pixel - lo)] += c.Weight;
            d.Total += c.Weight;
            absolute += c.Weight < 0 ? -static_cast<long long>(c.Weight) : c.Weight;
        }
        // Sums of at most 2^22 in magnitude are exact in a float, and their quotient estimate
        // is then off by at most one, which the kernels correct.
        d.Fast = d.Total > 0 && absolute * 255 < (1LL << 22);
        d.Reciprocal = d.Total != 0 ? 1.0f / static_cast<float>(d.Total) : 0.0f;
        table.MaxReach = std::max(table.MaxReach, d.Start + d.Length);
    }
}

// The three channel lines of one strip of a pass (see the blocks below), in one buffer that
// lives as long as the pass.
struct TChannelLines {
    TPixelBuffer Memory;
    std::int32_t* Red = nullptr;
    std::int32_t* Green = nullptr;
    std::int32_t* Blue = nullptr;
    explicit TChannelLines(std::size_t length) : Memory(3 * length * sizeof(std::int32_t)) {
        Red = reinterpret_cast<std::int32_t*>(Memory.Data());
        Green = Red + length;
        Blue = Green + length;
    }
};

// Rows of 3-byte pixels: a bitmap, or a band of rows of one.
struct TRows {
    const std::uint8_t* First;
    std::ptrdiff_t Stride;
    int Width;
    const std::uint8_t* Row(int y) const { return First + static_cast<std::ptrdiff_t>(y) * Stride; }
};

// ---- where the lanes of a block come from and go to ------------------------------------------
//
// A block is up to eight lines (rows in the horizontal pass, columns in the vertical one) split
// into the channel lines side by side: value i of lane c sits at [i * 8 + c]. Target value i
// of lane c is written at Base + c * LaneStep + i * ValueStep.
struct TBlockOutput {
    std::uint8_t* Base;
    std::ptrdiff_t LaneStep;
    std::ptrdiff_t ValueStep;
};

// ---- scalar kernels: the plain statement of the passes -------------------------------------

// Rows [y0, y0 + n) of `source`, or columns [x0, x0 + n) of `work`, into the channel lines.
void GatherRowsScalar(const TRows& source, int y0, int n, TChannelLines& lines) {
    for (int c = 0; c < n; ++c) {
        const std::uint8_t* p = source.Row(y0 + c);
        for (int x = 0; x < source.Width; ++x, p += 3) {
            const std::size_t o = static_cast<std::size_t>(x) * ColumnBlock + static_cast<std::size_t>(c);
            lines.Blue[o] = p[0];
            lines.Green[o] = p[1];
            lines.Red[o] = p[2];
        }
    }
}

void GatherColumnsScalar(const TBitmap24& work, int x0, int n, TChannelLines& lines) {
    for (int y = 0; y < work.Height(); ++y) {
        const std::uint8_t* p = work.ScanLine(y) + 3 * static_cast<std::ptrdiff_t>(x0);
        const std::size_t o = static_cast<std::size_t>(y) * ColumnBlock;
        for (int c = 0; c < n; ++c) {
            lines.Blue[o + c] = p[3 * c];
            lines.Green[o + c] = p[3 * c + 1];
            lines.Red[o + c] = p[3 * c + 2];
        }
    }
}

void FilterBlockScalar(const TDenseTable& table, const TChannelLines& lines, int n, const TBlockOutput& out) {
    const std::int32_t* weights = table.Weights.data();
    for (std::size_t i = 0; i < table.Entries.size(); ++i) {
        const TDenseEntry& d = table.Entries[i];
        const std::int32_t* w = weights + d.WeightOffset;
        std::int32_t sr[ColumnBlock] = {}, sg[ColumnBlock] = {}, sb[ColumnBlock] = {};
        for (int k = 0; k < d.Length; ++k) {
            const std::size_t o = static_cast<std::size_t>(d.Start + k) * ColumnBlock;
            const std::int32_t* rr = lines.Red + o;
            const std::int32_t* gg = lines.Green + o;
            const std::int32_t* bb = lines.Blue + o;
            for (int c = 0; c < ColumnBlock; ++c) {
                sr[c] += w[k] * rr[c];
                sg[c] += w[k] * gg[c];
                sb[c] += w[k] * bb[c];
            }
        }
        std::uint8_t* px = out.Base + static_cast<std::ptrdiff_t>(i) * out.ValueStep;
        for (int c = 0; c < n; ++c, px += out.LaneStep) {
            px[0] = WeightedChannelValue(sb[c], d.Total);
            px[1] = WeightedChannelValue(sg[c], d.Total);
            px[2] = WeightedChannelValue(sr[c], d.Total);
        }
    }
}

// ---- AVX2 kernels ----------------------------------------------------------------------------

#ifdef TINTAVO_HAVE_AVX2_KERNEL
#define TINTAVO_AVX2 __attribute__((target("avx2")))

bool CpuHasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

// Eight B,G,R pixels (exactly the 24 bytes at p) to eight 32-bit values per channel.
TINTAVO_AVX2 inline void Deinterleave8(const std::uint8_t* p, __m256i& r, __m256i& g, __m256i& b) {
    const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));      // bytes 0..15
    const __m128i hi = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + 16));  // bytes 16..23
    const __m128i bLo = _mm_setr_epi8(0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i bHi = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, 2, 5, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i gLo = _mm_setr_epi8(1, 4, 7, 10, 13, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i gHi = _mm_setr_epi8(-1, -1, -1, -1, -1, 0, 3, 6, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i rLo = _mm_setr_epi8(2, 5, 8, 11, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i rHi = _mm_setr_epi8(-1, -1, -1, -1, -1, 1, 4, 7, -1, -1, -1, -1, -1, -1, -1, -1);
    b = _mm256_cvtepu8_epi32(_mm_or_si128(_mm_shuffle_epi8(lo, bLo), _mm_shuffle_epi8(hi, bHi)));
    g = _mm256_cvtepu8_epi32(_mm_or_si128(_mm_shuffle_epi8(lo, gLo), _mm_shuffle_epi8(hi, gHi)));
    r = _mm256_cvtepu8_epi32(_mm_or_si128(_mm_shuffle_epi8(lo, rLo), _mm_shuffle_epi8(hi, rHi)));
}

// Stores the transpose of the 8 x 8 matrix v (v[row][pixel]) at out[pixel * 8 + row].
TINTAVO_AVX2 inline void StoreTransposed(const __m256i v[8], std::int32_t* out) {
    const __m256i t0 = _mm256_unpacklo_epi32(v[0], v[1]), t1 = _mm256_unpackhi_epi32(v[0], v[1]);
    const __m256i t2 = _mm256_unpacklo_epi32(v[2], v[3]), t3 = _mm256_unpackhi_epi32(v[2], v[3]);
    const __m256i t4 = _mm256_unpacklo_epi32(v[4], v[5]), t5 = _mm256_unpackhi_epi32(v[4], v[5]);
    const __m256i t6 = _mm256_unpacklo_epi32(v[6], v[7]), t7 = _mm256_unpackhi_epi32(v[6], v[7]);
    const __m256i u0 = _mm256_unpacklo_epi64(t0, t2), u1 = _mm256_unpackhi_epi64(t0, t2);
    const __m256i u2 = _mm256_unpacklo_epi64(t1, t3), u3 = _mm256_unpackhi_epi64(t1, t3);
    const __m256i u4 = _mm256_unpacklo_epi64(t4, t6), u5 = _mm256_unpackhi_epi64(t4, t6);
    const __m256i u6 = _mm256_unpacklo_epi64(t5, t7), u7 = _mm256_unpackhi_epi64(t5, t7);
    auto* o = reinterpret_cast<__m256i*>(out);
    _mm256_storeu_si256(o + 0, _mm256_permute2x128_si256(u0, u4, 0x20));
    _mm256_storeu_si256(o + 1, _mm256_permute2x128_si256(u1, u5, 0x20));
    _mm256_storeu_si256(o + 2, _mm256_permute2x128_si256(u2, u6, 0x20));
    _mm256_storeu_si256(o + 3, _mm256_permute2x128_si256(u3, u7, 0x20));
    _mm256_storeu_si256(o + 4, _mm256_permute2x128_si256(u0, u4, 0x31));
    _mm256_storeu_si256(o + 5, _mm256_permute2x128_si256(u1, u5, 0x31));
    _mm256_storeu_si256(o + 6, _mm256_permute2x128_si256(u2, u6, 0x31));
    _mm256_storeu_si256(o + 7, _mm256_permute2x128_si256(u3, u7, 0x31));
}

TINTAVO_AVX2 void GatherRowsAvx2(const TRows& source, int y0, int n, TChannelLines& lines) {
    if (n < ColumnBlock) {
        GatherRowsScalar(source, y0, n, lines);
        return;
    }
    const int width = source.Width;
    const std::uint8_t* rows[ColumnBlock];
    for (int c = 0; c < ColumnBlock; ++c) rows[c] = source.Row(y0 + c);
    int x = 0;
    for (; x + 8 <= width; x += 8) {
        __m256i r[8], g[8], b[8];
        for (int c = 0; c < ColumnBlock; ++c) Deinterleave8(rows[c] + 3 * static_cast<std::ptrdiff_t>(x), r[c], g[c], b[c]);
        const std::size_t o = static_cast<std::size_t>(x) * ColumnBlock;
        StoreTransposed(r, lines.Red + o);
        StoreTransposed(g, lines.Green + o);
        StoreTransposed(b, lines.Blue + o);
    }
    for (; x < width; ++x)
        for (int c = 0; c < ColumnBlock; ++c) {
            const std::uint8_t* p = rows[c] + 3 * static_cast<std::ptrdiff_t>(x);
            const std::size_t o = static_cast<std::size_t>(x) * ColumnBlock + static_cast<std::size_t>(c);
            lines.Blue[o] = p[0];
            lines.Green[o] = p[1];
            lines.Red[o] = p[2];
        }
}

TINTAVO_AVX2 void GatherColumnsAvx2(const TBitmap24& work, int x0, int n, TChannelLines& lines) {
    if (n < ColumnBlock) {
        GatherColumnsScalar(work, x0, n, lines);
        return;
    }
    std::int32_t* r = lines.Red;
    std::int32_t* g = lines.Green;
    std::int32_t* b = lines.Blue;
    for (int y = 0; y < work.Height(); ++y) {
        __m256i vr, vg, vb;
        Deinterleave8(work.ScanLine(y) + 3 * static_cast<std::ptrdiff_t>(x0), vr, vg, vb);
        const std::size_t o = static_cast<std::size_t>(y) * ColumnBlock;
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(r + o), vr);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(g + o), vg);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(b + o), vb);
    }
}

// floor(sum / total) clamped to 0..255 for every lane, given total > 0 and |sum| < 2^22: the
// float estimate is off by at most one and is corrected with the exact integer remainder.
TINTAVO_AVX2 inline __m256i DivideClamp8(__m256i sum, __m256i total, __m256 reciprocal) {
    sum = _mm256_max_epi32(sum, _mm256_setzero_si256());  // a quotient <= 0 becomes 0 anyway
    __m256i q = _mm256_cvttps_epi32(_mm256_mul_ps(_mm256_cvtepi32_ps(sum), reciprocal));
    const __m256i rem = _mm256_sub_epi32(sum, _mm256_mullo_epi32(q, total));
    q = _mm256_add_epi32(q, _mm256_cmpgt_epi32(_mm256_setzero_si256(), rem));  // rem < 0: q - 1
    q = _mm256_sub_epi32(q, _mm256_cmpgt_epi32(rem, _mm256_sub_epi32(total, _mm256_set1_epi32(1))));
    return _mm256_min_epi32(q, _mm256_set1_epi32(255));
}

TINTAVO_AVX2 void FilterBlockAvx2(const TDenseTable& table, const TChannelLines& lines, int n,
                                  const TBlockOutput& out) {
    const std::int32_t* weights = table.Weights.data();
    const std::int32_t* red = lines.Red;
    const std::int32_t* green = lines.Green;
    const std::int32_t* blue = lines.Blue;
    for (std::size_t i = 0; i < table.Entries.size(); ++i) {
        const TDenseEntry& d = table.Entries[i];
        const std::int32_t* w = weights + d.WeightOffset;
        const std::size_t base = static_cast<std::size_t>(d.Start) * ColumnBlock;
        __m256i ar = _mm256_setzero_si256(), ag = ar, ab = ar;
        for (int k = 0; k < d.Length; ++k) {
            const __m256i wv = _mm256_set1_epi32(w[k]);
            const std::size_t o = base + static_cast<std::size_t>(k) * ColumnBlock;
            ar = _mm256_add_epi32(ar, _mm256_mullo_epi32(wv, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(red + o))));
            ag = _mm256_add_epi32(ag, _mm256_mullo_epi32(wv, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(green + o))));
            ab = _mm256_add_epi32(ab, _mm256_mullo_epi32(wv, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(blue + o))));
        }
        alignas(32) std::int32_t v[3][ColumnBlock];
        if (d.Fast) {
            const __m256i total = _mm256_set1_epi32(d.Total);
            const __m256 reciprocal = _mm256_set1_ps(d.Reciprocal);
            _mm256_store_si256(reinterpret_cast<__m256i*>(v[0]), DivideClamp8(ab, total, reciprocal));
            _mm256_store_si256(reinterpret_cast<__m256i*>(v[1]), DivideClamp8(ag, total, reciprocal));
            _mm256_store_si256(reinterpret_cast<__m256i*>(v[2]), DivideClamp8(ar, total, reciprocal));
        } else {
            _mm256_store_si256(reinterpret_cast<__m256i*>(v[0]), ab);
            _mm256_store_si256(reinterpret_cast<__m256i*>(v[1]), ag);
            _mm256_store_si256(reinterpret_cast<__m256i*>(v[2]), ar);
            for (int ch = 0; ch < 3; ++ch)
                for (int c = 0; c < ColumnBlock; ++c) v[ch][c] = WeightedChannelValue(v[ch][c], d.Total);
        }
        std::uint8_t* px = out.Base + static_cast<std::ptrdiff_t>(i) * out.ValueStep;
        for (int c = 0; c < n; ++c, px += out.LaneStep) {
            px[0] = static_cast<std::uint8_t>(v[0][c]);
            px[1] = static_cast<std::uint8_t>(v[1][c]);
            px[2] = static_cast<std::uint8_t>(v[2][c]);
        }
    }
}
#endif

bool UseAvx2() {
#ifdef TINTAVO_HAVE_AVX2_KERNEL
    return !gScalarOnly.load(std::memory_order_relaxed) && CpuHasAvx2();
#else
    return false;
#endif
}

// ---- the passes over strips --------------------------------------------------------------------

// Horizontal pass over the row blocks [b0, b1) of `source` into the rows of `work` from
// `workRow` on.
void HorizontalStrip(const TDenseTable& table, const TRows& source, int rows, TBitmap24& work, int workRow, int b0,
                     int b1, TChannelLines& lines) {
    const bool avx2 = UseAvx2();
    for (int block = b0; block < b1; ++block) {
        const int y0 = block * ColumnBlock;
        const int n = std::min(ColumnBlock, rows - y0);
        const TBlockOutput out{work.ScanLine(workRow + y0), work.Stride(), 3};
#ifdef TINTAVO_HAVE_AVX2_KERNEL
        if (avx2) {
            GatherRowsAvx2(source, y0, n, lines);
            FilterBlockAvx2(table, lines, n, out);
            continue;
        }
#endif
        GatherRowsScalar(source, y0, n, lines);
        FilterBlockScalar(table, lines, n, out);
    }
    (void)avx2;
}

// Vertical pass over the column blocks [b0, b1) of `work` into the same columns of `target`.
void VerticalStrip(const TDenseTable& table, const TBitmap24& work, TBitmap24& target, int b0, int b1,
                   TChannelLines& lines) {
    const bool avx2 = UseAvx2();
    for (int block = b0; block < b1; ++block) {
        const int x0 = block * ColumnBlock;
        const int n = std::min(ColumnBlock, work.Width() - x0);
        // Stride() is defined for any height, so a single-row target needs no special case.
        const TBlockOutput out{target.Bits() + 3 * static_cast<std::ptrdiff_t>(x0), 3, target.Stride()};
#ifdef TINTAVO_HAVE_AVX2_KERNEL
        if (avx2) {
            GatherColumnsAvx2(work, x0, n, lines);
            FilterBlockAvx2(table, lines, n, out);
            continue;
        }
#endif
        GatherColumnsScalar(work, x0, n, lines);
        FilterBlockScalar(table, lines, n, out);
    }
    (void)avx2;
}

long long TableWork(const TDenseTable& table, int lineLength) {
    long long work = lineLength;
    for (const TDenseEntry& d : table.Entries) work += d.Length + 4;
    return work;
}

// The passes move more memory than they compute: beyond this many threads they only compete
// for it.
constexpr int MaxResampleThreads = 8;

// How many strips a pass over `blocks` blocks of `workPerBlock` each is split into: one per
// thread, or one when the pass is too small to be worth a thread.
int StripCount(int blocks, long long workPerBlock) {
    if (static_cast<long long>(blocks) * workPerBlock < MinParallelWork) return 1;
    return std::max(1, std::min({blocks, MaxResampleThreads, ParallelThreadLimit()}));
}

// Runs strip(s, begin, end) for the strips s of [0, blocks), one strip per thread.
template <typename Strip>
void RunStrips(int blocks, int strips, Strip strip) {
    TParallelOptions options;
    options.MaxThreads = strips;
    ParallelFor(
        strips,
        [&](int s0, int s1) {
            for (int s = s0; s < s1; ++s) {
                const auto bound = [&](int t) { return static_cast<int>(static_cast<long long>(blocks) * t / strips); };
                strip(s, bound(s), bound(s + 1));
            }
        },
        options);
}

// Channel lines of `length` values for each of `strips` strips.
std::vector<TChannelLines> MakeLines(int strips, int length) {
    std::vector<TChannelLines> lines;
    lines.reserve(static_cast<std::size_t>(strips));
    for (int s = 0; s < strips; ++s) lines.emplace_back(static_cast<std::size_t>(length + 8) * ColumnBlock);
    return lines;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

struct TBandResampler::TJob : TResampleShape {
    TDenseTable Table;  // the horizontal one while rows arrive
    TBitmap24 Work;     // target width x source height: the horizontal pass's result
    long long WorkPerBlock = 0;
    std::atomic<long long> RowsAdded{0};
    // Channel lines for the threads that add rows, each set used by one thread at a time.
    TBufferPool<std::unique_ptr<TChannelLines>> Lines;

    static float Scale(int from, int to) {
        // The first and the last pixel centres coincide (one pixel: the plain ratio).
        return (from == 1 || to == 1) ? static_cast<float>(to) / static_cast<float>(from)
                                      : static_cast<float>(to - 1) / static_cast<float>(from - 1);
    }

    std::unique_ptr<TChannelLines> TakeLines() {
        return Lines.Take([&] {
            const int length = std::max(SourceWidth, Table.MaxReach);
            return std::make_unique<TChannelLines>(static_cast<std::size_t>(length + 8) * ColumnBlock);
        });
    }
};

TBandResampler::TBandResampler(TFilterFunction filter, float radius, int sourceWidth, int sourceHeight,
                               int targetWidth, int targetHeight)
    : job_(std::make_unique<TJob>()) {
    TINTAVO_ASSERT(sourceWidth > 0 && sourceHeight > 0 && targetWidth > 0 && targetHeight > 0, "ImageResize2",
                   "Empty resampling");
    TJob& j = *job_;
    static_cast<TResampleShape&>(j) = {filter, radius, sourceWidth, sourceHeight, targetWidth, targetHeight};
    {
        TContributorList list;
        BuildContributorList(targetWidth, TJob::Scale(sourceWidth, targetWidth), sourceWidth, filter, radius, list);
        MakeDenseTable(list, j.Table);
    }
    j.Work.SetSize(targetWidth, sourceHeight);
    j.WorkPerBlock = TableWork(j.Table, sourceWidth) * ColumnBlock;
}

TBandResampler::~TBandResampler() = default;

void TBandResampler::AddRows(int firstRow, const std::uint8_t* rows, std::ptrdiff_t stride, int count) {
    TJob& j = *job_;
    TINTAVO_ASSERT(firstRow >= 0 && count >= 0 && firstRow + count <= j.SourceHeight, "ImageResize2",
                   "Rows outside the source");
    if (count == 0) return;
    std::unique_ptr<TChannelLines> lines = j.TakeLines();
    const TRows source{rows, stride, j.SourceWidth};
    HorizontalStrip(j.Table, source, count, j.Work, firstRow, 0, (count + ColumnBlock - 1) / ColumnBlock, *lines);
    j.Lines.GiveBack(std::move(lines));
    j.RowsAdded += count;
}

void TBandResampler::AddAllRows(const TBitmap24& source) {
    TJob& j = *job_;
    TINTAVO_ASSERT(source.Width() == j.SourceWidth && source.Height() == j.SourceHeight, "ImageResize2",
                   "Source size differs");
    const int blocks = (j.SourceHeight + ColumnBlock - 1) / ColumnBlock;
    const int strips = StripCount(blocks, j.WorkPerBlock);
    RunStrips(blocks, strips, [&](int, int b0, int b1) {
        const int y0 = b0 * ColumnBlock, y1 = std::min(j.SourceHeight, b1 * ColumnBlock);
        AddRows(y0, source.ScanLine(y0), source.Stride(), y1 - y0);
    });
}

void TBandResampler::Finish(TBitmap24& target) {
    TJob& j = *job_;
    TINTAVO_ASSERT(j.RowsAdded == j.SourceHeight, "ImageResize2", "Rows missing");
    TINTAVO_ASSERT(target.Width() == j.TargetWidth && target.Height() == j.TargetHeight, "ImageResize2",
                   "Target size differs");
    j.Lines.Clear();
    {
        TContributorList list;
        BuildContributorList(j.TargetHeight, TJob::Scale(j.SourceHeight, j.TargetHeight), j.SourceHeight, j.Filter,
                             j.Radius, list);
        MakeDenseTable(list, j.Table);
    }
    const int blocks = (j.TargetWidth + ColumnBlock - 1) / ColumnBlock;
    const int strips = StripCount(blocks, TableWork(j.Table, j.SourceHeight) * ColumnBlock);
    std::vector<TChannelLines> lines = MakeLines(strips, std::max(j.SourceHeight, j.Table.MaxReach));
    RunStrips(blocks, strips, [&](int s, int b0, int b1) {
        VerticalStrip(j.Table, j.Work, target, b0, b1, lines[static_cast<std::size_t>(s)]);
    });
    job_.reset();  // the memory of the job goes back now
}

void ResampleBitmap(TFilterFunction filter, const TBitmap24& source, TBitmap24& target, float radius) {
    const int sw = source.Width(), sh = source.Height();
    const int dw = target.Width(), dh = target.Height();
    if (sw == 0 || sh == 0 || dw == 0 || dh == 0) return;
    TINTAVO_ASSERT(&source != &target, "ImageResize2", "Source and target must differ");
    TBandResampler resampler(filter, radius, sw, sh, dw, dh);
    resampler.AddAllRows(source);
    resampler.Finish(target);
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

void SetResampleScalarOnly(bool scalarOnly) { gScalarOnly.store(scalarOnly); }

}  // namespace tintavo
