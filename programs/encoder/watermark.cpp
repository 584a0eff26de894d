#include "programs/encoder/watermark.h"

#include <algorithm>
#include <cstring>
#include <utility>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "programs/encoder/scale.h"
#include "programs/encoder/ycc.h"

Watermark::Watermark(RgbImage mark, int mode, uint32_t thresholdRgb)
    : mark_(std::move(mark)),
      mode_(mode), threshold_{static_cast<uint8_t>(thresholdRgb >> 16), static_cast<uint8_t>(thresholdRgb >> 8),
                              static_cast<uint8_t>(thresholdRgb)} {}

void Watermark::Prepare(int width, int height) {
    ScaleNearest(mark_, width, height, scaled_);
    size_t n = scaled_.rgb.size();
    if (mode_ == 0) {
        offset_.resize(n);
        for (size_t i = 0; i < n; ++i) offset_[i] = static_cast<int16_t>(scaled_.rgb[i] - 128);
    } else {
        covers_.resize(n / 3);
        for (size_t p = 0; p < n / 3; ++p) {
            const uint8_t* m = &scaled_.rgb[p * 3];
            covers_[p] = m[0] > threshold_[0] || m[1] > threshold_[1] || m[2] > threshold_[2];
        }
    }
    // The planar blend's map: which blocks to visit and how each pixel is touched.
    greyBlocks_.clear();
    otherBlocks_.clear();
    const int bw = (width + 1) / 2, bh = (height + 1) / 2;
    for (int by = 0; by < bh; ++by)
        for (int bx = 0; bx < bw; ++bx) {
            MarkedBlock block{static_cast<uint16_t>(bx), static_cast<uint16_t>(by), {}};
            bool touched = false, grey = true;
            for (int k = 0; k < 4; ++k) {
                const int x = 2 * bx + (k & 1), y = 2 * by + (k >> 1);
                int16_t& what = block.pixel[k];
                if (x >= width || y >= height) {
                    what = kOutside;
                    grey = false;
                    continue;
                }
                const size_t p = static_cast<size_t>(y) * width + x;
                const uint8_t* m = &scaled_.rgb[p * 3];
                if (mode_ == 0) what = m[0] == m[1] && m[1] == m[2] ? static_cast<int16_t>(m[0] - 128) : kColoured;
                else what = covers_[p] ? kCovered : 0;
                touched = touched || what != 0;
                grey = grey && what < kColoured;
            }
            if (touched) (grey ? greyBlocks_ : otherBlocks_).push_back(block);
        }
    preparedW_ = width;
    preparedH_ = height;
}

void Watermark::Apply(RgbImage& frame) {
    if (frame.width != preparedW_ || frame.height != preparedH_) Prepare(frame.width, frame.height);
    uint8_t* px = frame.rgb.data();
    size_t n = frame.rgb.size();
    if (mode_ == 0) {
        const int16_t* off = offset_.data();
        // Branch-free so that the compiler vectorises it.
        for (size_t i = 0; i < n; ++i) {
            int v = px[i] + off[i];
            v = v < 0 ? 0 : v;
            px[i] = static_cast<uint8_t>(v > 255 ? 255 : v);
        }
    } else {
        for (size_t p = 0; p < n / 3; ++p)
            if (covers_[p]) {
                px[p * 3] = scaled_.rgb[p * 3];
                px[p * 3 + 1] = scaled_.rgb[p * 3 + 1];
                px[p * 3 + 2] = scaled_.rgb[p * 3 + 2];
            }
    }
}

void Watermark::Apply(YuvImage& frame) {
    if (frame.width != preparedW_ || frame.height != preparedH_) Prepare(frame.width, frame.height);
#ifdef __SSE2__
    // An odd one out is paired with itself: both halves read before either writes.
    for (size_t i = 0; i < greyBlocks_.size(); i += 2)
        BlendGreyPair(frame, greyBlocks_[i], greyBlocks_[i + 1 < greyBlocks_.size() ? i + 1 : i]);
#else
    for (const MarkedBlock& block : greyBlocks_) BlendBlock(frame, block);
#endif
    for (const MarkedBlock& block : otherBlocks_) BlendBlock(frame, block);
}

void Watermark::BlendBlock(YuvImage& frame, const MarkedBlock& block) const {
    uint8_t& cb = frame.cb.Row(block.by)[block.bx];
    uint8_t& cr = frame.cr.Row(block.by)[block.bx];
    // The block's chroma, as what it adds to each channel: the RGB of a pixel is its luma
    // plus these, and a grey mark's change clamps nowhere while the luma stays within
    // [-lowest, 255 - highest].
    const ChromaOffsets o = OffsetsOf(cb, cr);
    const int lowest = std::min(o.r, std::min(o.g, o.b)), highest = std::max(o.r, std::max(o.g, o.b));
    int sumCb = 0, sumCr = 0, pixels = 0;
    for (int k = 0; k < 4; ++k) {
        const int d = block.pixel[k];
        if (d == kOutside) continue;
        const int x = 2 * block.bx + (k & 1), y = 2 * block.by + (k >> 1);
        uint8_t& luma = frame.y.Row(y)[x];
        int Y = luma, newCb = cb, newCr = cr;
        ++pixels;
        if (d == 0 || (d < kColoured && Y + lowest + std::min(d, 0) >= 0 && Y + highest + std::max(d, 0) <= 255)) {
            // Grey: exact as a luma change unless a channel would clamp.
            Y += d;
        } else if (d < kColoured) {
            RgbToYcc(ClampByte(ClampByte(Y + o.r) + d), ClampByte(ClampByte(Y + o.g) + d),
                     ClampByte(ClampByte(Y + o.b) + d), Y, newCb, newCr);
        } else {
            const uint8_t* m = &scaled_.rgb[(static_cast<size_t>(y) * frame.width + x) * 3];
            if (d == kCovered) RgbToYcc(m[0], m[1], m[2], Y, newCb, newCr);
            else
                RgbToYcc(ClampByte(ClampByte(Y + o.r) + m[0] - 128), ClampByte(ClampByte(Y + o.g) + m[1] - 128),
                         ClampByte(ClampByte(Y + o.b) + m[2] - 128), Y, newCb, newCr);
        }
        luma = static_cast<uint8_t>(Y);
        sumCb += newCb;
        sumCr += newCr;
    }
    // The mean of the pixels' chroma (the old chroma again where none changed).
    cb = static_cast<uint8_t>((sumCb + pixels / 2) / pixels);
    cr = static_cast<uint8_t>((sumCr + pixels / 2) / pixels);
}

#ifdef __SSE2__
// BlendBlock's grey case for two whole blocks, a pixel in each 16-bit lane (the first
// block's four in the low half): every pixel both as a luma change and through RGB, the
// RGB result kept where a channel would clamp. The sums are BlendBlock's, in other lanes.
void Watermark::BlendGreyPair(YuvImage& frame, const MarkedBlock& a, const MarkedBlock& b) {
    struct Wide {
        __m128i lo, hi;  // 32-bit sums of the low four lanes and of the high four
    };
    uint8_t *top[2], *bottom[2], *cb[2], *cr[2];
    int lowest[2], highest[2];
    ChromaOffsets o[2];
    const MarkedBlock* blocks[2] = {&a, &b};
    for (int i = 0; i < 2; ++i) {
        const int bx = blocks[i]->bx, by = blocks[i]->by;
        top[i] = frame.y.Row(2 * by) + 2 * bx;
        bottom[i] = frame.y.Row(2 * by + 1) + 2 * bx;
        cb[i] = frame.cb.Row(by) + bx;
        cr[i] = frame.cr.Row(by) + bx;
        o[i] = OffsetsOf(*cb[i], *cr[i]);
        lowest[i] = std::min(o[i].r, std::min(o[i].g, o[i].b));
        highest[i] = std::max(o[i].r, std::max(o[i].g, o[i].b));
    }
    auto halves = [](int first, int second) {
        return _mm_unpacklo_epi64(_mm_set1_epi16(static_cast<short>(first)),
                                  _mm_set1_epi16(static_cast<short>(second)));
    };
    auto clamp = [](__m128i v) { return _mm_min_epi16(_mm_max_epi16(v, _mm_setzero_si128()), _mm_set1_epi16(255)); };
    // Two 16-bit weights for the pairs of an interleaved pair of vectors, and the sums of
    // both halves' products (plus `add`) shifted down and packed back to 16-bit lanes.
    auto weigh = [](__m128i x, __m128i y, int wx, int wy, int add) {
        const __m128i w = _mm_set1_epi32(static_cast<int>(static_cast<uint32_t>(wy) << 16 | (wx & 0xFFFF)));
        const __m128i plus = _mm_set1_epi32(add);
        const __m128i lo = _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(x, y), w), plus);
        const __m128i hi = _mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(x, y), w), plus);
        return Wide{lo, hi};
    };
    auto sum = [](Wide p, Wide q) {
        return _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(p.lo, q.lo), 16),
                               _mm_srai_epi32(_mm_add_epi32(p.hi, q.hi), 16));
    };
    const __m128i Y = _mm_set_epi16(bottom[1][1], bottom[1][0], top[1][1], top[1][0], bottom[0][1], bottom[0][0],
                                    top[0][1], top[0][0]);
    const __m128i d = _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(a.pixel)),
                                         _mm_loadl_epi64(reinterpret_cast<const __m128i*>(b.pixel)));
    const __m128i r = clamp(_mm_add_epi16(clamp(_mm_add_epi16(Y, halves(o[0].r, o[1].r))), d));
    const __m128i g = clamp(_mm_add_epi16(clamp(_mm_add_epi16(Y, halves(o[0].g, o[1].g))), d));
    const __m128i bl = clamp(_mm_add_epi16(clamp(_mm_add_epi16(Y, halves(o[0].b, o[1].b))), d));
    // RgbToYcc, with the weights over 32767 split in two equal halves.
    const __m128i yRgb = sum(weigh(r, bl, 19595, 7471, 32768), weigh(g, g, 19235, 19235, 0));
    const __m128i cbRgb = clamp(sum(weigh(r, g, -11059, -21709, (128 << 16) + 32768), weigh(bl, bl, 16384, 16384, 0)));
    const __m128i crRgb = clamp(sum(weigh(r, r, 16384, 16384, (128 << 16) + 32768), weigh(g, bl, -27439, -5329, 0)));
    // Where the luma change is exact: no offset, or no channel leaving [0, 255].
    const __m128i zero = _mm_setzero_si128();
    const __m128i low = _mm_add_epi16(_mm_add_epi16(Y, halves(lowest[0], lowest[1])), _mm_min_epi16(d, zero));
    const __m128i high = _mm_add_epi16(_mm_add_epi16(Y, halves(highest[0], highest[1])), _mm_max_epi16(d, zero));
    const __m128i exact = _mm_or_si128(
        _mm_cmpeq_epi16(d, zero),
        _mm_andnot_si128(_mm_or_si128(_mm_cmplt_epi16(low, zero), _mm_cmpgt_epi16(high, _mm_set1_epi16(255))),
                         _mm_set1_epi16(-1)));
    auto choose = [&](__m128i ifExact, __m128i otherwise) {
        return _mm_or_si128(_mm_and_si128(exact, ifExact), _mm_andnot_si128(exact, otherwise));
    };
    const __m128i newY = _mm_packus_epi16(choose(_mm_add_epi16(Y, d), yRgb), zero);
    // Each block's chroma sums: pairs of lanes added by the multiply-add, then the two pairs.
    const __m128i ones = _mm_set1_epi16(1);
    __m128i sums[2] = {_mm_madd_epi16(choose(halves(*cb[0], *cb[1]), cbRgb), ones),
                       _mm_madd_epi16(choose(halves(*cr[0], *cr[1]), crRgb), ones)};
    for (__m128i& s : sums)
        s = _mm_srli_epi32(
            _mm_add_epi32(_mm_add_epi32(s, _mm_shuffle_epi32(s, _MM_SHUFFLE(2, 3, 0, 1))), _mm_set1_epi32(2)), 2);
    // Each block's four lumas, top row first, and its chroma from lanes 0 and 2.
    const int32_t four[2] = {_mm_cvtsi128_si32(newY), _mm_cvtsi128_si32(_mm_srli_si128(newY, 4))};
    const int chroma[2][2] = {
        {_mm_cvtsi128_si32(sums[0]), _mm_cvtsi128_si32(sums[1])},
        {_mm_cvtsi128_si32(_mm_srli_si128(sums[0], 8)), _mm_cvtsi128_si32(_mm_srli_si128(sums[1], 8))}};
    for (int i = 0; i < 2; ++i) {
        std::memcpy(top[i], &four[i], 2);
        std::memcpy(bottom[i], reinterpret_cast<const uint8_t*>(&four[i]) + 2, 2);
        *cb[i] = static_cast<uint8_t>(chroma[i][0]);
        *cr[i] = static_cast<uint8_t>(chroma[i][1]);
    }
}
#endif
