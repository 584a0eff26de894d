// What every connection of the server shares: the configuration, the feeds
// with their frame broadcasts, the counts the limits are checked against, and
// the log. Lives as long as the last connection (each holds it).
#pragma once
#include <asio/io_context.hpp>

#include <cstdint>
#include <list>
#include <set>
#include <memory>
#include <string>
#include <vector>

#include "programs/server/config.h"
#include "programs/server/frame_broadcast.h"
#include "programs/server/limits.h"
#include "programs/server/log_writer.h"
#include "programs/server/message_throttle.h"
#include "programs/server/place_handle.h"
#include "programs/server/server.h"

// The steady clock in milliseconds.
int64_t NowMs();

// One feed: its frames on their way to viewers, its one feeder, its rate.
struct FeedState {
    explicit FeedState(const FeedConfig& config) : config(config) {}
    const FeedConfig& config;
    FrameBroadcast frames;
    uint64_t sequence = 0;
    MessageThrottle refusedMessages;
    MessageThrottle secondFeederMessages;  // a retrying feeder would say it every moment
    bool feederConnected = false;
    RateMeter rate;
};

class Connection;

class ServerState {
public:
    ServerState(asio::io_context& io, ServerConfig config, std::shared_ptr<LogWriter> log,
                std::shared_ptr<LogWriter> messages, ServerTimeouts timeouts);
    ServerState(const ServerState&) = delete;
    ServerState& operator=(const ServerState&) = delete;

    FeedState* FindFeed(const std::string& name);
    // The rate a viewer of the stream takes: its VideoBitRate, else its feed's measured rate.
    int64_t StreamKbps(const StreamConfig& stream);

    // A viewer's place under MaxClients and MaxBandwidth (the stream's index in
    // the configuration), given back when it ends.
    using ViewerPlace = PlaceHandle<ServerState, size_t>;
    // An empty place when the limits do not admit another viewer of the stream.
    ViewerPlace TakeViewerPlace(const StreamConfig& stream);

    // A connection's place under MaxHTTPConnections, held from accept to close.
    bool AdmitConnection() const { return ::AdmitConnection(config, connections); }

    void Log(const std::string& line);
    void Message(const std::string& text);
    // Counts a refused part; says so at most once a second, with the count held back.
    void RefusePart(FeedState& feed, const std::string& what);

    ServerCounts counts() const;

    asio::io_context& io;
    const ServerConfig config;
    const ServerTimeouts timeouts;
    int connections = 0;  // those that hold a place under MaxHTTPConnections
    // Every open connection, so that the stop can cut them all: closed in order, each
    // would wait out TIME_WAIT on the port, and a new start could not bind it at once.
    std::set<Connection*> open;

private:
    friend ViewerPlace;
    void GiveBack(size_t stream);

    std::shared_ptr<LogWriter> log_, messages_;
    std::list<FeedState> feeds_;
    int viewers_ = 0;
    std::vector<int> streamViewers_;  // per stream of the configuration, in its order
};
