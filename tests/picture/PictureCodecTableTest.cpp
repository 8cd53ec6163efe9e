#include "picture/PictureCodecs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>

#include "PictureTestUtil.h"

using namespace tintavo;
using namespace picture_test;

namespace {

TBitmap24 Pattern(int w, int h) {
    TBitmap24 b(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) b.SetPixel(x, y, x * 7, y * 12, (x * y) % 256);
    return b;
}

std::string Upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::toupper(c); });
    return s;
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

}  // namespace

// Every entry of the table, whatever it holds: what it writes under each of its extensions is
// recognised by its own sniff alone and reads back.
TEST(PictureCodecTable, EveryTypeWritesWhatItsSniffAloneRecognisesAndReadsBack) {
    const auto dir = TempFolder("CodecTable");
    const TBitmap24 src = Pattern(37, 21);
    std::set<std::string> extensions;
    for (const TPictureCodec& codec : PictureCodecs()) {
        ASSERT_FALSE(codec.Extensions.empty()) << codec.Name;
        for (const std::string& ext : codec.Extensions) {
            EXPECT_TRUE(extensions.insert(ext).second) << "." << ext << " belongs to two types";
            EXPECT_EQ(ext, Lower(ext)) << "extensions are listed in lower case";
            EXPECT_EQ(PictureCodecForFileName("a." + Upper(ext)), &codec);
            if (codec.Encode == nullptr) continue;
            const std::string file = (dir / ("picture." + ext)).string();
            SavePicture(file, src, 100);
            const Bytes bytes = ReadFileBytes(file);
            for (const TPictureCodec& other : PictureCodecs())
                EXPECT_EQ(other.Sniff(bytes.data(), bytes.size()), &other == &codec) << codec.Name << " / " << other.Name;
            EXPECT_EQ(DetectPictureType(bytes.data(), bytes.size()), codec.Type);
            TBitmap24 back;
            LoadPicture(file, back);
            ASSERT_EQ(back.Width(), src.Width()) << ext;
            ASSERT_EQ(back.Height(), src.Height()) << ext;
            if (codec.Type != TPictureType::Jpeg) {
                EXPECT_TRUE(back.SamePixels(src)) << ext;
            }
        }
    }
    EXPECT_EQ(SniffPictureCodec(reinterpret_cast<const std::uint8_t*>("GIF89a"), 6), nullptr);
}

// The open dialog, the command-line tool and the messages take their lists from the table.
TEST(PictureCodecTable, DialogFiltersNamesAndExtensionsComeFromTheTable) {
    EXPECT_EQ(PictureOpenFilters(), (std::vector<std::string>{
                                        "All pictures (*.jpg *.jpeg *.bmp *.png *.tif *.tiff *.dpx *.exr)",
                                        "JPEG Image File (*.jpg *.jpeg)",
                                        "Bitmaps (*.bmp)",
                                        "PNG Image File (*.png)",
                                        "TIFF Image File (*.tif *.tiff)",
                                        "DPX Image File (*.dpx)",
                                        "OpenEXR Image File (*.exr)",
                                    }));
    EXPECT_EQ(PictureTypeNames(), "JPEG, BMP, PNG, TIFF, DPX or OpenEXR");
    EXPECT_EQ(SavablePictureExtensions(), ".jpg, .jpeg, .bmp, .png, .tif, .tiff, .dpx or .exr");

    EXPECT_TRUE(CanSavePicture("out/a.JPG"));
    EXPECT_TRUE(CanSavePicture("b.tiff"));
    EXPECT_FALSE(CanSavePicture("c.gif"));
    EXPECT_FALSE(CanSavePicture("jpg"));
    EXPECT_FALSE(CanSavePicture("folder.jpg/picture"));
    EXPECT_EQ(PictureCodecForFileName("x.tif")->Type, TPictureType::Tiff);

    const auto dir = TempFolder("CodecMessages");
    const std::string gif = (dir / "x.gif").string();
    try {
        SavePicture(gif, Pattern(2, 2));
        FAIL() << "no error";
    } catch (const EPictureError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot write picture \"" + gif + "\": Unknown picture type (use .jpg, .jpeg, .bmp, .png, .tif, .tiff, .dpx or .exr)");
    }
}
