// One run of a LUT format on an input file, shared by the fuzz target fuzz_formats and the
// test that replays its corpus and crashers. An input is two bytes followed by the file: the
// first byte chooses the format (31 or more: every format in turn), the second the file
// extension (low five bits) and the bit depth of a save that follows a successful load (top
// two bits).
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

#include "formats/LUTFormat.h"
#include "lut/LUT.h"

namespace tintavo::fuzzharness {

inline const char* const Extensions[] = {"cube", "3dl",  "lut",  "m3d",  "mga", "cms",  "txt", "dat",
                                         "3dmesh", "cfe", "1dlut", "alut", "ilut", "olut", "xml", "look",
                                         "cdl",  "cc",   "ccc",  "pfl",  "dd3", "cub",  "swto.xml", "bin"};
constexpr int ExtensionCount = sizeof(Extensions) / sizeof(Extensions[0]);

inline const char* ExtensionOf(std::uint8_t selector) { return Extensions[(selector & 0x1f) % ExtensionCount]; }
inline int BitsOf(std::uint8_t selector) {
    constexpr int bits[] = {8, 10, 12, 16};
    return bits[selector >> 6];
}

// Identify, Load and, after a successful load, ApplyLut and Save. Exceptions derived from
// std::exception are fine outcomes. Returns "" or what went wrong: a loaded LUT whose sizes
// lie outside the tables or below two points for a 3D kind, or, with `strict`, a failed load
// that changed the LUT's kind or sizes (formats with their own Load need not keep them;
// callers go through LoadLut, which discards a failed load).
inline std::string ExerciseFormat(const TLUTFormat& format, const std::string& file, const std::string& saveFile, int bits,
                                  TLUT& lut, bool strict) {
    try {
        (void)format.Identify(file);
    } catch (const std::exception&) {
    }
    // A known starting state, so that every input replays the same way.
    lut.LutKind = lk3D;
    lut.Size3D = 2;
    lut.Size1D = 2;
    lut.Comments.clear();
    bool loaded = false;
    try {
        format.Load(file, lut);
        loaded = true;
    } catch (const std::exception&) {
    }
    if (!loaded) {
        if (strict && (lut.LutKind != lk3D || lut.Size3D != 2 || lut.Size1D != 2))
            return format.Name + ": a failed load changed the LUT's kind or sizes (kind " +
                   std::to_string(int(lut.LutKind)) + ", Size3D " + std::to_string(lut.Size3D) + ", Size1D " +
                   std::to_string(lut.Size1D) + ")";
        return "";
    }
    const bool uses3D = lut.LutKind == lk3D || lut.LutKind == lk1DThen3D;
    const bool uses1D = lut.LutKind == lk1D || lut.LutKind == lk1DThen3D;
    if (lut.LutKind > lkPassThrough || lut.Size3D > MaxLut3DSize || lut.Size1D > MaxLut1DSize ||
        (uses3D && lut.Size3D < 2) || (uses1D && lut.Size1D < 0))
        return format.Name + ": loaded a LUT with kind " + std::to_string(int(lut.LutKind)) + ", Size3D " +
               std::to_string(lut.Size3D) + ", Size1D " + std::to_string(lut.Size1D);
    for (double v : {0.0, 0.37, 1.0}) {
        volatile double sink = ApplyLut(lut, {v, 1.0 - v, v * v}).R;
        (void)sink;
    }
    // Large tables are left out of the save: writing them only costs time here, and the
    // writers' handling of the largest sizes has tests of its own.
    if (lut.Size3D > 33 && format.Is3D) return "";
    if (lut.Size1D > 8192 && !format.Is3D) return "";
    try {
        format.Save(saveFile, lut, bits);
    } catch (const std::exception&) {
    }
    return "";
}

// Runs the format(s) chosen by `choice` on `file`; returns the first problem or "".
inline std::string ExerciseChoice(int choice, const std::string& file, const std::string& saveFile, int bits,
                                  TLUT& lut, bool strict) {
    const int count = static_cast<int>(LutFormats().size());
    if (choice < count) return ExerciseFormat(*GetLutFormat(choice), file, saveFile, bits, lut, strict);
    for (int i = 0; i < count; ++i) {
        std::string problem = ExerciseFormat(*GetLutFormat(i), file, saveFile, bits, lut, strict);
        if (!problem.empty()) return problem;
    }
    return "";
}

}  // namespace tintavo::fuzzharness
