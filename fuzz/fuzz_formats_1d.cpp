// The 1D text layouts on arbitrary bytes: any exception derived from std::exception is a fine outcome; a crash,
// a sanitizer report or a hang is not, and neither is a loaded LUT whose sizes lie outside the
// tables (FormatsFuzzHarness.h has the layout of an input).
#include "fuzz/FormatsFuzzHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return tintavo::fuzzharness::RunFuzzInput("fuzz_formats_1d", data, size);
}
