#include "picture/Picture.h"

#include <gtest/gtest.h>

#include <random>

#include <png.h>

#include "common/Errors.h"
#include "PictureTestUtil.h"

using namespace tintavo;
using namespace picture_test;

namespace {

// The message of the EPictureError raised for `bytes`, or "" when none is raised.
std::string ErrorOf(const Bytes& bytes, const std::string& name) {
    TBitmap24 out;
    try {
        LoadPictureFromMemory(bytes.data(), bytes.size(), name, out);
    } catch (const EPictureError& e) {
        return e.what();
    }
    return "";
}

Bytes SampleJpeg(bool progressive = false) {
    Bytes pixels;
    for (int i = 0; i < 64 * 48; ++i)
        pixels.insert(pixels.end(), {std::uint8_t(i * 7), std::uint8_t(i / 13), std::uint8_t(i % 251)});
    return EncodeJpeg(64, 48, 3, pixels, 90, progressive);
}

Bytes SamplePng() {
    std::vector<Bytes> rows;
    for (int y = 0; y < 40; ++y) {
        Bytes r;
        for (int x = 0; x < 50; ++x) r.insert(r.end(), {std::uint8_t(x * y), std::uint8_t(x), std::uint8_t(y)});
        rows.push_back(r);
    }
    return EncodePng(50, 40, PNG_COLOR_TYPE_RGB, 8, rows);
}

Bytes SampleBmp() {
    Bytes rows(12 * 5 * 3 / 1, 0);  // 12 x 5, 24-bit, 36 bytes a row
    for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<std::uint8_t>(i);
    return MakeBmp(12, 5, 24, 0, {}, rows);
}

Bytes SampleTiff() {
    TiffLayout layout;
    layout.width = 30;
    layout.height = 20;
    Bytes samples(30 * 20 * 3);
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<std::uint8_t>(i * 31);
    return EncodeTiff(layout, samples);
}

std::uint32_t Crc32(const std::uint8_t* p, std::size_t n) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return ~c;
}

void PutBe32(std::uint8_t* p, std::uint32_t v) {
    p[0] = std::uint8_t(v >> 24);
    p[1] = std::uint8_t(v >> 16);
    p[2] = std::uint8_t(v >> 8);
    p[3] = std::uint8_t(v);
}

const std::string kHuge = "The picture is 20000 x 20000 pixels, more than the 100 megapixels accepted";

}  // namespace

TEST(PictureErrors, TruncatedFilesNameTheFileAndTheReason) {
    const Bytes jpeg = SampleJpeg();
    EXPECT_EQ(ErrorOf(Bytes(jpeg.begin(), jpeg.begin() + jpeg.size() * 6 / 10), "cut.jpg"),
              "Cannot read picture \"cut.jpg\": Premature end of JPEG file");
    const Bytes bmp = SampleBmp();
    EXPECT_EQ(ErrorOf(Bytes(bmp.begin(), bmp.end() - 1), "cut.bmp"),
              "Cannot read picture \"cut.bmp\": Premature end of BMP file");
    EXPECT_EQ(ErrorOf(Bytes(bmp.begin(), bmp.begin() + 20), "head.bmp"),
              "Cannot read picture \"head.bmp\": Premature end of BMP file");
    const Bytes png = SamplePng();
    EXPECT_EQ(ErrorOf(Bytes(png.begin(), png.begin() + png.size() / 2), "cut.png"),
              "Cannot read picture \"cut.png\": Premature end of PNG file");
    const Bytes tiff = SampleTiff();
    const std::string tiffError = ErrorOf(Bytes(tiff.begin(), tiff.begin() + tiff.size() / 2), "cut.tif");
    EXPECT_EQ(tiffError.rfind("Cannot read picture \"cut.tif\": ", 0), 0u) << tiffError;
    EXPECT_GT(tiffError.size(), std::string("Cannot read picture \"cut.tif\": ").size());
}

TEST(PictureErrors, OtherTypesAndEmptyFiles) {
    const std::string gif = "GIF89a\x01\x00\x01\x00\x00\x00\x00;";
    EXPECT_EQ(ErrorOf(Bytes(gif.begin(), gif.end()), "x.gif"),
              "Cannot read picture \"x.gif\": Not a JPEG, BMP, PNG, TIFF, DPX or OpenEXR picture");
    EXPECT_EQ(ErrorOf({}, "empty.jpg"), "Cannot read picture \"empty.jpg\": The file is empty");
    EXPECT_EQ(ErrorOf({0xFF, 0xD8}, "short.jpg"),
              "Cannot read picture \"short.jpg\": Not a JPEG, BMP, PNG, TIFF, DPX or OpenEXR picture");
    // BMPs wrapping a JPEG are not decoded.
    EXPECT_EQ(ErrorOf(MakeBmp(2, 2, 24, 4, {}, Bytes(16, 0)), "jpeg.bmp"),
              "Cannot read picture \"jpeg.bmp\": Unsupported BMP compression 4");
    // Run-length data that ends before its end-of-bitmap escape.
    EXPECT_EQ(ErrorOf(MakeBmp(4, 2, 8, 1, Bytes(8, 0), {4, 1, 0, 0, 2}, 40, 2), "rle.bmp"),
              "Cannot read picture \"rle.bmp\": Premature end of BMP file");
}

TEST(PictureErrors, OversizedHeadersAreRefusedBeforeAllocating) {
    EXPECT_EQ(ErrorOf(MakeBmp(20000, 20000, 24, 0, {}, Bytes(64, 0)), "big.bmp"),
              "Cannot read picture \"big.bmp\": " + kHuge);
    EXPECT_EQ(ErrorOf(MakeBmp(20000, -20000, 24, 0, {}, Bytes(64, 0)), "big.bmp"),
              "Cannot read picture \"big.bmp\": " + kHuge);

    // JPEG: the frame header's height and width.
    Bytes jpeg = SampleJpeg();
    for (std::size_t i = 2; i + 9 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
            jpeg[i + 5] = 20000 >> 8;
            jpeg[i + 6] = 20000 & 0xFF;
            jpeg[i + 7] = 20000 >> 8;
            jpeg[i + 8] = 20000 & 0xFF;
            break;
        }
    EXPECT_EQ(ErrorOf(jpeg, "big.jpg"), "Cannot read picture \"big.jpg\": " + kHuge);

    // PNG: IHDR width and height, with the chunk's CRC made valid again.
    Bytes png = SamplePng();
    PutBe32(&png[16], 20000);
    PutBe32(&png[20], 20000);
    PutBe32(&png[29], Crc32(&png[12], 17));
    EXPECT_EQ(ErrorOf(png, "big.png"), "Cannot read picture \"big.png\": " + kHuge);

    // TIFF: a hand-made directory claiming 20000 x 20000 RGB in one strip of 64 bytes.
    LeWriter t;
    t.U8('I');
    t.U8('I');
    t.U16(42);
    t.U32(8);
    const std::uint32_t entries[][3] = {{256, 4, 20000}, {257, 4, 20000}, {258, 3, 8}, {259, 3, 1}, {262, 3, 2},
                                        {273, 4, 200},   {277, 3, 3},     {278, 4, 20000}, {279, 4, 64}};
    t.U16(9);
    for (const auto& e : entries) {
        t.U16(e[0]);
        t.U16(e[1]);
        t.U32(1);
        if (e[1] == 3) {
            t.U16(e[2]);
            t.U16(0);
        } else {
            t.U32(e[2]);
        }
    }
    t.U32(0);
    t.bytes.resize(264, 0);
    EXPECT_EQ(ErrorOf(t.bytes, "big.tif"), "Cannot read picture \"big.tif\": " + kHuge);
}

TEST(PictureErrors, DamagedBytesNeverEscapeAsAnythingButPictureErrors) {
    // Each sample with bytes overwritten at many places: the decoders either read a picture or
    // raise EPictureError; anything else (a crash, another exception) fails the test.
    const Bytes samples[] = {SampleJpeg(), SampleJpeg(true), SamplePng(), SampleBmp(), SampleTiff()};
    std::mt19937 rng(7);
    int errors = 0;
    for (const Bytes& sample : samples)
        for (int trial = 0; trial < 150; ++trial) {
            Bytes b = sample;
            const int hits = 1 + trial % 4;
            for (int k = 0; k < hits; ++k) b[rng() % b.size()] = static_cast<std::uint8_t>(rng());
            if (trial % 5 == 0) b.resize(rng() % b.size() + 1);
            TBitmap24 out;
            try {
                LoadPictureFromMemory(b.data(), b.size(), "damaged", out);
                EXPECT_FALSE(out.Empty());
            } catch (const EPictureError& e) {
                ++errors;
                EXPECT_EQ(std::string(e.what()).rfind("Cannot read picture \"damaged\": ", 0), 0u) << e.what();
            }
        }
    EXPECT_GT(errors, 0);
}

TEST(PictureErrors, CorruptJpegDataIsAnError) {
    // Garbage inside the entropy-coded data: libjpeg only warns, the loader refuses.
    Bytes jpeg = SampleJpeg();
    std::size_t sos = 0;
    for (std::size_t i = 2; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) sos = i;
    ASSERT_GT(sos, 0u);
    for (std::size_t i = sos + 40; i < sos + 60; ++i) jpeg[i] = 0xFF;
    jpeg[sos + 60] = 0xD5;  // a stray restart marker
    const std::string message = ErrorOf(jpeg, "corrupt.jpg");
    EXPECT_EQ(message.rfind("Cannot read picture \"corrupt.jpg\": ", 0), 0u) << message;
}

TEST(PictureErrors, EndlessProgressiveScansAreRefused) {
    // 3 x 63 x 6 + 1 = 1135 scans: refused; 3 x 63 x 2 + 1 = 379 scans: decoded.
    EXPECT_EQ(ErrorOf(EncodeJpegWithManyScans(16, 16, 6), "scans.jpg"),
              "Cannot read picture \"scans.jpg\": Too many progressive scans (more than 1000)");
    EXPECT_EQ(ErrorOf(EncodeJpegWithManyScans(16, 16, 2), "scans.jpg"), "");
}

TEST(PictureErrors, MissingFileIsAFileError) {
    TBitmap24 out;
    EXPECT_THROW(LoadPicture("/nonexistent/folder/photo.jpg", out), EFileError);
}
