// Reads a connection's request head and hands the connection to what serves
// the request: the viewer page, the feed (its parameters or its intake), a
// stream as SWF or MJPEG, a snapshot, or an error.
#pragma once
#include <memory>

#include "programs/server/connection.h"

class ServerState;

// A connection not admitted (over MaxHTTPConnections) is answered 503 at once.
void ServeConnection(std::shared_ptr<ServerState> state, ConnectionPtr connection);
