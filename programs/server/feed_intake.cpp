#include "programs/server/feed_intake.h"

#include <asio.hpp>

#include <algorithm>
#include <vector>

#include "programs/server/answer.h"
#include "programs/server/http_request.h"
#include "programs/server/jpeg_info.h"
#include "programs/server/lazy_deadline.h"
#include "programs/server/message_throttle.h"
#include "programs/server/multipart.h"
#include "programs/server/responses.h"
#include "programs/server/server_state.h"

namespace {

class FeedIntake : public std::enable_shared_from_this<FeedIntake> {
public:
    FeedIntake(std::shared_ptr<ServerState> state, ConnectionPtr connection, FeedState& feed,
               const std::string& boundary)
        : state_(std::move(state)), c_(std::move(connection)), feed_(feed), idle_(state_->io),
          limit_(FeedFrameLimit(feed.config)),
          multipart_(
              boundary, limit_, [this](std::string part) { Publish(std::move(part)); },
              [this](uint64_t size) {
                  partOpen_ = false;
                  state_->RefusePart(feed_, "a part of " + std::to_string(size) + " bytes (the limit is " +
                                                std::to_string(limit_) + ")");
              }) {}

    ~FeedIntake() { End(); }

    // Counted or chunked: how the body's end is known (else it ends with the connection).
    void SetLength(uint64_t length) {
        counted_ = true;
        bodyLeft_ = length;
    }
    void SetChunked() { chunked_ = std::make_unique<ChunkedDecoder>(); }

    // sendContinue: the feeder waits for "100 Continue" before it sends the body; that
    // answer is its sign that the feed was accepted (a refusal is a final status instead).
    void Start(const char* body, size_t bodySize, bool sendContinue) {
        feed_.feederConnected = true;
        feeding_ = true;
        state_->Message(feed_.config.name + ": feeder connected from " + c_->client);
        NoteRead();
        if (!Take(body, bodySize)) return;
        if (sendContinue) Continue();
        else Read();
    }

private:
    void Continue() {
        static const char kContinue[] = "HTTP/1.1 100 Continue\r\n\r\n";
        auto self = shared_from_this();
        asio::async_write(c_->socket, asio::buffer(kContinue, sizeof kContinue - 1),
                          [self](const asio::error_code& ec, size_t n) {
                              if (!self->c_) return;
                              self->c_->sent += n;
                              if (ec) return self->Lost(ec);
                              self->Read();
                          });
    }

    // The connection failed or the feeder went away (an unbounded body ends this way).
    void Lost(const asio::error_code& ec) {
        End(ec == asio::error::eof || ec == asio::error::operation_aborted ? "" : ec.message());
        c_->status = 200;
        idle_.Cancel();
        c_->Close();
    }

    // A read notes its time; the deadline is not moved on every read, it finds
    // out when it passes whether the feeder has been quiet long enough, or has
    // taken too long over a part. A part's time runs from the first read that
    // brings bytes after the previous part.
    void NoteRead() {
        lastRead_ = std::chrono::steady_clock::now();
        if (!partOpen_) {
            partOpen_ = true;
            partStarted_ = lastRead_;
        }
        if (!idle_.armed()) WaitIdle(Due());
    }

    std::chrono::steady_clock::time_point Due() const {
        auto idle = lastRead_ + state_->timeouts.idleFeeder;
        return partOpen_ ? std::min(idle, partStarted_ + state_->timeouts.wholePart) : idle;
    }

    void WaitIdle(std::chrono::steady_clock::time_point due) {
        auto self = shared_from_this();
        idle_.Arm(due, [self] {
            if (!self->c_) return;
            auto now = std::chrono::steady_clock::now();
            if (now < self->Due()) return self->WaitIdle(self->Due());
            if (now >= self->lastRead_ + self->state_->timeouts.idleFeeder) self->End("no data for a while");
            else self->End("no whole part within " + Seconds(self->state_->timeouts.wholePart));
            self->c_->Cut();  // a quiet or trickling feeder: nothing to deliver, and no TIME_WAIT
        });
    }

    static std::string Seconds(std::chrono::milliseconds t) { return std::to_string((t.count() + 999) / 1000) + " s"; }

    void Read() {
        auto self = shared_from_this();
        c_->socket.async_read_some(asio::buffer(buffer_), [self](const asio::error_code& ec, size_t n) {
            if (!self->c_) return;
            if (ec) return self->Lost(ec);
            self->NoteRead();
            if (self->Take(self->buffer_.data(), n)) self->Read();
        });
    }

    // Passes body bytes on; answers and returns false once the body has ended or is bad.
    bool Take(const char* data, size_t n) {
        if (counted_) {
            n = static_cast<size_t>(std::min<uint64_t>(n, bodyLeft_));
            bodyLeft_ -= n;
        }
        bool ok;
        if (chunked_) {
            std::string plain;
            ok = chunked_->Feed(data, n, plain) && multipart_.Feed(plain.data(), plain.size());
        } else {
            ok = multipart_.Feed(data, n);
        }
        if (!ok) {
            state_->Message(feed_.config.name + ": malformed feed from " + c_->client);
            return Finish(400);
        }
        if ((counted_ && bodyLeft_ == 0) || (chunked_ && chunked_->done()) || multipart_.finished()) return Finish(200);
        return true;
    }

    bool Finish(int status) {
        End();
        idle_.Cancel();
        SendAnswer(state_, std::move(c_), status, SimpleResponse(status, status == 200 ? "OK\n" : ""));
        return false;
    }

    // The feed is free for the next feeder as soon as this one ends.
    void End(const std::string& why = "") {
        if (!feeding_) return;
        feeding_ = false;
        feed_.feederConnected = false;
        if (uint64_t held = feed_.refusedMessages.TakeHeld())
            state_->Message(feed_.config.name + ": " +
                            HeldBackText(held, held == 1 ? "part refused" : "parts refused"));
        if (uint64_t held = feed_.secondFeederMessages.TakeHeld())
            state_->Message(feed_.config.name + ": " +
                            HeldBackText(held, held == 1 ? "second feeder refused" : "second feeders refused"));
        state_->Message(feed_.config.name + ": feeder disconnected" + (why.empty() ? "" : " (" + why + ")"));
    }

    void Publish(std::string jpeg) {
        partOpen_ = false;
        auto frame = std::make_shared<Frame>();
        if (!JpegFrameSize(reinterpret_cast<const unsigned char*>(jpeg.data()), jpeg.size(), frame->width,
                           frame->height))
            return state_->RefusePart(feed_, "a part that is not a JPEG picture");
        frame->jpeg = std::move(jpeg);
        frame->sequence = ++feed_.sequence;
        feed_.rate.Add(frame->jpeg.size(), NowMs());
        feed_.frames.Publish(std::move(frame));
    }

    std::shared_ptr<ServerState> state_;
    ConnectionPtr c_;
    FeedState& feed_;
    LazyDeadline idle_;
    std::chrono::steady_clock::time_point lastRead_, partStarted_;
    bool partOpen_ = false;  // bytes have come since the last whole part
    uint64_t limit_;
    MultipartReader multipart_;
    std::unique_ptr<ChunkedDecoder> chunked_;
    bool counted_ = false;
    uint64_t bodyLeft_ = 0;
    bool feeding_ = false;
    std::vector<char> buffer_ = std::vector<char>(65536);
};

}  // namespace

void TakeFeed(std::shared_ptr<ServerState> state, ConnectionPtr connection, FeedState& feed, const HttpRequest& request,
              const char* body, size_t bodySize) {
    if (feed.feederConnected) {
        uint64_t held = 0;
        if (feed.secondFeederMessages.Allow(NowMs(), held))
            state->Message(feed.config.name + ": refused a second feeder from " + connection->client +
                           HeldBackSuffix(held, "refused"));
        return SendStatus(std::move(state), std::move(connection), 409);
    }
    const std::string* type = request.Header("content-type");
    std::string boundary = type ? MultipartBoundary(*type) : "";
    if (boundary.empty()) return SendStatus(std::move(state), std::move(connection), 415);
    const std::string* te = request.Header("transfer-encoding");
    bool counted = false;
    unsigned long long length = 0;
    if (te && AsciiLower(*te) != "chunked") return SendStatus(std::move(state), std::move(connection), 501);
    if (!te && !RequestContentLength(request, counted, length))
        return SendStatus(std::move(state), std::move(connection), 400);
    auto intake = std::make_shared<FeedIntake>(std::move(state), std::move(connection), feed, boundary);
    if (te) intake->SetChunked();
    else if (counted) intake->SetLength(length);
    intake->Start(body, bodySize, ExpectsContinue(request));
}
