#include <chrono>
#include <cstdint>
#include <thread>

#include "programs/encoder/test_pattern.h"
#include "programs/encoder/video_source.h"
#include "programs/encoder/yuv_convert.h"

namespace {

using Clock = std::chrono::steady_clock;

class TestSource : public VideoSource {
public:
    TestSource(double rate, const std::atomic<bool>& stop) : rate_(rate), stop_(stop), start_(Clock::now()) {}

    bool Grab(YuvImage& frame, std::string& error) override {
        error.clear();
        auto due = start_ + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(frame_ / rate_));
        // Short sleeps, so that a stop request is seen within a few milliseconds.
        while (Clock::now() < due) {
            if (stop_) return false;
            auto left = due - Clock::now();
            std::this_thread::sleep_for(std::min<Clock::duration>(left, std::chrono::milliseconds(20)));
        }
        if (stop_) return false;
        // Far behind (a stalled consumer): skip ahead, as a camera drops frames.
        auto lateBy = Clock::now() - due;
        if (lateBy > std::chrono::seconds(1))
            frame_ += static_cast<int64_t>(std::chrono::duration<double>(lateBy).count() * rate_);
        // Drawn in RGB and converted once.
        DrawTestPattern(frame_++, rate_, rgb_);
        RgbToYuv420(rgb_, frame);
        return true;
    }

private:
    double rate_;
    const std::atomic<bool>& stop_;
    Clock::time_point start_;
    int64_t frame_ = 0;
    RgbImage rgb_;
};

}  // namespace

std::unique_ptr<VideoSource> OpenTestSource(double rate, const std::atomic<bool>& stop) {
    return std::unique_ptr<VideoSource>(new TestSource(rate, stop));
}
