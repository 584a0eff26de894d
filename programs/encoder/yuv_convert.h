// Camera frames and RGB pictures to planar YCbCr, and back to RGB where a picture must be
// shown or compared.
#pragma once
#include <cstddef>
#include <cstdint>

#include "programs/encoder/capture_format.h"
#include "programs/encoder/image.h"
#include "programs/encoder/yuv_image.h"

// Unpacks one frame of a supported uncompressed format into 4:2:0 planes (the stream's
// layout; YUY2's and UYVY's chroma is averaged over each pair of rows on the way) and
// expands its limited range to the full one. RGB frames are converted once, to 4:4:4. False when
// the format is unsupported or `size` is too small for it. `rgb` holds an RGB camera's
// frame on the way, kept by the caller for the next one.
bool CaptureFrameToPlanes(const CaptureFormat& format, const uint8_t* data, size_t size, YuvImage& out, RgbImage& rgb);

// A YUY2 or UYVY frame to 4:2:0 planes at half its width and height, in one pass, with the
// pictures of CaptureFrameToPlanes and then scaling the planes. False when the format is
// another or its size not a multiple of 4.
bool PackedFrameToHalfPlanes(const CaptureFormat& format, const uint8_t* data, size_t size, YuvImage& out);

// RGB to 4:2:0, each chroma sample the mean of its 2x2 pixels.
void RgbToYuv420(const RgbImage& in, YuvImage& out);
// RGB to 4:4:4, for pictures that are still to be scaled: their chroma keeps its detail
// until the stream's size is known.
void RgbToYuv444(const RgbImage& in, YuvImage& out);

// Back to RGB, each chroma sample spread over the pixels it covers.
void YuvToRgb(const YuvImage& in, RgbImage& out);
