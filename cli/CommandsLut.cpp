// info, convert and apply: LUT files read through the format registry.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <limits>

#include "cli/Args.h"
#include "cli/BatchApply.h"
#include "cli/Commands.h"
#include "cli/Json.h"
#include "formats/LUTFormat.h"
#include "formats/LutExport.h"
#include "lut/Bitmap.h"
#include "picture/Picture.h"

namespace tintavo::cli {

namespace {

// Entries of a table that can be listed: the size in use, kept within the capacity (a failed or
// odd file may declare anything).
int Listed(int size, int capacity) { return std::clamp(size, 0, capacity); }

struct TChannelRange {
    double Min[3] = {std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(),
                     std::numeric_limits<double>::infinity()};
    double Max[3] = {-std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                     -std::numeric_limits<double>::infinity()};
    void Add(const TLutColor& c) {
        const double v[3] = {c.R, c.G, c.B};
        for (int k = 0; k < 3; ++k) {
            Min[k] = std::min(Min[k], v[k]);
            Max[k] = std::max(Max[k], v[k]);
        }
    }
};

void PrintRange(const char* label, const TChannelRange& range) {
    static const char names[3] = {'R', 'G', 'B'};
    std::printf("%s", label);
    for (int k = 0; k < 3; ++k) std::printf("%s%c %.6f .. %.6f", k ? ", " : "", names[k], range.Min[k], range.Max[k]);
    std::printf("\n");
}

// The shortest decimal that reads back to the same double; "null" for NaN and infinities, as in
// the JSON output.
std::string ShortestNumber(double v) {
    if (!std::isfinite(v)) return "null";
    char buf[64];
    const auto result = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, result.ptr);
}

TJson Triple(const TLutColor& c) { return TJson::array({c.R, c.G, c.B}); }

}  // namespace

int RunInfo(const TArgs& args) {
    const std::string& fileName = args.Positional(0);
    const TLoadedLut loaded = LoadLutFile(fileName, args.Value("--from"));
    const TLUT& lut = *loaded.Lut;
    const std::string& formatName = GetLutFormat(loaded.FormatIndex)->Name;
    const int n1 = Listed(lut.Size1D, MaxLut1DSize);
    const int n3 = Listed(lut.Size3D, MaxLut3DSize);

    if (args.Has("--json")) {
        TJson info = {{"format", formatName},
                      {"formatIndex", loaded.FormatIndex},
                      {"kind", KindName(lut.LutKind)},
                      {"size1d", lut.Size1D},
                      {"size3d", lut.Size3D},
                      {"comments", TJson::array()}};
        for (const std::string& c : lut.Comments) info["comments"].push_back(JsonText(c));
        if (args.Has("--values")) {
            TJson& table1d = info["table1d"] = TJson::array();
            for (int i = 0; i < n1; ++i) table1d.push_back(Triple(lut.Table1D[i]));
            TJson& table3d = info["table3d"] = TJson::array();
            table3d.get_ref<TJson::array_t&>().reserve(static_cast<std::size_t>(n3) * n3 * n3);
            for (int r = 0; r < n3; ++r)
                for (int g = 0; g < n3; ++g)
                    for (int b = 0; b < n3; ++b) table3d.push_back(Triple(lut.Table3D[r][g][b]));
        }
        PrintJson(std::cout, info);
        return 0;
    }

    std::printf("File:     %s\n", fileName.c_str());
    std::printf("Format:   %s (index %d)\n", formatName.c_str(), loaded.FormatIndex);
    std::printf("Kind:     %s\n", KindName(lut.LutKind));
    const bool uses1D = lut.LutKind == lk1D || lut.LutKind == lk1DThen3D;
    const bool uses3D = lut.LutKind == lk3D || lut.LutKind == lk1DThen3D;
    if (uses1D) {
        std::printf("1D size:  %d entries\n", lut.Size1D);
        if (n1 > 0) {
            TChannelRange range;
            for (int i = 0; i < n1; ++i) range.Add(lut.Table1D[i]);
            PrintRange("1D range: ", range);
        }
    }
    if (uses3D) {
        std::printf("3D size:  %d points per axis\n", lut.Size3D);
        if (n3 > 0) {
            TChannelRange range;
            for (int r = 0; r < n3; ++r)
                for (int g = 0; g < n3; ++g)
                    for (int b = 0; b < n3; ++b) range.Add(lut.Table3D[r][g][b]);
            PrintRange("3D range: ", range);
        }
    }
    if (args.Has("--values")) {
        if (uses1D)
            for (int i = 0; i < n1; ++i) {
                const TLutColor& c = lut.Table1D[i];
                std::printf("1D %d: %s %s %s\n", i, ShortestNumber(c.R).c_str(),
                            ShortestNumber(c.G).c_str(), ShortestNumber(c.B).c_str());
            }
        if (uses3D)
            for (int r = 0; r < n3; ++r)
                for (int g = 0; g < n3; ++g)
                    for (int b = 0; b < n3; ++b) {
                        const TLutColor& c = lut.Table3D[r][g][b];
                        std::printf("3D %d %d %d: %s %s %s\n", r, g, b, ShortestNumber(c.R).c_str(),
                                    ShortestNumber(c.G).c_str(), ShortestNumber(c.B).c_str());
                    }
    }
    std::printf("Comments: %zu\n", lut.Comments.size());
    for (const std::string& c : lut.Comments) std::printf("  %s\n", c.c_str());
    return 0;
}

int RunConvert(const TArgs& args) {
    const std::string& input = args.Positional(0);
    const std::string& output = args.Positional(1);
    const auto profileText = args.Value("--profile");
    const int profileIndex = profileText ? ResolveProfile(*profileText) : ProfileForFileName(output);
    const TLutOutputProfile& profile = *GetOutputProfile(profileIndex);
    const int size = ResolveSize(profile, args.Value("--size"));
    const int bits = ResolveBits(profile, args.Value("--bits"));
    const bool to3D = GetLutFormat(profile.FormatIndex)->Is3D;

    const TLoadedLut loaded = LoadLutFile(input, args.Value("--from"));
    CheckUsableLut(loaded, input);
    if (!to3D && (loaded.Lut->LutKind == lk3D || loaded.Lut->LutKind == lk1DThen3D)) {
        throw std::runtime_error("\"" + input + "\" holds a 3D table, which the 1D profile \"" + profile.Name +
                                 "\" cannot hold");
    }
    auto out = std::make_unique<TLUT>();
    ResampleLut(*loaded.Lut, to3D, size, *out);
    SaveThroughProfile(profile, *out, bits, output);
    std::cout << WrittenLine(output, profile.Name, to3D, size, bits);
    return 0;
}

TPictureExtent ApplyLutToPictureFile(const TLUT& lut, const std::string& image, const std::string& output) {
    TBitmap24 bitmap;
    LoadPicture(image, bitmap);
    ApplyLutToBitmap(lut, bitmap);
    SavePicture(output, bitmap);
    return {bitmap.Width(), bitmap.Height()};
}

int RunApply(const TArgs& args) {
    if (args.Has("--out-dir")) return RunBatchApply(args);
    for (const char* batchOnly : {"--overwrite", "--type", "--jobs"})
        if (args.Has(batchOnly)) throw EUsageError(std::string(batchOnly) + " goes with --out-dir");
    if (args.Positionals(1).size() > 1) throw EUsageError("several pictures are written with --out-dir DIR");
    if (!args.Has("-o")) throw EUsageError("option -o is required (or --out-dir DIR)");
    const std::string& lutFile = args.Positional(0);
    const std::string& image = args.Positional(1);
    const std::string& output = args.Required("-o");
    if (!CanSavePicture(output)) {
        throw EUsageError("the output picture must be named " + SavablePictureExtensions() + ": \"" + output + "\"");
    }
    const TLoadedLut loaded = LoadLutFile(lutFile, args.Value("--from"));
    CheckUsableLut(loaded, lutFile);
    const TPictureExtent written = ApplyLutToPictureFile(*loaded.Lut, image, output);
    std::cout << "Wrote " << output << " (" << written.Width << " x " << written.Height << " pixels)\n";
    return 0;
}

}  // namespace tintavo::cli
