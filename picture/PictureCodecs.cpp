#include "picture/PictureCodecs.h"

#include <algorithm>
#include <cctype>

namespace tintavo {

const std::vector<TPictureCodec>& PictureCodecs() {
    static const std::vector<TPictureCodec> codecs = {
        {TPictureType::Jpeg, "JPEG", "JPEG Image File", {"jpg", "jpeg"}, SniffJpeg, DecodeJpeg, EncodeJpeg,
         {TSampleDepth::Bits8}, nullptr},
        {TPictureType::Bmp, "BMP", "Bitmaps", {"bmp"}, SniffBmp, DecodeBmp, EncodeBmp, {TSampleDepth::Bits8}, nullptr},
        {TPictureType::Png, "PNG", "PNG Image File", {"png"}, SniffPng, DecodePng, EncodePng,
         {TSampleDepth::Bits16, TSampleDepth::Bits8}, EncodePreciseWithOiio},
        {TPictureType::Tiff, "TIFF", "TIFF Image File", {"tif", "tiff"}, SniffTiff, DecodeTiff, EncodeTiff,
         {TSampleDepth::Bits16, TSampleDepth::Bits8}, EncodePreciseWithOiio},
        // No 8-bit encoder: an 8-bit picture is written at 10 bits.
        {TPictureType::Dpx, "DPX", "DPX Image File", {"dpx"}, SniffDpx, DecodeDpx, nullptr,
         {TSampleDepth::Bits10, TSampleDepth::Bits16}, EncodePreciseWithOiio},
        {TPictureType::Exr, "OpenEXR", "OpenEXR Image File", {"exr"}, SniffExr, DecodeExr, nullptr,
         {TSampleDepth::Half, TSampleDepth::Float}, EncodePreciseWithOiio},
    };
    return codecs;
}

const TPictureCodec* SniffPictureCodec(const std::uint8_t* data, std::size_t size) {
    for (const TPictureCodec& codec : PictureCodecs())
        if (codec.Sniff(data, size)) return &codec;
    return nullptr;
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

// "a, b or c"
std::string ListOf(const std::vector<std::string>& items) {
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) text += i + 1 == items.size() ? " or " : ", ";
        text += items[i];
    }
    return text;
}

}  // namespace

const TPictureCodec* PictureCodecForFileName(const std::string& fileName) {
    const std::string ext = LowerExtension(fileName);
    if (ext.empty()) return nullptr;
    for (const TPictureCodec& codec : PictureCodecs())
        if (std::find(codec.Extensions.begin(), codec.Extensions.end(), ext) != codec.Extensions.end()) return &codec;
    return nullptr;
}

std::string PictureTypeNames() {
    std::vector<std::string> names;
    for (const TPictureCodec& codec : PictureCodecs()) names.push_back(codec.Name);
    return ListOf(names);
}

std::vector<std::string> PictureOpenFilters() {
    std::string all;
    std::vector<std::string> filters(1);
    for (const TPictureCodec& codec : PictureCodecs()) {
        std::string patterns;
        for (const std::string& ext : codec.Extensions) patterns += (patterns.empty() ? "*." : " *.") + ext;
        all += (all.empty() ? "" : " ") + patterns;
        filters.push_back(std::string(codec.DialogCaption) + " (" + patterns + ")");
    }
    filters[0] = "All pictures (" + all + ")";
    return filters;
}

bool CanSavePicture(const std::string& fileName) {
    const TPictureCodec* codec = PictureCodecForFileName(fileName);
    return codec != nullptr && (codec->Encode != nullptr || codec->EncodePrecise != nullptr);
}

std::string SavablePictureExtensions() {
    std::vector<std::string> extensions;
    for (const TPictureCodec& codec : PictureCodecs())
        if (codec.Encode || codec.EncodePrecise)
            for (const std::string& ext : codec.Extensions) extensions.push_back("." + ext);
    return ListOf(extensions);
}

}  // namespace tintavo
