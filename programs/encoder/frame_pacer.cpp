#include "programs/encoder/frame_pacer.h"

#include <cmath>

FramePacer::Clock::time_point FramePacer::Due() const {
    if (!started_) return Clock::time_point::min();
    return start_ + std::chrono::duration_cast<Clock::duration>(period_ * static_cast<double>(next_));
}

int64_t FramePacer::Take(Clock::time_point now) {
    if (!started_) {
        started_ = true;
        start_ = now;
    }
    // The last frame whose time has come: those before it were missed.
    auto latest = static_cast<int64_t>(std::floor(std::chrono::duration<double>(now - start_) / period_));
    if (latest > next_) next_ = latest;
    return next_++;
}
