#include "programs/server/stream_viewer.h"

#include <array>

#include "programs/server/answer.h"
#include "programs/server/responses.h"

StreamViewer::StreamViewer(std::shared_ptr<ServerState> state, ConnectionPtr connection, const StreamConfig& stream,
                           FeedState& feed)
    : stream_(stream), state_(std::move(state)), c_(std::move(connection)), feed_(feed), timer_(state_->io) {}

void StreamViewer::Start() {
    ServerState::ViewerPlace place = state_->TakeViewerPlace(stream_);
    if (!place) return SendStatus(state_, std::move(c_), 503);
    c_->status = 200;
    if (c_->head) return SendAnswer(state_, std::move(c_), ResponseHead(200, ContentType(), -1));
    place_ = std::move(place);
    subscription_ = feed_.frames.Subscribe(*this);
    pending_ = ResponseHead(200, ContentType(), -1) + Opening();
    WatchForClose();
    if (feed_.frames.latest()) queue_.Offer(feed_.frames.latest());
    WriteNext();
}

void StreamViewer::Offer(const FramePtr& frame) {
    queue_.Offer(frame);
    WriteNext();
}

// A viewer sends nothing after its request; a read ends when it goes away.
void StreamViewer::WatchForClose() {
    auto self = shared_from_this();
    c_->socket.async_read_some(asio::buffer(buffer_), [self](const asio::error_code& ec, size_t) {
        if (ec) return self->End(false);
        self->WatchForClose();
    });
}

// Sends what is waiting: the response head at once, then frame after frame.
void StreamViewer::WriteNext() {
    if (!c_->socket.is_open() || writing_) return;
    FramePtr frame = queue_.Next();
    if (!frame && pending_.empty()) return;
    if (frame) {
        Wrap(*frame, prefix_, suffix_);
        prefix_.insert(0, pending_);
    } else {
        prefix_ = pending_;
        suffix_.clear();
    }
    pending_.clear();
    current_ = frame;
    std::array<asio::const_buffer, 3> buffers = {
        asio::buffer(prefix_), frame ? asio::buffer(frame->jpeg) : asio::const_buffer(), asio::buffer(suffix_)};
    auto self = shared_from_this();
    writing_ = true;
    writeStarted_ = std::chrono::steady_clock::now();
    if (!timerArmed_) WatchForStall(writeStarted_ + state_->timeouts.stalledViewer);
    bool withFrame = frame != nullptr;
    asio::async_write(c_->socket, buffers, [self, withFrame](const asio::error_code& ec, size_t n) {
        self->writing_ = false;
        self->c_->sent += n;
        self->current_.reset();
        if (withFrame) self->queue_.Done();
        if (ec) return self->End(false);
        self->WriteNext();
    });
}

// A viewer that does not take a frame within the time is cut. The timer is not moved
// for every frame (two system calls each); when it fires it looks at the write under way.
void StreamViewer::WatchForStall(std::chrono::steady_clock::time_point due) {
    auto self = shared_from_this();
    timerArmed_ = true;
    timer_.expires_at(due);
    timer_.async_wait([self](const asio::error_code& ec) {
        self->timerArmed_ = false;
        if (ec || !self->writing_) return;  // the next write watches again
        auto stalledAt = self->writeStarted_ + self->state_->timeouts.stalledViewer;
        if (std::chrono::steady_clock::now() < stalledAt) return self->WatchForStall(stalledAt);
        self->End(true);
    });
}

void StreamViewer::End(bool cut) {
    place_.Release();
    subscription_.Reset();
    timer_.cancel();
    if (cut) c_->Cut();
    else c_->Close();
}
