// TLUT: the one in-memory colour look-up table, and the routines that apply it.
//
// The tables live inside the object (about 27 MB), sized for the largest LUT any layout can
// hold, so filling or reading a LUT never allocates. Always create a TLUT on the heap
// (std::make_unique<TLUT>()).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "lut/Bitmap.h"
#include "lut/PreciseImage.h"

namespace tintavo {

// A colour of three doubles; 0.0 is black, 1.0 full scale. Table entries are never clamped.
struct TLutColor {
    double R = 0.0;
    double G = 0.0;
    double B = 0.0;
};

// An integer pixel colour; full scale is 2^Bits - 1.
struct TPixelColor {
    std::uint16_t R = 0;
    std::uint16_t G = 0;
    std::uint16_t B = 0;
    std::uint8_t Bits = 8;
};

enum TLutKind : std::uint8_t {
    lk1D = 0,           // 1D curves only
    lk3D = 1,           // 3D table only
    lk1DThen3D = 2,     // 1D curves, their result through the 3D table
    lkPassThrough = 3,  // no table: colours pass unchanged
};

constexpr int MaxLut3DSize = 101;     // grid points per 3D axis
constexpr int MaxLut1DSize = 100001;  // 1D entries (indices 0..100000)

class TLUT {
public:
    TLUT();  // every entry 0.0, sizes 0, LutKind lk1D, no comments
    TLUT(const TLUT&) = delete;
    TLUT& operator=(const TLUT&) = delete;
    ~TLUT() = default;

    // The tables are 27 MB: a TLUT made with new lives in memory taken from the system in huge
    // pages, so that a new table faults in a dozen pages instead of thousands.
    static void* operator new(std::size_t bytes);
    static void operator delete(void* block, std::size_t bytes) noexcept;

    TLutKind LutKind = lk1D;
    std::vector<std::string> Comments;
    // [red][green][blue]: entry [r][g][b] is the output for input (r, g, b) / (Size3D - 1).
    TLutColor Table3D[MaxLut3DSize][MaxLut3DSize][MaxLut3DSize];
    // Entry i holds the red, green and blue curves' outputs for input i / (Size1D - 1).
    TLutColor Table1D[MaxLut1DSize];
    std::int32_t Size1D = 0;
    std::int32_t Size3D = 0;

    // Copies kind, sizes, comments and the entries in use of `other`.
    void CopyFrom(const TLUT& other);
    // Fills the 3D table with the identity at `size` points per axis and sets lk3D.
    void SetIdentity3D(int size);
    // Fills the 1D table with the identity at `size` entries and sets lk1D.
    void SetIdentity1D(int size);
};

// How a 3D table is interpolated between its nodes: trilinear (blue, then green, then red, the
// default), or tetrahedral (the cell cut into six tetrahedra along its grey diagonal, four nodes
// weighed per colour, as grading tools commonly do).
enum class TLutInterpolation { Trilinear, Tetrahedral };

// "trilinear" or "tetrahedral".
const char* InterpolationName(TLutInterpolation interpolation);
// The interpolation of that name (letter case ignored); false for another name.
bool ParseInterpolation(const std::string& name, TLutInterpolation& interpolation);

// Maps one normalised colour through the LUT.
// Sizes in use below 2 cannot be interpolated: such a table returns its entry 0 (size 1) or
// the input unchanged (size 0 or less). Lookup coordinates outside 0..1 (possible when 1D
// curves feed the 3D table) are clamped to the table's range, so nothing beyond the tables
// is ever read.
TLutColor ApplyLut(const TLUT& lut, const TLutColor& input,
                   TLutInterpolation interpolation = TLutInterpolation::Trilinear);

// The cell of a 3D table of `size` (2..101) points per axis in which ApplyLut interpolates
// `input`: the indices of its lower corner and the weights of the upper corners.
struct TLutCell {
    int R = 0, G = 0, B = 0;
    double FR = 0.0, FG = 0.0, FB = 0.0;
};
TLutCell LutCell(int size, const TLutColor& input);
// ApplyLut's interpolation in one cell whose corner entries are corners[dr][dg][db] (entry
// [R + dr][G + dg][B + db] of the table): the value ApplyLut returns for a table holding them,
// without the table. Lets a caller look a few colours up in a table it never makes.
TLutColor InterpolateCell(const TLutColor (&corners)[2][2][2], const TLutCell& cell);

// Maps an integer pixel colour; the caller sets output.Bits first.
void ApplyLutToPixel(const TLUT& lut, const TPixelColor& input, TPixelColor& output);

// Maps every pixel of a 24-bit bitmap in place, as ApplyLutToPixel with 8 bits in and out does
// (with the chosen interpolation for the 3D table). May use several threads; the result is
// identical to the single-threaded one.
void ApplyLutToBitmap(const TLUT& lut, TBitmap24& bitmap,
                      TLutInterpolation interpolation = TLutInterpolation::Trilinear);

// Maps every pixel of a precise image in place: each pixel's floats through ApplyLut (computed
// in double precision, no rounding to a bit depth), the result clamped to 0..1 (not-a-number
// becomes 0) and stored as floats. May use several threads; the result does not depend on their
// number.
void ApplyLutToImage(const TLUT& lut, TPreciseImage& image,
                     TLutInterpolation interpolation = TLutInterpolation::Trilinear);

// ApplyLutToBitmap and ApplyLutToImage use the processor's vector instructions where it has
// them, and a portable path otherwise; both write the same values. Tests switch the vector path off to check the other.
void AllowLutVectorPath(bool allowed);

}  // namespace tintavo
