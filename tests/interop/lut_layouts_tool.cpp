// Writes one smooth non-linear LUT in many of our layouts and evaluates it with ApplyLut, so a
// script can compare the files as OpenColorIO reads them with our own results.
//
//   lut_layouts_tool <folder>
//
// Writes into <folder>: every layout file, "inputs.txt" (one colour per line), and per layout
// "ours-<id>.txt" (ApplyLut of the LUT that was saved) and "back-<id>.txt" (ApplyLut of the LUT
// our own reader reads back from the file). Prints one line per layout to stdout:
//   <id> TAB <file> TAB <quantisation step of the layout> TAB ok | failed: <message>
#include <cmath>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "formats/LUTFormat.h"
#include "lut/LUT.h"

using namespace tintavo;

namespace {

struct TLayout {
    const char* id;        // short name used in file names and by the script
    int formatIndex;       // in LutFormats()
    const char* fileName;  // the name OpenColorIO should see
    int size;              // grid points per axis or 1D entries
    int bits;              // 0 for decimal layouts
    bool is3D;
    double step;           // value quantisation of the layout
};

// A smooth non-linear colour mapping with mixing between channels, inside 0..1 so that integer
// layouts do not clamp it, and reaching 1.0 so that readers that guess the bit depth from the
// largest code guess right.
TLutColor Mapping3D(double r, double g, double b) {
    const double y = 0.2126 * r + 0.7152 * g + 0.0722 * b;
    return {std::pow(0.85 * r + 0.15 * y, 0.8), 0.1 * b + 0.9 * std::sin(1.5707963267948966 * g) * (0.9 + 0.1 * r),
            0.75 * b * b + 0.25 * std::sqrt(0.5 * (r + g))};
}

TLutColor Mapping1D(double x) { return {std::pow(x, 0.45), x * x, 0.5 - 0.5 * std::cos(3.141592653589793 * x)}; }

void Fill(TLUT& lut, const TLayout& layout) {
    const int n = layout.size;
    lut.Comments = {"interoperability test"};
    if (layout.is3D) {
        lut.LutKind = lk3D;
        lut.Size3D = n;
        for (int r = 0; r < n; ++r)
            for (int g = 0; g < n; ++g)
                for (int b = 0; b < n; ++b)
                    lut.Table3D[r][g][b] = Mapping3D(double(r) / (n - 1), double(g) / (n - 1), double(b) / (n - 1));
    } else {
        lut.LutKind = lk1D;
        lut.Size1D = n;
        for (int i = 0; i < n; ++i) lut.Table1D[i] = Mapping1D(double(i) / (n - 1));
    }
}

void WriteResults(const std::string& file, const TLUT& lut, const std::vector<TLutColor>& inputs) {
    std::FILE* f = std::fopen(file.c_str(), "w");
    if (!f) throw std::runtime_error("cannot create " + file);
    for (const auto& c : inputs) {
        const TLutColor o = ApplyLut(lut, c);
        std::fprintf(f, "%.9g %.9g %.9g\n", o.R, o.G, o.B);
    }
    std::fclose(f);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: lut_layouts_tool <folder>\n");
        return 2;
    }
    const std::string folder = argv[1];
    const TLayout layouts[] = {
        {"cube_iridas", 1, "iridas.cube", 32, 0, true, 1e-6},
        {"cube_davinci", 1, "davinci.cube", 33, 0, true, 1e-6},
        {"cube_truelight", 0, "truelight.cube", 32, 0, true, 1e-6},
        {"cube_truelight_cub", 0, "truelight.cub", 32, 0, true, 1e-6},
        {"fsi_cfe", 29, "fsi.cfe", 17, 0, true, 1e-6},
        {"nucoda", 5, "nucoda.cms", 33, 0, true, 1e-6},
        {"davinci_dat", 11, "davinci.dat", 33, 0, true, 1e-6},
        {"osd_3dmesh", 10, "osd.3dmesh", 17, 0, true, 1e-6},
        {"3dl_scratch", 4, "scratch.3dl", 17, 12, true, 1.0 / 4095},
        {"3dl_fusion", 4, "fusion.3dl", 33, 12, true, 1.0 / 4095},
        {"dolby_dd3", 4, "dolby.dd3", 17, 12, true, 1.0 / 4095},
        {"lustre_3d", 2, "lustre3d.lut", 33, 12, true, 1.0 / 4095},
        {"pandora_m3d", 3, "pandora.m3d", 17, 16, true, 1.0 / 65535},
        {"pandora_mga", 3, "technicolor.mga", 33, 16, true, 1.0 / 65535},
        {"codex_3d", 6, "codex3d.txt", 17, 12, true, 1.0 / 4095},
        {"luther_3d", 9, "luther.txt", 33, 10, true, 1.0 / 1023},
        {"quantel_3d", 12, "quantel3d.txt", 17, 12, true, 1.0 / 4095},
        {"cube_1d", 7, "curves.cube", 4096, 0, false, 1e-6},
        {"truelight_1d", 15, "curves_tl.cube", 4096, 0, false, 1e-6},
        {"codex_1d", 13, "codex.dat", 1024, 10, false, 1.0 / 1023},
        {"codex_1d_lut", 13, "codex.lut", 1024, 10, false, 1.0 / 1023},
        {"lustre_1d", 14, "lustre1d.lut", 4096, 12, false, 1.0 / 4095},
    };

    // Colours to compare: the corners, a line through the grey axis and pseudo-random colours.
    std::vector<TLutColor> inputs;
    for (int k = 0; k < 8; ++k) inputs.push_back({double(k & 1), double((k >> 1) & 1), double((k >> 2) & 1)});
    for (int k = 0; k <= 20; ++k) inputs.push_back({k / 20.0, k / 20.0, k / 20.0});
    unsigned state = 12345;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) / double(1 << 24);
    };
    while (inputs.size() < 400) inputs.push_back({next(), next(), next()});
    {
        std::FILE* f = std::fopen((folder + "/inputs.txt").c_str(), "w");
        if (!f) {
            std::perror("inputs.txt");
            return 1;
        }
        for (const auto& c : inputs) std::fprintf(f, "%.9g %.9g %.9g\n", c.R, c.G, c.B);
        std::fclose(f);
    }

    auto lut = std::make_unique<TLUT>();
    auto back = std::make_unique<TLUT>();
    int failures = 0;
    for (const auto& layout : layouts) {
        const std::string file = folder + "/" + layout.fileName;
        std::string status = "ok";
        try {
            Fill(*lut, layout);
            const TLUTFormat* format = GetLutFormat(layout.formatIndex);
            format->Save(file, *lut, layout.bits);
            WriteResults(folder + "/ours-" + layout.id + ".txt", *lut, inputs);
            back->Comments.clear();
            LoadLut(*format, file, *back);
            WriteResults(folder + "/back-" + layout.id + ".txt", *back, inputs);
        } catch (const std::exception& e) {
            status = std::string("failed: ") + e.what();
            ++failures;
        }
        std::printf("%s\t%s\t%.9g\t%s\n", layout.id, layout.fileName, layout.step, status.c_str());
    }
    return failures == 0 ? 0 : 1;
}
