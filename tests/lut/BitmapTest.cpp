#include "lut/Bitmap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <utility>

namespace tintavo {
namespace {

bool AllZero(const TBitmap24& b) {
    for (std::size_t i = 0; i < b.ByteSize(); ++i)
        if (b.Bits()[i] != 0) return false;
    return true;
}

// Small bitmaps live on the heap, large ones in memory of their own: both start zero, copy
// their pixels, and move without copying.
TEST(Bitmap, NewPixelsAreZeroCopiesAreDeepAndMovesLeaveTheSourceEmpty) {
    for (const auto& size : {std::pair{5, 3}, std::pair{1500, 1000}}) {
        TBitmap24 a(size.first, size.second);
        EXPECT_TRUE(AllZero(a)) << size.first;
        a.SetPixel(size.first - 1, size.second - 1, 1, 2, 3);

        TBitmap24 copy = a;
        EXPECT_TRUE(copy.SamePixels(a));
        EXPECT_NE(copy.Bits(), a.Bits());
        copy.SetPixel(0, 0, 9, 9, 9);
        EXPECT_FALSE(copy.SamePixels(a));
        copy = a;
        EXPECT_TRUE(copy.SamePixels(a));

        const std::uint8_t* pixels = a.Bits();
        TBitmap24 moved = std::move(a);
        EXPECT_EQ(moved.Bits(), pixels);
        EXPECT_EQ(moved.Width(), size.first);
        EXPECT_EQ(a.Width(), 0);
        EXPECT_EQ(a.Height(), 0);
        EXPECT_EQ(a.ByteSize(), 0u);
        a = std::move(moved);
        EXPECT_EQ(a.Bits(), pixels);
        EXPECT_TRUE(moved.Empty());
        std::uint8_t r, g, b;
        a.GetPixel(size.first - 1, size.second - 1, r, g, b);
        EXPECT_EQ(r, 1);
        EXPECT_EQ(b, 3);

        // Growing takes a new, zero buffer; shrinking keeps the old one.
        a.SetSize(size.first * 2, size.second * 2);
        EXPECT_TRUE(AllZero(a));
        const std::uint8_t* grown = a.Bits();
        a.SetSize(size.first, size.second);
        EXPECT_EQ(a.Bits(), grown);
        a.Clear();
        EXPECT_TRUE(a.Empty());
        EXPECT_EQ(a.Bits(), nullptr);
    }
}

}  // namespace
}  // namespace tintavo
