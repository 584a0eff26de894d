#include "programs/encoder/scale.h"

#include <cstring>
#include <vector>

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

}  // namespace

void PlaneScaler::Scale(const Plane& src, int width, int height, Plane& dst) {
    dst.Resize(width, height);
    if (src.width <= 0 || src.height <= 0) return;
    if (src.width != srcW_ || src.height != srcH_ || width != dstW_ || height != dstH_) {
        PlanePositions(src.width, width, xi_, xf_);
        PlanePositions(src.height, height, yi_, yf_);
        right_.resize(static_cast<size_t>(width));
        for (int x = 0; x < width; ++x) right_[x] = xi_[x] + 1 < src.width ? xi_[x] + 1 : xi_[x];
        blended_.resize(static_cast<size_t>(src.width));
        srcW_ = src.width, srcH_ = src.height, dstW_ = width, dstH_ = height;
    }
    const bool sameWidth = width == src.width;
    const int* xi = xi_.data();
    const int* right = right_.data();
    const uint16_t* xf = xf_.data();
    // Two source rows blended into one in 8.8 fixed point (a plain loop the compiler
    // vectorises), then resampled across and rounded once.
    const size_t m = blended_.size();
    for (int y = 0; y < height; ++y) {
        const uint8_t* r0 = src.Row(yi_[y]);
        const uint8_t* r1 = src.Row(yi_[y] + 1 < src.height ? yi_[y] + 1 : yi_[y]);
        const unsigned wy = yf_[y], wt = 256 - wy;
        uint16_t* b = blended_.data();
        for (size_t i = 0; i < m; ++i) b[i] = static_cast<uint16_t>(r0[i] * wt + r1[i] * wy);
        uint8_t* d = dst.Row(y);
        if (sameWidth) {
            for (int x = 0; x < width; ++x) d[x] = static_cast<uint8_t>((b[x] + 128) >> 8);
            continue;
        }
        for (int x = 0; x < width; ++x) {
            const uint32_t wx = xf[x], w0 = 256 - wx;
            d[x] = static_cast<uint8_t>((b[xi[x]] * w0 + b[right[x]] * wx + 32768) >> 16);
        }
    }
}
