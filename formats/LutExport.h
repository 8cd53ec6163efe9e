// Bringing a LUT to the size an output profile writes, shared by the Save LUT dialog and the
// command-line tool so that both write byte-identical files.
#pragma once

#include <string>

#include "engine/Calibration.h"
#include "formats/LUTFormat.h"
#include "lut/LUT.h"

namespace tintavo {

// Valid sizes a user may ask for.
constexpr int MinLutSize = 2;

// Evaluates a fitted calibration on its own grid of `size` points per axis (2..101) into `out`:
// LutKind lk3D, Size3D = size, every node filled; Comments left as they are.
void TabulateCalibration(const TCalibrationMapping& mapping, int size, TLUT& out);

// Resamples `source` through its own interpolation (ApplyLut at the new grid points): into a
// 3D table of `size` points per axis when `to3D`, else into a 1D table of `size` entries
// (only for sources whose kind is lk1D or lkPassThrough: a 3D source cannot become 1D curves
// and raises ELUTError). Copies the comments.
void ResampleLut(const TLUT& source, bool to3D, int size, TLUT& out);

// Writes `lut` through the profile's format with `bits` (0 = the profile's DefaultBits).
void SaveThroughProfile(const TLutOutputProfile& profile, TLUT& lut, int bits, const std::string& fileName);

}  // namespace tintavo
