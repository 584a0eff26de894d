#include "programs/server/request_reader.h"

#include <asio.hpp>

#include <vector>

#include "programs/server/answer.h"
#include "programs/server/feed_intake.h"
#include "programs/server/http_request.h"
#include "programs/server/mjpeg_viewer.h"
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
            if (!ec && self->c_) self->c_->Close();
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
            case HttpRequestParser::State::Incomplete:
                return self->ReadHead();
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
        bool get = req.method == "GET" || c_->head;
        const ServerConfig& config = state_->config;
        std::string name = req.path.substr(1);

        if (req.path == "/" || req.path == "/index.html") {
            if (!get) return Fail(405);
            std::vector<std::string> streams;
            for (const StreamConfig& s : config.streams) streams.push_back(MjpegName(s));
            std::string page = ViewerPage(streams);
            c_->status = 200;
            return SendAnswer(state_, std::move(c_),
                              ResponseHead(200, "text/html; charset=utf-8", static_cast<int64_t>(page.size())) + page);
        }
        if (FeedState* feed = state_->FindFeed(name)) {
            // Addresses the feed does not admit are told it does not exist.
            if (!AclAllows(feed->config.acl, c_->peer)) return Fail(404);
            if (get) {
                const StreamConfig* stream = nullptr;
                for (const StreamConfig& s : config.streams)
                    if (s.feed == name) {
                        stream = &s;
                        break;
                    }
                std::string text = FeedParameters(feed->config, stream);
                c_->status = 200;
                return SendAnswer(state_, std::move(c_),
                                  ResponseHead(200, "text/plain", static_cast<int64_t>(text.size())) + text);
            }
            if (req.method != "POST") return Fail(405);
            return TakeFeed(state_, std::move(c_), *feed, req, body, bodySize);
        }
        // A stream as configured, and every stream also as MJPEG and as its latest picture.
        enum class As { Swf, Mjpeg, Snapshot };
        As as = As::Swf;
        const StreamConfig* stream = config.FindStream(name);
        for (size_t i = 0; !stream && i < config.streams.size(); ++i) {
            const StreamConfig& s = config.streams[i];
            if (name == MjpegName(s)) {
                stream = &s;
                as = As::Mjpeg;
            } else if (name == SnapshotName(s)) {
                stream = &s;
                as = As::Snapshot;
            }
        }
        if (!stream) return Fail(404);
        if (!AclAllows(stream->acl, c_->peer)) return Fail(404);
        if (!get) return Fail(405);
        FeedState& feed = *state_->FindFeed(stream->feed);
        switch (as) {
        case As::Swf:
            return WatchSwf(state_, std::move(c_), *stream, feed);
        case As::Mjpeg:
            return WatchMjpeg(state_, std::move(c_), *stream, feed);
        case As::Snapshot:
            return SendSnapshot(state_, std::move(c_), feed);
        }
    }

    std::shared_ptr<ServerState> state_;
    ConnectionPtr c_;
    asio::steady_timer timer_;
    std::vector<char> buffer_ = std::vector<char>(4096);
    HttpRequestParser parser_;
};

}  // namespace

void ServeConnection(std::shared_ptr<ServerState> state, ConnectionPtr connection, bool admitted) {
    if (!admitted) {
        connection->requestLine = "-";
        return SendStatus(std::move(state), std::move(connection), 503);
    }
    std::make_shared<RequestReader>(std::move(state), std::move(connection))->Start();
}
