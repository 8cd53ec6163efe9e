// Loads an ASC CDL file through TASC_CDL_Format and prints the resulting 3D table, one node per
// line, blue fastest: "r g b R G B" with the outputs in full single precision.
#include <cstdio>
#include <exception>
#include <memory>

#include "formats/FormatsXML.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: cdl_tool file.cc\n");
        return 2;
    }
    try {
        auto lut = std::make_unique<tintavo::TLUT>();
        tintavo::TASC_CDL_Format format;
        if (!format.Identify(argv[1])) {
            std::fprintf(stderr, "not an ASC CDL file: %s\n", argv[1]);
            return 1;
        }
        format.Load(argv[1], *lut);
        const int n = lut->Size3D;
        std::printf("size %d\n", n);
        for (const std::string& comment : lut->Comments) std::printf("comment %s\n", comment.c_str());
        for (int r = 0; r < n; ++r)
            for (int g = 0; g < n; ++g)
                for (int b = 0; b < n; ++b) {
                    const tintavo::TLutColor& c = lut->Table3D[r][g][b];
                    std::printf("%d %d %d %.9g %.9g %.9g\n", r, g, b, c.R, c.G, c.B);
                }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return 1;
    }
    return 0;
}
