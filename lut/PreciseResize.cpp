#include "lut/PreciseResize.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

#include "common/BufferPool.h"
#include "common/Errors.h"
#include "common/Parallel.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tintavo {

namespace {

std::atomic<bool> gPreciseScalarOnly{false};

// One target pixel along an axis: a run of source pixels and their weights, already divided by
// the entry's total (mirrored contributors folded onto the pixel they stand for).
struct TFloatEntry {
    int Start = 0;
    int Length = 0;
    std::size_t WeightOffset = 0;
};

struct TFloatTable {
    std::vector<TFloatEntry> Entries;
    std::vector<float> Weights;
};

float AxisScale(int from, int to) {
    // The first and the last pixel centres coincide (one pixel: the plain ratio).
    return (from == 1 || to == 1) ? static_cast<float>(to) / static_cast<float>(from)
                                  : static_cast<float>(to - 1) / static_cast<float>(from - 1);
}

void MakeFloatTable(int count, int sourceLength, TFilterFunction filter, float radius, TFloatTable& table) {
    TContributorList list;
    BuildContributorList(count, AxisScale(sourceLength, count), sourceLength, filter, radius, list);
    table.Entries.assign(list.size(), TFloatEntry{});
    table.Weights.clear();
    for (std::size_t i = 0; i < list.size(); ++i) {
        const TContributorEntry& e = list[i];
        TFloatEntry& d = table.Entries[i];
        d.WeightOffset = table.Weights.size();
        if (e.Count == 0) continue;
        int lo = e.Contributors[0].Pixel, hi = lo;
        std::int32_t total = 0;
        for (int k = 0; k < e.Count; ++k) {
            const TContributor& c = e.Contributors[static_cast<std::size_t>(k)];
            lo = std::min(lo, c.Pixel);
            hi = std::max(hi, c.Pixel);
            total += c.Weight;
        }
        d.Start = lo;
        d.Length = hi - lo + 1;
        std::vector<std::int32_t> folded(static_cast<std::size_t>(d.Length), 0);
        for (int k = 0; k < e.Count; ++k) {
            const TContributor& c = e.Contributors[static_cast<std::size_t>(k)];
            folded[static_cast<std::size_t>(c.Pixel - lo)] += c.Weight;
        }
        const double divisor = total != 0 ? total : 256.0;
        for (const std::int32_t w : folded) table.Weights.push_back(static_cast<float>(w / divisor));
    }
}

inline float ClampUnit(float v) {
    if (!(v >= 0.0f)) return 0.0f;  // below 0 or not a number
    return v > 1.0f ? 1.0f : v;
}

// One row through the horizontal pass. `line` holds the source row's red, green, blue floats and
// one float more, so that four floats can be read at every pixel.
void FilterLine(const TFloatTable& table, const float* line, float* out) {
    const float* weights = table.Weights.data();
#if defined(__SSE2__)
    if (!gPreciseScalarOnly.load(std::memory_order_relaxed)) {
        for (const TFloatEntry& d : table.Entries) {
            const float* w = weights + d.WeightOffset;
            const float* p = line + 3 * static_cast<std::ptrdiff_t>(d.Start);
            __m128 acc = _mm_setzero_ps();
            for (int k = 0; k < d.Length; ++k, p += 3) acc = _mm_add_ps(acc, _mm_mul_ps(_mm_set1_ps(w[k]), _mm_loadu_ps(p)));
            alignas(16) float v[4];
            _mm_store_ps(v, acc);
            out[0] = ClampUnit(v[0]);
            out[1] = ClampUnit(v[1]);
            out[2] = ClampUnit(v[2]);
            out += 3;
        }
        return;
    }
#endif
    // Each lane of the vector kernel does exactly these operations.
    for (const TFloatEntry& d : table.Entries) {
        const float* w = weights + d.WeightOffset;
        const float* p = line + 3 * static_cast<std::ptrdiff_t>(d.Start);
        float r = 0.0f, g = 0.0f, b = 0.0f;
        for (int k = 0; k < d.Length; ++k, p += 3) {
            r = r + w[k] * p[0];
            g = g + w[k] * p[1];
            b = b + w[k] * p[2];
        }
        out[0] = ClampUnit(r);
        out[1] = ClampUnit(g);
        out[2] = ClampUnit(b);
        out += 3;
    }
}

}  // namespace

struct TPreciseBandResampler::TJob : TResampleShape {
    TFloatTable Table;   // the horizontal one while rows arrive
    TPreciseImage Work;  // target width x source height: the horizontal pass's result
    std::atomic<long long> RowsAdded{0};
    // Line buffers for the threads that add rows, each used by one thread at a time.
    TBufferPool<std::vector<float>> Lines;

    std::vector<float> TakeLine() {
        return Lines.Take([&] { return std::vector<float>(3 * static_cast<std::size_t>(SourceWidth) + 1, 0.0f); });
    }
    void CheckRows(int firstRow, int count) const {
        TINTAVO_ASSERT(firstRow >= 0 && count >= 0 && firstRow + count <= SourceHeight, "PreciseResize",
                       "Rows outside the source");
    }
};

TPreciseBandResampler::TPreciseBandResampler(TFilterFunction filter, float radius, int sourceWidth, int sourceHeight,
                                             int targetWidth, int targetHeight)
    : job_(std::make_unique<TJob>()) {
    TINTAVO_ASSERT(sourceWidth > 0 && sourceHeight > 0 && targetWidth > 0 && targetHeight > 0, "PreciseResize",
                   "Empty resampling");
    TJob& j = *job_;
    static_cast<TResampleShape&>(j) = {filter, radius, sourceWidth, sourceHeight, targetWidth, targetHeight};
    MakeFloatTable(targetWidth, sourceWidth, filter, radius, j.Table);
    j.Work.SetSize(targetWidth, sourceHeight);
}

TPreciseBandResampler::~TPreciseBandResampler() = default;

void TPreciseBandResampler::AddRows(int firstRow, const float* rows, std::ptrdiff_t rowFloats, int count) {
    TJob& j = *job_;
    j.CheckRows(firstRow, count);
    std::vector<float> line = j.TakeLine();
    const std::size_t floats = 3 * static_cast<std::size_t>(j.SourceWidth);
    for (int i = 0; i < count; ++i) {
        std::copy_n(rows + i * rowFloats, floats, line.data());
        FilterLine(j.Table, line.data(), j.Work.Row(firstRow + i));
    }
    j.Lines.GiveBack(std::move(line));
    j.RowsAdded += count;
}

void TPreciseBandResampler::AddByteRows(int firstRow, const std::uint8_t* rows, std::ptrdiff_t stride, int count) {
    TJob& j = *job_;
    j.CheckRows(firstRow, count);
    float unit[256];
    for (int v = 0; v < 256; ++v) unit[v] = ByteToUnit(static_cast<std::uint8_t>(v));
    std::vector<float> line = j.TakeLine();
    for (int i = 0; i < count; ++i) {
        const std::uint8_t* s = rows + i * stride;
        float* d = line.data();
        for (int x = 0; x < j.SourceWidth; ++x, s += 3, d += 3) {
            d[0] = unit[s[2]];
            d[1] = unit[s[1]];
            d[2] = unit[s[0]];
        }
        FilterLine(j.Table, line.data(), j.Work.Row(firstRow + i));
    }
    j.Lines.GiveBack(std::move(line));
    j.RowsAdded += count;
}

void TPreciseBandResampler::Finish(TPreciseImage& target) {
    TJob& j = *job_;
    TINTAVO_ASSERT(j.RowsAdded == j.SourceHeight, "PreciseResize", "Rows missing");
    j.Lines.Clear();
    TFloatTable vertical;
    MakeFloatTable(j.TargetHeight, j.SourceHeight, j.Filter, j.Radius, vertical);
    j.Table = TFloatTable{};
    target.SetSize(j.TargetWidth, j.TargetHeight);
    const std::ptrdiff_t floats = target.RowFloats();
    TParallelOptions options;
    options.Work = static_cast<long long>(floats) * static_cast<long long>(vertical.Weights.size() + 1);
    // Each target row is a weighted sum of whole work rows: the inner loop runs along the row.
    ParallelFor(
        j.TargetHeight,
        [&](int y0, int y1) {
            for (int y = y0; y < y1; ++y) {
                const TFloatEntry& d = vertical.Entries[static_cast<std::size_t>(y)];
                const float* w = vertical.Weights.data() + d.WeightOffset;
                float* out = target.Row(y);
                std::fill_n(out, floats, 0.0f);
                for (int k = 0; k < d.Length; ++k) {
                    const float* in = j.Work.Row(d.Start + k);
                    const float wk = w[k];
                    for (std::ptrdiff_t x = 0; x < floats; ++x) out[x] = out[x] + wk * in[x];
                }
                for (std::ptrdiff_t x = 0; x < floats; ++x) out[x] = ClampUnit(out[x]);
            }
        },
        options);
    job_.reset();  // the memory of the job goes back now
}

void ResizePrecise(int newWidth, int newHeight, TResizeFilter filter, float radius, const TPreciseImage& source,
                   TPreciseImage& target) {
    TINTAVO_ASSERT(&source != &target, "PreciseResize", "Source and target must differ");
    target.SetSize(newWidth, newHeight);
    if (source.Empty() || target.Empty()) return;
    if (radius == 0.0f) radius = FilterDefaultRadius(filter);
    TPreciseBandResampler resampler(FilterFunction(filter), radius, source.Width(), source.Height(), newWidth,
                                    newHeight);
    const int h = source.Height();
    TParallelOptions options;
    options.MaxThreads = std::min(8, ParallelThreadLimit());
    options.Work = static_cast<long long>(source.Width()) * h * 40;
    ParallelFor(
        h, [&](int y0, int y1) { resampler.AddRows(y0, source.Row(y0), source.RowFloats(), y1 - y0); }, options);
    resampler.Finish(target);
}

void SetPreciseResampleScalarOnly(bool scalarOnly) { gPreciseScalarOnly.store(scalarOnly); }

}  // namespace tintavo
