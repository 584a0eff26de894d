#include "programs/server/jpeg_info.h"

bool JpegFrameSize(const unsigned char* d, size_t size, int& width, int& height) {
    if (size < 4 || d[0] != 0xFF || d[1] != 0xD8) return false;
    size_t i = 2;
    while (i + 4 <= size) {
        if (d[i] != 0xFF) return false;
        unsigned char marker = d[i + 1];
        if (marker == 0xFF) {  // fill byte
            ++i;
            continue;
        }
        if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            i += 2;
            continue;
        }
        if (marker == 0xD9 || marker == 0xDA) return false;  // image data before any frame header
        size_t length = (static_cast<size_t>(d[i + 2]) << 8) | d[i + 3];
        if (length < 2) return false;
        bool sof = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (sof) {
            if (length < 7 || i + 9 > size) return false;
            height = (d[i + 5] << 8) | d[i + 6];
            width = (d[i + 7] << 8) | d[i + 8];
            return width > 0 && height > 0;
        }
        i += 2 + length;
    }
    return false;
}
