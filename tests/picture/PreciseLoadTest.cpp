// Deep pictures (16-bit PNG and TIFF, 10 and 16-bit DPX, half and float OpenEXR) decoded at full
// precision, their damaged forms, and the Open command's precise working image. The DPX and
// OpenEXR files are written here with OpenImageIO's writers.
#include "picture/Picture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>
#include <string>
#include <tuple>

#include <OpenImageIO/imageio.h>

#include "PictureTestUtil.h"
#include "lut/ImageResize2.h"
#include "lut/PreciseResize.h"

using namespace tintavo;
using namespace picture_test;

namespace {

constexpr int W = 37, H = 11;  // odd sizes: no row or packing lines up by chance

// Writes `values` (W x H x channels, rows top down) with OpenImageIO at `type` to `file`.
void WriteWithOiio(const std::string& file, const OIIO::TypeDesc& type, int channels, int bits,
                   const std::vector<float>& values, const char* endian = nullptr, const char* compression = nullptr) {
    std::unique_ptr<OIIO::ImageOutput> out = OIIO::ImageOutput::create(file);
    ASSERT_TRUE(out) << file;
    OIIO::ImageSpec layout(W, H, channels, type);
    if (bits) layout.attribute("oiio:BitsPerSample", bits);
    if (endian) layout.attribute("oiio:Endian", endian);
    if (compression) layout.attribute("compression", compression);
    ASSERT_TRUE(out->open(file, layout)) << out->geterror();
    ASSERT_TRUE(out->write_image(OIIO::TypeDesc::FLOAT, values.data())) << out->geterror();
    ASSERT_TRUE(out->close());
}

// An OpenEXR file of two parts, both `header` holding `values`.
void WriteTwoParts(const std::string& file, const OIIO::ImageSpec& header, const std::vector<float>& values) {
    const OIIO::ImageSpec headers[] = {header, header};
    std::unique_ptr<OIIO::ImageOutput> out = OIIO::ImageOutput::create(file);
    ASSERT_TRUE(out && out->open(file, 2, headers)) << OIIO::geterror();
    ASSERT_TRUE(out->write_image(OIIO::TypeDesc::FLOAT, values.data())) << out->geterror();
    ASSERT_TRUE(out->open(file, headers[1], OIIO::ImageOutput::AppendSubimage)) << out->geterror();
    ASSERT_TRUE(out->write_image(OIIO::TypeDesc::FLOAT, values.data())) << out->geterror();
    ASSERT_TRUE(out->close());
}

// Codes 0..top spread over the picture, so that both ends and many levels between occur.
std::vector<unsigned> Codes(unsigned top, int channels, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<unsigned> codes(static_cast<std::size_t>(W) * H * channels);
    for (std::size_t i = 0; i < codes.size(); ++i) codes[i] = i < 2 ? (i == 0 ? 0 : top) : random() % (top + 1);
    return codes;
}

// Each pixel of `image` is the RGB (or gray spread to RGB) of codes / top.
void ExpectCodes(const TPreciseImage& image, const std::vector<unsigned>& codes, int channels, unsigned top,
                 const std::string& what) {
    ASSERT_EQ(image.Width(), W) << what;
    ASSERT_EQ(image.Height(), H) << what;
    int wrong = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            for (int c = 0; c < 3; ++c) {
                const unsigned code = codes[(static_cast<std::size_t>(y) * W + x) * channels + (channels == 1 ? 0 : c)];
                const float want = static_cast<float>(static_cast<double>(code) / top);
                if (image.Row(y)[3 * x + c] != want && ++wrong < 4)
                    ADD_FAILURE() << what << " at " << x << "," << y << " channel " << c << ": "
                                  << image.Row(y)[3 * x + c] << " for code " << code;
            }
    EXPECT_EQ(wrong, 0) << what;
}

std::string ReadError(const std::string& file) {
    try {
        TPreciseImage image;
        LoadPreciseImage(file, image);
        EXPECT_TRUE(image.Empty());
    } catch (const EPictureError& e) {
        return e.what();
    }
    return "no error";
}

std::string Cut(const std::string& file, std::size_t keep, const std::string& name) {
    Bytes bytes = ReadFileBytes(file);
    bytes.resize(std::min(keep, bytes.size()));
    const std::string cut = (std::filesystem::path(file).parent_path() / name).string();
    WriteBytes(cut, bytes);
    return cut;
}

}  // namespace

// 16-bit PNG and TIFF samples keep every bit in the precise image; the 8-bit image of the same
// file is rounded as before; the type and depth are reported.
TEST(PreciseLoad, SixteenBitPngAndTiffKeepEverySample) {
    const auto dir = TempFolder("PreciseSixteen");
    for (const int channels : {3, 1}) {
        const std::vector<unsigned> codes = Codes(65535, channels, 7u + channels);
        std::vector<Bytes> rows(H);
        Bytes native;
        for (int y = 0; y < H; ++y)
            for (int i = 0; i < W * channels; ++i) {
                const unsigned v = codes[static_cast<std::size_t>(y) * W * channels + i];
                rows[y].insert(rows[y].end(), {std::uint8_t(v >> 8), std::uint8_t(v & 0xFF)});
                const std::uint16_t n = static_cast<std::uint16_t>(v);
                native.insert(native.end(), reinterpret_cast<const std::uint8_t*>(&n),
                              reinterpret_cast<const std::uint8_t*>(&n) + 2);
            }
        const std::string tag = channels == 3 ? "rgb" : "gray";
        const std::string png = (dir / (tag + ".png")).string();
        WriteBytes(png, EncodePng(W, H, channels == 3 ? 2 : 0, 16, rows));
        for (const bool interlaced : {false, true}) {
            const std::string file = interlaced ? (dir / (tag + "-interlaced.png")).string() : png;
            if (interlaced) WriteBytes(file, EncodePng(W, H, channels == 3 ? 2 : 0, 16, rows, {}, true));
            TPreciseImage image;
            const TPictureInfo info = LoadPreciseImage(file, image);
            EXPECT_EQ(info.Type, TPictureType::Png);
            EXPECT_EQ(info.Description(), "16-bit PNG");
            EXPECT_TRUE(info.Deep());
            ExpectCodes(image, codes, channels, 65535, file);
        }
        for (const bool tiled : {false, true}) {  // tiles go through OpenImageIO's reader
            TiffLayout layout;
            layout.width = W;
            layout.height = H;
            layout.samples = channels;
            layout.bits = 16;
            layout.photometric = channels == 3 ? 2 : 1;
            layout.tiled = tiled;
            const std::string file = (dir / (tag + (tiled ? "-tiled" : "") + ".tif")).string();
            WriteBytes(file, EncodeTiff(layout, native));
            TPreciseImage image;
            const TPictureInfo info = LoadPreciseImage(file, image);
            EXPECT_EQ(info.Description(), "16-bit TIFF") << file;
            ExpectCodes(image, codes, channels, 65535, file);

            TBitmap24 bytes;
            LoadPicture(file, bytes);  // the 8-bit road: round(v * 255 / 65535)
            std::uint8_t r, g, b;
            bytes.GetPixel(5, 3, r, g, b);
            const std::size_t at = (3 * W + 5) * channels;
            EXPECT_EQ(r, (codes[at] * 255 + 32767) / 65535) << file;
            EXPECT_EQ(b, (codes[at + (channels == 3 ? 2 : 0)] * 255 + 32767) / 65535) << file;
        }
    }
}

// DPX at 10 bits (packed three to a word) and 16 bits, RGB and luma: each code c becomes
// c / (2^bits - 1) exactly, not the 16-bit widening OpenImageIO hands out.
TEST(PreciseLoad, DpxTenAndSixteenBits) {
    const auto dir = TempFolder("PreciseDpx");
    for (const char* endian : {"big", "little"})
        for (const int bits : {10, 16})
            for (const int channels : {3, 1}) {
                const unsigned top = (1u << bits) - 1;
                const std::vector<unsigned> codes = Codes(top, channels, bits * 10u + channels);
                std::vector<float> values(codes.size());
                for (std::size_t i = 0; i < codes.size(); ++i) values[i] = static_cast<float>(codes[i]) / top;
                const std::string file =
                    (dir / (std::to_string(bits) + "-" + std::to_string(channels) + endian + ".dpx")).string();
                WriteWithOiio(file, OIIO::TypeDesc::UINT16, channels, bits, values, endian);
                EXPECT_EQ(ReadFileBytes(file)[0], endian[0] == 'b' ? 'S' : 'X') << file;  // "SDPX" or "XPDS"
                TPreciseImage image;
                const TPictureInfo info = LoadPreciseImage(file, image);
                EXPECT_EQ(info.Type, TPictureType::Dpx);
                EXPECT_EQ(info.Description(), std::to_string(bits) + "-bit DPX");
                EXPECT_EQ(info.ClampedSamples, 0);
                ExpectCodes(image, codes, channels, top, file);

                TBitmap24 bytes;  // the 8-bit image is the precise one rounded
                LoadPicture(file, bytes);
                TBitmap24 rounded;
                PreciseToBitmap(image, rounded);
                EXPECT_TRUE(bytes.SamePixels(rounded)) << file;
            }
}

// OpenEXR samples outside 0..1 (and not-a-number) are clamped and counted once per picture;
// the ones inside keep their value, half and float alike.
TEST(PreciseLoad, ExrHalfAndFloatAreClampedIntoTheLutDomainAndCounted) {
    const auto dir = TempFolder("PreciseExr");
    std::vector<float> values(static_cast<std::size_t>(W) * H * 3);
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<float>(i % 1024) / 1024.0f;  // exact in half
    values[0] = -0.25f;
    values[4] = 3.5f;
    values[8] = std::numeric_limits<float>::quiet_NaN();
    values[9] = 1.0f;
    for (const bool half : {true, false}) {
        const std::string file = (dir / (half ? "half.exr" : "float.exr")).string();
        WriteWithOiio(file, half ? OIIO::TypeDesc::HALF : OIIO::TypeDesc::FLOAT, 3, 0, values);
        TPreciseImage image;
        const TPictureInfo info = LoadPreciseImage(file, image);
        EXPECT_EQ(info.Type, TPictureType::Exr);
        EXPECT_EQ(info.Description(), half ? "half-float OpenEXR" : "32-bit float OpenEXR");
        EXPECT_EQ(info.ClampedSamples, 3);
        EXPECT_EQ(info.ClampWarning("a.exr"), "\"a.exr\": 3 samples lay outside 0..1 and were clamped to 0..1");
        ASSERT_EQ(image.Width(), W);
        EXPECT_EQ(image.Row(0)[0], 0.0f);
        EXPECT_EQ(image.Row(0)[4], 1.0f);
        EXPECT_EQ(image.Row(0)[8], 0.0f);
        EXPECT_EQ(image.Row(0)[9], 1.0f);
        for (std::size_t i = 10; i < values.size(); i += 97) EXPECT_EQ(image.Row(0)[i], values[i]) << i;

        TBitmap24 bytes;  // the 8-bit road tells the same
        EXPECT_EQ(LoadPictureInfo(file, bytes).ClampedSamples, 3);
        std::uint8_t r, g, b;
        bytes.GetPixel(1, 0, r, g, b);  // samples 3, 4 (clamped to 1), 5
        EXPECT_EQ(g, 255);
    }
    TPictureInfo inside;
    EXPECT_EQ(inside.ClampWarning("b.exr"), "");
    inside.ClampedSamples = 1;
    EXPECT_EQ(inside.ClampWarning("b.exr"), "\"b.exr\": 1 sample lay outside 0..1 and was clamped to 0..1");
}

// Channels past the colour ones (alpha, or gray's alpha) are left out, and every sample keeps its
// value whatever type the file stores.
TEST(PreciseLoad, ExtraChannelsAreLeftOut) {
    const auto dir = TempFolder("PreciseChannels");
    for (const int channels : {4, 2})
        for (const bool half : {true, false}) {
            const std::vector<unsigned> codes = Codes(1023, channels, static_cast<unsigned>(channels) * 2 + half);
            std::vector<float> values(codes.size());
            for (std::size_t i = 0; i < codes.size(); ++i)
                values[i] = static_cast<float>(codes[i]) / 1024;  // exact in half
            const std::string file = (dir / (std::to_string(channels) + (half ? "h.exr" : "f.exr"))).string();
            WriteWithOiio(file, half ? OIIO::TypeDesc::HALF : OIIO::TypeDesc::FLOAT, channels, 0, values);
            TPreciseImage image;
            LoadPreciseImage(file, image);
            ASSERT_EQ(image.Width(), W) << file;
            int wrong = 0;
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x)
                    for (int c = 0; c < 3; ++c) {
                        const float want =
                            values[(static_cast<std::size_t>(y) * W + x) * channels + (channels == 2 ? 0 : c)];
                        if (image.Row(y)[3 * x + c] != want && ++wrong < 4)
                            ADD_FAILURE() << file << " at " << x << "," << y << " channel " << c;
                    }
        }
}

// Truncated and damaged files of each new type end in "Cannot read picture", and a header that
// claims more than 100 megapixels is refused before any pixel memory is taken.
TEST(PreciseLoad, DamagedDeepFilesAreRefusedWithAReason) {
    const auto dir = TempFolder("PreciseDamaged");
    std::vector<float> values(static_cast<std::size_t>(W) * H * 3, 0.5f);
    const std::string dpx = (dir / "ok.dpx").string(), exr = (dir / "ok.exr").string();
    WriteWithOiio(dpx, OIIO::TypeDesc::UINT16, 3, 10, values);
    WriteWithOiio(exr, OIIO::TypeDesc::HALF, 3, 0, values);
    TPreciseImage image;
    ASSERT_NO_THROW(LoadPreciseImage(dpx, image));
    ASSERT_NO_THROW(LoadPreciseImage(exr, image));

    const std::size_t dpxSize = ReadFileBytes(dpx).size(), exrSize = ReadFileBytes(exr).size();
    for (const std::size_t keep : {std::size_t(4), std::size_t(100), std::size_t(2047), dpxSize - 8}) {
        const std::string cut = Cut(dpx, keep, "cut.dpx");
        EXPECT_EQ(ReadError(cut).rfind("Cannot read picture \"" + cut + "\": ", 0), 0u)
            << keep << ": " << ReadError(cut);
    }
    EXPECT_EQ(ReadError(Cut(dpx, 100, "cut.dpx")),
              "Cannot read picture \"" + (dir / "cut.dpx").string() + "\": Truncated DPX header");
    for (const std::size_t keep : {std::size_t(4), std::size_t(40), exrSize / 2, exrSize - 4}) {
        const std::string cut = Cut(exr, keep, "cut.exr");
        EXPECT_EQ(ReadError(cut).rfind("Cannot read picture \"" + cut + "\": ", 0), 0u)
            << keep << ": " << ReadError(cut);
    }

    // DPX: 20000 x 20000 in the header (pixels per line at 772, lines at 776, big-endian).
    Bytes big = ReadFileBytes(dpx);
    const bool bigEndian = big[0] == 'S';
    for (const std::size_t at : {std::size_t(772), std::size_t(776)})
        for (int i = 0; i < 4; ++i) big[at + i] = static_cast<std::uint8_t>(20000u >> (bigEndian ? 24 - 8 * i : 8 * i));
    const std::string hugeDpx = (dir / "huge.dpx").string();
    WriteBytes(hugeDpx, big);
    EXPECT_EQ(ReadError(hugeDpx), "Cannot read picture \"" + hugeDpx +
                                      "\": The picture is 20000 x 20000 pixels, more than the 100 megapixels accepted");
    // The largest sizes the header can hold (their product overflows 64 bits).
    for (const std::size_t at : {std::size_t(772), std::size_t(776)})
        for (int i = 0; i < 4; ++i) big[at + i] = 0xFF;
    WriteBytes(hugeDpx, big);
    EXPECT_EQ(ReadError(hugeDpx), "Cannot read picture \"" + hugeDpx +
                                      "\": The picture is 4294967295 x 4294967295 pixels, more than the 100 megapixels accepted");
    // A DPX whose pixels would reach past the end of the file.
    Bytes tall = ReadFileBytes(dpx);
    for (int i = 0; i < 4; ++i) tall[776 + i] = static_cast<std::uint8_t>(5000u >> (bigEndian ? 24 - 8 * i : 8 * i));
    const std::string tallDpx = (dir / "tall.dpx").string();
    WriteBytes(tallDpx, tall);
    EXPECT_NE(ReadError(tallDpx).find("Truncated DPX file"), std::string::npos) << ReadError(tallDpx);
    // A DPX whose user data size (at 32) is far past the end of the file: refused before any
    // memory is taken for it.
    Bytes user = ReadFileBytes(dpx);
    for (int i = 0; i < 4; ++i)
        user[32 + i] = static_cast<std::uint8_t>(1600000000u >> (bigEndian ? 24 - 8 * i : 8 * i));
    const std::string userDpx = (dir / "user.dpx").string();
    WriteBytes(userDpx, user);
    EXPECT_NE(ReadError(userDpx).find("Invalid DPX user data size 1600000000"), std::string::npos)
        << ReadError(userDpx);

    // OpenEXR: the data window (xMin, yMin, xMax, yMax) widened to 30000 x 30000.
    Bytes wide = ReadFileBytes(exr);
    const std::string key = "dataWindow";
    const auto found = std::search(wide.begin(), wide.end(), key.begin(), key.end());
    ASSERT_NE(found, wide.end());
    const std::size_t box = static_cast<std::size_t>(found - wide.begin()) + key.size() + 1 + 6 + 4;  // "box2i\0", size
    for (const std::size_t at : {box + 8, box + 12})
        for (int i = 0; i < 4; ++i) wide[at + i] = static_cast<std::uint8_t>(29999u >> (8 * i));
    const std::string hugeExr = (dir / "huge.exr").string();
    WriteBytes(hugeExr, wide);
    EXPECT_EQ(ReadError(hugeExr), "Cannot read picture \"" + hugeExr +
                                      "\": The picture is 30000 x 30000 pixels, more than the 100 megapixels accepted");

    // OpenEXR: the line offset table (one chunk of 16 lines with ZIP, the writer's default;
    // found as the entry that points just past itself) damaged in either of two ways.
    const Bytes good = ReadFileBytes(exr);
    std::size_t table = 0;
    for (std::size_t at = 8; at + 8 <= good.size() && table == 0; ++at) {
        std::uint64_t v = 0;
        for (int i = 7; i >= 0; --i) v = v << 8 | good[at + static_cast<std::size_t>(i)];
        if (v == at + 8) table = at;
    }
    ASSERT_NE(table, 0u);
    for (const std::uint64_t bad : {std::uint64_t(good.size() + 100), std::uint64_t(table)}) {
        Bytes broken = good;
        for (int i = 0; i < 8; ++i) broken[table + i] = static_cast<std::uint8_t>(bad >> (8 * i));
        const std::string file = (dir / "table.exr").string();
        WriteBytes(file, broken);
        EXPECT_EQ(ReadError(file), "Cannot read picture \"" + file + "\": Damaged OpenEXR file: chunk 1 of 1 lies outside the file");
    }

    // Sniffing goes by content: a DPX called .exr is read as DPX.
    const std::string misnamed = (dir / "dpx-called.exr").string();
    WriteBytes(misnamed, ReadFileBytes(dpx));
    EXPECT_EQ(LoadPreciseImage(misnamed, image).Type, TPictureType::Dpx);
}

// An OpenEXR whose data window claims wider lines than its chunks unpack to: OpenEXR's library
// would fill the rest of each line from whatever its unpacking buffer held before (so two reads
// of one file differed; found by fuzzing). Each packing whose unpacked size it leaves unchecked
// is refused with the sizes.
TEST(PreciseLoad, OpenExrChunksThatUnpackShortAreRefused) {
    const auto dir = TempFolder("PreciseExrChunks");
    std::vector<float> values(static_cast<std::size_t>(W) * H * 3);
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = static_cast<float>(i % 29) / 28.0f;
    const std::string box = std::string("dataWindow") + '\0' + "box2i" + '\0';
    const struct {
        const char* compression;
        const char* chunks;
        int lines;  // in the first chunk: a chunk holds 1 line (none, rle, zips) or 16 (zip)
    } cases[] = {{"none", "chunk 1 of 11", 1}, {"rle", "chunk 1 of 11", 1}, {"zips", "chunk 1 of 11", 1},
                 {"zip", "chunk 1 of 1", H}};
    for (const auto& c : cases) {
        const std::string good = (dir / (std::string(c.compression) + ".exr")).string();
        WriteWithOiio(good, OIIO::TypeDesc::HALF, 3, 0, values, nullptr, c.compression);
        TPreciseImage image;
        ASSERT_NO_THROW(LoadPreciseImage(good, image)) << c.compression;

        Bytes wide = ReadFileBytes(good);
        const auto at = std::search(wide.begin(), wide.end(), box.begin(), box.end()) - wide.begin();
        ASSERT_LT(static_cast<std::size_t>(at), wide.size()) << c.compression;
        wide[static_cast<std::size_t>(at) + box.size() + 4 + 8] += 8;  // xMax, 8 more pixels per line
        const std::string file = (dir / (std::string("wide-") + c.compression + ".exr")).string();
        WriteBytes(file, wide);
        const int needed = (W + 8) * 3 * 2 * c.lines;  // half samples
        const std::string error = ReadError(file);
        EXPECT_EQ(error.rfind("Cannot read picture \"" + file + "\": Damaged OpenEXR file: " + c.chunks + " holds ", 0), 0u)
            << error;
        EXPECT_NE(error.find(" instead of " + std::to_string(needed)), std::string::npos) << error;
    }
    // The other compressions check their own data, except an empty chunk: the library took it as
    // unpacked to nothing and handed out whatever memory held (found by fuzzing).
    // The first chunk's offset is the table's first entry, which ends `chunks` entries before it.
    const auto firstChunk = [](const Bytes& file, std::size_t chunks) {
        for (std::size_t p = 8; p + 16 <= file.size(); ++p) {
            std::uint64_t offset = 0;
            for (int i = 7; i >= 0; --i) offset = offset << 8 | file[p + static_cast<std::size_t>(i)];
            if (offset == p + 8 * chunks) return p + 8 * chunks;
        }
        return std::size_t{0};
    };
    for (const char* compression : {"piz", "pxr24", "b44", "b44a", "dwaa", "dwab"}) {
        const std::string good = (dir / (std::string(compression) + ".exr")).string();
        WriteWithOiio(good, OIIO::TypeDesc::HALF, 3, 0, values, nullptr, compression);
        Bytes empty = ReadFileBytes(good);
        const std::size_t chunk = firstChunk(empty, 1);
        ASSERT_NE(chunk, 0u) << compression;
        std::fill_n(empty.begin() + static_cast<std::ptrdiff_t>(chunk + 4), 4, 0);  // its data size
        const std::string file = (dir / (std::string("empty-") + compression + ".exr")).string();
        WriteBytes(file, empty);
        EXPECT_EQ(ReadError(file), "Cannot read picture \"" + file + "\": Damaged OpenEXR file: chunk 1 of 1 holds 0 "
                                   "bytes of pixels instead of " + std::to_string(W * H * 3 * 2));
    }
    // Tiles likewise: 8 x 8 tiles, 5 x 2 of them; the first one emptied.
    for (const char* compression : {"zip", "piz"}) {
        const std::string good = (dir / (std::string("tiled-") + compression + ".exr")).string();
        {
            OIIO::ImageSpec header(W, H, 3, OIIO::TypeDesc::HALF);
            header.tile_width = header.tile_height = 8;
            header.attribute("compression", compression);
            std::unique_ptr<OIIO::ImageOutput> out = OIIO::ImageOutput::create(good);
            ASSERT_TRUE(out && out->open(good, header)) << OIIO::geterror();
            ASSERT_TRUE(out->write_image(OIIO::TypeDesc::FLOAT, values.data())) << out->geterror();
            ASSERT_TRUE(out->close());
        }
        TPreciseImage image;
        ASSERT_NO_THROW(LoadPreciseImage(good, image)) << compression;
        Bytes empty = ReadFileBytes(good);
        const std::size_t chunk = firstChunk(empty, 10);
        ASSERT_NE(chunk, 0u) << compression;
        std::fill_n(empty.begin() + static_cast<std::ptrdiff_t>(chunk + 16), 4, 0);  // after x, y, level x, y
        const std::string file = (dir / (std::string("tiled-empty-") + compression + ".exr")).string();
        WriteBytes(file, empty);
        EXPECT_EQ(ReadError(file), "Cannot read picture \"" + file + "\": Damaged OpenEXR file: chunk 1 of 10 holds " +
                                       (compression[0] == 'z' ? "invalid packed data" : "0 bytes of pixels") +
                                       " instead of " + std::to_string(8 * 8 * 3 * 2));
        // A tile whose data would run past the end of the file (the library read past its buffer).
        std::fill_n(empty.begin() + static_cast<std::ptrdiff_t>(chunk + 16), 3, 0xFF);
        WriteBytes(file, empty);
        EXPECT_EQ(ReadError(file),
                  "Cannot read picture \"" + file + "\": Damaged OpenEXR file: chunk 1 of 10 lies outside the file");
    }
    // A file of two parts: the picture is the first, whose chunks start with the part number.
    for (const bool tiled : {false, true}) {
        const std::string good = (dir / (tiled ? "parts-tiled.exr" : "parts.exr")).string();
        {
            OIIO::ImageSpec header(W, H, 3, OIIO::TypeDesc::HALF);
            if (tiled) header.tile_width = header.tile_height = 8;
            header.attribute("compression", tiled ? "zip" : "piz");
            WriteTwoParts(good, header, values);
        }
        TPreciseImage image;
        ASSERT_NO_THROW(LoadPreciseImage(good, image)) << good;
        Bytes empty = ReadFileBytes(good);
        const std::size_t chunk = firstChunk(empty, tiled ? 20 : 2);
        ASSERT_NE(chunk, 0u) << good;
        std::fill_n(empty.begin() + static_cast<std::ptrdiff_t>(chunk + (tiled ? 20 : 8)), 4, 0);
        const std::string file = (dir / (tiled ? "parts-tiled-empty.exr" : "parts-empty.exr")).string();
        WriteBytes(file, empty);
        EXPECT_EQ(ReadError(file), "Cannot read picture \"" + file + "\": Damaged OpenEXR file: chunk 1 of " +
                                       (tiled ? "10 holds invalid packed data instead of 384"
                                              : "1 holds 0 bytes of pixels instead of " + std::to_string(W * H * 3 * 2)));
    }
}

// An OpenEXR whose channels differ in type (half red, float green, half blue, float alpha) is
// read channel by channel from the file's own samples.
TEST(PreciseLoad, OpenExrChannelsOfDifferentTypes) {
    const auto dir = TempFolder("PreciseExrMixed");
    const std::string file = (dir / "mixed.exr").string();
    OIIO::ImageSpec layout(W, H, 4, OIIO::TypeDesc::HALF);
    layout.channelformats = {OIIO::TypeDesc::HALF, OIIO::TypeDesc::FLOAT, OIIO::TypeDesc::HALF, OIIO::TypeDesc::FLOAT};
    std::vector<float> values(static_cast<std::size_t>(W) * H * 4);
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = static_cast<float>((i * 7) % 97) / 96.0f;
    std::unique_ptr<OIIO::ImageOutput> out = OIIO::ImageOutput::create(file);
    ASSERT_TRUE(out && out->open(file, layout)) << OIIO::geterror();
    ASSERT_TRUE(out->write_image(OIIO::TypeDesc::FLOAT, values.data())) << out->geterror();
    ASSERT_TRUE(out->close());

    TPreciseImage image;
    const TPictureInfo info = LoadPreciseImage(file, image);
    EXPECT_TRUE(info.FloatSamples);
    ASSERT_EQ(image.Width(), W);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            for (int c = 0; c < 3; ++c) {
                const float want = values[(static_cast<std::size_t>(y) * W + x) * 4 + c];
                EXPECT_NEAR(image.Row(y)[3 * x + c], want, c == 1 ? 0.0 : 1.0 / 2048) << x << "," << y << "," << c;
            }
}

// OpenEXR's library allocates its tile buffers as it opens a tiled file: a tile description
// that is damaged or names tiles far larger than the picture is refused before that (found by
// fuzzing: a 16 x 16 picture whose tiles took seconds to allocate and clear).
TEST(PreciseLoad, OpenExrTilesLargerThanThePictureAreRefused) {
    const auto dir = TempFolder("PreciseExrTiles");
    const std::string good = (dir / "tiled.exr").string();
    OIIO::ImageSpec layout(W, H, 3, OIIO::TypeDesc::HALF);
    layout.tile_width = layout.tile_height = 8;
    const std::vector<float> values(static_cast<std::size_t>(W) * H * 3, 0.5f);
    std::unique_ptr<OIIO::ImageOutput> out = OIIO::ImageOutput::create(good);
    ASSERT_TRUE(out && out->open(good, layout)) << OIIO::geterror();
    ASSERT_TRUE(out->write_image(OIIO::TypeDesc::FLOAT, values.data())) << out->geterror();
    ASSERT_TRUE(out->close());
    TPreciseImage image;
    ASSERT_NO_THROW(LoadPreciseImage(good, image));

    const Bytes bytes = ReadFileBytes(good);
    const std::string tiles = std::string("tiles") + '\0' + "tiledesc" + '\0';
    const auto at = static_cast<std::size_t>(std::search(bytes.begin(), bytes.end(), tiles.begin(), tiles.end()) - bytes.begin());
    ASSERT_LT(at, bytes.size());
    const std::size_t size = at + tiles.size(), x = size + 4, y = size + 8;
    Bytes shortSize = bytes, huge = bytes;
    shortSize[size] = 1;
    huge[x + 1] = 16;  // 8 + 4096
    huge[y + 1] = 16;
    const std::string damaged = (dir / "tiles-size.exr").string(), large = (dir / "tiles-large.exr").string();
    WriteBytes(damaged, shortSize);
    WriteBytes(large, huge);
    EXPECT_EQ(ReadError(damaged), "Cannot read picture \"" + damaged +
                                      "\": Invalid OpenEXR header: attribute \"tiles\" of type tiledesc has 1 bytes "
                                      "instead of 9");
    EXPECT_EQ(ReadError(large), "Cannot read picture \"" + large +
                                    "\": Invalid OpenEXR tile size 4104 x 4104 for a picture of 37 x 11 pixels");

    // A file marked tiled without a tile description is refused before the library opens it (a
    // fuzzed one of this kind took the library 17 seconds).
    std::vector<float> plain(static_cast<std::size_t>(W) * H * 3, 0.5f);
    const std::string scanline = (dir / "scanline.exr").string(), marked = (dir / "marked-tiled.exr").string();
    WriteWithOiio(scanline, OIIO::TypeDesc::HALF, 3, 0, plain);
    Bytes flagged = ReadFileBytes(scanline);
    flagged[5] |= 0x02;  // the tiled flag, 0x200 of the version field
    WriteBytes(marked, flagged);
    EXPECT_EQ(ReadError(marked), "Cannot read picture \"" + marked + "\": Invalid OpenEXR file: tiled, without a tile description");

    // A channel list whose size field ends before the list does: the library reads on to the
    // list's end and so out of step with the header (found by fuzzing: it then took a string of
    // gigabytes).
    Bytes cut = ReadFileBytes(scanline);
    const std::string chlist = std::string("channels") + '\0' + "chlist" + '\0';
    const auto list = static_cast<std::size_t>(std::search(cut.begin(), cut.end(), chlist.begin(), chlist.end()) - cut.begin());
    ASSERT_LT(list, cut.size());
    cut[list + chlist.size()] -= 1;
    const std::string unended = (dir / "channels-cut.exr").string();
    WriteBytes(unended, cut);
    EXPECT_EQ(ReadError(unended), "Cannot read picture \"" + unended +
                                      "\": Invalid OpenEXR header: attribute \"channels\" of type chlist does not end at its size");

    // Any attribute whose type the library reads by its structure must end at its size, whatever
    // its name (found by fuzzing: a second channel list under another name, read past its size).
    const auto withAttribute = [&](const std::string& type, std::int32_t size, const std::string& value) {
        Bytes file = ReadFileBytes(scanline);
        std::string attribute = std::string("extra") + '\0' + type + '\0';
        for (int i = 0; i < 4; ++i) attribute += static_cast<char>((size >> (8 * i)) & 0xFF);
        attribute += value;
        file.insert(file.begin() + 8, attribute.begin(), attribute.end());  // the header's first attribute
        const std::string path = (dir / ("extra-" + type + "-" + std::to_string(size) + ".exr")).string();
        WriteBytes(path, file);
        return path;
    };
    const std::string channel = std::string("A") + '\0' + std::string(16, '\1') + '\0';  // 19 bytes
    const std::string words = std::string("\x0A\0\0\0abc", 7);                          // a string of 10 in 7 bytes
    const std::string preview = std::string("\2\0\0\0\2\0\0\0", 8) + std::string(15, '\7');  // 2 x 2 needs 16
    for (const auto& [type, size, value] : {std::tuple<std::string, std::int32_t, std::string>{"chlist", 18, channel},
                                            {"chlist", 25, channel + "abcdef"},
                                            {"stringvector", 7, words},
                                            {"preview", 23, preview},
                                            {"floatvector", 6, "abcdef"}}) {
        const std::string path = withAttribute(type, size, value);
        EXPECT_EQ(ReadError(path), "Cannot read picture \"" + path + "\": Invalid OpenEXR header: attribute \"extra\" of type " +
                                       type + " does not end at its size");
    }
    // A channel of an unknown pixel type, in the picture's part or another: OpenImageIO stopped
    // the program on it (found by fuzzing).
    const std::string parts = (dir / "parts.exr").string();
    WriteTwoParts(parts, OIIO::ImageSpec(W, H, 3, OIIO::TypeDesc::HALF), plain);
    for (const auto& [source, which] : {std::pair{scanline, 0}, std::pair{parts, 1}}) {
        Bytes typed = ReadFileBytes(source);
        auto list = typed.begin();
        for (int i = 0; i <= which; ++i) list = std::search(list + (i > 0), typed.end(), chlist.begin(), chlist.end());
        ASSERT_NE(list, typed.end()) << source;
        list[static_cast<std::ptrdiff_t>(chlist.size() + 4 + 2)] = 3;  // after the size and "B": B's pixel type
        const std::string path = (dir / ("typed-" + std::to_string(which) + ".exr")).string();
        WriteBytes(path, typed);
        EXPECT_EQ(ReadError(path),
                  "Cannot read picture \"" + path + "\": Invalid OpenEXR header: channel \"B\" has the unknown pixel type 3");
    }
    // The same attributes read to their sizes pass the header (the chunks then lie elsewhere).
    EXPECT_EQ(ReadError(withAttribute("chlist", 19, channel)).find("Invalid OpenEXR header"), std::string::npos);
    EXPECT_EQ(ReadError(withAttribute("stringvector", 7, std::string("\3\0\0\0abc", 7))).find("Invalid OpenEXR header"),
              std::string::npos);
}

// 10-bit DPX samples filled three to a 32-bit word in lines that are not whole words: the
// reader left samples unwritten, so two reads differed, or wrote past its buffer (found by
// fuzzing). Such files are refused; RGB lines are always whole words.
TEST(PreciseLoad, FilledTenBitDpxLinesOfPartWordsAreRefused) {
    const auto dir = TempFolder("PreciseDpxFilled");
    std::vector<float> values(static_cast<std::size_t>(W) * H, 0.25f);  // W = 37: 37 % 3 == 1
    const std::string gray = (dir / "gray.dpx").string();
    WriteWithOiio(gray, OIIO::TypeDesc::UINT16, 1, 10, values);
    Bytes filled = ReadFileBytes(gray);
    const bool bigEndian = filled[0] == 'S';
    filled[bigEndian ? 805 : 804] = 1;  // packing: filled, method A
    filled.resize(filled.size() + 4 * W * H);  // room for any layout's pixels
    const std::string file = (dir / "gray-filled.dpx").string();
    WriteBytes(file, filled);
    EXPECT_EQ(ReadError(file), "Cannot read picture \"" + file +
                                   "\": Unsupported DPX layout: lines of 37 10-bit samples filled into 32-bit words "
                                   "(only multiples of 3 are read)");
}

// Padding after each DPX line (its size at 812) is skipped on every line, also in pictures
// taller than one read's worth of lines; "not given" (all ones) is no padding; a size that
// cannot fit in the file is refused (a damaged one made the reader copy from before its buffer,
// found by fuzzing).
TEST(PreciseLoad, DpxLinePaddingIsSkipped) {
    const auto dir = TempFolder("PreciseDpxPadding");
    constexpr int Tall = 150;
    struct TLayout {
        int Channels, Bits;
        const char* Packing;
        std::size_t LineBytes;
    };
    for (const TLayout& layout : {TLayout{3, 10, "Filled Method A", W * 4}, TLayout{1, 10, "Packed", 48},
                                  TLayout{3, 16, nullptr, W * 6}, TLayout{3, 8, nullptr, W * 3}}) {
        const std::string what = std::to_string(layout.Channels) + "x" + std::to_string(layout.Bits);
        const std::string plain = (dir / (what + ".dpx")).string();
        {
            std::vector<float> values(static_cast<std::size_t>(W) * Tall * layout.Channels);
            for (std::size_t i = 0; i < values.size(); ++i) values[i] = static_cast<float>((i * 37) % 1024) / 1023.0f;
            std::unique_ptr<OIIO::ImageOutput> out = OIIO::ImageOutput::create(plain);
            OIIO::ImageSpec header(W, Tall, layout.Channels, layout.Bits == 8 ? OIIO::TypeDesc::UINT8 : OIIO::TypeDesc::UINT16);
            header.attribute("oiio:BitsPerSample", layout.Bits);
            header.attribute("oiio:Endian", "big");
            if (layout.Packing) header.attribute("dpx:Packing", layout.Packing);
            ASSERT_TRUE(out->open(plain, header)) << out->geterror();
            ASSERT_TRUE(out->write_image(OIIO::TypeDesc::FLOAT, values.data())) << out->geterror();
            ASSERT_TRUE(out->close());
        }
        TPreciseImage want;
        LoadPreciseImage(plain, want);
        const Bytes bytes = ReadFileBytes(plain);
        ASSERT_EQ(bytes[0], 'S') << what;  // big-endian
        const std::size_t offset = std::size_t(bytes[808]) << 24 | std::size_t(bytes[809]) << 16 |
                                   std::size_t(bytes[810]) << 8 | bytes[811];
        ASSERT_EQ(bytes.size(), offset + layout.LineBytes * Tall) << what;
        const auto withPadding = [&](std::uint32_t field, std::size_t padding, std::size_t cut) {
            Bytes padded(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
            for (int y = 0; y < Tall; ++y) {
                const auto line = bytes.begin() + static_cast<std::ptrdiff_t>(offset + layout.LineBytes * y);
                padded.insert(padded.end(), line, line + static_cast<std::ptrdiff_t>(layout.LineBytes));
                padded.insert(padded.end(), padding, 0xA5);
            }
            for (int i = 0; i < 4; ++i) padded[812 + i] = static_cast<std::uint8_t>(field >> (24 - 8 * i));
            padded.resize(padded.size() - cut);
            const std::string file = (dir / (what + "-" + std::to_string(field) + "-" + std::to_string(cut) + ".dpx")).string();
            WriteBytes(file, padded);
            return file;
        };
        for (const std::uint32_t padding : {12u, 0xFFFFFFFFu}) {
            const std::string file = withPadding(padding, padding == 12 ? 12 : 0, 0);
            TPreciseImage image;
            LoadPreciseImage(file, image);
            ASSERT_EQ(image.Height(), Tall) << file;
            int wrong = 0;
            for (int y = 0; y < Tall; ++y)
                wrong += std::memcmp(image.Row(y), want.Row(y), sizeof(float) * 3 * W) != 0;
            EXPECT_EQ(wrong, 0) << file;
        }
        // The last line's padding may be missing; any more is a truncated file.
        LoadPreciseImage(withPadding(12, 12, 12), want);
        EXPECT_NE(ReadError(withPadding(12, 12, 13)).find("Truncated DPX file"), std::string::npos) << what;
        const std::string damaged = withPadding(0xFFFFFF00u, 0, 0);
        EXPECT_EQ(ReadError(damaged),
                  "Cannot read picture \"" + damaged + "\": Invalid DPX line padding 4294967040: larger than the file");
    }
}

// A DPX whose line offset is so far out that its last line's coordinate overflows is refused
// (found by fuzzing: a DPX whose first line is line 2^31 - 1). OpenEXR's library refuses such
// data windows itself.
TEST(PreciseLoad, PicturesWhoseLastLineCannotBeAddressedAreRefused) {
    const auto dir = TempFolder("PreciseOrigin");
    const std::vector<float> values(static_cast<std::size_t>(W) * H * 3, 0.5f);
    const std::string dpx = (dir / "origin.dpx").string();
    WriteWithOiio(dpx, OIIO::TypeDesc::UINT16, 3, 10, values, "big");
    Bytes far = ReadFileBytes(dpx);
    far[1412] = 0x7F;  // the y offset of the orientation header, big-endian
    far[1413] = far[1414] = far[1415] = 0xFF;
    WriteBytes(dpx, far);
    EXPECT_EQ(ReadError(dpx), "Cannot read picture \"" + dpx + "\": Invalid picture origin 0, 2147483647: its last "
                                                               "pixels lie beyond the coordinates that can be read");
}

// Written deep and read back: every type and depth keeps the samples within half a code.
TEST(PreciseLoad, PreciseImagesWrittenAndReadBack) {
    const auto dir = TempFolder("PreciseRoundTrip");
    TPreciseImage image(W, H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            image.SetPixel(x, y, static_cast<float>(x) / (W - 1), static_cast<float>(y) / (H - 1),
                           static_cast<float>((x * 7 + y * 3) % 100) / 99.0f);
    const struct {
        const char* file;
        TSampleDepth depth;
        double tolerance;
    } cases[] = {{"a.png", TSampleDepth::Bits16, 0.5 / 65535}, {"a.tif", TSampleDepth::Bits16, 0.5 / 65535},
                 {"b.tif", TSampleDepth::Bits8, 0.5 / 255},    {"a.dpx", TSampleDepth::Bits10, 0.5 / 1023},
                 {"b.dpx", TSampleDepth::Bits16, 0.5 / 65535}, {"a.exr", TSampleDepth::Half, 1.0 / 2048},
                 {"b.exr", TSampleDepth::Float, 0.0},          {"c.png", TSampleDepth::Default, 0.5 / 65535}};
    for (const auto& c : cases) {
        const std::string file = (dir / c.file).string();
        SavePreciseImage(file, image, c.depth);
        TPreciseImage back;
        LoadPreciseImage(file, back);
        ASSERT_EQ(back.Width(), W) << c.file;
        double worst = 0;
        for (int y = 0; y < H; ++y)
            for (int i = 0; i < 3 * W; ++i) worst = std::max(worst, std::abs(double(back.Row(y)[i]) - image.Row(y)[i]));
        EXPECT_LE(worst, c.tolerance * 1.0001) << c.file;
        if (c.depth == TSampleDepth::Float) {
            EXPECT_EQ(worst, 0.0);
        } else {
            EXPECT_GT(worst, c.tolerance / 100) << c.file << " was not quantised at all";
        }
    }
    try {
        SavePreciseImage((dir / "x.jpg").string(), image, TSampleDepth::Bits16);
        FAIL() << "no error";
    } catch (const EPictureError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot write picture \"" + (dir / "x.jpg").string() +
                                             "\": A JPEG picture is written at 8 bits per sample, not 16");
    }
}

// The Open command's precise working image: the floating-point Lanczos3 reduction of the
// picture's own samples, with the 8-bit working image its rounding; an 8-bit picture keeps its
// byte-exact 8-bit working image, with or without a precise one beside it.
TEST(PreciseLoad, OpenKeepsAPreciseWorkingImageForDeepPictures) {
    const auto dir = TempFolder("PreciseOpen");
    TPreciseImage source(1800, 140);
    for (int y = 0; y < source.Height(); ++y)
        for (int x = 0; x < source.Width(); ++x)
            source.SetPixel(x, y, static_cast<float>(x % 300) / 299.0f, static_cast<float>(y) / 139.0f,
                            (x / 50 + y / 50) % 2 ? 0.9f : 0.1f);
    const std::string tif = (dir / "deep.tif").string();
    SavePreciseImage(tif, source, TSampleDepth::Bits16);
    TPreciseImage decoded;
    LoadPreciseImage(tif, decoded);
    TPreciseImage want;
    ResizePrecise(1500, 117, rfLanczos3, 0.0f, decoded, want);

    TWorkingPicture picture;
    OpenCalibrationPicture(tif, picture);
    ASSERT_TRUE(picture.HasPrecise());
    EXPECT_EQ(picture.Info.Description(), "16-bit TIFF");
    ASSERT_EQ(picture.Precise.Width(), 1500);
    ASSERT_EQ(picture.Precise.Height(), 117);
    for (int y = 0; y < 117; ++y)
        ASSERT_EQ(std::memcmp(picture.Precise.Row(y), want.Row(y), sizeof(float) * 3 * 1500), 0) << "row " << y;
    TBitmap24 rounded;
    PreciseToBitmap(want, rounded);
    EXPECT_TRUE(picture.Bitmap.SamePixels(rounded));

    TWorkingPicture never;  // without a precise image: the rounded picture through the 8-bit road
    OpenCalibrationPicture(tif, never, TPrecision::Never);
    EXPECT_FALSE(never.HasPrecise());
    TBitmap24 eight, eightWork;
    LoadPicture(tif, eight);
    MakeWorkingBitmap(eight, eightWork);
    EXPECT_TRUE(never.Bitmap.SamePixels(eightWork));

    const std::string jpg = (dir / "eight.jpg").string();
    TBitmap24 shallow;
    PreciseToBitmap(source, shallow);
    SavePicture(jpg, shallow, 90);
    TBitmap24 legacy;
    OpenCalibrationPicture(jpg, legacy);
    for (const TPrecision precision : {TPrecision::Auto, TPrecision::Always}) {
        TWorkingPicture p;
        OpenCalibrationPicture(jpg, p, precision);
        EXPECT_TRUE(p.Bitmap.SamePixels(legacy));
        EXPECT_EQ(p.HasPrecise(), precision == TPrecision::Always);
        EXPECT_EQ(p.Info.Description(), "8-bit JPEG");
    }
    TWorkingPicture always;
    OpenCalibrationPicture(jpg, always, TPrecision::Always);
    TBitmap24 full;
    LoadPicture(jpg, full);
    TPreciseImage fullPrecise, reduced;
    BitmapToPrecise(full, fullPrecise);
    ResizePrecise(1500, 117, rfLanczos3, 0.0f, fullPrecise, reduced);
    for (int y = 0; y < 117; y += 29)
        EXPECT_EQ(std::memcmp(always.Precise.Row(y), reduced.Row(y), sizeof(float) * 3 * 1500), 0) << "row " << y;
}
