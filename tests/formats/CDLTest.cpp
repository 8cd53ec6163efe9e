// ASC CDL: reading a correction, applying it, and the 33-point LUT the format builds from it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include <unistd.h>

#include "common/Errors.h"
#include "formats/CDLLib.h"
#include "formats/FormatsXML.h"

namespace tintavo {
namespace {

class CDLTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("tintavo-cdl-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string Write(const std::string& text) {
        const std::string path = (dir_ / ("c" + std::to_string(counter_++) + ".cc")).string();
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    static std::string Correction(const std::string& slope, const std::string& offset, const std::string& power,
                                  const std::string& extra = "") {
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<ColorCorrection id=\"shot_042\">\n"
               "  <SOPNode>\n"
               "    <Description>test</Description>\n"
               "    <Slope>" + slope + "</Slope>\n"
               "    <Offset>" + offset + "</Offset>\n"
               "    <Power>" + power + "</Power>\n"
               "  </SOPNode>\n" + extra +
               "</ColorCorrection>\n";
    }

    static std::string ErrorOf(const std::function<void()>& action) {
        try {
            action();
        } catch (const std::exception& e) {
            return e.what();
        }
        return "(no error)";
    }

    std::filesystem::path dir_;
    int counter_ = 0;
};

TEST_F(CDLTest, ReadsSlopeOffsetPowerAndSaturation) {
    const TCDLData cdl = ReadCDLFile(Write(Correction("1.1 1.2 1.3", "-0.01\t0.02,0.03", "0.9 1e0 1.25",
                                                      "  <SATNode><Saturation> 0,8 </Saturation></SATNode>\n")));
    EXPECT_EQ(cdl.Id, "shot_042");
    EXPECT_EQ(cdl.R.Slope, 1.1f);
    EXPECT_EQ(cdl.G.Slope, 1.2f);
    EXPECT_EQ(cdl.B.Slope, 1.3f);
    EXPECT_EQ(cdl.R.Offset, -0.01f);
    EXPECT_EQ(cdl.G.Offset, 0.02f);
    EXPECT_EQ(cdl.B.Offset, 0.03f);
    EXPECT_EQ(cdl.R.Power, 0.9f);
    EXPECT_EQ(cdl.G.Power, 1.0f);
    EXPECT_EQ(cdl.B.Power, 1.25f);
    EXPECT_EQ(cdl.Saturation, 0.8f);  // read through the forgiving float view

    // No SATNode, or a SATNode without Saturation: saturation 1.
    EXPECT_EQ(ReadCDLFile(Write(Correction("1 1 1", "0 0 0", "1 1 1"))).Saturation, 1.0f);
    EXPECT_EQ(ReadCDLFile(Write(Correction("1 1 1", "0 0 0", "1 1 1", "<SATNode/>"))).Saturation, 1.0f);
    // A missing id reads as empty.
    EXPECT_EQ(ReadCDLFile(Write("<ColorCorrection><SOPNode><Slope>1 1 1</Slope><Offset>0 0 0</Offset>"
                                "<Power>1 1 1</Power></SOPNode></ColorCorrection>"))
                  .Id,
              "");
}

TEST_F(CDLTest, ReadErrors) {
    auto read = [&](const std::string& text) { return ErrorOf([&] { ReadCDLFile(Write(text)); }); };
    // The items are cut from the text as stored: a leading blank makes an empty first item.
    EXPECT_EQ(read(Correction(" 1 1 1", "0 0 0", "1 1 1")), "'' is not a valid floating point value");
    EXPECT_EQ(read(Correction("1 1", "0 0 0", "1 1 1")), "'' is not a valid floating point value");
    EXPECT_EQ(read(Correction("1 1 1", "0 x 0", "1 1 1")), "'x' is not a valid floating point value");
    EXPECT_EQ(read(Correction("1 1 1", "0 0 0", "1;1;1")), "'1;1;1' is not a valid floating point value");
    EXPECT_EQ(read("<ColorCorrection><SOPNode><Slope>1 1 1</Slope><Offset>0 0 0</Offset></SOPNode>"
                   "</ColorCorrection>"),
              "The \"Power\" node is not found");
    EXPECT_EQ(read("<ColorCorrection><Slope>1 1 1</Slope></ColorCorrection>"), "The \"SOPNode\" node is not found");
    EXPECT_EQ(read("<ColorCorrectionCollection><ColorCorrection/></ColorCorrectionCollection>"),
              "The \"ColorCorrection\" node is not found");
    EXPECT_THROW(ReadCDLFile((dir_ / "missing.cc").string()), EFileError);
}

TEST(CDLApplyTest, SlopeOffsetPowerThenSaturationAroundThePlainMean) {
    TCDLData cdl;
    cdl.R = {2.0f, -0.5f, 2.0f};
    cdl.G = {2.0f, -0.5f, 2.0f};
    cdl.B = {2.0f, -0.5f, 2.0f};
    float r = 0, g = 0, b = 0;
    ApplyCDL(cdl, 0.75f, 0.25f, 1.0f, r, g, b);
    EXPECT_EQ(r, 1.0f);   // (0.75 * 2 - 0.5)^2
    EXPECT_EQ(g, 0.0f);   // t = 0 is not raised to the power
    EXPECT_EQ(b, 2.25f);  // no clamp at 1
    ApplyCDL(cdl, 0.1f, 0.0f, 0.2f, r, g, b);  // negative t gives 0
    EXPECT_EQ(r, 0.0f);
    EXPECT_EQ(b, 0.0f);

    cdl.Saturation = 0.5f;
    ApplyCDL(cdl, 0.75f, 0.25f, 1.0f, r, g, b);
    const float mean = (1.0f + 0.0f + 2.25f) / 3.0f;  // not a luma weighting
    EXPECT_FLOAT_EQ(r, 0.5f * 1.0f + 0.5f * mean);
    EXPECT_FLOAT_EQ(g, 0.5f * mean);
    EXPECT_FLOAT_EQ(b, 0.5f * 2.25f + 0.5f * mean);

    cdl.Saturation = 0.0f;
    ApplyCDL(cdl, 0.75f, 0.25f, 1.0f, r, g, b);
    EXPECT_FLOAT_EQ(r, mean);
    EXPECT_EQ(r, g);
    EXPECT_EQ(g, b);
}

TEST_F(CDLTest, LoadTabulatesA33PointCube) {
    TASC_CDL_Format format;
    auto lut = std::make_unique<TLUT>();
    lut->Comments.push_back("kept");
    const std::string identity = Write(Correction("1 1 1", "0 0 0", "1 1 1"));
    EXPECT_TRUE(format.Identify(identity));
    format.Load(identity, *lut);
    EXPECT_EQ(lut->LutKind, lk3D);
    EXPECT_EQ(lut->Size3D, 33);
    ASSERT_EQ(lut->Comments.size(), 2u);
    EXPECT_EQ(lut->Comments[1], "Name: shot_042");
    for (int r = 0; r < 33; ++r)
        for (int g = 0; g < 33; ++g)
            for (int b = 0; b < 33; ++b) {
                const TLutColor& e = lut->Table3D[r][g][b];
                ASSERT_EQ(e.R, r / 32.0);
                ASSERT_EQ(e.G, g / 32.0);
                ASSERT_EQ(e.B, b / 32.0);
            }

    // Offset -0.1 sends the darkest nodes (below 0.1) to 0.
    format.Load(Write(Correction("1 1 1", "-0.1 -0.1 -0.1", "1 1 1")), *lut);
    EXPECT_EQ(lut->Table3D[0][0][0].R, 0.0);
    EXPECT_EQ(lut->Table3D[3][3][3].G, 0.0);  // 3/32 = 0.09375
    EXPECT_NEAR(lut->Table3D[4][0][0].R, 0.025, 1e-7);
    EXPECT_EQ(lut->Table3D[4][0][0].G, 0.0);

    // Saturation 0: every node grey at the mean of its three SOP outputs.
    format.Load(Write(Correction("1 1 1", "0 0 0", "1 1 2", "<SATNode><Saturation>0</Saturation></SATNode>")),
                *lut);
    for (int r = 0; r < 33; r += 4)
        for (int g = 0; g < 33; g += 4)
            for (int b = 0; b < 33; b += 4) {
                const TLutColor& e = lut->Table3D[r][g][b];
                const double bb = b / 32.0;
                ASSERT_EQ(e.R, e.G);
                ASSERT_EQ(e.G, e.B);
                ASSERT_NEAR(e.R, (r / 32.0 + g / 32.0 + bb * bb) / 3.0, 1e-6);
            }
}

// The table holds at every node exactly what ApplyCDL gives for that node's colour.
TEST_F(CDLTest, EveryNodeIsApplyCDLOfItsColour) {
    TASC_CDL_Format format;
    auto lut = std::make_unique<TLUT>();
    const std::string file = Write(Correction("1.1 0.9 1.3", "0.02 -0.05 0.01", "0.8 1.2 2.2",
                                              "<SATNode><Saturation>0.7</Saturation></SATNode>"));
    format.Load(file, *lut);
    const TCDLData cdl = ReadCDLFile(file);
    for (int r = 0; r < 33; ++r)
        for (int g = 0; g < 33; ++g)
            for (int b = 0; b < 33; ++b) {
                float outR = 0, outG = 0, outB = 0;
                ApplyCDL(cdl, r / 32.0f, g / 32.0f, b / 32.0f, outR, outG, outB);
                const TLutColor& e = lut->Table3D[r][g][b];
                ASSERT_EQ(e.R, outR) << r << " " << g << " " << b;
                ASSERT_EQ(e.G, outG) << r << " " << g << " " << b;
                ASSERT_EQ(e.B, outB) << r << " " << g << " " << b;
            }
}

TEST_F(CDLTest, CollectionsAreNotIdentified) {
    TASC_CDL_Format format;
    EXPECT_FALSE(format.Identify(Write("<ColorCorrectionCollection>\n" + Correction("1 1 1", "0 0 0", "1 1 1") +
                                       "</ColorCorrectionCollection>\n")));
    EXPECT_FALSE(format.Identify(Write("<ColorCorrection id='a'></ColorCorrection>")));  // no SOPNode
}

}  // namespace
}  // namespace tintavo
