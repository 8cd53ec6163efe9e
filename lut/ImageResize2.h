// Separable filtered resampling of 24-bit bitmaps, and the aspect-preserving fit of a size
// into a box.
//
// Resampling runs in two passes, horizontal then vertical, with integer weights computed once
// per axis. The first and the last pixel centres of source and target coincide. Pixels beyond
// an edge are taken from the mirror image inside it: at the low end the edge pixel is not
// repeated (-1 -> 1), at the high end it is (len -> len - 1).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "lut/Bitmap.h"

namespace tintavo {

enum TResizeFilter {
    rfBox = 0,
    rfTriangle = 1,
    rfHermite = 2,
    rfBell = 3,
    rfBSpline = 4,
    rfLanczos3 = 5,
    rfMitchell = 6,
};

// Fits (srcWidth x srcHeight) into (boxWidth x boxHeight) keeping the aspect; never enlarges.
void FitSize(int srcWidth, int srcHeight, int boxWidth, int boxHeight, int& newWidth, int& newHeight);

// Sizes `target` to newWidth x newHeight and resamples `source` into it. A radius of exactly 0
// means the filter's default radius. `source` and `target` must be different objects.
void ResizeBitmap(int newWidth, int newHeight, TResizeFilter filter, float radius,
                  const TBitmap24& source, TBitmap24& target);

// A filter: the weight of a source pixel at (already scaled) distance x. Single precision
// throughout, so that the integer weights are the same on every machine.
using TFilterFunction = float (*)(float x);

float BoxFilter(float x);
float TriangleFilter(float x);
float HermiteFilter(float x);
float BellFilter(float x);
float BSplineFilter(float x);
float Lanczos3Filter(float x);
float MitchellFilter(float x);

TFilterFunction FilterFunction(TResizeFilter filter);
float FilterDefaultRadius(TResizeFilter filter);

// One source pixel's share of a target pixel: the filter weight times 256, rounded, and the
// source index along the axis, already mirrored into range.
struct TContributor {
    std::int32_t Weight;
    std::int32_t Pixel;
};
using TContributors = std::vector<TContributor>;

struct TContributorEntry {
    std::int32_t Count = 0;  // contributors in use
    TContributors Contributors;
};
// One entry per target pixel along the axis.
using TContributorList = std::vector<TContributorEntry>;

// Mirrors index j into 0..len-1 (see above).
int MirrorPixel(int j, int len);

// Builds the contributors of `count` target pixels along one axis of `sourceLength` pixels
// for the scale `scale` (target spacing over source spacing) and the filter's radius.
void BuildContributorList(int count, float scale, int sourceLength, TFilterFunction filter, float radius,
                          TContributorList& list);

// The weighted sum of one target channel value: sum / total truncated toward zero, or the
// unsigned sum shifted right by 8 when the weights total 0; clamped to 0..255.
std::uint8_t WeightedChannelValue(std::int32_t sum, std::int32_t total);

// Two-pass resampling of `source` into the already sized `target`. Does nothing when either
// has a zero dimension. The passes run on up to ParallelThreadLimit() threads; the bytes do not
// depend on the number.
void ResampleBitmap(TFilterFunction filter, const TBitmap24& source, TBitmap24& target, float radius);

// What a band resampler (8-bit or precise) works with: the filter and the two sizes.
struct TResampleShape {
    TFilterFunction Filter;
    float Radius;
    int SourceWidth, SourceHeight, TargetWidth, TargetHeight;
};

// Resampling of a picture that arrives in bands of rows, so that the whole source need never be
// in memory at once: each band goes through the horizontal pass as it arrives, into an
// intermediate picture of the target's width and the source's height, and Finish runs the
// vertical pass. The bytes are those of ResampleBitmap, which is this with the whole source at
// once. All memory of the job is given back when Finish returns.
class TBandResampler {
public:
    // Every size must be at least 1.
    TBandResampler(TFilterFunction filter, float radius, int sourceWidth, int sourceHeight, int targetWidth,
                   int targetHeight);
    ~TBandResampler();
    TBandResampler(const TBandResampler&) = delete;
    TBandResampler& operator=(const TBandResampler&) = delete;

    // Source rows [firstRow, firstRow + count), `stride` bytes apart, through the horizontal pass
    // on the calling thread. Several threads may add different rows at the same time.
    void AddRows(int firstRow, const std::uint8_t* rows, std::ptrdiff_t stride, int count);
    // The whole source at once, split over the threads.
    void AddAllRows(const TBitmap24& source);
    // After every source row was added: the vertical pass into `target`, already sized to the
    // target size. Call once.
    void Finish(TBitmap24& target);

private:
    struct TJob;
    std::unique_ptr<TJob> job_;
};

// Turns the AVX2 kernels off (true) or back on where the processor has them. The scalar and the
// vector kernels give the same bytes; tests compare them.
void SetResampleScalarOnly(bool scalarOnly);

}  // namespace tintavo
