#include "programs/encoder/feed_framing.h"

#include <cstdio>

namespace {

std::string Hex(size_t n) {
    char buf[20];
    std::snprintf(buf, sizeof buf, "%zx", n);
    return buf;
}

}  // namespace

void FrameHead(size_t jpegSize, std::string& head) {
    static const std::string partHead = std::string("--") + kFeedBoundary +
                                        "\r\nContent-Type: image/jpeg\r\nContent-Length: ";
    const std::string length = std::to_string(jpegSize);
    const size_t partSize = partHead.size() + length.size() + 4 + jpegSize + 2;
    head.clear();
    head.append(Hex(partSize)).append("\r\n").append(partHead).append(length).append("\r\n\r\n");
}

std::string FeedBodyEnd() {
    const std::string end = std::string("--") + kFeedBoundary + "--\r\n";
    return Hex(end.size()) + "\r\n" + end + "\r\n0\r\n\r\n";
}
