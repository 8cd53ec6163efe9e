// Writes the seed inputs of every fuzz target into FOLDER/<target>/: valid files of every LUT
// layout made by our writers (FormatsFuzzSeeds.h), and pictures of every kind our picture
// writers make. scripts/fuzz.sh runs it before the fuzz targets.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <utility>

#include "fuzz/FormatsFuzzSeeds.h"
#include "picture/Picture.h"

namespace {

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

// Small pictures with a gradient in each channel, in every format and at sizes that leave
// partial blocks (JPEG 8 x 8, BMP rows padded to four bytes); DPX and OpenEXR ones go to `deepFolder`.
int WritePictureSeeds(const std::filesystem::path& folder, const std::filesystem::path& deepFolder) {
    int count = 0;
    const int sizes[][2] = {{1, 1}, {7, 5}, {16, 16}, {33, 9}};
    for (const auto& size : sizes) {
        tintavo::TBitmap24 bitmap(size[0], size[1]);
        for (int y = 0; y < size[1]; ++y)
            for (int x = 0; x < size[0]; ++x)
                bitmap.SetPixel(x, y, static_cast<std::uint8_t>(x * 37), static_cast<std::uint8_t>(y * 53),
                                static_cast<std::uint8_t>((x + y) * 11));
        for (const char* extension : {"jpg", "png", "bmp", "tif"}) {
            const std::string name =
                "written-" + std::to_string(size[0]) + "x" + std::to_string(size[1]) + "." + extension;
            tintavo::SavePicture((folder / name).string(), bitmap, 90);
            ++count;
        }
        // Deep pictures: 16-bit PNG and TIFF, 10 and 16-bit DPX, half and float OpenEXR.
        tintavo::TPreciseImage precise;
        tintavo::BitmapToPrecise(bitmap, precise);
        const std::pair<const char*, tintavo::TSampleDepth> deep[] = {
            {"png", tintavo::TSampleDepth::Bits16}, {"tif", tintavo::TSampleDepth::Bits16},
            {"dpx", tintavo::TSampleDepth::Bits10}, {"dpx", tintavo::TSampleDepth::Bits16},
            {"exr", tintavo::TSampleDepth::Half},   {"exr", tintavo::TSampleDepth::Float}};
        for (const auto& [extension, depth] : deep) {
            const std::string name = "deep-" + std::string(tintavo::SampleDepthName(depth)) + "-" +
                                     std::to_string(size[0]) + "x" + std::to_string(size[1]) + "." + extension;
            const bool viaOiio = std::string(extension) == "dpx" || std::string(extension) == "exr";
            tintavo::SavePreciseImage(((viaOiio ? deepFolder : folder) / name).string(), precise, depth);
            ++count;
        }
    }
    return count;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: write_fuzz_seeds FOLDER\n");
        return 2;
    }
    const std::filesystem::path root = argv[1];
    const std::filesystem::path scratch = root / "scratch";
    std::filesystem::create_directories(scratch);
    for (const auto& target : tintavo::fuzzharness::FormatTargets()) {
        const std::filesystem::path folder = root / target.Name;
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        const auto seeds = tintavo::fuzzharness::FormatSeeds(target, scratch.string());
        for (const auto& seed : seeds) WriteFile(folder / seed.Name, seed.Bytes);
        std::printf("%s: %zu seeds\n", target.Name, seeds.size());
    }
    const std::filesystem::path pictures = root / "fuzz_pictures", deep = root / "fuzz_pictures_deep";
    for (const auto& folder : {pictures, deep}) {
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
    }
    std::printf("fuzz_pictures and fuzz_pictures_deep: %d seeds\n", WritePictureSeeds(pictures, deep));
    std::filesystem::remove_all(scratch);
    return 0;
}
