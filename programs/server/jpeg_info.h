// What the server needs to know about a JPEG frame without decoding it.
#pragma once
#include <cstddef>

// True when data is a JPEG picture as far as the server can tell without
// decoding: a start-of-image marker, a start-of-frame segment that gives the
// size (width and height are then set), and a scan with data after it. A
// "picture" of headers only would be forwarded to viewers as an empty frame.
bool JpegFrameSize(const unsigned char* data, size_t size, int& width, int& height);
