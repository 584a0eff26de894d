#include "programs/encoder/scale.h"

#include <cstring>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

void ScaleNearest(const RgbImage& src, int width, int height, RgbImage& dst) {
    dst.Resize(width, height);
    std::vector<int> srcX(static_cast<size_t>(width));
    for (int x = 0; x < width; ++x) srcX[x] = static_cast<int>(static_cast<int64_t>(x) * src.width / width);
    for (int y = 0; y < height; ++y) {
        const uint8_t* s = src.Row(static_cast<int>(static_cast<int64_t>(y) * src.height / height));
        uint8_t* d = dst.Row(y);
        for (int x = 0; x < width; ++x) std::memcpy(d + x * 3, s + srcX[x] * 3, 3);
    }
}

namespace {

// Where each output pixel of ScaleBilinear takes its four source pixels from.
struct BilinearTaps {
    std::vector<int> xi, xf, yi, yf;  // source column and row, and the 8-bit weight of the next
    std::vector<int> left, right;     // byte offsets of the two source pixels across
};

// Sample positions in 16.16 fixed point, centre-aligned, clamped to the edges.
void BilinearPositions(int srcSize, int dstSize, std::vector<int>& index, std::vector<int>& frac) {
    index.resize(static_cast<size_t>(dstSize));
    frac.resize(static_cast<size_t>(dstSize));
    for (int i = 0; i < dstSize; ++i) {
        int64_t pos = ((2 * static_cast<int64_t>(i) + 1) * srcSize * 65536) / (2 * dstSize) - 32768;
        if (pos < 0) pos = 0;
        int64_t last = static_cast<int64_t>(srcSize - 1) * 65536;
        if (pos > last) pos = last;
        index[i] = static_cast<int>(pos >> 16);
        frac[i] = static_cast<int>((pos >> 8) & 0xFF);  // 8-bit weight keeps products in 32 bits
    }
}

BilinearTaps MakeBilinearTaps(const RgbImage& src, int width, int height) {
    BilinearTaps t;
    BilinearPositions(src.width, width, t.xi, t.xf);
    BilinearPositions(src.height, height, t.yi, t.yf);
    t.left.resize(static_cast<size_t>(width));
    t.right.resize(static_cast<size_t>(width));
    for (int x = 0; x < width; ++x) {
        t.left[x] = t.xi[x] * 3;
        t.right[x] = (t.xi[x] + 1 < src.width ? t.xi[x] + 1 : t.xi[x]) * 3;
    }
    return t;
}

// The height made smaller or kept: two source rows are blended into one (a plain loop over
// bytes, which the compiler vectorises), then resampled across.
void ShrinkBilinear(const RgbImage& src, const BilinearTaps& t, RgbImage& dst) {
    const int width = dst.width, height = dst.height;
    std::vector<uint16_t> blended(static_cast<size_t>(src.width) * 3);
    const size_t m = blended.size();
    for (int y = 0; y < height; ++y) {
        const uint8_t* r0 = src.Row(t.yi[y]);
        const uint8_t* r1 = src.Row(t.yi[y] + 1 < src.height ? t.yi[y] + 1 : t.yi[y]);
        const unsigned wy = static_cast<unsigned>(t.yf[y]), wt = 256 - wy;
        for (size_t i = 0; i < m; ++i) blended[i] = static_cast<uint16_t>(r0[i] * wt + r1[i] * wy);
        uint8_t* d = dst.Row(y);
        for (int x = 0; x < width; ++x, d += 3) {
            const uint16_t* p0 = blended.data() + t.left[x];
            const uint16_t* p1 = blended.data() + t.right[x];
            const uint32_t wx = static_cast<uint32_t>(t.xf[x]), w0 = 256 - wx;
            d[0] = static_cast<uint8_t>((p0[0] * w0 + p1[0] * wx + 32768) >> 16);
            d[1] = static_cast<uint8_t>((p0[1] * w0 + p1[1] * wx + 32768) >> 16);
            d[2] = static_cast<uint8_t>((p0[2] * w0 + p1[2] * wx + 32768) >> 16);
        }
    }
}

// The height made larger: each source row is resampled across once and kept while the
// next output rows need it too, then two of them are blended into each output row.
void GrowBilinear(const RgbImage& src, const BilinearTaps& t, RgbImage& dst) {
    const int width = dst.width, height = dst.height;
    const size_t n = static_cast<size_t>(width) * 3;
    std::vector<uint16_t> across[2] = {std::vector<uint16_t>(n), std::vector<uint16_t>(n)};
    int held[2] = {-1, -1};
    auto resample = [&](int row, std::vector<uint16_t>& out) {
        const uint8_t* s = src.Row(row);
        uint16_t* o = out.data();
        for (int x = 0; x < width; ++x, o += 3) {
            const uint8_t* p0 = s + t.left[x];
            const uint8_t* p1 = s + t.right[x];
            const int wx = t.xf[x], w0 = 256 - wx;
            o[0] = static_cast<uint16_t>(p0[0] * w0 + p1[0] * wx);
            o[1] = static_cast<uint16_t>(p0[1] * w0 + p1[1] * wx);
            o[2] = static_cast<uint16_t>(p0[2] * w0 + p1[2] * wx);
        }
    };
    // The slot holding `row`, resampling it into the other slot than `keep` (or, with
    // none to keep, into the one with the lower row: rows only ever move down).
    auto slotFor = [&](int row, int keep) {
        for (int k = 0; k < 2; ++k)
            if (held[k] == row) return k;
        int k = keep >= 0 ? 1 - keep : held[0] < held[1] ? 0 : 1;
        resample(row, across[k]);
        held[k] = row;
        return k;
    };
    for (int y = 0; y < height; ++y) {
        int k0 = slotFor(t.yi[y], -1);
        int k1 = slotFor(t.yi[y] + 1 < src.height ? t.yi[y] + 1 : t.yi[y], k0);
        const uint16_t* top = across[k0].data();
        const uint16_t* bottom = across[k1].data();
        const uint32_t wy = static_cast<uint32_t>(t.yf[y]), wt = 256 - wy;
        uint8_t* d = dst.Row(y);
        for (size_t i = 0; i < n; ++i) d[i] = static_cast<uint8_t>((top[i] * wt + bottom[i] * wy + 32768) >> 16);
    }
}

}  // namespace

// Separable, with values kept 8.8 fixed point in between and rounded once at the end,
// so the result is exactly the blend of the four pixels whichever direction goes first.
void ScaleBilinear(const RgbImage& src, int width, int height, RgbImage& dst) {
    if (src.width == width && src.height == height) {
        dst = src;
        return;
    }
    dst.Resize(width, height);
    const BilinearTaps taps = MakeBilinearTaps(src, width, height);
    if (height <= src.height) ShrinkBilinear(src, taps, dst);
    else GrowBilinear(src, taps, dst);
}

namespace {

// Source index and 8-bit weight of the next one, per output position (as ScaleBilinear).
void PlanePositions(int srcSize, int dstSize, std::vector<int>& index, std::vector<uint16_t>& frac) {
    index.resize(static_cast<size_t>(dstSize));
    frac.resize(static_cast<size_t>(dstSize));
    for (int i = 0; i < dstSize; ++i) {
        int64_t pos = ((2 * static_cast<int64_t>(i) + 1) * srcSize * 65536) / (2 * dstSize) - 32768;
        int64_t last = static_cast<int64_t>(srcSize - 1) * 65536;
        pos = pos < 0 ? 0 : pos > last ? last : pos;
        index[i] = static_cast<int>(pos >> 16);
        frac[i] = static_cast<uint16_t>((pos >> 8) & 0xFF);
    }
}

// Two rows blended into one in 8.8 fixed point: b = r0 * (256 - wy) + r1 * wy.
void BlendRows(const uint8_t* r0, const uint8_t* r1, unsigned wy, uint16_t* b, size_t n) {
    const unsigned wt = 256 - wy;
    size_t i = 0;
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128();
    const __m128i top = _mm_set1_epi16(static_cast<short>(wt)), bottom = _mm_set1_epi16(static_cast<short>(wy));
    for (; i + 16 <= n; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r0 + i));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r1 + i));
        // The sums stay below 65536, so the low halves of the products are exact.
        const __m128i lo = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(a, zero), top),
                                         _mm_mullo_epi16(_mm_unpacklo_epi8(c, zero), bottom));
        const __m128i hi = _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(a, zero), top),
                                         _mm_mullo_epi16(_mm_unpackhi_epi8(c, zero), bottom));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(b + i), lo);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(b + i + 8), hi);
    }
#endif
    for (; i < n; ++i) b[i] = static_cast<uint16_t>(r0[i] * wt + r1[i] * wy);
}

// b = the mean of b and c, rounded up at halves (as SSE2's average does).
void AverageRows(uint16_t* b, const uint16_t* c, size_t n) {
    size_t i = 0;
#ifdef __SSE2__
    for (; i + 8 <= n; i += 8) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(b + i), _mm_avg_epu16(x, y));
    }
#endif
    for (; i < n; ++i) b[i] = static_cast<uint16_t>((b[i] + c[i] + 1) >> 1);
}

// A blended row rounded to bytes, at its own width.
void RoundRow(const uint16_t* b, uint8_t* d, int width) {
    int x = 0;
#ifdef __SSE2__
    const __m128i half = _mm_set1_epi16(128);
    for (; x + 16 <= width; x += 16) {
        const __m128i lo = _mm_srli_epi16(_mm_add_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b + x)), half),
                                          8);
        const __m128i hi = _mm_srli_epi16(
            _mm_add_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b + x + 8)), half), 8);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + x), _mm_packus_epi16(lo, hi));
    }
#endif
    for (; x < width; ++x) d[x] = static_cast<uint8_t>((b[x] + 128) >> 8);
}

// A blended row halved across: each output the mean of two neighbours (weights 128 each).
void HalveRow(const uint16_t* b, uint8_t* d, int width) {
    int x = 0;
#ifdef __SSE2__
    const __m128i low = _mm_set1_epi32(0xFFFF), round = _mm_set1_epi32(256);
    auto four = [&](const uint16_t* p) {  // outputs from 8 blended values, as 32-bit lanes
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i sum = _mm_add_epi32(_mm_and_si128(v, low), _mm_srli_epi32(v, 16));
        return _mm_srli_epi32(_mm_add_epi32(sum, round), 9);
    };
    for (; x + 16 <= width; x += 16) {
        const __m128i a = _mm_packs_epi32(four(b + 2 * x), four(b + 2 * x + 8));
        const __m128i c = _mm_packs_epi32(four(b + 2 * x + 16), four(b + 2 * x + 24));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + x), _mm_packus_epi16(a, c));
    }
#endif
    for (; x < width; ++x) d[x] = static_cast<uint8_t>((b[2 * x] + b[2 * x + 1] + 256) >> 9);
}

// Three blended values to two outputs across (1080 to 720 lines and columns): weights
// 192 and 64 of the nearer and the farther, as the general positions give.
void TwoThirdsRow(const uint16_t* b, uint8_t* d, int width) {
    for (int x = 0; x + 1 < width; x += 2, b += 3) {
        d[x] = static_cast<uint8_t>((3u * b[0] + b[1] + 512) >> 10);
        d[x + 1] = static_cast<uint8_t>((b[1] + 3u * b[2] + 512) >> 10);
    }
}

}  // namespace

void PlaneScaler::Scale(const Plane& src, int width, int height, Plane& dst) {
    dst.Resize(width, height);
    if (src.width <= 0 || src.height <= 0) return;
    if (src.width != srcW_ || src.height != srcH_ || width != dstW_ || height != dstH_) {
        PlanePositions(src.width, width, xi_, xf_);
        // Chroma: the positions of both rows at twice the height (yi_ and yf_ hold pairs).
        PlanePositions(src.height, chroma_ ? 2 * height : height, yi_, yf_);
        right_.resize(static_cast<size_t>(width));
        for (int x = 0; x < width; ++x) right_[x] = xi_[x] + 1 < src.width ? xi_[x] + 1 : xi_[x];
        blended_.resize(static_cast<size_t>(src.width));
        second_.resize(chroma_ ? static_cast<size_t>(src.width) : 0);
        srcW_ = src.width, srcH_ = src.height, dstW_ = width, dstH_ = height;
    }
    // Halving across is the commonest step (HD to VGA, and every 4:2:2 chroma), two thirds
    // the next (full HD to HD); both are exactly what the general positions give.
    const bool sameWidth = width == src.width, halved = src.width == 2 * width;
    const bool twoThirds = 2 * src.width == 3 * width && width % 2 == 0;
    const int* xi = xi_.data();
    const int* right = right_.data();
    const uint16_t* xf = xf_.data();
    // Two source rows blended into one in 8.8 fixed point, then resampled across and
    // rounded once.
    const size_t m = blended_.size();
    const int step = chroma_ ? 2 : 1;
    auto blend = [&](int k, uint16_t* b) {
        const uint8_t* r0 = src.Row(yi_[k]);
        const uint8_t* r1 = src.Row(yi_[k] + 1 < src.height ? yi_[k] + 1 : yi_[k]);
        BlendRows(r0, r1, yf_[k], b, m);
    };
    for (int y = 0; y < height; ++y) {
        uint16_t* b = blended_.data();
        blend(step * y, b);
        if (chroma_) {
            blend(2 * y + 1, second_.data());
            AverageRows(b, second_.data(), m);
        }
        uint8_t* d = dst.Row(y);
        if (sameWidth) {
            RoundRow(b, d, width);
        } else if (halved) {
            HalveRow(b, d, width);
        } else if (twoThirds) {
            TwoThirdsRow(b, d, width);
        } else {
            for (int x = 0; x < width; ++x) {
                const uint32_t wx = xf[x], w0 = 256 - wx;
                d[x] = static_cast<uint8_t>((b[xi[x]] * w0 + b[right[x]] * wx + 32768) >> 16);
            }
        }
    }
}
