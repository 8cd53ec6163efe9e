// Picture loading and saving, and the Open pipeline shared by the window and the command line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "lut/Bitmap.h"

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

// Decodes a JPEG, BMP, PNG or TIFF file (chosen by content, not by name) into `out`.
// Grayscale, palette and CMYK pictures become RGB; 16-bit samples are rounded to 8 bits; an
// alpha channel is ignored (the colour samples are taken as stored, not composited), except in
// the rare TIFF layouts left to libtiff's RGBA reader (tiles, planar, YCbCr, CMYK), which
// premultiply, i.e. composite over black.
// Raises EFileError when the file cannot be read and EPictureError when it cannot be decoded.
void LoadPicture(const std::string& fileName, TBitmap24& out);
// The same from bytes in memory; `nameForMessages` names the source in error messages.
void LoadPictureFromMemory(const std::uint8_t* data, std::size_t size, const std::string& nameForMessages,
                           TBitmap24& out);
// The same with a smaller size limit (the fuzz target uses one to keep every run short).
void LoadPictureFromMemory(const std::uint8_t* data, std::size_t size, const std::string& nameForMessages,
                           TBitmap24& out, long long maxPixels);

enum class TPictureType { Unknown, Jpeg, Bmp, Png, Tiff };
// The picture type by its first bytes (magic numbers), whatever the file is called.
TPictureType DetectPictureType(const std::uint8_t* data, std::size_t size);

// Reduces `source` to fit WorkingWidth x WorkingHeight with FitSize and always resamples it
// with ResizeBitmap (Lanczos3, default radius) into `work`.
void MakeWorkingBitmap(const TBitmap24& source, TBitmap24& work);

// The Open command: LoadPicture, then MakeWorkingBitmap. The full-size picture is decoded into
// a buffer kept per thread, so that opening one photograph after another does not pay for
// fresh memory each time.
void OpenCalibrationPicture(const std::string& fileName, TBitmap24& work);

// Writes a bitmap as JPEG, PNG, BMP or TIFF chosen by the file's extension (letter case
// ignored: .jpg/.jpeg, .png, .bmp, .tif/.tiff). Written atomically. Raises EPictureError for an
// unknown extension.
void SavePicture(const std::string& fileName, const TBitmap24& bitmap, int jpegQuality = 95);

}  // namespace tintavo
