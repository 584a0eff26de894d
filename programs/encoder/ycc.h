// Colour conversions between RGB and full-range YCbCr (the JPEG file format's), in 16-bit
// fixed point.
#pragma once
#include <cstdint>

inline uint8_t ClampByte(int v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

inline void RgbToYcc(int r, int g, int b, int& y, int& cb, int& cr) {
    y = (19595 * r + 38470 * g + 7471 * b + 32768) >> 16;
    // The offset keeps the sums positive, so the shifts round the same way everywhere.
    cb = ClampByte((-11059 * r - 21709 * g + 32768 * b + (128 << 16) + 32768) >> 16);
    cr = ClampByte((32768 * r - 27439 * g - 5329 * b + (128 << 16) + 32768) >> 16);
}

// What a pixel's chroma adds to its luma in each RGB channel.
struct ChromaOffsets {
    int r, g, b;
};
inline ChromaOffsets OffsetsOf(int cb, int cr) {
    int u = cb - 128, v = cr - 128;
    // The offset keeps the sums positive before the shift.
    return {((91881 * v + (256 << 16) + 32768) >> 16) - 256,
            ((-22554 * u - 46802 * v + (256 << 16) + 32768) >> 16) - 256,
            ((116130 * u + (256 << 16) + 32768) >> 16) - 256};
}

inline void YccToRgb(int y, int cb, int cr, uint8_t* rgb) {
    ChromaOffsets o = OffsetsOf(cb, cr);
    rgb[0] = ClampByte(y + o.r);
    rgb[1] = ClampByte(y + o.g);
    rgb[2] = ClampByte(y + o.b);
}
