// Choosing each frame's JPEG quality.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr int kSameQuality = 90;     // -sameq: high quality, still 4:2:0
constexpr int kDefaultQuality = 75;  // neither a bit rate nor -sameq
constexpr int kMinQuality = 2;
constexpr int kMaxQuality = 95;

// With a bit rate, the quality follows the sizes of the frames sent: it moves in
// proportion to the logarithm of how far the recent rate is from the target, and holds
// while that rate stays within the tolerance. Every frame must also stay below the
// feed's size limit, whatever the mode: FitsLimit and LowerForLimit serve the re-encoding
// of a frame that does not fit.
class RateControl {
public:
    // bitRate and tolerance in bit/s (0: no bit rate), frameRate in frames/s,
    // maxFrameBytes the largest frame the feed keeps (0: no limit).
    RateControl(int64_t bitRate, int64_t tolerance, double frameRate, int64_t maxFrameBytes, bool sameQuality);

    int Quality() const { return static_cast<int>(quality_ + 0.5); }
    // Records a frame that was sent, at the quality it was encoded with.
    void FrameSent(size_t bytes);

    bool FitsLimit(size_t bytes) const { return maxFrame_ == 0 || static_cast<int64_t>(bytes) < maxFrame_; }
    // A lower quality to retry a frame of `bytes` that did not fit after encoding at `tried`;
    // -1 when even the lowest quality was tried.
    int LowerForLimit(int tried, size_t bytes) const;

    // The rate of the last second of frames, bit/s.
    double RecentBitRate() const { return recentBytes_ * 8 * frameRate_; }

private:
    int64_t bitRate_, tolerance_;
    double frameRate_;
    int64_t maxFrame_;
    double quality_;
    double recentBytes_ = 0;  // exponential average of frame sizes over about a second
    int frames_ = 0;
};
