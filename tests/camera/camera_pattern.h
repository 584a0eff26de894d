// The stand-in camera's picture: four coloured bars over the top three quarters, and
// the frame counter as sixteen black or white blocks (most significant bit on the left)
// in the bottom quarter. Laid out in fractions of the frame, so that it survives
// resizing, JPEG and the watermark: tests tell the camera's pictures from anything
// else by the bars, and see them move by the counter. Free of <windows.h>.
#pragma once
#include <cstdint>
#include <cstdlib>

namespace camera_pattern {

struct Rgb {
    uint8_t r, g, b;
};

constexpr Rgb kBars[4] = {{230, 120, 20}, {20, 150, 140}, {130, 50, 190}, {150, 160, 40}};
constexpr Rgb kBitOn{240, 240, 240};
constexpr Rgb kBitOff{20, 20, 20};
constexpr int kCounterBits = 16;

inline Rgb At(int x, int y, int width, int height, uint32_t counter) {
    if (y * 4 < height * 3) return kBars[x * 4 / width];
    int bit = kCounterBits - 1 - x * kCounterBits / width;
    return (counter >> bit) & 1 ? kBitOn : kBitOff;
}

// The picture with a time stamp (the camera's stamp=1): the bottom quarter holds instead a
// 32-bit count in two rows of sixteen blocks, its high half in the upper row. A reader of
// the stream (scripts/bench/latency) reads it back.
inline Rgb StampedAt(int x, int y, int width, int height, uint32_t stamp) {
    if (y * 4 < height * 3) return kBars[x * 4 / width];
    int bit = (y * 8 < height * 7 ? 2 * kCounterBits : kCounterBits) - 1 - x * kCounterBits / width;
    return (stamp >> bit) & 1 ? kBitOn : kBitOff;
}

// Reads a picture of that layout. pixel(x, y) gives the colour at a point; the reader
// samples the middle of every bar and block. False when a bar is not its colour
// (within tolerance) or a block is neither black nor white.
template <typename Pixel>
bool Read(Pixel pixel, int width, int height, uint32_t& counter, int tolerance = 48) {
    auto matches = [tolerance](Rgb a, Rgb b) {
        return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
    };
    for (int i = 0; i < 4; ++i)
        for (int row = 1; row <= 2; ++row)
            if (!matches(pixel(width * (2 * i + 1) / 8, height * 3 * row / 8 - height / 16), kBars[i])) return false;
    counter = 0;
    for (int i = 0; i < kCounterBits; ++i) {
        Rgb c = pixel(width * (2 * i + 1) / (2 * kCounterBits), height * 7 / 8);
        if (matches(c, kBitOn)) counter = counter << 1 | 1;
        else if (matches(c, kBitOff)) counter <<= 1;
        else return false;
    }
    return true;
}

}  // namespace camera_pattern
