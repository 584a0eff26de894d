// The feed's bytes around each JPEG: the chunk's size line, the part's head, and the ends.
#include <gtest/gtest.h>

#include "programs/encoder/feed_framing.h"

TEST(FeedFraming, EachFrameIsOnePartInOneChunk) {
    struct Case {
        size_t jpegSize;
        const char* head;
    };
    // The large one first: the heads share one buffer, as from frame to frame.
    const Case cases[] = {
        {70000, "111b4\r\n--orvaneframe\r\nContent-Type: image/jpeg\r\nContent-Length: 70000\r\n\r\n"},
        {0, "40\r\n--orvaneframe\r\nContent-Type: image/jpeg\r\nContent-Length: 0\r\n\r\n"},
        {7, "47\r\n--orvaneframe\r\nContent-Type: image/jpeg\r\nContent-Length: 7\r\n\r\n"},
        {1 << 20, "100046\r\n--orvaneframe\r\nContent-Type: image/jpeg\r\nContent-Length: 1048576\r\n\r\n"},
    };
    std::string head = "left over from another frame";
    for (const Case& c : cases) {
        FrameHead(c.jpegSize, head);
        EXPECT_EQ(head, c.head) << c.jpegSize;
    }
    EXPECT_EQ(kFrameTail, "\r\n\r\n");
    EXPECT_EQ(FeedBodyEnd(), "11\r\n--orvaneframe--\r\n\r\n0\r\n\r\n");
}
