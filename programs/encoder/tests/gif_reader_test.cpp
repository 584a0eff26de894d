// The GIF reader: what it decodes, and that hostile files are refused without harm.
#include <gtest/gtest.h>

#include <random>

#include "programs/encoder/gif_reader.h"
#include "programs/encoder/tests/test_support.h"
#include "res/watermark.h"

namespace {

const std::vector<uint8_t> kFourColours = {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};

GifLayout Simple() {
    GifLayout s;
    s.globalTable = kFourColours;
    s.pixels = {0, 1, 2, 3, 3, 2, 1, 0, 1, 1, 1, 1, 2, 2, 2, 2};
    return s;
}

bool Decode(const std::vector<uint8_t>& bytes, RgbImage& img, std::string& error) {
    return ReadGif(bytes.data(), bytes.size(), img, error);
}

std::vector<uint8_t> Pixel(const RgbImage& img, int x, int y) {
    const uint8_t* p = img.Row(y) + x * 3;
    return {p[0], p[1], p[2]};
}

}  // namespace

TEST(GifReader, DecodesGlobalAndLocalTablesAndSkipsExtensions) {
    RgbImage img;
    std::string error;
    GifLayout s = Simple();
    ASSERT_TRUE(Decode(MakeGif(s), img, error)) << error;
    EXPECT_EQ(Pixel(img, 1, 0), (std::vector<uint8_t>{255, 0, 0}));
    EXPECT_EQ(Pixel(img, 3, 0), (std::vector<uint8_t>{0, 0, 255}));
    EXPECT_EQ(Pixel(img, 0, 3), (std::vector<uint8_t>{0, 255, 0}));

    // A local table wins; a graphic control extension with transparency and a comment are
    // skipped, and the transparent index shows its colour.
    s.localTable = {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120};
    s.extensions = {0x21, 0xF9, 4, 0x01, 0, 0, 1, 0, 0x21, 0xFE, 3, 'h', 'i', '!', 0};
    ASSERT_TRUE(Decode(MakeGif(s), img, error)) << error;
    EXPECT_EQ(Pixel(img, 1, 0), (std::vector<uint8_t>{40, 50, 60}));

    // Without any table, an index has no colour.
    s.localTable.clear();
    s.globalTable.clear();
    EXPECT_FALSE(Decode(MakeGif(s), img, error));
}

TEST(GifReader, PlacesInterlacedRowsAndOffsetImages) {
    GifLayout s;
    s.globalTable = std::vector<uint8_t>(16 * 3);
    for (int i = 0; i < 16; ++i) s.globalTable[i * 3] = static_cast<uint8_t>(i * 10);
    s.screenW = 1;
    s.screenH = s.height = 11;
    s.width = 1;
    s.minCodeSize = 4;
    s.interlaced = true;
    // File order of rows: 0 8 | 4 | 2 6 10 | 1 3 5 7 9; each row's pixel is its row number.
    s.pixels = {0, 8, 4, 2, 6, 10, 1, 3, 5, 7, 9};
    RgbImage img;
    std::string error;
    ASSERT_TRUE(Decode(MakeGif(s), img, error)) << error;
    for (int y = 0; y < 11; ++y) EXPECT_EQ(img.Row(y)[0], y * 10) << "row " << y;

    // An image smaller than the screen leaves neutral grey around it; one reaching past
    // the screen is cut off.
    GifLayout o = Simple();
    o.screenW = o.screenH = 6;
    o.left = 3;
    o.top = 1;
    ASSERT_TRUE(Decode(MakeGif(o), img, error)) << error;
    EXPECT_EQ(Pixel(img, 0, 0), (std::vector<uint8_t>{128, 128, 128}));
    EXPECT_EQ(Pixel(img, 4, 1), (std::vector<uint8_t>{255, 0, 0}));
    EXPECT_EQ(Pixel(img, 5, 5), (std::vector<uint8_t>{128, 128, 128}));
}

TEST(GifReader, RefusesMalformedFiles) {
    RgbImage img;
    std::string error;
    auto refused = [&](const std::vector<uint8_t>& bytes) {
        error.clear();
        return !Decode(bytes, img, error) && !error.empty();
    };
    GifLayout s = Simple();
    s.pixels[5] = 7;  // beyond the four colours
    s.minCodeSize = 3;
    EXPECT_TRUE(refused(MakeGif(s)));
    s = Simple();
    s.screenW = 5000;
    EXPECT_TRUE(refused(MakeGif(s)));  // bigger than any watermark
    s = Simple();
    s.width = 0;
    s.pixels.clear();
    EXPECT_TRUE(refused(MakeGif(s)));
    s = Simple();
    s.pixels.resize(10);  // the end code comes before the last pixel
    EXPECT_TRUE(refused(MakeGif(s)));

    std::vector<uint8_t> good = MakeGif(Simple());
    size_t codeSizeAt = 13 + 12 + 10;  // header, table, descriptor
    ASSERT_EQ(good[codeSizeAt], 2);
    for (uint8_t bad : {0, 1, 9, 12, 255}) {
        std::vector<uint8_t> b = good;
        b[codeSizeAt] = bad;
        EXPECT_TRUE(refused(b)) << int(bad);
    }
    // Codes that name no table entry: after a clear, a code above the clear code; later, one
    // beyond the next free entry.
    for (const std::vector<uint8_t>& lzw : {std::vector<uint8_t>{0x34}, std::vector<uint8_t>{0xC4, 0x01}}) {
        std::vector<uint8_t> b(good.begin(), good.begin() + static_cast<long>(codeSizeAt) + 1);
        std::vector<uint8_t> blocks = SubBlocks(lzw);
        b.insert(b.end(), blocks.begin(), blocks.end());
        b.push_back(0x3B);
        EXPECT_TRUE(refused(b));
    }
    EXPECT_TRUE(refused({'G', 'I', 'F', '8', '9', 'a'}));
    EXPECT_TRUE(refused({'P', 'N', 'G', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0}));
    // A trailer before any image.
    std::vector<uint8_t> noImage(good.begin(), good.begin() + 13 + 12);
    noImage.push_back(0x3B);
    EXPECT_TRUE(refused(noImage));
}

TEST(GifReader, EveryTruncationOfTheAssetIsRefused) {
    std::vector<uint8_t> asset(kWatermarkGif, kWatermarkGif + kWatermarkGifSize);
    RgbImage img;
    std::string error;
    // Each prefix is decoded from a buffer of exactly its length, so a read past it is an
    // AddressSanitizer error.
    for (size_t n = 0; n + 1 < asset.size(); n += (n < 800 || n + 300 > asset.size()) ? 1 : 13) {
        std::vector<uint8_t> cut(asset.begin(), asset.begin() + static_cast<long>(n));
        EXPECT_FALSE(ReadGif(cut.data(), cut.size(), img, error)) << "a prefix of " << n << " bytes was accepted";
    }
    // Only the trailer missing: the picture is all there, and is taken.
    std::vector<uint8_t> noTrailer(asset.begin(), asset.end() - 1);
    ASSERT_TRUE(ReadGif(noTrailer.data(), noTrailer.size(), img, error)) << error;
}

TEST(GifReader, SurvivesRandomCorruption) {
    std::vector<uint8_t> asset(kWatermarkGif, kWatermarkGif + kWatermarkGifSize);
    std::mt19937 random(20261207);
    RgbImage img;
    std::string error;
    int refused = 0;
    for (int round = 0; round < 300; ++round) {
        std::vector<uint8_t> b = asset;
        int flips = 1 + static_cast<int>(random() % 8);
        for (int i = 0; i < flips; ++i) b[random() % b.size()] ^= static_cast<uint8_t>(1 + random() % 255);
        if (ReadGif(b.data(), b.size(), img, error)) {
            // Whatever is accepted is a complete picture of the screen's size.
            EXPECT_EQ(img.rgb.size(), static_cast<size_t>(img.width) * img.height * 3);
        } else {
            EXPECT_FALSE(error.empty());
            ++refused;
        }
    }
    EXPECT_GT(refused, 0);
}

TEST(GifReader, RefusesAnImageLargerThanItCouldBeDecodedInto) {
    // A small canvas with a huge image descriptor: refused before any buffer is sized.
    GifLayout s = Simple();
    std::vector<uint8_t> bytes = MakeGif(s);
    const size_t descriptor = 13 + s.globalTable.size();  // header, screen, table
    ASSERT_EQ(bytes[descriptor], 0x2C);
    bytes[descriptor + 5] = bytes[descriptor + 6] = 0xFF;  // width 65535
    bytes[descriptor + 7] = bytes[descriptor + 8] = 0xFF;  // height 65535
    RgbImage img;
    std::string error;
    EXPECT_FALSE(Decode(bytes, img, error));
    EXPECT_EQ(error, "image too large");
}
