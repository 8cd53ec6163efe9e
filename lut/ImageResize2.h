// Separable filtered resampling of 24-bit bitmaps, and the aspect-preserving fit of a size
// into a box.
#pragma once

#include "lut/Bitmap.h"

namespace tintavo {

enum TResizeFilter {
    rfBox = 0,
    rfTriangle = 1,
    rfHermite = 2,
    rfBell = 3,
    rfBSpline = 4,
    rfLanczos3 = 5,
    rfMitchell = 6,
};

// Fits (srcWidth x srcHeight) into (boxWidth x boxHeight) keeping the aspect; never enlarges.
void FitSize(int srcWidth, int srcHeight, int boxWidth, int boxHeight, int& newWidth, int& newHeight);

// Sizes `target` to newWidth x newHeight and resamples `source` into it. A radius of exactly 0
// means the filter's default radius. `source` and `target` must be different objects.
void ResizeBitmap(int newWidth, int newHeight, TResizeFilter filter, float radius,
                  const TBitmap24& source, TBitmap24& target);

}  // namespace tintavo
