#include "programs/encoder/yuv_convert.h"

#include <cmath>
#include <cstdlib>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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

#ifdef __SSE2__
// The range tables' values computed in 16-bit lanes (exactly the tables: the constants
// were chosen so, and the tests compare every value); the results may exceed 255 and are
// clamped by the packing that follows.
__m128i LumaRange(__m128i v) {
    const __m128i t = _mm_slli_epi16(_mm_subs_epu16(v, _mm_set1_epi16(16)), 2);
    return _mm_srli_epi16(_mm_add_epi16(_mm_mulhi_epu16(t, _mm_set1_epi16(38154)), _mm_set1_epi16(1)), 1);
}
__m128i ChromaRange(__m128i v) {
    const __m128i t = _mm_slli_epi16(_mm_subs_epu16(v, _mm_set1_epi16(15)), 8);
    const __m128i m = _mm_mulhi_epu16(t, _mm_set1_epi16(static_cast<short>(37301)));
    return _mm_subs_epu16(_mm_srli_epi16(_mm_add_epi16(m, _mm_set1_epi16(111)), 7), _mm_set1_epi16(1));
}
__m128i Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
void Store(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
void StoreLow(uint8_t* p, __m128i v) { _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v); }
#endif

// One row of luma samples to the full range; returns how many were done (the rest is
// left to the table).
int LumaRow(const uint8_t* s, uint8_t* y, int n) {
    int x = 0;
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128();
    for (; x + 16 <= n; x += 16) {
        const __m128i v = Load(s + x);
        Store(y + x, _mm_packus_epi16(LumaRange(_mm_unpacklo_epi8(v, zero)), LumaRange(_mm_unpackhi_epi8(v, zero))));
    }
#endif
    (void)s, (void)y, (void)n;
    return x;
}

// One row of YUY2 or UYVY: 16 pixels at a time, the rest left to the tables.
int PackedRow(const uint8_t* s, bool uyvy, uint8_t* y, uint8_t* u, uint8_t* v, int pixels) {
    int x = 0;
#ifdef __SSE2__
    const __m128i low = _mm_set1_epi16(0xFF), word = _mm_set1_epi32(0xFFFF);
    for (; x + 16 <= pixels; x += 16, s += 32) {
        const __m128i a = Load(s), b = Load(s + 16);
        // Luma in the even bytes (YUY2) or the odd ones (UYVY), chroma in the others as U V U V.
        const __m128i ya = uyvy ? _mm_srli_epi16(a, 8) : _mm_and_si128(a, low);
        const __m128i yb = uyvy ? _mm_srli_epi16(b, 8) : _mm_and_si128(b, low);
        const __m128i ca = uyvy ? _mm_and_si128(a, low) : _mm_srli_epi16(a, 8);
        const __m128i cb = uyvy ? _mm_and_si128(b, low) : _mm_srli_epi16(b, 8);
        Store(y + x, _mm_packus_epi16(LumaRange(ya), LumaRange(yb)));
        const __m128i us = _mm_packs_epi32(_mm_and_si128(ca, word), _mm_and_si128(cb, word));
        const __m128i vs = _mm_packs_epi32(_mm_srli_epi32(ca, 16), _mm_srli_epi32(cb, 16));
        const __m128i uv = _mm_packus_epi16(ChromaRange(us), ChromaRange(vs));
        StoreLow(u + x / 2, uv);
        StoreLow(v + x / 2, _mm_srli_si128(uv, 8));
    }
#endif
    (void)s, (void)uyvy, (void)y, (void)u, (void)v, (void)pixels;
    return x;
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
        const int done = PackedRow(s, uyvy, y, u, v, w & ~1);
        s += 2 * done;
        for (int x = done / 2; x < w / 2; ++x, s += 4) {
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
        for (int x = LumaRow(s, y, w); x < w; ++x) y[x] = t.luma[s[x]];
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
    if (!IsSupportedCaptureFormat(f) || size < CaptureFrameBytes(f)) return false;
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

namespace {

// Luma of `n` pixels given as separate red, green and blue samples, in SSE2 where there is
// one: the same sums as the scalar formula, in 16-bit pairs (green's weight is split in
// two, as 38470 does not fit).
void LumaOf(const uint8_t* r, const uint8_t* g, const uint8_t* b, uint8_t* y, int n) {
    int x = 0;
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128(), rg = _mm_set1_epi32(5702 << 16 | 19595);
    const __m128i bRound = _mm_set1_epi32(16384 << 16 | 7471), two = _mm_set1_epi16(2);
    auto four = [&](__m128i r16, __m128i g16, __m128i b16, bool high) {
        const __m128i pairs = high ? _mm_unpackhi_epi16(r16, g16) : _mm_unpacklo_epi16(r16, g16);
        const __m128i blue = high ? _mm_unpackhi_epi16(b16, two) : _mm_unpacklo_epi16(b16, two);
        const __m128i green = high ? _mm_unpackhi_epi16(g16, zero) : _mm_unpacklo_epi16(g16, zero);
        const __m128i sum = _mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(pairs, rg), _mm_madd_epi16(blue, bRound)),
                                          _mm_slli_epi32(green, 15));
        return _mm_srli_epi32(sum, 16);
    };
    for (; x + 8 <= n; x += 8) {
        const __m128i r16 = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(r + x)), zero);
        const __m128i g16 = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(g + x)), zero);
        const __m128i b16 = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(b + x)), zero);
        const __m128i v = _mm_packs_epi32(four(r16, g16, b16, false), four(r16, g16, b16, true));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(y + x), _mm_packus_epi16(v, v));
    }
#endif
    for (; x < n; ++x) y[x] = static_cast<uint8_t>((19595 * r[x] + 38470 * g[x] + 7471 * b[x] + 32768) >> 16);
}

}  // namespace

void RgbToYuv420(const RgbImage& in, YuvImage& out) {
    const int w = in.width, h = in.height;
    out.Resize420(w, h);
    // Two rows at a time, in pieces of 64 pixels: their samples split by colour for the
    // luma, and each 2x2 block's chroma from its mean colour (the mean of the four pixels'
    // chroma) on the way.
    constexpr int kPiece = 64;
    uint8_t r[2][kPiece], g[2][kPiece], b[2][kPiece];
    for (int row = 0; row < h; row += 2) {
        const int rows = row + 1 < h ? 2 : 1;
        const uint8_t* s[2] = {in.Row(row), in.Row(row + rows - 1)};
        uint8_t *u = out.cb.Row(row / 2), *v = out.cr.Row(row / 2);
        for (int x0 = 0; x0 < w; x0 += kPiece) {
            const int n = w - x0 < kPiece ? w - x0 : kPiece;
            for (int k = 0; k < 2; ++k)
                for (int i = 0; i < n; ++i) {
                    const uint8_t* p = s[k] + 3 * (x0 + i);
                    r[k][i] = p[0], g[k][i] = p[1], b[k][i] = p[2];
                }
            for (int i = 0; i < n; i += 2) {
                const int j = i + 1 < n ? i + 1 : i;  // the right pixel, or the left again at an odd edge
                const int R = r[0][i] + r[0][j] + r[1][i] + r[1][j];
                const int G = g[0][i] + g[0][j] + g[1][i] + g[1][j];
                const int B = b[0][i] + b[0][j] + b[1][i] + b[1][j];
                u[(x0 + i) / 2] = ClampByte((-11059 * R - 21709 * G + 32768 * B + (512 << 16) + 131072) >> 18);
                v[(x0 + i) / 2] = ClampByte((32768 * R - 27439 * G - 5329 * B + (512 << 16) + 131072) >> 18);
            }
            for (int k = 0; k < rows; ++k) LumaOf(r[k], g[k], b[k], out.y.Row(row + k) + x0, n);
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
