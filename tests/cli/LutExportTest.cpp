// The routines that bring a LUT to the size an output profile writes.
#include "formats/LutExport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <memory>
#include <thread>

#include "CliTestSupport.h"
#include "common/FileIO.h"
#include "common/Progress.h"
#include "engine/CalibrationExport.h"

namespace tintavo {
namespace {

using clitest::TScratchDir;

double Node(int k, int n) { return static_cast<double>(k / static_cast<long double>(n - 1)); }

// A table whose trilinear interpolation is exact: each output is affine in the input.
TLutColor Affine(double r, double g, double b) {
    return {0.1 + 0.7 * r + 0.1 * g, 0.05 + 0.8 * g - 0.1 * b, 0.9 * b + 0.05 * r};
}

std::unique_ptr<TLUT> AffineTable(int n) {
    auto lut = std::make_unique<TLUT>();
    lut->LutKind = lk3D;
    lut->Size3D = n;
    for (int r = 0; r < n; ++r)
        for (int g = 0; g < n; ++g)
            for (int b = 0; b < n; ++b) lut->Table3D[r][g][b] = Affine(Node(r, n), Node(g, n), Node(b, n));
    return lut;
}

std::unique_ptr<TLUT> Curves(int n) {
    auto lut = std::make_unique<TLUT>();
    lut->LutKind = lk1D;
    lut->Size1D = n;
    for (int i = 0; i < n; ++i) {
        const double x = Node(i, n);
        lut->Table1D[i] = {x * x, std::sqrt(x), 1.0 - x};
    }
    return lut;
}

TEST(ResampleLut, SameSizeCopiesEntriesAsTheyStand) {
    auto src = AffineTable(5);
    src->Table3D[1][2][3] = {1.25, -0.5, std::nan("")};  // out of range values are kept, not clamped
    src->Comments = {"first", "second"};
    auto out = std::make_unique<TLUT>();
    out->Comments = {"stale"};
    ResampleLut(*src, true, 5, *out);
    EXPECT_EQ(out->LutKind, lk3D);
    EXPECT_EQ(out->Size3D, 5);
    EXPECT_EQ(out->Comments, src->Comments);
    for (int r = 0; r < 5; ++r)
        for (int g = 0; g < 5; ++g)
            for (int b = 0; b < 5; ++b) {
                if (r == 1 && g == 2 && b == 3) continue;
                EXPECT_EQ(out->Table3D[r][g][b].R, src->Table3D[r][g][b].R);
                EXPECT_EQ(out->Table3D[r][g][b].B, src->Table3D[r][g][b].B);
            }
    EXPECT_EQ(out->Table3D[1][2][3].R, 1.25);
    EXPECT_EQ(out->Table3D[1][2][3].G, -0.5);
    EXPECT_TRUE(std::isnan(out->Table3D[1][2][3].B));
}

TEST(ResampleLut, OtherSizesInterpolateTheSource) {
    // Up and down: an affine table stays affine, so every new node holds the affine value.
    for (int size : {2, 9, 33, 101}) {
        auto src = AffineTable(5);
        auto out = std::make_unique<TLUT>();
        ResampleLut(*src, true, size, *out);
        ASSERT_EQ(out->Size3D, size);
        for (int r = 0; r < size; r += 3)
            for (int g = 0; g < size; g += 2)
                for (int b = 0; b < size; ++b) {
                    const TLutColor want = Affine(Node(r, size), Node(g, size), Node(b, size));
                    const TLutColor& got = out->Table3D[r][g][b];
                    ASSERT_NEAR(got.R, want.R, 1e-12) << size << " " << r << " " << g << " " << b;
                    ASSERT_NEAR(got.G, want.G, 1e-12);
                    ASSERT_NEAR(got.B, want.B, 1e-12);
                }
    }
}

TEST(ResampleLut, CurvesBecomeATableOrOtherCurves) {
    auto src = Curves(1024);
    auto cube = std::make_unique<TLUT>();
    ResampleLut(*src, true, 17, *cube);
    // Each channel's curve applies to its own axis only.
    const TLutColor node = cube->Table3D[16][4][8];
    EXPECT_NEAR(node.R, 1.0, 1e-12);
    EXPECT_NEAR(node.G, std::sqrt(0.25), 1e-3);
    EXPECT_NEAR(node.B, 0.5, 1e-12);

    auto shorter = std::make_unique<TLUT>();
    ResampleLut(*src, false, 5, *shorter);
    EXPECT_EQ(shorter->LutKind, lk1D);
    ASSERT_EQ(shorter->Size1D, 5);
    EXPECT_NEAR(shorter->Table1D[2].R, 0.25, 1e-6);
    EXPECT_NEAR(shorter->Table1D[2].B, 0.5, 1e-12);
    EXPECT_EQ(shorter->Table1D[4].R, 1.0);

    auto passthrough = std::make_unique<TLUT>();
    passthrough->LutKind = lkPassThrough;
    ResampleLut(*passthrough, false, 3, *shorter);
    EXPECT_EQ(shorter->Table1D[1].G, 0.5);
}

TEST(ResampleLut, RefusesWhatCannotBeWritten) {
    auto cube = AffineTable(5);
    auto out = std::make_unique<TLUT>();
    EXPECT_THROW(ResampleLut(*cube, false, 1024, *out), ELUTError);  // 3D data as 1D curves
    cube->LutKind = lk1DThen3D;
    cube->Size1D = 16;
    EXPECT_THROW(ResampleLut(*cube, false, 1024, *out), ELUTError);
    cube->LutKind = lk3D;
    EXPECT_THROW(ResampleLut(*cube, true, 1, *out), ELUTError);
    EXPECT_THROW(ResampleLut(*cube, true, MaxLut3DSize + 1, *out), ELUTError);
    auto curves = Curves(8);
    EXPECT_THROW(ResampleLut(*curves, false, MaxLut1DSize + 1, *out), ELUTError);
    EXPECT_NO_THROW(ResampleLut(*curves, false, MaxLut1DSize, *out));
    EXPECT_THROW(ResampleLut(*curves, true, 5, *curves), ELUTError);  // into itself
}

TEST(TabulateCalibration, EvaluatesTheMappingOnTheRequestedGrid) {
    TMeasuredPatches measured;
    measured.PatchCount = 24;
    const TLutColor* reference = ChartReference(TChartType::Classic);
    for (int i = 0; i < 24; ++i) measured.MeasuredColors[i] = clitest::DistortColor(reference[i]);
    const TCalibrationMapping mapping(measured, TChartType::Classic, true);

    auto lut = std::make_unique<TLUT>();
    lut->Comments = {"kept"};
    TabulateCalibration(mapping, 17, *lut);
    EXPECT_EQ(lut->LutKind, lk3D);
    EXPECT_EQ(lut->Size3D, 17);
    EXPECT_EQ(lut->Comments, std::vector<std::string>{"kept"});
    for (int r = 0; r < 17; r += 4)
        for (int g = 0; g < 17; g += 3)
            for (int b = 0; b < 17; ++b) {
                const TLutColor want = mapping.MapNode(Node(r, 17), Node(g, 17), Node(b, 17));
                ASSERT_EQ(lut->Table3D[r][g][b].R, want.R);
                ASSERT_EQ(lut->Table3D[r][g][b].G, want.G);
                ASSERT_EQ(lut->Table3D[r][g][b].B, want.B);
            }
    EXPECT_THROW(TabulateCalibration(mapping, 1, *lut), ELUTError);
    EXPECT_THROW(TabulateCalibration(mapping, 102, *lut), ELUTError);
}

TEST(SaveThroughProfile, WritesWithTheProfilesDefaultBitsAndRefusesTheWrongKind) {
    TScratchDir dir;
    // "Autodesk Lustre 3D": 12-bit codes; 0 bits stands for the default.
    const TLutOutputProfile& lustre = *GetOutputProfile(2);
    auto lut = AffineTable(33);
    SaveThroughProfile(lustre, *lut, 0, dir.Path("a.lut"));
    GetLutFormat(lustre.FormatIndex)->Save(dir.Path("b.lut"), *lut, 12);
    EXPECT_EQ(ReadWholeFile(dir.Path("a.lut")), ReadWholeFile(dir.Path("b.lut")));
    SaveThroughProfile(lustre, *lut, 10, dir.Path("c.lut"));
    EXPECT_NE(ReadWholeFile(dir.Path("a.lut")), ReadWholeFile(dir.Path("c.lut")));

    // Curves through a 3D profile, a table through a 1D profile: refused, nothing written.
    auto curves = Curves(1024);
    EXPECT_THROW(SaveThroughProfile(lustre, *curves, 0, dir.Path("d.lut")), ELUTError);
    EXPECT_THROW(SaveThroughProfile(*GetOutputProfile(24), *lut, 0, dir.Path("e.cube")), ELUTError);
    EXPECT_FALSE(std::filesystem::exists(dir.Path("d.lut")));
    EXPECT_FALSE(std::filesystem::exists(dir.Path("e.cube")));
}

TEST(ProfileAllows, DefaultsAlwaysOthersOnlyWhereSelectable) {
    const TLutOutputProfile& lustre3D = *GetOutputProfile(2);   // 33 points, 12 bits, both fixed
    const TLutOutputProfile& davinci = *GetOutputProfile(7);    // 33 points selectable
    const TLutOutputProfile& lustre1D = *GetOutputProfile(19);  // 65536 entries, 16 bits, both selectable
    EXPECT_TRUE(ProfileAllowsBits(lustre3D, 0));
    EXPECT_TRUE(ProfileAllowsBits(lustre3D, 12));
    EXPECT_FALSE(ProfileAllowsBits(lustre3D, 10));
    for (int bits : {8, 10, 12, 14, 16}) EXPECT_TRUE(ProfileAllowsBits(lustre1D, bits)) << bits;
    EXPECT_FALSE(ProfileAllowsBits(lustre1D, 9));
    EXPECT_FALSE(ProfileAllowsBits(lustre1D, 32));

    EXPECT_TRUE(ProfileAllowsSize(lustre3D, 33));
    EXPECT_FALSE(ProfileAllowsSize(lustre3D, 17));
    EXPECT_TRUE(ProfileAllowsSize(davinci, 2));
    EXPECT_TRUE(ProfileAllowsSize(davinci, 101));
    EXPECT_FALSE(ProfileAllowsSize(davinci, 1));
    EXPECT_FALSE(ProfileAllowsSize(davinci, 102));
    EXPECT_TRUE(ProfileAllowsSize(lustre1D, 100001));
    EXPECT_FALSE(ProfileAllowsSize(lustre1D, 100002));
}

TEST(SaveCalibration, TableAtItsSizeMappingOnOtherGridsAndOnlyWhatTheProfileAllows) {
    TScratchDir dir;
    TMeasuredPatches measured;
    measured.PatchCount = 24;
    const TLutColor* reference = ChartReference(TChartType::Classic);
    for (int i = 0; i < 24; ++i) measured.MeasuredColors[i] = clitest::DistortColor(reference[i]);
    const TCalibrationMapping mapping(measured, TChartType::Classic, false);
    auto table = std::make_unique<TLUT>();
    table->LutKind = lk3D;
    table->Size3D = CalibrationLutSize;
    mapping.FillTable(*table);
    // A mark that only the table carries, not the mapping.
    table->Table3D[0][0][0] = {0.5, 0.25, 0.125};

    const TLutOutputProfile& davinci = *GetOutputProfile(7);
    auto check = [&](const std::string& name, TLUT& expected) {
        SaveThroughProfile(davinci, expected, 0, dir.Path("expected.cube"));
        EXPECT_EQ(ReadWholeFile(dir.Path(name)), ReadWholeFile(dir.Path("expected.cube"))) << name;
    };
    SaveCalibration(*table, &mapping, davinci, CalibrationLutSize, 0, dir.Path("own.cube"));
    check("own.cube", *table);
    SaveCalibration(*table, &mapping, davinci, 17, 0, dir.Path("grid.cube"));
    auto tabulated = std::make_unique<TLUT>();
    TabulateCalibration(mapping, 17, *tabulated);
    check("grid.cube", *tabulated);
    SaveCalibration(*table, nullptr, davinci, 17, 0, dir.Path("resampled.cube"));
    auto resampled = std::make_unique<TLUT>();
    ResampleLut(*table, true, 17, *resampled);
    check("resampled.cube", *resampled);
    EXPECT_NE(ReadWholeFile(dir.Path("grid.cube")), ReadWholeFile(dir.Path("resampled.cube")));

    // Refused before anything is written: curves, a size or bit depth the profile does not write.
    const TLutOutputProfile& lustre3D = *GetOutputProfile(2);
    EXPECT_THROW(SaveCalibration(*table, &mapping, *GetOutputProfile(19), 1024, 0, dir.Path("x1.lut")), ELUTError);
    EXPECT_THROW(SaveCalibration(*table, &mapping, lustre3D, 17, 0, dir.Path("x2.lut")), ELUTError);
    EXPECT_THROW(SaveCalibration(*table, &mapping, lustre3D, 33, 10, dir.Path("x3.lut")), ELUTError);
    EXPECT_THROW(SaveCalibration(*table, &mapping, davinci, 102, 0, dir.Path("x4.cube")), ELUTError);
    for (const char* name : {"x1.lut", "x2.lut", "x3.lut", "x4.cube"})
        EXPECT_FALSE(std::filesystem::exists(dir.Path(name))) << name;
    EXPECT_NO_THROW(SaveCalibration(*table, &mapping, lustre3D, 33, 12, dir.Path("ok.lut")));
}

TEST(SaveCalibration, ReportsItsWorkAndACancelWritesNothing) {
    TScratchDir dir;
    TMeasuredPatches measured;
    measured.PatchCount = 24;
    const TLutColor* reference = ChartReference(TChartType::Classic);
    for (int i = 0; i < 24; ++i) measured.MeasuredColors[i] = clitest::DistortColor(reference[i]);
    const TCalibrationMapping mapping(measured, TChartType::Classic, true);
    auto table = std::make_unique<TLUT>();
    table->LutKind = lk3D;
    table->Size3D = CalibrationLutSize;
    mapping.FillTable(*table);
    const TLutOutputProfile& davinci = *GetOutputProfile(7);

    // Watched but left alone: the whole stage is reported and the file is the unwatched one.
    TJobProgress watched;
    SaveCalibration(*table, &mapping, davinci, 40, 0, dir.Path("watched.cube"), &watched);
    EXPECT_EQ(watched.Fraction(), 1.0);
    SaveCalibration(*table, &mapping, davinci, 40, 0, dir.Path("plain.cube"));
    EXPECT_EQ(ReadWholeFile(dir.Path("watched.cube")), ReadWholeFile(dir.Path("plain.cube")));

    // Cancelled before it starts, on the table's own size and on another grid: nothing written.
    TJobProgress cancelled;
    cancelled.Cancel();
    EXPECT_THROW(SaveCalibration(*table, &mapping, davinci, CalibrationLutSize, 0, dir.Path("a.cube"), &cancelled),
                 ECancelled);
    EXPECT_THROW(SaveCalibration(*table, &mapping, davinci, 65, 0, dir.Path("b.cube"), &cancelled), ECancelled);
    EXPECT_FALSE(std::filesystem::exists(dir.Path("a.cube")));
    EXPECT_FALSE(std::filesystem::exists(dir.Path("b.cube")));

    // Cancelled from another thread while the largest grid is being tabulated: it stops part way.
    TJobProgress midway;
    std::thread canceller([&] {
        // Waits for the first slice (a job that never reports is cancelled after 10 s anyway).
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (midway.Fraction() == 0.0 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
        midway.Cancel();
    });
    EXPECT_THROW(SaveCalibration(*table, &mapping, davinci, MaxLut3DSize, 0, dir.Path("c.cube"), &midway),
                 ECancelled);
    canceller.join();
    EXPECT_LT(midway.Fraction(), 1.0);
    EXPECT_FALSE(std::filesystem::exists(dir.Path("c.cube")));
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path(""))) ++files;
    EXPECT_EQ(files, 2);  // no temporary left behind
}

}  // namespace
}  // namespace tintavo
