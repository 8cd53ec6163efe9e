// Helpers shared by the tests of the 1D layouts.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "formats/LUTFormat.h"
#include "lut/LUT.h"
#include "FormatTestFiles.h"

namespace tintavo::test1d {

using testfiles::ReadBytes;
using testfiles::TempDir;
using testfiles::WriteBytes;

// Lines joined with one LF after each, as every writer ends its lines.
inline std::string JoinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

// Compares a written file with the expected lines one by one, so a failure names the first
// differing line; then the whole bytes (one LF after every line, nothing else).
inline void ExpectFileLines(const std::string& fileName, const std::vector<std::string>& expected) {
    const std::string actual = ReadBytes(fileName);
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < actual.size()) {
        std::size_t lf = actual.find('\n', start);
        if (lf == std::string::npos) lf = actual.size();
        lines.push_back(actual.substr(start, lf - start));
        start = lf + 1;
    }
    for (std::size_t i = 0; i < expected.size() && i < lines.size(); ++i)
        ASSERT_EQ(expected[i], lines[i]) << "line " << i + 1;
    ASSERT_EQ(expected.size(), lines.size());
    EXPECT_EQ(JoinLines(expected), actual);
}

inline std::unique_ptr<TLUT> NewLut() { return std::make_unique<TLUT>(); }

// Five entries, three different curves: red linear, green lifted, blue a toe.
//   R: 0     0.25  0.5   0.75  1
//   G: 0.1   0.3   0.55  0.8   0.95
//   B: 0.05  0.125 0.25  0.6   0.9
inline void SetSample5(TLUT& lut) {
    static const TLutColor entries[5] = {
        {0.0, 0.1, 0.05}, {0.25, 0.3, 0.125}, {0.5, 0.55, 0.25}, {0.75, 0.8, 0.6}, {1.0, 0.95, 0.9}};
    lut.LutKind = lk1D;
    lut.Size1D = 5;
    for (int i = 0; i < 5; ++i) lut.Table1D[i] = entries[i];
}

// A smooth table of `size` entries whose three curves differ (gamma 0.45, 1, 2.2), all in 0..1.
inline void SetCurves(TLUT& lut, int size) {
    lut.LutKind = lk1D;
    lut.Size1D = size;
    for (int i = 0; i < size; ++i) {
        const double x = static_cast<double>(i) / (size - 1);
        lut.Table1D[i] = TLutColor{std::pow(x, 0.45), x, std::pow(x, 2.2)};
    }
}

// Every entry in use of `actual` is within `tolerance` of `expected`, channel by channel.
inline void ExpectTablesNear(const TLUT& expected, const TLUT& actual, double tolerance) {
    ASSERT_EQ(expected.Size1D, actual.Size1D);
    EXPECT_EQ(lk1D, actual.LutKind);
    for (int i = 0; i < expected.Size1D; ++i) {
        ASSERT_NEAR(expected.Table1D[i].R, actual.Table1D[i].R, tolerance) << "entry " << i;
        ASSERT_NEAR(expected.Table1D[i].G, actual.Table1D[i].G, tolerance) << "entry " << i;
        ASSERT_NEAR(expected.Table1D[i].B, actual.Table1D[i].B, tolerance) << "entry " << i;
    }
}

// Load must raise an exception of type E carrying exactly `message`.
template <typename E>
void ExpectLoadError(TLUTFormat& format, const std::string& fileName, TLUT& lut, const std::string& message) {
    try {
        format.Load(fileName, lut);
        ADD_FAILURE() << "Load of " << fileName << " returned; expected \"" << message << "\"";
    } catch (const E& e) {
        EXPECT_EQ(message, e.what());
    } catch (const std::exception& e) {
        ADD_FAILURE() << "Load raised another exception type: " << e.what();
    }
}

}  // namespace tintavo::test1d
