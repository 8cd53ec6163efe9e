// Helpers shared by the tests of the integer-code 3D layouts and FSI DIT.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "lut/LUT.h"
#include "FormatTestFiles.h"

namespace tintavo::test3di {

using testfiles::ReadBytes;
using testfiles::TempDir;
using testfiles::WriteBytes;

inline std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    std::istringstream in(text);
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

// Compares two texts line by line, so a failure names the first differing line.
inline void ExpectSameLines(const std::string& expected, const std::string& actual) {
    const std::vector<std::string> e = SplitLines(expected);
    const std::vector<std::string> a = SplitLines(actual);
    for (std::size_t i = 0; i < e.size() && i < a.size(); ++i)
        ASSERT_EQ(e[i], a[i]) << "line " << i + 1;
    ASSERT_EQ(e.size(), a.size());
    EXPECT_EQ(expected, actual);  // also catches line ends other than one LF
}

// A 2-point table whose every entry differs and whose channels differ: the red code is
// 300r + 30g + 3b + 1, green and blue are 333 and 666 above it, all divided by `largest`.
inline void SetAsymmetric2(TLUT& lut, double largest) {
    lut.LutKind = lk3D;
    lut.Size3D = 2;
    for (int r = 0; r < 2; ++r)
        for (int g = 0; g < 2; ++g)
            for (int b = 0; b < 2; ++b) {
                const double x = 300 * r + 30 * g + 3 * b + 1;
                lut.Table3D[r][g][b] = TLutColor{x / largest, (x + 333) / largest, (x + 666) / largest};
            }
}

// The data lines of SetAsymmetric2, blue fastest.
inline const char* Asymmetric2Lines(char sep) {
    static std::string blanks =
        "1 334 667\n4 337 670\n31 364 697\n34 367 700\n301 634 967\n304 637 970\n331 664 997\n334 667 1000\n";
    static std::string tabs = [] {
        std::string t = blanks;
        for (char& c : t)
            if (c == ' ') c = '\t';
        return t;
    }();
    return sep == '\t' ? tabs.c_str() : blanks.c_str();
}

// Deterministic pseudo-random entries in -0.1..1.1 (so clamping is exercised too).
inline void SetPseudoRandom(TLUT& lut, int size, unsigned seed) {
    lut.LutKind = lk3D;
    lut.Size3D = size;
    unsigned state = seed;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return -0.1 + 1.2 * static_cast<double>(state >> 8) / static_cast<double>(1u << 24);
    };
    for (int r = 0; r < size; ++r)
        for (int g = 0; g < size; ++g)
            for (int b = 0; b < size; ++b) lut.Table3D[r][g][b] = TLutColor{next(), next(), next()};
}

inline double Clamp01(double v) { return v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v); }

// Every entry of `read` within half a code step of the clamped entry of `written`.
inline void ExpectRoundTrip(const TLUT& written, const TLUT& read, double largestCode) {
    ASSERT_EQ(read.LutKind, lk3D);
    ASSERT_EQ(read.Size3D, written.Size3D);
    const int n = written.Size3D;
    const double tolerance = 0.5 / largestCode + 1e-12;
    int failures = 0;
    for (int r = 0; r < n; ++r)
        for (int g = 0; g < n; ++g)
            for (int b = 0; b < n; ++b) {
                const TLutColor& w = written.Table3D[r][g][b];
                const TLutColor& x = read.Table3D[r][g][b];
                const bool ok = std::abs(Clamp01(w.R) - x.R) <= tolerance &&
                                std::abs(Clamp01(w.G) - x.G) <= tolerance &&
                                std::abs(Clamp01(w.B) - x.B) <= tolerance;
                if (!ok && failures++ < 5)
                    ADD_FAILURE() << "entry [" << r << "][" << g << "][" << b << "]: wrote " << w.R << " " << w.G
                                  << " " << w.B << ", read " << x.R << " " << x.G << " " << x.B;
            }
    EXPECT_EQ(failures, 0);
}

}  // namespace tintavo::test3di
