#include "programs/encoder/capture_decoder.h"

#include <cstdlib>

#include "programs/encoder/yuv_convert.h"

bool CanDecodeCaptureFormat(const CaptureFormat& format) {
    return IsUncompressedCaptureFormat(format) || IsMjpegCaptureFormat(format);
}

std::string CaptureDecoder::Refusal(const CaptureFormat& format, const uint8_t* data, size_t size) const {
    size_t needed = CaptureFrameBytes(format);
    if (needed == 0) return DescribeCaptureFormat(format) + " cannot be converted";
    if (!data || size < needed)
        return "the frame has " + std::to_string(size) + " bytes, " + DescribeCaptureFormat(format) + " at " +
               std::to_string(format.width) + "x" + std::to_string(std::abs(format.height)) + " needs " +
               std::to_string(needed);
    return std::string();
}

bool CaptureDecoder::Decode(const CaptureFormat& format, const uint8_t* data, size_t size, RgbImage& out,
                            std::string& why) {
    why.clear();
    if (IsMjpegCaptureFormat(format))
        return mjpeg_.Decode(data, size, format.width, std::abs(format.height), outputWidth_, outputHeight_, out, why);
    why = Refusal(format, data, size);
    return why.empty() && ConvertCaptureFrame(format, data, size, out);
}

bool CaptureDecoder::Decode(const CaptureFormat& format, const uint8_t* data, size_t size, YuvImage& out,
                            std::string& why) {
    why.clear();
    if (IsMjpegCaptureFormat(format))
        return mjpeg_.Decode(data, size, format.width, std::abs(format.height), outputWidth_, outputHeight_, out, why);
    why = Refusal(format, data, size);
    if (!why.empty()) return false;
    // A VGA camera streamed at QVGA, the commonest resize: halved as it is unpacked.
    if (outputWidth_ * 2 == format.width && outputHeight_ * 2 == format.height &&
        PackedFrameToHalfPlanes(format, data, size, out))
        return true;
    return CaptureFrameToPlanes(format, data, size, out, rgb_);
}
