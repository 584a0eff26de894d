// The HTTP server: takes feeds, serves their streams live, within the limits
// of the configuration. Runs on one thread, the one that runs the io_context.
// This file holds the listening socket; each connection is served by
// request_reader.cpp and what it hands the connection to.
#pragma once
#include <chrono>
#include <memory>
#include <string>

#include "programs/server/config.h"
#include "programs/server/log_writer.h"

namespace asio {
class io_context;
}

// What the server holds at a moment, for tests.
struct ServerCounts {
    int connections = 0;       // open connections, but those refused for being over the limit
    int viewers = 0;           // viewer places taken
    size_t viewerEntries = 0;  // viewers the feeds would hand a frame to
};

struct ServerTimeouts {
    std::chrono::milliseconds requestHead{10000};    // to receive a whole request head
    std::chrono::milliseconds stalledViewer{20000};  // for a viewer to take any byte at all
    // Between two reads from a feeder: well below the 20 s a restarted encoder
    // waits for the feed, so that a hung feeder gives way to it.
    std::chrono::milliseconds idleFeeder{10000};
    std::chrono::milliseconds closingAnswer{1000};  // for a client to close after a whole answer
    // For a feeder to deliver a whole part from its first bytes: a byte now and then
    // (a trickle) keeps a feeder from being idle, and would hold the feed for good.
    std::chrono::milliseconds wholePart{10000};
};

class Server {
public:
    // Access log lines go to log, messages about feeds and errors to messages
    // (null: none). Connections that end after the server object is gone (at
    // the io_context's end) still write to them: the server shares them.
    Server(asio::io_context& io, ServerConfig config, std::shared_ptr<LogWriter> log,
           std::shared_ptr<LogWriter> messages, ServerTimeouts timeouts = ServerTimeouts());
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds and listens; on failure returns false with a message, and the program's
    // exit code for it (port in use, port forbidden, other).
    bool Listen(std::string& error, int& exitCode);
    bool Listen(std::string& error) {
        int ignored;
        return Listen(error, ignored);
    }
    // The port actually bound (useful with Port 0 in tests).
    int port() const;
    // Call on the thread that runs the io_context.
    ServerCounts counts() const;

    class Listener;

private:
    std::shared_ptr<Listener> listener_;
};
