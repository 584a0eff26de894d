#include "programs/encoder/frame_pipeline.h"

#include "programs/encoder/scale.h"

FramePipeline::FramePipeline(const StreamParameters& stream, double frameRate, bool sameQuality, Watermark* watermark)
    : stream_(stream), watermark_(watermark),
      rate_(stream.bitRate, stream.bitRateTolerance, frameRate, stream.fileMaxSize, sameQuality) {}

bool FramePipeline::Process(RgbImage& frame, std::vector<uint8_t>& jpeg) {
    RgbImage* picture = &frame;
    if (stream_.width > 0 && (stream_.width != frame.width || stream_.height != frame.height)) {
        ScaleBilinear(frame, stream_.width, stream_.height, scaled_);
        picture = &scaled_;
    }
    if (watermark_) watermark_->Apply(*picture);
    int quality = rate_.Quality();
    for (;;) {
        if (!encoder_.Encode(*picture, quality, jpeg)) return false;
        if (rate_.FitsLimit(jpeg.size())) break;
        quality = rate_.LowerForLimit(quality, jpeg.size());
        if (quality < 0) return false;
    }
    lastQuality_ = quality;
    rate_.FrameSent(jpeg.size());
    return true;
}
