// Deep pictures on the command line: apply without an 8-bit step, --interp and --depth, the clamp
// warning, and calibrate/report on a precise working image.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <tuple>

#include <OpenImageIO/imageio.h>

#include "CliTestSupport.h"
#include "lut/LUT.h"
#include "picture/Picture.h"

namespace tintavo {
namespace {

using namespace clitest;

// Random samples, the corners of the cube among them.
TPreciseImage Samples(int w, int h) {
    TPreciseImage image(w, h);
    unsigned state = 12345;
    for (int y = 0; y < h; ++y)
        for (std::ptrdiff_t i = 0; i < image.RowFloats(); ++i) {
            state = state * 1103515245u + 12345u;
            image.Row(y)[i] = static_cast<float>((state >> 8) % 65536) / 65535.0f;
        }
    image.SetPixel(0, 0, 0, 0, 0);
    image.SetPixel(1, 0, 1, 1, 1);
    return image;
}

// A 17-point cube of a curved transform, red fastest.
std::string CurvedCube(TLUT& lut) {
    const int n = 17;
    lut.LutKind = lk3D;
    lut.Size3D = n;
    std::string text = "LUT_3D_SIZE 17\n";
    char line[96];
    for (int b = 0; b < n; ++b)
        for (int g = 0; g < n; ++g)
            for (int r = 0; r < n; ++r) {
                const double x = r / 16.0, y = g / 16.0, z = b / 16.0;
                std::snprintf(line, sizeof line, "%.9f %.9f %.9f\n", std::sqrt(x) * 0.9 + 0.05 * z, y * y,
                              0.3 * z + 0.7 * x * y);
                text += line;
                TLutColor& c = lut.Table3D[r][g][b];  // as the file reads back
                std::sscanf(line, "%lf %lf %lf", &c.R, &c.G, &c.B);
            }
    return text;
}

double Worst(const TPreciseImage& a, const TPreciseImage& b) {
    double worst = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (std::ptrdiff_t i = 0; i < a.RowFloats(); ++i)
            worst = std::max(worst, std::abs(static_cast<double>(a.Row(y)[i]) - b.Row(y)[i]));
    return worst;
}

}  // namespace

// A 16-bit picture is corrected in floating point and written at the depth asked for (its own by
// default), each sample within half a code of ApplyLut's value with the chosen interpolation.
TEST(CliApplyPrecise, DeepPicturesAreCorrectedWithoutAnEightBitStep) {
    TScratchDir dir;
    const TPreciseImage source = Samples(61, 23);
    SavePreciseImage(dir.Path("in.tif"), source, TSampleDepth::Bits16);
    auto lut = std::make_unique<TLUT>();
    WriteText(dir.Path("curve.cube"), CurvedCube(*lut));

    const struct {
        const char* out;
        const char* interp;
        const char* depth;
        double tolerance;
        const char* written;
    } cases[] = {{"a.tif", nullptr, nullptr, 0.5 / 65535, "16 bits per sample"},
                 {"b.tif", "tetrahedral", nullptr, 0.5 / 65535, "16 bits per sample"},
                 {"c.png", "Trilinear", "16", 0.5 / 65535, "16 bits per sample"},
                 {"d.dpx", "tetrahedral", nullptr, 0.5 / 1023, "10 bits per sample"},
                 {"e.exr", nullptr, "float", 1e-7, "floats"},
                 {"f.exr", "tetrahedral", nullptr, 1.0 / 2048, "half floats"},
                 {"g.bmp", nullptr, nullptr, 0.5 / 255 + 1e-7, "8 bits per sample"}};
    TPreciseImage want[2] = {source, source};
    for (int i = 0; i < 2; ++i) {
        const TLutInterpolation interp = i ? TLutInterpolation::Tetrahedral : TLutInterpolation::Trilinear;
        for (int y = 0; y < source.Height(); ++y)
            for (int x = 0; x < source.Width(); ++x) {
                float* p = want[i].Row(y) + 3 * x;
                const TLutColor c = ApplyLut(*lut, {p[0], p[1], p[2]}, interp);
                p[0] = static_cast<float>(c.R);
                p[1] = static_cast<float>(c.G);
                p[2] = static_cast<float>(c.B);
            }
    }
    ASSERT_GT(Worst(want[0], want[1]), 5e-4);  // the interpolations differ on this cube
    for (const auto& c : cases) {
        std::vector<std::string> args = {"apply", dir.Path("curve.cube"), dir.Path("in.tif"), "-o", dir.Path(c.out)};
        if (c.interp) args.insert(args.end(), {"--interp", c.interp});
        if (c.depth) args.insert(args.end(), {"--depth", c.depth});
        const TRunResult run = RunCli(args);
        ASSERT_EQ(run.Status, 0) << c.out << ": " << run.Err;
        EXPECT_EQ(run.Out, "Wrote " + dir.Path(c.out) + " (61 x 23 pixels, " + c.written + ")\n");
        TPreciseImage got;
        LoadPreciseImage(dir.Path(c.out), got);
        const bool tetra = c.interp && std::string(c.interp) == "tetrahedral";
        EXPECT_LE(Worst(got, want[tetra ? 1 : 0]), c.tolerance) << c.out;
        if (c.tolerance < 1e-4) {
            EXPECT_GT(Worst(got, want[tetra ? 0 : 1]), 5e-4) << c.out << ": the other interpolation";
        }
    }
}

// An 8-bit picture keeps the 8-bit road by default (the bytes the window's preview gives) and is
// corrected in floating point when written deeper; a float picture's clamped samples are told
// once; wrong --interp and --depth values are usage errors that write nothing.
TEST(CliApplyPrecise, EightBitPicturesDepthsAndWarnings) {
    TScratchDir dir;
    const TPreciseImage deep = Samples(40, 30);
    TBitmap24 bitmap;
    PreciseToBitmap(deep, bitmap);
    SavePicture(dir.Path("in.png"), bitmap);
    auto lut = std::make_unique<TLUT>();
    WriteText(dir.Path("curve.cube"), CurvedCube(*lut));

    ASSERT_EQ(RunCli({"apply", dir.Path("curve.cube"), dir.Path("in.png"), "-o", dir.Path("eight.png")}).Status, 0);
    TBitmap24 eight, preview = bitmap;
    LoadPicture(dir.Path("eight.png"), eight);
    ApplyLutToBitmap(*lut, preview);
    EXPECT_TRUE(eight.SamePixels(preview));
    TPictureInfo info;
    {
        TPreciseImage unused;
        info = LoadPreciseImage(dir.Path("eight.png"), unused);
    }
    EXPECT_EQ(info.BitsPerSample, 8);

    ASSERT_EQ(RunCli({"apply", dir.Path("curve.cube"), dir.Path("in.png"), "-o", dir.Path("deep.png"), "--depth", "16"})
                  .Status,
              0);
    TPreciseImage deepOut, fromBytes;
    EXPECT_EQ(LoadPreciseImage(dir.Path("deep.png"), deepOut).BitsPerSample, 16);
    BitmapToPrecise(bitmap, fromBytes);
    ApplyLutToImage(*lut, fromBytes);
    EXPECT_LE(Worst(deepOut, fromBytes), 0.5 / 65535);

    // An OpenEXR with samples outside 0..1, written with OpenImageIO (our writers clamp).
    std::vector<float> values(3 * 40 * 30, 0.25f);
    values[0] = 2.5f;
    values[7] = -1.0f;
    {
        std::unique_ptr<OIIO::ImageOutput> out = OIIO::ImageOutput::create(dir.Path("bright.exr"));
        ASSERT_TRUE(out);
        ASSERT_TRUE(out->open(dir.Path("bright.exr"), OIIO::ImageSpec(40, 30, 3, OIIO::TypeDesc::FLOAT)));
        ASSERT_TRUE(out->write_image(OIIO::TypeDesc::FLOAT, values.data()));
        ASSERT_TRUE(out->close());
    }
    lut->SetIdentity3D(2);
    WriteText(dir.Path("identity.cube"), "LUT_3D_SIZE 2\n0 0 0\n1 0 0\n0 1 0\n1 1 0\n0 0 1\n1 0 1\n0 1 1\n1 1 1\n");
    TRunResult run = RunCli({"apply", dir.Path("identity.cube"), dir.Path("bright.exr"), "-o", dir.Path("b.exr"),
                             "--depth", "float"});
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Err, "warning: \"" + dir.Path("bright.exr") + "\": 2 samples lay outside 0..1 and were clamped to 0..1\n");
    TPreciseImage clamped;
    LoadPreciseImage(dir.Path("b.exr"), clamped);
    EXPECT_EQ(clamped.Row(0)[0], 1.0f);
    EXPECT_EQ(clamped.Row(0)[7], 0.0f);
    EXPECT_EQ(clamped.Row(0)[8], 0.25f);

    for (const auto& bad : std::vector<std::vector<std::string>>{{"--interp", "cubic"},
                                                                 {"--depth", "12"},
                                                                 {"--depth", "16", "-o", dir.Path("x.jpg")},
                                                                 {"--depth", "half", "-o", dir.Path("x.tif")}}) {
        std::vector<std::string> args = {"apply", dir.Path("curve.cube"), dir.Path("in.png")};
        if (bad.size() == 2) args.insert(args.end(), {"-o", dir.Path("x.png")});
        args.insert(args.end(), bad.begin(), bad.end());
        run = RunCli(args);
        EXPECT_EQ(run.Status, 2) << bad[0] << " " << bad[1];
        EXPECT_NE(run.Err.find(bad[0]), std::string::npos) << run.Err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.Path("x.png")));
    EXPECT_FALSE(std::filesystem::exists(dir.Path("x.jpg")));
}

#ifdef TINTAVO_RENDER_CHART_PATH
// calibrate and report sample a deep picture at full precision (measured colours between the
// 8-bit levels), an 8-bit one at whole levels unless --precise asks for the precise image; the
// LUTs written differ accordingly.
TEST(CliCalibratePrecise, DeepPicturesAndPreciseSampleBetweenTheLevels) {
    TScratchDir dir;
    const std::vector<std::string> scene = {"--chart", "sg", "--size", "1500x1000", "--matrix",
                                            "0.8,0.2,0,0.1,0.8,0.1,0,0.2,0.8", "--gamma", "1.3,1,0.8"};
    std::vector<std::string> deep = scene, eight = scene;
    deep.insert(deep.end(), {"--out", dir.Path("chart.tif"), "--depth", "16"});
    // The 8-bit picture with noise: its precise means fall between the levels, its 8-bit means
    // are truncated to them.
    eight.insert(eight.end(), {"--out", dir.Path("chart.png"), "--noise", "3"});
    const TRunResult render = RunProgram(TINTAVO_RENDER_CHART_PATH, deep);
    ASSERT_EQ(render.Status, 0) << render.Err;
    ASSERT_EQ(RunProgram(TINTAVO_RENDER_CHART_PATH, eight).Status, 0);
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    const std::size_t at = render.Out.find("Selection: ");
    ASSERT_NE(at, std::string::npos) << render.Out;
    ASSERT_EQ(std::sscanf(render.Out.c_str() + at, "Selection: X1=%d Y1=%d X2=%d Y2=%d", &x1, &y1, &x2, &y2), 4);
    const std::string rect = RectText(TSelection{x1, y1, x2, y2});

    // How many measured components lie off the 8-bit levels.
    auto offLevels = [&](const std::string& picture, bool precise) {
        std::vector<std::string> args = {"report", picture, "--chart", "sg", "--rect", rect, "--json"};
        if (precise) args.push_back("--precise");
        const TRunResult run = RunCli(args);
        EXPECT_EQ(run.Status, 0) << run.Err;
        const TJson report = ParseJson(run.Out);
        int off = 0;
        for (std::size_t i = 0; i < report["patches"].Size(); ++i)
            for (std::size_t c = 0; c < 3; ++c) {
                const double level = 255 * report["patches"][i]["measured"][c].NumberValue;
                if (std::abs(level - std::nearbyint(level)) > 1e-3) ++off;
            }
        return off;
    };
    EXPECT_GT(offLevels(dir.Path("chart.tif"), false), 100);
    EXPECT_EQ(offLevels(dir.Path("chart.png"), false), 0);
    EXPECT_GT(offLevels(dir.Path("chart.png"), true), 100);

    for (const auto& [picture, precise, out] : {std::tuple{dir.Path("chart.png"), false, dir.Path("eight.cube")},
                                                std::tuple{dir.Path("chart.png"), true, dir.Path("precise.cube")},
                                                std::tuple{dir.Path("chart.tif"), false, dir.Path("deep.cube")}}) {
        std::vector<std::string> args = {"calibrate", picture, "--chart", "sg", "--rect", rect,
                                         "--profile", "7", "-o", out};
        if (precise) args.push_back("--precise");
        const TRunResult run = RunCli(args);
        ASSERT_EQ(run.Status, 0) << run.Err;
    }
    EXPECT_TRUE(ReadText(dir.Path("eight.cube")) != ReadText(dir.Path("precise.cube")));
    EXPECT_TRUE(ReadText(dir.Path("eight.cube")) != ReadText(dir.Path("deep.cube")));
}
#endif

// OpenImageIO, and the some 250 libraries it pulls in, are loaded only when a picture needs them:
// not for a PNG corrected to PNG, but for one written as OpenEXR and read back.
TEST(CliApplyPrecise, OpenImageIoIsLoadedOnlyForThePicturesThatNeedIt) {
    TScratchDir dir;
    TBitmap24 bitmap;
    PreciseToBitmap(Samples(8, 6), bitmap);
    SavePicture(dir.Path("in.png"), bitmap);
    WriteText(dir.Path("identity.cube"), "LUT_3D_SIZE 2\n0 0 0\n1 0 0\n0 1 0\n1 1 0\n0 0 1\n1 0 1\n0 1 1\n1 1 1\n");
    auto loads = [&](const std::string& in, const std::string& out) {
        ::setenv("LD_DEBUG", "files", 1);  // the loader tells every library it opens
        const TRunResult run = RunCli({"apply", dir.Path("identity.cube"), dir.Path(in), "-o", dir.Path(out)});
        ::unsetenv("LD_DEBUG");
        EXPECT_EQ(run.Status, 0) << run.Err;
        return run.Err.find("libOpenImageIO.so") != std::string::npos;
    };
    EXPECT_FALSE(loads("in.png", "out.png"));
    EXPECT_TRUE(loads("in.png", "out.exr"));
    EXPECT_TRUE(loads("out.exr", "again.png"));
}

}  // namespace tintavo
