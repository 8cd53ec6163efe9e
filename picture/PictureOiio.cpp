// Reading and writing through the OpenImageIO module (OiioModule.h), from and to memory: the
// decoder of the DPX and OpenEXR types (and of the deep TIFF layouts libtiff's scanline reader
// leaves out), and the writer of every deep picture. The module is loaded here on first use.
#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <vector>

#include "picture/OiioModule.h"
#include "picture/PictureCodecs.h"

namespace tintavo {

namespace oiio {

namespace {

// Where the module is looked for: beside the installed program (the install rules put it in
// the library folder's tintavo/), then where this build made it.
std::vector<std::filesystem::path> ModuleCandidates() {
    std::vector<std::filesystem::path> candidates;
    std::error_code failed;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", failed);
    if (!failed) candidates.push_back((program.parent_path() / TINTAVO_OIIO_MODULE_FROM_PROGRAM).lexically_normal());
    candidates.emplace_back(TINTAVO_OIIO_MODULE_BUILT);
    return candidates;
}

struct TLoaded {
    const TModule* Module = nullptr;
    std::string Error;
};

TLoaded Load() {
    TLoaded loaded;
    std::string reasons;
    for (const auto& file : ModuleCandidates()) {
        std::error_code failed;
        if (!std::filesystem::exists(file, failed)) continue;
        void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* reason = dlerror();
            reasons = reason ? reason : file.string();
            continue;
        }
        using TEntry = const TModule* (*)();
        const auto entry = reinterpret_cast<TEntry>(dlsym(handle, "TintavoOiioModule"));
        const TModule* module = entry ? entry() : nullptr;
        if (!module || module->Version != ModuleVersion) {
            reasons = file.string() + " is of another build";
            dlclose(handle);
            continue;
        }
        loaded.Module = module;  // kept loaded for the life of the process
        return loaded;
    }
    loaded.Error = "The DPX and OpenEXR support (" + std::filesystem::path(TINTAVO_OIIO_MODULE_BUILT).filename().string() +
                   ") is missing or cannot be loaded" + (reasons.empty() ? std::string() : ": " + reasons);
    return loaded;
}

}  // namespace

const TModule* LoadModule(std::string& error) {
    static const TLoaded loaded = Load();
    error = loaded.Error;
    return loaded.Module;
}

}  // namespace oiio

namespace {

constexpr int ChunkRows = 64;  // rows written per call

const oiio::TModule& Module(const std::string& name, bool writing) {
    std::string error;
    const oiio::TModule* module = oiio::LoadModule(error);
    if (!module) writing ? FailPictureWrite(name, error) : FailPicture(name, error);
    return *module;
}

}  // namespace

void DecodeWithOiio(const char* format, const std::uint8_t* data, std::size_t size, const std::string& name,
                    long long maxPixels, TPictureRowSink& sink) {
    const std::unique_ptr<oiio::TReader> in = Module(name, false).NewReader();
    oiio::TLayout layout;
    std::string error;
    if (!in->Open(format, data, size, name, layout, error)) FailPicture(name, error);
    CheckPictureSize(name, layout.Width, layout.Height, maxPixels);
    if (layout.Volume || layout.DeepData) FailPicture(name, "Volume and deep pictures are not supported");
    if (layout.Channels < 1) FailPicture(name, "The picture has no channels");

    const bool isFloat = layout.Float;
    int bits = layout.BitsPerSample;
    if (!isFloat) bits = std::clamp(bits, 1, 16);  // 32-bit integers are read at 16 bits
    const bool deep = isFloat || bits > 8;
    const int width = layout.Width, height = layout.Height;
    const int channels = layout.Channels >= 3 ? 3 : 1;  // gray (and gray with alpha) is spread to RGB
    const oiio::TSample type = isFloat ? oiio::TSample::Float : bits > 8 ? oiio::TSample::UInt16 : oiio::TSample::UInt8;
    const std::size_t typeBytes = isFloat ? 4 : bits > 8 ? 2 : 1;
    // OpenImageIO widens 10 and 12-bit samples to 16 bits by repeating their top bits; the
    // shift takes them back.
    const int shift = 16 - bits;
    sink.Start(RowsInfo(width, height, isFloat ? layout.SampleBytes * 8 : bits, isFloat));

    // A tiled picture is read a row of tiles at a time.
    if (layout.TileWidth > 0 &&
        static_cast<long long>(layout.TileWidth) * layout.TileHeight > std::max(maxPixels, 1LL << 20))
        FailPicture(name, "Invalid tile size " + std::to_string(layout.TileWidth) + " x " +
                              std::to_string(layout.TileHeight));
    const int chunkRows = std::max(1, layout.ChunkRows);
    const std::size_t rowValues = static_cast<std::size_t>(width) * channels;
    std::vector<std::uint8_t> chunk(rowValues * typeBytes * static_cast<std::size_t>(chunkRows));
    long long clamped = 0;
    for (int y0 = 0; y0 < height; y0 += chunkRows) {
        const int rows = std::min(chunkRows, height - y0);
        if (!in->ReadRows(y0, rows, channels, type, chunk.data(), error)) FailPicture(name, error);
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
    if (clamped > 0) sink.Clamped(clamped);
}

std::vector<std::uint8_t> EncodePreciseWithOiio(const TPreciseImage& image, TSampleDepth depth,
                                                const std::string& name) {
    const std::unique_ptr<oiio::TWriter> out = Module(name, true).NewWriter();
    oiio::TSample type = oiio::TSample::UInt16;
    int bits = 16;
    switch (depth) {
        case TSampleDepth::Bits8: type = oiio::TSample::UInt8; bits = 8; break;
        case TSampleDepth::Bits10: bits = 10; break;
        case TSampleDepth::Half: type = oiio::TSample::Half; break;
        case TSampleDepth::Float: type = oiio::TSample::Float; break;
        default: break;
    }
    const int width = image.Width(), height = image.Height();
    std::string error;
    if (!out->Open(name, width, height, type, bits, error)) FailPictureWrite(name, error);

    // Samples are rounded here (half to even), so that every type writes the same codes; 10-bit
    // codes are handed over widened to 16 bits as OpenImageIO expects them.
    const bool isFloat = type == oiio::TSample::Half || type == oiio::TSample::Float;
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
        const oiio::TSample given = isFloat ? oiio::TSample::Float : bits == 8 ? oiio::TSample::UInt8 : oiio::TSample::UInt16;
        if (!out->WriteRows(y0, rows, given, rowsData, error)) FailPictureWrite(name, error);
    }
    std::vector<std::uint8_t> bytes;
    if (!out->Close(bytes, error)) FailPictureWrite(name, error);
    return bytes;
}

}  // namespace tintavo
