// tintavo-cli profiles and formats, and the read/write capabilities they state checked against
// what each format class actually does.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "CliTestSupport.h"
#include "formats/LUTFormat.h"

namespace tintavo {
namespace {

using namespace clitest;

TEST(CliRegistry, ProfilesListTheRegistry) {
    const TRunResult run = RunCli({"profiles", "--json"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    const TJson profiles = ParseJson(run.Out);
    ASSERT_EQ(profiles.Size(), OutputProfiles().size());
    int threeD = 0;
    for (std::size_t i = 0; i < profiles.Size(); ++i) {
        const TJson& p = profiles[i];
        const TLutOutputProfile& want = *GetOutputProfile(static_cast<int>(i));
        EXPECT_EQ(p["number"].NumberValue, i + 1);
        EXPECT_EQ(p["name"].StringValue, want.Name);
        EXPECT_EQ(p["extension"].StringValue, want.Extension);
        EXPECT_EQ(p["formatIndex"].NumberValue, want.FormatIndex);
        EXPECT_EQ(p["defaultSize"].NumberValue, want.DefaultSize);
        EXPECT_EQ(p["defaultBits"].NumberValue, want.DefaultBits);
        EXPECT_EQ(p["sizeSelectable"].BoolValue, want.SizeSelectable);
        EXPECT_EQ(p["bitsSelectable"].BoolValue, want.BitsSelectable);
        threeD += p["dimension"].StringValue == "3D";
    }
    EXPECT_EQ(threeD, 19);  // the profiles the Save dialog offers
    const TRunResult text = RunCli({"profiles"});
    ASSERT_EQ(text.Status, 0);
    EXPECT_NE(text.Out.find("17  PixelFarm PFClean 3D"), std::string::npos) << text.Out;
}

TEST(CliRegistry, FormatCapabilitiesMatchWhatTheFormatsDo) {
    const TRunResult run = RunCli({"formats", "--json"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    const TJson formats = ParseJson(run.Out);
    ASSERT_EQ(formats.Size(), LutFormats().size());

    TScratchDir dir;
    int readers = 0, writers = 0;
    for (std::size_t i = 0; i < formats.Size(); ++i) {
        const TJson& f = formats[i];
        const TLUTFormat& format = *GetLutFormat(static_cast<int>(i));
        EXPECT_EQ(f["index"].NumberValue, i);
        EXPECT_EQ(f["name"].StringValue, format.Name);
        EXPECT_EQ(f["dimension"].StringValue, format.Is3D ? "3D" : "1D");
        const bool canRead = f["canRead"].BoolValue, canWrite = f["canWrite"].BoolValue;
        readers += canRead;
        writers += canWrite;
        // An identity LUT written as the format's first profile would write it; formats without
        // a profile get the DaVinci readers' extensions.
        const TLutOutputProfile* profile = nullptr;
        for (const auto& p : OutputProfiles())
            if (!profile && p->FormatIndex == static_cast<int>(i)) profile = p.get();
        std::string file = dir.Path("f") + std::to_string(i);
        file += profile ? "." + profile->Extension : i == 24 ? ".ilut" : ".olut";
        auto lut = std::make_unique<TLUT>();
        if (format.Is3D)
            lut->SetIdentity3D(profile ? profile->DefaultSize : 17);
        else
            lut->SetIdentity1D(profile ? profile->DefaultSize : 1024);
        format.Save(file, *lut, profile ? profile->DefaultBits : 12);
        EXPECT_EQ(std::filesystem::exists(file), canWrite) << format.Name;
        EXPECT_EQ(profile != nullptr, canWrite) << format.Name;
        if (!canWrite) continue;
        if (canRead) {
            EXPECT_TRUE(format.Identify(file)) << format.Name;
            auto back = std::make_unique<TLUT>();
            EXPECT_NO_THROW(format.Load(file, *back)) << format.Name;
        } else {
            EXPECT_FALSE(format.Identify(file)) << format.Name;  // never chosen for reading
        }
    }
    EXPECT_EQ(readers, 28);
    EXPECT_EQ(writers, 27);
}

}  // namespace
}  // namespace tintavo
