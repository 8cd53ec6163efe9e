// The picture codecs: one table entry per picture type, with the type's name, its file name
// extensions, the caption of its filter in the open dialog, a cheap content sniff, and its
// decoder and encoder (one source file per type). Loading, saving, the open dialog and the
// command-line tool all take what they know about picture types from this table, so a new type
// is one codec file and one entry.
//
// Each decoder validates what it reads and raises EPictureError through FailPicture; sizes are
// checked with CheckPictureSize before any pixel memory is allocated. A decoder hands its rows to
// a TPictureRowSink from the top down, so that a caller that only needs a window of rows (the
// Open command, which reduces the picture) never holds the whole picture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "lut/Bitmap.h"
#include "lut/PreciseImage.h"
#include "picture/Picture.h"

namespace tintavo {

// Where a decoder puts the rows of a picture, from the top down: 24-bit rows (blue, green, red
// bytes) for pictures of at most 8 bits per sample, rows of red, green, blue floats on the 0..1
// scale for deeper ones (TPictureInfo::Deep).
class TPictureRowSink {
public:
    struct TRoom {
        std::uint8_t* Rows;     // the first row of the room (of floats, for a deep picture)
        std::ptrdiff_t Stride;  // bytes from one row to the next
        int Count;              // rows in the room, at least 1
    };

    virtual ~TPictureRowSink() = default;
    // Called once, after the size has been checked, before any row; tells the size, the depth
    // and so the kind of rows.
    virtual void Start(const TPictureInfo& info) = 0;
    // Room for at most `count` rows from row `y` on, y being the first row not yet filled.
    virtual TRoom Room(int y, int count) = 0;
    // Rows [y, y + count) of the last room are filled.
    virtual void Filled(int y, int count) = 0;
    // Called at most once, after the last row, when `samples` samples outside 0..1 (or not a
    // number) were clamped into 0..1.
    virtual void Clamped(long long samples) { (void)samples; }
};

// Row i of a room of float rows.
inline float* FloatRow(const TPictureRowSink::TRoom& room, int i) {
    return reinterpret_cast<float*>(room.Rows + i * room.Stride);
}

// What a decoder tells its sink at Start: size and depth (8 bits, not float, unless told).
inline TPictureInfo RowsInfo(int width, int height, int bitsPerSample = 8, bool floatSamples = false) {
    TPictureInfo info;
    info.Width = width;
    info.Height = height;
    info.BitsPerSample = bitsPerSample;
    info.FloatSamples = floatSamples;
    return info;
}

// Hands the whole of `bitmap` to `sink` (for decoders that must see every row before any is
// final: run-length encoded bitmaps, interlaced PNG, libtiff's RGBA reader).
void PourRows(const TBitmap24& bitmap, TPictureRowSink& sink);
void PourRows(const TPreciseImage& image, TPictureRowSink& sink);

struct TPictureSaveOptions {
    int JpegQuality = 95;  // 1..100
};

using TPictureDecoder = void (*)(const std::uint8_t* data, std::size_t size, const std::string& name,
                                 long long maxPixels, TPictureRowSink& sink);
using TPictureEncoder = std::vector<std::uint8_t> (*)(const TBitmap24& bitmap, const TPictureSaveOptions& options,
                                                      const std::string& name);
// Writes a precise image at one of the depths the codec lists (never TSampleDepth::Default).
using TPreciseEncoder = std::vector<std::uint8_t> (*)(const TPreciseImage& image, TSampleDepth depth,
                                                      const std::string& name);

struct TPictureCodec {
    TPictureType Type;
    const char* Name;                     // in messages: "Not a JPEG, BMP, PNG or TIFF picture"
    const char* DialogCaption;            // the open dialog's filter: "JPEG Image File (*.jpg *.jpeg)"
    std::vector<std::string> Extensions;  // lower case, without the dot
    bool (*Sniff)(const std::uint8_t* data, std::size_t size);  // the first bytes are this type's
    TPictureDecoder Decode;
    TPictureEncoder Encode;  // null for a type that is only read
    // The depths the type is written at, the one a deep picture is written at by default first;
    // 8 bits is written by Encode, deeper ones by EncodePrecise (null when there are none).
    std::vector<TSampleDepth> Depths;
    TPreciseEncoder EncodePrecise;
};

// Every picture type, in the order of the open dialog's list and of messages.
const std::vector<TPictureCodec>& PictureCodecs();
// The codec whose sniff accepts `data`, or null.
const TPictureCodec* SniffPictureCodec(const std::uint8_t* data, std::size_t size);
// The codec that owns the extension of `fileName` (letter case ignored), or null.
const TPictureCodec* PictureCodecForFileName(const std::string& fileName);

// Raises EPictureError "Cannot read picture "<name>": <reason>".
[[noreturn]] void FailPicture(const std::string& name, const std::string& reason);
// Raises EPictureError "Cannot write picture "<name>": <reason>".
[[noreturn]] void FailPictureWrite(const std::string& name, const std::string& reason);

// Refuses empty sizes and sizes above maxPixels, naming the size in the message.
void CheckPictureSize(const std::string& name, long long width, long long height, long long maxPixels);

// 16-bit sample to 8 bits, rounded: round(v * 255 / 65535).
inline std::uint8_t Scale16To8(unsigned v) { return static_cast<std::uint8_t>((v * 255u + 32767u) / 65535u); }
// An unsigned sample of `bits` bits to 0..1: v / (2^bits - 1), correctly rounded to a float.
inline float UnsignedToUnit(unsigned v, int bits) {
    return static_cast<float>(static_cast<double>(v) / static_cast<double>((1u << bits) - 1u));
}
// Clamps a sample of a float picture into 0..1 (not-a-number becomes 0), counting the ones
// that were outside.
inline float ClampSample(float v, long long& clamped) {
    if (v >= 0.0f && v <= 1.0f) return v;
    ++clamped;
    return v > 1.0f ? 1.0f : 0.0f;
}

bool SniffJpeg(const std::uint8_t* data, std::size_t size);
void DecodeJpeg(const std::uint8_t* data, std::size_t size, const std::string& name, long long maxPixels,
                TPictureRowSink& sink);
std::vector<std::uint8_t> EncodeJpeg(const TBitmap24& bitmap, const TPictureSaveOptions& options,
                                     const std::string& name);

bool SniffBmp(const std::uint8_t* data, std::size_t size);
void DecodeBmp(const std::uint8_t* data, std::size_t size, const std::string& name, long long maxPixels,
               TPictureRowSink& sink);
std::vector<std::uint8_t> EncodeBmp(const TBitmap24& bitmap, const TPictureSaveOptions& options,
                                    const std::string& name);

bool SniffPng(const std::uint8_t* data, std::size_t size);
void DecodePng(const std::uint8_t* data, std::size_t size, const std::string& name, long long maxPixels,
               TPictureRowSink& sink);
std::vector<std::uint8_t> EncodePng(const TBitmap24& bitmap, const TPictureSaveOptions& options,
                                    const std::string& name);

bool SniffTiff(const std::uint8_t* data, std::size_t size);
void DecodeTiff(const std::uint8_t* data, std::size_t size, const std::string& name, long long maxPixels,
                TPictureRowSink& sink);
std::vector<std::uint8_t> EncodeTiff(const TBitmap24& bitmap, const TPictureSaveOptions& options,
                                     const std::string& name);

bool SniffDpx(const std::uint8_t* data, std::size_t size);
void DecodeDpx(const std::uint8_t* data, std::size_t size, const std::string& name, long long maxPixels,
               TPictureRowSink& sink);

bool SniffExr(const std::uint8_t* data, std::size_t size);
void DecodeExr(const std::uint8_t* data, std::size_t size, const std::string& name, long long maxPixels,
               TPictureRowSink& sink);

// Decoding through OpenImageIO's reader for `format` ("dpx", "openexr", "tiff"), for types and
// layouts our own decoders leave to it. Float samples are clamped into 0..1 and counted; unsigned
// ones of 10, 12 or 16 bits become v / (2^bits - 1) exactly. Gray pictures become RGB, channels
// after the third (alpha) are ignored. The caller has sniffed and checked the header first.
void DecodeWithOiio(const char* format, const std::uint8_t* data, std::size_t size, const std::string& name,
                    long long maxPixels, TPictureRowSink& sink);

// Deep pictures of every writable type go through OpenImageIO's writers (PictureOiio.cpp).
std::vector<std::uint8_t> EncodePreciseWithOiio(const TPreciseImage& image, TSampleDepth depth,
                                                const std::string& name);

}  // namespace tintavo
