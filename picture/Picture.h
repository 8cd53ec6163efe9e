// Picture loading and saving, and the Open pipeline shared by the window and the command line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

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

// Decodes a JPEG, BMP, PNG or TIFF file (chosen by content, not by name) into `out`; the picture
// types are the entries of the codec table (PictureCodecs.h).
// Grayscale, palette and CMYK pictures become RGB; 16-bit samples are rounded to 8 bits; an
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

enum class TPictureType { Unknown, Jpeg, Bmp, Png, Tiff };
// The picture type by its first bytes (magic numbers), whatever the file is called.
TPictureType DetectPictureType(const std::uint8_t* data, std::size_t size);

// Reduces `source` to fit WorkingWidth x WorkingHeight with FitSize and always resamples it
// with ResizeBitmap (Lanczos3, default radius) into `work`.
void MakeWorkingBitmap(const TBitmap24& source, TBitmap24& work);

// The Open command: LoadPicture, then MakeWorkingBitmap, with the same bytes as a result. The
// full-size picture is never held whole: bands of decoded rows go straight into the reduction,
// and the memory of the reduction is given back before the function returns. `work` changes
// only when the whole picture was read.
void OpenCalibrationPicture(const std::string& fileName, TBitmap24& work);

// Writes a bitmap in the picture type chosen by the file's extension (letter case ignored:
// .jpg/.jpeg, .bmp, .png, .tif/.tiff). Written atomically. Raises EPictureError for an unknown
// extension.
void SavePicture(const std::string& fileName, const TBitmap24& bitmap, int jpegQuality = 95);

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
