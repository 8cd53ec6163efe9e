// Helpers of the framework, registry and decimal 3D layout tests.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "lut/LUT.h"
#include "FormatTestFiles.h"

namespace tintavo::testfw {

using testfiles::ReadBytes;
using testfiles::TempDir;
using testfiles::WriteBytes;

// Lines of a text that ends in a line feed; fails the test when the last line has none.
inline std::vector<std::string> LinesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        auto end = text.find('\n', pos);
        if (end == std::string::npos) {
            ADD_FAILURE() << "text does not end with a line feed";
            end = text.size();
        }
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    return lines;
}

// Compares line by line, so a failure names the first differing line.
inline void ExpectLines(const std::vector<std::string>& expected, const std::vector<std::string>& actual) {
    for (std::size_t i = 0; i < std::min(expected.size(), actual.size()); ++i)
        ASSERT_EQ(expected[i], actual[i]) << "line " << i;
    ASSERT_EQ(expected.size(), actual.size());
}

// A smooth non-linear mapping with distinct channel values, so a swapped component, a wrong
// loop order or a wrong index shows.
inline TLutColor SampleColor(int r, int g, int b, int n) {
    const double x = static_cast<double>(r) / (n - 1), y = static_cast<double>(g) / (n - 1),
                 z = static_cast<double>(b) / (n - 1);
    return {0.8 * x * x + 0.1 * y + 0.05, 0.6 * y + 0.3 * z * x + 0.02, 0.9 * z * z * z + 0.07 * x};
}

inline void FillSample3D(TLUT& lut, int n) {
    lut.LutKind = lk3D;
    lut.Size3D = n;
    for (int r = 0; r < n; ++r)
        for (int g = 0; g < n; ++g)
            for (int b = 0; b < n; ++b) lut.Table3D[r][g][b] = SampleColor(r, g, b, n);
}

}  // namespace tintavo::testfw
