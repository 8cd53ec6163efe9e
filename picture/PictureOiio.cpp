// Reading and writing through OpenImageIO, from and to memory: the decoder of the DPX and
// OpenEXR types (and of the deep TIFF layouts libtiff's scanline reader leaves out), and the
// writer of every deep picture.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imageio.h>

#include "picture/PictureCodecs.h"

namespace tintavo {

namespace {

constexpr int ChunkRows = 64;  // scanlines read or written per call

std::string OiioReason(const std::string& error, const char* fallback) {
    std::string text = error.empty() ? std::string(fallback) : error;
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    const auto newline = text.find('\n');  // the first line is the cause
    return newline == std::string::npos ? text : text.substr(0, newline);
}

}  // namespace

void DecodeWithOiio(const char* format, const std::uint8_t* data, std::size_t size, const std::string& name,
                    long long maxPixels, TPictureRowSink& sink) {
    OIIO::Filesystem::IOMemReader proxy(data, size);
    std::unique_ptr<OIIO::ImageInput> in = OIIO::ImageInput::create(format);
    if (!in) FailPicture(name, OiioReason(OIIO::geterror(), "No reader for this picture type"));
    in->set_ioproxy(&proxy);
    OIIO::ImageSpec layout;
    if (!in->open(name, layout)) FailPicture(name, OiioReason(in->geterror(), "Invalid picture"));
    CheckPictureSize(name, layout.width, layout.height, maxPixels);
    if (layout.depth > 1 || layout.deep) FailPicture(name, "Volume and deep pictures are not supported");
    if (layout.nchannels < 1) FailPicture(name, "The picture has no channels");

    const bool isFloat = layout.format.is_floating_point();
    int bits = layout.get_int_attribute("oiio:BitsPerSample", static_cast<int>(layout.format.size()) * 8);
    if (!isFloat) bits = std::clamp(bits, 1, 16);  // 32-bit integers are read at 16 bits
    const bool deep = isFloat || bits > 8;
    const int width = layout.width, height = layout.height;
    const int channels = layout.nchannels >= 3 ? 3 : 1;  // gray (and gray with alpha) is spread to RGB
    const OIIO::TypeDesc type = isFloat ? OIIO::TypeDesc::FLOAT : bits > 8 ? OIIO::TypeDesc::UINT16 : OIIO::TypeDesc::UINT8;
    // OpenImageIO widens 10 and 12-bit samples to 16 bits by repeating their top bits; the
    // shift takes them back.
    const int shift = 16 - bits;
    sink.Start(RowsInfo(width, height, isFloat ? static_cast<int>(layout.format.size()) * 8 : bits, isFloat));

    // A tiled picture is read a row of tiles at a time (read_scanlines does not take tiles).
    const bool tiled = layout.tile_width > 0 && layout.tile_height > 0;
    if (tiled && static_cast<long long>(layout.tile_width) * layout.tile_height > std::max(maxPixels, 1LL << 20))
        FailPicture(name, "Invalid tile size " + std::to_string(layout.tile_width) + " x " +
                              std::to_string(layout.tile_height));
    const int chunkRows = tiled ? std::min(height, (ChunkRows + layout.tile_height - 1) / layout.tile_height * layout.tile_height)
                                : std::min({height, ChunkRows, std::max(1, static_cast<int>((16u << 20) / std::max<std::size_t>(1, layout.scanline_bytes(true))))});
    const std::size_t rowValues = static_cast<std::size_t>(width) * channels;
    // Scanlines are read in the file's own sample type and converted here: asked for another
    // type, OpenImageIO reads through a scratch buffer of about 64 MB per call, however small
    // the picture. Pictures whose channels differ in type keep OpenImageIO's conversion.
    const bool readNative = !tiled && layout.channelformats.empty();
    const std::size_t nativePixel = layout.pixel_bytes(true);
    std::vector<std::uint8_t> native(readNative ? nativePixel * width * static_cast<std::size_t>(chunkRows) : 0);
    std::vector<std::uint8_t> chunk(rowValues * type.size() * static_cast<std::size_t>(chunkRows));
    long long clamped = 0;
    for (int y0 = 0; y0 < height; y0 += chunkRows) {
        const int rows = std::min(chunkRows, height - y0);
        bool read = false;
        if (tiled) {
            read = in->read_tiles(0, 0, layout.x, layout.x + width, layout.y + y0, layout.y + y0 + rows, layout.z,
                                  layout.z + 1, 0, channels, type, chunk.data());
        } else if (readNative) {
            read = in->read_scanlines(0, 0, layout.y + y0, layout.y + y0 + rows, 0, 0, layout.nchannels,
                                      OIIO::TypeDesc::UNKNOWN, native.data()) &&
                   OIIO::convert_image(channels, width, rows, 1, native.data(), layout.format,
                                       static_cast<OIIO::stride_t>(nativePixel), OIIO::AutoStride, OIIO::AutoStride,
                                       chunk.data(), type, OIIO::AutoStride, OIIO::AutoStride, OIIO::AutoStride);
        } else {
            read = in->read_scanlines(0, 0, layout.y + y0, layout.y + y0 + rows, 0, 0, channels, type, chunk.data());
        }
        if (!read) FailPicture(name, OiioReason(in->geterror(), "Cannot read the picture's pixels"));
        for (int done = 0; done < rows;) {
            const int y = y0 + done;
            const TPictureRowSink::TRoom room = sink.Room(y, rows - done);
            for (int i = 0; i < room.Count; ++i) {
                const std::size_t first = rowValues * static_cast<std::size_t>(done + i);
                for (int x = 0; x < width; ++x) {
                    float v[3];
                    for (int c = 0; c < 3; ++c) {
                        const std::size_t at = first + static_cast<std::size_t>(x) * channels + (channels == 3 ? c : 0);
                        if (isFloat) {
                            float f;
                            std::memcpy(&f, chunk.data() + 4 * at, 4);
                            v[c] = ClampSample(f, clamped);
                        } else if (deep) {
                            std::uint16_t u;
                            std::memcpy(&u, chunk.data() + 2 * at, 2);
                            v[c] = UnsignedToUnit(static_cast<unsigned>(u) >> shift, bits);
                        } else {
                            v[c] = chunk[at];
                        }
                    }
                    if (deep) {
                        float* out = FloatRow(room, i) + 3 * x;
                        out[0] = v[0];
                        out[1] = v[1];
                        out[2] = v[2];
                    } else {
                        std::uint8_t* out = room.Rows + i * room.Stride + 3 * x;
                        out[0] = static_cast<std::uint8_t>(v[2]);
                        out[1] = static_cast<std::uint8_t>(v[1]);
                        out[2] = static_cast<std::uint8_t>(v[0]);
                    }
                }
            }
            sink.Filled(y, room.Count);
            done += room.Count;
        }
    }
    in->close();  // only the first part of a multi-part picture is read
    if (clamped > 0) sink.Clamped(clamped);
}

std::vector<std::uint8_t> EncodePreciseWithOiio(const TPreciseImage& image, TSampleDepth depth,
                                                const std::string& name) {
    std::vector<unsigned char> bytes;
    OIIO::Filesystem::IOVecOutput proxy(bytes);
    std::unique_ptr<OIIO::ImageOutput> out = OIIO::ImageOutput::create(name);
    if (!out) FailPictureWrite(name, OiioReason(OIIO::geterror(), "No writer for this picture type"));
    out->set_ioproxy(&proxy);

    OIIO::TypeDesc type = OIIO::TypeDesc::UINT16;
    int bits = 16;
    switch (depth) {
        case TSampleDepth::Bits8: type = OIIO::TypeDesc::UINT8; bits = 8; break;
        case TSampleDepth::Bits10: bits = 10; break;
        case TSampleDepth::Half: type = OIIO::TypeDesc::HALF; break;
        case TSampleDepth::Float: type = OIIO::TypeDesc::FLOAT; break;
        default: break;
    }
    const int width = image.Width(), height = image.Height();
    OIIO::ImageSpec layout(width, height, 3, type);
    if (bits == 10) layout.attribute("oiio:BitsPerSample", 10);
    if (std::string(out->format_name()) == "tiff") layout.attribute("compression", "zip");
    if (!out->open(name, layout)) FailPictureWrite(name, OiioReason(out->geterror(), "Cannot start the picture"));

    // Samples are rounded here (half to even), so that every type writes the same codes; 10-bit
    // codes are handed over widened to 16 bits as OpenImageIO expects them.
    const bool isFloat = type.is_floating_point();
    const std::size_t rowValues = 3 * static_cast<std::size_t>(width);
    std::vector<float> floats(isFloat ? rowValues * ChunkRows : 0);
    std::vector<std::uint16_t> words(!isFloat && bits > 8 ? rowValues * ChunkRows : 0);
    std::vector<std::uint8_t> octets(bits == 8 ? rowValues * ChunkRows : 0);
    const double top = static_cast<double>((1u << bits) - 1u);
    for (int y0 = 0; y0 < height; y0 += ChunkRows) {
        const int rows = std::min(ChunkRows, height - y0);
        for (int i = 0; i < rows; ++i) {
            const float* s = image.Row(y0 + i);
            const std::size_t first = rowValues * static_cast<std::size_t>(i);
            for (std::size_t k = 0; k < rowValues; ++k) {
                float v = s[k];
                if (!(v >= 0.0f)) v = 0.0f;
                if (v > 1.0f) v = 1.0f;
                if (isFloat) {
                    floats[first + k] = v;
                    continue;
                }
                const unsigned code = static_cast<unsigned>(std::nearbyint(top * v));
                if (bits == 8) octets[first + k] = static_cast<std::uint8_t>(code);
                else if (bits == 10) words[first + k] = static_cast<std::uint16_t>((code << 6) | (code >> 4));
                else words[first + k] = static_cast<std::uint16_t>(code);
            }
        }
        const void* rowsData = isFloat ? static_cast<const void*>(floats.data())
                               : bits == 8 ? static_cast<const void*>(octets.data())
                                           : static_cast<const void*>(words.data());
        const OIIO::TypeDesc given = isFloat ? OIIO::TypeDesc::FLOAT : bits == 8 ? OIIO::TypeDesc::UINT8 : OIIO::TypeDesc::UINT16;
        if (!out->write_scanlines(y0, y0 + rows, 0, given, rowsData))
            FailPictureWrite(name, OiioReason(out->geterror(), "Cannot write the picture's pixels"));
    }
    if (!out->close()) FailPictureWrite(name, OiioReason(out->geterror(), "Cannot finish the picture"));
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

}  // namespace tintavo
