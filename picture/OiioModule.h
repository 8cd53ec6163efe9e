// The OpenImageIO module (tintavo-oiio.so): the DPX and OpenEXR readers and the deep picture
// writers live in a module of their own, loaded the first time a picture needs them, because
// OpenImageIO and the some 250 libraries it pulls in take about half a second to load: every
// start of the programs would pay it, although most pictures are JPEG, PNG, TIFF or BMP.
//
// Only this header is shared between the module and the core: plain values and interfaces, no
// exceptions across the boundary (a call that fails returns false and its reason).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tintavo::oiio {

enum class TSample { UInt8, UInt16, Half, Float };

// What the reader tells of an opened picture (its first part, first subimage).
struct TLayout {
    int Width = 0, Height = 0;
    int Channels = 0;
    bool Volume = false;      // more than one slice
    bool DeepData = false;    // OpenEXR deep data (several samples per pixel)
    bool Float = false;       // half or float samples
    int SampleBytes = 1;      // of the file's sample type
    int BitsPerSample = 8;    // significant bits of unsigned samples (10 and 12 for DPX)
    int TileWidth = 0, TileHeight = 0;  // 0 for scanline pictures
    int ChunkRows = 1;        // the rows a ReadRows call should take (tiles are read a row of tiles at a time)
};

class TReader {
public:
    virtual ~TReader() = default;
    // Opens the picture of type `format` ("dpx", "openexr", "tiff") held in memory (which must
    // outlive the reader).
    virtual bool Open(const char* format, const std::uint8_t* data, std::size_t size, const std::string& name,
                      TLayout& layout, std::string& error) = 0;
    // Rows [y0, y0 + rows) of the first `channels` channels, interleaved, as `sample` values
    // (unsigned ones widened to the type's full range).
    virtual bool ReadRows(int y0, int rows, int channels, TSample sample, void* out, std::string& error) = 0;
};

class TWriter {
public:
    virtual ~TWriter() = default;
    // Starts an RGB picture of the type `name` ends in, with samples of `sample` type stored at
    // `bits` significant bits (10 for 10-bit DPX).
    virtual bool Open(const std::string& name, int width, int height, TSample sample, int bits,
                      std::string& error) = 0;
    // Rows [y0, y0 + rows), interleaved red, green, blue values of `sample` type.
    virtual bool WriteRows(int y0, int rows, TSample sample, const void* values, std::string& error) = 0;
    // Finishes the picture and hands over its bytes.
    virtual bool Close(std::vector<std::uint8_t>& bytes, std::string& error) = 0;
};

// What the module exports, as the C symbol TintavoOiioModule.
struct TModule {
    int Version;  // ModuleVersion of the module's build
    std::unique_ptr<TReader> (*NewReader)();
    std::unique_ptr<TWriter> (*NewWriter)();
};

// Changes whenever this header changes, so that a module of another build is refused.
constexpr int ModuleVersion = 1;

// The core's side: the module, loaded on the first call (from any thread), or null with the
// reason in `error` when it cannot be loaded.
const TModule* LoadModule(std::string& error);

}  // namespace tintavo::oiio

extern "C" const tintavo::oiio::TModule* TintavoOiioModule();
