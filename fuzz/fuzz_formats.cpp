// Every LUT format's Identify and Load on arbitrary bytes (see FormatsFuzzHarness.h for the
// layout of an input). Any exception derived from std::exception is a fine outcome; a crash,
// a sanitizer report or a hang is not, and neither is a loaded LUT whose sizes lie outside the
// tables. With FUZZ_FORMATS_STRICT=1 in the environment, a failed load that changes the LUT's
// kind or sizes counts as a failure too.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "fuzz/FormatsFuzzHarness.h"

namespace {

std::string WorkFolder() {
    static const std::string folder = [] {
        auto path = std::filesystem::temp_directory_path() / ("tintavo-fuzz-formats-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
        return path.string();
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tintavo;
    if (size < 2) return 0;
    static std::unique_ptr<TLUT> lut = std::make_unique<TLUT>();
    const std::string extension = fuzzharness::ExtensionOf(data[1]);
    const std::string file = WorkFolder() + "/input." + extension;
    const std::string saveFile = WorkFolder() + "/output." + extension;
    std::FILE* f = std::fopen(file.c_str(), "wb");
    if (!f) std::abort();
    if (size > 2 && std::fwrite(data + 2, 1, size - 2, f) != size - 2) std::abort();
    std::fclose(f);

    static const bool strict = [] {
        const char* v = std::getenv("FUZZ_FORMATS_STRICT");
        return v && std::string(v) == "1";
    }();
    const std::string problem =
        fuzzharness::ExerciseChoice(data[0], file, saveFile, fuzzharness::BitsOf(data[1]), *lut, strict);
    if (!problem.empty()) {
        std::fprintf(stderr, "fuzz_formats: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
