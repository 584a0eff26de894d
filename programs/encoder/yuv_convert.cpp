#include "programs/encoder/yuv_convert.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

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
    return _mm_srli_epi16(
        _mm_add_epi16(_mm_mulhi_epu16(t, _mm_set1_epi16(static_cast<short>(38154))), _mm_set1_epi16(1)), 1);
}
__m128i ChromaRange(__m128i v) {
    const __m128i t = _mm_slli_epi16(_mm_subs_epu16(v, _mm_set1_epi16(15)), 8);
    const __m128i m = _mm_mulhi_epu16(t, _mm_set1_epi16(static_cast<short>(37301)));
    return _mm_subs_epu16(_mm_srli_epi16(_mm_add_epi16(m, _mm_set1_epi16(111)), 7), _mm_set1_epi16(1));
}
// The luma bytes of 8 packed pixels (even bytes in YUY2, odd in UYVY) and their chroma
// bytes (U V U V), as 16-bit lanes.
__m128i PackedLuma(__m128i q, bool uyvy) {
    return uyvy ? _mm_srli_epi16(q, 8) : _mm_and_si128(q, _mm_set1_epi16(0xFF));
}
__m128i PackedChroma(__m128i q, bool uyvy) {
    return uyvy ? _mm_and_si128(q, _mm_set1_epi16(0xFF)) : _mm_srli_epi16(q, 8);
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

// Two rows of YUY2 or UYVY, 16 pixels at a time, the rest left to the tables: the luma of
// each, and the chroma of the pair (each row's in the full range, then their mean rounded
// up, which is what halving a plane's height does).
int PackedRows(const uint8_t* s0, const uint8_t* s1, bool uyvy, uint8_t* y0, uint8_t* y1, uint8_t* u, uint8_t* v,
               int pixels) {
    int x = 0;
#ifdef __SSE2__
    const __m128i word = _mm_set1_epi32(0xFFFF);
    // One row's 16 pixels: stores the luma, returns the chroma as 8 U then 8 V.
    auto row = [&](const uint8_t* s, uint8_t* y) {
        const __m128i a = Load(s), b = Load(s + 16);
        const __m128i ya = PackedLuma(a, uyvy), yb = PackedLuma(b, uyvy);
        const __m128i ca = PackedChroma(a, uyvy), cb = PackedChroma(b, uyvy);
        Store(y, _mm_packus_epi16(LumaRange(ya), LumaRange(yb)));
        const __m128i us = _mm_packs_epi32(_mm_and_si128(ca, word), _mm_and_si128(cb, word));
        const __m128i vs = _mm_packs_epi32(_mm_srli_epi32(ca, 16), _mm_srli_epi32(cb, 16));
        return _mm_packus_epi16(ChromaRange(us), ChromaRange(vs));
    };
    for (; x + 16 <= pixels; x += 16) {
        const __m128i first = row(s0 + 2 * x, y0 + x);
        const __m128i uv = _mm_avg_epu8(first, s1 == s0 ? first : row(s1 + 2 * x, y1 + x));
        StoreLow(u + x / 2, uv);
        StoreLow(v + x / 2, _mm_srli_si128(uv, 8));
    }
#endif
    (void)s0, (void)s1, (void)uyvy, (void)y0, (void)y1, (void)u, (void)v, (void)pixels;
    return x;
}

// To 4:2:0 straight away: the chroma of each pair of rows is averaged here rather than in
// a pass of its own.
void UnpackPacked(const CaptureFormat& f, const uint8_t* data, YuvImage& out) {
    const RangeTables& t = Range();
    const int w = f.width, h = f.height;
    const bool uyvy = f.compression == FourCC('U', 'Y', 'V', 'Y');
    const int yAt = uyvy ? 1 : 0, cAt = uyvy ? 0 : 1;
    out.Resize420(w, h);
    for (int row = 0; row < h; row += 2) {
        // An odd last row pairs with itself.
        const int next = row + 1 < h ? row + 1 : row;
        const uint8_t* s0 = data + static_cast<size_t>(row) * w * 2;
        const uint8_t* s1 = data + static_cast<size_t>(next) * w * 2;
        uint8_t *y0 = out.y.Row(row), *y1 = out.y.Row(next), *u = out.cb.Row(row / 2), *v = out.cr.Row(row / 2);
        const int done = PackedRows(s0, s1, uyvy, y0, y1, u, v, w);
        for (int x = done / 2; x < w / 2; ++x) {
            const uint8_t* p0 = s0 + 4 * x;
            const uint8_t* p1 = s1 + 4 * x;
            y0[2 * x] = t.luma[p0[yAt]];
            y0[2 * x + 1] = t.luma[p0[yAt + 2]];
            y1[2 * x] = t.luma[p1[yAt]];
            y1[2 * x + 1] = t.luma[p1[yAt + 2]];
            u[x] = static_cast<uint8_t>((t.chroma[p0[cAt]] + t.chroma[p1[cAt]] + 1) >> 1);
            v[x] = static_cast<uint8_t>((t.chroma[p0[cAt + 2]] + t.chroma[p1[cAt + 2]] + 1) >> 1);
        }
    }
}

// A YUY2 or UYVY frame to half its width and height, with what unpacking to 4:2:0 and then
// scaling the planes gives (each luma the rounded mean of its 2x2 pixels, each chroma that
// of four 4:2:0 samples), in one pass. Each call makes one row of chroma and the two rows
// of luma beside it from four rows of the frame; returns how many luma pixels were done,
// 16 at a time (the rest is left to the tables).
int HalvedRows(const uint8_t* const s[4], bool uyvy, uint8_t* y0, uint8_t* y1, uint8_t* u, uint8_t* v, int pixels) {
    int x = 0;
#ifdef __SSE2__
    const __m128i word = _mm_set1_epi32(0xFFFF), top = _mm_set1_epi16(255);
    const __m128i two = _mm_set1_epi16(2);
    // Luma and chroma of 8 pixels as 16-bit lanes in the full range, clamped as the planes
    // store them.
    auto luma = [&](__m128i q) { return _mm_min_epi16(LumaRange(PackedLuma(q, uyvy)), top); };
    auto chroma = [&](__m128i q) { return _mm_min_epi16(ChromaRange(PackedChroma(q, uyvy)), top); };
    // The sums of neighbouring 16-bit lanes, as 32-bit lanes.
    auto pairs = [&](__m128i a) { return _mm_add_epi32(_mm_and_si128(a, word), _mm_srli_epi32(a, 16)); };
    for (; x + 16 <= pixels; x += 16) {
        __m128i q[4][4];
        for (int r = 0; r < 4; ++r)
            for (int i = 0; i < 4; ++i) q[r][i] = Load(s[r] + 4 * x + 16 * i);
        uint8_t* rows[2] = {y0, y1};
        for (int half = 0; half < 2; ++half) {
            __m128i sums[4];
            for (int i = 0; i < 4; ++i) sums[i] = pairs(_mm_add_epi16(luma(q[2 * half][i]), luma(q[2 * half + 1][i])));
            const __m128i a = _mm_srli_epi16(_mm_add_epi16(_mm_packs_epi32(sums[0], sums[1]), two), 2);
            const __m128i b = _mm_srli_epi16(_mm_add_epi16(_mm_packs_epi32(sums[2], sums[3]), two), 2);
            Store(rows[half] + x, _mm_packus_epi16(a, b));
        }
        // Chroma as U V U V per pair of pixels: the 4:2:0 samples (two rows' mean rounded
        // up), then each two pairs' sum, for the U and V of one output each.
        __m128i uv[4];
        for (int i = 0; i < 4; ++i) {
            const __m128i c = _mm_add_epi16(_mm_avg_epu16(chroma(q[0][i]), chroma(q[1][i])),
                                            _mm_avg_epu16(chroma(q[2][i]), chroma(q[3][i])));
            const __m128i both = _mm_add_epi16(c, _mm_srli_epi64(c, 32));  // dwords 0 and 2: U V of an output
            uv[i] = _mm_shuffle_epi32(both, _MM_SHUFFLE(3, 1, 2, 0));
        }
        const __m128i first = _mm_srli_epi16(_mm_add_epi16(_mm_unpacklo_epi64(uv[0], uv[1]), two), 2);
        const __m128i second = _mm_srli_epi16(_mm_add_epi16(_mm_unpacklo_epi64(uv[2], uv[3]), two), 2);
        const __m128i us = _mm_packs_epi32(_mm_and_si128(first, word), _mm_and_si128(second, word));
        const __m128i vs = _mm_packs_epi32(_mm_srli_epi32(first, 16), _mm_srli_epi32(second, 16));
        const __m128i out = _mm_packus_epi16(us, vs);
        StoreLow(u + x / 2, out);
        StoreLow(v + x / 2, _mm_srli_si128(out, 8));
    }
#endif
    (void)s, (void)uyvy, (void)y0, (void)y1, (void)u, (void)v, (void)pixels;
    return x;
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

bool PackedFrameToHalfPlanes(const CaptureFormat& f, const uint8_t* data, size_t size, YuvImage& out) {
    if (!IsUncompressedCaptureFormat(f) || !IsPackedYuv(f.compression) || size < CaptureFrameBytes(f) || f.width % 4 ||
        f.height % 4)
        return false;
    const RangeTables& t = Range();
    const int w = f.width / 2, h = f.height / 2;
    const bool uyvy = f.compression == FourCC('U', 'Y', 'V', 'Y');
    const int yAt = uyvy ? 1 : 0, cAt = uyvy ? 0 : 1;
    out.Resize420(w, h);
    for (int row = 0; row < h / 2; ++row) {
        const uint8_t* s[4];
        for (int i = 0; i < 4; ++i) s[i] = data + static_cast<size_t>(4 * row + i) * f.width * 2;
        uint8_t *y0 = out.y.Row(2 * row), *y1 = out.y.Row(2 * row + 1), *u = out.cb.Row(row), *v = out.cr.Row(row);
        auto luma = [&](int r, int x) {
            const uint8_t* p = s[r] + 4 * x + yAt;
            return t.luma[p[0]] + t.luma[p[2]];
        };
        auto chroma = [&](int at) {
            return ((t.chroma[s[0][at]] + t.chroma[s[1][at]] + 1) >> 1) +
                   ((t.chroma[s[2][at]] + t.chroma[s[3][at]] + 1) >> 1);
        };
        for (int x = HalvedRows(s, uyvy, y0, y1, u, v, w); x < w; x += 2) {
            for (int j = x; j < x + 2; ++j) {
                y0[j] = static_cast<uint8_t>((luma(0, j) + luma(1, j) + 2) >> 2);
                y1[j] = static_cast<uint8_t>((luma(2, j) + luma(3, j) + 2) >> 2);
            }
            const int at = 4 * x + cAt;
            u[x / 2] = static_cast<uint8_t>((chroma(at) + chroma(at + 4) + 2) >> 2);
            v[x / 2] = static_cast<uint8_t>((chroma(at + 2) + chroma(at + 6) + 2) >> 2);
        }
    }
    return true;
}

namespace {

// The luma of one row of RGB pixels, four at a time in SSE2 where there is one: each
// pixel's bytes as one 32-bit lane, red and blue as its two 16-bit halves, so that one
// multiply-add weighs both; green's weight is split in two, as 38470 does not fit 16 bits.
void LumaOfRow(const uint8_t* s, uint8_t* y, int w) {
    int x = 0;
#ifdef __SSE2__
    const __m128i bytes = _mm_set1_epi32(0x00FF00FF), redBlue = _mm_set1_epi32(7471 << 16 | 19595);
    const __m128i green = _mm_set1_epi32(5702), half = _mm_set1_epi32(32768);
    auto lane = [](const uint8_t* p) {
        int32_t v;
        std::memcpy(&v, p, 4);
        return v;
    };
    // Each pixel's load takes the next pixel's first byte too: the row's last pixel is left
    // to the plain loop.
    for (; x + 4 < w; x += 4) {
        const uint8_t* p = s + 3 * x;
        const __m128i v = _mm_set_epi32(lane(p + 9), lane(p + 6), lane(p + 3), lane(p));
        const __m128i rb = _mm_and_si128(v, bytes);
        const __m128i g = _mm_and_si128(_mm_srli_epi32(v, 8), _mm_set1_epi32(0xFF));
        __m128i sum = _mm_add_epi32(_mm_madd_epi16(rb, redBlue), _mm_madd_epi16(g, green));
        sum = _mm_add_epi32(_mm_add_epi32(sum, _mm_slli_epi32(g, 15)), half);
        const __m128i four = _mm_packs_epi32(_mm_srli_epi32(sum, 16), _mm_setzero_si128());
        const int32_t out = _mm_cvtsi128_si32(_mm_packus_epi16(four, four));
        std::memcpy(y + x, &out, 4);
    }
#endif
    for (; x < w; ++x)
        y[x] = static_cast<uint8_t>((19595 * s[3 * x] + 38470 * s[3 * x + 1] + 7471 * s[3 * x + 2] + 32768) >> 16);
}

// The chroma of one pair of rows, each 2x2 block from the sums of its four pixels' colours
// (four times their mean), two blocks at a time in SSE2 where there is one.
void ChromaOfRows(const uint8_t* s0, const uint8_t* s1, uint8_t* u, uint8_t* v, int w) {
    int x = 0;
#ifdef __SSE2__
    const __m128i bytes = _mm_set1_epi32(0x00FF00FF), low = _mm_set1_epi32(0xFFFF), byte = _mm_set1_epi32(0xFF);
    const __m128i offset = _mm_set1_epi32((512 << 16) + 131072);
    const __m128i cbRed = _mm_set1_epi32(-11059 & 0xFFFF), cbGreen = _mm_set1_epi32(-21709 & 0xFFFF);
    const __m128i crBlue = _mm_set1_epi32(static_cast<int32_t>(static_cast<uint32_t>(-5329 & 0xFFFF) << 16));
    const __m128i crGreen = _mm_set1_epi32(-27439 & 0xFFFF);
    auto lane = [](const uint8_t* p) {
        int32_t n;
        std::memcpy(&n, p, 4);
        return n;
    };
    auto pixels = [&](const uint8_t* p) { return _mm_set_epi32(lane(p + 9), lane(p + 6), lane(p + 3), lane(p)); };
    for (; x + 4 < w; x += 4) {
        const __m128i a = pixels(s0 + 3 * x), c = pixels(s1 + 3 * x);
        // Red and blue in the 16-bit halves, green alone; then each left pixel's lane plus its right one's.
        __m128i rb = _mm_add_epi32(_mm_and_si128(a, bytes), _mm_and_si128(c, bytes));
        __m128i g = _mm_add_epi32(_mm_and_si128(_mm_srli_epi32(a, 8), byte), _mm_and_si128(_mm_srli_epi32(c, 8), byte));
        rb = _mm_add_epi32(rb, _mm_shuffle_epi32(rb, _MM_SHUFFLE(3, 3, 1, 1)));
        g = _mm_add_epi32(g, _mm_shuffle_epi32(g, _MM_SHUFFLE(3, 3, 1, 1)));
        const __m128i red = _mm_and_si128(rb, low), blue = _mm_srli_epi32(rb, 16);
        const __m128i cb = _mm_srai_epi32(
            _mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(rb, cbRed), _mm_madd_epi16(g, cbGreen)),
                          _mm_add_epi32(_mm_slli_epi32(blue, 15), offset)),
            18);
        const __m128i cr = _mm_srai_epi32(
            _mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(rb, crBlue), _mm_madd_epi16(g, crGreen)),
                          _mm_add_epi32(_mm_slli_epi32(red, 15), offset)),
            18);
        u[x / 2] = ClampByte(_mm_cvtsi128_si32(cb));
        u[x / 2 + 1] = ClampByte(_mm_cvtsi128_si32(_mm_srli_si128(cb, 8)));
        v[x / 2] = ClampByte(_mm_cvtsi128_si32(cr));
        v[x / 2 + 1] = ClampByte(_mm_cvtsi128_si32(_mm_srli_si128(cr, 8)));
    }
#endif
    for (; x < w; x += 2) {
        const int n = x + 1 < w ? 3 : 0;  // the right pixel, or the left again at an odd edge
        const int r = s0[3 * x] + s0[3 * x + n] + s1[3 * x] + s1[3 * x + n];
        const int g = s0[3 * x + 1] + s0[3 * x + 1 + n] + s1[3 * x + 1] + s1[3 * x + 1 + n];
        const int b = s0[3 * x + 2] + s0[3 * x + 2 + n] + s1[3 * x + 2] + s1[3 * x + 2 + n];
        u[x / 2] = ClampByte((-11059 * r - 21709 * g + 32768 * b + (512 << 16) + 131072) >> 18);
        v[x / 2] = ClampByte((32768 * r - 27439 * g - 5329 * b + (512 << 16) + 131072) >> 18);
    }
}

}  // namespace

void RgbToYuv420(const RgbImage& in, YuvImage& out) {
    const int w = in.width, h = in.height;
    out.Resize420(w, h);
    // The luma row by row; the chroma once per 2x2 block from the block's mean colour,
    // which is the mean of the four pixels' chroma.
    for (int row = 0; row < h; ++row) LumaOfRow(in.Row(row), out.y.Row(row), w);
    for (int row = 0; row < h; row += 2)
        ChromaOfRows(in.Row(row), in.Row(row + 1 < h ? row + 1 : row), out.cb.Row(row / 2), out.cr.Row(row / 2), w);
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
