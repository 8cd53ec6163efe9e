// Clipster 3D, PixelFarm PFClean 3D, S.two 1D and Adobe Speedgrade look: exact bytes written,
// reading, round trips and the refusal of files the tables cannot hold.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <utility>

#include <unistd.h>

#include "common/Errors.h"
#include "formats/FormatsXML.h"
#include "formats/LUTFormat.h"

namespace tintavo {
namespace {

class XMLFormatsTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("tintavo-xml-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
        lut_ = std::make_unique<TLUT>();
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string PathOf(const std::string& name) const { return (dir_ / name).string(); }

    std::string Write(const std::string& name, const std::string& text) const {
        const std::string path = PathOf(name);
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    static std::string ErrorOf(const std::function<void()>& action) {
        try {
            action();
        } catch (const std::exception& e) {
            return e.what();
        }
        return "(no error)";
    }

    // A 2-point LUT: the identity corners, with entry [0][0][1] off the scale in both directions.
    void FillSmallLut() {
        lut_->SetIdentity3D(2);
        lut_->Table3D[0][0][1] = {0.5, -0.1, 1.2};
    }

    // Every entry of a size-n table marked, to see which ones a reader leaves untouched.
    void FillSentinel(int n) {
        for (int r = 0; r < n; ++r)
            for (int g = 0; g < n; ++g)
                for (int b = 0; b < n; ++b) lut_->Table3D[r][g][b] = {-7.0, -7.0, -7.0};
    }

    std::filesystem::path dir_;
    std::unique_ptr<TLUT> lut_;
};

// ---------------------------------------------------------------------------------------------
// Exact bytes

TEST_F(XMLFormatsTest, ClipsterWritesExactBytes) {
    FillSmallLut();
    const std::string path = PathOf("calib.txt");
    TClipster3DLutFormat().Save(path, *lut_, 8);
    EXPECT_EQ(Read(path),
              "<LUT3D name='calib' N='2' BitDepth='8'>\n"
              "<values>\n"
              "0 0 0\n"
              "128 0 255\n"  // 127.5 rounds to even; -0.1 clamps to 0, 1.2 to full scale
              "0 255 0\n"
              "0 255 255\n"
              "255 0 0\n"
              "255 0 255\n"
              "255 255 0\n"
              "255 255 255\n"
              "</values>\n"
              "</LUT3D>\n");

    TClipster3DLutFormat().Save(path, *lut_, 16);
    const std::string text = Read(path);
    EXPECT_EQ(text.substr(0, text.find('\n')), "<LUT3D name='calib' N='2' BitDepth='16'>");
    EXPECT_NE(text.find("\n0 65535 65535\n"), std::string::npos);
}

TEST_F(XMLFormatsTest, PFCleanWritesExactBytes) {
    FillSmallLut();
    const std::string path = PathOf("grade.pfl");
    TPFClean3D_Format().Save(path, *lut_, 8);
    EXPECT_EQ(Read(path),
              "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
              "<lut type=\"ascii\">\n"
              "<maximum>255</maximum>\n"
              "<size>2</size>\n"
              "<cube>\n"
              "0 0 0\n"
              "128 0 255\n"
              "0 255 0\n"
              "0 255 255\n"
              "255 0 0\n"
              "255 0 255\n"
              "255 255 0\n"
              "255 255 255\n"
              "</cube>\n"
              "</lut>\n");
}

TEST_F(XMLFormatsTest, StwoWritesExactBytes) {
    lut_->SetIdentity1D(3);
    lut_->Table1D[1] = {0.5, -0.1, 1.2};
    const std::string path = PathOf("grade.swto.xml");
    TStwo1DLutFormat().Save(path, *lut_, 10);
    EXPECT_EQ(Read(path),
              "<?xml version=\"1.0\"?>\n"
              "<lut name=\"grade.swto\">\n"
              "<data>\n"
              "<elem r=\"0\" g=\"0\" b=\"0\"/>\n"
              "<elem r=\"512\" g=\"0\" b=\"1023\"/>\n"
              "<elem r=\"1023\" g=\"1023\" b=\"1023\"/>\n"
              "</data>\n"
              "</lut>\n");
}

TEST_F(XMLFormatsTest, WritersRefuseSizesTheTablesCannotHold) {
    lut_->Size3D = 102;
    const std::string path = PathOf("x.txt");
    EXPECT_THROW(TClipster3DLutFormat().Save(path, *lut_, 16), ELUTError);
    EXPECT_THROW(TPFClean3D_Format().Save(path, *lut_, 8), ELUTError);
    lut_->Size3D = -1;  // a LUT left by a failed load
    EXPECT_THROW(TClipster3DLutFormat().Save(path, *lut_, 16), ELUTError);
    lut_->Size1D = MaxLut1DSize + 1;
    EXPECT_THROW(TStwo1DLutFormat().Save(path, *lut_, 10), ELUTError);
    lut_->SetIdentity3D(2);
    EXPECT_THROW(TPFClean3D_Format().Save(path, *lut_, 0), ELUTError);
    EXPECT_THROW(TPFClean3D_Format().Save(path, *lut_, 64), ELUTError);
    EXPECT_FALSE(std::filesystem::exists(path));

    // The read-only layouts create no file.
    TSpeedgradeLook3DLutFormat().Save(path, *lut_, 0);
    TASC_CDL_Format().Save(path, *lut_, 0);
    EXPECT_FALSE(std::filesystem::exists(path));
}

// ---------------------------------------------------------------------------------------------
// Round trips

TEST_F(XMLFormatsTest, ClipsterAndPFCleanRoundTrip) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const int n = 5;
    lut_->SetIdentity3D(n);
    for (int r = 0; r < n; ++r)
        for (int g = 0; g < n; ++g)
            for (int b = 0; b < n; ++b) lut_->Table3D[r][g][b] = {unit(random), unit(random), unit(random)};
    auto source = std::make_unique<TLUT>();
    source->CopyFrom(*lut_);

    struct TCase {
        TLUTFormat* Format;
        const char* File;
        int Bits;
    };
    TClipster3DLutFormat clipster;
    TPFClean3D_Format pfclean;
    for (const TCase& c : {TCase{&clipster, "rt.txt", 16}, TCase{&clipster, "rt12.txt", 12},
                           TCase{&pfclean, "rt.pfl", 8}, TCase{&pfclean, "rt10.pfl", 10}}) {
        const std::string path = PathOf(c.File);
        c.Format->Save(path, *source, c.Bits);
        EXPECT_TRUE(c.Format->Identify(path)) << c.File;

        auto back = std::make_unique<TLUT>();
        c.Format->Load(path, *back);
        EXPECT_EQ(back->LutKind, lk3D);
        ASSERT_EQ(back->Size3D, n);
        const double step = 1.0 / ((1 << c.Bits) - 1);
        for (int r = 0; r < n; ++r)
            for (int g = 0; g < n; ++g)
                for (int b = 0; b < n; ++b) {
                    const TLutColor& in = source->Table3D[r][g][b];
                    const TLutColor& out = back->Table3D[r][g][b];
                    ASSERT_NEAR(out.R, in.R, step / 2 + 1e-12) << c.File;
                    ASSERT_NEAR(out.G, in.G, step / 2 + 1e-12) << c.File;
                    ASSERT_NEAR(out.B, in.B, step / 2 + 1e-12) << c.File;
                    // The value read is exactly a code over the largest code.
                    ASSERT_DOUBLE_EQ(std::nearbyint(out.B / step) * step, out.B);
                }
    }

    auto back = std::make_unique<TLUT>();
    clipster.Load(PathOf("rt.txt"), *back);
    ASSERT_EQ(back->Comments.size(), 1u);
    EXPECT_EQ(back->Comments[0], "Name: rt");
    pfclean.Load(PathOf("rt.pfl"), *back);
    EXPECT_EQ(back->Comments.size(), 1u);  // PFClean adds no comment
}

TEST_F(XMLFormatsTest, StwoRoundTripIsAlwaysReadAtTenBits) {
    const int n = 1024;
    lut_->SetIdentity1D(n);
    TStwo1DLutFormat stwo;
    const std::string path = PathOf("curve.swto.xml");
    stwo.Save(path, *lut_, 10);
    EXPECT_TRUE(stwo.Identify(path));
    auto back = std::make_unique<TLUT>();
    back->LutKind = lk3D;
    stwo.Load(path, *back);
    EXPECT_EQ(back->LutKind, lk1D);
    ASSERT_EQ(back->Size1D, n);
    for (int i = 0; i < n; ++i) ASSERT_DOUBLE_EQ(back->Table1D[i].G, lut_->Table1D[i].G) << i;

    // Written at 12 bits, the codes are still divided by 1023, so full scale exceeds 1.
    stwo.Save(path, *lut_, 12);
    stwo.Load(path, *back);
    EXPECT_DOUBLE_EQ(back->Table1D[n - 1].R, 4095.0 / 1023.0);
}

TEST_F(XMLFormatsTest, StwoReadsOnlyElemChildren) {
    const std::string path = Write("s.xml",
                                   "<?xml version=\"1.0\"?>\n<LUT name=\"x\">\n<Data>\n"
                                   "<ELEM r=\"1023\" g=\"511.5\" b=\"0\"/>\n"
                                   "<!-- a comment -->\n<other r=\"5\"/>\n"
                                   "<elem r=\"10\"/>\n"
                                   "<elements r=\"3\"/>\n"
                                   "</Data>\n</LUT>\n");
    TStwo1DLutFormat().Load(path, *lut_);
    ASSERT_EQ(lut_->Size1D, 2);
    EXPECT_DOUBLE_EQ(lut_->Table1D[0].R, 1.0);
    EXPECT_DOUBLE_EQ(lut_->Table1D[0].G, 0.5);
    EXPECT_DOUBLE_EQ(lut_->Table1D[1].R, 10.0 / 1023.0);
    EXPECT_EQ(lut_->Table1D[1].G, 0.0);  // a missing attribute reads as 0
    EXPECT_EQ(lut_->Table1D[1].B, 0.0);
}

// ---------------------------------------------------------------------------------------------
// Reading Clipster and PFClean

TEST_F(XMLFormatsTest, ClipsterSkipsUnreadableLinesAndStopsAtTheCube) {
    FillSentinel(2);
    const std::string path = Write("c.txt",
                                   "<LUT3D name='shot 1' N='2' BitDepth='10'>\r\n"
                                   "<values>\r\n"
                                   "  1023 0 0  \r\n"
                                   "\r\n"
                                   "not a line\r\n"
                                   "1 2 3 4\r\n"
                                   "0,1023,0\r\n"
                                   "0 0 1023\r\n"
                                   "</values>\r\n"
                                   "</LUT3D>\r\n");
    TClipster3DLutFormat().Load(path, *lut_);
    EXPECT_EQ(lut_->LutKind, lk3D);
    EXPECT_EQ(lut_->Size3D, 2);
    EXPECT_EQ(lut_->Table3D[0][0][0].R, 1.0);
    EXPECT_EQ(lut_->Table3D[0][0][1].G, 1.0);
    EXPECT_EQ(lut_->Table3D[0][1][0].B, 1.0);
    // A short file raises no error and leaves the other entries as they were.
    EXPECT_EQ(lut_->Table3D[0][1][1].R, -7.0);
    EXPECT_EQ(lut_->Table3D[1][1][1].B, -7.0);
    // Attribute values cannot hold a blank: the piece 'shot loses its first and last characters.
    ASSERT_EQ(lut_->Comments.size(), 1u);
    EXPECT_EQ(lut_->Comments[0], "Name: sho");

    // Lines beyond the N^3 entries are not stored anywhere.
    FillSentinel(3);
    std::string text = "<LUT3D N='2' BitDepth='8'><values>\n";
    for (int i = 0; i < 30; ++i) text += "255 255 255\n";
    text += "</values></LUT3D>";
    TClipster3DLutFormat().Load(Write("c2.txt", text), *lut_);
    EXPECT_EQ(lut_->Table3D[1][1][1].R, 1.0);
    EXPECT_EQ(lut_->Table3D[0][0][2].R, -7.0);
    EXPECT_EQ(lut_->Table3D[2][2][2].R, -7.0);
    EXPECT_EQ(lut_->Comments.back(), "Name: ");
}

TEST_F(XMLFormatsTest, PFCleanDividesByTheMaximumAsRead) {
    const std::string path = Write("p.pfl",
                                   "<?xml version=\"1.0\"?>\n<lut type=\"ascii\">\n"
                                   "<maximum>1000</maximum>\n<size>2</size>\n<cube>\n"
                                   "0 500 1000\n0 0 0\n0 0 0\n0 0 0\n0 0 0\n0 0 0\n0 0 0\n2000 0 0\n"
                                   "</cube>\n</lut>\n");
    TPFClean3D_Format().Load(path, *lut_);
    EXPECT_EQ(lut_->Size3D, 2);
    EXPECT_DOUBLE_EQ(lut_->Table3D[0][0][0].G, 0.5);
    EXPECT_DOUBLE_EQ(lut_->Table3D[0][0][0].B, 1.0);
    EXPECT_DOUBLE_EQ(lut_->Table3D[1][1][1].R, 2.0);
}

TEST_F(XMLFormatsTest, ReadErrorsNameTheProblem) {
    auto load = [&](TLUTFormat& format, const std::string& text) {
        return ErrorOf([&] { format.Load(Write("e.xml", text), *lut_); });
    };
    TClipster3DLutFormat clipster;
    TPFClean3D_Format pfclean;
    TStwo1DLutFormat stwo;

    EXPECT_EQ(load(clipster, "<lut3d N='2' BitDepth='8'></lut3d>"), "The \"values\" node is not found");
    EXPECT_EQ(load(clipster, "<values/>"), "The \"LUT3D\" node is not found");
    EXPECT_EQ(load(clipster, "<LUT3D N='200' BitDepth='8'><values>0 0 0</values></LUT3D>"),
              "LUT size 200 is too large: at most 101 points per axis are supported.");
    EXPECT_EQ(load(clipster, "<LUT3D N='99999999999999999999' BitDepth='8'><values/></LUT3D>"),
              "LUT size 9223372036854775807 is too large: at most 101 points per axis are supported.");
    EXPECT_EQ(load(clipster, "<LUT3D BitDepth='8'><values/></LUT3D>"),
              "LUT size 0 is too small: at least 2 points per axis are needed.");
    EXPECT_EQ(load(clipster, "<LUT3D N='2'><values>0 0 0</values></LUT3D>"),
              "Invalid bit depth 0: it must be between 1 and 62.");
    EXPECT_EQ(load(clipster, "<LUT3D N='2' BitDepth='64'><values>0 0 0</values></LUT3D>"),
              "Invalid bit depth 64: it must be between 1 and 62.");
    EXPECT_EQ(load(clipster, "<LUT3D N='two' BitDepth='8'><values/></LUT3D>"),
              "'two' is not a valid floating point value");

    const std::string pf = "<lut><maximum>%M</maximum><size>%S</size><cube>0 0 0</cube></lut>";
    auto pfText = [&](const std::string& maximum, const std::string& size) {
        std::string t = pf;
        t.replace(t.find("%M"), 2, maximum);
        t.replace(t.find("%S"), 2, size);
        return t;
    };
    EXPECT_EQ(load(pfclean, pfText("0", "2")), "Invalid maximum code 0: it must be at least 1.");
    EXPECT_EQ(load(pfclean, pfText("-255", "2")), "Invalid maximum code -255: it must be at least 1.");
    EXPECT_EQ(load(pfclean, pfText("255", "102")),
              "LUT size 102 is too large: at most 101 points per axis are supported.");
    EXPECT_EQ(load(pfclean, "<lut><maximum>255</maximum><size>2</size></lut>"), "The \"cube\" node is not found");
    EXPECT_EQ(load(pfclean, "<lut><cube/><size>2</size></lut>"), "The \"maximum\" node is not found");

    EXPECT_EQ(load(stwo, "<lut><elem r='1'/></lut>"), "The \"data\" node is not found");
    EXPECT_EQ(load(stwo, "<lut><data><elem r='x'/></data></lut>"), "'x' is not a valid floating point value");
}

TEST_F(XMLFormatsTest, StwoRefusesMoreEntriesThanTheTableHolds) {
    std::string text = "<lut><data>\n";
    text.reserve(10 * (MaxLut1DSize + 1) + 32);
    for (int i = 0; i < MaxLut1DSize + 1; ++i) text += "<elem r=1/>\n";
    text += "</data></lut>\n";
    lut_->Size1D = 5;
    EXPECT_EQ(ErrorOf([&] { TStwo1DLutFormat().Load(Write("big.xml", text), *lut_); }),
              "LUT size 100002 is too large: at most 100001 entries are supported.");
    EXPECT_EQ(lut_->Size1D, 5);
}

// ---------------------------------------------------------------------------------------------
// Speedgrade looks

std::string Hex(float value) {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(value);
    char text[9];
    std::snprintf(text, sizeof text, "%02x%02x%02x%02x", bits & 0xff, (bits >> 8) & 0xff, (bits >> 16) & 0xff,
                  bits >> 24);
    return text;
}

std::string Look(const std::string& size, const std::string& data) {
    return "<?xml version=\"1.0\"?>\n<look>\n<shaders><shader/></shaders>\n<lut>\n<size>" + size +
           "</size>\n<data>" + data + "</data>\n</lut>\n</look>\n";
}

float EntryValue(int k, int channel) { return static_cast<float>(k) / 8.0f + static_cast<float>(channel) * 0.25f; }

TEST_F(XMLFormatsTest, SpeedgradeReadsLittleEndianFloatsRedFastest) {
    EXPECT_EQ(Hex(1.0f), "0000803f");
    std::string plain, broken;
    for (int k = 0; k < 8; ++k)
        for (int c = 0; c < 3; ++c) {
            const std::string h = Hex(EntryValue(k, c));
            plain += h;
            // The same digits split by blanks, quotes and line breaks, in upper case.
            for (std::size_t i = 0; i < h.size(); i += 2)
                broken += "\" " + std::string(1, static_cast<char>(std::toupper(h[i]))) + "\r\n" + h[i + 1];
        }

    TSpeedgradeLook3DLutFormat look;
    for (const std::string& data : {"\"" + plain + "\"", broken, "<![CDATA[" + plain + "]]>"}) {
        const std::string path = Write("a.look", Look("\"2\"", data));
        EXPECT_TRUE(look.Identify(path));
        auto l = std::make_unique<TLUT>();
        look.Load(path, *l);
        EXPECT_EQ(l->LutKind, lk3D);
        ASSERT_EQ(l->Size3D, 2);
        for (int k = 0; k < 8; ++k) {
            const TLutColor& e = l->Table3D[k % 2][(k / 2) % 2][k / 4];
            ASSERT_EQ(e.R, EntryValue(k, 0)) << k;
            ASSERT_EQ(e.G, EntryValue(k, 1)) << k;
            ASSERT_EQ(e.B, EntryValue(k, 2)) << k;
        }
    }
}

TEST_F(XMLFormatsTest, SpeedgradeWithoutTableIsPassThrough) {
    TSpeedgradeLook3DLutFormat look;
    lut_->SetIdentity3D(3);
    look.Load(Write("n.look", "<look><shaders/></look>"), *lut_);
    EXPECT_EQ(lut_->LutKind, lkPassThrough);
    EXPECT_EQ(lut_->Size3D, 3);  // nothing else changes

    lut_->LutKind = lk3D;
    look.Load(Write("z.look", Look("0", "")), *lut_);
    EXPECT_EQ(lut_->LutKind, lkPassThrough);

    // A NaN reads as 0.
    std::string data;
    for (int i = 0; i < 24; ++i) data += i == 5 ? "0000c07f" : Hex(1.0f);
    look.Load(Write("nan.look", Look("2", data)), *lut_);
    EXPECT_EQ(lut_->Table3D[1][0][0].G, 1.0);
    EXPECT_EQ(lut_->Table3D[1][0][0].B, 0.0);
}

TEST_F(XMLFormatsTest, SpeedgradeErrors) {
    TSpeedgradeLook3DLutFormat look;
    auto load = [&](const std::string& text) {
        return ErrorOf([&] { look.Load(Write("e.look", text), *lut_); });
    };
    EXPECT_EQ(load(Look("\"x2\"", "")), "'x2' is not a valid integer value");
    EXPECT_EQ(load(Look("\"102\"", "")), "LUT size 102 is too large: at most 101 points per axis are supported.");
    EXPECT_EQ(load(Look("-3", "")), "LUT size -3 is too small: at least 2 points per axis are needed.");
    EXPECT_EQ(load("<look><lut><data/></lut></look>"), "The \"size\" node is not found");
    EXPECT_EQ(load("<look><lut><size>0</size></lut></look>"), "The \"data\" node is not found");
}

TEST_F(XMLFormatsTest, SpeedgradeDataEndingInsideAValueDropsThePartialEntry) {
    TSpeedgradeLook3DLutFormat look;
    FillSentinel(2);
    std::string data;
    for (int k = 0; k < 7; ++k)
        for (int c = 0; c < 3; ++c) data += Hex(EntryValue(k, c));
    // Entry 7: two whole values and five digits of the third.
    data += Hex(1.0f) + Hex(1.0f) + "00008";
    EXPECT_EQ(ErrorOf([&] { look.Load(Write("t.look", Look("2", data)), *lut_); }), "Incomplete file.");
    EXPECT_EQ(lut_->Table3D[0][1][1].G, EntryValue(6, 1));
    const TLutColor& last = lut_->Table3D[1][1][1];
    EXPECT_EQ(last.R, -7.0);
    EXPECT_EQ(last.G, -7.0);
    EXPECT_EQ(last.B, -7.0);

    // Fewer entries than the cube needs are reported too, and a short file leaves the LUT's kind
    // and size as they were, so its partly filled table cannot be applied by mistake.
    lut_->LutKind = lk1D;
    lut_->Size3D = 0;
    EXPECT_EQ(ErrorOf([&] { look.Load(Write("t2.look", Look("3", data)), *lut_); }), "Incomplete file.");
    EXPECT_EQ(lut_->LutKind, lk1D);
    EXPECT_EQ(lut_->Size3D, 0);
}

// ---------------------------------------------------------------------------------------------
// Telling the layouts apart

TEST_F(XMLFormatsTest, IdentifyTellsTheLayoutsApart) {
    lut_->SetIdentity3D(2);
    TClipster3DLutFormat clipster;
    TPFClean3D_Format pfclean;
    TStwo1DLutFormat stwo;
    TSpeedgradeLook3DLutFormat look;
    TASC_CDL_Format cdl;
    clipster.Save(PathOf("c.txt"), *lut_, 16);
    pfclean.Save(PathOf("p.pfl"), *lut_, 8);
    lut_->SetIdentity1D(4);
    stwo.Save(PathOf("s.swto.xml"), *lut_, 10);
    Write("l.look", Look("2", ""));
    Write("k.cc", "<ColorCorrection id='x'><SOPNode></SOPNode></ColorCorrection>");

    TLUTFormat* formats[] = {&clipster, &pfclean, &stwo, &look, &cdl};
    const char* files[] = {"c.txt", "p.pfl", "s.swto.xml", "l.look", "k.cc"};
    for (int f = 0; f < 5; ++f)
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(formats[f]->Identify(PathOf(files[i])), f == i) << formats[f]->Name << " on " << files[i];

    EXPECT_THROW(clipster.Identify(PathOf("missing.txt")), EFileError);
}

TEST_F(XMLFormatsTest, TruncatedFilesFailCleanly) {
    // Every prefix of a valid file either loads or raises one of the reader's errors, and the
    // sizes left in the LUT never exceed the tables.
    lut_->SetIdentity3D(3);
    TClipster3DLutFormat clipster;
    TPFClean3D_Format pfclean;
    clipster.Save(PathOf("c.txt"), *lut_, 12);
    pfclean.Save(PathOf("p.pfl"), *lut_, 8);
    lut_->SetIdentity1D(3);
    TStwo1DLutFormat stwo;
    stwo.Save(PathOf("s.xml"), *lut_, 10);
    std::string look;
    for (int i = 0; i < 24; ++i) look += Hex(0.5f);
    Write("l.look", Look("\"2\"", "\"" + look + "\""));
    Write("k.cc",
          "<ColorCorrection id='a'><SOPNode><Slope>1 1 1</Slope><Offset>0 0 0</Offset><Power>1 1 1</Power>"
          "</SOPNode><SATNode><Saturation>0.5</Saturation></SATNode></ColorCorrection>");

    TSpeedgradeLook3DLutFormat speedgrade;
    TASC_CDL_Format cdl;
    const std::pair<TLUTFormat*, const char*> cases[] = {
        {&clipster, "c.txt"}, {&pfclean, "p.pfl"}, {&stwo, "s.xml"}, {&speedgrade, "l.look"}, {&cdl, "k.cc"}};
    for (const auto& [format, file] : cases) {
        const std::string full = Read(PathOf(file));
        int loaded = 0;
        auto l = std::make_unique<TLUT>();
        for (std::size_t length = 0; length <= full.size(); ++length) {
            l->Size1D = l->Size3D = 0;
            const std::string path = Write("cut", full.substr(0, length));
            try {
                format->Load(path, *l);
                ++loaded;
            } catch (const ELUTError&) {
            } catch (const EConvertError&) {
            } catch (const std::runtime_error& e) {
                ASSERT_NE(std::string(e.what()).find("node is not found"), std::string::npos) << e.what();
            }
            ASSERT_LE(l->Size3D, MaxLut3DSize);
            ASSERT_LE(l->Size1D, MaxLut1DSize);
        }
        EXPECT_GE(loaded, 1) << file;  // at least the whole file
    }
}

TEST_F(XMLFormatsTest, NamesAndKinds) {
    EXPECT_EQ(TClipster3DLutFormat().Name, "Clipster 3D");
    EXPECT_EQ(TStwo1DLutFormat().Name, "S.two 1D");
    EXPECT_EQ(TSpeedgradeLook3DLutFormat().Name, "Adobe Speedgrade Look 3D");
    EXPECT_EQ(TASC_CDL_Format().Name, "ASC CDL");
    EXPECT_EQ(TPFClean3D_Format().Name, "PixelFarm PFClean 3D");
    EXPECT_FALSE(TStwo1DLutFormat().Is3D);
    EXPECT_TRUE(TPFClean3D_Format().Is3D && TClipster3DLutFormat().Is3D && TASC_CDL_Format().Is3D &&
                TSpeedgradeLook3DLutFormat().Is3D);
}

}  // namespace
}  // namespace tintavo
