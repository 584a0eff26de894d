// Blending the watermark picture over each frame.
#pragma once
#include <cstdint>
#include <vector>

#include "programs/encoder/image.h"
#include "programs/encoder/yuv_image.h"

// Mode 0 adds the mark's offset from mid-grey to the frame, per channel:
// out = clamp(frame + mark - 128, 0, 255), so a mid-grey mark leaves the frame as it is.
// Mode 1 copies the mark's pixel wherever one of its channels exceeds the threshold's.
class Watermark {
public:
    Watermark(RgbImage mark, int mode, uint32_t thresholdRgb);

    // Blends in place. The mark is scaled to the frame by nearest pixel; the scaled copy
    // is kept until the frame size changes.
    void Apply(RgbImage& frame);

    // The same blend on a 4:2:0 picture. Where the mark is grey and no channel would clamp,
    // mode 0 only moves the luma (the three channels moving alike is exactly that); every
    // other pixel the mark touches goes through RGB, and the chroma of its 2x2 block becomes
    // the mean of its pixels' new chroma, as the encoder would have subsampled it.
    void Apply(YuvImage& frame);

private:
    void Prepare(int width, int height);

    RgbImage mark_;
    int mode_;
    uint8_t threshold_[3];
    int preparedW_ = 0, preparedH_ = 0;
    std::vector<int16_t> offset_;  // mode 0: mark - 128 per channel
    RgbImage scaled_;              // mode 1: the mark at frame size
    std::vector<uint8_t> covers_;  // mode 1: 1 where the mark's pixel replaces the frame's
    // Planar: the 2x2 blocks the mark touches, each with what happens to its four pixels
    // (top row first): mode 0's offset where the mark is grey, kColoured where it is not,
    // kCovered where mode 1 copies, 0 where the pixel stays, kOutside past the frame's edge.
    // Blocks whole and grey are kept apart, as they are blended two at a time in SIMD.
    struct MarkedBlock {
        uint16_t bx, by;
        int16_t pixel[4];
    };
    std::vector<MarkedBlock> greyBlocks_, otherBlocks_;
    static constexpr int16_t kColoured = 1000, kCovered = 1001, kOutside = 1002;

    void BlendBlock(YuvImage& frame, const MarkedBlock& block) const;
    static void BlendGreyPair(YuvImage& frame, const MarkedBlock& a, const MarkedBlock& b);
};
