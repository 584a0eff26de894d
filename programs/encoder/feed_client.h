// Pushing the encoded frames to the server's feed: our MJPEG-over-HTTP feed protocol.
//   GET  <feed>  answers the stream's parameters, one directive a line;
//   POST <feed>  carries multipart/x-mixed-replace, one JPEG a part (chunked body).
#pragma once
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "programs/encoder/options.h"
#include "programs/encoder/stream_parameters.h"

class FeedClient {
public:
    // `wait`: how long the server may take to come up (it is started just before us), and
    // to come back after dropping the feed.
    FeedClient(FeedUrl url, const std::atomic<bool>& stop, std::chrono::milliseconds wait = std::chrono::seconds(20));
    ~FeedClient();
    FeedClient(const FeedClient&) = delete;
    FeedClient& operator=(const FeedClient&) = delete;

    // Asks for the stream's parameters and opens the push; again after a failed Send (the
    // server may have been restarted with other parameters). The whole wait, attempts
    // under way included, ends `wait` after the last frame that got through (or after the
    // first Connect began).
    bool Connect(StreamParameters& params, std::string& error);

    // Asks for the stream's parameters, retrying while the server is not up yet, for at
    // most `wait`. Every address the host name resolves to is tried (localhost may give
    // ::1 first while the server listens on 127.0.0.1). A server that answers with an
    // error is not retried.
    bool FetchParameters(StreamParameters& params, std::chrono::milliseconds wait, std::string& error);

    // Opens the push connection (same retries, same bound); then Send per frame.
    bool Open(std::chrono::milliseconds wait, std::string& error);
    bool Send(const std::vector<uint8_t>& jpeg, std::string& error);
    // Ends the body properly when the connection is still good; closes it either way.
    void Close();

    static const char* Boundary() { return "orvaneframe"; }

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
