#include "programs/server/request_reader.h"

#include <asio.hpp>

#include <vector>

#include "programs/server/answer.h"
#include "programs/server/feed_intake.h"
#include "programs/server/http_request.h"
#include "programs/server/mjpeg_viewer.h"
#include "programs/server/request_routing.h"
#include "programs/server/responses.h"
#include "programs/server/server_state.h"
#include "programs/server/snapshot.h"
#include "programs/server/swf_viewer.h"
#include "programs/server/viewer_page.h"

namespace {

class RequestReader : public std::enable_shared_from_this<RequestReader> {
public:
    RequestReader(std::shared_ptr<ServerState> state, ConnectionPtr connection)
        : state_(std::move(state)), c_(std::move(connection)), timer_(state_->io) {}

    void Start() {
        auto self = shared_from_this();
        timer_.expires_after(state_->timeouts.requestHead);
        timer_.async_wait([self](const asio::error_code& ec) {
            if (!ec && self->c_) self->c_->Cut();  // nothing to deliver; no TIME_WAIT
        });
        ReadHead();
    }

private:
    void ReadHead() {
        auto self = shared_from_this();
        c_->socket.async_read_some(asio::buffer(buffer_), [self](const asio::error_code& ec, size_t n) {
            if (ec) {
                self->timer_.cancel();
                return self->c_->Close();
            }
            size_t used = self->parser_.Feed(self->buffer_.data(), n);
            switch (self->parser_.state()) {
            case HttpRequestParser::State::Incomplete: return self->ReadHead();
            case HttpRequestParser::State::Done:
                self->timer_.cancel();
                return self->Route(self->buffer_.data() + used, n - used);
            default:
                self->timer_.cancel();
                self->c_->requestLine = "-";
                return self->Fail(self->parser_.ErrorStatus());
            }
        });
    }

    void Fail(int status) { SendStatus(state_, std::move(c_), status); }

    void Route(const char* body, size_t bodySize) {
        const HttpRequest& req = parser_.request();
        c_->requestLine = req.method + " " + req.target + " " + req.version;
        c_->head = req.method == "HEAD";
        ResolvedRequest to = ResolveRequest(state_->config, req.method, req.path, c_->peer);
        switch (to.serve) {
        case Serve::Status: return Fail(to.status);
        case Serve::ViewerPage: return SendViewerPage();
        case Serve::FeedParameters: {
            std::string text = FeedParameters(*to.feed, to.stream);
            std::string head = ResponseHead(200, "text/plain", static_cast<int64_t>(text.size()));
            return SendAnswer(state_, std::move(c_), 200, head + text);
        }
        case Serve::FeedIntake:
            return TakeFeed(state_, std::move(c_), *state_->FindFeed(to.feed->name), req, body, bodySize);
        case Serve::Swf: return WatchSwf(state_, std::move(c_), *to.stream, *state_->FindFeed(to.feed->name));
        case Serve::Mjpeg: return WatchMjpeg(state_, std::move(c_), *to.stream, *state_->FindFeed(to.feed->name));
        case Serve::Snapshot: return SendSnapshot(state_, std::move(c_), *state_->FindFeed(to.feed->name));
        }
    }

    void SendViewerPage() {
        std::vector<std::string> streams;
        for (const StreamConfig& s : state_->config.streams) streams.push_back(MjpegName(s));
        std::string page = ViewerPage(streams);
        std::string head = ResponseHead(200, "text/html; charset=utf-8", static_cast<int64_t>(page.size()));
        SendAnswer(state_, std::move(c_), 200, head + page);
    }

    std::shared_ptr<ServerState> state_;
    ConnectionPtr c_;
    asio::steady_timer timer_;
    std::vector<char> buffer_ = std::vector<char>(4096);
    HttpRequestParser parser_;
};

}  // namespace

void ServeConnection(std::shared_ptr<ServerState> state, ConnectionPtr connection) {
    if (!connection->admitted()) {
        connection->requestLine = "-";
        return SendStatus(std::move(state), std::move(connection), 503);
    }
    std::make_shared<RequestReader>(std::move(state), std::move(connection))->Start();
}
