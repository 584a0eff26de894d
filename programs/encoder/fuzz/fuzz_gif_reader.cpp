// libFuzzer target: the GIF reader must refuse or decode any input without touching
// memory outside it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "programs/encoder/gif_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    RgbImage image;
    std::string error;
    if (ReadGif(data, size, image, error) &&
        image.rgb.size() != static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 3)
        __builtin_trap();
    return 0;
}
