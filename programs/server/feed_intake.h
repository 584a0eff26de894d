// Takes a feeder's POST body: multipart JPEG parts (plain or chunked), each
// checked and published to the feed's viewers as its newest frame.
#pragma once
#include <cstddef>
#include <memory>

#include "programs/server/connection.h"

class ServerState;
struct FeedState;
struct HttpRequest;

// body: what came with the request head. Refuses a second feeder (409), a body
// that is not multipart (415), a Transfer-Encoding other than chunked (501) and
// a bad Content-Length (400). A feeder that asks ("Expect: 100-continue") is
// told "100 Continue" once its feed is accepted; one that does not ask hears
// nothing until its feed ends. A body that ends as it should (its length read,
// its last chunk, or the closing boundary) is answered 200 with "OK"; a
// malformed one 400. A feeder that goes away, or is cut for keeping quiet or
// taking too long over a part, is not answered.
void TakeFeed(std::shared_ptr<ServerState> state, ConnectionPtr connection, FeedState& feed, const HttpRequest& request,
              const char* body, size_t bodySize);
