#include "programs/server/jpeg_info.h"

#include <cstring>

namespace {

// Where the marker after the entropy-coded data that starts at `from` begins
// (stuffed zero bytes and restart markers belong to the data), or size when
// the data runs to the end.
size_t ScanEnd(const unsigned char* d, size_t size, size_t from) {
    for (size_t i = from; i + 1 < size;) {
        const void* ff = std::memchr(d + i, 0xFF, size - 1 - i);
        if (!ff) return size;
        i = static_cast<size_t>(static_cast<const unsigned char*>(ff) - d);
        unsigned char next = d[i + 1];
        if (next != 0x00 && next != 0xFF && (next < 0xD0 || next > 0xD7)) return i;
        i += next == 0xFF ? 1 : 2;  // a fill byte may come before a marker
    }
    return size;
}

}  // namespace

bool JpegFrameSize(const unsigned char* d, size_t size, int& width, int& height) {
    if (size < 4 || d[0] != 0xFF || d[1] != 0xD8) return false;
    int w = 0, h = 0;
    bool scanned = false;
    size_t i = 2;
    while (i + 2 <= size) {
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
        if (marker == 0xD9) {
            if (!scanned) return false;  // the end before any scan
            width = w;
            height = h;
            return true;
        }
        if (i + 4 > size) return false;
        size_t length = (static_cast<size_t>(d[i + 2]) << 8) | d[i + 3];
        if (length < 2) return false;
        if (marker == 0xDA) {
            if (w == 0) return false;  // a scan before the frame header
            // The scan's first byte must be data, not the start of the next marker.
            size_t data = i + 2 + length;
            if (data >= size) return false;
            if (d[data] == 0xFF && (data + 1 >= size || d[data + 1] != 0x00)) return false;
            scanned = true;
            i = ScanEnd(d, size, data);  // then the end, or more segments and scans
            continue;
        }
        bool sof = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (sof && w == 0) {
            if (length < 7 || i + 9 > size) return false;
            h = (d[i + 5] << 8) | d[i + 6];
            w = (d[i + 7] << 8) | d[i + 8];
            if (w == 0 || h == 0) return false;
        }
        i += 2 + length;
    }
    return false;
}
