#include "programs/encoder/frame_pipeline.h"

#include <utility>

FramePipeline::FramePipeline(const StreamParameters& stream, double frameRate, bool sameQuality, Watermark* watermark)
    : stream_(stream), watermark_(watermark),
      rate_(stream.bitRate, stream.bitRateTolerance, frameRate, stream.fileMaxSize, sameQuality) {}

bool FramePipeline::Process(YuvImage& frame, std::vector<uint8_t>& jpeg) {
    const bool resize = stream_.width > 0 && stream_.height > 0;
    const int w = resize ? stream_.width : frame.width, h = resize ? stream_.height : frame.height;
    picture_.width = w;
    picture_.height = h;
    // A plane already at its size is taken over (swapped, the frame gets the old buffer
    // back for the next capture); the others are scaled.
    Plane* from[3] = {&frame.y, &frame.cb, &frame.cr};
    Plane* to[3] = {&picture_.y, &picture_.cb, &picture_.cr};
    const int widths[3] = {w, (w + 1) / 2, (w + 1) / 2}, heights[3] = {h, (h + 1) / 2, (h + 1) / 2};
    for (int i = 0; i < 3; ++i) {
        if (from[i]->width == widths[i] && from[i]->height == heights[i]) std::swap(*from[i], *to[i]);
        else scalers_[i].Scale(*from[i], widths[i], heights[i], *to[i]);
    }
    if (watermark_) watermark_->Apply(picture_);
    int quality = rate_.Quality();
    for (;;) {
        if (!encoder_.Encode(picture_, quality, jpeg)) return false;
        if (rate_.FitsLimit(jpeg.size())) break;
        quality = rate_.LowerForLimit(quality, jpeg.size());
        if (quality < 0) return false;
    }
    lastQuality_ = quality;
    rate_.FrameSent(jpeg.size());
    return true;
}
