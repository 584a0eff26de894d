#include "programs/encoder/gif_reader.h"

#include <cstring>
#include <vector>

namespace {

class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Take(size_t n, const uint8_t*& at) {
        if (size_ - pos_ < n) return false;
        at = data_ + pos_;
        pos_ += n;
        return true;
    }
    bool Byte(uint8_t& b) {
        const uint8_t* at;
        if (!Take(1, at)) return false;
        b = *at;
        return true;
    }
    bool Word(int& v) {
        const uint8_t* at;
        if (!Take(2, at)) return false;
        v = at[0] | (at[1] << 8);
        return true;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// The data sub-blocks that follow an extension label or an image's code size.
bool ReadSubBlocks(Input& in, std::vector<uint8_t>* collect) {
    for (;;) {
        uint8_t len;
        if (!in.Byte(len)) return false;
        if (len == 0) return true;
        const uint8_t* at;
        if (!in.Take(len, at)) return false;
        if (collect) collect->insert(collect->end(), at, at + len);
    }
}

class BitReader {
public:
    explicit BitReader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
    bool Read(int width, int& code) {
        while (count_ < width) {
            if (pos_ >= bytes_.size()) return false;
            acc_ |= static_cast<uint32_t>(bytes_[pos_++]) << count_;
            count_ += 8;
        }
        code = static_cast<int>(acc_ & ((1u << width) - 1));
        acc_ >>= width;
        count_ -= width;
        return true;
    }

private:
    const std::vector<uint8_t>& bytes_;
    size_t pos_ = 0;
    uint32_t acc_ = 0;
    int count_ = 0;
};

bool Fail(std::string& error, const char* message) {
    error = message;
    return false;
}

// Variable-width LZW as GIF uses it; fills exactly `indices.size()` pixels or fails.
bool DecodeLzw(const std::vector<uint8_t>& bytes, int minCodeSize, std::vector<uint8_t>& indices, std::string& error) {
    const int clear = 1 << minCodeSize, endCode = clear + 1;
    static thread_local uint16_t prefix[4096];
    static thread_local uint8_t suffix[4096], first[4096];
    uint8_t stack[4096];
    for (int i = 0; i < clear; ++i) suffix[i] = first[i] = static_cast<uint8_t>(i);
    int width = minCodeSize + 1, next = clear + 2, prev = -1;
    size_t out = 0;
    BitReader bits(bytes);
    while (out < indices.size()) {
        int code;
        if (!bits.Read(width, code)) return Fail(error, "image data ends early");
        if (code == clear) {
            width = minCodeSize + 1;
            next = clear + 2;
            prev = -1;
            continue;
        }
        if (code == endCode) break;
        if (prev < 0) {
            if (code > clear) return Fail(error, "image data starts with an undefined code");
            indices[out++] = static_cast<uint8_t>(code);
            prev = code;
            continue;
        }
        if (code > next || (code == next && next >= 4096)) return Fail(error, "image data has an undefined code");
        if (next < 4096) {
            prefix[next] = static_cast<uint16_t>(prev);
            suffix[next] = code < next ? first[code] : first[prev];
            first[next] = first[prev];
            ++next;
            if (next == (1 << width) && width < 12) ++width;
        }
        int depth = 0;
        for (int c = code; depth < 4096; c = prefix[c]) {
            stack[depth++] = suffix[c];
            if (c < clear) break;
        }
        while (depth > 0 && out < indices.size()) indices[out++] = stack[--depth];
        prev = code;
    }
    if (out < indices.size()) return Fail(error, "image data ends before the last pixel");
    return true;
}

// One picture's reading, step by step; each step fails with the reason in error_.
class GifReader {
public:
    GifReader(const uint8_t* data, size_t size, RgbImage& out, std::string& error)
        : in_(data, size), out_(out), error_(error) {}

    bool Read() {
        return ReadScreen() && SkipToImage() && ReadDescriptor() && ReadColourTable() && ReadPixels() && Paint();
    }

private:
    bool Fail(const char* message) { return ::Fail(error_, message); }

    // The signature, the logical screen and its global colour table.
    bool ReadScreen() {
        const uint8_t* sig;
        if (!in_.Take(6, sig) || (std::memcmp(sig, "GIF87a", 6) != 0 && std::memcmp(sig, "GIF89a", 6) != 0))
            return Fail("not a GIF file");
        uint8_t packed, background, aspect;
        if (!in_.Word(screenW_) || !in_.Word(screenH_) || !in_.Byte(packed) || !in_.Byte(background) ||
            !in_.Byte(aspect))
            return Fail("truncated header");
        if (screenW_ == 0 || screenH_ == 0 || screenW_ > kMaxGifSide || screenH_ > kMaxGifSide)
            return Fail("unsupported picture size");
        if (packed & 0x80) {
            colours_ = 2 << (packed & 7);
            if (!in_.Take(static_cast<size_t>(colours_) * 3, table_)) return Fail("truncated colour table");
        }
        return true;
    }

    // Extensions before the first image are skipped.
    bool SkipToImage() {
        for (;;) {
            uint8_t kind;
            if (!in_.Byte(kind)) return Fail("no image before the end of the file");
            if (kind == 0x2C) return true;
            if (kind == 0x3B) return Fail("the file holds no image");
            if (kind != 0x21) return Fail("unknown block in the file");
            uint8_t label;
            if (!in_.Byte(label) || !ReadSubBlocks(in_, nullptr)) return Fail("truncated extension block");
        }
    }

    bool ReadDescriptor() {
        if (!in_.Word(left_) || !in_.Word(top_) || !in_.Word(w_) || !in_.Word(h_) || !in_.Byte(flags_))
            return Fail("truncated image descriptor");
        if (w_ == 0 || h_ == 0) return Fail("empty image");
        // The index buffer is sized from these: a hostile 65535x65535 would ask for 4 GiB.
        if (w_ > kMaxGifSide || h_ > kMaxGifSide) return Fail("image too large");
        return true;
    }

    // The image's own table replaces the global one.
    bool ReadColourTable() {
        if (flags_ & 0x80) {
            colours_ = 2 << (flags_ & 7);
            if (!in_.Take(static_cast<size_t>(colours_) * 3, table_)) return Fail("truncated local colour table");
        }
        if (!table_) return Fail("no colour table");
        return true;
    }

    bool ReadPixels() {
        uint8_t minCodeSize;
        if (!in_.Byte(minCodeSize) || minCodeSize < 2 || minCodeSize > 8) return Fail("bad LZW code size");
        std::vector<uint8_t> compressed;
        if (!ReadSubBlocks(in_, &compressed)) return Fail("truncated image data");
        indices_.resize(static_cast<size_t>(w_) * static_cast<size_t>(h_));
        return DecodeLzw(compressed, minCodeSize, indices_, error_);
    }

    // The image on the mid-grey screen, clipped to it.
    bool Paint() {
        out_.Resize(screenW_, screenH_);
        std::memset(out_.rgb.data(), 128, out_.rgb.size());
        // Interlaced rows come in four passes: every 8th from 0, every 8th from 4, every 4th from 2, every 2nd from 1.
        static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
        int pass = 0, row = 0;
        for (int i = 0; i < h_; ++i) {
            int y;
            if (flags_ & 0x40) {
                while (row >= h_) {
                    ++pass;
                    row = kStart[pass];
                }
                y = row;
                row += kStep[pass];
            } else {
                y = i;
            }
            const uint8_t* src = &indices_[static_cast<size_t>(i) * static_cast<size_t>(w_)];
            for (int x = 0; x < w_; ++x)
                if (src[x] >= colours_) return Fail("pixel outside the colour table");
            int sy = top_ + y;
            if (sy >= screenH_) continue;
            for (int x = 0; x < w_ && left_ + x < screenW_; ++x)
                std::memcpy(out_.Row(sy) + (left_ + x) * 3, table_ + src[x] * 3, 3);
        }
        return true;
    }

    Input in_;
    RgbImage& out_;
    std::string& error_;
    int screenW_ = 0, screenH_ = 0;
    const uint8_t* table_ = nullptr;  // the global colour table, then the one the image uses
    int colours_ = 0;
    int left_ = 0, top_ = 0, w_ = 0, h_ = 0;
    uint8_t flags_ = 0;
    std::vector<uint8_t> indices_;
};

}  // namespace

bool ReadGif(const uint8_t* data, size_t size, RgbImage& out, std::string& error) {
    return GifReader(data, size, out, error).Read();
}
