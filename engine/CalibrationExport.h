// Writing a calibration through an output profile: one routine for the Save dialog and for
// `tintavo-cli calibrate`, so that the window and the tool cannot write different bytes.
#pragma once

#include <string>

#include "engine/Calibration.h"
#include "formats/LUTFormat.h"
#include "lut/LUT.h"

namespace tintavo {

class TJobProgress;

// Evaluates a fitted calibration on its own grid of `size` points per axis (2..101) into `out`:
// LutKind lk3D, Size3D = size, every node filled; Comments left as they are. Another size raises
// ELUTError and changes nothing. With `progress` the work is reported and can be cancelled
// (ECancelled; `out` then holds a partial table).
void TabulateCalibration(const TCalibrationMapping& mapping, int size, TLUT& out, TJobProgress* progress = nullptr);

// Writes a calibration through `profile` at `size` points per axis with `bits` (0: the profile's
// default) to `fileName`:
// - at the size of `table` (the window's CalibrationLutSize-point table), `table` as it stands;
// - at any other size, `mapping` evaluated on a grid of that size (TabulateCalibration), or,
//   without a mapping, `table` resampled through its own interpolation.
// A profile that writes 1D curves, or a size or bit depth the profile does not allow, raises
// ELUTError before anything is written.
// With `progress`, the tabulation reports its work, and a job cancelled before the file is
// written stops with ECancelled and writes nothing.
void SaveCalibration(TLUT& table, const TCalibrationMapping* mapping, const TLutOutputProfile& profile, int size,
                     int bits, const std::string& fileName, TJobProgress* progress = nullptr);

}  // namespace tintavo
