// A picture in planar YCbCr (full range, as JPEG stores it): a luma plane at the picture's
// size and two chroma planes, usually subsampled. Rows may be padded; a plane may hold
// more rows than it shows, as the JPEG library works in whole blocks.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

struct Plane {
    int width = 0;
    int height = 0;
    size_t stride = 0;
    std::vector<uint8_t> data;

    // Keeps the buffer when it is large enough, so that a plane reused frame after frame
    // allocates only when the size grows.
    void Resize(int w, int h, int rowsHeld = 0, size_t minStride = 0) {
        width = w;
        height = h;
        stride = (std::max(static_cast<size_t>(w), minStride) + 31) / 32 * 32;
        size_t rows = static_cast<size_t>(rowsHeld > h ? rowsHeld : h);
        if (data.size() < stride * rows) data.resize(stride * rows);
    }
    uint8_t* Row(int y) { return data.data() + static_cast<size_t>(y) * stride; }
    const uint8_t* Row(int y) const { return data.data() + static_cast<size_t>(y) * stride; }
    // Copies the last column into the padding, for code that reads whole blocks.
    void PadRight(size_t upTo) {
        if (width <= 0 || upTo <= static_cast<size_t>(width)) return;
        for (int y = 0; y < height; ++y) {
            uint8_t* r = Row(y);
            for (size_t x = static_cast<size_t>(width); x < upTo && x < stride; ++x) r[x] = r[width - 1];
        }
    }
};

struct YuvImage {
    int width = 0;
    int height = 0;
    Plane y, cb, cr;

    // The layout the stream is encoded in: chroma at half the size in both directions.
    void Resize420(int w, int h) {
        width = w;
        height = h;
        y.Resize(w, h);
        cb.Resize((w + 1) / 2, (h + 1) / 2);
        cr.Resize((w + 1) / 2, (h + 1) / 2);
    }
    bool Is420() const {
        return y.width == width && y.height == height && cb.width == (width + 1) / 2 && cb.height == (height + 1) / 2 &&
               cr.width == cb.width && cr.height == cb.height;
    }
};
