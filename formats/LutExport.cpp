#include "formats/LutExport.h"

#include <string>

namespace tintavo {

void CheckLutSize(int size, int largest, const char* what) {
    if (size < MinLutSize || size > largest) {
        throw ELUTError("The " + std::string(what) + " size " + std::to_string(size) + " is outside " +
                        std::to_string(MinLutSize) + ".." + std::to_string(largest) + ".");
    }
}

bool ProfileAllowsBits(const TLutOutputProfile& profile, int bits) {
    if (bits == 0 || bits == profile.DefaultBits) return true;
    if (!profile.BitsSelectable) return false;
    for (int allowed : SelectableBitDepths)
        if (bits == allowed) return true;
    return false;
}

bool ProfileAllowsSize(const TLutOutputProfile& profile, int size) {
    if (size == profile.DefaultSize) return true;
    if (!profile.SizeSelectable) return false;
    const TLUTFormat* format = GetLutFormat(profile.FormatIndex);
    const int largest = format != nullptr && format->Is3D ? MaxLut3DSize : MaxLut1DSize;
    return size >= MinLutSize && size <= largest;
}

namespace {

// Grid coordinate k / (size - 1), computed in extended precision and stored as a double, as the
// calibration computes its nodes.
double GridCoordinate(int k, int size) {
    return static_cast<double>(static_cast<long double>(k) / static_cast<long double>(size - 1));
}

}  // namespace

void ResampleLut(const TLUT& source, bool to3D, int size, TLUT& out) {
    if (&source == &out) throw ELUTError("A LUT cannot be resampled into itself.");
    if (to3D) {
        CheckLutSize(size, MaxLut3DSize, "3D LUT");
        out.LutKind = lk3D;
        out.Size3D = size;
        if (source.LutKind == lk3D && source.Size3D == size) {
            // The same grid: the entries as they stand (interpolating at a node could move a
            // value by a rounding step).
            for (int r = 0; r < size; ++r)
                for (int g = 0; g < size; ++g)
                    for (int b = 0; b < size; ++b) out.Table3D[r][g][b] = source.Table3D[r][g][b];
        } else {
            for (int r = 0; r < size; ++r) {
                const double x = GridCoordinate(r, size);
                for (int g = 0; g < size; ++g) {
                    const double y = GridCoordinate(g, size);
                    for (int b = 0; b < size; ++b) {
                        out.Table3D[r][g][b] = ApplyLut(source, TLutColor{x, y, GridCoordinate(b, size)});
                    }
                }
            }
        }
    } else {
        if (source.LutKind != lk1D && source.LutKind != lkPassThrough) {
            throw ELUTError("A 3D LUT cannot be written as 1D curves.");
        }
        CheckLutSize(size, MaxLut1DSize, "1D LUT");
        out.LutKind = lk1D;
        out.Size1D = size;
        if (source.LutKind == lk1D && source.Size1D == size) {
            for (int i = 0; i < size; ++i) out.Table1D[i] = source.Table1D[i];
        } else {
            for (int i = 0; i < size; ++i) {
                const double x = GridCoordinate(i, size);
                out.Table1D[i] = ApplyLut(source, TLutColor{x, x, x});
            }
        }
    }
    out.Comments = source.Comments;
}

void SaveThroughProfile(const TLutOutputProfile& profile, TLUT& lut, int bits, const std::string& fileName) {
    const TLUTFormat* format = GetLutFormat(profile.FormatIndex);
    if (!format) throw ELUTError("The output profile \"" + profile.Name + "\" has no format.");
    // A writer writes the one table of its kind as it stands; anything else would write stale
    // or missing entries.
    if (format->Is3D) {
        if (lut.LutKind != lk3D || lut.Size3D < MinLutSize || lut.Size3D > MaxLut3DSize) {
            throw ELUTError("\"" + profile.Name + "\" needs a 3D LUT of 2 to 101 points per axis.");
        }
    } else if (lut.LutKind != lk1D || lut.Size1D < MinLutSize || lut.Size1D > MaxLut1DSize) {
        throw ELUTError("\"" + profile.Name + "\" needs 1D curves of 2 to 100001 entries.");
    }
    format->Save(fileName, lut, bits == 0 ? profile.DefaultBits : bits);
}

}  // namespace tintavo
