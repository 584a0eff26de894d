// What happens to each captured frame, in planar YCbCr from the camera to the JPEG file:
// each plane resized to the stream's size (the chroma to 4:2:0), watermarked, encoded at the
// quality the rate control chooses, and kept below the feed's size limit.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "programs/encoder/image.h"
#include "programs/encoder/jpeg_encoder.h"
#include "programs/encoder/rate_control.h"
#include "programs/encoder/scale.h"
#include "programs/encoder/stream_parameters.h"
#include "programs/encoder/watermark.h"
#include "programs/encoder/yuv_image.h"

class FramePipeline {
public:
    // `watermark` may be null; it is used, not owned.
    FramePipeline(const StreamParameters& stream, double frameRate, bool sameQuality, Watermark* watermark);

    // Turns `frame` (which it may modify, and whose planes it may swap for others of its
    // own, so that no plane is copied) into `jpeg`. False when even the lowest quality
    // does not fit the feed's limit, or the encoder failed: the frame is then dropped.
    bool Process(YuvImage& frame, std::vector<uint8_t>& jpeg);

    int LastQuality() const { return lastQuality_; }

private:
    StreamParameters stream_;
    Watermark* watermark_;
    RateControl rate_;
    JpegEncoder encoder_;
    PlaneScaler scalers_[3] = {PlaneScaler(), PlaneScaler(true), PlaneScaler(true)};
    YuvImage picture_;
    int lastQuality_ = 0;
};
