// PNG through libpng.
//
// 16-bit pictures are decoded at full precision (rows of floats, each sample v / 65535); the
// others as 8-bit rows.
//
// libpng reports errors by longjmp to png_jmpbuf; as with JPEG, the functions that call setjmp
// (RunDecoder/RunEncoder) hold no C++ objects with destructors. Palette, gray and low bit depths
// are expanded to 8-bit RGB by libpng, and alpha is dropped.

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <png.h>

#include "picture/PictureCodecs.h"

namespace tintavo {

namespace {

struct TPngContext {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t position = 0;
    std::vector<std::uint8_t>* output = nullptr;
    char message[256] = "Invalid PNG data";
    png_uint_32 width = 0, height = 0;
};

extern "C" void PngError(png_structp png, png_const_charp message) {
    auto* ctx = static_cast<TPngContext*>(png_get_error_ptr(png));
    std::snprintf(ctx->message, sizeof ctx->message, "%s", message);
    png_longjmp(png, 1);
}

extern "C" void PngWarning(png_structp, png_const_charp) {}

extern "C" void PngRead(png_structp png, png_bytep out, png_size_t count) {
    auto* ctx = static_cast<TPngContext*>(png_get_io_ptr(png));
    if (count > ctx->size - ctx->position) png_error(png, "Premature end of PNG file");
    std::memcpy(out, ctx->data + ctx->position, count);
    ctx->position += count;
}

extern "C" void PngWrite(png_structp png, png_bytep in, png_size_t count) {
    auto* ctx = static_cast<TPngContext*>(png_get_io_ptr(png));
    bool failed = false;
    try {
        ctx->output->insert(ctx->output->end(), in, in + count);
    } catch (...) {
        failed = true;  // no exception may cross libpng's C frames
    }
    if (failed) png_error(png, "Out of memory");
}

extern "C" void PngFlush(png_structp) {}

bool HostIsLittleEndian() {
    const std::uint16_t one = 1;
    std::uint8_t first;
    std::memcpy(&first, &one, 1);
    return first == 1;
}

// A row of 16-bit red, green, blue samples at the start of `row` becomes its floats, in place:
// from the last sample back, so that no sample is overwritten before it is read.
void Widen16(float* row, int width) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(row);
    for (std::ptrdiff_t i = 3 * static_cast<std::ptrdiff_t>(width) - 1; i >= 0; --i) {
        std::uint16_t v;
        std::memcpy(&v, bytes + 2 * i, 2);
        row[i] = UnsignedToUnit(v, 16);
    }
}

// 0: libpng error (ctx.message), 1: done, 2: too large (ctx.width/height). An exception from the
// sink passes through to the caller, which destroys the decoder. `interlaced` holds the whole
// picture of an interlaced file, whose rows are final only after the last pass.
int RunDecoder(png_structp png, png_infop info, TPngContext& ctx, long long maxPixels, TPictureRowSink& sink,
               TBitmap24& interlaced, TPreciseImage& interlacedDeep) {
    if (setjmp(png_jmpbuf(png))) return 0;
    png_set_read_fn(png, &ctx, PngRead);
    png_read_info(png, info);
    ctx.width = png_get_image_width(png, info);
    ctx.height = png_get_image_height(png, info);
    if (static_cast<long long>(ctx.width) * ctx.height > maxPixels) return 2;

    const int colorType = png_get_color_type(png, info);
    const bool deep = png_get_bit_depth(png, info) == 16;
    png_set_expand(png);  // palette -> RGB, gray < 8 bits -> 8 bits, tRNS -> alpha
    if (!deep) png_set_scale_16(png);
    png_set_strip_alpha(png);
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    if (deep) {
        if (HostIsLittleEndian()) png_set_swap(png);
    } else {
        png_set_bgr(png);
    }
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_channels(png, info) != 3 || png_get_bit_depth(png, info) != (deep ? 16 : 8)) {
        std::snprintf(ctx.message, sizeof ctx.message, "Unsupported PNG layout");
        return 0;
    }

    const int width = static_cast<int>(ctx.width), height = static_cast<int>(ctx.height);
    sink.Start(RowsInfo(width, height, deep ? 16 : 8));
    if (passes == 1) {
        for (int y = 0; y < height;) {
            const TPictureRowSink::TRoom room = sink.Room(y, height - y);
            for (int i = 0; i < room.Count; ++i) {
                png_read_row(png, room.Rows + i * room.Stride, nullptr);
                if (deep) Widen16(FloatRow(room, i), width);
            }
            sink.Filled(y, room.Count);
            y += room.Count;
        }
    } else if (deep) {
        // Each row is read into the first half of its float row, once per pass, and widened at
        // the end.
        interlacedDeep.SetSize(width, height);
        for (int pass = 0; pass < passes; ++pass)
            for (int y = 0; y < height; ++y) png_read_row(png, reinterpret_cast<png_bytep>(interlacedDeep.Row(y)), nullptr);
        for (int y = 0; y < height; ++y) Widen16(interlacedDeep.Row(y), width);
    } else {
        // An interlaced file delivers each row once per pass, and libpng fills in that pass's
        // pixels only.
        interlaced.SetSize(width, height);
        for (int pass = 0; pass < passes; ++pass)
            for (int y = 0; y < height; ++y) png_read_row(png, interlaced.ScanLine(y), nullptr);
    }
    png_read_end(png, nullptr);
    return 1;
}

int RunEncoder(png_structp png, png_infop info, const TBitmap24& bitmap) {
    if (setjmp(png_jmpbuf(png))) return 0;
    png_set_IHDR(png, info, static_cast<png_uint_32>(bitmap.Width()), static_cast<png_uint_32>(bitmap.Height()), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_set_bgr(png);
    for (int y = 0; y < bitmap.Height(); ++y) png_write_row(png, const_cast<png_bytep>(bitmap.ScanLine(y)));
    png_write_end(png, nullptr);
    return 1;
}

}  // namespace

bool SniffPng(const std::uint8_t* data, std::size_t size) {
    return size >= 8 && std::memcmp(data, "\x89PNG\r\n\x1A\n", 8) == 0;
}

void DecodePng(const std::uint8_t* data, std::size_t size, const std::string& name, long long maxPixels,
               TPictureRowSink& sink) {
    TPngContext ctx;
    ctx.data = data;
    ctx.size = size;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &ctx, PngError, PngWarning);
    if (!png) FailPicture(name, "Out of memory");
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        FailPicture(name, "Out of memory");
    }
    // Header limits before any row is allocated; ancillary chunks (text, ICC profiles) are
    // capped so that a small file cannot make libpng inflate gigabytes.
    png_set_user_limits(png, 0x7FFFFFFF, 0x7FFFFFFF);
    png_set_chunk_malloc_max(png, 16 * 1024 * 1024);
    png_set_chunk_cache_max(png, 1000);
    int result = 0;
    TBitmap24 interlaced;
    TPreciseImage interlacedDeep;
    try {
        result = RunDecoder(png, info, ctx, maxPixels, sink, interlaced, interlacedDeep);
    } catch (...) {  // from the sink (out of memory for the rows): libpng's own memory must still go
        png_destroy_read_struct(&png, &info, nullptr);
        throw;
    }
    png_destroy_read_struct(&png, &info, nullptr);
    if (result == 2) CheckPictureSize(name, ctx.width, ctx.height, maxPixels);
    if (result != 1) FailPicture(name, ctx.message);
    if (!interlaced.Empty()) PourRows(interlaced, sink);
    if (!interlacedDeep.Empty()) PourRows(interlacedDeep, sink);
}

std::vector<std::uint8_t> EncodePng(const TBitmap24& bitmap, const TPictureSaveOptions&, const std::string& name) {
    std::vector<std::uint8_t> bytes;
    TPngContext ctx;
    ctx.output = &bytes;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &ctx, PngError, PngWarning);
    if (!png) FailPictureWrite(name, "Out of memory");
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        FailPictureWrite(name, "Out of memory");
    }
    png_set_write_fn(png, &ctx, PngWrite, PngFlush);
    const int result = RunEncoder(png, info, bitmap);
    png_destroy_write_struct(&png, &info);
    if (result != 1) FailPictureWrite(name, ctx.message);
    return bytes;
}

}  // namespace tintavo
