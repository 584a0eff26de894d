// Converting capture drivers' frames to RGB.
#include <gtest/gtest.h>

#include "programs/encoder/capture_format.h"

namespace {

std::vector<uint8_t> Px(const RgbImage& img, int x, int y) {
    const uint8_t* p = img.Row(y) + x * 3;
    return {p[0], p[1], p[2]};
}

}  // namespace

TEST(CaptureFormat, RgbDibsWithPaddingAndBothRowOrders) {
    // 3x2 RGB24: rows padded to 12 bytes, stored bottom-up, BGR order.
    std::vector<uint8_t> dib(24, 0);
    dib[0] = 1, dib[1] = 2, dib[2] = 3;     // bottom-left
    dib[12] = 4, dib[13] = 5, dib[14] = 6;  // top-left
    RgbImage out;
    ASSERT_TRUE(ConvertCaptureFrame({0, 24, 3, 2}, dib.data(), dib.size(), out));
    EXPECT_EQ(Px(out, 0, 1), (std::vector<uint8_t>{3, 2, 1}));
    EXPECT_EQ(Px(out, 0, 0), (std::vector<uint8_t>{6, 5, 4}));
    ASSERT_TRUE(ConvertCaptureFrame({0, 24, 3, -2}, dib.data(), dib.size(), out));  // top-down
    EXPECT_EQ(Px(out, 0, 0), (std::vector<uint8_t>{3, 2, 1}));
    EXPECT_FALSE(ConvertCaptureFrame({0, 24, 3, 2}, dib.data(), 23, out));  // one byte short

    std::vector<uint8_t> bgrx = {10, 20, 30, 0, 40, 50, 60, 0};
    ASSERT_TRUE(ConvertCaptureFrame({0, 32, 2, -1}, bgrx.data(), bgrx.size(), out));
    EXPECT_EQ(Px(out, 1, 0), (std::vector<uint8_t>{60, 50, 40}));
    std::vector<uint8_t> rgb555 = {0x00, 0x7C, 0x1F, 0x00};  // pure red, pure blue (padded row)
    ASSERT_TRUE(ConvertCaptureFrame({0, 16, 1, 1}, rgb555.data(), rgb555.size(), out));
    EXPECT_EQ(Px(out, 0, 0), (std::vector<uint8_t>{255, 0, 0}));
}

TEST(CaptureFormat, YuvFormats) {
    // YUY2 and UYVY: white and black, two pixels sharing neutral chroma.
    std::vector<uint8_t> yuy2 = {235, 128, 16, 128}, uyvy = {128, 235, 128, 16};
    RgbImage out;
    for (auto& c :
         {std::make_pair(FourCC('Y', 'U', 'Y', '2'), &yuy2), std::make_pair(FourCC('U', 'Y', 'V', 'Y'), &uyvy)}) {
        ASSERT_TRUE(ConvertCaptureFrame({c.first, 16, 2, 1}, c.second->data(), c.second->size(), out));
        EXPECT_EQ(Px(out, 0, 0), (std::vector<uint8_t>{255, 255, 255}));
        EXPECT_EQ(Px(out, 1, 0), (std::vector<uint8_t>{0, 0, 0}));
    }
    // I420 versus YV12: the same bytes, the chroma planes swapped; strong V is red.
    std::vector<uint8_t> planar = {82, 82, 82, 82, 90, 240};
    ASSERT_TRUE(ConvertCaptureFrame({FourCC('I', '4', '2', '0'), 12, 2, 2}, planar.data(), planar.size(), out));
    std::vector<uint8_t> i420 = Px(out, 1, 1);
    EXPECT_GT(i420[0], 200);
    EXPECT_LT(i420[2], 60);
    ASSERT_TRUE(ConvertCaptureFrame({FourCC('Y', 'V', '1', '2'), 12, 2, 2}, planar.data(), planar.size(), out));
    EXPECT_LT(Px(out, 1, 1)[0], 60);
    EXPECT_GT(Px(out, 1, 1)[2], 200);
    EXPECT_FALSE(ConvertCaptureFrame({FourCC('I', '4', '2', '0'), 12, 2, 2}, planar.data(), 5, out));
    // Compressed formats are not ours to decode.
    EXPECT_FALSE(IsUncompressedCaptureFormat({FourCC('M', 'J', 'P', 'G'), 24, 640, 480}));
    EXPECT_EQ(DescribeCaptureFormat({FourCC('M', 'J', 'P', 'G'), 24, 640, 480}), "MJPG");
}
