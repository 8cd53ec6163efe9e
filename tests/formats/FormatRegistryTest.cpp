// The registry: formats at their indices, output profiles in the Save dialog's order.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>
#include <thread>

#include "formats/LUTFormat.h"

namespace tintavo {
namespace {

TEST(RegistryTest, BuildsOnceWhenFirstUsedFromSeveralThreads) {
    // Each test runs in a process of its own under CTest, so this is usually the first use.
    std::vector<std::thread> threads;
    std::vector<std::size_t> counts(4);
    std::vector<const TLUTFormat*> firsts(4);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t, &counts, &firsts] {
            if (t % 2 == 0) {
                counts[t] = LutFormats().size();
                firsts[t] = GetLutFormat(0);
            } else {
                counts[t] = OutputProfiles().size();
                firsts[t] = LutFormats()[0].get();
            }
        });
    for (auto& th : threads) th.join();
    for (int t = 0; t < 4; ++t) {
        EXPECT_EQ(31u, counts[t]);
        EXPECT_EQ(firsts[0], firsts[t]);
    }
    RegisterLutFormats();  // building again changes nothing
    EXPECT_EQ(31u, LutFormats().size());
    EXPECT_EQ(31u, OutputProfiles().size());
}

TEST(RegistryTest, FormatsAtTheirIndices) {
    struct Row {
        const char* name;
        bool is3D;
    };
    const Row rows[] = {
        {"Cube 3D Truelight", true},
        {"Cube 3D", true},
        {"Autodesk Lustre 3D", true},
        {"Pandora 3D, Technicolor", true},
        {"3DL", true},
        {"Nucoda 3D", true},
        {"Codex 3D", true},
        {"Cube 1D", false},
        {"Clipster 3D", true},
        {"Luther 3D", true},
        {"Colorfront OSD 3D", true},
        {"Davinci DAT 3D", true},
        {"Quantel 3D", true},
        {"Codex 1D, Scratch 1D", false},
        {"Autodesk Lustre 1D", false},
        {"Filmlight Truelight 1D", false},
        {"Quantel 1D", false},
        {"S.two 1D", false},
        {"Nucoda 1D", false},
        {"Colorfront OSD 1D", false},
        {"Fusion 1D", false},
        {"Blackmagic HDLink 1D", false},
        {"Cine-tal 1D", false},
        {"Shake 1D", false},
        {"DaVinci Resolve ilut 1D", false},
        {"DaVinci Resolve olut 1D", false},
        {"Adobe Speedgrade Look 3D", true},
        {"ASC CDL", true},
        {"PixelFarm PFClean 3D", true},
        {"FSI CFE (Flanders Scientific) 3D", true},
        {"FSI DIT (Flanders Scientific) 3D", true},
    };
    ASSERT_EQ(std::size(rows), LutFormats().size());
    for (int i = 0; i < 31; ++i) {
        const TLUTFormat* format = GetLutFormat(i);
        ASSERT_NE(nullptr, format) << i;
        EXPECT_EQ(rows[i].name, format->Name) << i;
        EXPECT_EQ(rows[i].is3D, format->Is3D) << i;
        EXPECT_EQ(LutFormats()[i].get(), format);
    }
    EXPECT_EQ(nullptr, GetLutFormat(-1));
    EXPECT_EQ(nullptr, GetLutFormat(31));
    EXPECT_EQ(nullptr, GetLutFormat(1 << 30));
}

TEST(RegistryTest, OutputProfilesInOrder) {
    struct Row {
        const char* name;
        const char* ext;
        int format, size, bits;
        bool sizeSel, bitsSel;
    };
    const Row rows[] = {
        {"3DL Scratch, Autodesk, Blackmagic, Cine-tal", "3dl", 4, 17, 12, false, false},
        {"3DL Fusion", "3dl", 4, 33, 12, false, false},
        {"Autodesk Lustre 3D", "lut", 2, 33, 12, false, false},
        {"Clipster 3D", "txt", 8, 17, 16, false, false},
        {"Codex 3D", "txt", 6, 17, 12, false, false},
        {"Colorfront OSD 3D", "3dmesh", 10, 17, 0, false, false},
        {"Cube 3D Iridas, Nuke, AfterEffects", "cube", 1, 32, 0, false, false},
        {"Cube 3D Davinci", "cube", 1, 33, 0, true, false},
        {"Cube 3D Truelight", "cube", 0, 32, 0, false, false},
        {"Davinci DAT 3D", "dat", 11, 33, 0, false, false},
        {"Dolby DD3", "dd3", 4, 17, 12, false, false},
        {"FSI CFE (Flanders Scientific) 3D", "cfe", 29, 17, 0, false, false},
        {"FSI DIT (Flanders Scientific) 3D", "dat", 30, 64, 10, false, false},
        {"Nucoda 3D", "cms", 5, 33, 0, true, false},
        {"Luther 3D", "txt", 9, 33, 10, false, false},
        {"Pandora 3D, Apple 3D m3d", "m3d", 3, 17, 16, false, false},
        {"PixelFarm PFClean 3D", "pfl", 28, 16, 8, false, false},
        {"Quantel 3D", "txt", 12, 17, 12, false, false},
        {"Technicolor 3D mga", "mga", 3, 33, 16, false, false},
        {"Autodesk Lustre 1D", "lut", 14, 65536, 16, true, true},
        {"Blackmagic HDLink 1D", "txt", 21, 1024, 0, false, false},
        {"Cine-tal 1D", "txt", 22, 1024, 10, false, false},
        {"Codex 1D, Sony SRW-1, Scratch 1D", "dat", 13, 1024, 10, false, false},
        {"Colorfront OSD 1D", "1dlut", 19, 1024, 0, false, false},
        {"Cube 1D", "cube", 7, 4096, 0, false, false},
        {"Filmlight Truelight 1D", "cube", 15, 4096, 0, false, false},
        {"Fusion 1D", "alut", 20, 65536, 16, false, false},
        {"Nucoda 1D", "cms", 18, 4096, 0, false, false},
        {"Quantel 1D", "txt", 16, 1024, 10, false, false},
        {"S.two 1D", "swto.xml", 17, 1024, 10, false, false},
        {"Shake 1D", "txt", 23, 65536, 16, false, false},
    };
    ASSERT_EQ(std::size(rows), OutputProfiles().size());
    for (int i = 0; i < 31; ++i) {
        const TLutOutputProfile* p = GetOutputProfile(i);
        EXPECT_EQ(rows[i].name, p->Name) << i;
        EXPECT_EQ(rows[i].ext, p->Extension) << i;
        EXPECT_EQ(rows[i].format, p->FormatIndex) << i;
        EXPECT_EQ(rows[i].size, p->DefaultSize) << i;
        EXPECT_EQ(rows[i].bits, p->DefaultBits) << i;
        EXPECT_EQ(rows[i].sizeSel, p->SizeSelectable) << i;
        EXPECT_EQ(rows[i].bitsSel, p->BitsSelectable) << i;
        // The first nineteen profiles write 3D formats, the rest 1D formats.
        EXPECT_EQ(i < 19, GetLutFormat(p->FormatIndex)->Is3D) << i;
    }
    // Four formats are readers only.
    std::set<int> written;
    for (const auto& p : OutputProfiles()) written.insert(p->FormatIndex);
    EXPECT_EQ((std::set<int>{24, 25, 26, 27}), [&] {
        std::set<int> unwritten;
        for (int i = 0; i < 31; ++i)
            if (!written.count(i)) unwritten.insert(i);
        return unwritten;
    }());
}

// What each format declares (CanRead, CanWrite) is what it does: a writer creates a file that,
// when it also reads, it recognises and loads; a format that does not write creates nothing,
// and one that does not read recognises no file and loads none.
TEST(RegistryTest, FormatsDoWhatTheyDeclare) {
    const auto dir = std::filesystem::temp_directory_path() / ("tintavo-declare-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    auto lut = std::make_unique<TLUT>();
    auto back = std::make_unique<TLUT>();
    int readers = 0, writers = 0;
    for (int i = 0; i < static_cast<int>(LutFormats().size()); ++i) {
        const TLUTFormat& format = *GetLutFormat(i);
        const TLutOutputProfile* profile = nullptr;
        for (const auto& p : OutputProfiles())
            if (!profile && p->FormatIndex == i) profile = p.get();
        const std::string file = (dir / ("f" + std::to_string(i) + "." + (profile ? profile->Extension : "txt"))).string();
        if (format.Is3D)
            lut->SetIdentity3D(profile ? profile->DefaultSize : 17);
        else
            lut->SetIdentity1D(profile ? std::min(profile->DefaultSize, 4096) : 1024);
        format.Save(file, *lut, profile && profile->DefaultBits > 0 ? profile->DefaultBits : 12);
        EXPECT_EQ(format.CanWrite, std::filesystem::exists(file)) << format.Name;
        readers += format.CanRead;
        writers += format.CanWrite;
        if (!format.CanWrite) continue;
        EXPECT_EQ(format.CanRead, format.Identify(file)) << format.Name;
        if (format.CanRead) {
            EXPECT_NO_THROW(format.Load(file, *back)) << format.Name;
        } else {
            EXPECT_THROW(format.Load(file, *back), std::exception) << format.Name;
        }
    }
    EXPECT_EQ(28, readers);
    EXPECT_EQ(27, writers);
    std::filesystem::remove_all(dir);
}

TEST(RegistryTest, AddOutputProfileAppends) {
    const std::size_t before = OutputProfiles().size();
    // The registry cannot be shrunk again: under CTest this test runs in a process of its own.
    const TLutOutputProfile* p = AddOutputProfile("Test profile", "tst", 1, 9, 0, true, false);
    ASSERT_EQ(before + 1, OutputProfiles().size());
    EXPECT_EQ(p, GetOutputProfile(static_cast<int>(before)));
    EXPECT_EQ("Test profile", p->Name);
    EXPECT_EQ("tst", p->Extension);
    EXPECT_EQ(1, p->FormatIndex);
    EXPECT_EQ(9, p->DefaultSize);
    EXPECT_TRUE(p->SizeSelectable);
    EXPECT_FALSE(p->BitsSelectable);
}

}  // namespace
}  // namespace tintavo
