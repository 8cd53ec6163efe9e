// Inputs that once made a decoder misbehave (found by fuzz/fuzz_pictures.cpp): each must now be
// refused with an EPictureError naming the file, without crashing.
#include "picture/Picture.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace tintavo;

TEST(PictureFuzzRegressions, EveryKeptInputIsRefusedCleanly) {
    const std::filesystem::path dir =
        std::filesystem::path(TINTAVO_SOURCE_DIR) / "tests" / "fuzz-regressions" / "fuzz_pictures";
    int files = 0;
    if (std::filesystem::is_directory(dir))
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            if (!entry.is_regular_file() || entry.path().filename().string().front() == '.') continue;
            if (entry.path().extension() == ".md") continue;
            ++files;
            const std::string name = entry.path().string();
            TBitmap24 out;
            try {
                LoadPicture(name, out);
                ADD_FAILURE() << name << " was decoded";
            } catch (const EPictureError& e) {
                EXPECT_EQ(std::string(e.what()).rfind("Cannot read picture \"" + name + "\": ", 0), 0u) << e.what();
            }
        }
    if (files == 0) GTEST_SKIP() << "no kept inputs in " << dir;
}
