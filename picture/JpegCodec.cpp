// JPEG through libjpeg(-turbo).
//
// libjpeg reports errors by calling error_exit, which must not return. It jumps back with
// longjmp to the setjmp in RunDecoder/RunEncoder; those functions hold no C++ objects with
// destructors, so the jump skips nothing. Everything that owns memory lives in their callers.
// Warnings (corrupt data, a premature end of the file) are treated as errors too: a damaged
// photograph must not silently become a calibration image with grey blocks in it.

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

#include "picture/PictureCodecs.h"

namespace tintavo {

namespace {

// Progressive files may have any number of scans; each costs a pass over the coefficients, so
// a small hostile file could keep the decoder busy for minutes. Real encoders write about ten.
constexpr int MaxProgressiveScans = 1000;

struct TJpegErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

extern "C" void JpegErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<TJpegErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

extern "C" void JpegEmitMessage(j_common_ptr cinfo, int level) {
    if (level < 0) JpegErrorExit(cinfo);  // a warning: the data is corrupt
    // Trace messages are not shown.
}

extern "C" void JpegOutputMessage(j_common_ptr) {}

extern "C" void JpegProgress(j_common_ptr cinfo) {
    if (cinfo->is_decompressor) {
        auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
        if (d->input_scan_number > MaxProgressiveScans) {
            auto* err = reinterpret_cast<TJpegErrorManager*>(cinfo->err);
            std::snprintf(err->message, sizeof err->message, "Too many progressive scans (more than %d)",
                          MaxProgressiveScans);
            std::longjmp(err->jump, 1);
        }
    }
}

void InstallErrorManager(TJpegErrorManager& err) {
    jpeg_std_error(&err.pub);
    err.pub.error_exit = JpegErrorExit;
    err.pub.emit_message = JpegEmitMessage;
    err.pub.output_message = JpegOutputMessage;
    err.message[0] = '\0';
}

// CMYK to RGB. Adobe writers store inverted CMYK (0 = full ink), which libjpeg passes through
// as it is; others store ink amounts directly.
void CmykRowToBgr(const JSAMPLE* cmyk, std::uint8_t* bgr, JDIMENSION width, bool inverted) {
    for (JDIMENSION x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
        unsigned c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        bgr[0] = static_cast<std::uint8_t>((y * k + 127) / 255);
        bgr[1] = static_cast<std::uint8_t>((m * k + 127) / 255);
        bgr[2] = static_cast<std::uint8_t>((c * k + 127) / 255);
    }
}

// Returns 0 after a libjpeg error (the message is in err.message), 1 when done, or 2 when the
// picture is too large. No C++ objects with destructors in here (see above); an exception from
// the sink passes through to the caller, which destroys the decompressor.
int RunDecoder(jpeg_decompress_struct& cinfo, TJpegErrorManager& err, jpeg_progress_mgr& progress,
               const std::uint8_t* data, std::size_t size, long long maxPixels, TPictureRowSink& sink) {
    if (setjmp(err.jump)) return 0;
    jpeg_create_decompress(&cinfo);  // clears everything but the error manager
    cinfo.progress = &progress;
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);
    if (static_cast<long long>(cinfo.image_width) * cinfo.image_height > maxPixels ||
        cinfo.image_width == 0 || cinfo.image_height == 0)
        return 2;

    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
    // Accurate integer IDCT and smooth chroma upsampling: libjpeg's defaults, stated here
    // because the calibration samples these pixels.
    cinfo.dct_method = JDCT_ISLOW;
    cinfo.do_fancy_upsampling = TRUE;
    jpeg_start_decompress(&cinfo);
    if (cinfo.output_components != (cmyk ? 4 : 3)) {
        std::snprintf(err.message, sizeof err.message, "Unsupported JPEG color layout (%d components)",
                      cinfo.output_components);
        return 0;
    }

    const int height = static_cast<int>(cinfo.output_height);
    sink.Start(RowsInfo(static_cast<int>(cinfo.output_width), height));
    if (cmyk) {
        // The row buffer belongs to libjpeg's image pool, released by jpeg_destroy_decompress.
        JSAMPARRAY row = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                    cinfo.output_width * 4, 1);
        while (cinfo.output_scanline < cinfo.output_height) {
            const int y = static_cast<int>(cinfo.output_scanline);
            if (jpeg_read_scanlines(&cinfo, row, 1) != 1) break;
            const TPictureRowSink::TRoom room = sink.Room(y, 1);
            CmykRowToBgr(row[0], room.Rows, cinfo.output_width, cinfo.saw_Adobe_marker != 0);
            sink.Filled(y, 1);
        }
    } else {
        JSAMPROW rows[16];
        while (cinfo.output_scanline < cinfo.output_height) {
            const int y = static_cast<int>(cinfo.output_scanline);
            const TPictureRowSink::TRoom room = sink.Room(y, std::min(16, height - y));
            for (int i = 0; i < room.Count; ++i) rows[i] = room.Rows + i * room.Stride;
            const JDIMENSION n = jpeg_read_scanlines(&cinfo, rows, static_cast<JDIMENSION>(room.Count));
            if (n == 0) break;
            sink.Filled(y, static_cast<int>(n));
        }
    }
    if (cinfo.output_scanline < cinfo.output_height) {  // the memory source never suspends
        std::snprintf(err.message, sizeof err.message, "Premature end of JPEG file");
        return 0;
    }
    jpeg_finish_decompress(&cinfo);
    return 1;
}

int RunEncoder(jpeg_compress_struct& cinfo, TJpegErrorManager& err, const TBitmap24& bitmap, int quality,
               unsigned char** buffer, unsigned long* size) {
    if (setjmp(err.jump)) return 0;
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, buffer, size);
    cinfo.image_width = static_cast<JDIMENSION>(bitmap.Width());
    cinfo.image_height = static_cast<JDIMENSION>(bitmap.Height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    cinfo.optimize_coding = TRUE;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(bitmap.ScanLine(static_cast<int>(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    return 1;
}

}  // namespace

bool SniffJpeg(const std::uint8_t* data, std::size_t size) {
    return size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}

void DecodeJpeg(const std::uint8_t* data, std::size_t size, const std::string& name, long long maxPixels,
                TPictureRowSink& sink) {
    jpeg_decompress_struct cinfo;
    std::memset(&cinfo, 0, sizeof cinfo);
    TJpegErrorManager err;
    InstallErrorManager(err);
    cinfo.err = &err.pub;
    jpeg_progress_mgr progress;
    std::memset(&progress, 0, sizeof progress);
    progress.progress_monitor = JpegProgress;

    int result = 0;
    try {
        result = RunDecoder(cinfo, err, progress, data, size, maxPixels, sink);
    } catch (...) {  // from the sink (out of memory for the rows): libjpeg's own memory must still go
        jpeg_destroy_decompress(&cinfo);
        throw;
    }
    const long long width = cinfo.image_width, height = cinfo.image_height;
    jpeg_destroy_decompress(&cinfo);
    if (result == 2) CheckPictureSize(name, width, height, maxPixels);
    if (result != 1) FailPicture(name, err.message);
}

std::vector<std::uint8_t> EncodeJpeg(const TBitmap24& bitmap, const TPictureSaveOptions& options,
                                     const std::string& name) {
    const int quality = options.JpegQuality;
    jpeg_compress_struct cinfo;
    std::memset(&cinfo, 0, sizeof cinfo);
    TJpegErrorManager err;
    InstallErrorManager(err);
    cinfo.err = &err.pub;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const int result = RunEncoder(cinfo, err, bitmap, quality < 1 ? 1 : (quality > 100 ? 100 : quality), &buffer,
                                  &size);
    jpeg_destroy_compress(&cinfo);
    std::vector<std::uint8_t> bytes;
    if (result == 1 && buffer) bytes.assign(buffer, buffer + size);
    std::free(buffer);
    if (result != 1) FailPictureWrite(name, err.message);
    return bytes;
}

}  // namespace tintavo
