#include "programs/encoder/watermark.h"

#include <utility>

#include "programs/encoder/scale.h"

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
