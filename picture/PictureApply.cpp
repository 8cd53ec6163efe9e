#include "picture/PictureApply.h"

#include <algorithm>

#include "picture/PictureCodecs.h"

namespace tintavo {

namespace {

bool Holds(const TPictureCodec& codec, TSampleDepth depth) {
    return std::find(codec.Depths.begin(), codec.Depths.end(), depth) != codec.Depths.end();
}

// The depth a picture of this kind is written at by default.
TSampleDepth DefaultDepth(const TPictureCodec& codec, bool deep) {
    if (!deep && Holds(codec, TSampleDepth::Bits8)) return TSampleDepth::Bits8;
    return codec.Depths.front();
}

}  // namespace

TApplyResult ApplyLutToPictureFile(const TLUT& lut, const std::string& input, const std::string& output,
                                   const TApplyOptions& options) {
    const TPictureCodec* codec = PictureCodecForFileName(output);
    if (codec == nullptr || (codec->Encode == nullptr && codec->EncodePrecise == nullptr))
        FailPictureWrite(output, "Unknown picture type (use " + SavablePictureExtensions() + ")");
    if (options.Depth != TSampleDepth::Default && !Holds(*codec, options.Depth))
        FailPictureWrite(output, std::string("A ") + codec->Name + " picture is written at " +
                                     PictureDepthNames(output) + " bits per sample, not " +
                                     SampleDepthName(options.Depth));

    TApplyResult result;
    TBitmap24 bitmap;
    TPreciseImage precise;
    result.Input = LoadPictureNative(input, bitmap, precise);
    result.Written = options.Depth == TSampleDepth::Default ? DefaultDepth(*codec, result.Input.Deep()) : options.Depth;

    if (!result.Input.Deep() && result.Written == TSampleDepth::Bits8) {
        ApplyLutToBitmap(lut, bitmap, options.Interpolation);
        SavePicture(output, bitmap, options.JpegQuality);
        return result;
    }
    if (!result.Input.Deep()) {
        BitmapToPrecise(bitmap, precise);
        bitmap.Clear();
    }
    ApplyLutToImage(lut, precise, options.Interpolation);
    SavePreciseImage(output, precise, result.Written, options.JpegQuality);
    return result;
}

}  // namespace tintavo
