// One camera frame to planar YCbCr (or to RGB), whatever the camera sends: the
// uncompressed formats that ConvertCaptureFrame knows, and MJPG.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "programs/encoder/capture_format.h"
#include "programs/encoder/image.h"
#include "programs/encoder/mjpeg_decoder.h"
#include "programs/encoder/yuv_image.h"

// True when CaptureDecoder can turn frames of `format` into pictures.
bool CanDecodeCaptureFormat(const CaptureFormat& format);

class CaptureDecoder {
public:
    // The size the pictures will be scaled to; 0 x 0 keeps the camera's own. An MJPG
    // frame may then be decoded smaller, never below this size.
    void SetOutputSize(int width, int height) {
        outputWidth_ = width;
        outputHeight_ = height;
    }

    // False, with `why`, when the frame cannot be shown: too short for its format, or a
    // damaged, truncated or wrongly sized JPEG.
    bool Decode(const CaptureFormat& format, const uint8_t* data, size_t size, RgbImage& out, std::string& why);
    // The same to planes, in the camera's own chroma layout (see CaptureFrameToPlanes and
    // MjpegDecoder); reusing `out`'s buffers.
    bool Decode(const CaptureFormat& format, const uint8_t* data, size_t size, YuvImage& out, std::string& why);

private:
    // The frame's fault when it cannot be converted; empty when it can.
    std::string Refusal(const CaptureFormat& format, const uint8_t* data, size_t size) const;

    MjpegDecoder mjpeg_;
    RgbImage rgb_;
    int outputWidth_ = 0, outputHeight_ = 0;
};
