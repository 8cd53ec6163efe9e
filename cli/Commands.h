// The commands of tintavo-cli. Each takes its parsed command line and returns the exit status;
// it raises EUsageError for a mistake in the command line and lets every other error (a file
// that cannot be read or written, a failed fit) travel up to main.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/Args.h"
#include "lut/LUT.h"

namespace tintavo::cli {

// The commands, each with the arguments and options it takes; adding an option to a command is
// one entry in its list (Commands.cpp) and reading it in the command's Run.
const std::vector<TCommand>& Commands();

int RunProfiles(const TArgs& args);
int RunFormats(const TArgs& args);
int RunInfo(const TArgs& args);
int RunConvert(const TArgs& args);
int RunCalibrate(const TArgs& args);
int RunApply(const TArgs& args);
int RunReport(const TArgs& args);

// A LUT file read into a fresh TLUT. A failed load is discarded; the error names the file and
// the format that tried to read it.
struct TLoadedLut {
    std::unique_ptr<TLUT> Lut;
    int FormatIndex = -1;
};
// Reads `fileName` with the format named by `fromFormat`, or else with the first format in
// registry order that identifies the file.
TLoadedLut LoadLutFile(const std::string& fileName, const std::optional<std::string>& fromFormat);
// Raises an error unless the loaded LUT has a table of a usable size for the kind in use.
void CheckUsableLut(const TLoadedLut& loaded, const std::string& fileName);

// Reads the picture `image`, applies `lut` to it at its full size and writes it to `output` in
// the type the name's extension gives. The one step of apply, for one picture or a batch.
struct TPictureExtent {
    int Width = 0;
    int Height = 0;
};
TPictureExtent ApplyLutToPictureFile(const TLUT& lut, const std::string& image, const std::string& output);

// The line printed after a LUT file was written: its name, profile, size and bit depth.
std::string WrittenLine(const std::string& fileName, const std::string& profileName, bool is3D, int size, int bits);

// "1D", "3D", "1D+3D" or "passthrough".
const char* KindName(TLutKind kind);

}  // namespace tintavo::cli
