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
        if (!bits.Read(width, code)) {
            error = "image data ends early";
            return false;
        }
        if (code == clear) {
            width = minCodeSize + 1;
            next = clear + 2;
            prev = -1;
            continue;
        }
        if (code == endCode) break;
        if (prev < 0) {
            if (code > clear) {
                error = "image data starts with an undefined code";
                return false;
            }
            indices[out++] = static_cast<uint8_t>(code);
            prev = code;
            continue;
        }
        if (code > next || (code == next && next >= 4096)) {
            error = "image data has an undefined code";
            return false;
        }
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
    if (out < indices.size()) {
        error = "image data ends before the last pixel";
        return false;
    }
    return true;
}

}  // namespace

bool ReadGif(const uint8_t* data, size_t size, RgbImage& out, std::string& error) {
    Input in(data, size);
    const uint8_t* sig;
    if (!in.Take(6, sig) || (std::memcmp(sig, "GIF87a", 6) != 0 && std::memcmp(sig, "GIF89a", 6) != 0)) {
        error = "not a GIF file";
        return false;
    }
    int screenW, screenH;
    uint8_t packed, background, aspect;
    if (!in.Word(screenW) || !in.Word(screenH) || !in.Byte(packed) || !in.Byte(background) || !in.Byte(aspect)) {
        error = "truncated header";
        return false;
    }
    if (screenW == 0 || screenH == 0 || screenW > kMaxGifSide || screenH > kMaxGifSide) {
        error = "unsupported picture size";
        return false;
    }
    const uint8_t* globalTable = nullptr;
    int globalColours = 0;
    if (packed & 0x80) {
        globalColours = 2 << (packed & 7);
        if (!in.Take(static_cast<size_t>(globalColours) * 3, globalTable)) {
            error = "truncated colour table";
            return false;
        }
    }
    for (;;) {
        uint8_t kind;
        if (!in.Byte(kind)) {
            error = "no image before the end of the file";
            return false;
        }
        if (kind == 0x21) {
            uint8_t label;
            if (!in.Byte(label) || !ReadSubBlocks(in, nullptr)) {
                error = "truncated extension block";
                return false;
            }
            continue;
        }
        if (kind == 0x3B) {
            error = "the file holds no image";
            return false;
        }
        if (kind != 0x2C) {
            error = "unknown block in the file";
            return false;
        }
        break;
    }
    int left, top, w, h;
    uint8_t flags, minCodeSize;
    if (!in.Word(left) || !in.Word(top) || !in.Word(w) || !in.Word(h) || !in.Byte(flags)) {
        error = "truncated image descriptor";
        return false;
    }
    if (w == 0 || h == 0) {
        error = "empty image";
        return false;
    }
    // The index buffer is sized from these: a hostile 65535x65535 would ask for 4 GiB.
    if (w > kMaxGifSide || h > kMaxGifSide) {
        error = "image too large";
        return false;
    }
    const uint8_t* table = globalTable;
    int colours = globalColours;
    if (flags & 0x80) {
        colours = 2 << (flags & 7);
        if (!in.Take(static_cast<size_t>(colours) * 3, table)) {
            error = "truncated local colour table";
            return false;
        }
    }
    if (!table) {
        error = "no colour table";
        return false;
    }
    if (!in.Byte(minCodeSize) || minCodeSize < 2 || minCodeSize > 8) {
        error = "bad LZW code size";
        return false;
    }
    std::vector<uint8_t> compressed;
    if (!ReadSubBlocks(in, &compressed)) {
        error = "truncated image data";
        return false;
    }
    std::vector<uint8_t> indices(static_cast<size_t>(w) * static_cast<size_t>(h));
    if (!DecodeLzw(compressed, minCodeSize, indices, error)) return false;

    out.Resize(screenW, screenH);
    std::memset(out.rgb.data(), 128, out.rgb.size());
    // Interlaced rows come in four passes: every 8th from 0, every 8th from 4, every 4th from 2, every 2nd from 1.
    static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
    int pass = 0, row = 0;
    for (int i = 0; i < h; ++i) {
        int y;
        if (flags & 0x40) {
            while (row >= h) {
                ++pass;
                row = kStart[pass];
            }
            y = row;
            row += kStep[pass];
        } else {
            y = i;
        }
        const uint8_t* src = &indices[static_cast<size_t>(i) * static_cast<size_t>(w)];
        for (int x = 0; x < w; ++x) {
            if (src[x] >= colours) {
                error = "pixel outside the colour table";
                return false;
            }
        }
        int sy = top + y;
        if (sy >= screenH) continue;
        for (int x = 0; x < w && left + x < screenW; ++x) {
            std::memcpy(out.Row(sy) + (left + x) * 3, table + src[x] * 3, 3);
        }
    }
    return true;
}
