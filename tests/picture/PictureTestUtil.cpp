#include "PictureTestUtil.h"

#include <gtest/gtest.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>
#include <atomic>
#include <iterator>

namespace picture_test {

std::filesystem::path TempFolder(const std::string& testName) {
    const std::filesystem::path dir = std::filesystem::path(TINTAVO_BINARY_DIR) / "test-output" / "picture" / testName;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

void WriteBytes(const std::filesystem::path& file, const Bytes& bytes) {
    std::ofstream f(file, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes EncodeJpeg(int width, int height, int components, const Bytes& pixels, int quality, bool progressive,
                 bool adobeMarker) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);  // test inputs are valid: the default handler is fine
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    if (components == 4) {
        jpeg_set_colorspace(&cinfo, JCS_CMYK);
        cinfo.write_Adobe_marker = adobeMarker ? TRUE : FALSE;
    }
    if (progressive) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(pixels.data() + cinfo.next_scanline * width * components);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Bytes out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

Bytes EncodeJpegWithManyScans(int width, int height, int refinements) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    std::vector<jpeg_scan_info> scans;
    scans.push_back({3, {0, 1, 2, 0}, 0, 0, 0, 0});
    for (int c = 0; c < 3; ++c)
        for (int k = 1; k < 64; ++k) {
            scans.push_back({1, {c, 0, 0, 0}, k, k, 0, refinements - 1});
            for (int al = refinements - 2; al >= 0; --al) scans.push_back({1, {c, 0, 0, 0}, k, k, al + 1, al});
        }
    cinfo.scan_info = scans.data();
    cinfo.num_scans = static_cast<int>(scans.size());
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<std::uint8_t> row(3 * width, 90);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&cinfo, &r, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Bytes out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

namespace {
void PngWriteFn(png_structp png, png_bytep data, png_size_t n) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}
void PngFlushFn(png_structp) {}
}  // namespace

Bytes EncodePng(int width, int height, int colorType, int bitDepth, const std::vector<Bytes>& rows,
                const std::vector<std::uint8_t>& paletteRgb, bool interlaced) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        ADD_FAILURE() << "libpng failed while writing a test file";
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &out, PngWriteFn, PngFlushFn);
    png_set_IHDR(png, info, width, height, bitDepth, colorType,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette;
    for (std::size_t i = 0; i + 2 < paletteRgb.size(); i += 3)
        palette.push_back({paletteRgb[i], paletteRgb[i + 1], paletteRgb[i + 2]});
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    std::vector<png_bytep> rowPointers;
    for (const Bytes& r : rows) rowPointers.push_back(const_cast<png_bytep>(r.data()));
    png_set_rows(png, info, rowPointers.data());
    png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

Bytes EncodeTiff(const TiffLayout& layout, const Bytes& samples) {
    static std::atomic<int> counter{0};
    const std::filesystem::path dir = std::filesystem::path(TINTAVO_BINARY_DIR) / "test-output" / "picture";
    std::filesystem::create_directories(dir);
    const std::filesystem::path file = dir / ("encoded-" + std::to_string(counter++) + ".tif");
    TIFF* tif = TIFFOpen(file.c_str(), "w");
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, layout.width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, layout.height);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, layout.samples);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, layout.bits);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, layout.photometric);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    if (layout.samples == 4 && layout.photometric == PHOTOMETRIC_RGB) {
        const std::uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
    }
    if (!layout.colormap.empty()) {
        const std::size_t n = layout.colormap.size() / 3;
        TIFFSetField(tif, TIFFTAG_COLORMAP, layout.colormap.data(), layout.colormap.data() + n,
                     layout.colormap.data() + 2 * n);
    }
    const std::size_t lineBytes = (static_cast<std::size_t>(layout.width) * layout.samples * layout.bits + 7) / 8;
    if (layout.tiled) {
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, 16);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, 16);
        const std::size_t pixelBytes = layout.samples * layout.bits / 8;
        std::vector<std::uint8_t> tile(16 * 16 * pixelBytes);
        for (int ty = 0; ty < layout.height; ty += 16)
            for (int tx = 0; tx < layout.width; tx += 16) {
                std::fill(tile.begin(), tile.end(), 0);
                for (int y = 0; y < 16 && ty + y < layout.height; ++y)
                    for (int x = 0; x < 16 && tx + x < layout.width; ++x)
                        std::memcpy(&tile[(y * 16 + x) * pixelBytes],
                                    &samples[(ty + y) * lineBytes + (tx + x) * pixelBytes], pixelBytes);
                TIFFWriteTile(tif, tile.data(), tx, ty, 0, 0);
            }
    } else {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 2);
        for (int y = 0; y < layout.height; ++y)
            TIFFWriteScanline(tif, const_cast<std::uint8_t*>(samples.data() + y * lineBytes), y, 0);
    }
    TIFFClose(tif);
    std::ifstream in(file, std::ios::binary);
    Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::filesystem::remove(file);
    return bytes;
}

Bytes MakeBmp(int width, int height, int bitCount, std::uint32_t compression, const Bytes& extra, const Bytes& rows,
              std::uint32_t headerSize, std::uint32_t colorsUsed) {
    LeWriter w;
    const std::uint32_t offset = 14 + headerSize + static_cast<std::uint32_t>(extra.size());
    w.U8('B');
    w.U8('M');
    w.U32(offset + static_cast<std::uint32_t>(rows.size()));
    w.U32(0);
    w.U32(offset);
    w.U32(headerSize);
    if (headerSize == 12) {
        w.U16(width);
        w.U16(height);
        w.U16(1);
        w.U16(bitCount);
    } else {
        w.U32(static_cast<std::uint32_t>(width));
        w.U32(static_cast<std::uint32_t>(height));
        w.U16(1);
        w.U16(bitCount);
        w.U32(compression);
        w.U32(static_cast<std::uint32_t>(rows.size()));
        w.U32(2835);
        w.U32(2835);
        w.U32(colorsUsed);
        w.U32(0);
        while (w.bytes.size() < 14 + headerSize) w.U8(0);
    }
    w.bytes.insert(w.bytes.end(), extra.begin(), extra.end());
    w.bytes.insert(w.bytes.end(), rows.begin(), rows.end());
    return w.bytes;
}

}  // namespace picture_test

namespace picture_test {
Bytes ReadFileBytes(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
}  // namespace picture_test
