#include "programs/encoder/capture_format.h"

#include <cstdlib>

namespace {

inline uint8_t Clamp(int v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

// BT.601 limited range, as capture drivers deliver it; 8-bit fixed point.
inline void YuvToRgb(int y, int u, int v, uint8_t* rgb) {
    int c = (y - 16) * 298, d = u - 128, e = v - 128;
    rgb[0] = Clamp((c + 409 * e + 128) >> 8);
    rgb[1] = Clamp((c - 100 * d - 208 * e + 128) >> 8);
    rgb[2] = Clamp((c + 516 * d + 128) >> 8);
}

size_t RgbStride(int width, int bitCount) { return (static_cast<size_t>(width) * bitCount + 31) / 32 * 4; }

bool IsPackedYuv(uint32_t compression) {
    return compression == FourCC('Y', 'U', 'Y', '2') || compression == FourCC('Y', 'U', 'Y', 'V') ||
           compression == FourCC('U', 'Y', 'V', 'Y');
}

// Uncompressed 16, 24 or 32 bits a pixel (BGR order in memory).
void ConvertRgb(const CaptureFormat& f, const uint8_t* data, RgbImage& out) {
    const int w = f.width, h = std::abs(f.height);
    const size_t stride = RgbStride(w, f.bitCount);
    for (int y = 0; y < h; ++y) {
        // Positive heights are bottom-up DIBs.
        const uint8_t* s = data + stride * static_cast<size_t>(f.height > 0 ? h - 1 - y : y);
        uint8_t* d = out.Row(y);
        for (int x = 0; x < w; ++x, d += 3) {
            if (f.bitCount == 16) {
                unsigned v = s[x * 2] | (s[x * 2 + 1] << 8);
                d[0] = static_cast<uint8_t>(((v >> 10) & 31) * 255 / 31);
                d[1] = static_cast<uint8_t>(((v >> 5) & 31) * 255 / 31);
                d[2] = static_cast<uint8_t>((v & 31) * 255 / 31);
            } else {
                const uint8_t* p = s + x * (f.bitCount / 8);
                d[0] = p[2];
                d[1] = p[1];
                d[2] = p[0];
            }
        }
    }
}

// Packed 4:2:2: two pixels share their chroma, in YUYV or UYVY order.
void ConvertPackedYuv(const CaptureFormat& f, const uint8_t* data, RgbImage& out) {
    const int w = f.width, h = f.height;
    const bool uyvy = f.compression == FourCC('U', 'Y', 'V', 'Y');
    for (int y = 0; y < h; ++y) {
        const uint8_t* s = data + static_cast<size_t>(y) * w * 2;
        uint8_t* d = out.Row(y);
        for (int x = 0; x < w; x += 2, s += 4, d += 6) {
            int y0 = uyvy ? s[1] : s[0], y1 = uyvy ? s[3] : s[2];
            int u = uyvy ? s[0] : s[1], v = uyvy ? s[2] : s[3];
            YuvToRgb(y0, u, v, d);
            YuvToRgb(y1, u, v, d + 3);
        }
    }
}

// Planar 4:2:0: a full Y plane, then quarter-size chroma (U then V, V then U, or interleaved).
void ConvertPlanarYuv(const CaptureFormat& f, const uint8_t* data, RgbImage& out) {
    const int w = f.width, h = f.height;
    const size_t pixels = static_cast<size_t>(w) * static_cast<size_t>(h);
    const uint8_t* yPlane = data;
    const uint8_t* first = data + pixels;
    const uint8_t* second = first + pixels / 4;
    const bool nv12 = f.compression == FourCC('N', 'V', '1', '2');
    const bool yv12 = f.compression == FourCC('Y', 'V', '1', '2');
    for (int y = 0; y < h; ++y) {
        uint8_t* d = out.Row(y);
        for (int x = 0; x < w; ++x, d += 3) {
            size_t c = static_cast<size_t>(y / 2) * (w / 2) + x / 2;
            int u, v;
            if (nv12) {
                u = first[c * 2];
                v = first[c * 2 + 1];
            } else {
                u = yv12 ? second[c] : first[c];
                v = yv12 ? first[c] : second[c];
            }
            YuvToRgb(yPlane[static_cast<size_t>(y) * w + x], u, v, d);
        }
    }
}

}  // namespace

bool IsUncompressedCaptureFormat(const CaptureFormat& f) {
    if (f.width <= 0 || f.width > 8192 || f.height == 0 || std::abs(f.height) > 8192) return false;
    if (f.compression == 0) return f.bitCount == 16 || f.bitCount == 24 || f.bitCount == 32;
    if (f.height < 0) return false;
    if (IsPackedYuv(f.compression)) return f.width % 2 == 0;
    if (f.compression == FourCC('I', '4', '2', '0') || f.compression == FourCC('I', 'Y', 'U', 'V') ||
        f.compression == FourCC('Y', 'V', '1', '2') || f.compression == FourCC('N', 'V', '1', '2'))
        return f.width % 2 == 0 && f.height % 2 == 0;
    return false;
}

bool ConvertCaptureFrame(const CaptureFormat& f, const uint8_t* data, size_t size, RgbImage& out) {
    if (!IsUncompressedCaptureFormat(f) || size < CaptureFrameBytes(f)) return false;
    out.Resize(f.width, std::abs(f.height));
    if (f.compression == 0) ConvertRgb(f, data, out);
    else if (IsPackedYuv(f.compression)) ConvertPackedYuv(f, data, out);
    else ConvertPlanarYuv(f, data, out);
    return true;
}

size_t CaptureFrameBytes(const CaptureFormat& f) {
    if (!IsUncompressedCaptureFormat(f)) return 0;
    const size_t pixels = static_cast<size_t>(f.width) * static_cast<size_t>(std::abs(f.height));
    if (f.compression == 0) return RgbStride(f.width, f.bitCount) * static_cast<size_t>(std::abs(f.height));
    if (IsPackedYuv(f.compression)) return pixels * 2;
    return pixels + pixels / 2;
}

bool IsMjpegCaptureFormat(const CaptureFormat& f) {
    return f.compression == FourCC('M', 'J', 'P', 'G') && f.width > 0 && f.width <= 8192 && f.height != 0 &&
           std::abs(f.height) <= 8192;
}

std::vector<CaptureFormat> FormatsToRequest(const CaptureFormat& current) {
    std::vector<CaptureFormat> formats;
    int w = current.width, h = std::abs(current.height);
    if (w <= 0 || w > 8192 || h == 0 || h > 8192) return formats;
    // Even sizes for the subsampled formats, as drivers would round them anyway.
    if (w % 2 == 0) formats.push_back({FourCC('Y', 'U', 'Y', '2'), 16, w, h});
    if (w % 2 == 0 && h % 2 == 0) formats.push_back({FourCC('N', 'V', '1', '2'), 12, w, h});
    formats.push_back({0, 24, w, h});
    return formats;
}

std::string DescribeCaptureFormat(const CaptureFormat& f) {
    if (f.compression == 0) return "RGB" + std::to_string(f.bitCount);
    std::string s;
    for (int i = 0; i < 4; ++i) {
        char c = static_cast<char>((f.compression >> (8 * i)) & 0xFF);
        if (c < 32 || c > 126) return "format " + std::to_string(f.compression);
        s += c;
    }
    return s;
}
