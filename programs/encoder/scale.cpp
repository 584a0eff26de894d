#include "programs/encoder/scale.h"

#include <cstring>
#include <vector>

void ScaleNearest(const RgbImage& src, int width, int height, RgbImage& dst) {
    dst.Resize(width, height);
    std::vector<int> srcX(static_cast<size_t>(width));
    for (int x = 0; x < width; ++x) srcX[x] = static_cast<int>(static_cast<int64_t>(x) * src.width / width);
    for (int y = 0; y < height; ++y) {
        const uint8_t* s = src.Row(static_cast<int>(static_cast<int64_t>(y) * src.height / height));
        uint8_t* d = dst.Row(y);
        for (int x = 0; x < width; ++x) std::memcpy(d + x * 3, s + srcX[x] * 3, 3);
    }
}

void ScaleBilinear(const RgbImage& src, int width, int height, RgbImage& dst) {
    if (src.width == width && src.height == height) {
        dst = src;
        return;
    }
    dst.Resize(width, height);
    // Sample positions in 16.16 fixed point, centre-aligned, clamped to the edges.
    auto positions = [](int srcSize, int dstSize, std::vector<int>& index, std::vector<int>& frac) {
        index.resize(static_cast<size_t>(dstSize));
        frac.resize(static_cast<size_t>(dstSize));
        for (int i = 0; i < dstSize; ++i) {
            int64_t pos = ((2 * static_cast<int64_t>(i) + 1) * srcSize * 65536) / (2 * dstSize) - 32768;
            if (pos < 0) pos = 0;
            int64_t last = static_cast<int64_t>(srcSize - 1) * 65536;
            if (pos > last) pos = last;
            index[i] = static_cast<int>(pos >> 16);
            frac[i] = static_cast<int>((pos >> 8) & 0xFF);  // 8-bit weight keeps products in 32 bits
        }
    };
    std::vector<int> xi, xf, yi, yf;
    positions(src.width, width, xi, xf);
    positions(src.height, height, yi, yf);
    for (int y = 0; y < height; ++y) {
        const uint8_t* r0 = src.Row(yi[y]);
        const uint8_t* r1 = src.Row(yi[y] + 1 < src.height ? yi[y] + 1 : yi[y]);
        int wy = yf[y];
        uint8_t* d = dst.Row(y);
        for (int x = 0; x < width; ++x) {
            int x0 = xi[x] * 3, x1 = (xi[x] + 1 < src.width ? xi[x] + 1 : xi[x]) * 3, wx = xf[x];
            for (int c = 0; c < 3; ++c) {
                int top = r0[x0 + c] * (256 - wx) + r0[x1 + c] * wx;
                int bottom = r1[x0 + c] * (256 - wx) + r1[x1 + c] * wx;
                d[x * 3 + c] = static_cast<uint8_t>((top * (256 - wy) + bottom * wy + 32768) >> 16);
            }
        }
    }
}
