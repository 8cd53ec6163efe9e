#include "picture/Picture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>

#include "common/Parallel.h"
#include "lut/ImageResize2.h"
#include "PictureTestUtil.h"

using namespace tintavo;
using namespace picture_test;

namespace {

TBitmap24 Gradient(int w, int h) {
    TBitmap24 b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            b.SetPixel(x, y, static_cast<std::uint8_t>(x * 255 / w), static_cast<std::uint8_t>(y * 255 / h),
                       static_cast<std::uint8_t>((x / 40 + y / 40) % 2 ? 230 : 20));
    return b;
}

}  // namespace

TEST(OpenPicture, WorkingBitmapSizes) {
    const int cases[][4] = {{3000, 2000, 1500, 1000}, {4000, 1000, 1500, 375}, {1000, 800, 1000, 800}};
    for (const auto& c : cases) {
        const TBitmap24 src = Gradient(c[0], c[1]);
        TBitmap24 work;
        MakeWorkingBitmap(src, work);
        EXPECT_EQ(work.Width(), c[2]);
        EXPECT_EQ(work.Height(), c[3]);
        if (c[0] == c[2]) {
            EXPECT_TRUE(work.SamePixels(src));  // resampled at the same size: unchanged
        } else {
            // The corners of source and target coincide.
            std::uint8_t r, g, b, r0, g0, b0;
            work.GetPixel(0, 0, r, g, b);
            src.GetPixel(0, 0, r0, g0, b0);
            EXPECT_NEAR(r, r0, 2);
            EXPECT_NEAR(g, g0, 2);
        }
    }
}

TEST(OpenPicture, OpensAJpegFileIntoTheWorkingSize) {
    const auto dir = TempFolder("Open");
    const std::string file = (dir / "chart.jpg").string();
    const TBitmap24 src = Gradient(3000, 2000);
    SavePicture(file, src, 90);

    TBitmap24 work;
    OpenCalibrationPicture(file, work);
    EXPECT_EQ(work.Width(), 1500);
    EXPECT_EQ(work.Height(), 1000);

    // The same as the two steps done by hand.
    TBitmap24 loaded, expected;
    LoadPicture(file, loaded);
    ResizeBitmap(1500, 1000, rfLanczos3, 0, loaded, expected);
    EXPECT_TRUE(work.SamePixels(expected));

    // A second open into the same bitmap gives the same result, also on one thread, where the
    // decoding thread reduces every band itself.
    OpenCalibrationPicture(file, work);
    EXPECT_TRUE(work.SamePixels(expected));
    SetParallelThreadLimit(1);
    TBitmap24 serial;
    OpenCalibrationPicture(file, serial);
    SetParallelThreadLimit(0);
    EXPECT_TRUE(serial.SamePixels(expected));
}

TEST(OpenPicture, AFailedOpenLeavesTheWorkingBitmapAlone) {
    const auto dir = TempFolder("OpenFails");
    const std::string file = (dir / "not-a-picture.jpg").string();
    WriteBytes(file, {'h', 'e', 'l', 'l', 'o'});
    TBitmap24 work(3, 2);
    work.SetPixel(1, 1, 9, 8, 7);
    const TBitmap24 before = [&] { TBitmap24 c; c.Assign(work); return c; }();
    try {
        OpenCalibrationPicture(file, work);
        FAIL() << "no error";
    } catch (const EPictureError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot read picture \"" + file + "\": Not a JPEG, BMP, PNG, TIFF, DPX or OpenEXR picture");
    }
    EXPECT_TRUE(work.SamePixels(before));
}

namespace {

// A photo-like picture: gradients, edges and noise, so that every reduced pixel depends on many
// source pixels.
TBitmap24 Photo(int w, int h, unsigned seed) {
    TBitmap24 b(w, h);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int edge = ((x / 53 + y / 41) % 2) * 60;
            b.SetPixel(x, y, static_cast<std::uint8_t>((x * 200 / w + edge + rng() % 25) % 256),
                       static_cast<std::uint8_t>((y * 180 / h + rng() % 25) % 256),
                       static_cast<std::uint8_t>((edge * 2 + rng() % 40) % 256));
        }
    return b;
}

Bytes RgbBytes(const TBitmap24& b) {
    Bytes out;
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x) {
            std::uint8_t r, g, bl;
            b.GetPixel(x, y, r, g, bl);
            out.insert(out.end(), {r, g, bl});
        }
    return out;
}

struct ThreadLimit {
    explicit ThreadLimit(int n) { SetParallelThreadLimit(n); }
    ~ThreadLimit() { SetParallelThreadLimit(0); }
};

// The process's resident memory in MB.
double ResidentMB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    return 0.0;
}

}  // namespace

// The Open command reads the picture in bands of rows that go straight into the reduction. For
// every way a decoder hands out rows (in runs, one at a time, from a whole picture decoded
// first) and on one thread or two, the bytes are those of loading the picture and reducing it.
TEST(OpenPicture, EveryTypeGivesTheBytesOfLoadingThenReducing) {
    const auto dir = TempFolder("OpenEveryType");
    // 900 pixels wide: bands of 776 rows, which is not a whole number of JPEG's 16-row runs.
    const TBitmap24 photo = Photo(900, 1400, 3);
    const Bytes rgb = RgbBytes(photo);
    Bytes cmyk;
    for (std::size_t i = 0; i < rgb.size(); i += 3)
        cmyk.insert(cmyk.end(), {rgb[i], rgb[i + 1], rgb[i + 2], static_cast<std::uint8_t>(255 - rgb[i] / 4)});
    std::vector<Bytes> rows;
    for (int y = 0; y < photo.Height(); ++y)
        rows.emplace_back(rgb.begin() + 3 * 900 * y, rgb.begin() + 3 * 900 * (y + 1));
    TiffLayout tiled;
    tiled.width = 900;
    tiled.height = 1400;
    tiled.tiled = true;
    const struct {
        const char* name;
        Bytes bytes;
    } files[] = {
        {"baseline.jpg", {}},
        {"progressive.jpg", EncodeJpeg(900, 1400, 3, rgb, 90, true)},
        {"cmyk.jpg", EncodeJpeg(900, 1400, 4, cmyk, 90, false)},
        {"bottom-up.bmp", {}},
        {"top-down.bmp", MakeBmp(3, -2, 24, 0, {}, Bytes(24, 77))},
        {"run-length.bmp", MakeBmp(6, 1, 4, 2, Bytes(64, 200), {3, 0x12, 0, 3, 0x31, 0x20, 0, 1}, 40, 16)},
        {"rows.png", {}},
        {"interlaced.png", EncodePng(900, 1400, 2 /* RGB */, 8, rows, {}, true)},
        {"strips.tif", {}},
        {"tiles.tif", EncodeTiff(tiled, rgb)},
        {"line.png", {}},
    };
    for (const auto& f : files) {
        const std::string file = (dir / f.name).string();
        if (std::string(f.name) == "line.png") SavePicture(file, Photo(4000, 1, 6));  // reduced to 1500 x 0
        else if (f.bytes.empty()) SavePicture(file, photo, 90);
        else WriteBytes(file, f.bytes);
        TBitmap24 loaded, expected;
        LoadPicture(file, loaded);
        MakeWorkingBitmap(loaded, expected);
        for (int threads : {1, 2}) {
            ThreadLimit limit(threads);
            TBitmap24 work;
            OpenCalibrationPicture(file, work);
            EXPECT_TRUE(work.SamePixels(expected)) << f.name << ", " << threads << " thread(s)";
        }
    }
}

TEST(OpenPicture, APictureDamagedHalfWayLeavesTheWorkingBitmapAlone) {
    const auto dir = TempFolder("OpenDamaged");
    const TBitmap24 photo = Photo(900, 1400, 4);
    for (const char* name : {"cut.jpg", "cut.png", "cut.bmp"}) {
        const std::string file = (dir / name).string();
        SavePicture(file, photo, 90);
        Bytes bytes = ReadFileBytes(file);
        bytes.resize(bytes.size() * 3 / 4);  // the first bands decode, the last ones are missing
        WriteBytes(file, bytes);
        TBitmap24 work(3, 2);
        work.SetPixel(1, 1, 9, 8, 7);
        const TBitmap24 before = work;
        try {
            OpenCalibrationPicture(file, work);
            ADD_FAILURE() << name << ": no error";
        } catch (const EPictureError& e) {
            EXPECT_EQ(std::string(e.what()).rfind("Cannot read picture \"" + file + "\": ", 0), 0u) << e.what();
        }
        EXPECT_TRUE(work.SamePixels(before)) << name;
    }
}

// Opening a 6-megapixel photograph keeps nothing of it once the working bitmap is made: the
// process grows by the working bitmap (4.3 MB) and little else (the whole picture alone is 18 MB).
TEST(OpenPicture, GivesItsMemoryBackWhenDone) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizer's allocator keeps freed memory";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
    GTEST_SKIP() << "the sanitizer's allocator keeps freed memory";
#endif
#endif
    const auto dir = TempFolder("OpenMemory");
    const std::string file = (dir / "big.jpg").string();
    SavePicture(file, Photo(3000, 2000, 5), 80);
    TBitmap24 work;
    const double before = ResidentMB();
    for (int i = 0; i < 2; ++i) OpenCalibrationPicture(file, work);
    const double grown = ResidentMB() - before;
    EXPECT_EQ(work.Width(), 1500);
    EXPECT_LT(grown, static_cast<double>(work.ByteSize()) / (1 << 20) + 8.0);
}
