// Resizing pictures: the video to the stream's frame size, the mark to the video.
#pragma once
#include <cstdint>
#include <vector>

#include "programs/encoder/image.h"
#include "programs/encoder/yuv_image.h"

// Nearest pixel (the mark's pixels keep their exact values).
void ScaleNearest(const RgbImage& src, int width, int height, RgbImage& dst);

// Bilinear, for the video; a copy when the size already matches.
void ScaleBilinear(const RgbImage& src, int width, int height, RgbImage& dst);

// Bilinear, one plane of a planar picture, with the same sample positions as
// ScaleBilinear (centre-aligned, which is where JPEG places its chroma samples). Keeps its
// tables while the sizes stay, so that scaling frame after frame allocates nothing.
class PlaneScaler {
public:
    void Scale(const Plane& src, int width, int height, Plane& dst);

private:
    int srcW_ = -1, srcH_ = -1, dstW_ = -1, dstH_ = -1;
    std::vector<int> xi_, yi_, right_;
    std::vector<uint16_t> xf_, yf_, blended_;
};
