// Applies a LUT file to a picture through the command line's apply (ApplyLutToPictureFile), the
// output a float OpenEXR, and dumps the picture's samples as read and the corrected ones as raw
// little-endian float32 RGB for a script to compare with OpenColorIO.
//   apply_tool LUTFILE PICTURE trilinear|tetrahedral FOLDER
// writes FOLDER/input.f32 and FOLDER/output.f32 and prints "WIDTH HEIGHT".
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "formats/LUTFormat.h"
#include "picture/Picture.h"
#include "picture/PictureApply.h"

using namespace tintavo;

namespace {

void Dump(const TPreciseImage& image, const std::string& file) {
    std::ofstream out(file, std::ios::binary);
    for (int y = 0; y < image.Height(); ++y)
        out.write(reinterpret_cast<const char*>(image.Row(y)),
                  static_cast<std::streamsize>(sizeof(float) * static_cast<std::size_t>(image.RowFloats())));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: apply_tool LUTFILE PICTURE trilinear|tetrahedral FOLDER\n");
        return 2;
    }
    const std::string lutFile = argv[1], picture = argv[2], folder = argv[4];
    auto lut = std::make_unique<TLUT>();
    bool loaded = false;
    for (const auto& format : LutFormats())
        if (!loaded && format->CanRead && format->Identify(lutFile)) {
            format->Load(lutFile, *lut);
            loaded = true;
        }
    TApplyOptions options;
    if (!loaded || !ParseInterpolation(argv[3], options.Interpolation)) return 2;
    options.Depth = TSampleDepth::Float;
    const std::string corrected = folder + "/corrected.exr";
    ApplyLutToPictureFile(*lut, picture, corrected, options);
    TPreciseImage input, output;
    LoadPreciseImage(picture, input);
    LoadPreciseImage(corrected, output);
    Dump(input, folder + "/input.f32");
    Dump(output, folder + "/output.f32");
    std::printf("%d %d\n", input.Width(), input.Height());
    return 0;
}
