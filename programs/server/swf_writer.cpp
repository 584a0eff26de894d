#include "programs/server/swf_writer.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kTwips = 20;
// Ids cycle through this range: two per frame, so an id comes back only after
// some 32000 frames, long after the player has let go of the old character.
constexpr uint16_t kFirstId = 1, kLastId = 65000;

class BitWriter {
public:
    explicit BitWriter(std::string& out) : out_(out) {}
    ~BitWriter() { Flush(); }
    void Put(uint32_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i) {
            acc_ = static_cast<uint8_t>((acc_ << 1) | ((value >> i) & 1));
            if (++n_ == 8) {
                out_ += static_cast<char>(acc_);
                acc_ = 0;
                n_ = 0;
            }
        }
    }
    void PutSigned(int32_t value, int bits) {
        Put(static_cast<uint32_t>(value) & (bits == 32 ? 0xFFFFFFFFu : ((1u << bits) - 1)), bits);
    }
    void Flush() {
        if (n_ > 0) Put(0, 8 - n_);
    }

private:
    std::string& out_;
    uint8_t acc_ = 0;
    int n_ = 0;
};

// Bits needed for a signed value (with its sign bit).
int SignedBits(int32_t v) {
    int bits = 1;
    int64_t x = v;
    while (x < -(int64_t(1) << (bits - 1)) || x >= (int64_t(1) << (bits - 1))) ++bits;
    return bits;
}

void PutRect(std::string& out, int32_t xmax, int32_t ymax) {
    int bits = std::max(SignedBits(xmax), SignedBits(ymax));
    BitWriter w(out);
    w.Put(static_cast<uint32_t>(bits), 5);
    w.PutSigned(0, bits);
    w.PutSigned(xmax, bits);
    w.PutSigned(0, bits);
    w.PutSigned(ymax, bits);
}

// A scale-only matrix with 16.16 fixed-point factors.
void PutScaleMatrix(std::string& out, int32_t sx, int32_t sy) {
    int bits = std::max(SignedBits(sx), SignedBits(sy));
    BitWriter w(out);
    w.Put(1, 1);
    w.Put(static_cast<uint32_t>(bits), 5);
    w.PutSigned(sx, bits);
    w.PutSigned(sy, bits);
    w.Put(0, 1);  // no rotation
    w.Put(0, 5);  // no translation
}

// The 16.16 factor that stretches a picture's pixels over the stage's twips.
// The matrix gives each factor at most 31 bits; a picture of a pixel or two on
// a large stage would need more, and is drawn as large as that allows instead.
int32_t ScaleFactor(int32_t twips, int pixels) {
    constexpr double kLargest = (1 << 30) - 1;
    return static_cast<int32_t>(std::lround(std::min(65536.0 * twips / pixels, kLargest)));
}

uint16_t NextId(uint16_t& next) {
    uint16_t id = next;
    next = next >= kLastId ? kFirstId : static_cast<uint16_t>(next + 1);
    return id;
}

}  // namespace

void PutU16(std::string& out, uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void PutU32(std::string& out, uint32_t v) {
    PutU16(out, v & 0xFFFF);
    PutU16(out, v >> 16);
}

void PutTagHeader(std::string& out, uint16_t code, uint32_t length, bool forceLong) {
    if (length < 63 && !forceLong) {
        PutU16(out, static_cast<uint32_t>(code << 6) | length);
    } else {
        PutU16(out, static_cast<uint32_t>(code << 6) | 63);
        PutU32(out, length);
    }
}

namespace {

// The outline of the w x h stage, filled with fill style 1.
void WriteStageOutline(std::string& body, int32_t w, int32_t h) {
    BitWriter bits(body);
    bits.Put(1, 4);  // fill index bits
    bits.Put(0, 4);  // line index bits
    // Style change: move to (0,0) and fill on the right of the path (the inside, drawn clockwise).
    int moveBits = 1;
    bits.Put(0, 1);  // non-edge
    bits.Put(0, 1);  // new styles
    bits.Put(0, 1);  // line style
    bits.Put(1, 1);  // fill style 1
    bits.Put(0, 1);  // fill style 0
    bits.Put(1, 1);  // move to
    bits.Put(static_cast<uint32_t>(moveBits), 5);
    bits.PutSigned(0, moveBits);
    bits.PutSigned(0, moveBits);
    bits.Put(1, 1);  // fill style 1 index
    // Straight edges, clockwise: right, down, left, up. An edge holds at most
    // 17 bits, so a side longer than that (a stage over 3276 pixels) takes several.
    constexpr int32_t kLongestEdge = (1 << 16) - 1;
    const int32_t sides[4][2] = {{w, 0}, {0, h}, {-w, 0}, {0, -h}};
    for (const auto& side : sides) {
        bool vertical = side[0] == 0;
        int32_t left = vertical ? side[1] : side[0];
        while (left != 0) {
            int32_t step = std::clamp(left, -kLongestEdge, kLongestEdge);
            left -= step;
            int edgeBits = std::max(SignedBits(step), 2);
            bits.Put(1, 1);  // edge
            bits.Put(1, 1);  // straight
            bits.Put(static_cast<uint32_t>(edgeBits - 2), 4);
            bits.Put(0, 1);  // not general: vertical or horizontal
            bits.Put(vertical ? 1 : 0, 1);
            bits.PutSigned(step, edgeBits);
        }
    }
    bits.Put(0, 6);  // end of shape
}

// The shape tag: the w x h stage (in twips) filled with the bitmap, scaled to fit.
void WriteShape(std::string& out, uint16_t shape, uint16_t bitmap, int32_t w, int32_t h, int jpegWidth,
                int jpegHeight) {
    std::string body;
    PutU16(body, shape);
    PutRect(body, w, h);
    body += static_cast<char>(1);     // one fill style
    body += static_cast<char>(0x41);  // clipped bitmap
    PutU16(body, bitmap);
    PutScaleMatrix(body, ScaleFactor(w, jpegWidth), ScaleFactor(h, jpegHeight));
    body += static_cast<char>(0);  // no line styles
    WriteStageOutline(body, w, h);
    PutTagHeader(out, SwfStreamWriter::kTagDefineShape, static_cast<uint32_t>(body.size()));
    out += body;
}

}  // namespace

SwfStreamWriter::SwfStreamWriter(int width, int height, double frameRate)
    : width_(std::clamp(width, 1, 8191)), height_(std::clamp(height, 1, 8191)), frameRate_(frameRate) {}

std::string SwfStreamWriter::Header() const {
    std::string out = "FWS";
    out += static_cast<char>(kVersion);
    PutU32(out, kOpenLength);
    PutRect(out, width_ * kTwips, height_ * kTwips);
    // Frame rate in 8.8 fixed point, fraction byte first.
    uint32_t rate = static_cast<uint32_t>(std::lround(std::clamp(frameRate_, 1.0 / 256, 255.0) * 256));
    PutU16(out, std::min<uint32_t>(rate, 0xFFFF));
    PutU16(out, 0xFFFF);  // frame count: open ended
    PutTagHeader(out, kTagSetBackgroundColor, 3);
    out += std::string(3, '\0');
    return out;
}

void SwfStreamWriter::Frame(size_t jpegSize, int jpegWidth, int jpegHeight, std::string& prefix, std::string& suffix) {
    prefix.clear();
    suffix.clear();
    jpegWidth = std::max(jpegWidth, 1);
    jpegHeight = std::max(jpegHeight, 1);
    uint16_t bitmap = NextId(nextId_);
    uint16_t shape = NextId(nextId_);

    PutTagHeader(prefix, kTagDefineBitsJpeg2, static_cast<uint32_t>(2 + jpegSize), true);
    PutU16(prefix, bitmap);

    WriteShape(suffix, shape, bitmap, width_ * kTwips, height_ * kTwips, jpegWidth, jpegHeight);

    // Place it on depth 1, replacing the previous frame's shape.
    std::string place;
    place += static_cast<char>(frames_ == 0 ? 0x02 : 0x03);  // has character, and move when replacing
    PutU16(place, 1);
    PutU16(place, shape);
    PutTagHeader(suffix, kTagPlaceObject2, static_cast<uint32_t>(place.size()));
    suffix += place;

    // The previous frame's characters are no longer displayed.
    if (frames_ > 0) {
        PutTagHeader(suffix, kTagFreeCharacter, 2);
        PutU16(suffix, placedShape_);
        PutTagHeader(suffix, kTagFreeCharacter, 2);
        PutU16(suffix, placedBitmap_);
    }
    PutTagHeader(suffix, kTagShowFrame, 0);
    placedBitmap_ = bitmap;
    placedShape_ = shape;
    ++frames_;
}

std::string SwfStreamWriter::End() {
    std::string out;
    PutTagHeader(out, kTagEnd, 0);
    return out;
}
