// libFuzzer target: a camera frame of any content, in any format we take (MJPG above all,
// whose frames come from the camera's own JPEG encoder), must be decoded or refused
// without touching memory outside it, to RGB or to planes. The first four bytes choose the
// format, the size, the size the picture will be scaled to and the output; the rest is the
// frame.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "programs/encoder/capture_decoder.h"
#include "programs/encoder/scale.h"
#include "programs/encoder/yuv_convert.h"

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
    int reduce = (data[3] & 0x7F) % 10;
    static CaptureDecoder decoder;  // kept, as the program keeps it, from frame to frame
    static RgbImage rgb;
    decoder.SetOutputSize(reduce ? format.width / reduce : 0, reduce ? std::abs(format.height) / reduce : 0);
    const int height = std::abs(format.height);
    std::string why;
    // Byte 3's top bit: to RGB; otherwise to planes, which then go through the pipeline's
    // steps that read them whole (scaling, the encoder's padding).
    if (data[3] & 0x80) {
        RgbImage out;
        if (decoder.Decode(format, data + 4, size - 4, out, why) &&
            (out.width <= 0 || out.height <= 0 || out.width > format.width || out.height > height ||
             out.rgb.size() != static_cast<size_t>(out.width) * static_cast<size_t>(out.height) * 3))
            __builtin_trap();
        return 0;
    }
    YuvImage out;
    if (!decoder.Decode(format, data + 4, size - 4, out, why)) return 0;
    if (out.width <= 0 || out.height <= 0 || out.width > format.width || out.height > height) __builtin_trap();
    for (const Plane* p : {&out.y, &out.cb, &out.cr})
        if (p->width <= 0 || p->height <= 0 || p->width > out.width || p->height > out.height ||
            p->stride < static_cast<size_t>(p->width) || p->data.size() < p->stride * static_cast<size_t>(p->height))
            __builtin_trap();
    if (out.y.width != out.width || out.y.height != out.height) __builtin_trap();
    PlaneScaler scaler;
    Plane scaled;
    for (const Plane* p : {&out.y, &out.cb, &out.cr}) scaler.Scale(*p, (p->width + 1) / 2, (p->height + 1) / 2, scaled);
    YuvToRgb(out, rgb);
    return 0;
}
