// When each frame of a source is due: frame n at the first frame's time plus n / rate.
// A frame taken late keeps the schedule (no drift), and frames whose time passed while
// nobody took them are skipped, as a camera drops them: being behind never brings the
// next frames in a burst. Pure: the caller waits and says when it took the frame.
#pragma once
#include <chrono>
#include <cstdint>

class FramePacer {
public:
    using Clock = std::chrono::steady_clock;

    explicit FramePacer(double rate) : period_(1.0 / rate) {}

    // When the next frame is due; the first one at once.
    Clock::time_point Due() const;
    // The frame due was taken at `now` (its time or later): its number on the schedule,
    // from 0, leaving out the frames skipped.
    int64_t Take(Clock::time_point now);

private:
    std::chrono::duration<double> period_;
    bool started_ = false;
    Clock::time_point start_;
    int64_t next_ = 0;
};
