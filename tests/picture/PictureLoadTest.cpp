#include "picture/Picture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

#include "PictureTestUtil.h"

using namespace tintavo;
using namespace picture_test;

namespace {

using RGB = std::array<int, 3>;

RGB At(const TBitmap24& b, int x, int y) {
    std::uint8_t r, g, bl;
    b.GetPixel(x, y, r, g, bl);
    return {r, g, bl};
}

TBitmap24 Load(const Bytes& bytes, const std::string& name = "test") {
    TBitmap24 out;
    LoadPictureFromMemory(bytes.data(), bytes.size(), name, out);
    return out;
}

void ExpectNear(const RGB& got, const RGB& want, int tolerance, const std::string& where) {
    for (int c = 0; c < 3; ++c) EXPECT_LE(std::abs(got[c] - want[c]), tolerance) << where << " channel " << c;
}

int Round16(int v) { return (v * 255 + 32767) / 65535; }

}  // namespace

// ----------------------------------------------------------------------------------- JPEG

TEST(PictureJpeg, RgbBaselineAndProgressiveDecodeToTheWrittenColours) {
    // 16 x 16 blocks of flat colour survive quality 100 within a step or two.
    const RGB colours[4] = {{200, 30, 60}, {10, 220, 90}, {128, 128, 128}, {250, 250, 5}};
    Bytes pixels;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const RGB& c = colours[(y / 16) * 2 + x / 16];
            pixels.insert(pixels.end(), {std::uint8_t(c[0]), std::uint8_t(c[1]), std::uint8_t(c[2])});
        }
    for (bool progressive : {false, true}) {
        const TBitmap24 b = Load(EncodeJpeg(32, 32, 3, pixels, 100, progressive));
        ASSERT_EQ(b.Width(), 32);
        ASSERT_EQ(b.Height(), 32);
        for (int q = 0; q < 4; ++q)
            ExpectNear(At(b, (q % 2) * 16 + 8, (q / 2) * 16 + 8), colours[q], 2,
                       progressive ? "progressive" : "baseline");
    }
}

TEST(PictureJpeg, GrayscaleBecomesEqualRgb) {
    Bytes pixels;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 24; ++x) pixels.push_back(x < 8 ? 37 : (x < 16 ? 140 : 251));
    const TBitmap24 b = Load(EncodeJpeg(24, 16, 1, pixels, 100, false));
    ASSERT_EQ(b.Width(), 24);
    for (int x : {3, 11, 20}) {
        const RGB p = At(b, x, 5);
        EXPECT_EQ(p[0], p[1]);
        EXPECT_EQ(p[1], p[2]);
        EXPECT_NEAR(p[0], x < 8 ? 37 : (x < 16 ? 140 : 251), 1);
    }
}

TEST(PictureJpeg, CmykWithAndWithoutAdobeInversion) {
    // Adobe files store 255 - ink: (255, 128, 0, 255) is red 255, green 128, blue 0.
    Bytes adobe, plain;
    for (int i = 0; i < 16 * 16; ++i) {
        adobe.insert(adobe.end(), {255, 128, 0, 255});
        plain.insert(plain.end(), {0, 127, 255, 0});  // ink amounts: the same colour
    }
    const TBitmap24 a = Load(EncodeJpeg(16, 16, 4, adobe, 100, false, true));
    ExpectNear(At(a, 8, 8), {255, 128, 0}, 2, "adobe");
    const TBitmap24 p = Load(EncodeJpeg(16, 16, 4, plain, 100, false, false));
    ExpectNear(At(p, 8, 8), {255, 128, 0}, 2, "plain");

    // Black ink halves everything: K ink 50 %.
    Bytes half;
    for (int i = 0; i < 16 * 16; ++i) half.insert(half.end(), {255, 255, 255, 128});
    ExpectNear(At(Load(EncodeJpeg(16, 16, 4, half, 100, false, true)), 4, 4), {128, 128, 128}, 2, "half");
}

namespace {

// libjpeg's own decode of `jpeg` as RGB with the given inverse DCT and chroma upsampling.
TBitmap24 LibjpegDecode(const Bytes& jpeg, J_DCT_METHOD method, bool fancyUpsampling) {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);  // test inputs are valid: the default handler is fine
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    cinfo.dct_method = method;
    cinfo.do_fancy_upsampling = fancyUpsampling ? TRUE : FALSE;
    jpeg_start_decompress(&cinfo);
    TBitmap24 out(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height));
    Bytes row(3 * static_cast<std::size_t>(cinfo.output_width));
    while (cinfo.output_scanline < cinfo.output_height) {
        const int y = static_cast<int>(cinfo.output_scanline);
        JSAMPROW p = row.data();
        jpeg_read_scanlines(&cinfo, &p, 1);
        for (int x = 0; x < out.Width(); ++x) out.SetPixel(x, y, row[3 * x], row[3 * x + 1], row[3 * x + 2]);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return out;
}

}  // namespace

// The calibration samples decoded pixels, so the decode is exact, not merely close: every byte
// equals libjpeg's accurate integer inverse DCT with smooth chroma upsampling. The fast DCT or
// plain upsampling would change bytes of this photo-like picture (checked first, so the
// comparison cannot pass by accident).
TEST(PictureJpeg, DecodesEveryByteAsLibjpegsAccurateTransform) {
    const int w = 77, h = 53;  // partial blocks and chroma samples at the right and bottom edges
    std::mt19937 rng(17);
    std::normal_distribution<double> noise(0.0, 9.0);
    Bytes rgb, gray;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double base[3] = {120 + 90 * std::sin(x * 0.21), 100 + 70 * std::cos(y * 0.17), double((x * 3 + y * 2) % 256)};
            for (double b : base) rgb.push_back(static_cast<std::uint8_t>(std::clamp(b + noise(rng), 0.0, 255.0)));
            gray.push_back(rgb[rgb.size() - 2]);
        }
    const struct {
        const char* what;
        Bytes jpeg;
    } cases[] = {
        {"baseline", EncodeJpeg(w, h, 3, rgb, 85, false)},
        {"progressive", EncodeJpeg(w, h, 3, rgb, 85, true)},
        {"grayscale", EncodeJpeg(w, h, 1, gray, 85, false)},
    };
    for (const auto& c : cases) {
        const TBitmap24 accurate = LibjpegDecode(c.jpeg, JDCT_ISLOW, true);
        ASSERT_FALSE(accurate.SamePixels(LibjpegDecode(c.jpeg, JDCT_IFAST, true))) << c.what;
        if (std::string(c.what) != "grayscale") {
            ASSERT_FALSE(accurate.SamePixels(LibjpegDecode(c.jpeg, JDCT_ISLOW, false))) << c.what;
        }
        EXPECT_TRUE(Load(c.jpeg).SamePixels(accurate)) << c.what;
    }
}

// ----------------------------------------------------------------------------------- BMP

TEST(PictureBmp, TwentyFourBitBottomUpAndTopDown) {
    // 3 x 2 pixels; rows padded to 12 bytes.
    const RGB top[3] = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
    const RGB bottom[3] = {{250, 0, 10}, {0, 250, 20}, {30, 40, 250}};
    auto row = [](const RGB* px) {
        Bytes r;
        for (int x = 0; x < 3; ++x) r.insert(r.end(), {std::uint8_t(px[x][2]), std::uint8_t(px[x][1]), std::uint8_t(px[x][0])});
        r.resize(12, 0xEE);
        return r;
    };
    Bytes bottomUp = row(bottom), topDown = row(top);
    const Bytes t = row(top), b = row(bottom);
    bottomUp.insert(bottomUp.end(), t.begin(), t.end());
    topDown.insert(topDown.end(), b.begin(), b.end());
    for (int pass = 0; pass < 2; ++pass) {
        const TBitmap24 bmp = Load(pass == 0 ? MakeBmp(3, 2, 24, 0, {}, bottomUp) : MakeBmp(3, -2, 24, 0, {}, topDown));
        ASSERT_EQ(bmp.Width(), 3);
        ASSERT_EQ(bmp.Height(), 2);
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(At(bmp, x, 0), top[x]) << pass;
            EXPECT_EQ(At(bmp, x, 1), bottom[x]) << pass;
        }
    }
}

TEST(PictureBmp, PalettesOfOneFourAndEightBits) {
    Bytes palette;  // B, G, R, 0
    for (int i = 0; i < 16; ++i) palette.insert(palette.end(), {std::uint8_t(i), std::uint8_t(10 * i), std::uint8_t(255 - i), 0});
    // 4 bits: 5 pixels = indices 1, 2, 3, 4, 15 in one row (3 bytes, padded to 4).
    const TBitmap24 four = Load(MakeBmp(5, 1, 4, 0, palette, {0x12, 0x34, 0xF0, 0x00}, 40, 16));
    const int idx[5] = {1, 2, 3, 4, 15};
    for (int x = 0; x < 5; ++x) EXPECT_EQ(At(four, x, 0), (RGB{255 - idx[x], 10 * idx[x], idx[x]})) << x;

    // 1 bit: 10 pixels 1010000011, two-entry palette.
    const Bytes mono = {0, 0, 0, 0, 255, 255, 255, 0};
    const TBitmap24 one = Load(MakeBmp(10, 1, 1, 0, mono, {0xA0, 0xC0, 0, 0}, 40, 2));
    const int bits[10] = {1, 0, 1, 0, 0, 0, 0, 0, 1, 1};
    for (int x = 0; x < 10; ++x) EXPECT_EQ(At(one, x, 0)[0], bits[x] ? 255 : 0) << x;

    // 8 bits, two rows bottom-up; index 200 lies beyond the 3 colours used and reads black.
    const Bytes pal8 = {10, 20, 30, 0, 40, 50, 60, 0, 70, 80, 90, 0};
    const TBitmap24 eight = Load(MakeBmp(2, 2, 8, 0, pal8, {2, 200, 0, 0, 0, 1, 0, 0}, 40, 3));
    EXPECT_EQ(At(eight, 0, 0), (RGB{30, 20, 10}));
    EXPECT_EQ(At(eight, 1, 0), (RGB{60, 50, 40}));
    EXPECT_EQ(At(eight, 0, 1), (RGB{90, 80, 70}));
    EXPECT_EQ(At(eight, 1, 1), (RGB{0, 0, 0}));

    // OS/2 core header with 3-byte palette entries.
    const Bytes pal3 = {1, 2, 3, 4, 5, 6};
    const TBitmap24 core = Load(MakeBmp(2, 1, 8, 0, pal3, {1, 0, 0, 0}, 12));
    EXPECT_EQ(At(core, 0, 0), (RGB{6, 5, 4}));
    EXPECT_EQ(At(core, 1, 0), (RGB{3, 2, 1}));
}

TEST(PictureBmp, SixteenAndThirtyTwoBitWithAndWithoutBitFields) {
    // 16-bit BI_RGB is 5-5-5: 0x7FFF white, 0x7C00 red, 0x0010 blue at about half.
    const TBitmap24 b555 = Load(MakeBmp(3, 1, 16, 0, {}, {0xFF, 0x7F, 0x00, 0x7C, 0x10, 0x00, 0, 0}));
    EXPECT_EQ(At(b555, 0, 0), (RGB{255, 255, 255}));
    EXPECT_EQ(At(b555, 1, 0), (RGB{255, 0, 0}));
    EXPECT_EQ(At(b555, 2, 0), (RGB{0, 0, (16 * 255 + 15) / 31}));

    // 5-6-5 bit fields after a 40-byte header: green 0x07E0 full, 0x0020 one step of 63.
    LeWriter masks;
    masks.U32(0xF800);
    masks.U32(0x07E0);
    masks.U32(0x001F);
    const TBitmap24 b565 = Load(MakeBmp(2, 1, 16, 3, masks.bytes, {0xE0, 0x07, 0x20, 0x00}));
    EXPECT_EQ(At(b565, 0, 0), (RGB{0, 255, 0}));
    EXPECT_EQ(At(b565, 1, 0), (RGB{0, (255 + 31) / 63, 0}));

    // 32-bit BI_RGB: B, G, R, ignored byte.
    const TBitmap24 b32 = Load(MakeBmp(1, 1, 32, 0, {}, {11, 22, 33, 99}));
    EXPECT_EQ(At(b32, 0, 0), (RGB{33, 22, 11}));

    // 32-bit bit fields in a V5 header: R in the top byte, then G, B, alpha lowest.
    LeWriter v5;
    for (int i = 0; i < 124; ++i) v5.U8(0);
    Bytes file = MakeBmp(1, 1, 32, 3, {}, {0x99, 0x30, 0x20, 0x10}, 124);
    const std::uint32_t m[3] = {0xFF000000u, 0x00FF0000u, 0x0000FF00u};
    for (int k = 0; k < 3; ++k)
        for (int i = 0; i < 4; ++i) file[14 + 40 + 4 * k + i] = static_cast<std::uint8_t>(m[k] >> (8 * i));
    EXPECT_EQ(At(Load(file), 0, 0), (RGB{0x10, 0x20, 0x30}));
}

TEST(PictureBmp, RunLengthEncodedEightAndFourBits) {
    // Palette: 0 black, 1 red, 2 green, 3 blue.
    const Bytes pal = {0, 0, 0, 0, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0};
    // RLE8, 5 x 3, bottom row first:
    //   row 2 (bottom): run of 2 x index 1, then the literal 1, 2, 3 (padded); end of line
    //   row 1: delta (2, 1) skips to x = 2 of row 0 (the top row), then a run of 2 x index 3
    //   end of bitmap
    const Bytes rle8 = {2, 1, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 2, 1, 2, 3, 0, 1};
    const TBitmap24 a = Load(MakeBmp(5, 3, 8, 1, pal, rle8, 40, 4));
    const RGB black{0, 0, 0}, red{255, 0, 0}, green{0, 255, 0}, blue{0, 0, 255};
    const RGB want8[3][5] = {{black, black, blue, blue, black},
                             {black, black, black, black, black},
                             {red, red, red, green, blue}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(At(a, x, y), want8[y][x]) << x << "," << y;

    // RLE4, 6 x 1: a run of 3 alternating 1, 2, then the literal nibbles 3, 1, 2.
    const Bytes rle4 = {3, 0x12, 0, 3, 0x31, 0x20, 0, 1};
    const TBitmap24 b = Load(MakeBmp(6, 1, 4, 2, pal, rle4, 40, 4));
    const RGB want4[6] = {red, green, red, blue, red, green};
    for (int x = 0; x < 6; ++x) EXPECT_EQ(At(b, x, 0), want4[x]) << x;
}

// ----------------------------------------------------------------------------------- PNG

TEST(PicturePng, PaletteGrayAlphaAndSixteenBit) {
    // 4-bit palette.
    const Bytes pal = {255, 0, 0, 0, 255, 0, 0, 0, 255};
    const TBitmap24 p = Load(EncodePng(3, 1, PNG_COLOR_TYPE_PALETTE, 4, {{0x01, 0x20}}, pal));
    EXPECT_EQ(At(p, 0, 0), (RGB{255, 0, 0}));
    EXPECT_EQ(At(p, 1, 0), (RGB{0, 255, 0}));
    EXPECT_EQ(At(p, 2, 0), (RGB{0, 0, 255}));

    // Gray + alpha: the alpha is ignored.
    const TBitmap24 ga = Load(EncodePng(2, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, {{77, 0, 200, 255}}));
    EXPECT_EQ(At(ga, 0, 0), (RGB{77, 77, 77}));
    EXPECT_EQ(At(ga, 1, 0), (RGB{200, 200, 200}));

    // RGBA: colour as stored, even where fully transparent.
    const TBitmap24 rgba = Load(EncodePng(1, 1, PNG_COLOR_TYPE_RGB_ALPHA, 8, {{9, 99, 199, 0}}));
    EXPECT_EQ(At(rgba, 0, 0), (RGB{9, 99, 199}));

    // 16-bit RGB, big-endian samples, rounded to 8 bits.
    const int v[3] = {0x8080, 0x017F, 0xFFFF};
    const int w[3] = {0x0080, 0x0081, 0x7F7F};
    Bytes row;
    for (int s : v) row.insert(row.end(), {std::uint8_t(s >> 8), std::uint8_t(s)});
    for (int s : w) row.insert(row.end(), {std::uint8_t(s >> 8), std::uint8_t(s)});
    const TBitmap24 p16 = Load(EncodePng(2, 1, PNG_COLOR_TYPE_RGB, 16, {row}));
    EXPECT_EQ(At(p16, 0, 0), (RGB{Round16(v[0]), Round16(v[1]), Round16(v[2])}));
    EXPECT_EQ(At(p16, 1, 0), (RGB{Round16(w[0]), Round16(w[1]), Round16(w[2])}));
    EXPECT_EQ(At(p16, 1, 0), (RGB{0, 1, 127}));  // 0x80 / 257 rounds down, 0x81 up
}

TEST(PicturePng, InterlacedMatchesNonInterlaced) {
    std::vector<Bytes> rows;
    for (int y = 0; y < 13; ++y) {
        Bytes r;
        for (int x = 0; x < 11; ++x) r.insert(r.end(), {std::uint8_t(x * 20), std::uint8_t(y * 19), std::uint8_t(x * y)});
        rows.push_back(r);
    }
    const TBitmap24 a = Load(EncodePng(11, 13, PNG_COLOR_TYPE_RGB, 8, rows, {}, false));
    const TBitmap24 b = Load(EncodePng(11, 13, PNG_COLOR_TYPE_RGB, 8, rows, {}, true));
    EXPECT_TRUE(a.SamePixels(b));
    EXPECT_EQ(At(b, 10, 12), (RGB{200, 228, 120}));
}

// ----------------------------------------------------------------------------------- TIFF

TEST(PictureTiff, SixteenBitRgbGrayPaletteAndTiles) {
    // 16-bit RGB with an alpha sample that is ignored.
    TiffLayout layout;
    layout.width = 2;
    layout.height = 1;
    layout.samples = 4;
    layout.bits = 16;
    const std::uint16_t s16[8] = {0x8080, 0x017F, 0xFFFF, 0, 0x0080, 0x0081, 0x7F7F, 0xFFFF};
    Bytes raw(reinterpret_cast<const std::uint8_t*>(s16), reinterpret_cast<const std::uint8_t*>(s16) + 16);
    const TBitmap24 t16 = Load(EncodeTiff(layout, raw));
    EXPECT_EQ(At(t16, 0, 0), (RGB{Round16(0x8080), Round16(0x017F), 255}));
    EXPECT_EQ(At(t16, 1, 0), (RGB{0, 1, 127}));

    // 8-bit min-is-white gray.
    TiffLayout gray;
    gray.width = 3;
    gray.height = 1;
    gray.samples = 1;
    gray.photometric = PHOTOMETRIC_MINISWHITE;
    const TBitmap24 g = Load(EncodeTiff(gray, {0, 100, 255}));
    EXPECT_EQ(At(g, 0, 0), (RGB{255, 255, 255}));
    EXPECT_EQ(At(g, 1, 0), (RGB{155, 155, 155}));
    EXPECT_EQ(At(g, 2, 0), (RGB{0, 0, 0}));

    // 4-bit palette with a 16-bit colour map.
    TiffLayout pal;
    pal.width = 3;
    pal.height = 1;
    pal.samples = 1;
    pal.bits = 4;
    pal.photometric = PHOTOMETRIC_PALETTE;
    pal.colormap.assign(48, 0);
    pal.colormap[1] = 65535;           // red of entry 1
    pal.colormap[16 + 2] = 0x8080;     // green of entry 2
    pal.colormap[32 + 15] = 257 * 17;  // blue of entry 15
    const TBitmap24 p = Load(EncodeTiff(pal, {0x12, 0xF0}));
    EXPECT_EQ(At(p, 0, 0), (RGB{255, 0, 0}));
    EXPECT_EQ(At(p, 1, 0), (RGB{0, Round16(0x8080), 0}));
    EXPECT_EQ(At(p, 2, 0), (RGB{0, 0, 17}));

    // A tiled 8-bit RGB file goes through libtiff's RGBA reader.
    TiffLayout tiled;
    tiled.width = 20;
    tiled.height = 18;
    tiled.tiled = true;
    Bytes rgb;
    for (int y = 0; y < 18; ++y)
        for (int x = 0; x < 20; ++x) rgb.insert(rgb.end(), {std::uint8_t(x * 12), std::uint8_t(y * 14), 77});
    const TBitmap24 t = Load(EncodeTiff(tiled, rgb));
    ASSERT_EQ(t.Width(), 20);
    ASSERT_EQ(t.Height(), 18);
    EXPECT_EQ(At(t, 0, 0), (RGB{0, 0, 77}));
    EXPECT_EQ(At(t, 19, 17), (RGB{228, 238, 77}));
    EXPECT_EQ(At(t, 17, 3), (RGB{204, 42, 77}));
}

// ----------------------------------------------------------------------------------- saving

TEST(PictureSave, RoundTripsEveryTypeByExtension) {
    const auto dir = TempFolder("RoundTrip");
    TBitmap24 src(37, 21);
    for (int y = 0; y < 21; ++y)
        for (int x = 0; x < 37; ++x) src.SetPixel(x, y, x * 7, y * 12, (x * y) % 256);
    for (const char* name : {"a.png", "b.BMP", "c.tif", "d.tiff"}) {
        const std::string file = (dir / name).string();
        SavePicture(file, src);
        TBitmap24 back;
        LoadPicture(file, back);
        EXPECT_TRUE(back.SamePixels(src)) << name;
    }
    for (const char* name : {"e.jpg", "f.JPEG"}) {
        const std::string file = (dir / name).string();
        SavePicture(file, src, 100);
        TBitmap24 back;
        LoadPicture(file, back);
        ASSERT_EQ(back.Width(), 37);
        ASSERT_EQ(back.Height(), 21);
        EXPECT_EQ(DetectPictureType(ReadFileBytes(file).data(), 3), TPictureType::Jpeg);
    }
    EXPECT_THROW(SavePicture((dir / "g.gif").string(), src), EPictureError);
    EXPECT_FALSE(std::filesystem::exists(dir / "g.gif"));
}

TEST(PictureLoad, ChoosesTheDecoderByContentNotByName) {
    const auto dir = TempFolder("ByContent");
    TBitmap24 src(4, 3);
    src.SetPixel(2, 1, 10, 20, 30);
    SavePicture((dir / "real.png").string(), src);
    std::filesystem::rename(dir / "real.png", dir / "looks-like.jpg");
    TBitmap24 back;
    LoadPicture((dir / "looks-like.jpg").string(), back);
    EXPECT_TRUE(back.SamePixels(src));
}
