#include "cli/Commands.h"

#include "cli/Args.h"
#include "common/FileIO.h"
#include "engine/CalibrationModel.h"
#include "formats/LUTFormat.h"
#include "picture/Picture.h"

namespace tintavo::cli {

namespace {

// Options that several commands share.
const TOptionSpec FromOption{"--from", "FORMAT",
                             "read the file with this format: its name (letter case ignored) or its index 0..30 as "
                             "\"tintavo-cli formats\" lists them",
                             "the first format in registry order that identifies the file"};
const TOptionSpec SizeOption{"--size", "N",
                             "the table size, where the profile lets you choose it (\"tintavo-cli profiles\", column "
                             "Choose): 2..101 points per axis for 3D, 2..100001 entries for 1D",
                             "the profile's size"};
const TOptionSpec BitsOption{"--bits", "B",
                             "the bit depth of the written codes, where the profile lets you choose it: 8, 10, 12, 14 "
                             "or 16",
                             "the profile's bit depth"};
const TOptionSpec RectOption{"--rect", "X1,Y1,X2,Y2",
                             "the chart's patch grid in pixels of the working image (the picture reduced to fit 1500 x "
                             "1000); (X1, Y1) is the corner where the drag starts, at patch column 0, row 0",
                             "--corners or --detect; one of the three is needed"};
const TOptionSpec CornersOption{"--corners", "X1,Y1,X2,Y2,X3,Y3,X4,Y4",
                                "the chart's patch grid as four corners in pixels of the working image, decimals "
                                "allowed, in chart order: the outer corner of the first patch (column 0, row 0), the "
                                "end of its row, the far corner, the start of the last row; for a tilted or turned "
                                "chart (\"tintavo-cli detect\" prints them)",
                                "--rect or --detect"};
const TOptionSpec DetectOption{"--detect", nullptr,
                               "find the chart in the picture and use its corners; with --chart auto, its type too",
                               "--rect or --corners"};
const TOptionSpec FullOption{"--full", nullptr, "correct the brightness as well as the colours",
                             "colours only, every colour keeps its brightness"};
const TOptionSpec PreciseOption{"--precise", nullptr,
                                "sample the patches at full precision (floating-point means of a working image reduced "
                                "in floating point) also for an 8-bit picture",
                                "full precision for pictures deeper than 8 bits, the 8-bit working image for 8-bit ones"};

}  // namespace

const std::vector<TCommand>& Commands() {
    // Chart names and picture types come from the chart and codec tables.
    static const std::string chartValue = ChartCommandNames("|", "|");
    static const std::string chartHelp = [] {
        std::string help = "the chart in the picture:";
        for (const TChartInfo& chart : Charts())
            help += std::string(" ") + chart.CommandName + " or \"" + chart.DisplayName + "\" (" +
                    std::to_string(chart.Columns * chart.Rows) + " patches),";
        return help + " letter case ignored";
    }();
    static const std::string pictureHelp = "the chart photograph: " + PictureTypeNames();
    static const std::string applyPictureHelp =
        "the picture to correct: " + PictureTypeNames() + "; with --out-dir, several, folders or frame patterns";
    static const std::string applyTypeHelp =
        "the type of the pictures written with --out-dir, by extension: " + SavablePictureExtensions();
    static const std::string applyOutputHelp =
        "the corrected picture to write, in the type its extension names: " + SavablePictureExtensions();
    static const std::string chartOrAutoValue = chartValue + "|auto";
    static const std::string chartOrAutoHelp = chartHelp + "; or auto with --detect: whichever chart is found";
    static const std::string detectChartHelp = chartHelp + "; or auto: whichever chart is found";
    const TOptionSpec ChartOption{"--chart", chartOrAutoValue.c_str(), chartOrAutoHelp.c_str(), nullptr, true};
    static const std::string selectionNotes =
        " The selection is one of --rect, --corners and --detect. It is checked against the chart's colours: when "
        "the colours fit the chart clearly better read from another corner, or fit no reading of the chart, a line "
        "beginning with \"warning: \" on stderr says so and what to do; the command still runs on the selection as "
        "given.";
    static const std::string calibrateNotes =
        "The picture is opened as the window opens it, and the file is written byte for byte as the window's Save "
        "dialog writes it. The window's table has 33 points per axis; another size is evaluated from the fitted "
        "mapping on its own grid." +
        selectionNotes;
    static const std::string reportNotes =
        "Per patch: the CIEDE2000 error (sRGB to CIELAB, D65 white) before and after the correction, and the "
        "leave-one-out error under a fit without that patch. Then mean, median and maximum for the control patches, "
        "the held-out patches (Digital SG) and all. With --model or --compare-models the table shows, instead of the "
        "leave-one-out error, the held-out error under cross-validation (leave one out on the Classic chart; 5 folds "
        "on the Digital SG chart, patches whose reference colours lie within 0.02 of each other in one fold, the "
        "whole fit re-run per fold) beside the in-sample one, with 95th percentiles, and the models compared. The "
        "JSON always holds both." +
        selectionNotes;
    const char* const PictureHelp = pictureHelp.c_str();
    static const std::string modelValue = [] {
        std::string names;
        for (const TCalibrationModelEntry& model : CalibrationModels())
            names += (names.empty() ? "" : "|") + std::string(model.Name);
        return names;
    }();
    static const std::string modelHelp = [] {
        std::string help = "the calibration model, letter case ignored:";
        for (const TCalibrationModelEntry& model : CalibrationModels())
            help += std::string(" ") + model.Name + " (" + model.Description + "),";
        help.back() = ';';
        return help;
    }();
    const TOptionSpec ModelOption{"--model", modelValue.c_str(), modelHelp.c_str(), DefaultCalibrationModel.data()};
    static const std::vector<TCommand> commands = {
        {"profiles",
         "list the output profiles",
         {},
         {{"--json", nullptr, "print JSON instead of a table", "a table"}},
         "Profiles 1..19 write 3D tables (the ones a calibration can be saved through); 20..31 write 1D curves "
         "(for convert).",
         RunProfiles},
        {"formats",
         "list the LUT formats",
         {},
         {{"--json", nullptr, "print JSON instead of a table", "a table"}},
         nullptr,
         RunFormats},
        {"info",
         "identify and describe a LUT file",
         {{"FILE", "the LUT file"}},
         {FromOption,
          {"--json", nullptr, "print JSON instead of text", "text"},
          {"--values", nullptr, "also list every table entry, as the shortest decimals that read back exactly",
           "sizes and value ranges only"}},
         nullptr,
         RunInfo},
        {"convert",
         "write a LUT file through an output profile",
         {{"INPUT", "the LUT file to read"}, {"OUTPUT", "the LUT file to write; an existing file is replaced"}},
         {{"--profile", "PROFILE",
           "the output profile: its name (letter case ignored) or its number 1..31 as \"tintavo-cli profiles\" "
           "lists them",
           "the one profile whose extension OUTPUT has; an error when several or none have it"},
          SizeOption,
          BitsOption,
          FromOption},
         "The table is resampled to the size written. 1D curves can be written through a 3D profile (each channel "
         "along its own axis), a 3D table cannot become 1D curves.",
         RunConvert},
        {"detect",
         "find a colour chart in a photograph",
         {{"IMAGE", PictureHelp}},
         {{"--chart", chartOrAutoValue.c_str(), detectChartHelp.c_str(), "auto"},
          {"--json", nullptr, "print JSON instead of text", "text"}},
         "Prints the chart type, its four corners in chart order in pixels of the working image (the picture "
         "reduced to fit 1500 x 1000; give them to calibrate or report with --corners), the chart's clockwise "
         "rotation in the picture (0, 90, 180 or 270) and how well its patch colours fit the chart (0..1). JSON: "
         "{\"chart\", \"corners\": [[x, y] x 4], \"orientation\", \"score\"}. Without a chart the exit status is 1.",
         RunDetect},
        {"calibrate",
         "calibrate from a chart photograph and write the LUT",
         {{"IMAGE", PictureHelp}},
         {ChartOption,
          RectOption,
          CornersOption,
          DetectOption,
          FullOption,
          ModelOption,
          PreciseOption,
          {"--profile", "PROFILE",
           "the output profile: one of the 3D profiles 1..19, by name (letter case ignored) or number as "
           "\"tintavo-cli profiles\" lists them",
           nullptr, true},
          SizeOption,
          BitsOption,
          {"-o", "OUTPUT", "the LUT file to write; an existing file is replaced", nullptr, true}},
         calibrateNotes.c_str(),
         RunCalibrate},
        {"apply",
         "apply a LUT to pictures at their full size",
         {{"LUTFILE", "the LUT file"}, {"IMAGE", applyPictureHelp.c_str(), true}},
         {{"-o", "OUTIMAGE", applyOutputHelp.c_str(), "none; --out-dir is given instead"},
          {"--out-dir", "DIR",
           "write one corrected picture per IMAGE into DIR, under the input's name (DIR is made if missing)",
           "one IMAGE, written to -o"},
          {"--type", "EXT", applyTypeHelp.c_str(), "each input's type"},
          {"--overwrite", nullptr, "replace outputs that already exist in DIR", "a picture whose output exists fails"},
          {"--jobs", "N", "pictures worked on at once with --out-dir", "one per core"},
          FromOption,
          {"--interp", "trilinear|tetrahedral", "how the 3D table is interpolated between its nodes", "trilinear"},
          {"--depth", "8|10|16|half|float",
           "the depth of the written samples, where the output's type has it: JPEG and BMP 8; PNG and TIFF 8 or 16; "
           "DPX 10 or 16; OpenEXR half or float",
           "the picture's own: 8 bits for an 8-bit picture where the type has them, else the type's deepest default "
           "(PNG and TIFF 16, DPX 10, OpenEXR half)"}},
         "A picture deeper than 8 bits, or one written deeper than 8 bits, is corrected in floating point and rounded "
         "only when written. OpenEXR samples outside 0..1 are clamped into the LUT's domain, and a warning says how "
         "many were. With --out-dir, an IMAGE may also be a folder (the pictures in it) or a frame pattern such as "
         "shot.%04d.tif (every existing frame). A picture that fails is reported and the others are still "
         "written; the exit status is then 1. On a terminal the progress is shown on the standard error.",
         RunApply},
        {"report",
         "the calibration's CIEDE2000 errors per patch",
         {{"IMAGE", PictureHelp}},
         {ChartOption,
          RectOption,
          CornersOption,
          DetectOption,
          FullOption,
          ModelOption,
          {"--compare-models", nullptr, "also score every model on the same held-out folds", "the chosen model only"},
          PreciseOption,
          {"--json", nullptr, "print JSON instead of a table", "a table"}},
         reportNotes.c_str(),
         RunReport},
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
    if (fromFormat) {
        // Opening the file first gives a plain "cannot open" message rather than a format's.
        ReadFileHeadBytes(fileName, 1);
    } else {
        loaded.FormatIndex = IdentifyLutFormat(fileName);
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
