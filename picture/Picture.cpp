#include "picture/Picture.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "common/FileIO.h"
#include "lut/ImageResize2.h"
#include "picture/PictureCodecs.h"

namespace tintavo {

void FailPicture(const std::string& name, const std::string& reason) {
    throw EPictureError("Cannot read picture \"" + name + "\": " + reason);
}

void FailPictureWrite(const std::string& name, const std::string& reason) {
    throw EPictureError("Cannot write picture \"" + name + "\": " + reason);
}

void CheckPictureSize(const std::string& name, long long width, long long height, long long maxPixels) {
    if (width <= 0 || height <= 0)
        FailPicture(name, "Invalid picture size " + std::to_string(width) + " x " + std::to_string(height));
    // Both factors are below 2^32 here, so the product cannot overflow.
    if (width > 0xFFFFFFFFLL || height > 0xFFFFFFFFLL || width * height > maxPixels)
        FailPicture(name, "The picture is " + std::to_string(width) + " x " + std::to_string(height) +
                              " pixels, more than the " + std::to_string(maxPixels / 1'000'000) +
                              " megapixels accepted");
}

TPictureType DetectPictureType(const std::uint8_t* data, std::size_t size) {
    auto starts = [&](const char* magic, std::size_t n) {
        return size >= n && std::memcmp(data, magic, n) == 0;
    };
    if (starts("\xFF\xD8\xFF", 3)) return TPictureType::Jpeg;
    if (starts("\x89PNG\r\n\x1A\n", 8)) return TPictureType::Png;
    if (starts("BM", 2)) return TPictureType::Bmp;
    if (starts("II*\0", 4) || starts("MM\0*", 4) || starts("II+\0", 4) || starts("MM\0+", 4))
        return TPictureType::Tiff;
    return TPictureType::Unknown;
}

void LoadPictureFromMemory(const std::uint8_t* data, std::size_t size, const std::string& nameForMessages,
                           TBitmap24& out, long long maxPixels) {
    if (size == 0) FailPicture(nameForMessages, "The file is empty");
    switch (DetectPictureType(data, size)) {
        case TPictureType::Jpeg: return DecodeJpeg(data, size, nameForMessages, maxPixels, out);
        case TPictureType::Bmp: return DecodeBmp(data, size, nameForMessages, maxPixels, out);
        case TPictureType::Png: return DecodePng(data, size, nameForMessages, maxPixels, out);
        case TPictureType::Tiff: return DecodeTiff(data, size, nameForMessages, maxPixels, out);
        case TPictureType::Unknown: break;
    }
    FailPicture(nameForMessages, "Not a JPEG, BMP, PNG or TIFF picture");
}

void LoadPictureFromMemory(const std::uint8_t* data, std::size_t size, const std::string& nameForMessages,
                           TBitmap24& out) {
    LoadPictureFromMemory(data, size, nameForMessages, out, MaxPicturePixels);
}

void LoadPicture(const std::string& fileName, TBitmap24& out) {
    const std::vector<std::uint8_t> bytes = ReadWholeFile(fileName);
    LoadPictureFromMemory(bytes.data(), bytes.size(), fileName, out);
}

void MakeWorkingBitmap(const TBitmap24& source, TBitmap24& work) {
    int w = 0, h = 0;
    FitSize(source.Width(), source.Height(), WorkingWidth, WorkingHeight, w, h);
    // Always resampled, also at the same size (Lanczos3 then gives back the same pixels).
    ResizeBitmap(w, h, rfLanczos3, 0.0f, source, work);
}

void OpenCalibrationPicture(const std::string& fileName, TBitmap24& work) {
    thread_local TBitmap24 picture;
    try {
        LoadPicture(fileName, picture);
        MakeWorkingBitmap(picture, work);
    } catch (...) {
        // A failed open leaves no half-decoded picture to hold on to.
        picture.Clear();
        throw;
    }
}

namespace {

std::string LowerExtension(const std::string& fileName) {
    const auto slash = fileName.find_last_of('/');
    const auto dot = fileName.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = fileName.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext;
}

}  // namespace

void SavePicture(const std::string& fileName, const TBitmap24& bitmap, int jpegQuality) {
    const std::string ext = LowerExtension(fileName);
    if (bitmap.Empty()) FailPictureWrite(fileName, "The picture is empty");
    std::vector<std::uint8_t> bytes;
    if (ext == "jpg" || ext == "jpeg") bytes = EncodeJpeg(bitmap, jpegQuality, fileName);
    else if (ext == "png") bytes = EncodePng(bitmap, fileName);
    else if (ext == "bmp") bytes = EncodeBmp(bitmap);
    else if (ext == "tif" || ext == "tiff") bytes = EncodeTiff(bitmap, fileName);
    else FailPictureWrite(fileName, "Unknown picture type (use .jpg, .jpeg, .png, .bmp, .tif or .tiff)");
    WriteFileAtomically(fileName, bytes);
}

}  // namespace tintavo
