// The stream as SWF (what the test page embeds): a viewer of the stream's feed.
#pragma once
#include <memory>

#include "programs/server/connection.h"

class ServerState;
struct FeedState;
struct StreamConfig;

void WatchSwf(std::shared_ptr<ServerState> state, ConnectionPtr connection, const StreamConfig& stream,
              FeedState& feed);
