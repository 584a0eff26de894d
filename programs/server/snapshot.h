// The latest picture of a stream as one image/jpeg answer. It takes no viewer
// place; before the first frame it is answered 503.
#pragma once
#include <memory>

#include "programs/server/connection.h"

class ServerState;
struct FeedState;

void SendSnapshot(std::shared_ptr<ServerState> state, ConnectionPtr connection, FeedState& feed);
