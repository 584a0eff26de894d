// Decoding the JPEG frames of MJPG cameras (libjpeg-turbo): to the planes they are coded
// in, or to RGB.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "programs/encoder/image.h"
#include "programs/encoder/yuv_image.h"

class MjpegDecoder {
public:
    // Decodes one frame that the camera's format says is `width` x `height`. Webcams leave
    // out the Huffman tables when they are the standard ones; the library supplies those.
    // When the picture will be scaled down to `minWidth` x `minHeight` anyway (0 for the
    // full size), it is decoded at the smallest reduced scale (1/2, 1/4, 1/8) that still
    // covers that size, which saves most of the work. False, with `why`, for a frame that is
    // not a JPEG, is damaged or cut short, or has another size than the format.
    bool Decode(const uint8_t* data, size_t size, int width, int height, int minWidth, int minHeight, RgbImage& out,
                std::string& why);
    // The same to planes, without colour conversion or chroma upsampling: the luma at the
    // decoded size and the chroma as the camera subsampled it. Frames in other colour
    // layouts go through RGB.
    bool Decode(const uint8_t* data, size_t size, int width, int height, int minWidth, int minHeight, YuvImage& out,
                std::string& why);

private:
    bool DecodeTo(const uint8_t* data, size_t size, int width, int height, int minWidth, int minHeight, RgbImage& rgb,
                  YuvImage* yuv, std::string& why);

    std::vector<uint8_t*> rows_;
    RgbImage rgb_;
};
