// The mode 0 blend (and mode 1), and how the mark is fitted to the frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
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

// The planar blend against the definition (per RGB channel, then back to YCbCr and the
// chroma averaged over the 2x2 block as the encoder subsamples it), in floating point, on a
// grid of frame colours and marks: grey marks that only move the luma, grey marks that
// clamp a channel, coloured marks, and marks that cover part of a block. The cases sit side
// by side in one frame, a block each, the colour changing from block to block, so that
// blocks blended together see different colours.
TEST(WatermarkBlend, PlanarBlendFollowsTheRgbDefinition) {
    auto toYcc = [](const double* rgb, double* ycc) {
        ycc[0] = 0.299 * rgb[0] + 0.587 * rgb[1] + 0.114 * rgb[2];
        ycc[1] = 128 - 0.168736 * rgb[0] - 0.331264 * rgb[1] + 0.5 * rgb[2];
        ycc[2] = 128 + 0.5 * rgb[0] - 0.418688 * rgb[1] - 0.081312 * rgb[2];
    };
    auto toRgb = [](double y, double cb, double cr, double* rgb) {
        rgb[0] = y + 1.402 * (cr - 128);
        rgb[1] = y - 0.344136 * (cb - 128) - 0.714136 * (cr - 128);
        rgb[2] = y + 1.772 * (cb - 128);
        for (int c = 0; c < 3; ++c) rgb[c] = std::min(255.0, std::max(0.0, rgb[c]));
    };
    const uint8_t levels[] = {0, 30, 128, 220, 255};
    const uint8_t marks[][3] = {{128, 128, 128}, {60, 60, 60}, {200, 200, 200}, {255, 255, 255},
                                {0, 0, 0},       {255, 0, 0},  {40, 220, 128},  {129, 128, 127}};
    // Which of the block's four pixels the mark covers (the rest is mid-grey).
    const int coverings[] = {0xF, 0x1, 0x6};
    struct Case {
        std::string what;
        double wantY[4], wantCb, wantCr;
    };
    std::vector<Case> cases;
    const int count = 5 * 5 * 5 * 8 * 3;
    YuvImage frame;
    frame.Resize420(2 * count, 2);
    RgbImage mark = Solid(2 * count, 2, 128, 128, 128);
    for (const auto& m : marks)
        for (int covered : coverings)
            for (uint8_t r : levels)
                for (uint8_t g : levels)
                    for (uint8_t b : levels) {
                        const int at = static_cast<int>(cases.size());
                        // The frame: one colour in YCbCr, as a camera's planes give it.
                        double frameRgb[3] = {double(r), double(g), double(b)}, ycc[3];
                        toYcc(frameRgb, ycc);
                        for (int y = 0; y < 2; ++y)
                            for (int x = 0; x < 2; ++x)
                                frame.y.Row(y)[2 * at + x] = static_cast<uint8_t>(std::lround(ycc[0]));
                        frame.cb.Row(0)[at] = static_cast<uint8_t>(std::lround(std::min(255.0, ycc[1])));
                        frame.cr.Row(0)[at] = static_cast<uint8_t>(std::lround(std::min(255.0, ycc[2])));
                        for (int p = 0; p < 4; ++p)
                            if (covered >> p & 1) std::copy(m, m + 3, mark.Row(p / 2) + (2 * at + p % 2) * 3);
                        // The definition, from the frame as RGB.
                        Case c{"frame " + std::to_string(r) + "," + std::to_string(g) + "," + std::to_string(b) +
                                   " mark " + std::to_string(m[0]) + "," + std::to_string(m[1]) + "," +
                                   std::to_string(m[2]) + " on pixels " + std::to_string(covered),
                               {},
                               0,
                               0};
                        double start[3];
                        toRgb(frame.y.Row(0)[2 * at], frame.cb.Row(0)[at], frame.cr.Row(0)[at], start);
                        for (int p = 0; p < 4; ++p) {
                            double out[3], o[3];
                            const uint8_t* mp = mark.Row(p / 2) + (2 * at + p % 2) * 3;
                            for (int ch = 0; ch < 3; ++ch)
                                out[ch] = std::min(255.0, std::max(0.0, std::round(start[ch]) + mp[ch] - 128));
                            toYcc(out, o);
                            c.wantY[p] = o[0];
                            c.wantCb += o[1] / 4;
                            c.wantCr += o[2] / 4;
                        }
                        cases.push_back(c);
                    }
    ASSERT_EQ(static_cast<int>(cases.size()), count);
    Watermark watermark(mark, 0, 0x808080);
    watermark.Apply(frame);
    for (int at = 0; at < count; ++at) {
        const Case& c = cases[at];
        for (int p = 0; p < 4; ++p)
            ASSERT_NEAR(frame.y.Row(p / 2)[2 * at + p % 2], c.wantY[p], 1.5) << c.what << ", pixel " << p;
        ASSERT_NEAR(frame.cb.Row(0)[at], c.wantCb, 1.5) << c.what;
        ASSERT_NEAR(frame.cr.Row(0)[at], c.wantCr, 1.5) << c.what;
    }
}
