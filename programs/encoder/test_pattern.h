// The synthetic camera's picture: moving colour bars, a bouncing square and a running clock.
#pragma once
#include <cstdint>

#include "programs/encoder/image.h"

constexpr int kTestPatternWidth = 640;
constexpr int kTestPatternHeight = 480;

// Draws frame number `frame` of a stream at `rate` frames per second. The picture depends
// only on these two values, so a receiver can redraw any frame it was sent.
void DrawTestPattern(int64_t frame, double rate, RgbImage& out);
