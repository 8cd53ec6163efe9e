// TTextFile, ReadFileHead, the header keyword test and the generic load.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <memory>

#include "common/Errors.h"
#include "formats/LUTFormat.h"
#include "formats/LUTFormatImps.h"
#include "formats/TextFile.h"
#include "FrameworkTestUtil.h"

namespace tintavo {
namespace {

using testfw::ReadBytes;
using testfw::TempDir;
using testfw::WriteBytes;

TEST(TextFileTest, WritesEveryLineWithOneLineFeed) {
    TempDir dir;
    TTextFile text;
    text.Add("a");
    text.Add("");
    text.Add("b");
    text.WriteToFile(dir.File("t.txt"));
    EXPECT_EQ(std::string("a\n\nb\n"), ReadBytes(dir.File("t.txt")));

    TTextFile empty;
    empty.WriteToFile(dir.File("e.txt"));
    EXPECT_EQ("", ReadBytes(dir.File("e.txt")));
}

TEST(TextFileTest, WriteReplacesAnExistingFileAndLeavesNoTemporary) {
    TempDir dir;
    WriteBytes(dir.File("t.txt"), "old content that is longer\r\n");
    TTextFile text;
    text.Add("new");
    text.WriteToFile(dir.File("t.txt"));
    EXPECT_EQ("new\n", ReadBytes(dir.File("t.txt")));
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(1, files);
}

TEST(TextFileTest, WriteFailureNamesTheFileAndKeepsTheOldOne) {
    TempDir dir;
    TTextFile text;
    text.Add("x");
    try {
        text.WriteToFile(dir.File("missing-folder/t.cube"));
        FAIL() << "no error raised";
    } catch (const EFileError& e) {
        EXPECT_NE(std::string(e.what()).find("missing-folder/t.cube"), std::string::npos) << e.what();
    }
    if (::geteuid() != 0) {
        // A read-only folder: the old file must survive untouched.
        std::filesystem::create_directories(dir.File("ro"));
        WriteBytes(dir.File("ro/keep.cube"), "old\n");
        ::chmod(dir.File("ro").c_str(), 0555);
        EXPECT_THROW(text.WriteToFile(dir.File("ro/keep.cube")), EFileError);
        ::chmod(dir.File("ro").c_str(), 0755);
        EXPECT_EQ("old\n", ReadBytes(dir.File("ro/keep.cube")));
    }
}

TEST(TextFileTest, SplitsAtCrLfAndCrLfAndStopsAtNul) {
    TTextFile text;
    text.SetText("a\r\nb\rc\nd");
    EXPECT_EQ((std::vector<std::string>{"a", "b", "c", "d"}), text.Lines);
    // A final line break adds no empty line; an empty line in the middle stays.
    text.SetText("a\n\nb\n");
    EXPECT_EQ((std::vector<std::string>{"a", "", "b"}), text.Lines);
    // CR CR is two line ends, LF CR two as well.
    text.SetText("a\r\rb\n\rc");
    EXPECT_EQ((std::vector<std::string>{"a", "", "b", "", "c"}), text.Lines);
    text.SetText(std::string_view("a\nb\0c\nd", 7));
    EXPECT_EQ((std::vector<std::string>{"a", "b"}), text.Lines);
    text.SetText("");
    EXPECT_TRUE(text.Lines.empty());
    text.SetText("\n");
    EXPECT_EQ((std::vector<std::string>{""}), text.Lines);
}

TEST(TextFileTest, LoadFromFileReadsBytesAsTheyAre) {
    TempDir dir;
    WriteBytes(dir.File("t.txt"), "x\xe9y\r\n\t z \r\n");
    TTextFile text;
    text.LoadFromFile(dir.File("t.txt"));
    EXPECT_EQ((std::vector<std::string>{"x\xe9y", "\t z "}), text.Lines);
    EXPECT_THROW(text.LoadFromFile(dir.File("absent.txt")), EFileError);
}

TEST(ReadFileHeadTest, ReturnsAtMostCountBytes) {
    TempDir dir;
    WriteBytes(dir.File("h.bin"), std::string("ab\0cd", 5));
    EXPECT_EQ(std::string("ab\0c", 4), ReadFileHead(dir.File("h.bin"), 4));
    EXPECT_EQ(std::string("ab\0cd", 5), ReadFileHead(dir.File("h.bin"), 4096));
    try {
        ReadFileHead(dir.File("none.bin"), 10);
        FAIL() << "no error raised";
    } catch (const EFileError& e) {
        EXPECT_NE(std::string(e.what()).find("none.bin"), std::string::npos);
    }
}

// Opens the protected parts of the generic format for the tests.
class TProbeFormat : public TGenericLutFormat {
public:
    explicit TProbeFormat(bool is3D) { Is3D = is3D; }
    bool Identify(const std::string&) const override { return false; }
    void Save(const std::string&, const TLUT&, int) const override {}
    // The generic load on this object itself, so that a test sees what it recorded.
    using TGenericLutFormat::Read;
    using TGenericLutFormat::CheckSize1D;
    using TGenericLutFormat::CheckSize3D;
    using TGenericLutFormat::TestHeaderKeywords;

    std::vector<std::string> Seen;
    bool LinesExistedDuringParse = false;
    bool ThrowOnLine = false;

protected:
    std::unique_ptr<TGenericLutFormat> NewParser() const override { return std::make_unique<TProbeFormat>(*this); }
    void Prepare(TTextReader& lines) override { Seen.push_back("prepare " + std::to_string(lines.Count())); }
    // Lines of the form "size N" set the size, "data r g b" store red fastest, "1d" stores a 1D entry.
    void ParseLine(const std::string& line, TLUT& lut) override {
        LinesExistedDuringParse = Lines != nullptr;
        Seen.push_back(line);
        if (ThrowOnLine && line == "boom") throw ELUTError("boom");
        std::string rest = line;
        const std::string word = NextToken(rest);
        if (word == "size") {
            Size = StrToInt(rest);
        } else if (word == "data") {
            double r, g, b;
            if (ParseFixedTriple(rest, r, g, b)) StoreRedFastest(lut, r, g, b);
        } else if (word == "1d") {
            lut.Table1D[Index1D++] = {0.5, 0.5, 0.5};
            if (Index1D == Size) Complete = true;
        }
    }
};

TEST(GenericLoadTest, CallsPrepareThenEveryLineUntrimmedAndFreesLines) {
    TempDir dir;
    WriteBytes(dir.File("g.txt"), "  size 2 \r\n\n# x\n");
    TProbeFormat format(true);
    auto lut = std::make_unique<TLUT>();
    EXPECT_THROW(format.Read(dir.File("g.txt"), *lut), ELUTError);
    EXPECT_EQ((std::vector<std::string>{"prepare 3", "  size 2 ", "", "# x"}), format.Seen);
    EXPECT_TRUE(format.LinesExistedDuringParse);

    format.ThrowOnLine = true;
    WriteBytes(dir.File("b.txt"), "boom\n");
    EXPECT_THROW(format.Load(dir.File("b.txt"), *lut), ELUTError);
}

TEST(GenericLoadTest, CompleteFileSetsKindAndSize) {
    TempDir dir;
    std::string text = "size 2\n";
    for (int k = 0; k < 8; ++k) text += "data " + std::to_string(k) + " 0 0\n";
    WriteBytes(dir.File("c.txt"), text);
    TProbeFormat format(true);
    auto lut = std::make_unique<TLUT>();
    format.Load(dir.File("c.txt"), *lut);
    EXPECT_EQ(lk3D, lut->LutKind);
    EXPECT_EQ(2, lut->Size3D);
    // Red fastest: entry k is r + 2g + 4b.
    EXPECT_EQ(1.0, lut->Table3D[1][0][0].R);
    EXPECT_EQ(2.0, lut->Table3D[0][1][0].R);
    EXPECT_EQ(4.0, lut->Table3D[0][0][1].R);
    EXPECT_EQ(7.0, lut->Table3D[1][1][1].R);

    TProbeFormat format1D(false);
    WriteBytes(dir.File("d.txt"), "size 3\n1d\n1d\n1d\n");
    lut->LutKind = lk3D;
    format1D.Load(dir.File("d.txt"), *lut);
    EXPECT_EQ(lk1D, lut->LutKind);
    EXPECT_EQ(3, lut->Size1D);
    EXPECT_EQ(2, lut->Size3D);  // the other size is left alone
}

TEST(GenericLoadTest, FailedLoadNeverHandsOutItsSize) {
    TempDir dir;
    auto lut = std::make_unique<TLUT>();
    lut->SetIdentity3D(5);
    TProbeFormat format(true);
    // No size at all, and a size with too few entries.
    WriteBytes(dir.File("none.txt"), "data 1 2 3\n");
    WriteBytes(dir.File("short.txt"), "size 3\ndata 1 1 1\n");
    for (const char* name : {"none.txt", "short.txt"}) {
        try {
            format.Load(dir.File(name), *lut);
            FAIL() << name;
        } catch (const ELUTError& e) {
            EXPECT_STREQ("Incomplete file.", e.what());
        }
        EXPECT_EQ(lk3D, lut->LutKind) << name;
        EXPECT_EQ(5, lut->Size3D) << name;
    }
}

TEST(GenericLoadTest, StoringStopsAtTheEndOfTheTable) {
    // A size beyond the tables stores nothing (the reader refuses it, and the store helper
    // refuses indices outside the size); extra data lines after the last entry are ignored.
    TempDir dir;
    std::string text = "size 2\n";
    for (int k = 0; k < 12; ++k) text += "data " + std::to_string(k) + " 0 0\n";
    WriteBytes(dir.File("long.txt"), text);
    WriteBytes(dir.File("huge.txt"), "size 500\ndata 9 9 9\n");
    TProbeFormat format(true);
    auto lut = std::make_unique<TLUT>();
    format.Load(dir.File("long.txt"), *lut);
    EXPECT_EQ(7.0, lut->Table3D[1][1][1].R);
    EXPECT_EQ(0.0, lut->Table3D[2][0][0].R);
    EXPECT_THROW(format.Load(dir.File("huge.txt"), *lut), ELUTError);
    EXPECT_EQ(0.0, lut->Table3D[0][0][0].R);
}

TEST(CheckSizeTest, RefusesSizesTheTablesCannotHoldNamingSizeAndLimit) {
    TProbeFormat format(true);
    EXPECT_NO_THROW(format.CheckSize3D(2));
    EXPECT_NO_THROW(format.CheckSize3D(101));
    EXPECT_NO_THROW(format.CheckSize1D(100001));
    try {
        format.CheckSize3D(102);
        FAIL();
    } catch (const ELUTError& e) {
        const std::string m = e.what();
        EXPECT_NE(m.find("102"), std::string::npos) << m;
        EXPECT_NE(m.find("101"), std::string::npos) << m;
    }
    try {
        format.CheckSize1D(100002);
        FAIL();
    } catch (const ELUTError& e) {
        const std::string m = e.what();
        EXPECT_NE(m.find("100002"), std::string::npos) << m;
        EXPECT_NE(m.find("100001"), std::string::npos) << m;
    }
    EXPECT_THROW(format.CheckSize3D(1), ELUTError);
    EXPECT_THROW(format.CheckSize3D(-1), ELUTError);
    EXPECT_THROW(format.CheckSize3D(1LL << 40), ELUTError);
    EXPECT_THROW(format.CheckSize1D(0), ELUTError);
}

TEST(HeaderKeywordsTest, RequiredAndExcludedWordsInTheFirst4096Bytes) {
    TempDir dir;
    TProbeFormat format(true);
    const std::string required = "LUT_3D_SIZE", excluded = "NUCODA_3D_CUBE,LUT_3D_VERSION";
    WriteBytes(dir.File("lower.cube"), "# x\nlut_3d_size 2\n");
    EXPECT_TRUE(format.TestHeaderKeywords(dir.File("lower.cube"), required, excluded));

    std::string withVersion = "LUT_3D_SIZE 2\n" + std::string(4000, '#') + "\nlut_3d_version 2";
    ASSERT_LE(withVersion.size(), 4096u);
    WriteBytes(dir.File("version.cube"), withVersion);
    EXPECT_FALSE(format.TestHeaderKeywords(dir.File("version.cube"), required, excluded));

    // Words beyond byte 4096 are not seen, neither required nor excluded ones.
    WriteBytes(dir.File("late.cube"), std::string(4090, ' ') + "LUT_3D_SIZE 2\n");
    EXPECT_FALSE(format.TestHeaderKeywords(dir.File("late.cube"), required, excluded));
    WriteBytes(dir.File("lateexcl.cube"), "LUT_3D_SIZE 2" + std::string(4090, ' ') + "NUCODA_3D_CUBE\n");
    EXPECT_TRUE(format.TestHeaderKeywords(dir.File("lateexcl.cube"), required, excluded));

    // Every word of the list is searched on its own; blanks separate words like commas,
    // except inside double quotes.
    WriteBytes(dir.File("w.txt"), "FORMAT 3D LUT ... CHANNEL");
    EXPECT_TRUE(format.TestHeaderKeywords(dir.File("w.txt"), "channel 3d,format lut", ""));
    EXPECT_FALSE(format.TestHeaderKeywords(dir.File("w.txt"), "channel 3d,format lut,mesh", ""));
    EXPECT_FALSE(format.TestHeaderKeywords(dir.File("w.txt"), "\"3D FORMAT\"", ""));
    EXPECT_TRUE(format.TestHeaderKeywords(dir.File("w.txt"), "\"FORMAT 3D\"", ""));
    // Empty lists decide nothing.
    EXPECT_TRUE(format.TestHeaderKeywords(dir.File("w.txt"), "", ""));
    EXPECT_TRUE(format.TestHeaderKeywords(dir.File("w.txt"), " , ", ","));
    EXPECT_THROW(format.TestHeaderKeywords(dir.File("absent.txt"), "x", ""), EFileError);
}

}  // namespace
}  // namespace tintavo

namespace tintavo {
namespace {

// A format with a Load of its own that sets the sizes before it fails.
class TEagerFormat : public TLUTFormat {
public:
    bool Fail = true;
    bool Identify(const std::string&) const override { return true; }
    void Load(const std::string&, TLUT& lut) const override {
        lut.LutKind = lk1DThen3D;
        lut.Size3D = 7;
        lut.Size1D = -1;
        lut.Comments.push_back("from file");
        lut.Table3D[0][0][0] = {9, 9, 9};
        if (Fail) throw ELUTError("Incomplete file.");
        lut.Size1D = 2;
    }
    void Save(const std::string&, const TLUT&, int) const override {}
};

TEST(LoadLutTest, FailedLoadLeavesTheLutAsItWas) {
    TEagerFormat format;
    auto lut = std::make_unique<TLUT>();
    lut->SetIdentity3D(4);
    lut->Comments = {"mine"};
    EXPECT_THROW(LoadLut(format, "any", *lut), ELUTError);
    EXPECT_EQ(lk3D, lut->LutKind);
    EXPECT_EQ(4, lut->Size3D);
    EXPECT_EQ(0, lut->Size1D);
    EXPECT_EQ(std::vector<std::string>{"mine"}, lut->Comments);
    EXPECT_EQ(0.0, lut->Table3D[0][0][0].R);

    // A load that succeeds behaves like a direct Load: comments appended, entries the file
    // does not set keep their values.
    format.Fail = false;
    LoadLut(format, "any", *lut);
    EXPECT_EQ(lk1DThen3D, lut->LutKind);
    EXPECT_EQ(7, lut->Size3D);
    EXPECT_EQ((std::vector<std::string>{"mine", "from file"}), lut->Comments);
    EXPECT_EQ(9.0, lut->Table3D[0][0][0].R);
    EXPECT_EQ(1.0, lut->Table3D[3][0][0].R);
}

}  // namespace
}  // namespace tintavo
