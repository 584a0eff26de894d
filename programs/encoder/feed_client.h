// Pushing the encoded frames to the server's feed: our MJPEG-over-HTTP feed protocol.
//   GET  <feed>  answers the stream's parameters, one directive a line;
//   POST <feed>  carries multipart/x-mixed-replace, one JPEG a part (chunked body), after
//                the server's "100 Continue" (the request says "Expect: 100-continue").
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
    // `wait`: how long the server may take to come up (it is started just before us), to
    // come back after dropping the feed, or to take a feed it refused (another feeder
    // held it). `stall`: how long a frame's write may make no progress before the server
    // is taken to have stopped reading.
    FeedClient(FeedUrl url, const std::atomic<bool>& stop, std::chrono::milliseconds wait = std::chrono::seconds(20),
               std::chrono::milliseconds stall = std::chrono::seconds(5));
    ~FeedClient();
    FeedClient(const FeedClient&) = delete;
    FeedClient& operator=(const FeedClient&) = delete;

    // Asks for the stream's parameters and opens the push; again after a failed Send (the
    // server may have been restarted with other parameters). The whole wait, attempts
    // under way included, ends `wait` after the last frame that got through (or after the
    // first call began).
    bool FetchParametersAndOpen(StreamParameters& params, std::string& error);

    // Asks for the stream's parameters, retrying while the server is not up yet, for at
    // most `wait`. Every address the host name resolves to is tried (localhost may give
    // ::1 first while the server listens on 127.0.0.1). A busy server (503) is asked again;
    // one that answers with another error is not.
    bool FetchParameters(StreamParameters& params, std::chrono::milliseconds wait, std::string& error);

    // Opens the push connection (same retries, same bound) and returns once the server
    // has accepted it ("100 Continue"): a refusal is a failed attempt, tried again within
    // the wait. A server that ignores the expectation accepts by half a second of silence,
    // as long as it has never answered "100 Continue" to this client.
    bool Open(std::chrono::milliseconds wait, std::string& error);
    // Pushes one frame. True when it was written on an accepted connection; false once the
    // server has answered the feed (it ends it), the connection failed, or the server took
    // nothing of the frame for the stall time. Frames count as delivered for the wait
    // (see FetchParametersAndOpen) as they are written, but those a server that stopped
    // reading may still hold unread in the buffers do not.
    bool Send(const std::vector<uint8_t>& jpeg, std::string& error);
    // Between frames that are not sent (none fits the feed): false, with why, once the
    // server has ended the feed or the connection (it is then closed, as after a failed
    // Send).
    bool StillUsable(std::string& error);
    // True, with why, once no frame has got through for the wait: FetchParametersAndOpen
    // would fail.
    bool WaitIsOver(std::string& error) const;
    // Ends the body properly when the connection is still good; closes it either way.
    void Close();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
