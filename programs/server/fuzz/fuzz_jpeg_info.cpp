// The picture check on any part a feeder sends: it reads nothing outside the part, gives a
// size in range for what it accepts, and once a part's start is accepted, what follows it
// does not change the answer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>

#include "programs/server/jpeg_info.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int width = 0, height = 0;
    bool whole = JpegFrameSize(data, size, width, height);
    if (whole && (width < 1 || width > 65535 || height < 1 || height > 65535)) std::abort();
    for (size_t cut : {size / 2, size ? size - 1 : 0}) {
        int w = 0, h = 0;
        if (JpegFrameSize(data, cut, w, h) && (!whole || w != width || h != height)) std::abort();
    }
    return 0;
}
