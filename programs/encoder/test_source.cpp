#include <chrono>
#include <cstdint>
#include <thread>

#include "programs/encoder/frame_pacer.h"
#include "programs/encoder/test_pattern.h"
#include "programs/encoder/video_source.h"
#include "programs/encoder/yuv_convert.h"

namespace {

using Clock = FramePacer::Clock;

class TestSource : public VideoSource {
public:
    TestSource(double rate, const std::atomic<bool>& stop) : rate_(rate), stop_(stop), pacer_(rate) {}

    bool Grab(YuvImage& frame, std::string& error) override {
        error.clear();
        auto due = pacer_.Due();
        // Short sleeps, so that a stop request is seen within a few milliseconds.
        while (Clock::now() < due) {
            if (stop_) return false;
            auto left = due - Clock::now();
            std::this_thread::sleep_for(std::min<Clock::duration>(left, std::chrono::milliseconds(20)));
        }
        if (stop_) return false;
        // Drawn in RGB and converted once; the frame's number on the schedule moves the clock.
        DrawTestPattern(pacer_.Take(Clock::now()), rate_, rgb_);
        RgbToYuv420(rgb_, frame);
        return true;
    }

private:
    double rate_;
    const std::atomic<bool>& stop_;
    FramePacer pacer_;
    RgbImage rgb_;
};

}  // namespace

std::unique_ptr<VideoSource> OpenTestSource(double rate, const std::atomic<bool>& stop) {
    return std::unique_ptr<VideoSource>(new TestSource(rate, stop));
}
