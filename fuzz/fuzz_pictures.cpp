// Picture decoding on arbitrary bytes, 8-bit and full precision: every input must either decode
// or raise EPictureError.
// The size limit is lower than the program's so that each run stays short; the checks that
// guard it are the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "lut/ImageResize2.h"
#include "picture/Picture.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tintavo::TBitmap24 out;
    try {
        tintavo::LoadPictureFromMemory(data, size, "fuzz", out, 1'000'000);
    } catch (const tintavo::EPictureError&) {
        return 0;
    }
    // A decoded picture has a size and every row can be read.
    if (out.Empty()) std::abort();
    volatile unsigned sum = 0;
    for (int y = 0; y < out.Height(); ++y) sum = sum + out.ScanLine(y)[3 * out.Width() - 1];

    // The full-precision decoder reads the same picture, with every sample in 0..1, and rounds to
    // the same bytes.
    tintavo::TPreciseImage precise;
    const tintavo::TPictureInfo info = tintavo::LoadPreciseImageFromMemory(data, size, "fuzz", precise, 1'000'000);
    if (precise.Width() != out.Width() || precise.Height() != out.Height() || info.ClampedSamples < 0) std::abort();
    for (int y = 0; y < precise.Height(); ++y)
        for (std::ptrdiff_t i = 0; i < precise.RowFloats(); ++i)
            if (!(precise.Row(y)[i] >= 0.0f && precise.Row(y)[i] <= 1.0f)) std::abort();
    tintavo::TBitmap24 rounded;
    tintavo::PreciseToBitmap(precise, rounded);
    if (!rounded.SamePixels(out)) std::abort();

    // Small pictures also go through the resampler, to a size and filter taken from the input's
    // last bytes (enlarging, reducing, down to one pixel).
    if (static_cast<long long>(out.Width()) * out.Height() <= 256 * 256 && size >= 3) {
        const int w = 1 + data[size - 1] % (2 * out.Width());
        const int h = 1 + data[size - 2] % (2 * out.Height());
        const auto filter = static_cast<tintavo::TResizeFilter>(data[size - 3] % 7);
        tintavo::TBitmap24 resized;
        tintavo::ResizeBitmap(w, h, filter, 0.0f, out, resized);
        if (resized.Width() != w || resized.Height() != h) std::abort();
    }
    return 0;
}
