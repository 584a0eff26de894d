// The feed's body as it goes on the wire: each JPEG one part of a multipart/x-mixed-replace
// body, each part one chunk of a chunked request body.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

constexpr char kFeedBoundary[] = "orvaneframe";

// The chunk's size line and the part's head that go before a JPEG of `jpegSize` bytes,
// written into `head` (a buffer kept from frame to frame). The JPEG itself is sent as it
// is, never copied into the framing.
void FrameHead(size_t jpegSize, std::string& head);

// What follows the JPEG: the part's line end, then the chunk's.
constexpr std::string_view kFrameTail = "\r\n\r\n";

// The last chunk, which carries the closing boundary, and the end of the chunked body.
std::string FeedBodyEnd();
