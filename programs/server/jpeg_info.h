// What the server needs to know about a JPEG frame without decoding it.
#pragma once
#include <cstddef>

// True when data starts with a JPEG start-of-image marker and a start-of-frame
// segment gives the size; width and height are then set.
bool JpegFrameSize(const unsigned char* data, size_t size, int& width, int& height);
