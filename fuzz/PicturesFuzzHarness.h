// The picture fuzz targets' common body: decoding arbitrary bytes, 8-bit and full precision;
// every input must either decode or raise EPictureError. fuzz_pictures takes the types our own
// decoders read (JPEG, BMP, PNG, TIFF), fuzz_pictures_deep the ones read through OpenImageIO
// (DPX, OpenEXR), so that each target spends its runs on its own decoders.
//
// The size limit is far lower than the program's so that each run stays short; the checks that
// guard it are the same code. One thread: the targets run many inputs, not large ones.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>

#include "common/Parallel.h"
#include "lut/ImageResize2.h"
#include "picture/Picture.h"
#include "picture/PictureCodecs.h"

namespace tintavo::fuzzharness {

constexpr long long PictureSizeLimit = 1 << 16;  // pixels
constexpr long long ResizedSizeLimit = 128 * 128;

inline void InitPictureTarget() { SetParallelThreadLimit(1); }

// Whether `data` is of one of `types` (by content, as the program tells them apart).
inline bool IsPictureOf(const std::uint8_t* data, std::size_t size, std::initializer_list<TPictureType> types) {
    const TPictureCodec* codec = SniffPictureCodec(data, size);
    if (!codec) return false;
    for (TPictureType type : types)
        if (codec->Type == type) return true;
    return false;
}

inline void FuzzPicture(const std::uint8_t* data, std::size_t size) {
    TBitmap24 out;
    try {
        LoadPictureFromMemory(data, size, "fuzz", out, PictureSizeLimit);
    } catch (const EPictureError&) {
        return;
    }
    // A decoded picture has a size and every row can be read.
    if (out.Empty()) std::abort();
    volatile unsigned sum = 0;
    for (int y = 0; y < out.Height(); ++y) sum = sum + out.ScanLine(y)[3 * out.Width() - 1];

    // The full-precision decoder reads the same picture, with every sample in 0..1, and rounds to
    // the same bytes.
    TPreciseImage precise;
    const TPictureInfo info = LoadPreciseImageFromMemory(data, size, "fuzz", precise, PictureSizeLimit);
    if (precise.Width() != out.Width() || precise.Height() != out.Height() || info.ClampedSamples < 0) std::abort();
    for (int y = 0; y < precise.Height(); ++y)
        for (std::ptrdiff_t i = 0; i < precise.RowFloats(); ++i)
            if (!(precise.Row(y)[i] >= 0.0f && precise.Row(y)[i] <= 1.0f)) std::abort();
    TBitmap24 rounded;
    PreciseToBitmap(precise, rounded);
    if (!rounded.SamePixels(out)) std::abort();

    // Small pictures also go through the resampler, to a size and filter taken from the input's
    // last bytes (enlarging, reducing, down to one pixel).
    if (static_cast<long long>(out.Width()) * out.Height() <= ResizedSizeLimit && size >= 3) {
        const int w = 1 + data[size - 1] % (2 * out.Width());
        const int h = 1 + data[size - 2] % (2 * out.Height());
        const auto filter = static_cast<TResizeFilter>(data[size - 3] % 7);
        TBitmap24 resized;
        ResizeBitmap(w, h, filter, 0.0f, out, resized);
        if (resized.Width() != w || resized.Height() != h) std::abort();
    }
}

}  // namespace tintavo::fuzzharness
