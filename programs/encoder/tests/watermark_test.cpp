// The mode 0 blend (and mode 1), and how the mark is fitted to the frame.
#include <gtest/gtest.h>

#include <random>

#include "programs/encoder/watermark.h"

namespace {

RgbImage Solid(int w, int h, uint8_t r, uint8_t g, uint8_t b) {
    RgbImage img;
    img.Resize(w, h);
    for (size_t i = 0; i < img.rgb.size(); i += 3) {
        img.rgb[i] = r;
        img.rgb[i + 1] = g;
        img.rgb[i + 2] = b;
    }
    return img;
}

RgbImage Noise(int w, int h, unsigned seed) {
    RgbImage img;
    img.Resize(w, h);
    std::mt19937 random(seed);
    for (auto& v : img.rgb) v = static_cast<uint8_t>(random());
    return img;
}

}  // namespace

TEST(WatermarkBlend, MidGreyLeavesTheFrameUnchanged) {
    Watermark mark(Solid(320, 240, 128, 128, 128), 0, 0x808080);
    RgbImage frame = Noise(640, 480, 1), before = frame;
    mark.Apply(frame);
    EXPECT_EQ(frame.rgb, before.rgb);
}

TEST(WatermarkBlend, AddsTheOffsetFromGreyAndClamps) {
    // Per channel: white adds 127, black subtracts 128, and (200, 100, 128) mixes both.
    for (const auto& c : std::vector<std::vector<int>>{{255, 255, 255}, {0, 0, 0}, {200, 100, 128}}) {
        Watermark mark(Solid(2, 2, static_cast<uint8_t>(c[0]), static_cast<uint8_t>(c[1]), static_cast<uint8_t>(c[2])),
                       0, 0x808080);
        RgbImage frame = Noise(8, 6, 2), before = frame;
        mark.Apply(frame);
        for (size_t i = 0; i < frame.rgb.size(); ++i) {
            int expected = std::min(255, std::max(0, before.rgb[i] + c[i % 3] - 128));
            ASSERT_EQ(frame.rgb[i], expected) << "byte " << i;
        }
    }
    // The clamps themselves: nothing wraps round.
    Watermark white(Solid(1, 1, 255, 255, 255), 0, 0);
    RgbImage bright = Solid(1, 1, 250, 128, 0);
    white.Apply(bright);
    EXPECT_EQ(bright.rgb, (std::vector<uint8_t>{255, 255, 127}));
    Watermark black(Solid(1, 1, 0, 0, 0), 0, 0);
    RgbImage dark = Solid(1, 1, 5, 128, 255);
    black.Apply(dark);
    EXPECT_EQ(dark.rgb, (std::vector<uint8_t>{0, 0, 127}));
}

TEST(WatermarkBlend, ScalesTheMarkByNearestPixelAndFollowsSizeChanges) {
    // A 2x2 mark: top-left white, the rest grey. On 4x4 frames, the top-left quarter brightens.
    RgbImage m = Solid(2, 2, 128, 128, 128);
    m.rgb[0] = m.rgb[1] = m.rgb[2] = 255;
    Watermark mark(m, 0, 0x808080);
    for (int side : {4, 6, 3}) {
        RgbImage frame = Solid(side, side, 100, 100, 100);
        mark.Apply(frame);
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x) {
                bool marked = x * 2 / side == 0 && y * 2 / side == 0;
                EXPECT_EQ(frame.Row(y)[x * 3], marked ? 227 : 100) << side << ": " << x << "," << y;
            }
    }
}

TEST(WatermarkBlend, ModeOneCopiesMarkPixelsAboveTheThreshold) {
    RgbImage m = Solid(2, 1, 10, 10, 10);
    m.rgb[3] = 250;  // the right pixel is red enough
    Watermark mark(m, 1, 0x808080);
    RgbImage frame = Solid(2, 1, 60, 70, 80);
    mark.Apply(frame);
    EXPECT_EQ(frame.rgb, (std::vector<uint8_t>{60, 70, 80, 250, 10, 10}));
}
