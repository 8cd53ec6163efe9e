#include "lut/LUT.h"

#include "lut/LUTKernels.h"
#include "lut/PixelBuffer.h"

#include "common/Parallel.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace tintavo {

void* TLUT::operator new(std::size_t bytes) { return AllocateLargeBlock(bytes); }

void TLUT::operator delete(void* block, std::size_t bytes) noexcept { FreeLargeBlock(block, bytes); }

TLUT::TLUT() {
    std::memset(static_cast<void*>(Table3D), 0, sizeof Table3D);
    std::memset(static_cast<void*>(Table1D), 0, sizeof Table1D);
}

void TLUT::CopyFrom(const TLUT& other) {
    if (this == &other) return;
    LutKind = other.LutKind;
    Comments = other.Comments;
    Size1D = other.Size1D;
    Size3D = other.Size3D;
    const int n3 = std::clamp(other.Size3D, 0, MaxLut3DSize);
    for (int r = 0; r < n3; ++r)
        for (int g = 0; g < n3; ++g)
            std::memcpy(Table3D[r][g], other.Table3D[r][g], sizeof(TLutColor) * n3);
    const int n1 = std::clamp(other.Size1D, 0, MaxLut1DSize);
    std::memcpy(Table1D, other.Table1D, sizeof(TLutColor) * n1);
}

void TLUT::SetIdentity3D(int size) {
    LutKind = lk3D;
    Size3D = size;
    for (int r = 0; r < size; ++r)
        for (int g = 0; g < size; ++g)
            for (int b = 0; b < size; ++b)
                Table3D[r][g][b] = {static_cast<double>(static_cast<long double>(r) / (size - 1)),
                                    static_cast<double>(static_cast<long double>(g) / (size - 1)),
                                    static_cast<double>(static_cast<long double>(b) / (size - 1))};
}

void TLUT::SetIdentity1D(int size) {
    LutKind = lk1D;
    Size1D = size;
    for (int i = 0; i < size; ++i) {
        const double v = static_cast<double>(static_cast<long double>(i) / (size - 1));
        Table1D[i] = {v, v, v};
    }
}

namespace {

using namespace lutkernel;

inline std::uint8_t ToByte(double v) { return static_cast<std::uint8_t>(std::nearbyint(255.0 * ClampUnit(v))); }

// The fast path for a 3D table at 8 bits. The cell index and weight of every byte value are
// computed once per call with the same arithmetic ApplyLutToPixel uses, and the nodes in use are
// copied into a packed grid (the table inside TLUT is strided for 101 points per axis, which
// spreads a 33-point grid over 8 MB). Red and green are interpolated together in one SSE2
// register; each lane performs exactly the scalar operations, so the bytes written are those of
// ApplyLutToPixel.
struct TPackedGrid {
    std::vector<TLutColor> nodes;  // [r][g][b], n x n x n
    std::ptrdiff_t strideR = 0, strideG = 0;
};

void PackGrid(const TLUT& lut, int n, TPackedGrid& grid) {
    grid.nodes.resize(static_cast<std::size_t>(n) * n * n);
    grid.strideG = n;
    grid.strideR = static_cast<std::ptrdiff_t>(n) * n;
    TLutColor* out = grid.nodes.data();
    for (int r = 0; r < n; ++r)
        for (int g = 0; g < n; ++g, out += n) std::memcpy(out, lut.Table3D[r][g], sizeof(TLutColor) * n);
}

#if defined(__SSE2__)
inline __m128d LerpRG(__m128d a, __m128d b, __m128d f, __m128d oneMinusF) {
    return _mm_add_pd(_mm_mul_pd(oneMinusF, a), _mm_mul_pd(f, b));
}
#endif

// For each channel and byte value: the offset of its cell's lower node along that axis of the
// packed grid, and its weight.
struct TByteCells {
    std::ptrdiff_t offset[3][256];  // red, green, blue
    double frac[3][256];
};

void ApplyLut3DToRows(const TPackedGrid& grid, TBitmap24& bitmap, int y0, int y1, const TByteCells& cells) {
    const int w = bitmap.Width();
    const TLutColor* base = grid.nodes.data();
    const std::ptrdiff_t sr = grid.strideR, sg = grid.strideG;
    for (int y = y0; y < y1; ++y) {
        std::uint8_t* p = bitmap.ScanLine(y);
        for (int x = 0; x < w; ++x, p += 3) {
            const double fr = cells.frac[0][p[2]], fg = cells.frac[1][p[1]], fb = cells.frac[2][p[0]];
            const TLutColor* c000 = base + cells.offset[0][p[2]] + cells.offset[1][p[1]] + cells.offset[2][p[0]];
            const TLutColor* c010 = c000 + sg;
            const TLutColor* c100 = c000 + sr;
            const TLutColor* c110 = c100 + sg;
            TLutColor c;
#if defined(__SSE2__)
            {
                const __m128d vfb = _mm_set1_pd(fb), vfb1 = _mm_set1_pd(1.0 - fb);
                const __m128d vfg = _mm_set1_pd(fg), vfg1 = _mm_set1_pd(1.0 - fg);
                const __m128d vfr = _mm_set1_pd(fr), vfr1 = _mm_set1_pd(1.0 - fr);
                const __m128d s00 = LerpRG(_mm_loadu_pd(&c000[0].R), _mm_loadu_pd(&c000[1].R), vfb, vfb1);
                const __m128d s01 = LerpRG(_mm_loadu_pd(&c010[0].R), _mm_loadu_pd(&c010[1].R), vfb, vfb1);
                const __m128d s10 = LerpRG(_mm_loadu_pd(&c100[0].R), _mm_loadu_pd(&c100[1].R), vfb, vfb1);
                const __m128d s11 = LerpRG(_mm_loadu_pd(&c110[0].R), _mm_loadu_pd(&c110[1].R), vfb, vfb1);
                const __m128d t0 = LerpRG(s00, s01, vfg, vfg1);
                const __m128d t1 = LerpRG(s10, s11, vfg, vfg1);
                double rg[2];
                _mm_storeu_pd(rg, LerpRG(t0, t1, vfr, vfr1));
                c.R = rg[0];
                c.G = rg[1];
                const double b00 = Lerp(c000[0].B, c000[1].B, fb);
                const double b01 = Lerp(c010[0].B, c010[1].B, fb);
                const double b10 = Lerp(c100[0].B, c100[1].B, fb);
                const double b11 = Lerp(c110[0].B, c110[1].B, fb);
                c.B = Lerp(Lerp(b00, b01, fg), Lerp(b10, b11, fg), fr);
            }
#else
            c = TrilinearCorners(c000, c010, c100, c110, fr, fg, fb);
#endif
            p[0] = ToByte(c.B);
            p[1] = ToByte(c.G);
            p[2] = ToByte(c.R);
        }
    }
}

// The tetrahedral interpolation at 8 bits, on the same cells and packed grid.
void ApplyLut3DTetrahedralToRows(const TPackedGrid& grid, TBitmap24& bitmap, int y0, int y1,
                                 const TByteCells& cells) {
    const int w = bitmap.Width();
    const TLutColor* base = grid.nodes.data();
    const std::ptrdiff_t sr = grid.strideR, sg = grid.strideG;
    for (int y = y0; y < y1; ++y) {
        std::uint8_t* p = bitmap.ScanLine(y);
        for (int x = 0; x < w; ++x, p += 3) {
            const TLutColor* c000 = base + cells.offset[0][p[2]] + cells.offset[1][p[1]] + cells.offset[2][p[0]];
            const TLutColor c = TetrahedralCorners(c000, c000 + sg, c000 + sr, c000 + sr + sg, cells.frac[0][p[2]],
                                                   cells.frac[1][p[1]], cells.frac[2][p[0]]);
            p[0] = ToByte(c.B);
            p[1] = ToByte(c.G);
            p[2] = ToByte(c.R);
        }
    }
}

// ---- precise images ---------------------------------------------------------------------------

// One pixel's cell in a packed grid of (n + 1)^3 nodes, after the 1D curves when the LUT has them.
struct TPixelCell {
    std::ptrdiff_t Offset;
    double Fr, Fg, Fb;
};

inline TPixelCell PixelCell(const TLUT& lut, const float* p, int n, std::ptrdiff_t sr, std::ptrdiff_t sg) {
    TLutColor in{p[0], p[1], p[2]};
    if (lut.LutKind == lk1DThen3D) in = Interpolate1D(lut, in);  // not clamped
    int ir, ig, ib;
    TPixelCell c;
    Cell(n * in.R, n, ir, c.Fr);
    Cell(n * in.G, n, ig, c.Fg);
    Cell(n * in.B, n, ib, c.Fb);
    c.Offset = ir * sr + ig * sg + ib;
    return c;
}

inline void StoreUnit(float* p, const TLutColor& c) {
    p[0] = static_cast<float>(ClampUnit(c.R));
    p[1] = static_cast<float>(ClampUnit(c.G));
    p[2] = static_cast<float>(ClampUnit(c.B));
}

template <TLutInterpolation Interpolation>
void ApplyLut3DToImageRows(const TLUT& lut, const TPackedGrid& grid, int n, TPreciseImage& image, int y0, int y1) {
    const TLutColor* base = grid.nodes.data();
    const std::ptrdiff_t sr = grid.strideR, sg = grid.strideG;
    const int w = image.Width();
    for (int y = y0; y < y1; ++y) {
        float* p = image.Row(y);
        for (int x = 0; x < w; ++x, p += 3) {
            const TPixelCell cell = PixelCell(lut, p, n, sr, sg);
            const TLutColor* c000 = base + cell.Offset;
            StoreUnit(p, Interpolation == TLutInterpolation::Tetrahedral
                             ? TetrahedralCorners(c000, c000 + sg, c000 + sr, c000 + sr + sg, cell.Fr, cell.Fg, cell.Fb)
                             : TrilinearCorners(c000, c000 + sg, c000 + sr, c000 + sr + sg, cell.Fr, cell.Fg, cell.Fb));
        }
    }
}

#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__)
// The same interpolation with all three channels in one AVX2 register: each lane performs the
// scalar operations in the same order (no fused multiply-add), so the bytes written are those of
// ApplyLutToPixel.
#define TINTAVO_LUT_AVX2 1

// Runs during static initialisation, possibly before the compiler's own CPU detection.
const bool kLutHasAvx2 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}();
#endif

std::atomic<bool> lutVectorPathAllowed{true};

#if defined(TINTAVO_LUT_AVX2)

struct alignas(32) TNode4 {
    double v[4];  // R, G, B, 0
};

void PackGrid4(const TLUT& lut, int n, std::vector<TNode4>& nodes) {
    nodes.resize(static_cast<std::size_t>(n) * n * n);
    TNode4* out = nodes.data();
    for (int r = 0; r < n; ++r)
        for (int g = 0; g < n; ++g)
            for (int b = 0; b < n; ++b, ++out) {
                const TLutColor& c = lut.Table3D[r][g][b];
                *out = TNode4{{c.R, c.G, c.B, 0.0}};
            }
}

__attribute__((target("avx2"), always_inline)) inline __m256d Lerp4(__m256d a, __m256d b, __m256d f,
                                                                   __m256d oneMinusF) {
    return _mm256_add_pd(_mm256_mul_pd(oneMinusF, a), _mm256_mul_pd(f, b));
}

__attribute__((target("avx2"))) void ApplyLut3DToRowsAvx2(const TNode4* base, std::ptrdiff_t sr, std::ptrdiff_t sg,
                                                         TBitmap24& bitmap, int y0, int y1,
                                                         const TByteCells& cells) {
    const int w = bitmap.Width();
    const __m256d zero = _mm256_setzero_pd(), one = _mm256_set1_pd(1.0), scale = _mm256_set1_pd(255.0);
    for (int y = y0; y < y1; ++y) {
        std::uint8_t* p = bitmap.ScanLine(y);
        for (int x = 0; x < w; ++x, p += 3) {
            const double fr = cells.frac[0][p[2]], fg = cells.frac[1][p[1]], fb = cells.frac[2][p[0]];
            const TNode4* c000 = base + cells.offset[0][p[2]] + cells.offset[1][p[1]] + cells.offset[2][p[0]];
            const TNode4* c010 = c000 + sg;
            const TNode4* c100 = c000 + sr;
            const TNode4* c110 = c100 + sg;
            const __m256d vfb = _mm256_set1_pd(fb), vfb1 = _mm256_set1_pd(1.0 - fb);
            const __m256d vfg = _mm256_set1_pd(fg), vfg1 = _mm256_set1_pd(1.0 - fg);
            const __m256d vfr = _mm256_set1_pd(fr), vfr1 = _mm256_set1_pd(1.0 - fr);
            const __m256d s00 = Lerp4(_mm256_load_pd(c000[0].v), _mm256_load_pd(c000[1].v), vfb, vfb1);
            const __m256d s01 = Lerp4(_mm256_load_pd(c010[0].v), _mm256_load_pd(c010[1].v), vfb, vfb1);
            const __m256d s10 = Lerp4(_mm256_load_pd(c100[0].v), _mm256_load_pd(c100[1].v), vfb, vfb1);
            const __m256d s11 = Lerp4(_mm256_load_pd(c110[0].v), _mm256_load_pd(c110[1].v), vfb, vfb1);
            __m256d c = Lerp4(Lerp4(s00, s01, vfg, vfg1), Lerp4(s10, s11, vfg, vfg1), vfr, vfr1);
            // ClampUnit: below 0 or not a number -> 0, above 1 -> 1; then round half to even.
            c = _mm256_and_pd(c, _mm256_cmp_pd(c, zero, _CMP_GE_OQ));
            c = _mm256_min_pd(c, one);
            const __m128i bytes =
                _mm256_cvtpd_epi32(_mm256_round_pd(_mm256_mul_pd(scale, c), _MM_FROUND_CUR_DIRECTION));
            p[2] = static_cast<std::uint8_t>(_mm_cvtsi128_si32(bytes));
            p[1] = static_cast<std::uint8_t>(_mm_extract_epi32(bytes, 1));
            p[0] = static_cast<std::uint8_t>(_mm_extract_epi32(bytes, 2));
        }
    }
}
// The precise kernels with the three channels in one AVX2 register; each lane performs the
// scalar operations in the same order, so the floats stored are those of the scalar kernels.
template <TLutInterpolation Interpolation>
__attribute__((target("avx2"))) void ApplyLut3DToImageRowsAvx2(const TLUT& lut, const TNode4* base, int n,
                                                               std::ptrdiff_t sr, std::ptrdiff_t sg,
                                                               TPreciseImage& image, int y0, int y1) {
    const int w = image.Width();
    const __m256d zero = _mm256_setzero_pd(), one = _mm256_set1_pd(1.0);
    for (int y = y0; y < y1; ++y) {
        float* p = image.Row(y);
        for (int x = 0; x < w; ++x, p += 3) {
            const TPixelCell cell = PixelCell(lut, p, n, sr, sg);
            const TNode4* c000 = base + cell.Offset;
            const TNode4* c010 = c000 + sg;
            const TNode4* c100 = c000 + sr;
            const TNode4* c110 = c100 + sg;
            __m256d c;
            if constexpr (Interpolation == TLutInterpolation::Tetrahedral) {
                const double fr = cell.Fr, fg = cell.Fg, fb = cell.Fb;
                const TNode4 *b, *cc;
                double wa, wb, wc, wd;
                if (fr > fg) {
                    if (fg > fb) b = c100, cc = c110, wa = 1.0 - fr, wb = fr - fg, wc = fg - fb, wd = fb;
                    else if (fr > fb) b = c100, cc = c100 + 1, wa = 1.0 - fr, wb = fr - fb, wc = fb - fg, wd = fg;
                    else b = c000 + 1, cc = c100 + 1, wa = 1.0 - fb, wb = fb - fr, wc = fr - fg, wd = fg;
                } else {
                    if (fb > fg) b = c000 + 1, cc = c010 + 1, wa = 1.0 - fb, wb = fb - fg, wc = fg - fr, wd = fr;
                    else if (fb > fr) b = c010, cc = c010 + 1, wa = 1.0 - fg, wb = fg - fb, wc = fb - fr, wd = fr;
                    else b = c010, cc = c110, wa = 1.0 - fg, wb = fg - fr, wc = fr - fb, wd = fb;
                }
                c = _mm256_add_pd(_mm256_mul_pd(_mm256_set1_pd(wa), _mm256_load_pd(c000->v)),
                                  _mm256_mul_pd(_mm256_set1_pd(wb), _mm256_load_pd(b->v)));
                c = _mm256_add_pd(c, _mm256_mul_pd(_mm256_set1_pd(wc), _mm256_load_pd(cc->v)));
                c = _mm256_add_pd(c, _mm256_mul_pd(_mm256_set1_pd(wd), _mm256_load_pd(c110[1].v)));
            } else {
                const __m256d vfb = _mm256_set1_pd(cell.Fb), vfb1 = _mm256_set1_pd(1.0 - cell.Fb);
                const __m256d vfg = _mm256_set1_pd(cell.Fg), vfg1 = _mm256_set1_pd(1.0 - cell.Fg);
                const __m256d vfr = _mm256_set1_pd(cell.Fr), vfr1 = _mm256_set1_pd(1.0 - cell.Fr);
                const __m256d s00 = Lerp4(_mm256_load_pd(c000[0].v), _mm256_load_pd(c000[1].v), vfb, vfb1);
                const __m256d s01 = Lerp4(_mm256_load_pd(c010[0].v), _mm256_load_pd(c010[1].v), vfb, vfb1);
                const __m256d s10 = Lerp4(_mm256_load_pd(c100[0].v), _mm256_load_pd(c100[1].v), vfb, vfb1);
                const __m256d s11 = Lerp4(_mm256_load_pd(c110[0].v), _mm256_load_pd(c110[1].v), vfb, vfb1);
                c = Lerp4(Lerp4(s00, s01, vfg, vfg1), Lerp4(s10, s11, vfg, vfg1), vfr, vfr1);
            }
            // ClampUnit: below 0 or not a number -> 0, above 1 -> 1.
            c = _mm256_and_pd(c, _mm256_cmp_pd(c, zero, _CMP_GE_OQ));
            c = _mm256_min_pd(c, one);
            alignas(16) float out[4];
            _mm_store_ps(out, _mm256_cvtpd_ps(c));
            p[0] = out[0];
            p[1] = out[1];
            p[2] = out[2];
        }
    }
}
#endif


void ApplyGenericToRows(const TLUT& lut, TBitmap24& bitmap, int y0, int y1) {
    const int w = bitmap.Width();
    TPixelColor in, out;
    in.Bits = 8;
    out.Bits = 8;
    for (int y = y0; y < y1; ++y) {
        std::uint8_t* p = bitmap.ScanLine(y);
        for (int x = 0; x < w; ++x, p += 3) {
            in.R = p[2];
            in.G = p[1];
            in.B = p[0];
            ApplyLutToPixel(lut, in, out);
            p[0] = static_cast<std::uint8_t>(out.B);
            p[1] = static_cast<std::uint8_t>(out.G);
            p[2] = static_cast<std::uint8_t>(out.R);
        }
    }
}

// Runs body(y0, y1) over row strips on all cores. Each row is computed by exactly one thread
// with the same arithmetic, so the result does not depend on the number of threads.
template <class Body>
void ForEachRowStrip(int height, long long work, Body body) {
    TParallelOptions options;
    options.Work = work;
    ParallelFor(height, body, options);
}

}  // namespace

void AllowLutVectorPath(bool allowed) { lutVectorPathAllowed.store(allowed); }

TLutCell LutCell(int size, const TLutColor& input) {
    const int n = size - 1;
    TLutCell cell;
    Cell(n * input.R, n, cell.R, cell.FR);
    Cell(n * input.G, n, cell.G, cell.FG);
    Cell(n * input.B, n, cell.B, cell.FB);
    return cell;
}

TLutColor InterpolateCell(const TLutColor (&corners)[2][2][2], const TLutCell& cell) {
    return TrilinearCorners(corners[0][0], corners[0][1], corners[1][0], corners[1][1], cell.FR, cell.FG, cell.FB);
}

const char* InterpolationName(TLutInterpolation interpolation) {
    return interpolation == TLutInterpolation::Tetrahedral ? "tetrahedral" : "trilinear";
}

bool ParseInterpolation(const std::string& name, TLutInterpolation& interpolation) {
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    for (const TLutInterpolation candidate : {TLutInterpolation::Trilinear, TLutInterpolation::Tetrahedral})
        if (lower == InterpolationName(candidate)) {
            interpolation = candidate;
            return true;
        }
    return false;
}

TLutColor ApplyLut(const TLUT& lut, const TLutColor& input, TLutInterpolation interpolation) {
    switch (lut.LutKind) {
        case lk1D:
            return Interpolate1D(lut, input);
        case lk3D:
            return Interpolate3D(lut, input, interpolation);
        case lk1DThen3D:
            return Interpolate3D(lut, Interpolate1D(lut, input), interpolation);
        case lkPassThrough:
        default:
            return input;
    }
}

void ApplyLutToPixel(const TLUT& lut, const TPixelColor& input, TPixelColor& output) {
    const long double inScale = static_cast<long double>((1u << input.Bits) - 1u);
    TLutColor v{static_cast<double>(input.R / inScale), static_cast<double>(input.G / inScale),
                static_cast<double>(input.B / inScale)};
    const TLutColor r = ApplyLut(lut, v);
    const double outScale = static_cast<double>((1u << output.Bits) - 1u);
    output.R = static_cast<std::uint16_t>(std::nearbyint(outScale * ClampUnit(r.R)));
    output.G = static_cast<std::uint16_t>(std::nearbyint(outScale * ClampUnit(r.G)));
    output.B = static_cast<std::uint16_t>(std::nearbyint(outScale * ClampUnit(r.B)));
}

void ApplyLutToBitmap(const TLUT& lut, TBitmap24& bitmap, TLutInterpolation interpolation) {
    const int h = bitmap.Height();
    const long long work = static_cast<long long>(bitmap.Width()) * h;
    if (work == 0 || lut.LutKind == lkPassThrough) return;

    // Every channel of an 8-bit pixel takes one of 256 values, and the 1D curves treat the
    // channels independently, so whatever depends on one channel alone is worked out once per
    // byte value, with the arithmetic ApplyLutToPixel uses.
    auto byteInput = [](int v) {
        const double x = static_cast<double>(v / 255.0L);
        return TLutColor{x, x, x};
    };

    if (lut.LutKind == lk1D) {
        std::uint8_t out[3][256];
        for (int v = 0; v < 256; ++v) {
            const TLutColor c = Interpolate1D(lut, byteInput(v));
            out[0][v] = ToByte(c.R);
            out[1][v] = ToByte(c.G);
            out[2][v] = ToByte(c.B);
        }
        const int w = bitmap.Width();
        ForEachRowStrip(h, work, [&](int y0, int y1) {
            for (int y = y0; y < y1; ++y) {
                std::uint8_t* p = bitmap.ScanLine(y);
                for (int x = 0; x < w; ++x, p += 3) {
                    p[0] = out[2][p[0]];
                    p[1] = out[1][p[1]];
                    p[2] = out[0][p[2]];
                }
            }
        });
        return;
    }

    if ((lut.LutKind == lk3D || lut.LutKind == lk1DThen3D) && lut.Size3D >= 2) {
        const int n = std::min(lut.Size3D, MaxLut3DSize) - 1;
        TByteCells cells;
        const std::ptrdiff_t stride[3] = {static_cast<std::ptrdiff_t>(n + 1) * (n + 1), n + 1, 1};
        for (int v = 0; v < 256; ++v) {
            TLutColor in = byteInput(v);
            if (lut.LutKind == lk1DThen3D) in = Interpolate1D(lut, in);  // not clamped
            const double channel[3] = {in.R, in.G, in.B};
            for (int c = 0; c < 3; ++c) {
                int i;
                Cell(n * channel[c], n, i, cells.frac[c][v]);
                cells.offset[c][v] = i * stride[c];
            }
        }
        if (interpolation == TLutInterpolation::Tetrahedral) {
            TPackedGrid grid;
            PackGrid(lut, n + 1, grid);
            ForEachRowStrip(h, work, [&](int y0, int y1) { ApplyLut3DTetrahedralToRows(grid, bitmap, y0, y1, cells); });
            return;
        }
#if defined(TINTAVO_LUT_AVX2)
        if (kLutHasAvx2 && lutVectorPathAllowed.load(std::memory_order_relaxed)) {
            std::vector<TNode4> nodes;
            PackGrid4(lut, n + 1, nodes);
            ForEachRowStrip(h, work, [&](int y0, int y1) {
                ApplyLut3DToRowsAvx2(nodes.data(), stride[0], stride[1], bitmap, y0, y1, cells);
            });
            return;
        }
#endif
        TPackedGrid grid;
        PackGrid(lut, n + 1, grid);
        ForEachRowStrip(h, work, [&](int y0, int y1) { ApplyLut3DToRows(grid, bitmap, y0, y1, cells); });
        return;
    }
    ForEachRowStrip(h, work, [&](int y0, int y1) { ApplyGenericToRows(lut, bitmap, y0, y1); });
}

void ApplyLutToImage(const TLUT& lut, TPreciseImage& image, TLutInterpolation interpolation) {
    const int h = image.Height(), w = image.Width();
    const long long work = static_cast<long long>(w) * h * 40;
    if (image.Empty() || lut.LutKind == lkPassThrough) return;
    const bool uses3D = lut.LutKind == lk3D || lut.LutKind == lk1DThen3D;
    if (uses3D && lut.Size3D >= 2) {
        const int n = std::min(lut.Size3D, MaxLut3DSize) - 1;
        const bool tetrahedral = interpolation == TLutInterpolation::Tetrahedral;
#if defined(TINTAVO_LUT_AVX2)
        if (kLutHasAvx2 && lutVectorPathAllowed.load(std::memory_order_relaxed)) {
            std::vector<TNode4> nodes;
            PackGrid4(lut, n + 1, nodes);
            const std::ptrdiff_t sr = static_cast<std::ptrdiff_t>(n + 1) * (n + 1), sg = n + 1;
            ForEachRowStrip(h, work, [&](int y0, int y1) {
                if (tetrahedral)
                    ApplyLut3DToImageRowsAvx2<TLutInterpolation::Tetrahedral>(lut, nodes.data(), n, sr, sg, image, y0, y1);
                else
                    ApplyLut3DToImageRowsAvx2<TLutInterpolation::Trilinear>(lut, nodes.data(), n, sr, sg, image, y0, y1);
            });
            return;
        }
#endif
        TPackedGrid grid;
        PackGrid(lut, n + 1, grid);
        ForEachRowStrip(h, work, [&](int y0, int y1) {
            if (tetrahedral)
                ApplyLut3DToImageRows<TLutInterpolation::Tetrahedral>(lut, grid, n, image, y0, y1);
            else
                ApplyLut3DToImageRows<TLutInterpolation::Trilinear>(lut, grid, n, image, y0, y1);
        });
        return;
    }
    // 1D curves alone, and tables too small to interpolate.
    ForEachRowStrip(h, work, [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            float* p = image.Row(y);
            for (int x = 0; x < w; ++x, p += 3) StoreUnit(p, ApplyLut(lut, TLutColor{p[0], p[1], p[2]}, interpolation));
        }
    });
}

}  // namespace tintavo
