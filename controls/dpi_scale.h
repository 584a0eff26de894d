// Pixel sizes drawn for 96 DPI (100%), scaled to the screen's DPI. At 96 every size
// stays what it is; elsewhere it is rounded to the nearest pixel, halves away from 0.
#pragma once

namespace controls {

constexpr int kDefaultDpi = 96;

constexpr int ScaleToDpi(int pixels, int dpi) {
    const long long scaled = static_cast<long long>(pixels) * dpi;
    const long long rounded = scaled >= 0 ? (scaled + kDefaultDpi / 2) / kDefaultDpi
                                          : -((-scaled + kDefaultDpi / 2) / kDefaultDpi);
    return static_cast<int>(rounded);
}

}  // namespace controls
