#include "programs/encoder/watermark.h"

#include <algorithm>
#include <utility>

#include "programs/encoder/scale.h"
#include "programs/encoder/ycc.h"

Watermark::Watermark(RgbImage mark, int mode, uint32_t thresholdRgb)
    : mark_(std::move(mark)),
      mode_(mode), threshold_{static_cast<uint8_t>(thresholdRgb >> 16), static_cast<uint8_t>(thresholdRgb >> 8),
                              static_cast<uint8_t>(thresholdRgb)} {}

void Watermark::Prepare(int width, int height) {
    ScaleNearest(mark_, width, height, scaled_);
    size_t n = scaled_.rgb.size();
    if (mode_ == 0) {
        offset_.resize(n);
        for (size_t i = 0; i < n; ++i) offset_[i] = static_cast<int16_t>(scaled_.rgb[i] - 128);
    } else {
        covers_.resize(n / 3);
        for (size_t p = 0; p < n / 3; ++p) {
            const uint8_t* m = &scaled_.rgb[p * 3];
            covers_[p] = m[0] > threshold_[0] || m[1] > threshold_[1] || m[2] > threshold_[2];
        }
    }
    // The planar blend's map: which blocks to visit and how each pixel is touched.
    greyOffset_.assign(n / 3, 0);
    blocks_.clear();
    const int bw = (width + 1) / 2, bh = (height + 1) / 2;
    for (int by = 0; by < bh; ++by)
        for (int bx = 0; bx < bw; ++bx) {
            bool touched = false;
            for (int y = 2 * by; y < 2 * by + 2 && y < height; ++y)
                for (int x = 2 * bx; x < 2 * bx + 2 && x < width; ++x) {
                    size_t p = static_cast<size_t>(y) * width + x;
                    const uint8_t* m = &scaled_.rgb[p * 3];
                    if (mode_ == 0) {
                        bool grey = m[0] == m[1] && m[1] == m[2];
                        greyOffset_[p] = grey ? static_cast<int16_t>(m[0] - 128) : kColoured;
                        touched = touched || greyOffset_[p] != 0;
                    } else {
                        touched = touched || covers_[p];
                    }
                }
            if (touched) blocks_.push_back(static_cast<uint32_t>(by) << 16 | static_cast<uint32_t>(bx));
        }
    preparedW_ = width;
    preparedH_ = height;
}

void Watermark::Apply(RgbImage& frame) {
    if (frame.width != preparedW_ || frame.height != preparedH_) Prepare(frame.width, frame.height);
    uint8_t* px = frame.rgb.data();
    size_t n = frame.rgb.size();
    if (mode_ == 0) {
        const int16_t* off = offset_.data();
        // Branch-free so that the compiler vectorises it.
        for (size_t i = 0; i < n; ++i) {
            int v = px[i] + off[i];
            v = v < 0 ? 0 : v;
            px[i] = static_cast<uint8_t>(v > 255 ? 255 : v);
        }
    } else {
        for (size_t p = 0; p < n / 3; ++p)
            if (covers_[p]) {
                px[p * 3] = scaled_.rgb[p * 3];
                px[p * 3 + 1] = scaled_.rgb[p * 3 + 1];
                px[p * 3 + 2] = scaled_.rgb[p * 3 + 2];
            }
    }
}

void Watermark::Apply(YuvImage& frame) {
    if (frame.width != preparedW_ || frame.height != preparedH_) Prepare(frame.width, frame.height);
    const int w = frame.width, h = frame.height;
    for (uint32_t block : blocks_) {
        const int bx = static_cast<int>(block & 0xFFFF), by = static_cast<int>(block >> 16);
        uint8_t& cb = frame.cb.Row(by)[bx];
        uint8_t& cr = frame.cr.Row(by)[bx];
        // The block's chroma, as what it adds to each channel: the RGB of a pixel is its
        // luma plus these, and a grey mark's change clamps nowhere while the luma stays
        // within [-lowest, 255 - highest].
        const ChromaOffsets o = OffsetsOf(cb, cr);
        const int lowest = std::min(o.r, std::min(o.g, o.b)), highest = std::max(o.r, std::max(o.g, o.b));
        int sumCb = 0, sumCr = 0, pixels = 0;
        bool chromaChanged = false;
        for (int y = 2 * by; y < 2 * by + 2 && y < h; ++y) {
            uint8_t* luma = frame.y.Row(y);
            const size_t rowStart = static_cast<size_t>(y) * w;
            for (int x = 2 * bx; x < 2 * bx + 2 && x < w; ++x) {
                const size_t p = rowStart + x;
                const uint8_t* m = &scaled_.rgb[p * 3];
                int Y = luma[x], newCb = cb, newCr = cr;
                ++pixels;
                if (mode_ == 0) {
                    const int d = greyOffset_[p];
                    // Grey: exact as a luma change unless a channel would clamp.
                    if (d == 0 ||
                        (d != kColoured && Y + lowest + std::min(d, 0) >= 0 && Y + highest + std::max(d, 0) <= 255)) {
                        luma[x] = static_cast<uint8_t>(Y + d);
                        sumCb += cb;
                        sumCr += cr;
                        continue;
                    }
                    RgbToYcc(ClampByte(ClampByte(Y + o.r) + m[0] - 128), ClampByte(ClampByte(Y + o.g) + m[1] - 128),
                             ClampByte(ClampByte(Y + o.b) + m[2] - 128), Y, newCb, newCr);
                } else if (covers_[p]) {
                    RgbToYcc(m[0], m[1], m[2], Y, newCb, newCr);
                }
                luma[x] = static_cast<uint8_t>(Y);
                chromaChanged = chromaChanged || newCb != cb || newCr != cr;
                sumCb += newCb;
                sumCr += newCr;
            }
        }
        if (chromaChanged) {
            cb = static_cast<uint8_t>((sumCb + pixels / 2) / pixels);
            cr = static_cast<uint8_t>((sumCr + pixels / 2) / pixels);
        }
    }
}
