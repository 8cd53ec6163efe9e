// The OpenImageIO module (see OiioModule.h): reading and writing pictures in memory through
// OpenImageIO. It makes no decisions of its own beyond how to call OpenImageIO: the checks and
// the conversion to our rows stay in the core (PictureOiio.cpp).
#include "picture/OiioModule.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>

#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imageio.h>

namespace tintavo::oiio {

namespace {

constexpr int ScanlineChunkRows = 64;
constexpr std::size_t MaxChunkBytes = 16u << 20;

bool Fail(std::string& error, const std::string& reported, const char* fallback) {
    std::string text = reported.empty() ? std::string(fallback) : reported;
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    const auto newline = text.find('\n');  // the first line is the cause
    error = newline == std::string::npos ? text : text.substr(0, newline);
    return false;
}

OIIO::TypeDesc TypeOf(TSample sample) {
    switch (sample) {
        case TSample::UInt8: return OIIO::TypeDesc::UINT8;
        case TSample::UInt16: return OIIO::TypeDesc::UINT16;
        case TSample::Half: return OIIO::TypeDesc::HALF;
        case TSample::Float: break;
    }
    return OIIO::TypeDesc::FLOAT;
}

class TOiioReader final : public TReader {
public:
    bool Open(const char* format, const std::uint8_t* data, std::size_t size, const std::string& name,
              TLayout& layout, std::string& error) override {
        proxy_ = std::make_unique<OIIO::Filesystem::IOMemReader>(data, size);
        in_ = OIIO::ImageInput::create(format);
        if (!in_) return Fail(error, OIIO::geterror(), "No reader for this picture type");
        in_->set_ioproxy(proxy_.get());
        if (!in_->open(name, header_)) return Fail(error, in_->geterror(), "Invalid picture");
        // Pixels are read by their coordinates from the picture's origin (a DPX offset, an OpenEXR
        // data window), which must leave the last pixel addressable.
        constexpr long long Largest = std::numeric_limits<int>::max();
        if (static_cast<long long>(header_.x) + header_.width > Largest ||
            static_cast<long long>(header_.y) + header_.height > Largest ||
            static_cast<long long>(header_.z) + header_.depth > Largest)
            return Fail(error, "Invalid picture origin " + std::to_string(header_.x) + ", " + std::to_string(header_.y) +
                                   ": its last pixels lie beyond the coordinates that can be read",
                        "");
        layout.Width = header_.width;
        layout.Height = header_.height;
        layout.Channels = header_.nchannels;
        layout.Volume = header_.depth > 1;
        layout.DeepData = header_.deep;
        layout.Float = header_.format.is_floating_point();
        layout.SampleBytes = static_cast<int>(header_.format.size());
        layout.BitsPerSample = header_.get_int_attribute("oiio:BitsPerSample", layout.SampleBytes * 8);
        tiled_ = header_.tile_width > 0 && header_.tile_height > 0;
        layout.TileWidth = tiled_ ? header_.tile_width : 0;
        layout.TileHeight = tiled_ ? header_.tile_height : 0;
        const auto lineBytes = std::max<std::size_t>(1, header_.scanline_bytes(true));
        layout.ChunkRows =
            tiled_ ? std::min(header_.height, (ScanlineChunkRows + header_.tile_height - 1) / header_.tile_height * header_.tile_height)
                   : std::min({header_.height, ScanlineChunkRows, std::max(1, static_cast<int>(MaxChunkBytes / lineBytes))});
        return true;
    }

    bool ReadRows(int y0, int rows, int channels, TSample sample, void* out, std::string& error) override {
        const OIIO::TypeDesc type = TypeOf(sample);
        bool read;
        if (tiled_) {
            // read_scanlines does not take tiles.
            read = in_->read_tiles(0, 0, header_.x, header_.x + header_.width, header_.y + y0, header_.y + y0 + rows, header_.z,
                                   header_.z + 1, 0, channels, type, out);
        } else {
            // Scanlines are read in the file's own sample types and converted here: asked for
            // another type, OpenImageIO reads through a scratch buffer of about 64 MB per call,
            // however small the picture. Channels may differ in type (each is then converted on
            // its own).
            const std::size_t pixel = header_.pixel_bytes(true);
            native_.resize(pixel * static_cast<std::size_t>(header_.width) * static_cast<std::size_t>(rows));
            read = in_->read_scanlines(0, 0, header_.y + y0, header_.y + y0 + rows, 0, 0, header_.nchannels,
                                       OIIO::TypeDesc::UNKNOWN, native_.data());
            const auto outPixel = static_cast<OIIO::stride_t>(type.size()) * channels;
            std::size_t at = 0;  // the channel's first byte in a native pixel
            for (int c = 0; read && c < channels; ++c) {
                const OIIO::TypeDesc from = header_.channelformat(c);
                const bool same = header_.channelformats.empty();
                read = OIIO::convert_image(same ? channels : 1, header_.width, rows, 1, native_.data() + at, from,
                                           static_cast<OIIO::stride_t>(pixel), OIIO::AutoStride, OIIO::AutoStride,
                                           static_cast<std::uint8_t*>(out) + c * type.size(), type, outPixel,
                                           OIIO::AutoStride, OIIO::AutoStride);
                if (same) break;  // all channels at once
                at += from.size();
            }
        }
        return read || Fail(error, in_->geterror(), "Cannot read the picture's pixels");
    }

    ~TOiioReader() override {
        if (in_) in_->close();
    }

private:
    std::unique_ptr<OIIO::Filesystem::IOMemReader> proxy_;
    std::unique_ptr<OIIO::ImageInput> in_;
    OIIO::ImageSpec header_;
    bool tiled_ = false;
    std::vector<std::uint8_t> native_;
};

class TOiioWriter final : public TWriter {
public:
    TOiioWriter() : proxy_(bytes_) {}

    bool Open(const std::string& name, int width, int height, TSample sample, int bits, std::string& error) override {
        out_ = OIIO::ImageOutput::create(name);
        if (!out_) return Fail(error, OIIO::geterror(), "No writer for this picture type");
        out_->set_ioproxy(&proxy_);
        OIIO::ImageSpec layout(width, height, 3, TypeOf(sample));
        if (bits == 10) layout.attribute("oiio:BitsPerSample", 10);
        if (std::string(out_->format_name()) == "tiff") layout.attribute("compression", "zip");
        return out_->open(name, layout) || Fail(error, out_->geterror(), "Cannot start the picture");
    }

    bool WriteRows(int y0, int rows, TSample sample, const void* values, std::string& error) override {
        return out_->write_scanlines(y0, y0 + rows, 0, TypeOf(sample), values) ||
               Fail(error, out_->geterror(), "Cannot write the picture's pixels");
    }

    bool Close(std::vector<std::uint8_t>& bytes, std::string& error) override {
        if (!out_->close()) return Fail(error, out_->geterror(), "Cannot finish the picture");
        bytes.assign(bytes_.begin(), bytes_.end());
        return true;
    }

private:
    std::vector<unsigned char> bytes_;
    OIIO::Filesystem::IOVecOutput proxy_;
    std::unique_ptr<OIIO::ImageOutput> out_;
};

const TModule Module{ModuleVersion, [] { return std::unique_ptr<TReader>(new TOiioReader); },
                     [] { return std::unique_ptr<TWriter>(new TOiioWriter); }};

}  // namespace

}  // namespace tintavo::oiio

extern "C" __attribute__((visibility("default"))) const tintavo::oiio::TModule* TintavoOiioModule() {
    return &tintavo::oiio::Module;
}
