// The stand-in camera's picture, as the camera tests read it: every counter comes back
// at every size a test uses, and the synthetic source's picture is never taken for it.
#include <gtest/gtest.h>

#include <algorithm>

#include "programs/encoder/image.h"
#include "programs/encoder/test_pattern.h"
#include "tests/camera/camera_pattern.h"

namespace {

RgbImage Draw(int width, int height, uint32_t counter) {
    RgbImage image;
    image.Resize(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            camera_pattern::Rgb c = camera_pattern::At(x, y, width, height, counter);
            uint8_t* p = image.Row(y) + x * 3;
            p[0] = c.r, p[1] = c.g, p[2] = c.b;
        }
    return image;
}

bool Read(const RgbImage& image, uint32_t& counter) {
    auto pixel = [&](int x, int y) {
        const uint8_t* p = image.Row(y) + x * 3;
        return camera_pattern::Rgb{p[0], p[1], p[2]};
    };
    return camera_pattern::Read(pixel, image.width, image.height, counter);
}

TEST(CameraPattern, EveryCounterReadsBackAtEverySize) {
    const int sizes[][2] = {{1280, 720}, {640, 480}, {320, 240}, {176, 144}, {16, 16}};
    for (const auto& size : sizes)
        for (uint32_t counter : {0u, 1u, 0x8000u, 0xA5A5u, 0xFFFFu}) {
            SCOPED_TRACE(std::to_string(size[0]) + "x" + std::to_string(size[1]) + " #" + std::to_string(counter));
            uint32_t read = 12345;
            ASSERT_TRUE(Read(Draw(size[0], size[1], counter), read));
            EXPECT_EQ(read, counter);
        }
}

TEST(CameraPattern, OtherPicturesAreNotTheCamera) {
    RgbImage synthetic;
    DrawTestPattern(42, 15.0, synthetic);
    RgbImage grey;
    grey.Resize(640, 480);
    std::fill(grey.rgb.begin(), grey.rgb.end(), 128);
    // The camera's picture with its bars in the wrong order.
    RgbImage swapped = Draw(640, 480, 7);
    for (int y = 0; y < swapped.height; ++y)
        for (int x = 0; x < swapped.width / 2; ++x)
            std::swap_ranges(swapped.Row(y) + x * 3, swapped.Row(y) + x * 3 + 3, swapped.Row(y) + (x + 320) * 3);
    uint32_t counter = 0;
    EXPECT_FALSE(Read(synthetic, counter));
    EXPECT_FALSE(Read(grey, counter));
    EXPECT_FALSE(Read(swapped, counter));
}

}  // namespace
