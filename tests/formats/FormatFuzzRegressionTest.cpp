// Replays the inputs of the format fuzz targets: their seeds (valid files of every layout, made
// by our writers) and every crasher kept under tests/fuzz-regressions, each through the format
// its target chooses and through every format: no crash, no loaded sizes beyond the tables,
// and through LoadLut no failed load that changes the LUT.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <set>

#include "fuzz/FormatsFuzzHarness.h"
#include "fuzz/FormatsFuzzSeeds.h"
#include "FrameworkTestUtil.h"

namespace tintavo {
namespace {

using fuzzharness::FormatTargets;

// One input as its target saw it, then through every format (plainly and, with `throughLoadLut`,
// through LoadLut).
void Replay(const fuzzharness::TFormatTarget* target, const std::string& bytes, const testfw::TempDir& dir,
            TLUT& lut, bool throughLoadLut) {
    const auto selector = static_cast<std::uint8_t>(bytes[1]);
    const std::string ext = fuzzharness::ExtensionOf(selector);
    const std::string in = dir.File("in." + ext), out = dir.File("out." + ext);
    testfw::WriteBytes(in, bytes.substr(2));
    const int bits = fuzzharness::BitsOf(selector);
    if (target) {
        EXPECT_EQ("", ExerciseChoice(*target, static_cast<std::uint8_t>(bytes[0]), in, out, bits, lut, false));
    }
    EXPECT_EQ("", fuzzharness::ExerciseEveryFormat(in, out, bits, lut, false));
    // Through LoadLut a failed load leaves the LUT as it was, whatever the format.
    for (const auto& format : LutFormats()) {
        if (!throughLoadLut) break;
        lut.SetIdentity3D(3);
        lut.Comments = {"kept"};
        try {
            LoadLut(*format, in, lut);
        } catch (const std::exception&) {
            EXPECT_EQ(lk3D, lut.LutKind) << format->Name;
            EXPECT_EQ(3, lut.Size3D) << format->Name;
            EXPECT_EQ(std::vector<std::string>{"kept"}, lut.Comments) << format->Name;
            EXPECT_EQ(0.5, lut.Table3D[1][2][0].R) << format->Name;
            EXPECT_EQ(1.0, lut.Table3D[1][2][0].G) << format->Name;
        }
    }
    // The raw bytes, prefix included, under a neutral name.
    testfw::WriteBytes(dir.File("raw.bin"), bytes);
    EXPECT_EQ("", fuzzharness::ExerciseEveryFormat(dir.File("raw.bin"), dir.File("out.bin"), 16, lut, false));
}

TEST(FuzzRegressionTest, TargetsCoverEveryFormatOnce) {
    std::multiset<int> seen;
    for (const auto& target : FormatTargets()) seen.insert(target.Formats.begin(), target.Formats.end());
    std::multiset<int> every;
    for (int i = 0; i < static_cast<int>(LutFormats().size()); ++i) every.insert(i);
    EXPECT_EQ(every, seen);
}

// Every seed is a file its format reads (or, for a format that only writes, a file it wrote),
// and every format of every target has seeds.
TEST(FuzzRegressionTest, SeedsAreValidFilesOfEveryLayout) {
    testfw::TempDir dir;
    auto lut = std::make_unique<TLUT>();
    for (const auto& target : FormatTargets()) {
        const auto seeds = fuzzharness::FormatSeeds(target, dir.Path());
        std::set<int> formatsSeeded;
        for (const auto& seed : seeds) {
            SCOPED_TRACE(std::string(target.Name) + " " + seed.Name);
            formatsSeeded.insert(seed.FormatIndex);
            const auto selector = static_cast<std::uint8_t>(seed.Bytes[1]);
            ASSERT_EQ(seed.FormatIndex, fuzzharness::ChosenFormat(target, static_cast<std::uint8_t>(seed.Bytes[0])));
            const std::string in = dir.File("seed." + std::string(fuzzharness::ExtensionOf(selector)));
            testfw::WriteBytes(in, seed.Bytes.substr(2));
            bool loaded = false;
            EXPECT_EQ("", fuzzharness::ExerciseChoice(target, static_cast<std::uint8_t>(seed.Bytes[0]), in,
                                                      dir.File("out.bin"), fuzzharness::BitsOf(selector), *lut,
                                                      true, &loaded));
            EXPECT_EQ(GetLutFormat(seed.FormatIndex)->CanRead, loaded);
        }
        EXPECT_EQ(std::set<int>(target.Formats.begin(), target.Formats.end()), formatsSeeded) << target.Name;
    }
}

TEST(FuzzRegressionTest, SmallSeedsThroughEveryFormat) {
    testfw::TempDir dir;
    auto lut = std::make_unique<TLUT>();
    for (const auto& target : FormatTargets())
        for (const auto& seed : fuzzharness::FormatSeeds(target, dir.Path())) {
            if (seed.Bytes.size() > 65536) continue;  // the large ones are read above
            SCOPED_TRACE(seed.Name);
            Replay(&target, seed.Bytes, dir, *lut, false);
        }
}

// Crashers of every format target, and those of the single target the formats had before.
TEST(FuzzRegressionTest, CrashersThroughEveryFormat) {
    testfw::TempDir dir;
    auto lut = std::make_unique<TLUT>();
    const std::filesystem::path root = std::filesystem::path(TINTAVO_SOURCE_DIR) / "tests/fuzz-regressions";
    int files = 0;
    for (const auto& folder : std::filesystem::directory_iterator(root)) {
        const std::string name = folder.path().filename().string();
        if (name.rfind("fuzz_formats", 0) != 0) continue;
        const fuzzharness::TFormatTarget* target = nullptr;
        for (const auto& t : FormatTargets())
            if (name == t.Name) target = &t;
        for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
            if (!entry.is_regular_file()) continue;
            const std::string bytes = testfw::ReadBytes(entry.path().string());
            if (bytes.size() < 2) continue;
            SCOPED_TRACE(name + "/" + entry.path().filename().string());
            ++files;
            Replay(target, bytes, dir, *lut, true);
        }
    }
    EXPECT_GT(files, 0);
}

}  // namespace
}  // namespace tintavo
