// The video's bilinear resize, against the plain four-pixel blend it must equal.
#include <gtest/gtest.h>

#include <algorithm>

#include "programs/encoder/scale.h"

namespace {

// Each output pixel straight from its four source pixels, centre-aligned, 8-bit weights.
RgbImage Reference(const RgbImage& src, int width, int height) {
    auto at = [](int i, int srcSize, int dstSize, int& index, int& frac) {
        int64_t pos = ((2 * static_cast<int64_t>(i) + 1) * srcSize * 65536) / (2 * dstSize) - 32768;
        pos = std::max<int64_t>(0, std::min<int64_t>(pos, static_cast<int64_t>(srcSize - 1) * 65536));
        index = static_cast<int>(pos >> 16);
        frac = static_cast<int>((pos >> 8) & 0xFF);
    };
    RgbImage out;
    out.Resize(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            int y0, wy, x0, wx;
            at(y, src.height, height, y0, wy);
            at(x, src.width, width, x0, wx);
            int y1 = std::min(y0 + 1, src.height - 1), x1 = std::min(x0 + 1, src.width - 1);
            for (int c = 0; c < 3; ++c) {
                int top = src.Row(y0)[x0 * 3 + c] * (256 - wx) + src.Row(y0)[x1 * 3 + c] * wx;
                int bottom = src.Row(y1)[x0 * 3 + c] * (256 - wx) + src.Row(y1)[x1 * 3 + c] * wx;
                out.Row(y)[x * 3 + c] = static_cast<uint8_t>((top * (256 - wy) + bottom * wy + 32768) >> 16);
            }
        }
    return out;
}

}  // namespace

TEST(ScaleBilinear, EqualsTheFourPixelBlendDownUpAndUneven) {
    const int sizes[][4] = {{1280, 720, 640, 480}, {640, 360, 640, 480}, {320, 240, 1280, 720},
                            {7, 5, 3, 11},         {1, 1, 4, 3},         {33, 17, 33, 9}};
    uint32_t noise = 12345;
    for (const auto& s : sizes) {
        RgbImage src;
        src.Resize(s[0], s[1]);
        for (uint8_t& v : src.rgb) v = static_cast<uint8_t>((noise = noise * 1103515245u + 12345u) >> 24);
        RgbImage got;
        ScaleBilinear(src, s[2], s[3], got);
        ASSERT_EQ(got.width, s[2]);
        ASSERT_EQ(got.height, s[3]);
        EXPECT_TRUE(got.rgb == Reference(src, s[2], s[3]).rgb) << s[0] << "x" << s[1] << " to " << s[2] << "x" << s[3];
    }
}

TEST(PlaneScaler, EqualsTheFourPixelBlendForEveryStepItTakes) {
    // Halving across, two thirds, the same width, growing and uneven sizes; one scaler for
    // all, as sizes change when the stream's do.
    const int sizes[][4] = {{1280, 720, 640, 480}, {1920, 1080, 1280, 720}, {640, 720, 320, 240},
                            {320, 480, 320, 240},  {70, 10, 35, 5},         {99, 9, 66, 6},
                            {33, 17, 65, 9},       {37, 5, 18, 5},          {1, 1, 2, 2}};
    uint32_t noise = 777;
    PlaneScaler scaler;
    for (const auto& s : sizes) {
        Plane src;
        src.Resize(s[0], s[1]);
        RgbImage grey;
        grey.Resize(s[0], s[1]);
        for (int y = 0; y < s[1]; ++y)
            for (int x = 0; x < s[0]; ++x) {
                uint8_t v = static_cast<uint8_t>((noise = noise * 1103515245u + 12345u) >> 24);
                src.Row(y)[x] = v;
                std::fill_n(grey.Row(y) + 3 * x, 3, v);
            }
        Plane got;
        scaler.Scale(src, s[2], s[3], got);
        ASSERT_EQ(got.width, s[2]);
        ASSERT_EQ(got.height, s[3]);
        RgbImage want = Reference(grey, s[2], s[3]);
        int wrong = 0;
        for (int y = 0; y < s[3]; ++y)
            for (int x = 0; x < s[2]; ++x) wrong += got.Row(y)[x] != want.Row(y)[3 * x];
        EXPECT_EQ(wrong, 0) << s[0] << "x" << s[1] << " to " << s[2] << "x" << s[3];
    }
}
