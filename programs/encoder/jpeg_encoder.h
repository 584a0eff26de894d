// JPEG encoding (libjpeg-turbo), 4:2:0, into a reused buffer: from RGB, or from planes as
// they are (no colour conversion, no subsampling).
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "programs/encoder/image.h"
#include "programs/encoder/yuv_image.h"

class JpegEncoder {
public:
    JpegEncoder();
    ~JpegEncoder();
    JpegEncoder(const JpegEncoder&) = delete;
    JpegEncoder& operator=(const JpegEncoder&) = delete;

    // Encodes at quality 1..100; false only if the library failed (out of memory).
    bool Encode(const RgbImage& image, int quality, std::vector<uint8_t>& out);
    // The same from a 4:2:0 picture (YuvImage::Is420); the planes' padding is filled in
    // with their last column, as the library reads whole blocks.
    bool Encode(YuvImage& image, int quality, std::vector<uint8_t>& out);

private:
    struct State;
    std::unique_ptr<State> state_;
};
