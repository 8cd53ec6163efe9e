// Seed inputs of the format fuzz targets: valid files of every layout a target runs, made by
// our own writers (the read-only layouts, which have none, from small texts written out here),
// each behind the two selector bytes that choose its format and extension. fuzz/write_seeds
// writes them out before a run; the replay test loads every one of them.
#pragma once

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/FormatsFuzzHarness.h"

namespace tintavo::fuzzharness {

struct TSeed {
    std::string Name;   // file name: format index, size, bits and extension
    int FormatIndex;    // the format it is a valid file of
    std::string Bytes;  // selector bytes, then the file
};

// Entries that are not an identity and differ per channel, so a seed exercises every digit.
inline void FillSeedTables(TLUT& lut, bool is3D, int size) {
    if (is3D) {
        lut.SetIdentity3D(size);
        for (int r = 0; r < size; ++r)
            for (int g = 0; g < size; ++g)
                for (int b = 0; b < size; ++b) {
                    TLutColor& c = lut.Table3D[r][g][b];
                    c = {c.R * c.R * 0.9 + 0.05, (c.G + c.B) / 2.0, std::sqrt(c.B) * 0.97};
                }
    } else {
        lut.SetIdentity1D(size);
        for (int i = 0; i < size; ++i) {
            TLutColor& c = lut.Table1D[i];
            c = {c.R * c.R, std::sqrt(c.G), c.B * 0.5 + 0.25};
        }
    }
    lut.Comments = {"seed for the fuzzer"};
}

// Files of the layouts that are read only, as (extension, text).
inline std::vector<std::pair<std::string, std::string>> ReadOnlySeedTexts(const std::string& formatName) {
    if (formatName == "DaVinci Resolve ilut 1D") return {{"ilut", "0 0 0\n8191 4000 12000\n16383 16383 16383\n"}};
    if (formatName == "DaVinci Resolve olut 1D") return {{"olut", "0 0 0\r\n2048 1000 3000\r\n4095 4095 4095\r\n"}};
    if (formatName == "Adobe Speedgrade Look 3D") {
        std::string data;
        const char* const halfOneZero[] = {"0000003f", "0000803f", "00000000"};
        for (int entry = 0; entry < 8; ++entry)
            for (int channel = 0; channel < 3; ++channel) data += halfOneZero[(entry + channel) % 3];
        return {{"look", "<?xml version=\"1.0\"?>\n<look>\n<shaders/>\n<lut>\n<size>\"2\"</size>\n<data>\"" + data +
                             "\"</data>\n</lut>\n</look>\n"},
                {"look", "<look><shaders/></look>\n"}};
    }
    if (formatName == "ASC CDL")
        return {{"cc", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ColorCorrection id=\"shot1\">\n<SOPNode>\n"
                       "<Slope>1.1 1.0 0.9</Slope>\n<Offset>0.01 0 -0.01</Offset>\n<Power>1.0 1.2 0.8</Power>\n"
                       "</SOPNode>\n<SATNode><Saturation>0.9</Saturation></SATNode>\n</ColorCorrection>\n"}};
    return {};
}

inline std::string ReadSeedFile(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The seeds of one target. Files are written in `scratch` (a folder that exists). Only files the
// format reads back are kept; a writer that only writes (Cine-tal, Shake, Nucoda 1D) gives its
// files as written.
inline std::vector<TSeed> FormatSeeds(const TFormatTarget& target, const std::string& scratch) {
    std::vector<TSeed> seeds;
    auto lut = std::make_unique<TLUT>();
    auto back = std::make_unique<TLUT>();
    for (std::size_t choice = 0; choice < target.Formats.size(); ++choice) {
        const int index = target.Formats[choice];
        const TLUTFormat& format = *GetLutFormat(index);
        auto add = [&](const std::string& extension, int bits, const std::string& tag, const std::string& text) {
            std::string bytes;
            bytes += static_cast<char>(choice);
            bytes += static_cast<char>(SelectorFor(extension, bits));
            seeds.push_back({"f" + std::to_string(index) + "-" + tag + "." + extension, index, bytes + text});
        };
        if (!format.CanWrite) {
            int k = 0;
            for (const auto& [extension, text] : ReadOnlySeedTexts(format.Name))
                add(extension, 12, "text" + std::to_string(k++), text);
            continue;
        }
        // The profiles that write through the format (each extension and depth once), or one
        // made up for a format without.
        std::vector<std::pair<std::string, int>> writes;
        for (const auto& profile : OutputProfiles()) {
            const std::pair<std::string, int> write{profile->Extension, profile->DefaultBits == 0 ? 12 : profile->DefaultBits};
            if (profile->FormatIndex == index && std::find(writes.begin(), writes.end(), write) == writes.end())
                writes.push_back(write);
        }
        if (writes.empty()) writes.emplace_back("txt", 12);
        // Small tables; the layouts that hold one size only get that size.
        const std::vector<int> sizes = format.Is3D ? std::vector<int>{2, 3, 5} : std::vector<int>{2, 5, 17, 256};
        const std::vector<int> onlySizes = {33, 64};
        for (const auto& [extension, bits] : writes) {
            bool any = false;
            for (const auto* list : {&sizes, &onlySizes}) {
                if (any) break;
                for (int size : *list) {
                    const std::string file = scratch + "/seed." + extension;
                    std::filesystem::remove(file);
                    FillSeedTables(*lut, format.Is3D, size);
                    try {
                        format.Save(file, *lut, bits);
                    } catch (const std::exception&) {
                        continue;  // a size the layout does not hold
                    }
                    if (format.CanRead) {
                        back->Comments.clear();
                        try {
                            format.Load(file, *back);
                        } catch (const std::exception&) {
                            continue;  // written, but not a file of this size for the reader
                        }
                        if ((format.Is3D ? back->Size3D : back->Size1D) != size) continue;
                    }
                    add(extension, bits, std::to_string(size) + "-" + std::to_string(bits), ReadSeedFile(file));
                    any = true;
                }
            }
        }
    }
    return seeds;
}

}  // namespace tintavo::fuzzharness
