// The helpers the text layouts share, the line-by-line reader and the line numbers of errors.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "common/Errors.h"
#include "formats/Formats1DDecimal.h"
#include "formats/Formats3DDecimal.h"
#include "formats/FormatsXML.h"
#include "formats/LUTFormat.h"
#include "formats/LUTFormatImps.h"
#include "formats/TextFile.h"
#include "formats/TextLayout.h"
#include "FrameworkTestUtil.h"

namespace tintavo {
namespace {

using testfw::LinesOf;
using testfw::ReadBytes;
using testfw::TempDir;
using testfw::WriteBytes;

TEST(TextLayoutTest, BaseNameKeepsBackslashesAndDropsTheLastExtension) {
    EXPECT_EQ("grade", BaseNameWithoutExtension("/any/folder/grade.cms"));
    EXPECT_EQ("grade.swto", BaseNameWithoutExtension("grade.swto.xml"));
    EXPECT_EQ("dir\\name", BaseNameWithoutExtension("dir\\name.cms"));
    EXPECT_EQ("a", BaseNameWithoutExtension("x.y/a.b\\c"));  // its last extension is ".b\c"
    EXPECT_EQ(".hidden", BaseNameWithoutExtension("f/.hidden"));
    EXPECT_EQ("plain", BaseNameWithoutExtension("f.d/plain"));

    EXPECT_TRUE(HasExtension("a/b.3DL", ".3dl"));
    EXPECT_TRUE(HasExtension("x\\b.1dLut", ".1DLUT"));
    EXPECT_FALSE(HasExtension("a.3dl/b", ".3dl"));
    EXPECT_FALSE(HasExtension("a.3dl\\b", ".3dl"));
    EXPECT_FALSE(HasExtension("b.x3dl", ".3dl"));
    EXPECT_FALSE(HasExtension("3dl", ".3dl"));
}

// Every writer that titles a file after its name uses the same rule.
TEST(TextLayoutTest, WritersTitleFilesAlike) {
    TempDir dir;
    auto lut = std::make_unique<TLUT>();
    lut->SetIdentity3D(2);
    lut->SetIdentity1D(2);
    lut->LutKind = lk3D;
    TNucoda3DLutFormat nucoda3D;
    TNucoda1DLutWriterFormat nucoda1D;
    TClipster3DLutFormat clipster;
    TStwo1DLutFormat stwo;
    nucoda3D.Save(dir.File("x\\name3d.cms"), *lut, 0);
    nucoda1D.Save(dir.File("x\\name1d.cms"), *lut, 0);
    clipster.Save(dir.File("x\\clip.v2.txt"), *lut, 16);
    stwo.Save(dir.File("x\\grade.swto.xml"), *lut, 10);
    EXPECT_EQ("TITLE \"x\\name3d\"", LinesOf(ReadBytes(dir.File("x\\name3d.cms")))[2]);
    EXPECT_EQ("TITLE \"x\\name1d\"", LinesOf(ReadBytes(dir.File("x\\name1d.cms")))[2]);
    EXPECT_EQ("<LUT3D name='x\\clip.v2' N='2' BitDepth='16'>", LinesOf(ReadBytes(dir.File("x\\clip.v2.txt")))[0]);
    EXPECT_EQ("<lut name=\"x\\grade.swto\">", LinesOf(ReadBytes(dir.File("x\\grade.swto.xml")))[1]);
}

TEST(TextLayoutTest, CommentLinesKeepEveryPartOfAComment) {
    EXPECT_EQ((std::vector<std::string>{"# one"}), CommentLines("one"));
    EXPECT_EQ((std::vector<std::string>{"# "}), CommentLines(""));
    EXPECT_EQ((std::vector<std::string>{"# a", "# b", "# c", "# d"}), CommentLines("a\r\nb\rc\nd"));
    EXPECT_EQ((std::vector<std::string>{"# a", "# ", "# b", "# "}), CommentLines("a\n\nb\n"));
    EXPECT_TRUE(IsCommentLine(" \t# x"));
    EXPECT_FALSE(IsCommentLine("x # y"));
    EXPECT_FALSE(IsCommentLine(" \t"));
    EXPECT_TRUE(IsBlankLine(" \t\x01"));
    EXPECT_FALSE(IsBlankLine(" . "));
    EXPECT_EQ("text # more", CommentText("  #  text # more \t"));
}

TEST(TextLayoutTest, BitDepthsAndWriteSizes) {
    EXPECT_NO_THROW(CheckBitDepth(1, 31));
    EXPECT_NO_THROW(CheckBitDepth(31, 31));
    try {
        CheckBitDepth(32, 31);
        FAIL();
    } catch (const ELUTError& e) {
        EXPECT_STREQ("Unsupported bit depth 32 (1 to 31 bits).", e.what());
    }
    EXPECT_THROW(CheckBitDepth(0, 62), ELUTError);
    EXPECT_THROW(CheckBitDepth(1LL << 40, 62), ELUTError);
    auto lut = std::make_unique<TLUT>();
    lut->Size3D = 102;
    lut->Size1D = 1;
    EXPECT_THROW(CheckWriteSize3D(*lut), ELUTError);
    EXPECT_THROW(CheckWriteSize1D(*lut), ELUTError);
    lut->Size3D = 101;
    lut->Size1D = MaxLut1DSize;
    EXPECT_NO_THROW(CheckWriteSize3D(*lut));
    EXPECT_NO_THROW(CheckWriteSize1D(*lut));
}

// PosNoCase finds the first place, whatever the letter case, as a plain search would.
TEST(TextLayoutTest, PosNoCaseFindsTheFirstPlaceInEitherCase) {
    std::mt19937 random(3);
    const char alphabet[] = {'a', 'A', 'b', 'B', '#', '1', ' '};
    auto text = [&](std::size_t n) {
        std::string s;
        for (std::size_t i = 0; i < n; ++i) s += alphabet[random() % 7];
        return s;
    };
    auto upper = [](std::string s) {
        for (char& c : s)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        return s;
    };
    for (int round = 0; round < 20000; ++round) {
        const std::string keyword = text(1 + random() % 3), line = text(random() % 12);
        const std::size_t found = upper(line).find(upper(keyword));
        const int expected = found == std::string::npos ? 0 : static_cast<int>(found) + 1;
        ASSERT_EQ(expected, PosNoCase(keyword, line)) << "'" << keyword << "' in '" << line << "'";
    }
}

std::vector<std::string> ReadAll(TTextReader& reader) {
    std::vector<std::string> lines;
    std::string line;
    while (reader.NextLine(line)) {
        lines.push_back(line);
        EXPECT_EQ(static_cast<long long>(lines.size()), reader.LineNumber());
    }
    return lines;
}

// The reader splits exactly as TTextFile does, also where a block of the file ends inside a
// line, between a CR and its LF, or at a NUL byte.
TEST(TextReaderTest, SplitsLikeTheTextFileAcrossBlockBoundaries) {
    TempDir dir;
    std::mt19937 random(7);
    const char pieces[] = {'a', 'b', ' ', '\r', '\n', '\r', '\n', 'x'};
    for (int round = 0; round < 40; ++round) {
        // Around one and a half blocks of 256 KiB, with runs long enough to straddle them.
        std::string text;
        const std::size_t length = 200000 + random() % 300000;
        while (text.size() < length) {
            const char c = pieces[random() % 8];
            text.append(c == 'x' ? static_cast<std::size_t>(random() % 70000) : 1, c);
        }
        if (round % 5 == 0) text[random() % text.size()] = '\0';
        if (round == 1) text[262143] = '\r', text[262144] = '\n';  // CR LF split by the block end
        if (round == 2) text.insert(0, std::string(600000, 'y'));   // one line over two blocks
        TTextFile expected;
        expected.SetText(text);
        WriteBytes(dir.File("t.txt"), text);
        TTextReader reader(dir.File("t.txt"));
        ASSERT_EQ(expected.Lines, ReadAll(reader)) << "round " << round;
        reader.Rewind();
        ASSERT_EQ(expected.Lines, ReadAll(reader)) << "round " << round << " again";
        EXPECT_EQ(expected.Lines.size(), reader.Count());
        TTextReader inMemory = TTextReader::FromText(text);
        ASSERT_EQ(expected.Lines, ReadAll(inMemory)) << "round " << round << " in memory";
    }
}

TEST(TextReaderTest, ReadsPipesAndNamesUnreadableFiles) {
    TempDir dir;
    const std::string fifo = dir.File("pipe.cube");
    ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600));
    std::thread writer([&] { WriteBytes(fifo, "a\r\nb\n\nc"); });
    TTextReader reader(fifo);
    writer.join();
    EXPECT_EQ((std::vector<std::string>{"a", "b", "", "c"}), ReadAll(reader));
    reader.Rewind();
    EXPECT_EQ(4u, reader.Count());

    try {
        TTextReader absent(dir.File("absent.cube"));
        FAIL();
    } catch (const EFileError& e) {
        EXPECT_NE(std::string(e.what()).find("absent.cube"), std::string::npos) << e.what();
    }
    EXPECT_THROW(TTextReader folder(dir.Path()), EFileError);
}

// A valid file broken at one line per block of its layout: the specified message, then the
// line, counted the same way for LF, CR LF and CR line ends.
TEST(TextReaderTest, ErrorsNameTheLineOfTheBrokenBlock) {
    TempDir dir;
    auto lut = std::make_unique<TLUT>();
    const struct {
        const TLUTFormat* format;
        std::string text;
        std::string message;
    } cases[] = {
        {GetLutFormat(1), "# a\n\nLUT_3D_SIZE two\n", "'two' is not a valid integer value at line 3"},
        {GetLutFormat(1), "# a\n# b\n\n\nLUT_3D_SIZE 500\n",
         "LUT size 500 is too large: at most 101 points per axis are supported at line 5."},
        {GetLutFormat(7), "LUT_1D_SIZE 1\n", "LUT size 1 is too small: at least 2 entries are needed at line 1."},
        {GetLutFormat(2), "\n# c\n\n3DMESH\nMesh 5 40\n", "Invalid bit depth 40 in the Mesh line at line 5."},
        {GetLutFormat(20), "F5LT\n\n99\n", "Unsupported bit depth 99 (1 to 31 bits) at line 3."},
    };
    for (const auto& c : cases) {
        for (const char* lineEnd : {"\n", "\r\n", "\r"}) {
            std::string text = c.text;
            for (std::size_t pos = 0; (pos = text.find('\n', pos)) != std::string::npos; pos += std::string(lineEnd).size())
                text.replace(pos, 1, lineEnd);
            WriteBytes(dir.File("bad.txt"), text);
            try {
                c.format->Load(dir.File("bad.txt"), *lut);
                ADD_FAILURE() << c.format->Name << " loaded " << c.text;
            } catch (const std::exception& e) {
                EXPECT_EQ(c.message, e.what()) << c.format->Name;
            }
        }
    }
    // Errors of the whole file name no line.
    WriteBytes(dir.File("short.cube"), "LUT_3D_SIZE 2\n0 0 0\n");
    try {
        GetLutFormat(1)->Load(dir.File("short.cube"), *lut);
        FAIL();
    } catch (const ELUTError& e) {
        EXPECT_STREQ("Incomplete file.", e.what());
    }
}

}  // namespace
}  // namespace tintavo
