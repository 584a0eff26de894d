// Resizing pictures: the video to the stream's frame size, the mark to the video.
#pragma once
#include "programs/encoder/image.h"

// Nearest pixel (the mark's pixels keep their exact values).
void ScaleNearest(const RgbImage& src, int width, int height, RgbImage& dst);

// Bilinear, for the video; a copy when the size already matches.
void ScaleBilinear(const RgbImage& src, int width, int height, RgbImage& dst);
