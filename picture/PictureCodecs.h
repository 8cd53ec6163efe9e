// The decoders and encoders behind LoadPicture and SavePicture, one file per picture type.
//
// Each decoder validates what it reads and raises EPictureError through FailPicture; sizes are
// checked with CheckPictureSize before any pixel memory is allocated.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "lut/Bitmap.h"

namespace tintavo {

// Raises EPictureError "Cannot read picture "<name>": <reason>".
[[noreturn]] void FailPicture(const std::string& name, const std::string& reason);
// Raises EPictureError "Cannot write picture "<name>": <reason>".
[[noreturn]] void FailPictureWrite(const std::string& name, const std::string& reason);

// Refuses empty sizes and sizes above maxPixels, naming the size in the message.
void CheckPictureSize(const std::string& name, long long width, long long height, long long maxPixels);

// 16-bit sample to 8 bits, rounded: round(v * 255 / 65535).
inline std::uint8_t Scale16To8(unsigned v) { return static_cast<std::uint8_t>((v * 255u + 32767u) / 65535u); }

void DecodeJpeg(const std::uint8_t* data, std::size_t size, const std::string& name, long long maxPixels,
                TBitmap24& out);
void DecodeBmp(const std::uint8_t* data, std::size_t size, const std::string& name, long long maxPixels,
               TBitmap24& out);
void DecodePng(const std::uint8_t* data, std::size_t size, const std::string& name, long long maxPixels,
               TBitmap24& out);
void DecodeTiff(const std::uint8_t* data, std::size_t size, const std::string& name, long long maxPixels,
                TBitmap24& out);

std::vector<std::uint8_t> EncodeJpeg(const TBitmap24& bitmap, int quality, const std::string& name);
std::vector<std::uint8_t> EncodeBmp(const TBitmap24& bitmap);
std::vector<std::uint8_t> EncodePng(const TBitmap24& bitmap, const std::string& name);
std::vector<std::uint8_t> EncodeTiff(const TBitmap24& bitmap, const std::string& name);

}  // namespace tintavo
