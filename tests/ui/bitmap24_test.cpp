#include <gtest/gtest.h>

#include "test_support.h"
#include "ui/bitmap24.h"
#include "ui/canvas.h"

namespace vidora {
namespace {

// Builds a BMP file image by hand, byte for byte, independently of the writer under test.
std::vector<uint8_t> handMadeBmp(int width, int height, uint16_t bits = 24,
                                 uint32_t dataOffsetField = 54) {
    const int rowSize = (width * 3 + 3) / 4 * 4;
    std::vector<uint8_t> f(54 + static_cast<size_t>(rowSize) * height, 0);
    f[0] = 'B';
    f[1] = 'M';
    f[10] = static_cast<uint8_t>(dataOffsetField);
    f[11] = static_cast<uint8_t>(dataOffsetField >> 8);
    f[14] = 40;
    f[18] = static_cast<uint8_t>(width);
    f[22] = static_cast<uint8_t>(height);
    f[26] = 1;
    f[28] = static_cast<uint8_t>(bits);
    // Bottom-up rows: file row r is picture row height - 1 - r. Pixel value encodes (x, y).
    for (int r = 0; r < height; ++r)
        for (int x = 0; x < width; ++x) {
            const int y = height - 1 - r;
            uint8_t* p = &f[54 + static_cast<size_t>(r) * rowSize + x * 3];
            p[0] = static_cast<uint8_t>(10 + x);       // blue
            p[1] = static_cast<uint8_t>(100 + y);      // green
            p[2] = static_cast<uint8_t>(200 + x + y);  // red
        }
    return f;
}

TEST(Bitmap24, ReadsBottomUpRowsWithPaddingFromByte54) {
    // Width 3 gives 9 bytes of pixels and 3 of padding per row. The data-offset field lies: the
    // pixels are read from byte 54 all the same.
    const auto file = handMadeBmp(3, 2, 24, 1000);
    const auto picture = Bitmap24::fromBmpBytes(file);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->width(), 3);
    EXPECT_EQ(picture->height(), 2);
    EXPECT_EQ(picture->rowSize(), 12);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(picture->pixel(x, y),
                      (Rgb{static_cast<uint8_t>(200 + x + y), static_cast<uint8_t>(100 + y),
                           static_cast<uint8_t>(10 + x)}))
                << x << "," << y;
}

TEST(Bitmap24, RefusesWhatIsNotAComplete24BitPicture) {
    auto file = handMadeBmp(5, 4);
    EXPECT_FALSE(Bitmap24::fromBmpBytes(std::span(file).first(file.size() - 1)));  // truncated
    EXPECT_FALSE(Bitmap24::fromBmpBytes(std::span(file).first(53)));
    EXPECT_FALSE(Bitmap24::fromBmpBytes(handMadeBmp(5, 4, 8)));
    auto topDown = handMadeBmp(5, 4);
    topDown[22] = 0xFC, topDown[23] = topDown[24] = topDown[25] = 0xFF;  // height -4
    EXPECT_FALSE(Bitmap24::fromBmpBytes(topDown));
    auto huge = handMadeBmp(5, 4);
    huge[21] = 0x7F;  // width of two billion: refused before any allocation
    EXPECT_FALSE(Bitmap24::fromBmpBytes(huge));
    EXPECT_FALSE(Bitmap24::loadBmp(""));
    EXPECT_FALSE(Bitmap24::loadBmp("/nonexistent/picture.bmp"));
}

TEST(Bitmap24, WriterAndReaderAgree) {
    test::TempFolder folder;
    const Bitmap24 original = test::tracedPicture(7, 5);
    ASSERT_TRUE(original.saveBmp(folder.file("p.bmp")));
    const auto back = Bitmap24::loadBmp(folder.file("p.bmp"));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->width(), 7);
    EXPECT_EQ(back->height(), 5);
    EXPECT_TRUE(std::equal(original.bits().begin(), original.bits().end(), back->bits().begin()));
    // The writer's header is the standard one: data offset 54, 40-byte header, 24 bits.
    const auto bytes = original.toBmpBytes();
    EXPECT_EQ(bytes[10], 54);
    EXPECT_EQ(bytes[14], 40);
    EXPECT_EQ(bytes[28], 24);
    EXPECT_EQ(bytes.size(), 54u + 24u * 5u);
}

TEST(Bitmap24, CopiesStayInsideBothPictures) {
    const Bitmap24 source = test::tracedPicture(10, 10);
    Bitmap24 target(6, 6);
    target.fill({1, 2, 3});
    // Source block hangs off the top-left of the source and the right of the target.
    copyBlock(target, 3, 1, source, -2, -1, 8, 8);
    // (3 + i, 1 + j) gets source (-2 + i, -1 + j) where that exists.
    EXPECT_EQ(target.pixel(5, 2), test::tracePixel(0, 0));  // i = 2, j = 1
    EXPECT_EQ(target.pixel(4, 2), (Rgb{1, 2, 3}));          // source x -1: left out
    EXPECT_EQ(target.pixel(3, 1), (Rgb{1, 2, 3}));
    copyBlock(target, 0, 0, source, 2000000000, 2000000000, 2000000000, 2000000000);
    stretchBlock(target, -5, -5, 100000, 3, source, 9, 9, 100, 100);
    copyBlockTransparent(target, 0, 0, source, -2147483647, 0, 2147483647, 5, {255, 255, 255});
    EXPECT_EQ(target.pixel(100, 100), Rgb{});  // outside reads as black
}

TEST(Bitmap24, TransparentCopyKeepsWhitePixelsOfTheTarget) {
    Bitmap24 thumb(3, 1);
    thumb.setPixel(0, 0, {255, 255, 255});
    thumb.setPixel(1, 0, {10, 20, 30});
    thumb.setPixel(2, 0, {255, 255, 254});  // nearly white is not transparent
    Bitmap24 target(3, 1);
    target.fill({7, 7, 7});
    copyBlockTransparent(target, 0, 0, thumb, 0, 0, 3, 1, {255, 255, 255});
    EXPECT_EQ(target.pixel(0, 0), (Rgb{7, 7, 7}));
    EXPECT_EQ(target.pixel(1, 0), (Rgb{10, 20, 30}));
    EXPECT_EQ(target.pixel(2, 0), (Rgb{255, 255, 254}));
}

}  // namespace
}  // namespace vidora
