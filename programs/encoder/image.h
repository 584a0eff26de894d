// A picture in memory: packed 8-bit RGB, rows top to bottom, no padding.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;  // width * height * 3 bytes

    void Resize(int w, int h) {
        width = w;
        height = h;
        rgb.resize(static_cast<size_t>(w) * static_cast<size_t>(h) * 3);
    }
    uint8_t* Row(int y) { return rgb.data() + static_cast<size_t>(y) * static_cast<size_t>(width) * 3; }
    const uint8_t* Row(int y) const { return rgb.data() + static_cast<size_t>(y) * static_cast<size_t>(width) * 3; }
};
