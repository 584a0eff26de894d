// The stream as MJPEG (multipart/x-mixed-replace, one JPEG per part), which
// browsers show in an <img> and recorders, VLC and FFmpeg read. A viewer like
// the SWF one: it takes a viewer place.
#pragma once
#include <memory>

#include "programs/server/connection.h"

class ServerState;
struct FeedState;
struct StreamConfig;

void WatchMjpeg(std::shared_ptr<ServerState> state, ConnectionPtr connection, const StreamConfig& stream,
                FeedState& feed);
