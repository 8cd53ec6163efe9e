#include "cli/Commands.h"

#include "cli/Args.h"
#include "common/FileIO.h"
#include "formats/LUTFormat.h"
#include "picture/Picture.h"

namespace tintavo::cli {

const std::vector<TCommand>& Commands() {
    // The chart names come from the chart table.
    static const std::string charts = ChartNames("|", "|");
    static const std::string calibrateUsage =
        "tintavo-cli calibrate IMAGE --chart " + charts + " --rect X1,Y1,X2,Y2 [--full] --profile PROFILE\n" +
        std::string(22, ' ') +
        "[--size N] [--bits B] -o OUTPUT\n"
        "  the rectangle is in pixels of the working image (the picture reduced to fit 1500 x 1000),\n"
        "  (X1, Y1) being the corner where the drag starts; --full also corrects the brightness";
    static const std::string reportUsage =
        "tintavo-cli report IMAGE --chart " + charts + " --rect X1,Y1,X2,Y2 [--full] [--json]";
    static const std::string applyUsage =
        "tintavo-cli apply LUTFILE IMAGE -o OUTIMAGE [--from FORMAT]\n  OUTIMAGE: " + SavablePictureExtensions();
    static const std::vector<TCommand> commands = {
        {"profiles", "tintavo-cli profiles [--json]", "list the output profiles", RunProfiles},
        {"formats", "tintavo-cli formats [--json]", "list the LUT formats", RunFormats},
        {"info", "tintavo-cli info FILE [--from FORMAT] [--json] [--values]", "identify and describe a LUT file",
         RunInfo},
        {"convert",
         "tintavo-cli convert INPUT OUTPUT [--profile PROFILE] [--size N] [--bits B] [--from FORMAT]\n"
         "  PROFILE: a profile name or number 1..31 (needed unless OUTPUT's extension belongs to one profile)\n"
         "  FORMAT: a format name or index 0..30",
         "write a LUT file through an output profile", RunConvert},
        {"calibrate", calibrateUsage.c_str(), "calibrate from a chart photograph and write the LUT", RunCalibrate},
        {"apply", applyUsage.c_str(),
         "apply a LUT to a picture at its full size", RunApply},
        {"report", reportUsage.c_str(), "the calibration's CIEDE2000 errors per patch", RunReport},
    };
    return commands;
}

std::string WrittenLine(const std::string& fileName, const std::string& profileName, bool is3D, int size, int bits) {
    std::string line = "Wrote " + fileName + " (" + profileName + ", " + std::to_string(size) +
                       (is3D ? " points per axis" : " entries");
    if (bits > 0) line += ", " + std::to_string(bits) + " bits";
    return line + ")\n";
}

const char* KindName(TLutKind kind) {
    switch (kind) {
        case lk1D: return "1D";
        case lk3D: return "3D";
        case lk1DThen3D: return "1D+3D";
        case lkPassThrough: return "passthrough";
    }
    return "unknown";
}

TLoadedLut LoadLutFile(const std::string& fileName, const std::optional<std::string>& fromFormat) {
    TLoadedLut loaded;
    if (fromFormat) {
        loaded.FormatIndex = ResolveFormat(*fromFormat);
        if (!GetLutFormat(loaded.FormatIndex)->CanRead) {
            throw EUsageError("the format \"" + GetLutFormat(loaded.FormatIndex)->Name + "\" does not read files");
        }
    }
    // Opening the file first gives a plain "cannot open" message rather than a format's.
    ReadFileHeadBytes(fileName, 1);
    if (!fromFormat) {
        const auto& formats = LutFormats();
        for (int i = 0; i < static_cast<int>(formats.size()) && loaded.FormatIndex < 0; ++i) {
            if (formats[i]->CanRead && formats[i]->Identify(fileName)) loaded.FormatIndex = i;
        }
        if (loaded.FormatIndex < 0) {
            throw std::runtime_error("\"" + fileName + "\" is in no known LUT format (name one with --from)");
        }
    }
    const TLUTFormat* format = GetLutFormat(loaded.FormatIndex);
    loaded.Lut = std::make_unique<TLUT>();
    try {
        format->Load(fileName, *loaded.Lut);
    } catch (const std::exception& e) {
        throw std::runtime_error("cannot read \"" + fileName + "\" as " + format->Name + ": " + e.what());
    }
    return loaded;
}

void CheckUsableLut(const TLoadedLut& loaded, const std::string& fileName) {
    const TLUT& lut = *loaded.Lut;
    const std::string prefix = "\"" + fileName + "\" (" + GetLutFormat(loaded.FormatIndex)->Name + ") ";
    const bool uses1D = lut.LutKind == lk1D || lut.LutKind == lk1DThen3D;
    const bool uses3D = lut.LutKind == lk3D || lut.LutKind == lk1DThen3D;
    if (uses1D && (lut.Size1D < 2 || lut.Size1D > MaxLut1DSize)) {
        throw std::runtime_error(prefix + "holds 1D curves of " + std::to_string(lut.Size1D) +
                                 " entries; 2 to 100001 are needed");
    }
    if (uses3D && (lut.Size3D < 2 || lut.Size3D > MaxLut3DSize)) {
        throw std::runtime_error(prefix + "holds a 3D table of " + std::to_string(lut.Size3D) +
                                 " points per axis; 2 to 101 are needed");
    }
}

}  // namespace tintavo::cli
