#include "programs/encoder/capture_decoder.h"

#include <cstdlib>

bool CanDecodeCaptureFormat(const CaptureFormat& format) {
    return IsSupportedCaptureFormat(format) || IsMjpegCaptureFormat(format);
}

bool CaptureDecoder::Decode(const CaptureFormat& format, const uint8_t* data, size_t size, RgbImage& out,
                            std::string& why) {
    why.clear();
    if (IsMjpegCaptureFormat(format))
        return mjpeg_.Decode(data, size, format.width, std::abs(format.height), outputWidth_, outputHeight_, out, why);
    size_t needed = CaptureFrameBytes(format);
    if (needed == 0) {
        why = DescribeCaptureFormat(format) + " cannot be converted";
        return false;
    }
    if (!data || size < needed) {
        why = "the frame has " + std::to_string(size) + " bytes, " + DescribeCaptureFormat(format) + " at " +
              std::to_string(format.width) + "x" + std::to_string(std::abs(format.height)) + " needs " +
              std::to_string(needed);
        return false;
    }
    return ConvertCaptureFrame(format, data, size, out);
}
