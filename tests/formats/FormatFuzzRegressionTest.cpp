// Replays the inputs of the fuzz target fuzz_formats (its seed corpus and every crasher kept
// under tests/fuzz-regressions) through every format: no crash, no loaded sizes beyond the
// tables, and through LoadLut no failed load that changes the LUT.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "fuzz/FormatsFuzzHarness.h"
#include "FrameworkTestUtil.h"

namespace tintavo {
namespace {

void ReplayFolder(const std::filesystem::path& folder, bool mustExist) {
    if (!std::filesystem::exists(folder)) {
        if (mustExist) ADD_FAILURE() << folder << " is missing";
        return;
    }
    testfw::TempDir dir;
    auto lut = std::make_unique<TLUT>();
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        const std::string bytes = testfw::ReadBytes(entry.path().string());
        if (bytes.size() < 2) continue;
        ++files;
        SCOPED_TRACE(entry.path().filename().string());
        const auto selector = static_cast<std::uint8_t>(bytes[1]);
        const std::string ext = fuzzharness::ExtensionOf(selector);
        // As the fuzzer saw it, then the same file through every format.
        testfw::WriteBytes(dir.File("in." + ext), bytes.substr(2));
        EXPECT_EQ("", fuzzharness::ExerciseChoice(static_cast<std::uint8_t>(bytes[0]), dir.File("in." + ext),
                                                  dir.File("out." + ext), fuzzharness::BitsOf(selector), *lut, false));
        EXPECT_EQ("", fuzzharness::ExerciseChoice(255, dir.File("in." + ext), dir.File("out." + ext),
                                                  fuzzharness::BitsOf(selector), *lut, false));
        // Through LoadLut a failed load leaves the LUT as it was, whatever the format.
        for (int i = 0; i < static_cast<int>(LutFormats().size()); ++i) {
            lut->SetIdentity3D(3);
            lut->Comments = {"kept"};
            try {
                LoadLut(*GetLutFormat(i), dir.File("in." + ext), *lut);
            } catch (const std::exception&) {
                EXPECT_EQ(lk3D, lut->LutKind) << GetLutFormat(i)->Name;
                EXPECT_EQ(3, lut->Size3D) << GetLutFormat(i)->Name;
                EXPECT_EQ(std::vector<std::string>{"kept"}, lut->Comments) << GetLutFormat(i)->Name;
                EXPECT_EQ(0.5, lut->Table3D[1][2][0].R) << GetLutFormat(i)->Name;
                EXPECT_EQ(1.0, lut->Table3D[1][2][0].G) << GetLutFormat(i)->Name;
            }
        }
        // The raw bytes, prefix included, under a neutral name.
        testfw::WriteBytes(dir.File("raw.bin"), bytes);
        EXPECT_EQ("", fuzzharness::ExerciseChoice(255, dir.File("raw.bin"), dir.File("out.bin"), 16, *lut, false));
    }
    if (mustExist) {
        EXPECT_GT(files, 0) << folder;
    }
}

TEST(FuzzRegressionTest, SeedCorpusThroughEveryFormat) {
    ReplayFolder(std::filesystem::path(TINTAVO_SOURCE_DIR) / "fuzz/corpus/fuzz_formats", true);
}

TEST(FuzzRegressionTest, CrashersThroughEveryFormat) {
    ReplayFolder(std::filesystem::path(TINTAVO_SOURCE_DIR) / "tests/fuzz-regressions/fuzz_formats", false);
}

}  // namespace
}  // namespace tintavo
