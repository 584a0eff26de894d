// A whole answer to one request, after which the connection ends: pages,
// errors, the feed's parameters, snapshots, and the 503 of a refused connection.
#pragma once
#include <memory>
#include <string>

#include "programs/server/connection.h"
#include "programs/server/frame_broadcast.h"

class ServerState;

// Writes response (head and body) and, unless the request was HEAD, body after
// it; then waits only a moment for the client to close. status goes to the access log.
void SendAnswer(std::shared_ptr<ServerState> state, ConnectionPtr connection, int status, std::string response,
                FramePtr body = nullptr);
// A short answer with the status's own text; the status goes to the access log.
void SendStatus(std::shared_ptr<ServerState> state, ConnectionPtr connection, int status);
