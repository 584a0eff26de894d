#include "programs/server/server_state.h"

#include <chrono>
#include <utility>

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

ServerState::ServerState(asio::io_context& io, ServerConfig config, std::shared_ptr<LogWriter> log,
                         std::shared_ptr<LogWriter> messages, ServerTimeouts timeouts)
    : io(io), config(std::move(config)), timeouts(timeouts), log_(std::move(log)), messages_(std::move(messages)),
      streamViewers_(this->config.streams.size(), 0) {
    for (const FeedConfig& f : this->config.feeds) feeds_.emplace_back(f);
}

FeedState* ServerState::FindFeed(const std::string& name) {
    for (FeedState& f : feeds_)
        if (f.config.name == name) return &f;
    return nullptr;
}

int64_t ServerState::StreamKbps(const StreamConfig& stream) {
    if (stream.bitRate > 0) return stream.bitRate;
    FeedState* feed = FindFeed(stream.feed);
    return feed ? feed->rate.Kbps(NowMs()) : 0;
}

ServerState::ViewerPlace ServerState::TakeViewerPlace(const StreamConfig& stream) {
    // What the viewers being served take now, each at its stream's rate.
    int64_t inUse = 0;
    for (size_t i = 0; i < config.streams.size(); ++i)
        if (streamViewers_[i] > 0) inUse += streamViewers_[i] * StreamKbps(config.streams[i]);
    if (AdmitViewer(config, viewers_, inUse, StreamKbps(stream)) != Admission::Ok) return ViewerPlace();
    const size_t index = static_cast<size_t>(&stream - config.streams.data());
    ++viewers_;
    ++streamViewers_[index];
    return ViewerPlace(this, index);
}

void ServerState::GiveBack(size_t stream) {
    --viewers_;
    --streamViewers_[stream];
}

void ServerState::Log(const std::string& line) {
    if (log_) log_->Write(line);
}

void ServerState::Message(const std::string& text) {
    if (messages_) messages_->Write(text + "\n");
}

void ServerState::RefusePart(FeedState& feed, const std::string& what) {
    uint64_t held = 0;
    if (!feed.refusedMessages.Allow(NowMs(), held)) return;
    Message(feed.config.name + ": refused " + what + HeldBackSuffix(held, "refused"));
}

ServerCounts ServerState::counts() const {
    ServerCounts c;
    c.connections = connections;
    c.viewers = viewers_;
    for (const FeedState& f : feeds_) c.viewerEntries += f.frames.subscribers();
    return c;
}
