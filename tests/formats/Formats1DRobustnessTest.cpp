// Damaged input to every 1D reader: truncated files, flipped bytes, binary noise and absurd
// header numbers. A reader either returns a table whose size fits the capacity, or raises one of
// the system's errors; it never crashes, hangs or writes outside the table.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "Formats1DTestUtil.h"
#include "common/Errors.h"
#include "formats/Formats1DDecimal.h"
#include "formats/Formats1DInteger.h"

namespace tintavo {
namespace {

using test1d::NewLut;
using test1d::SetSample5;
using test1d::TempDir;
using test1d::WriteBytes;

struct Reader {
    std::unique_ptr<TLUTFormat> format;
    std::string extension;
    int bits;  // for writing the intact sample; 0 = nothing to write (read-only layout)
    std::string sample;  // the intact text of read-only layouts
};

std::vector<Reader> Readers() {
    std::vector<Reader> readers;
    readers.push_back({std::make_unique<TCube1DLutFormat>(), ".cube", 16, ""});
    readers.push_back({std::make_unique<TFilmlight1DLutFormat>(), ".cube", 16, ""});
    readers.push_back({std::make_unique<TColorFrontOSD1DLutFormat>(), ".1dlut", 16, ""});
    readers.push_back({std::make_unique<TBlackmagic1DLutFormat>(), ".txt", 16, ""});
    readers.push_back({std::make_unique<TCodex1DLutFormat>(), ".dat", 10, ""});
    readers.push_back({std::make_unique<TLustre1DLutFormat>(), ".lut", 12, ""});
    readers.push_back({std::make_unique<TQuantel1DLutFormat>(), ".txt", 10, ""});
    readers.push_back({std::make_unique<TFusion1DLutFormat>(), ".alut", 16, ""});
    readers.push_back({std::make_unique<TDavinciILut1DLutFormat>(), ".ilut", 0, "0 0 0\n8191 100 16383\n16383 16383 16383\n"});
    readers.push_back({std::make_unique<TDavinciOLut1DLutFormat>(), ".olut", 0, "0 0 0\n2047 100 4095\n4095 4095 4095\n"});
    return readers;
}

// Loads and checks the outcome: success with a size that fits, or one of the system's errors.
// `lut` is reused between loads: a fresh 27 MB table per load would dominate the run time.
void LoadSurvives(TLUTFormat& format, const std::string& fileName, TLUT& scratch) {
    TLUT* lut = &scratch;
    lut->LutKind = lk3D;
    lut->Size3D = 2;
    lut->Size1D = 0;
    try {
        format.Load(fileName, *lut);
        EXPECT_EQ(lk1D, lut->LutKind);
        EXPECT_GE(lut->Size1D, 2);
        EXPECT_LE(lut->Size1D, MaxLut1DSize);
    } catch (const ELUTError&) {
        EXPECT_EQ(lk3D, lut->LutKind);  // a failed load hands out no kind or size
        EXPECT_EQ(0, lut->Size1D);
    } catch (const EConvertError&) {
        EXPECT_EQ(lk3D, lut->LutKind);
        EXPECT_EQ(0, lut->Size1D);
    }
}

std::string IntactText(Reader& reader, const TempDir& dir) {
    if (reader.bits == 0) return reader.sample;
    auto lut = NewLut();
    SetSample5(*lut);
    lut->Comments = {"a comment"};
    const std::string file = dir.File("intact" + reader.extension);
    reader.format->Save(file, *lut, reader.bits);
    return test1d::ReadBytes(file);
}

TEST(Formats1DRobustnessTest, EveryTruncationOfAnIntactFile) {
    TempDir dir;
    auto scratch = NewLut();
    for (Reader& reader : Readers()) {
        SCOPED_TRACE(reader.format->Name);
        const std::string text = IntactText(reader, dir);
        ASSERT_FALSE(text.empty());
        const std::string file = dir.File("cut" + reader.extension);
        for (std::size_t length = 0; length <= text.size(); ++length) {
            WriteBytes(file, text.substr(0, length));
            LoadSurvives(*reader.format, file, *scratch);
        }
        // The intact file itself loads.
        reader.format->Load(file, *scratch);
        EXPECT_GE(scratch->Size1D, 3);
    }
}

TEST(Formats1DRobustnessTest, FlippedBytesAndBinaryNoise) {
    TempDir dir;
    auto scratch = NewLut();
    std::mt19937 random(20261208);
    for (Reader& reader : Readers()) {
        SCOPED_TRACE(reader.format->Name);
        const std::string text = IntactText(reader, dir);
        const std::string file = dir.File("damaged" + reader.extension);
        for (int round = 0; round < 150; ++round) {
            std::string damaged = text;
            const int flips = 1 + static_cast<int>(random() % 4);
            for (int k = 0; k < flips; ++k)
                damaged[random() % damaged.size()] = static_cast<char>(random() % 256);
            WriteBytes(file, damaged);
            LoadSurvives(*reader.format, file, *scratch);
        }
        for (int round = 0; round < 20; ++round) {
            std::string noise(1 + random() % 3000, '\0');
            for (char& ch : noise) ch = static_cast<char>(random() % 256);
            WriteBytes(file, noise);
            LoadSurvives(*reader.format, file, *scratch);
        }
    }
}

TEST(Formats1DRobustnessTest, AbsurdHeaderNumbers) {
    TempDir dir;
    struct Case {
        std::function<std::unique_ptr<TLUTFormat>()> make;
        const char* text;
    };
    auto scratch = NewLut();
    const Case cases[] = {
        {[] { return std::make_unique<TCube1DLutFormat>(); }, "LUT_1D_SIZE 99999999999999999999\n0 0 0\n"},
        {[] { return std::make_unique<TCube1DLutFormat>(); }, "LUT_1D_SIZE 2147483647\n0 0 0\n"},
        {[] { return std::make_unique<TCube1DLutFormat>(); }, "LUT_1D_SIZE -2147483648\n0 0 0\n"},
        {[] { return std::make_unique<TFilmlight1DLutFormat>(); }, "# lutLength -1\n0 0 0\n"},
        {[] { return std::make_unique<TCodex1DLutFormat>(); }, "LUT: 3 -7\n1\n2\n"},
        {[] { return std::make_unique<TCodex1DLutFormat>(); }, "LUT: -3 2\n1\n2\n"},
        {[] { return std::make_unique<TCodex1DLutFormat>(); }, "LUT: 0 2\n1\n2\n3\n4\n5\n6\n"},
        {[] { return std::make_unique<TCodex1DLutFormat>(); }, "LUT: 3 2\n99999999999999999999\n"},
        {[] { return std::make_unique<TQuantel1DLutFormat>(); }, "gMax 2147483647\ngSize -2\n0 0 0\n"},
        {[] { return std::make_unique<TQuantel1DLutFormat>(); }, "gMax 9223372036854775807\ngSize 2\n"},
        {[] { return std::make_unique<TFusion1DLutFormat>(); }, "F5LT\n-16\n0 0 0 0 0 0\n"},
        {[] { return std::make_unique<TFusion1DLutFormat>(); }, "F5LT\n99999999999999999999999\n0 0 0 0 0 0\n"},
        {[] { return std::make_unique<TFusion1DLutFormat>(); },
         "F5LT\n32\n0 4294967295 0 0 0 99999999999999999999\n1 1 1 1 1 1\n"},
        {[] { return std::make_unique<TLustre1DLutFormat>(); }, "LUT16\n0 99999999999999999999 0 0\n0 1 1 1\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        WriteBytes(dir.File("a.txt"), c.text);
        auto format = c.make();
        LoadSurvives(*format, dir.File("a.txt"), *scratch);
    }
}

}  // namespace
}  // namespace tintavo
