// Picture decoding on arbitrary bytes: every input must either decode or raise EPictureError.
// The size limit is lower than the program's so that each run stays short; the checks that
// guard it are the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

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
    return 0;
}
