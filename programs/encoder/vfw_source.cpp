// Video for Windows capture: a hidden capture window connected to the driver, one frame
// grabbed per period, converted from the driver's format.
#include <windows.h>
#include <vfw.h>

#include <chrono>
#include <vector>

#include "programs/encoder/capture_format.h"
#include "programs/encoder/video_source.h"

namespace {

using Clock = std::chrono::steady_clock;

// A camera that delivers nothing for this long is taken as gone.
constexpr auto kFrameTimeout = std::chrono::seconds(5);

class VfwSource : public VideoSource {
public:
    VfwSource(double rate, const std::atomic<bool>& stop) : rate_(rate), stop_(stop) {}

    ~VfwSource() override {
        if (window_) {
            capSetCallbackOnFrame(window_, nullptr);
            if (connected_) capDriverDisconnect(window_);
            DestroyWindow(window_);
        }
    }

    bool Open(int device, std::string& error) {
        window_ = capCreateCaptureWindowW(L"orvane capture", WS_POPUP, 0, 0, 320, 240, nullptr, 0);
        if (!window_) {
            error = "cannot create a Video for Windows capture window (error " + std::to_string(GetLastError()) + ")";
            return false;
        }
        if (!capDriverConnect(window_, device)) {
            error = "capture device " + std::to_string(device) + " cannot be opened (absent or in use)";
            return false;
        }
        connected_ = true;
        DWORD size = capGetVideoFormatSize(window_);
        if (size < sizeof(BITMAPINFOHEADER)) {
            error = "capture device " + std::to_string(device) + " does not report its video format";
            return false;
        }
        ReadFormat(size);
        if (!IsSupportedCaptureFormat(format_) && format_.width > 0 && format_.height != 0) {
            // A compressed format (MJPG and the like): ask the driver for plain RGB at the same size.
            BITMAPINFOHEADER rgb{};
            rgb.biSize = sizeof rgb;
            rgb.biWidth = format_.width;
            rgb.biHeight = format_.height < 0 ? -format_.height : format_.height;
            rgb.biPlanes = 1;
            rgb.biBitCount = 24;
            rgb.biCompression = BI_RGB;
            rgb.biSizeImage = static_cast<DWORD>(((rgb.biWidth * 3 + 3) & ~3) * rgb.biHeight);
            if (capSetVideoFormat(window_, &rgb, sizeof rgb)) ReadFormat(capGetVideoFormatSize(window_));
        }
        if (!IsSupportedCaptureFormat(format_)) {
            error = "capture device " + std::to_string(device) + " delivers " + DescribeCaptureFormat(format_) + " at " +
                    std::to_string(format_.width) + "x" + std::to_string(format_.height) +
                    ", which cannot be converted (choose RGB or YUY2 in the driver's format dialog)";
            return false;
        }
        capSetUserData(window_, reinterpret_cast<LPARAM>(this));
        capSetCallbackOnFrame(window_, OnFrame);
        start_ = Clock::now();
        lastFrame_ = start_;
        return true;
    }

    bool Grab(RgbImage& frame, std::string& error) override {
        error.clear();
        for (;;) {
            auto due = start_ + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(count_ / rate_));
            while (Clock::now() < due) {
                if (stop_) return false;
                Pump();
                auto left = std::chrono::duration_cast<std::chrono::milliseconds>(due - Clock::now()).count();
                Sleep(static_cast<DWORD>(left > 20 ? 20 : left < 1 ? 1 : left));
            }
            if (stop_) return false;
            ++count_;
            if (Clock::now() - due > std::chrono::seconds(1)) {  // far behind: restart the schedule
                start_ = Clock::now();
                count_ = 1;
            }
            got_ = false;
            // The frame callback runs inside this call, on this thread.
            capGrabFrameNoStop(window_);
            Pump();
            if (got_) {
                frame = std::move(converted_);
                lastFrame_ = Clock::now();
                return true;
            }
            if (Clock::now() - lastFrame_ > kFrameTimeout) {
                error = "the camera stopped delivering frames";
                return false;
            }
        }
    }

private:
    void ReadFormat(DWORD size) {
        std::vector<uint8_t> info(size < sizeof(BITMAPINFOHEADER) ? sizeof(BITMAPINFOHEADER) : size);
        capGetVideoFormat(window_, info.data(), static_cast<WPARAM>(info.size()));
        const BITMAPINFOHEADER& h = *reinterpret_cast<const BITMAPINFOHEADER*>(info.data());
        format_.compression = h.biCompression;
        format_.bitCount = h.biBitCount;
        format_.width = h.biWidth;
        format_.height = h.biHeight;
    }

    static LRESULT CALLBACK OnFrame(HWND window, VIDEOHDR* header) {
        auto* self = reinterpret_cast<VfwSource*>(capGetUserData(window));
        if (self && header && header->lpData) {
            // Some drivers leave dwBytesUsed at zero for uncompressed frames.
            DWORD bytes = header->dwBytesUsed ? header->dwBytesUsed : header->dwBufferLength;
            self->got_ = ConvertCaptureFrame(self->format_, header->lpData, bytes, self->converted_);
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

    double rate_;
    const std::atomic<bool>& stop_;
    HWND window_ = nullptr;
    bool connected_ = false;
    CaptureFormat format_;
    Clock::time_point start_, lastFrame_;
    int64_t count_ = 0;
    bool got_ = false;
    RgbImage converted_;
};

}  // namespace

std::unique_ptr<VideoSource> OpenVfwSource(int device, double rate, const std::atomic<bool>& stop, std::string& error) {
    std::unique_ptr<VfwSource> source(new VfwSource(rate, stop));
    if (!source->Open(device, error)) return nullptr;
    return std::unique_ptr<VideoSource>(source.release());
}
