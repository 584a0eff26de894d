// Where the frames come from: a Video for Windows capture device or the synthetic camera.
#pragma once
#include <atomic>
#include <memory>
#include <string>

#include "common/exit_reasons.h"
#include "programs/encoder/yuv_image.h"

class VideoSource {
public:
    virtual ~VideoSource() = default;
    // Waits for the next frame, at the rate the source was opened with, in planar YCbCr
    // (reusing `frame`'s buffers; its planes may come back swapped). False when `stop`
    // was raised (error left empty) or the source failed (error says why).
    virtual bool Grab(YuvImage& frame, std::string& error) = 0;
    // The size the frames will be scaled to (0 x 0: none). A source may then deliver them
    // smaller than its own size, though never below this one.
    virtual void SetOutputSize(int width, int height) {
        (void)width;
        (void)height;
    }
    // The exit code for a camera failure not told apart from others.
    static constexpr int kFailedExit = encoder_exit::kCameraFailed;
    // After a failed Grab or open: the program's exit code for what went wrong.
    int FailureExit() const { return failure_; }

protected:
    // Set by the source when it can tell the failure apart.
    int failure_ = kFailedExit;
};

// The synthetic camera: the test pattern at `rate` frames per second, paced by the clock.
std::unique_ptr<VideoSource> OpenTestSource(double rate, const std::atomic<bool>& stop);

#ifdef _WIN32
// Video for Windows capture device `device` (0 to 9); null with a message and the exit
// code for it when it cannot be opened or delivers a format we cannot convert.
std::unique_ptr<VideoSource> OpenVfwSource(int device, double rate, const std::atomic<bool>& stop, std::string& error,
                                           int& exitCode);
#endif
