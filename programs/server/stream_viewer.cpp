#include "programs/server/stream_viewer.h"

#include <algorithm>
#include <array>

#include "programs/server/answer.h"
#include "programs/server/responses.h"

namespace {

// How often a viewer that has ended its side gets the latest picture again while none comes.
constexpr std::chrono::seconds kRepeatAfter{1};
// When a viewer ends its side, the picture goes to it at once and again this soon after:
// a peer that has closed answers the first with a reset, so the second fails.
constexpr std::chrono::milliseconds kProbeAfter{100};

}  // namespace

StreamViewer::StreamViewer(std::shared_ptr<ServerState> state, ConnectionPtr connection, const StreamConfig& stream,
                           FeedState& feed)
    : stream_(stream), state_(std::move(state)), c_(std::move(connection)), feed_(feed), stall_(state_->io) {}

void StreamViewer::Start() {
    ServerState::ViewerPlace place = state_->TakeViewerPlace(stream_);
    if (!place) return SendStatus(state_, std::move(c_), 503);
    if (c_->head) return SendAnswer(state_, std::move(c_), 200, ResponseHead(200, ContentType(), -1));
    c_->status = 200;  // for the access log, whenever the stream ends
    place_ = std::move(place);
    SetSendBuffer(kViewerSendBufferMax);
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

// A viewer sends nothing after its request; a read ends when it goes away, or
// when it only ends its own side (some clients do). That cannot be told apart
// here: while there is a picture to send, the viewer goes on, and the latest
// picture is sent at once, shortly after, and then now and then while none
// comes, so that a viewer that has gone fails a write within a moment (and its
// place is free for the next one). Without a picture, it ends.
void StreamViewer::WatchForClose() {
    auto self = shared_from_this();
    c_->socket.async_read_some(asio::buffer(buffer_), [self](const asio::error_code& ec, size_t) {
        if (!ec) return self->WatchForClose();
        if (ec != asio::error::eof || !self->feed_.feederConnected || !self->feed_.frames.latest())
            return self->End(false);
        self->peerDone_ = true;
        self->probe_ = true;
        self->Repeat();
        self->WatchForStall(std::chrono::steady_clock::now() + kProbeAfter);
    });
}

void StreamViewer::Repeat() {
    if (writing_) return;
    queue_.Offer(feed_.frames.latest());
    WriteNext();
}

// Sends what is waiting: the response head at once, then frame after frame,
// each the newest there is when the previous one has been taken whole.
void StreamViewer::WriteNext() {
    if (!c_->socket.is_open() || writing_) return;
    FramePtr frame = queue_.Next();
    if (!frame && pending_.empty()) return;
    droppedAtWrite_ = queue_.dropped();
    if (frame) {
        Wrap(*frame, prefix_, suffix_);
        prefix_.insert(0, pending_);
    } else {
        prefix_ = pending_;
        suffix_.clear();
    }
    pending_.clear();
    current_ = frame;
    written_ = 0;
    writing_ = true;
    // Each write is one picture, to be taken whole within the stall time.
    lastProgress_ = writeStarted_ = std::chrono::steady_clock::now();
    if (!stall_.armed()) WatchForStall(writeStarted_ + state_->timeouts.stalledViewer);
    WriteSome();
}

void StreamViewer::WriteSome() {
    std::array<asio::const_buffer, 3> buffers = {
        asio::buffer(prefix_), current_ ? asio::buffer(current_->jpeg) : asio::const_buffer(), asio::buffer(suffix_)};
    // At most a send buffer's worth at a time: on Windows a write completes only once
    // all of it is taken, and each completion is the progress a slow viewer shows.
    size_t skip = written_, room = kViewerSendBufferMax;
    for (asio::const_buffer& b : buffers) {
        size_t n = std::min(skip, b.size());
        b += n;
        skip -= n;
        b = asio::const_buffer(b.data(), std::min(b.size(), room));
        room -= b.size();
    }
    auto self = shared_from_this();
    c_->socket.async_write_some(buffers, [self](const asio::error_code& ec, size_t n) {
        self->c_->sent += n;
        self->written_ += n;
        if (n > 0) self->lastProgress_ = std::chrono::steady_clock::now();
        bool whole = self->written_ ==
                     self->prefix_.size() + self->suffix_.size() + (self->current_ ? self->current_->jpeg.size() : 0);
        if (ec || whole) {
            self->writing_ = false;
            if (self->current_) self->queue_.Done();
            self->current_.reset();
        }
        if (ec) return self->End(false);
        if (!whole) return self->WriteSome();
        self->FitSendBuffer();
        self->WriteNext();
    });
}

// A viewer whose link is slower than the stream skips frames. Its link's rate is
// what it took over a second or more of whole writes, idle moments included: a
// link that takes data in bursts (a receive window that opens now and then)
// drains the queue at each burst and then waits for the next frame, which is
// part of how fast it is. A pause of the feed starts the count again. One that
// keeps up (skips nothing) leaves the buffer as it is.
void StreamViewer::FitSendBuffer() {
    if (stretchBytes_ == 0 || writeStarted_ - lastWhole_ > kRepeatAfter) {
        stretchStart_ = writeStarted_;
        stretchBytes_ = 0;
        stretchDropped_ = droppedAtWrite_;
    }
    lastWhole_ = lastProgress_;
    stretchBytes_ += written_;
    int64_t tookUs = std::chrono::duration_cast<std::chrono::microseconds>(lastWhole_ - stretchStart_).count();
    if (tookUs < 1000000) return;
    uint64_t bytes = stretchBytes_;
    stretchBytes_ = 0;
    if (queue_.dropped() == stretchDropped_) return;
    int fitted = FittedSendBuffer(sendBuffer_, bytes, tookUs);
    if (fitted != sendBuffer_) SetSendBuffer(fitted);
}

// Set on each viewer's socket; on Windows this also stops the system from growing it.
void StreamViewer::SetSendBuffer(int size) {
#ifdef __linux__
    // Linux gives twice the size asked for (the rest is meant for its bookkeeping,
    // but large segments on a fast path fill it with data).
    const int asked = size / 2;
#else
    const int asked = size;
#endif
    asio::error_code ignored;
    c_->socket.set_option(asio::socket_base::send_buffer_size(asked), ignored);
    sendBuffer_ = size;
}

// A viewer that has not taken a whole picture for the time is cut, however
// many bytes it took (a slow viewer that takes pictures is not). The timer is
// not moved for every write (two system calls each); when it fires it looks at
// when the current write began. For a viewer that has ended its side it also
// repeats the picture while none comes.
void StreamViewer::WatchForStall(std::chrono::steady_clock::time_point due) {
    auto self = shared_from_this();
    stall_.Arm(due, [self] {
        auto now = std::chrono::steady_clock::now();
        if (self->writing_) {
            auto stalledAt = self->writeStarted_ + self->state_->timeouts.stalledViewer;
            if (now >= stalledAt) return self->End(true);
            return self->WatchForStall(self->peerDone_ ? std::min(stalledAt, now + kRepeatAfter) : stalledAt);
        }
        if (!self->peerDone_) return;  // the next write watches again
        if (self->probe_ || now - self->lastProgress_ >= kRepeatAfter) {
            self->probe_ = false;
            self->Repeat();
        }
        self->WatchForStall(now + kRepeatAfter);
    });
}

void StreamViewer::End(bool cut) {
    place_.Reset();
    subscription_.Reset();
    stall_.Cancel();
    if (cut) c_->Cut();
    else c_->Close();
}
