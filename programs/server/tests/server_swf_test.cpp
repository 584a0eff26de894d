#include "programs/server/swf_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <vector>

#include "programs/server/jpeg_info.h"

namespace {

// An independent reader of the SWF structures, written from the file format.
class Bits {
public:
    Bits(const std::string& s, size_t at) : s_(s), byte_(at) {}
    uint32_t U(int n) {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i) {
            unsigned char b = static_cast<unsigned char>(s_.at(byte_));
            v = (v << 1) | ((b >> (7 - bit_)) & 1);
            if (++bit_ == 8) bit_ = 0, ++byte_;
        }
        return v;
    }
    int32_t S(int n) {
        uint32_t v = U(n);
        if (n > 0 && (v >> (n - 1)) & 1) return static_cast<int32_t>(v | ~((n == 32 ? 0u : (1u << n)) - 1));
        return static_cast<int32_t>(v);
    }
    size_t AlignedEnd() { return bit_ ? byte_ + 1 : byte_; }

private:
    const std::string& s_;
    size_t byte_;
    int bit_ = 0;
};

uint32_t U16(const std::string& s, size_t at) {
    return static_cast<unsigned char>(s.at(at)) | static_cast<unsigned char>(s.at(at + 1)) << 8;
}
uint32_t U32(const std::string& s, size_t at) { return U16(s, at) | U16(s, at + 2) << 16; }

struct Tag {
    uint32_t code;
    std::string body;
    bool longForm;
};

std::vector<Tag> Tags(const std::string& s, size_t at) {
    std::vector<Tag> tags;
    while (at < s.size()) {
        uint32_t head = U16(s, at);
        uint32_t len = head & 63;
        bool longForm = len == 63;
        at += 2;
        if (longForm) len = U32(s, at), at += 4;
        tags.push_back({head >> 6, s.substr(at, len), longForm});
        EXPECT_LE(at + len, s.size());
        at += len;
    }
    return tags;
}

std::string FakeJpeg(size_t n) {
    std::string j = "\xFF\xD8";
    j += std::string(n - 4, 'j');
    return j + "\xFF\xD9";
}

}  // namespace

TEST(SwfWriter, HeaderFields) {
    SwfStreamWriter w(640, 480, 15);
    std::string h = w.Header();
    EXPECT_EQ(h.substr(0, 3), "FWS");
    EXPECT_EQ(h[3], SwfStreamWriter::kVersion);
    Bits rect(h, 8);
    int n = static_cast<int>(rect.U(5));
    EXPECT_EQ(rect.S(n), 0);
    EXPECT_EQ(rect.S(n), 640 * 20);
    EXPECT_EQ(rect.S(n), 0);
    EXPECT_EQ(rect.S(n), 480 * 20);
    size_t at = rect.AlignedEnd();
    EXPECT_EQ(U16(h, at), 15u << 8);  // 8.8 fixed point
    std::vector<Tag> tags = Tags(h, at + 4);
    ASSERT_EQ(tags.size(), 1u);
    EXPECT_EQ(tags[0].code, SwfStreamWriter::kTagSetBackgroundColor);
    EXPECT_EQ(tags[0].body.size(), 3u);

    std::string odd = SwfStreamWriter(1, 1, 29.97).Header();
    Bits small(odd, 8);
    int m = static_cast<int>(small.U(5));
    small.S(m);
    EXPECT_EQ(small.S(m), 20);
    small.S(m);
    small.S(m);
    EXPECT_EQ(U16(odd, small.AlignedEnd()), 29u * 256 + 248);  // 29.97 rounds to 29 + 248/256
}

TEST(SwfWriter, FrameTagLayout) {
    SwfStreamWriter w(640, 480, 15);
    std::string jpeg = FakeJpeg(40);  // small, yet written in the long form players need for bitmaps
    std::string prefix, suffix;
    std::vector<std::string> frames;
    for (int i = 0; i < 2; ++i) {
        w.Frame(jpeg.size(), 320, 240, prefix, suffix);
        frames.push_back(prefix + jpeg + suffix);
    }
    std::vector<Tag> first = Tags(frames[0], 0);
    ASSERT_EQ(first.size(), 4u);
    EXPECT_EQ(first[0].code, SwfStreamWriter::kTagDefineBitsJpeg2);
    EXPECT_TRUE(first[0].longForm);
    uint32_t bitmap = U16(first[0].body, 0);
    EXPECT_EQ(first[0].body.substr(2), jpeg);

    EXPECT_EQ(first[1].code, SwfStreamWriter::kTagDefineShape);
    const std::string& shape = first[1].body;
    uint32_t shapeId = U16(shape, 0);
    EXPECT_NE(shapeId, bitmap);
    Bits b(shape, 2);
    int n = static_cast<int>(b.U(5));
    int32_t bounds[4] = {b.S(n), b.S(n), b.S(n), b.S(n)};
    EXPECT_EQ(bounds[1], 640 * 20);
    EXPECT_EQ(bounds[3], 480 * 20);
    size_t at = b.AlignedEnd();
    EXPECT_EQ(shape[at], 1);                                     // one fill style
    EXPECT_EQ(static_cast<unsigned char>(shape[at + 1]), 0x41);  // clipped bitmap
    EXPECT_EQ(U16(shape, at + 2), bitmap);
    Bits m(shape, at + 4);
    ASSERT_EQ(m.U(1), 1u);  // has scale
    int sb = static_cast<int>(m.U(5));
    EXPECT_EQ(m.S(sb), 40 << 16);  // 320 pixels stretched over 640 * 20 twips
    EXPECT_EQ(m.S(sb), 40 << 16);
    EXPECT_EQ(m.U(1), 0u);
    EXPECT_EQ(m.U(5), 0u);
    at = m.AlignedEnd();
    EXPECT_EQ(shape[at], 0);  // no line styles
    Bits r(shape, at + 1);
    EXPECT_EQ(r.U(4), 1u);
    EXPECT_EQ(r.U(4), 0u);
    // Style change record: move to the origin with fill style 1.
    EXPECT_EQ(r.U(1), 0u);
    uint32_t flags = r.U(5);
    EXPECT_EQ(flags, 0x05u);  // fill style 1 and move to
    int mb = static_cast<int>(r.U(5));
    EXPECT_EQ(r.S(mb), 0);
    EXPECT_EQ(r.S(mb), 0);
    EXPECT_EQ(r.U(1), 1u);
    // Straight edges that go round the stage and close the path.
    int32_t x = 0, y = 0, maxX = 0, maxY = 0;
    int edges = 0;
    while (r.U(1) == 1) {
        ASSERT_EQ(r.U(1), 1u);  // straight
        int eb = static_cast<int>(r.U(4)) + 2;
        if (r.U(1)) {
            x += r.S(eb);
            y += r.S(eb);
        } else if (r.U(1)) {
            y += r.S(eb);
        } else {
            x += r.S(eb);
        }
        maxX = std::max(maxX, x);
        maxY = std::max(maxY, y);
        ++edges;
    }
    EXPECT_EQ(r.U(5), 0u);  // end of shape
    EXPECT_EQ(r.AlignedEnd(), shape.size());
    EXPECT_EQ(edges, 4);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(maxX, 640 * 20);
    EXPECT_EQ(maxY, 480 * 20);

    EXPECT_EQ(first[2].code, SwfStreamWriter::kTagPlaceObject2);
    EXPECT_EQ(first[2].body[0], 0x02);  // a new character
    EXPECT_EQ(U16(first[2].body, 1), 1u);
    EXPECT_EQ(U16(first[2].body, 3), shapeId);
    EXPECT_EQ(first[3].code, SwfStreamWriter::kTagShowFrame);

    std::vector<Tag> second = Tags(frames[1], 0);
    ASSERT_EQ(second.size(), 6u);
    EXPECT_EQ(second[2].body[0], 0x03);  // replaces what is on depth 1
    EXPECT_EQ(second[3].code, SwfStreamWriter::kTagFreeCharacter);
    EXPECT_EQ(U16(second[3].body, 0), shapeId);
    EXPECT_EQ(second[4].code, SwfStreamWriter::kTagFreeCharacter);
    EXPECT_EQ(U16(second[4].body, 0), bitmap);
    EXPECT_EQ(second[5].code, SwfStreamWriter::kTagShowFrame);

    std::vector<Tag> end = Tags(SwfStreamWriter::End(), 0);
    ASSERT_EQ(end.size(), 1u);
    EXPECT_EQ(end[0].code, SwfStreamWriter::kTagEnd);
}

TEST(SwfWriter, ATinyFrameOnALargeStageKeepsTheStreamValid) {
    // The scale factors are 16.16 fixed point in a field of at most 31 bits:
    // a frame of a pixel or two on a large stage needs more and is drawn as
    // large as the field allows instead. A stage side over 3276 pixels needs
    // more than one edge.
    struct Case {
        int stageW, stageH, jpegW, jpegH;
    } cases[] = {{1280, 720, 1, 1}, {8191, 8191, 1, 1}, {8191, 16, 3, 16}, {640, 480, 640, 480}};
    for (const Case& c : cases) {
        SwfStreamWriter w(c.stageW, c.stageH, 15);
        std::string prefix, suffix;
        w.Frame(4, c.jpegW, c.jpegH, prefix, suffix);
        std::vector<Tag> tags = Tags(prefix + "jpeg" + suffix, 0);
        ASSERT_EQ(tags.size(), 4u);
        ASSERT_EQ(tags[1].code, SwfStreamWriter::kTagDefineShape);
        const std::string& shape = tags[1].body;
        Bits b(shape, 2);
        int n = static_cast<int>(b.U(5));
        for (int i = 0; i < 4; ++i) b.S(n);
        size_t at = b.AlignedEnd() + 4;
        Bits m(shape, at);
        ASSERT_EQ(m.U(1), 1u);
        int sb = static_cast<int>(m.U(5));
        ASSERT_GE(sb, 2);
        const int64_t limit = (int64_t(1) << 30) - 1;
        int64_t wantX = std::min<int64_t>(llround(65536.0 * c.stageW * 20 / c.jpegW), limit);
        int64_t wantY = std::min<int64_t>(llround(65536.0 * c.stageH * 20 / c.jpegH), limit);
        EXPECT_EQ(m.S(sb), wantX) << c.stageW << "x" << c.stageH;
        EXPECT_EQ(m.S(sb), wantY) << c.stageW << "x" << c.stageH;
        EXPECT_EQ(m.U(1), 0u);
        EXPECT_EQ(m.U(5), 0u);
        // The rest of the shape still reads as the stage rectangle.
        at = m.AlignedEnd();
        EXPECT_EQ(shape[at], 0);
        Bits r(shape, at + 1);
        EXPECT_EQ(r.U(8), 0x10u);
        EXPECT_EQ(r.U(6), 0x05u);
        int mb = static_cast<int>(r.U(5));
        r.S(mb);
        r.S(mb);
        EXPECT_EQ(r.U(1), 1u);
        // Sides over 65535 twips take several edges, each within its 17 bits.
        int32_t x = 0, y = 0, maxX = 0, maxY = 0;
        int edges = 0;
        while (r.U(1) == 1 && edges < 12) {
            ASSERT_EQ(r.U(1), 1u);
            int eb = static_cast<int>(r.U(4)) + 2;
            ASSERT_EQ(r.U(1), 0u);
            bool vertical = r.U(1);
            (vertical ? y : x) += r.S(eb);
            maxX = std::max(maxX, x);
            maxY = std::max(maxY, y);
            ++edges;
        }
        EXPECT_EQ(edges, 4 + 2 * ((c.stageW * 20 - 1) / 65535 + (c.stageH * 20 - 1) / 65535));
        EXPECT_EQ(x, 0);
        EXPECT_EQ(y, 0);
        EXPECT_EQ(maxX, c.stageW * 20);
        EXPECT_EQ(maxY, c.stageH * 20);
        EXPECT_EQ(r.U(5), 0u);
        EXPECT_EQ(r.AlignedEnd(), shape.size());
    }
}

TEST(SwfWriter, IdsStayInRangeAndAreNotReusedTooSoon) {
    SwfStreamWriter w(8, 8, 1);
    std::string prefix, suffix;
    std::vector<uint32_t> ids;
    for (int i = 0; i < 70000; ++i) {
        w.Frame(4, 8, 8, prefix, suffix);
        ids.push_back(U16(Tags(prefix + "jpeg", 0).at(0).body, 0));
        ids.push_back(U16(Tags(suffix, 0).at(0).body, 0));
    }
    std::set<uint32_t> recent;
    for (size_t i = 0; i < ids.size(); ++i) {
        ASSERT_GE(ids[i], 1u);
        ASSERT_LE(ids[i], 65000u);
        if (i >= 60000) recent.erase(ids[i - 60000]);
        ASSERT_TRUE(recent.insert(ids[i]).second) << "id " << ids[i] << " reused after less than 60000 ids";
    }
}

TEST(JpegInfo, FrameSizeFromTheFrameHeader) {
    // Start of image, an APP0 segment, the frame header, a scan header and one byte of scan data.
    const unsigned char good[] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x04, 0x00, 0x00, 0xFF, 0xC0, 0x00, 0x0B,
                                  0x08, 0x01, 0xE0, 0x02, 0x80, 0x01, 0x01, 0x11, 0x00, 0xFF, 0xDA, 0x00,
                                  0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00, 0x12, 0xFF, 0xD9};
    int w = 0, h = 0;
    ASSERT_TRUE(JpegFrameSize(good, sizeof good, w, h));
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);
    // Cut anywhere before its end, it is no picture: a part shorter than its picture is not shown.
    for (size_t cut = 0; cut < sizeof good; ++cut) EXPECT_FALSE(JpegFrameSize(good, cut, w, h)) << cut;
    // Stuffed bytes and restart markers belong to the scan; a second scan (progressive) may follow.
    std::vector<unsigned char> more(good, good + 32);
    more.insert(more.end(), {0xFF, 0x00, 0x34, 0xFF, 0xD0, 0x56, 0xFF, 0xC4, 0x00, 0x02, 0xFF, 0xDA,
                             0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00, 0x78, 0xFF, 0xD9});
    EXPECT_TRUE(JpegFrameSize(more.data(), more.size(), w, h));
    for (size_t cut = 32; cut < more.size(); ++cut) EXPECT_FALSE(JpegFrameSize(more.data(), cut, w, h)) << cut;
    // A frame header with no scan at all, or a scan that ends at once, is no picture either.
    std::vector<unsigned char> headerOnly(good, good + 21);
    headerOnly.insert(headerOnly.end(), {0xFF, 0xD9});
    EXPECT_FALSE(JpegFrameSize(headerOnly.data(), headerOnly.size(), w, h));
    std::vector<unsigned char> emptyScan(good, good + 31);
    emptyScan.insert(emptyScan.end(), {0xFF, 0xD9});
    EXPECT_FALSE(JpegFrameSize(emptyScan.data(), emptyScan.size(), w, h));
    // A scan before the frame header.
    std::vector<unsigned char> scanFirst(good, good + 8);
    scanFirst.insert(scanFirst.end(), good + 21, good + sizeof good);
    EXPECT_FALSE(JpegFrameSize(scanFirst.data(), scanFirst.size(), w, h));
    unsigned char notJpeg[sizeof good];
    std::copy(good, good + sizeof good, notJpeg);
    notJpeg[1] = 0xD9;
    EXPECT_FALSE(JpegFrameSize(notJpeg, sizeof notJpeg, w, h));
    // A Huffman table segment (C4) is not a frame header.
    unsigned char dht[sizeof good];
    std::copy(good, good + sizeof good, dht);
    dht[9] = 0xC4;
    EXPECT_FALSE(JpegFrameSize(dht, sizeof dht, w, h));
}
