// Bringing a LUT to the size an output profile writes and writing it, shared by the Save LUT
// dialog and the command-line tool so that both write byte-identical files.
#pragma once

#include <string>

#include "formats/LUTFormat.h"
#include "lut/LUT.h"

namespace tintavo {

// Valid sizes a user may ask for.
constexpr int MinLutSize = 2;

// The bit depths a user may choose for a profile that lets them (BitsSelectable), in the order
// the Save dialog lists them.
inline constexpr int SelectableBitDepths[] = {8, 10, 12, 14, 16};

// Whether `profile` writes `bits`: its DefaultBits (0 stands for it), and any of
// SelectableBitDepths when it is BitsSelectable.
bool ProfileAllowsBits(const TLutOutputProfile& profile, int bits);
// Whether `profile` writes a table of `size` points per axis (3D) or entries (1D): its
// DefaultSize, and 2..101 or 2..100001 when it is SizeSelectable.
bool ProfileAllowsSize(const TLutOutputProfile& profile, int size);

// Raises ELUTError("The 3D LUT size 102 is outside 2..101.") unless 2 <= size <= largest; `what`
// names the kind ("3D LUT").
void CheckLutSize(int size, int largest, const char* what);

// Resamples `source` through its own interpolation (ApplyLut at the new grid points): into a
// 3D table of `size` points per axis when `to3D`, else into a 1D table of `size` entries
// (only for sources whose kind is lk1D or lkPassThrough: a 3D source cannot become 1D curves
// and raises ELUTError). Copies the comments.
void ResampleLut(const TLUT& source, bool to3D, int size, TLUT& out);

// Writes `lut` through the profile's format with `bits` (0 = the profile's DefaultBits).
void SaveThroughProfile(const TLutOutputProfile& profile, TLUT& lut, int bits, const std::string& fileName);

}  // namespace tintavo
