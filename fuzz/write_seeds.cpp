// Writes the seed inputs of every fuzz target into FOLDER/<target>/: valid files of every LUT
// layout made by our writers (FormatsFuzzSeeds.h), and pictures of every kind our picture
// writers make. scripts/fuzz.sh runs it before the fuzz targets.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <utility>

#include <OpenImageIO/imageio.h>

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

// Layouts that other programs write and our writers do not: OpenEXR of every compression, tiled,
// of two parts, gray and with alpha, with samples outside 0..1; DPX of 8, 12 and 16 bits, gray, with alpha and
// little-endian; tiled and float TIFF (read through OpenImageIO). Written with OpenImageIO.
int WriteOtherLayoutSeeds(const std::filesystem::path& folder, const std::filesystem::path& deepFolder) {
    struct TLayout {
        const char* Name;
        int Channels;
        OIIO::TypeDesc Type;
        std::vector<std::pair<const char*, const char*>> Attributes;
        int Bits = 0;
        int Tile = 0;
        int Parts = 1;
    };
    const std::vector<TLayout> layouts = {
        {"none.exr", 3, OIIO::TypeDesc::HALF, {{"compression", "none"}}},
        {"rle.exr", 3, OIIO::TypeDesc::HALF, {{"compression", "rle"}}},
        {"zips.exr", 3, OIIO::TypeDesc::HALF, {{"compression", "zips"}}},
        {"piz.exr", 3, OIIO::TypeDesc::HALF, {{"compression", "piz"}}},
        {"pxr24.exr", 3, OIIO::TypeDesc::FLOAT, {{"compression", "pxr24"}}},
        {"b44.exr", 3, OIIO::TypeDesc::HALF, {{"compression", "b44"}}},
        {"b44a.exr", 3, OIIO::TypeDesc::HALF, {{"compression", "b44a"}}},
        {"dwaa.exr", 3, OIIO::TypeDesc::HALF, {{"compression", "dwaa"}}},
        {"dwab.exr", 3, OIIO::TypeDesc::FLOAT, {{"compression", "dwab"}}},
        {"tiled.exr", 3, OIIO::TypeDesc::HALF, {{"compression", "zip"}}, 0, 8},
        {"parts.exr", 3, OIIO::TypeDesc::HALF, {{"compression", "piz"}}, 0, 0, 2},
        {"parts-tiled.exr", 3, OIIO::TypeDesc::HALF, {{"compression", "zip"}}, 0, 8, 2},
        {"gray.exr", 1, OIIO::TypeDesc::HALF, {{"compression", "zip"}}},
        {"rgba.exr", 4, OIIO::TypeDesc::FLOAT, {{"compression", "zip"}}},
        {"8.dpx", 3, OIIO::TypeDesc::UINT8, {}},
        {"12.dpx", 3, OIIO::TypeDesc::UINT16, {}, 12},
        {"gray-10.dpx", 1, OIIO::TypeDesc::UINT16, {}, 10},
        {"rgba-8.dpx", 4, OIIO::TypeDesc::UINT8, {}},
        {"little-endian-10.dpx", 3, OIIO::TypeDesc::UINT16, {{"dpx:ByteOrder", "LittleEndian"}}, 10},
        {"tiled-16.tif", 3, OIIO::TypeDesc::UINT16, {{"compression", "zip"}}, 0, 16},
        {"float.tif", 3, OIIO::TypeDesc::FLOAT, {{"compression", "none"}}},
        {"gray-12.tif", 1, OIIO::TypeDesc::UINT16, {}, 12},
    };
    int count = 0;
    const int w = 16, h = 16;
    for (const TLayout& layout : layouts) {
        const bool deep = std::string(layout.Name).ends_with(".exr") || std::string(layout.Name).ends_with(".dpx");
        const std::string file = ((deep ? deepFolder : folder) / ("other-" + std::string(layout.Name))).string();
        OIIO::ImageSpec header(w, h, layout.Channels, layout.Type);
        for (const auto& [key, value] : layout.Attributes) header.attribute(key, value);
        if (layout.Bits) header.attribute("oiio:BitsPerSample", layout.Bits);
        if (layout.Tile) {
            header.tile_width = layout.Tile;
            header.tile_height = layout.Tile;
        }
        // Samples from below 0 to above 1 (the float layouts keep them; the others clamp).
        std::vector<float> values(static_cast<std::size_t>(w) * h * layout.Channels);
        for (std::size_t i = 0; i < values.size(); ++i) values[i] = static_cast<float>(i % 37) / 30.0f - 0.1f;
        std::unique_ptr<OIIO::ImageOutput> out = OIIO::ImageOutput::create(file);
        const std::vector<OIIO::ImageSpec> parts(static_cast<std::size_t>(layout.Parts), header);
        bool written = out && out->open(file, layout.Parts, parts.data());
        for (int part = 0; written && part < layout.Parts; ++part)
            written = (part == 0 || out->open(file, header, OIIO::ImageOutput::AppendSubimage)) &&
                      out->write_image(OIIO::TypeDesc::FLOAT, values.data());
        if (!written || !out->close())
            throw std::runtime_error("cannot write the seed " + file + ": " + (out ? out->geterror() : OIIO::geterror()));
        ++count;
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
    std::printf("fuzz_pictures and fuzz_pictures_deep: %d seeds\n",
                WritePictureSeeds(pictures, deep) + WriteOtherLayoutSeeds(pictures, deep));
    std::filesystem::remove_all(scratch);
    return 0;
}
