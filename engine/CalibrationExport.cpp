#include "engine/CalibrationExport.h"

#include <memory>

#include "common/Progress.h"
#include "formats/LutExport.h"

namespace tintavo {

void TabulateCalibration(const TCalibrationMapping& mapping, int size, TLUT& out, TJobProgress* progress) {
    CheckLutSize(size, MaxLut3DSize, "3D LUT");
    out.LutKind = lk3D;
    out.Size3D = size;
    mapping.FillTable(out, 0, progress);
}

void SaveCalibration(TLUT& table, const TCalibrationMapping* mapping, const TLutOutputProfile& profile, int size,
                     int bits, const std::string& fileName, TJobProgress* progress) {
    const TLUTFormat* format = GetLutFormat(profile.FormatIndex);
    if (format == nullptr || !format->Is3D)
        throw ELUTError("\"" + profile.Name + "\" writes 1D curves; a calibration is a 3D LUT.");
    if (!ProfileAllowsSize(profile, size)) {
        CheckLutSize(size, MaxLut3DSize, "3D LUT");
        throw ELUTError("\"" + profile.Name + "\" writes only " + std::to_string(profile.DefaultSize) +
                        " points per axis.");
    }
    if (!ProfileAllowsBits(profile, bits)) {
        throw ELUTError("\"" + profile.Name + "\" cannot write " + std::to_string(bits) + "-bit values.");
    }
    if (table.LutKind == lk3D && size == table.Size3D) {
        // The window's own table is the calibration on this grid.
        if (progress != nullptr) progress->CheckCancelled();
        SaveThroughProfile(profile, table, bits, fileName);
        return;
    }
    // Other sizes are evaluated on their own grid, not interpolated from the table.
    auto sized = std::make_unique<TLUT>();
    if (mapping != nullptr)
        TabulateCalibration(*mapping, size, *sized, progress);
    else
        ResampleLut(table, true, size, *sized);
    // The last moment a cancel keeps the file from being written.
    if (progress != nullptr) progress->CheckCancelled();
    SaveThroughProfile(profile, *sized, bits, fileName);
}

}  // namespace tintavo
