// JPEG encoding of RGB frames (libjpeg-turbo), 4:2:0, into a reused buffer.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "programs/encoder/image.h"

class JpegEncoder {
public:
    JpegEncoder();
    ~JpegEncoder();
    JpegEncoder(const JpegEncoder&) = delete;
    JpegEncoder& operator=(const JpegEncoder&) = delete;

    // Encodes at quality 1..100; false only if the library failed (out of memory).
    bool Encode(const RgbImage& image, int quality, std::vector<uint8_t>& out);

private:
    struct State;
    std::unique_ptr<State> state_;
};
