// Turning a capture driver's frame into RGB. The driver says what it delivers with a
// BITMAPINFOHEADER; these are its fields, so the conversion stays free of <windows.h>.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "programs/encoder/image.h"

struct CaptureFormat {
    uint32_t compression = 0;  // 0 (BI_RGB), 3 (BI_BITFIELDS) or a FOURCC such as 'YUY2'
    int bitCount = 0;
    int width = 0;
    int height = 0;  // for RGB, positive means the rows are stored bottom-up
};

constexpr uint32_t FourCC(char a, char b, char c, char d) {
    return static_cast<uint32_t>(static_cast<uint8_t>(a)) | (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8) |
           (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24);
}

// True for the uncompressed formats ConvertCaptureFrame understands, at a sane size:
// RGB 16 (5-5-5), 24 and 32; YUY2/YUYV, UYVY, I420/IYUV, YV12 and NV12. MJPG is not one
// of them (see IsMjpegCaptureFormat; CanDecodeCaptureFormat takes both).
bool IsUncompressedCaptureFormat(const CaptureFormat& format);

// Converts one frame; false when the format is unsupported or `size` is too small for it.
bool ConvertCaptureFrame(const CaptureFormat& format, const uint8_t* data, size_t size, RgbImage& out);

// The bytes one frame of a supported uncompressed format needs (rows of RGB padded to
// four bytes); 0 for any other format.
size_t CaptureFrameBytes(const CaptureFormat& format);

// MJPG at a sane size: each frame is a JPEG picture, decoded by MjpegDecoder.
bool IsMjpegCaptureFormat(const CaptureFormat& format);

// What to ask a camera for when its own format cannot be used: formats we convert, at the
// camera's size, most widely offered first.
std::vector<CaptureFormat> FormatsToRequest(const CaptureFormat& current);

// "YUY2", "RGB24", or the number, for messages.
std::string DescribeCaptureFormat(const CaptureFormat& format);
