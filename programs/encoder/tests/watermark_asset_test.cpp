// The built-in watermark picture: its file structure byte by byte, and its pixels.
#include <gtest/gtest.h>

#include "programs/encoder/gif_reader.h"
#include "res/watermark.h"

namespace {

int Word(size_t at) { return kWatermarkGif[at] | (kWatermarkGif[at + 1] << 8); }

bool InBand(int y) { return (y >= 98 && y <= 117) || (y >= 123 && y <= 142); }

}  // namespace

TEST(WatermarkAsset, FileStructureIsOneStillGif89aImage) {
    ASSERT_GT(kWatermarkGifSize, 13u + 768 + 10 + 2);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(kWatermarkGif), 6), "GIF89a");
    EXPECT_EQ(Word(6), 320);
    EXPECT_EQ(Word(8), 240);
    EXPECT_EQ(kWatermarkGif[10], 0xF7);  // global table of 256 entries, 8 bits of colour resolution
    EXPECT_EQ(kWatermarkGif[11], 0);     // background index
    EXPECT_EQ(kWatermarkGif[12], 0);     // aspect
    // The background index names mid-grey.
    EXPECT_EQ(kWatermarkGif[13], 128);
    EXPECT_EQ(kWatermarkGif[14], 128);
    EXPECT_EQ(kWatermarkGif[15], 128);
    // Right after the table: the image descriptor, not an extension.
    size_t at = 13 + 768;
    ASSERT_EQ(kWatermarkGif[at], 0x2C);
    EXPECT_EQ(Word(at + 1), 0);
    EXPECT_EQ(Word(at + 3), 0);
    EXPECT_EQ(Word(at + 5), 320);
    EXPECT_EQ(Word(at + 7), 240);
    EXPECT_EQ(kWatermarkGif[at + 9], 0x00);  // no local table, not interlaced
    EXPECT_EQ(kWatermarkGif[at + 10], 8);    // LZW minimum code size
    // The data sub-blocks end exactly one byte before the trailer, the last byte.
    at += 11;
    while (at < kWatermarkGifSize && kWatermarkGif[at] != 0) at += 1 + kWatermarkGif[at];
    ASSERT_LT(at, kWatermarkGifSize);
    EXPECT_EQ(at + 2, kWatermarkGifSize);
    EXPECT_EQ(kWatermarkGif[kWatermarkGifSize - 1], 0x3B);
}

TEST(WatermarkAsset, GreyBackgroundWithTwoBandsOfWhiteText) {
    RgbImage mark;
    std::string error;
    ASSERT_TRUE(ReadGif(kWatermarkGif, kWatermarkGifSize, mark, error)) << error;
    ASSERT_EQ(mark.width, 320);
    ASSERT_EQ(mark.height, 240);
    int title = 0, address = 0, white = 0;
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) {
            const uint8_t* p = mark.Row(y) + x * 3;
            ASSERT_TRUE(p[0] == p[1] && p[1] == p[2]) << x << "," << y;  // shades of grey only
            if (p[0] == 128) continue;
            // Text: lighter than the background, inside a band and the allowed columns.
            ASSERT_GT(p[0], 128) << x << "," << y;
            ASSERT_TRUE(InBand(y) && x >= 30 && x <= 296) << "text pixel outside the bands at " << x << "," << y;
            (y <= 117 ? title : address)++;
            white += p[0] == 255;
        }
    EXPECT_GT(title, 500);
    EXPECT_GT(address, 500);
    EXPECT_GT(white, 500);  // solid glyph cores, not only soft edges
}
