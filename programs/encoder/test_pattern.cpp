#include "programs/encoder/test_pattern.h"

#include <cstring>

namespace {

// 5x7 glyphs for the clock, one byte per row, the high five bits used.
const uint8_t kDigits[12][7] = {
    {0x70, 0x88, 0x98, 0xA8, 0xC8, 0x88, 0x70}, {0x20, 0x60, 0x20, 0x20, 0x20, 0x20, 0x70},
    {0x70, 0x88, 0x08, 0x10, 0x20, 0x40, 0xF8}, {0xF8, 0x10, 0x20, 0x10, 0x08, 0x88, 0x70},
    {0x10, 0x30, 0x50, 0x90, 0xF8, 0x10, 0x10}, {0xF8, 0x80, 0xF0, 0x08, 0x08, 0x88, 0x70},
    {0x30, 0x40, 0x80, 0xF0, 0x88, 0x88, 0x70}, {0xF8, 0x08, 0x10, 0x20, 0x40, 0x40, 0x40},
    {0x70, 0x88, 0x88, 0x70, 0x88, 0x88, 0x70}, {0x70, 0x88, 0x88, 0x78, 0x08, 0x10, 0x60},
    {0x00, 0x60, 0x60, 0x00, 0x60, 0x60, 0x00},  // ':'
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x60, 0x60},  // '.'
};

const uint8_t kBars[8][3] = {{235, 235, 235}, {235, 235, 16}, {16, 235, 235}, {16, 235, 16},
                             {235, 16, 235},  {235, 16, 16},  {16, 16, 235},  {16, 16, 16}};

void FillRect(RgbImage& img, int x0, int y0, int w, int h, const uint8_t* colour) {
    for (int y = y0; y < y0 + h; ++y) {
        if (y < 0 || y >= img.height) continue;
        uint8_t* row = img.Row(y);
        for (int x = x0; x < x0 + w; ++x)
            if (x >= 0 && x < img.width) std::memcpy(row + x * 3, colour, 3);
    }
}

void DrawGlyph(RgbImage& img, int glyph, int x0, int y0, int scale) {
    static const uint8_t white[3] = {255, 255, 255};
    for (int r = 0; r < 7; ++r)
        for (int c = 0; c < 5; ++c)
            if (kDigits[glyph][r] & (0x80 >> c)) FillRect(img, x0 + c * scale, y0 + r * scale, scale, scale, white);
}

}  // namespace

void DrawTestPattern(int64_t frame, double rate, RgbImage& out) {
    const int w = kTestPatternWidth, h = kTestPatternHeight;
    out.Resize(w, h);
    // Colour bars scrolling left, four pixels a frame; one row is built and copied down.
    uint8_t* first = out.Row(0);
    int shift = static_cast<int>(frame * 4 % w);
    for (int x = 0; x < w; ++x) std::memcpy(first + x * 3, kBars[((x + shift) % w) * 8 / w], 3);
    for (int y = 1; y < h * 2 / 3; ++y) std::memcpy(out.Row(y), first, static_cast<size_t>(w) * 3);
    // A grey ramp below, moving the other way.
    for (int y = h * 2 / 3; y < h; ++y) {
        uint8_t* row = out.Row(y);
        for (int x = 0; x < w; ++x) {
            uint8_t v = static_cast<uint8_t>(((x + w - shift) % w) * 256 / w);
            row[x * 3] = row[x * 3 + 1] = row[x * 3 + 2] = v;
        }
    }
    // A square bouncing between the edges.
    const int side = 64, spanX = w - side, spanY = h - side;
    int px = static_cast<int>(frame * 7 % (2 * spanX)), py = static_cast<int>(frame * 5 % (2 * spanY));
    if (px > spanX) px = 2 * spanX - px;
    if (py > spanY) py = 2 * spanY - py;
    static const uint8_t orange[3] = {255, 140, 0};
    FillRect(out, px, py, side, side, orange);
    // The clock: time since the first frame, HH:MM:SS.cc, on a black box.
    int64_t centis = rate > 0 ? static_cast<int64_t>(frame * 100.0 / rate) : 0;
    int64_t s = centis / 100;
    int glyphs[11] = {static_cast<int>(s / 36000 % 10),   static_cast<int>(s / 3600 % 10), 10,
                      static_cast<int>(s / 600 % 6),      static_cast<int>(s / 60 % 10),   10,
                      static_cast<int>(s / 10 % 6),       static_cast<int>(s % 10),        11,
                      static_cast<int>(centis / 10 % 10), static_cast<int>(centis % 10)};
    const int scale = 4, pitch = 6 * scale;
    static const uint8_t black[3] = {0, 0, 0};
    FillRect(out, 16, 16, 11 * pitch + 2 * scale, 9 * scale, black);
    for (int i = 0; i < 11; ++i) DrawGlyph(out, glyphs[i], 16 + 2 * scale + i * pitch, 16 + scale, scale);
}
