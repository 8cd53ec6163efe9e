// One run of a LUT format on an input file, shared by the format fuzz targets and the test that
// replays their seeds and crashers. The formats are fuzzed in three families, one target each
// (FormatTargets). An input is two bytes followed by the file: the first byte chooses the
// format among the target's (modulo their number), the second the file extension (low five
// bits) and the bit depth of a save that follows a successful load (top two bits).
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "formats/LUTFormat.h"
#include "lut/LUT.h"

namespace tintavo::fuzzharness {

inline const char* const Extensions[] = {"cube", "3dl",  "lut",  "m3d",  "mga", "cms",  "txt", "dat",
                                         "3dmesh", "cfe", "1dlut", "alut", "ilut", "olut", "xml", "look",
                                         "cdl",  "cc",   "ccc",  "pfl",  "dd3", "cub",  "swto.xml", "bin"};
constexpr int ExtensionCount = sizeof(Extensions) / sizeof(Extensions[0]);
constexpr int SaveBits[] = {8, 10, 12, 16};

inline const char* ExtensionOf(std::uint8_t selector) { return Extensions[(selector & 0x1f) % ExtensionCount]; }
inline int BitsOf(std::uint8_t selector) { return SaveBits[selector >> 6]; }

// The selector byte that names `extension` (or "bin") and `bits` (one of SaveBits, else 8).
inline std::uint8_t SelectorFor(std::string_view extension, int bits) {
    int ext = ExtensionCount - 1;
    for (int i = 0; i < ExtensionCount; ++i)
        if (extension == Extensions[i]) ext = i;
    int depth = 0;
    for (int i = 0; i < 4; ++i)
        if (SaveBits[i] == bits) depth = i;
    return static_cast<std::uint8_t>(ext | (depth << 6));
}

// A fuzz target over a family of formats: its program name and the registry indices it runs.
struct TFormatTarget {
    const char* Name;
    std::vector<int> Formats;
};

// Every registry index belongs to exactly one target (a test checks it).
inline const std::vector<TFormatTarget>& FormatTargets() {
    static const std::vector<TFormatTarget> targets = {
        // The 3D text layouts (decimal and integer) and the binary FSI DIT.
        {"fuzz_formats_3d", {0, 1, 2, 3, 4, 5, 6, 9, 10, 11, 12, 29, 30}},
        // The 1D text layouts.
        {"fuzz_formats_1d", {7, 13, 14, 15, 16, 18, 19, 20, 21, 22, 23, 24, 25}},
        // The XML layouts and ASC CDL.
        {"fuzz_formats_xml", {8, 17, 26, 27, 28}},
    };
    return targets;
}

inline const TFormatTarget& FormatTarget(std::string_view name) {
    for (const auto& target : FormatTargets())
        if (name == target.Name) return target;
    std::abort();
}

// The registry index an input's first byte chooses in `target`.
inline int ChosenFormat(const TFormatTarget& target, std::uint8_t choice) {
    return target.Formats[choice % target.Formats.size()];
}

// Identify, Load and, after a successful load, ApplyLut and Save. Exceptions derived from
// std::exception are fine outcomes. Returns "" or what went wrong: a loaded LUT whose sizes
// lie outside the tables or below two points for a 3D kind, or, with `strict`, a failed load
// that changed the LUT's kind or sizes (formats with their own Load need not keep them;
// callers go through LoadLut, which discards a failed load). `loaded`, when given, tells
// whether Load succeeded.
inline std::string ExerciseFormat(const TLUTFormat& format, const std::string& file, const std::string& saveFile,
                                  int bits, TLUT& lut, bool strict, bool* loaded = nullptr) {
    try {
        (void)format.Identify(file);
    } catch (const std::exception&) {
    }
    // A known starting state, so that every input replays the same way.
    lut.LutKind = lk3D;
    lut.Size3D = 2;
    lut.Size1D = 2;
    lut.Comments.clear();
    bool ok = false;
    try {
        format.Load(file, lut);
        ok = true;
    } catch (const std::exception&) {
    }
    if (loaded) *loaded = ok;
    if (!ok) {
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

// Runs the format of `target` that `choice` names on `file`; returns the problem or "".
inline std::string ExerciseChoice(const TFormatTarget& target, std::uint8_t choice, const std::string& file,
                                  const std::string& saveFile, int bits, TLUT& lut, bool strict,
                                  bool* loaded = nullptr) {
    return ExerciseFormat(*GetLutFormat(ChosenFormat(target, choice)), file, saveFile, bits, lut, strict, loaded);
}

// Runs every format on `file`; returns the first problem or "".
inline std::string ExerciseEveryFormat(const std::string& file, const std::string& saveFile, int bits, TLUT& lut,
                                       bool strict) {
    for (const auto& format : LutFormats()) {
        std::string problem = ExerciseFormat(*format, file, saveFile, bits, lut, strict);
        if (!problem.empty()) return problem;
    }
    return "";
}

// The body of a format fuzz target: writes the input's file into a folder of its own (in
// memory where the system has /dev/shm) and runs the chosen format on it. A problem aborts.
// With FUZZ_FORMATS_STRICT=1 in the environment, a failed load that changes the LUT's kind or
// sizes counts as a problem too.
inline int RunFuzzInput(const char* targetName, const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    static const TFormatTarget& target = FormatTarget(targetName);
    static const std::string folder = [targetName] {
        const std::filesystem::path base =
            std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
        const auto path = base / ("tintavo-" + std::string(targetName) + "-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
        return path.string();
    }();
    static const bool strict = [] {
        const char* v = std::getenv("FUZZ_FORMATS_STRICT");
        return v && std::string(v) == "1";
    }();
    static std::unique_ptr<TLUT> lut = std::make_unique<TLUT>();
    const std::string extension = ExtensionOf(data[1]);
    const std::string file = folder + "/input." + extension;
    const std::string saveFile = folder + "/output." + extension;
    std::FILE* f = std::fopen(file.c_str(), "wb");
    if (!f) std::abort();
    if (size > 2 && std::fwrite(data + 2, 1, size - 2, f) != size - 2) std::abort();
    std::fclose(f);
    const std::string problem = ExerciseChoice(target, data[0], file, saveFile, BitsOf(data[1]), *lut, strict);
    if (!problem.empty()) {
        std::fprintf(stderr, "%s: %s\n", targetName, problem.c_str());
        std::abort();
    }
    return 0;
}

}  // namespace tintavo::fuzzharness
