// What a request asks for, decided from the configuration alone: the viewer
// page, a feed's parameters or intake, a stream in one of its forms, or an
// error status. Kept apart from the sockets so that every case can be tested.
#pragma once
#include <string>

#include "programs/server/config.h"

enum class Serve { Status, ViewerPage, FeedParameters, FeedIntake, Swf, Mjpeg, Snapshot };

struct ResolvedRequest {
    Serve serve = Serve::Status;
    int status = 0;                        // with Serve::Status: the error to answer
    const FeedConfig* feed = nullptr;      // the feed asked for, or the stream's feed
    const StreamConfig* stream = nullptr;  // the stream served; for a feed's parameters, the stream it feeds (or none)
};

// method as sent ("GET", "HEAD", ...), path without the query, peer the client's address.
ResolvedRequest ResolveRequest(const ServerConfig& config, const std::string& method, const std::string& path,
                               Ipv4 peer);
