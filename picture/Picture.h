// Picture loading and saving, and the Open pipeline shared by the window and the command line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "lut/Bitmap.h"
#include "lut/PreciseImage.h"

namespace tintavo {

// A picture that cannot be decoded: the message names the file and the reason, e.g.
// "Cannot read picture "a.jpg": Premature end of JPEG file".
class EPictureError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

constexpr int WorkingWidth = 1500;   // the box every opened picture is reduced into
constexpr int WorkingHeight = 1000;
constexpr long long MaxPicturePixels = 100'000'000;  // larger headers are refused before allocating

enum class TPictureType { Unknown, Jpeg, Bmp, Png, Tiff, Dpx, Exr };

// What a decoded picture was: its type, size and the depth of its colour samples.
struct TPictureInfo {
    TPictureType Type = TPictureType::Unknown;
    int Width = 0;
    int Height = 0;
    int BitsPerSample = 8;      // as stored: 1..8, 10, 12, 16 or 32 (16 for half floats)
    bool FloatSamples = false;  // half or float samples (OpenEXR)
    // Samples of a float picture that lay outside 0..1 (or were not a number) and were clamped
    // into 0..1, the domain of a LUT; 0 for every other picture.
    long long ClampedSamples = 0;

    // Deeper than 8 bits: decoded, reduced, sampled and corrected at full precision by default.
    bool Deep() const { return BitsPerSample > 8 || FloatSamples; }
    // "8-bit JPEG", "16-bit TIFF", "10-bit DPX", "half-float OpenEXR", "32-bit float OpenEXR".
    std::string Description() const;
    // The warning the user is given once for a float picture with clamped samples ("" when none
    // were): ""<file>": 1234 samples lay outside 0..1 and were clamped to 0..1".
    std::string ClampWarning(const std::string& fileName) const;
};

// The depths a picture's samples are written at.
enum class TSampleDepth {
    Default,  // the picture's own depth, as far as the type allows (SavePreciseImage)
    Bits8,
    Bits10,
    Bits16,
    Half,
    Float,
};
// "8", "10", "16", "half", "float" ("default" for Default); parsing ignores letter case.
const char* SampleDepthName(TSampleDepth depth);
bool ParseSampleDepth(const std::string& name, TSampleDepth& depth);

// Decodes a JPEG, BMP, PNG, TIFF, DPX or OpenEXR file (chosen by content, not by name) into
// `out`; the picture types are the entries of the codec table (PictureCodecs.h).
// Grayscale, palette and CMYK pictures become RGB; deeper samples are rounded to 8 bits; an
// alpha channel is ignored (the colour samples are taken as stored, not composited), except in
// the rare TIFF layouts left to libtiff's RGBA reader (tiles, planar, YCbCr, CMYK), which
// premultiply, i.e. composite over black.
// Raises EFileError when the file cannot be read and EPictureError when it cannot be decoded;
// `out` is then left empty, or unchanged when the file is of no known picture type.
void LoadPicture(const std::string& fileName, TBitmap24& out);
// The same from bytes in memory; `nameForMessages` names the source in error messages.
void LoadPictureFromMemory(const std::uint8_t* data, std::size_t size, const std::string& nameForMessages,
                           TBitmap24& out);
// The same with a smaller size limit (the fuzz target uses one to keep every run short).
void LoadPictureFromMemory(const std::uint8_t* data, std::size_t size, const std::string& nameForMessages,
                           TBitmap24& out, long long maxPixels);

// The picture type by its first bytes (magic numbers), whatever the file is called.
TPictureType DetectPictureType(const std::uint8_t* data, std::size_t size);

// Decodes a picture of any supported type at full precision: deep pictures keep their samples
// (float pictures clamped into 0..1, see TPictureInfo::ClampedSamples), 8-bit ones become v / 255.
// Errors as LoadPicture; `out` is then left empty.
TPictureInfo LoadPreciseImage(const std::string& fileName, TPreciseImage& out);
TPictureInfo LoadPreciseImageFromMemory(const std::uint8_t* data, std::size_t size, const std::string& nameForMessages,
                                        TPreciseImage& out, long long maxPixels = MaxPicturePixels);
// Decodes a picture at its own depth: an 8-bit one into `bitmap` (as LoadPicture), a deep one
// into `precise` (as LoadPreciseImage); the other is left empty. Errors as LoadPicture.
TPictureInfo LoadPictureNative(const std::string& fileName, TBitmap24& bitmap, TPreciseImage& precise);
// The same into a 24-bit bitmap, telling what the picture was (deep samples rounded to 8 bits).
TPictureInfo LoadPictureInfo(const std::string& fileName, TBitmap24& out);

// Reduces `source` to fit WorkingWidth x WorkingHeight with FitSize and always resamples it
// with ResizeBitmap (Lanczos3, default radius) into `work`.
void MakeWorkingBitmap(const TBitmap24& source, TBitmap24& work);

// The Open command: LoadPicture, then MakeWorkingBitmap, with the same bytes as a result. The
// full-size picture is never held whole: bands of decoded rows go straight into the reduction,
// and the memory of the reduction is given back before the function returns. `work` changes
// only when the whole picture was read.
void OpenCalibrationPicture(const std::string& fileName, TBitmap24& work);

// Whether the Open command keeps a precise working image beside the 8-bit one.
enum class TPrecision {
    Auto,    // for deep pictures only (the default)
    Always,  // for 8-bit pictures too (the command line's --precise)
    Never,   // the 8-bit working image alone, as for every picture before
};

// What the Open command gives the window and the command line: the 8-bit working image the
// viewer shows, the precise working image beside it (or empty), and what the picture was.
struct TWorkingPicture {
    TBitmap24 Bitmap;
    TPreciseImage Precise;
    TPictureInfo Info;
    bool HasPrecise() const { return !Precise.Empty(); }
};

// The Open command with a precise working image: the same Lanczos3 reduction to fit
// WorkingWidth x WorkingHeight in floating point (PreciseResize.h), from the picture's own
// samples. The 8-bit working image is then the precise one rounded to 8 bits for a deep
// picture, and exactly OpenCalibrationPicture's for an 8-bit one. With TPrecision::Never, or
// Auto on an 8-bit picture, only the 8-bit image is made, with OpenCalibrationPicture's bytes
// (a deep picture's samples rounded to 8 bits first). `picture` changes only when the whole
// picture was read.
void OpenCalibrationPicture(const std::string& fileName, TWorkingPicture& picture,
                            TPrecision precision = TPrecision::Auto);

// Writes a bitmap in the picture type chosen by the file's extension (letter case ignored:
// .jpg/.jpeg, .bmp, .png, .tif/.tiff). Written atomically. Raises EPictureError for an unknown
// extension.
void SavePicture(const std::string& fileName, const TBitmap24& bitmap, int jpegQuality = 95);

// Writes a precise image at `depth` in the type chosen by the extension; Default picks the
// type's first deep depth (16 bits for PNG and TIFF, 10 for DPX, half for OpenEXR), or 8 bits
// for JPEG and BMP. A depth the type cannot hold raises EPictureError naming the ones it can.
// Written atomically. Returns the depth written.
TSampleDepth SavePreciseImage(const std::string& fileName, const TPreciseImage& image,
                              TSampleDepth depth = TSampleDepth::Default, int jpegQuality = 95);
// The depths a file of this name can be written at ("8 or 16"), "" for an unknown type.
std::string PictureDepthNames(const std::string& fileName);
// Whether a file of this name can be written at `depth` (Default: whether it can be written).
bool CanSavePictureAt(const std::string& fileName, TSampleDepth depth);

// What the codec table knows, for the open dialog and the command-line tool:
// the picture types' names as a list ("JPEG, BMP, PNG or TIFF");
std::string PictureTypeNames();
// the open dialog's filters, all types first: "All pictures (*.jpg *.jpeg ...)", then one per
// type: "JPEG Image File (*.jpg *.jpeg)";
std::vector<std::string> PictureOpenFilters();
// whether SavePicture can write a file of this name, and the extensions it writes
// (".jpg, .jpeg, .bmp, .png, .tif or .tiff").
bool CanSavePicture(const std::string& fileName);
std::string SavablePictureExtensions();

}  // namespace tintavo
