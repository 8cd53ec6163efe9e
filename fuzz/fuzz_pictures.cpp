// Picture decoding on arbitrary bytes: every input must either decode or raise EPictureError.
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
        tintavo::LoadPictureFromMemory(data, size, "fuzz", out, 4'000'000);
    } catch (const tintavo::EPictureError&) {
        return 0;
    }
    // A decoded picture has a size and every row can be read.
    if (out.Empty()) std::abort();
    volatile unsigned sum = 0;
    for (int y = 0; y < out.Height(); ++y) sum = sum + out.ScanLine(y)[3 * out.Width() - 1];

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
