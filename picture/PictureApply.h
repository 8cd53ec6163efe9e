// Applying a LUT to a picture file and writing the corrected picture: the work of one picture
// for the command line's apply (and for anything that applies a LUT to many pictures).
#pragma once

#include <string>

#include "lut/LUT.h"
#include "picture/Picture.h"

namespace tintavo {

struct TApplyOptions {
    TLutInterpolation Interpolation = TLutInterpolation::Trilinear;  // for the 3D table
    // The depth written. Default: the picture's own, as far as the output type holds it: an
    // 8-bit picture is written at 8 bits where the type has them (else at the type's first
    // depth), a deep one at the type's first deep depth (16 bits for PNG and TIFF, 10 for DPX,
    // half for OpenEXR; 8 bits for JPEG and BMP).
    TSampleDepth Depth = TSampleDepth::Default;
    int JpegQuality = 95;
};

struct TApplyResult {
    TPictureInfo Input;        // what the picture was (with the float samples clamped into 0..1)
    TSampleDepth Written = TSampleDepth::Bits8;  // the depth the output was written at
};

// Reads `input` (any supported picture type), applies `lut` (1D, 3D or 1D then 3D) to every
// pixel and writes `output` atomically in the type its extension names. An 8-bit picture
// written at 8 bits goes the 8-bit way (ApplyLutToBitmap, the bytes the window's preview gives);
// every other combination is corrected in floating point (ApplyLutToImage) and rounded only
// when written, so a deep picture written deep has no 8-bit step. An output type that is unknown
// or cannot hold the depth asked for raises EPictureError before the picture is read.
TApplyResult ApplyLutToPictureFile(const TLUT& lut, const std::string& input, const std::string& output,
                                   const TApplyOptions& options = {});

}  // namespace tintavo
