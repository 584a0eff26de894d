#include "programs/encoder/rate_control.h"

#include <algorithm>
#include <cmath>

RateControl::RateControl(int64_t bitRate, int64_t tolerance, double frameRate, int64_t maxFrameBytes, bool sameQuality)
    : bitRate_(bitRate), tolerance_(tolerance), frameRate_(frameRate > 0 ? frameRate : 25), maxFrame_(maxFrameBytes),
      quality_(bitRate > 0   ? 60
               : sameQuality ? kSameQuality
                             : kDefaultQuality) {
    // Without an explicit tolerance, a tenth of the rate (and at least what one frame weighs).
    if (bitRate_ > 0 && tolerance_ <= 0)
        tolerance_ = std::max<int64_t>(bitRate_ / 10, static_cast<int64_t>(bitRate_ / frameRate_));
}

void RateControl::FrameSent(size_t bytes) {
    ++frames_;
    // The first frames set the average; then about a second's memory.
    double weight = std::max(1.0 / frames_, std::min(1.0, 1.0 / frameRate_));
    recentBytes_ += (static_cast<double>(bytes) - recentBytes_) * weight;
    if (bitRate_ <= 0) return;
    double rate = RecentBitRate();
    double low = static_cast<double>(bitRate_ - tolerance_), high = static_cast<double>(bitRate_ + tolerance_);
    // Inside the band the quality holds still unless the average drifts toward its edges.
    if (rate >= low + (high - low) / 4 && rate <= high - (high - low) / 4) return;
    // JPEG size roughly doubles per ~15 quality steps in the middle range. The step follows
    // this frame's own size (the average lags by a second and would make the loop swing).
    double target = static_cast<double>(bitRate_) / 8 / frameRate_;
    double step = -std::log2(std::max(1.0, static_cast<double>(bytes)) / target) * 15.0 * 0.3;
    step = std::max(-8.0, std::min(8.0, step));
    quality_ = std::max<double>(kMinQuality, std::min<double>(kMaxQuality, quality_ + step));
}

int RateControl::LowerForLimit(int tried, size_t bytes) const {
    if (tried <= kMinQuality) return -1;
    // Shrink by more the further the frame is over the limit.
    double over = maxFrame_ > 0 ? static_cast<double>(bytes) / static_cast<double>(maxFrame_) : 1;
    int next = static_cast<int>(tried / std::max(1.3, over));
    return std::max(kMinQuality, std::min(tried - 1, next));
}
