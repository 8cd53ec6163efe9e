// TIFF through libtiff, reading and writing in memory.
//
// The usual layouts (one strip-organised plane of 8 or 16-bit RGB, gray or palette samples, top
// row first) are read scanline by scanline here, 16-bit samples at full precision (v / 65535);
// deep samples in other layouts (tiles, planes, float) go to OpenImageIO's TIFF reader, and the
// remaining 8-bit layouts (tiles, planar data, YCbCr, CMYK, bilevel, other orientations) through
// libtiff's RGBA reader. Only the first image of a multi-page file is read.

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>

#include <tiffio.h>

#include "picture/PictureCodecs.h"

namespace tintavo {

namespace {

struct TTiffMemory {
    const std::uint8_t* data = nullptr;  // reading
    std::vector<std::uint8_t>* output = nullptr;  // writing
    std::uint64_t size = 0;
    std::uint64_t position = 0;
    std::string error;
};

extern "C" tmsize_t TiffRead(thandle_t h, void* buf, tmsize_t n) {
    auto* m = static_cast<TTiffMemory*>(h);
    if (n <= 0 || m->position >= m->size) return 0;
    const std::uint64_t count = std::min<std::uint64_t>(static_cast<std::uint64_t>(n), m->size - m->position);
    const std::uint8_t* src = m->data ? m->data : m->output->data();
    std::memcpy(buf, src + m->position, count);
    m->position += count;
    return static_cast<tmsize_t>(count);
}

extern "C" tmsize_t TiffWrite(thandle_t h, void* buf, tmsize_t n) {
    auto* m = static_cast<TTiffMemory*>(h);
    if (!m->output || n < 0) return -1;
    try {
        const std::uint64_t end = m->position + static_cast<std::uint64_t>(n);
        if (m->output->size() < end) m->output->resize(end);
        std::memcpy(m->output->data() + m->position, buf, static_cast<std::size_t>(n));
        m->position = end;
        m->size = m->output->size();
    } catch (...) {
        return -1;  // no exception may cross libtiff's C frames
    }
    return n;
}

extern "C" toff_t TiffSeek(thandle_t h, toff_t offset, int whence) {
    auto* m = static_cast<TTiffMemory*>(h);
    std::uint64_t base = 0;
    if (whence == SEEK_CUR) base = m->position;
    else if (whence == SEEK_END) base = m->size;
    const std::uint64_t target = base + offset;
    if (target > (std::uint64_t(1) << 40)) return static_cast<toff_t>(-1);
    m->position = target;
    return target;
}

extern "C" int TiffClose(thandle_t) { return 0; }

extern "C" toff_t TiffSize(thandle_t h) { return static_cast<TTiffMemory*>(h)->size; }

extern "C" int TiffMap(thandle_t, void**, toff_t*) { return 0; }

extern "C" void TiffUnmap(thandle_t, void*, toff_t) {}

extern "C" int TiffErrorHandler(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
    auto* m = static_cast<TTiffMemory*>(user);
    if (m->error.empty()) {  // the first error is the cause, later ones follow from it
        char text[512];
        std::vsnprintf(text, sizeof text, fmt, ap);
        m->error = text;
        (void)module;
    }
    return 1;  // handled: nothing is printed
}

extern "C" int TiffWarningHandler(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TTiffCloser {
    void operator()(TIFF* t) const { TIFFClose(t); }
};
using TTiffPtr = std::unique_ptr<TIFF, TTiffCloser>;

struct TOptionsFreer {
    void operator()(TIFFOpenOptions* o) const { TIFFOpenOptionsFree(o); }
};

TTiffPtr OpenTiff(TTiffMemory& memory, const std::string& name, const char* mode) {
    std::unique_ptr<TIFFOpenOptions, TOptionsFreer> options(TIFFOpenOptionsAlloc());
    // No single allocation of libtiff may exceed what the largest accepted picture needs.
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), 1024 * 1024 * 1024);
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), TiffErrorHandler, &memory);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), TiffWarningHandler, &memory);
    return TTiffPtr(TIFFClientOpenExt(name.c_str(), mode, &memory, TiffRead, TiffWrite, TiffSeek, TiffClose,
                                      TiffSize, TiffMap, TiffUnmap, options.get()));
}

std::string Reason(const TTiffMemory& m, const char* fallback) { return m.error.empty() ? fallback : m.error; }

}  // namespace

bool SniffTiff(const std::uint8_t* data, std::size_t size) {
    return size >= 4 && (std::memcmp(data, "II*\0", 4) == 0 || std::memcmp(data, "MM\0*", 4) == 0 ||
                         std::memcmp(data, "II+\0", 4) == 0 || std::memcmp(data, "MM\0+", 4) == 0);
}

void DecodeTiff(const std::uint8_t* data, std::size_t size, const std::string& name, long long maxPixels,
                TPictureRowSink& sink) {
    TTiffMemory memory;
    memory.data = data;
    memory.size = size;
    TTiffPtr tif = OpenTiff(memory, name, "r");
    if (!tif) FailPicture(name, Reason(memory, "Invalid TIFF file"));

    std::uint32_t width = 0, height = 0;
    if (!TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width) || !TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height))
        FailPicture(name, "TIFF image size missing");
    CheckPictureSize(name, width, height, maxPixels);

    std::uint16_t samples = 1, bits = 1, planar = PLANARCONFIG_CONTIG, format = SAMPLEFORMAT_UINT;
    std::uint16_t orientation = ORIENTATION_TOPLEFT, photometric = 0xFFFF;
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_ORIENTATION, &orientation);
    TIFFGetField(tif.get(), TIFFTAG_PHOTOMETRIC, &photometric);

    const bool layoutOk = !TIFFIsTiled(tif.get()) && planar == PLANARCONFIG_CONTIG && format == SAMPLEFORMAT_UINT &&
                          orientation == ORIENTATION_TOPLEFT && samples >= 1 && samples <= 8;
    const bool rgb = photometric == PHOTOMETRIC_RGB && samples >= 3 && (bits == 8 || bits == 16);
    const bool gray = (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE) &&
                      (bits == 8 || bits == 16);
    const bool palette = photometric == PHOTOMETRIC_PALETTE && samples == 1 &&
                         (bits == 1 || bits == 2 || bits == 4 || bits == 8);

    if (layoutOk && (rgb || gray || palette)) {
        std::uint8_t map[256][3] = {};  // B, G, R
        if (palette) {
            std::uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
            if (!TIFFGetField(tif.get(), TIFFTAG_COLORMAP, &r, &g, &b)) FailPicture(name, "TIFF palette missing");
            const int n = 1 << bits;
            // Some old writers store 8-bit values in the 16-bit colour map.
            bool eightBit = true;
            for (int i = 0; i < n; ++i)
                if (r[i] > 255 || g[i] > 255 || b[i] > 255) eightBit = false;
            for (int i = 0; i < n; ++i) {
                map[i][0] = eightBit ? static_cast<std::uint8_t>(b[i]) : Scale16To8(b[i]);
                map[i][1] = eightBit ? static_cast<std::uint8_t>(g[i]) : Scale16To8(g[i]);
                map[i][2] = eightBit ? static_cast<std::uint8_t>(r[i]) : Scale16To8(r[i]);
            }
        }
        const tmsize_t lineBytes = TIFFScanlineSize(tif.get());
        const std::uint64_t expected = (static_cast<std::uint64_t>(width) * samples * bits + 7) / 8;
        if (lineBytes <= 0 || static_cast<std::uint64_t>(lineBytes) < expected)
            FailPicture(name, Reason(memory, "Invalid TIFF scanline size"));
        std::vector<std::uint8_t> line(static_cast<std::size_t>(lineBytes));
        const bool deep = bits == 16 && !palette;
        sink.Start(RowsInfo(static_cast<int>(width), static_cast<int>(height), deep ? 16 : 8));
        const bool invert = photometric == PHOTOMETRIC_MINISWHITE;
        for (std::uint32_t y = 0; y < height; ++y) {
            if (TIFFReadScanline(tif.get(), line.data(), y, 0) < 0)
                FailPicture(name, Reason(memory, "Cannot read TIFF scanline"));
            const TPictureRowSink::TRoom room = sink.Room(static_cast<int>(y), 1);
            std::uint8_t* dst = room.Rows;
            if (deep) {
                const auto* s = reinterpret_cast<const std::uint16_t*>(line.data());
                float* out = FloatRow(room, 0);
                for (std::uint32_t x = 0; x < width; ++x, out += 3, s += samples) {
                    if (rgb) {
                        out[0] = UnsignedToUnit(s[0], 16);
                        out[1] = UnsignedToUnit(s[1], 16);
                        out[2] = UnsignedToUnit(s[2], 16);
                    } else {
                        out[0] = out[1] = out[2] = UnsignedToUnit(invert ? 65535u - s[0] : s[0], 16);
                    }
                }
            } else if (palette) {
                const unsigned perByte = 8 / bits, mask = (1u << bits) - 1;
                for (std::uint32_t x = 0; x < width; ++x, dst += 3) {
                    const unsigned shift = 8 - bits * (x % perByte + 1);
                    std::memcpy(dst, map[(line[x / perByte] >> shift) & mask], 3);
                }
            } else if (bits == 8) {
                const std::uint8_t* s = line.data();
                for (std::uint32_t x = 0; x < width; ++x, dst += 3, s += samples) {
                    if (rgb) {
                        dst[0] = s[2];
                        dst[1] = s[1];
                        dst[2] = s[0];
                    } else {
                        const std::uint8_t v = invert ? static_cast<std::uint8_t>(255 - s[0]) : s[0];
                        dst[0] = dst[1] = dst[2] = v;
                    }
                }
            } else {
                const auto* s = reinterpret_cast<const std::uint16_t*>(line.data());
                for (std::uint32_t x = 0; x < width; ++x, dst += 3, s += samples) {
                    if (rgb) {
                        dst[0] = Scale16To8(s[2]);
                        dst[1] = Scale16To8(s[1]);
                        dst[2] = Scale16To8(s[0]);
                    } else {
                        const std::uint8_t v = Scale16To8(invert ? 65535u - s[0] : s[0]);
                        dst[0] = dst[1] = dst[2] = v;
                    }
                }
            }
            sink.Filled(static_cast<int>(y), 1);
        }
        return;
    }

    // Deep samples in the other layouts (tiles, planes, float samples) are read by OpenImageIO,
    // whose TIFF reader keeps their precision.
    if (bits > 8 || format == SAMPLEFORMAT_IEEEFP) {
        tif.reset();
        DecodeWithOiio("tiff", data, size, name, maxPixels, sink);
        return;
    }
    char message[1024] = "";
    if (!TIFFRGBAImageOK(tif.get(), message)) FailPicture(name, message[0] ? message : "Unsupported TIFF layout");
    std::vector<std::uint32_t> raster(static_cast<std::size_t>(width) * height);
    if (!TIFFReadRGBAImageOriented(tif.get(), width, height, raster.data(), ORIENTATION_TOPLEFT, 1))
        FailPicture(name, Reason(memory, "Cannot read TIFF image"));
    sink.Start(RowsInfo(static_cast<int>(width), static_cast<int>(height)));
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint32_t* s = raster.data() + static_cast<std::size_t>(y) * width;
        std::uint8_t* dst = sink.Room(static_cast<int>(y), 1).Rows;
        for (std::uint32_t x = 0; x < width; ++x, dst += 3) {
            dst[0] = static_cast<std::uint8_t>(TIFFGetB(s[x]));
            dst[1] = static_cast<std::uint8_t>(TIFFGetG(s[x]));
            dst[2] = static_cast<std::uint8_t>(TIFFGetR(s[x]));
        }
        sink.Filled(static_cast<int>(y), 1);
    }
}

std::vector<std::uint8_t> EncodeTiff(const TBitmap24& bitmap, const TPictureSaveOptions&, const std::string& name) {
    std::vector<std::uint8_t> bytes;
    TTiffMemory memory;
    memory.output = &bytes;
    {
        TTiffPtr tif = OpenTiff(memory, name, "w");
        if (!tif) FailPictureWrite(name, Reason(memory, "Cannot create TIFF"));
        const int w = bitmap.Width(), h = bitmap.Height();
        TIFFSetField(tif.get(), TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(w));
        TIFFSetField(tif.get(), TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(h));
        TIFFSetField(tif.get(), TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(tif.get(), TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif.get(), TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(tif.get(), TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif.get(), TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
        TIFFSetField(tif.get(), TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
        TIFFSetField(tif.get(), TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
        TIFFSetField(tif.get(), TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif.get(), 0));
        std::vector<std::uint8_t> line(3 * static_cast<std::size_t>(w));
        for (int y = 0; y < h; ++y) {
            const std::uint8_t* s = bitmap.ScanLine(y);
            for (int x = 0; x < w; ++x) {
                line[3 * x] = s[3 * x + 2];
                line[3 * x + 1] = s[3 * x + 1];
                line[3 * x + 2] = s[3 * x];
            }
            if (TIFFWriteScanline(tif.get(), line.data(), static_cast<std::uint32_t>(y), 0) < 0)
                FailPictureWrite(name, Reason(memory, "Cannot write TIFF scanline"));
        }
        if (!TIFFWriteDirectory(tif.get())) FailPictureWrite(name, Reason(memory, "Cannot write TIFF directory"));
    }  // TIFFClose flushes
    if (!memory.error.empty()) FailPictureWrite(name, memory.error);
    return bytes;
}

}  // namespace tintavo
