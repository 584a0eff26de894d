#include "programs/encoder/yuv_convert.h"

#include <cmath>
#include <cstdlib>

#include "programs/encoder/ycc.h"

namespace {

// Capture drivers' BT.601 limited range (luma 16..235, chroma 16..240) to the full range.
struct RangeTables {
    uint8_t luma[256], chroma[256];
    RangeTables() {
        for (int i = 0; i < 256; ++i) {
            luma[i] = ClampByte(static_cast<int>(std::lround((i - 16) * 255.0 / 219.0)));
            chroma[i] = ClampByte(static_cast<int>(std::lround(128 + (i - 128) * 255.0 / 224.0)));
        }
    }
};
const RangeTables& Range() {
    static const RangeTables tables;
    return tables;
}

bool IsPackedYuv(uint32_t c) {
    return c == FourCC('Y', 'U', 'Y', '2') || c == FourCC('Y', 'U', 'Y', 'V') || c == FourCC('U', 'Y', 'V', 'Y');
}

void UnpackPacked(const CaptureFormat& f, const uint8_t* data, YuvImage& out) {
    const RangeTables& t = Range();
    const int w = f.width, h = f.height;
    const bool uyvy = f.compression == FourCC('U', 'Y', 'V', 'Y');
    const int yAt = uyvy ? 1 : 0, cAt = uyvy ? 0 : 1;
    out.width = w;
    out.height = h;
    out.y.Resize(w, h);
    out.cb.Resize(w / 2, h);
    out.cr.Resize(w / 2, h);
    for (int row = 0; row < h; ++row) {
        const uint8_t* s = data + static_cast<size_t>(row) * w * 2;
        uint8_t *y = out.y.Row(row), *u = out.cb.Row(row), *v = out.cr.Row(row);
        for (int x = 0; x < w / 2; ++x, s += 4) {
            y[2 * x] = t.luma[s[yAt]];
            y[2 * x + 1] = t.luma[s[yAt + 2]];
            u[x] = t.chroma[s[cAt]];
            v[x] = t.chroma[s[cAt + 2]];
        }
    }
}

void UnpackPlanar(const CaptureFormat& f, const uint8_t* data, YuvImage& out) {
    const RangeTables& t = Range();
    const int w = f.width, h = f.height, cw = w / 2, ch = h / 2;
    const size_t pixels = static_cast<size_t>(w) * static_cast<size_t>(h);
    const uint8_t* first = data + pixels;
    const uint8_t* second = first + pixels / 4;
    const bool nv12 = f.compression == FourCC('N', 'V', '1', '2');
    const bool yv12 = f.compression == FourCC('Y', 'V', '1', '2');
    out.Resize420(w, h);
    for (int row = 0; row < h; ++row) {
        const uint8_t* s = data + static_cast<size_t>(row) * w;
        uint8_t* y = out.y.Row(row);
        for (int x = 0; x < w; ++x) y[x] = t.luma[s[x]];
    }
    for (int row = 0; row < ch; ++row) {
        uint8_t *u = out.cb.Row(row), *v = out.cr.Row(row);
        const size_t at = static_cast<size_t>(row) * cw;
        if (nv12) {
            const uint8_t* s = first + at * 2;
            for (int x = 0; x < cw; ++x) {
                u[x] = t.chroma[s[2 * x]];
                v[x] = t.chroma[s[2 * x + 1]];
            }
        } else {
            const uint8_t* su = (yv12 ? second : first) + at;
            const uint8_t* sv = (yv12 ? first : second) + at;
            for (int x = 0; x < cw; ++x) {
                u[x] = t.chroma[su[x]];
                v[x] = t.chroma[sv[x]];
            }
        }
    }
}

}  // namespace

bool CaptureFrameToPlanes(const CaptureFormat& f, const uint8_t* data, size_t size, YuvImage& out, RgbImage& rgb) {
    if (!IsUncompressedCaptureFormat(f) || size < CaptureFrameBytes(f)) return false;
    if (f.compression == 0) {
        // An RGB camera: converted once, through the RGB conversion that already knows DIBs.
        if (!ConvertCaptureFrame(f, data, size, rgb)) return false;
        RgbToYuv444(rgb, out);
    } else if (IsPackedYuv(f.compression)) {
        UnpackPacked(f, data, out);
    } else {
        UnpackPlanar(f, data, out);
    }
    return true;
}

void RgbToYuv420(const RgbImage& in, YuvImage& out) {
    const int w = in.width, h = in.height;
    out.Resize420(w, h);
    // Luma row by row (a plain loop the compiler can vectorise); the chroma once per 2x2
    // block from the block's mean colour, which is the mean of the four pixels' chroma.
    for (int row = 0; row < h; ++row) {
        const uint8_t* s = in.Row(row);
        uint8_t* y = out.y.Row(row);
        for (int x = 0; x < w; ++x)
            y[x] = static_cast<uint8_t>((19595 * s[3 * x] + 38470 * s[3 * x + 1] + 7471 * s[3 * x + 2] + 32768) >> 16);
    }
    for (int row = 0; row < h; row += 2) {
        const uint8_t* s0 = in.Row(row);
        const uint8_t* s1 = in.Row(row + 1 < h ? row + 1 : row);
        uint8_t *u = out.cb.Row(row / 2), *v = out.cr.Row(row / 2);
        for (int x = 0; x < w; x += 2) {
            const int n = x + 1 < w ? 3 : 0;  // the right pixel, or the left again at an odd edge
            const int r = s0[3 * x] + s0[3 * x + n] + s1[3 * x] + s1[3 * x + n];
            const int g = s0[3 * x + 1] + s0[3 * x + 1 + n] + s1[3 * x + 1] + s1[3 * x + 1 + n];
            const int b = s0[3 * x + 2] + s0[3 * x + 2 + n] + s1[3 * x + 2] + s1[3 * x + 2 + n];
            u[x / 2] = ClampByte((-11059 * r - 21709 * g + 32768 * b + (512 << 16) + 131072) >> 18);
            v[x / 2] = ClampByte((32768 * r - 27439 * g - 5329 * b + (512 << 16) + 131072) >> 18);
        }
    }
}

void RgbToYuv444(const RgbImage& in, YuvImage& out) {
    const int w = in.width, h = in.height;
    out.width = w;
    out.height = h;
    for (Plane* p : {&out.y, &out.cb, &out.cr}) p->Resize(w, h);
    for (int row = 0; row < h; ++row) {
        const uint8_t* s = in.Row(row);
        uint8_t *y = out.y.Row(row), *u = out.cb.Row(row), *v = out.cr.Row(row);
        for (int x = 0; x < w; ++x, s += 3) {
            int Y, U, V;
            RgbToYcc(s[0], s[1], s[2], Y, U, V);
            y[x] = static_cast<uint8_t>(Y);
            u[x] = static_cast<uint8_t>(U);
            v[x] = static_cast<uint8_t>(V);
        }
    }
}

void YuvToRgb(const YuvImage& in, RgbImage& out) {
    out.Resize(in.width, in.height);
    const int sx = in.cb.width > 0 ? (in.width + in.cb.width - 1) / in.cb.width : 1;
    const int sy = in.cb.height > 0 ? (in.height + in.cb.height - 1) / in.cb.height : 1;
    for (int row = 0; row < in.height; ++row) {
        const uint8_t* y = in.y.Row(row);
        const uint8_t* u = in.cb.Row(row / sy);
        const uint8_t* v = in.cr.Row(row / sy);
        uint8_t* d = out.Row(row);
        for (int x = 0; x < in.width; ++x) YccToRgb(y[x], u[x / sx], v[x / sx], d + x * 3);
    }
}
