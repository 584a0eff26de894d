// Reading the watermark picture: the first image of a GIF87a/GIF89a file.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "programs/encoder/image.h"

// Larger logical screens are refused: a watermark needs no more, and the bound keeps a
// hostile header from asking for gigabytes.
constexpr int kMaxGifSide = 4096;

// Decodes the first image onto a canvas of the logical screen's size. Global and local
// colour tables and interlacing are honoured; transparency is ignored (a transparent
// index shows its palette colour). Canvas areas the image does not cover are mid-grey,
// which the watermark blend leaves untouched. Every malformed input (truncation, codes
// out of range, pixels beyond the colour table, missing data) is refused with a reason;
// nothing is read outside [data, data + size).
bool ReadGif(const uint8_t* data, size_t size, RgbImage& out, std::string& error);
