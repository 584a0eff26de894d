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
    // `chroma`: the plane is a 4:2:0 picture's chroma. Each output row is then the mean of
    // the two rows it covers at the luma's height, as if the chroma were scaled to that size
    // and subsampled there (what the encoder did to an RGB picture); scaling it straight
    // would skip rows where it shrinks by more than two (an HD camera's 4:2:2 chroma, 720
    // rows to 240) and leave its noise aliased.
    explicit PlaneScaler(bool chroma = false) : chroma_(chroma) {}
    void Scale(const Plane& src, int width, int height, Plane& dst);

private:
    bool chroma_;
    int srcW_ = -1, srcH_ = -1, dstW_ = -1, dstH_ = -1;
    std::vector<int> xi_, yi_, right_;
    std::vector<uint16_t> xf_, yf_, blended_, second_;
};
