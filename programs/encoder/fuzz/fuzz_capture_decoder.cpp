// libFuzzer target: a camera frame of any content, in any format we take (MJPG above all,
// whose frames come from the camera's own JPEG encoder), must be decoded or refused
// without touching memory outside it. The first four bytes choose the format, the size
// and the size the picture will be scaled to; the rest is the frame.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "programs/encoder/capture_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    static const CaptureFormat kFormats[] = {
        {FourCC('M', 'J', 'P', 'G'), 24, 0, 0},
        {FourCC('Y', 'U', 'Y', '2'), 16, 0, 0},
        {FourCC('U', 'Y', 'V', 'Y'), 16, 0, 0},
        {FourCC('N', 'V', '1', '2'), 12, 0, 0},
        {FourCC('I', '4', '2', '0'), 12, 0, 0},
        {0, 24, 0, 0},
        {0, 32, 0, 0},
    };
    CaptureFormat format = kFormats[data[0] % (sizeof kFormats / sizeof kFormats[0])];
    format.width = 2 * (data[1] % 128 + 1);
    format.height = 2 * (data[2] % 128 + 1);
    if (format.compression == 0 && data[0] & 0x80) format.height = -format.height;
    int reduce = data[3] % 10;
    CaptureDecoder decoder;
    if (reduce) decoder.SetOutputSize(format.width / reduce, std::abs(format.height) / reduce);
    RgbImage out;
    std::string why;
    if (decoder.Decode(format, data + 4, size - 4, out, why) &&
        (out.width <= 0 || out.height <= 0 || out.width > format.width || out.height > std::abs(format.height) ||
         out.rgb.size() != static_cast<size_t>(out.width) * static_cast<size_t>(out.height) * 3))
        __builtin_trap();
    return 0;
}
