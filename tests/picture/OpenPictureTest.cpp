#include "picture/Picture.h"

#include <gtest/gtest.h>

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

    // A second open into the same bitmap gives the same result.
    OpenCalibrationPicture(file, work);
    EXPECT_TRUE(work.SamePixels(expected));
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
        EXPECT_EQ(std::string(e.what()), "Cannot read picture \"" + file + "\": Not a JPEG, BMP, PNG or TIFF picture");
    }
    EXPECT_TRUE(work.SamePixels(before));
}
