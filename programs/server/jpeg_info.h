// What the server needs to know about a JPEG frame without decoding it.
#pragma once
#include <cstddef>

// True when data is a whole JPEG picture as far as the server can tell without
// decoding: a start-of-image marker, a start-of-frame segment that gives the
// size (width and height are then set), a scan with data after it, and the
// end-of-image marker after the last scan. A "picture" of headers only would
// be forwarded to viewers as an empty frame, one cut short as a broken one.
// What follows the end-of-image marker is not looked at.
bool JpegFrameSize(const unsigned char* data, size_t size, int& width, int& height);
