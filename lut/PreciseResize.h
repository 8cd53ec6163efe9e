// The resampling of ImageResize2 in floating point, for precise images: the same filters, the
// same contributor lists (mirrored edges, the first and last pixel centres coinciding), each
// target value the weighted sum divided by the entry's total weight, without the truncation to
// whole 8-bit levels. As in the 8-bit passes, each pass clamps its values to 0..1 (the Lanczos
// lobes can overshoot), and an entry whose weights total 0 divides by 256 instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "lut/ImageResize2.h"
#include "lut/PreciseImage.h"

namespace tintavo {

// Resampling of a picture that arrives in bands of rows, as TBandResampler does for 24-bit rows:
// each band goes through the horizontal pass as it arrives, Finish runs the vertical pass. The
// values do not depend on the number of threads or on how the rows are banded.
class TPreciseBandResampler {
public:
    // Every size must be at least 1.
    TPreciseBandResampler(TFilterFunction filter, float radius, int sourceWidth, int sourceHeight, int targetWidth,
                          int targetHeight);
    ~TPreciseBandResampler();
    TPreciseBandResampler(const TPreciseBandResampler&) = delete;
    TPreciseBandResampler& operator=(const TPreciseBandResampler&) = delete;

    // Source rows [firstRow, firstRow + count) of red, green, blue floats, `rowFloats` floats
    // apart. Several threads may add different rows at the same time.
    void AddRows(int firstRow, const float* rows, std::ptrdiff_t rowFloats, int count);
    // The same from 24-bit rows (blue, green, red bytes), each sample taken as v / 255.
    void AddByteRows(int firstRow, const std::uint8_t* rows, std::ptrdiff_t stride, int count);
    // After every source row was added: the vertical pass into `target`, sized here. Call once.
    void Finish(TPreciseImage& target);

private:
    struct TJob;
    std::unique_ptr<TJob> job_;
};

// Sizes `target` to newWidth x newHeight and resamples `source` into it; a radius of 0 means
// the filter's default. When the source or the target has no pixels, `target` is only sized.
void ResizePrecise(int newWidth, int newHeight, TResizeFilter filter, float radius, const TPreciseImage& source,
                   TPreciseImage& target);

// Turns the SSE kernel of the horizontal pass off (true) or back on; both give the same values.
void SetPreciseResampleScalarOnly(bool scalarOnly);

}  // namespace tintavo
