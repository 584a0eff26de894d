// The watermark picture (logo.gif), built into the program. res/make_watermark.py made it.
#pragma once
#include <cstddef>

extern const unsigned char kWatermarkGif[];
extern const size_t kWatermarkGifSize;
