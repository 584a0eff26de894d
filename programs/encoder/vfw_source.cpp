// Video for Windows capture: a hidden capture window connected to the driver, one frame
// grabbed per period, converted or decoded from the camera's own format.
#include <windows.h>
#include <vfw.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

#include "programs/encoder/capture_decoder.h"
#include "programs/encoder/frame_pacer.h"
#include "programs/encoder/say.h"
#include "programs/encoder/video_source.h"
#include "programs/encoder/watchdog.h"

namespace {

using Clock = FramePacer::Clock;

// The panel releases the driver just before it starts us; the driver may still be closing.
constexpr auto kConnectRetry = std::chrono::seconds(3);
// A camera that delivers nothing for this long, from the start or later, is taken as gone.
constexpr auto kFirstFrameTimeout = std::chrono::seconds(10);
constexpr auto kFrameTimeout = std::chrono::seconds(5);
// Connecting, the format and disconnecting take a driver well under a second.
constexpr auto kDriverCallLimit = std::chrono::seconds(10);
// How soon the wait for the next frame sees a stop.
constexpr std::chrono::milliseconds kStopPoll{50};
// Messages about unusable frames: the first at once, then at most one in this time.
constexpr auto kSkipMessageInterval = std::chrono::seconds(5);

const char kLikelyCauses[] =
    "likely causes: another program is using the camera, the camera was unplugged, or Windows' camera "
    "privacy setting blocks desktop apps (Settings, Privacy, Camera)";

long Seconds(Clock::duration d) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(d).count());
}

// A driver call that never returns cannot be undone: say so and end, so the panel sees the
// encoder gone. TerminateProcess, as the stuck thread may hold locks that an orderly exit needs.
void DriverHung(const std::string& what, Clock::duration limit) {
    Say("the camera driver has not returned from " + what + " for " + std::to_string(Seconds(limit)) + " s; " +
        kLikelyCauses + "; ending");
    TerminateProcess(GetCurrentProcess(), encoder_exit::kDriverHung);
}

class VfwSource : public VideoSource {
public:
    VfwSource(int device, double rate, const std::atomic<bool>& stop)
        : device_(device), stop_(stop), watchdog_(DriverHung), pacer_(rate) {}

    ~VfwSource() override {
        if (window_) {
            if (connected_) {
                Watchdog::Guard guard(watchdog_, "disconnecting", kDriverCallLimit);
                capSetCallbackOnFrame(window_, nullptr);
                capDriverDisconnect(window_);
            }
            DestroyWindow(window_);
        }
    }

    bool Open(std::string& error) {
        window_ = capCreateCaptureWindowW(L"orvane capture", WS_POPUP, 0, 0, 320, 240, nullptr, 0);
        if (!window_) {
            error = "cannot create a Video for Windows capture window (error " + std::to_string(GetLastError()) + ")";
            failure_ = encoder_exit::kNoCamera;
            return false;
        }
        if (!Connect()) {
            failure_ = encoder_exit::kCameraBusy;
            error = Device() + " cannot be opened (tried for " + std::to_string(Seconds(kConnectRetry)) + " s); " +
                    kLikelyCauses;
            return false;
        }
        if (!ReadFormat()) {
            error = Device() + " does not report its video format";
            return false;
        }
        // The camera's own format whenever we can use it: a camera that sends only MJPG
        // refuses anything else. Otherwise ask for one we convert, and believe only what the
        // driver reports afterwards (some accept a format and keep their own).
        if (!CanDecodeCaptureFormat(format_)) {
            CaptureFormat own = format_;
            for (const CaptureFormat& wanted : FormatsToRequest(own)) {
                BITMAPINFOHEADER h{};
                h.biSize = sizeof h;
                h.biWidth = wanted.width;
                h.biHeight = wanted.height;
                h.biPlanes = 1;
                h.biBitCount = static_cast<WORD>(wanted.bitCount);
                h.biCompression = wanted.compression;
                h.biSizeImage = static_cast<DWORD>(CaptureFrameBytes(wanted));
                {
                    Watchdog::Guard guard(watchdog_, "setting the video format", kDriverCallLimit);
                    capSetVideoFormat(window_, &h, sizeof h);
                }
                if (ReadFormat() && CanDecodeCaptureFormat(format_)) break;
            }
        }
        if (!CanDecodeCaptureFormat(format_)) {
            error = Device() + " delivers " + DescribeCaptureFormat(format_) + " at " + std::to_string(format_.width) +
                    "x" + std::to_string(format_.height) +
                    ", which cannot be converted (choose YUY2, NV12, MJPG or RGB in the driver's format dialog)";
            failure_ = encoder_exit::kCameraFormat;
            return false;
        }
        capSetUserData(window_, reinterpret_cast<LPARAM>(this));
        capSetCallbackOnFrame(window_, OnFrame);
        return true;
    }

    void SetOutputSize(int width, int height) override { decoder_.SetOutputSize(width, height); }

    bool Grab(YuvImage& frame, std::string& error) override {
        error.clear();
        if (!grabbing_) {
            grabbing_ = true;
            lastFrame_ = Clock::now();
        }
        for (;;) {
            // Until the frame is due (rounded up, so that no wake falls just short of it),
            // handling messages as they come; a stop is seen within kStopPoll. Behind
            // schedule there is no wait, and the queue is looked at once a frame.
            auto due = pacer_.Due();
            bool waited = false;
            while (Clock::now() < due) {
                if (stop_) return false;
                auto left = std::chrono::ceil<std::chrono::milliseconds>(due - Clock::now());
                if (MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(std::min(left, kStopPoll).count()),
                                                QS_ALLINPUT, MWMO_INPUTAVAILABLE) == WAIT_OBJECT_0)
                    Pump();
                waited = true;
            }
            if (!waited) Pump();
            if (stop_) return false;
            pacer_.Take(Clock::now());
            got_ = false;
            why_.clear();
            auto timeout = delivered_ ? kFrameTimeout : kFirstFrameTimeout;
            BOOL grabbed;
            {
                // The frame callback runs inside this call, on this thread.
                Watchdog::Guard guard(watchdog_, "grabbing a frame", timeout);
                grabbed = capGrabFrameNoStop(window_);
            }
            if (got_) {
                // Swapped, not moved: both buffers stay for the frames to come.
                std::swap(frame, converted_);
                lastFrame_ = Clock::now();
                delivered_ = true;
                return true;
            }
            if (!grabbed) ++grabFailures_;
            if (!why_.empty()) Skipped();
            if (Clock::now() - lastFrame_ > timeout) {
                error = NoPictureMessage(timeout);
                // Pictures that stopped coming: most often a camera unplugged.
                failure_ = delivered_ ? encoder_exit::kCameraGone : encoder_exit::kNoPicture;
                return false;
            }
        }
    }

private:
    std::string Device() const { return "capture device " + std::to_string(device_); }

    bool Connect() {
        auto giveUp = Clock::now() + kConnectRetry;
        for (;;) {
            {
                Watchdog::Guard guard(watchdog_, "connecting to " + Device(), kDriverCallLimit);
                connected_ = capDriverConnect(window_, device_) != FALSE;
            }
            if (connected_ || stop_ || Clock::now() >= giveUp) return connected_;
            Pump();
            Sleep(200);
        }
    }

    bool ReadFormat() {
        Watchdog::Guard guard(watchdog_, "reading the video format", kDriverCallLimit);
        DWORD size = capGetVideoFormatSize(window_);
        if (size < sizeof(BITMAPINFOHEADER)) return false;
        std::vector<uint8_t> info(size);
        if (!capGetVideoFormat(window_, info.data(), static_cast<WPARAM>(info.size()))) return false;
        const BITMAPINFOHEADER& h = *reinterpret_cast<const BITMAPINFOHEADER*>(info.data());
        format_.compression = h.biCompression;
        format_.bitCount = h.biBitCount;
        format_.width = h.biWidth;
        format_.height = h.biHeight;
        return true;
    }

    void Skipped() {
        ++skipped_;
        auto now = Clock::now();
        if (skipped_ > 1 && now - lastSkipMessage_ < kSkipMessageInterval) return;
        lastSkipMessage_ = now;
        Say("skipped a camera frame that cannot be shown (" + why_ + "); " + std::to_string(skipped_) +
            " skipped so far");
    }

    std::string NoPictureMessage(Clock::duration timeout) const {
        std::string text = delivered_ ? "the camera has delivered no picture for "
                                      : "the camera delivered no picture in the first ";
        text += std::to_string(Seconds(timeout)) + " s";
        if (grabFailures_) text += " (the driver refused " + std::to_string(grabFailures_) + " frame requests)";
        if (skipped_) text += " (" + std::to_string(skipped_) + " frames could not be shown)";
        return text + "; " + kLikelyCauses;
    }

    static LRESULT CALLBACK OnFrame(HWND window, VIDEOHDR* header) {
        auto* self = reinterpret_cast<VfwSource*>(capGetUserData(window));
        if (self && header && header->lpData) {
            // Some drivers leave dwBytesUsed at zero for uncompressed frames.
            DWORD bytes = header->dwBytesUsed ? header->dwBytesUsed : header->dwBufferLength;
            self->got_ = self->decoder_.Decode(self->format_, header->lpData, bytes, self->converted_, self->why_);
        }
        return TRUE;
    }

    void Pump() {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }

    int device_;
    const std::atomic<bool>& stop_;
    Watchdog watchdog_;
    HWND window_ = nullptr;
    bool connected_ = false;
    CaptureFormat format_;
    CaptureDecoder decoder_;
    FramePacer pacer_;
    Clock::time_point lastFrame_, lastSkipMessage_;
    bool grabbing_ = false, got_ = false, delivered_ = false;
    std::string why_;
    long skipped_ = 0, grabFailures_ = 0;
    YuvImage converted_;
};

}  // namespace

std::unique_ptr<VideoSource> OpenVfwSource(int device, double rate, const std::atomic<bool>& stop, std::string& error,
                                           int& exitCode) {
    std::unique_ptr<VfwSource> source(new VfwSource(device, rate, stop));
    if (!source->Open(error)) {
        exitCode = source->FailureExit();
        return nullptr;
    }
    return std::unique_ptr<VideoSource>(source.release());
}
