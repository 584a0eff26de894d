#include "programs/server/server.h"

#include <asio.hpp>

#include <array>
#include <ctime>
#include <list>
#include <vector>

#include "programs/server/http_request.h"
#include "programs/server/jpeg_info.h"
#include "programs/server/limits.h"
#include "programs/server/message_throttle.h"
#include "programs/server/multipart.h"
#include "programs/server/responses.h"
#include "programs/server/swf_writer.h"

using asio::ip::tcp;

namespace {

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

class Connection;

// One feed: its newest frame, the one feeder, and the viewers of its streams.
struct FeedState {
    const FeedConfig* config = nullptr;
    FramePtr latest;
    uint64_t sequence = 0;
    uint64_t refused = 0;
    MessageThrottle refusedMessages;
    bool feederConnected = false;
    RateMeter rate;
    std::list<std::weak_ptr<Connection>> viewers;
};

}  // namespace

class Server::Impl : public std::enable_shared_from_this<Server::Impl> {
public:
    Impl(asio::io_context& io, ServerConfig config, std::shared_ptr<LogWriter> log,
         std::shared_ptr<LogWriter> messages, ServerTimeouts timeouts)
        : io(io), config(std::move(config)), log(std::move(log)), messages(std::move(messages)), timeouts(timeouts),
          acceptor(io), acceptPause(io) {
        for (const FeedConfig& f : this->config.feeds) {
            feeds.emplace_back();
            feeds.back().config = &f;
        }
    }

    void Accept();
    void AcceptLater(const asio::error_code& ec);
    FeedState* FindFeed(const std::string& name) {
        for (FeedState& f : feeds)
            if (f.config->name == name) return &f;
        return nullptr;
    }
    int64_t StreamKbps(const StreamConfig& stream) {
        if (stream.bitRate > 0) return stream.bitRate;
        FeedState* feed = FindFeed(stream.feed);
        return feed ? feed->rate.Kbps(NowMs()) : 0;
    }
    void Publish(FeedState& feed, std::string jpeg);
    // Counts a refused part; says so at most once a second, with the count held back.
    void RefusePart(FeedState& feed, const std::string& what) {
        ++feed.refused;
        uint64_t held = 0;
        if (!feed.refusedMessages.Allow(NowMs(), held)) return;
        Message(feed.config->name + ": refused " + what +
                (held ? "; " + std::to_string(held) + " more refused since the last message" : ""));
    }
    void Message(const std::string& text) {
        if (messages) messages->Write(text + "\n");
    }
    void Log(const std::string& line) {
        if (log) log->Write(line);
    }

    asio::io_context& io;
    ServerConfig config;
    // Held here, so they live as long as the last connection that writes to them.
    std::shared_ptr<LogWriter> log, messages;
    ServerTimeouts timeouts;
    tcp::acceptor acceptor;
    asio::steady_timer acceptPause;
    MessageThrottle acceptErrors{10000};
    std::list<FeedState> feeds;
    int connections = 0;
    int viewers = 0;
};

namespace {

class Connection : public std::enable_shared_from_this<Connection> {
public:
    Connection(std::shared_ptr<Server::Impl> server, tcp::socket socket)
        : server_(std::move(server)), socket_(std::move(socket)), timer_(server_->io) {
        asio::error_code ec;
        tcp::endpoint remote = socket_.remote_endpoint(ec);
        if (!ec && remote.address().is_v4()) peer_ = remote.address().to_v4().to_uint();
        client_ = ec ? "-" : remote.address().to_string();
        ++server_->connections;
    }

    ~Connection() {
        --server_->connections;
        LeavePlaces();
        if (!requestLine_.empty()) server_->Log(AccessLogLine(client_, std::time(nullptr), requestLine_, status_, sent_));
    }

    void Start(bool admitted) {
        if (!admitted) {
            status_ = 503;
            requestLine_ = "-";
            Reply(SimpleResponse(503));
            return;
        }
        ArmTimer(server_->timeouts.requestHead);
        ReadHead();
    }

    // A new frame of the feed this viewer watches.
    void Offer(const FramePtr& frame) {
        queue_.Offer(frame);
        WriteNext();
    }

private:
    void ArmTimer(std::chrono::milliseconds after) {
        timer_.expires_after(after);
        auto self = shared_from_this();
        timer_.async_wait([self](const asio::error_code& ec) {
            if (ec) return;
            // A peer that stopped taking what we write is cut: what the system
            // still holds for it would otherwise go on being sent for minutes.
            if (self->writing_) self->Cut();
            else self->Close();
        });
    }

    // A viewer's or feeder's place is free as soon as we close the connection,
    // even if the system completes a pending write only later.
    void LeavePlaces() {
        if (viewer_) {
            viewer_ = false;
            --server_->viewers;
            // The feed hands frames to its viewers only; without a frame it would never look again.
            watched_->viewers.erase(viewerEntry_);
            watched_ = nullptr;
        }
        EndFeed();
    }

    void Close() {
        LeavePlaces();
        asio::error_code ignored;
        timer_.cancel();
        socket_.shutdown(tcp::socket::shutdown_both, ignored);
        socket_.close(ignored);
    }

    // Closes abortively (a reset): the system drops what it still holds to send.
    void Cut() {
        LeavePlaces();
        asio::error_code ignored;
        timer_.cancel();
        socket_.set_option(asio::socket_base::linger(true, 0), ignored);
        socket_.close(ignored);
    }

    void ReadHead() {
        auto self = shared_from_this();
        socket_.async_read_some(asio::buffer(buffer_), [self](const asio::error_code& ec, size_t n) {
            if (ec) return self->Close();
            size_t used = self->parser_.Feed(self->buffer_.data(), n);
            switch (self->parser_.state()) {
            case HttpRequestParser::State::Incomplete:
                return self->ReadHead();
            case HttpRequestParser::State::Done:
                return self->Route(used, n);
            default:
                self->requestLine_ = "-";
                self->status_ = self->parser_.ErrorStatus();
                return self->Reply(SimpleResponse(self->status_));
            }
        });
    }

    // Writes a whole response, then closes.
    void Reply(std::string response) {
        timer_.cancel();
        ArmTimer(server_->timeouts.stalledViewer);
        auto text = std::make_shared<std::string>(std::move(response));
        if (head_) {  // HEAD: the headers only
            size_t end = text->find("\r\n\r\n");
            if (end != std::string::npos) text->resize(end + 4);
        }
        auto self = shared_from_this();
        writing_ = true;
        asio::async_write(socket_, asio::buffer(*text), [self, text](const asio::error_code& ec, size_t n) {
            self->writing_ = false;
            self->sent_ += n;
            if (!ec) {
                // Let the client read the answer before the connection goes: closing
                // with its request unread would reset the connection and could lose
                // the answer. But a client that keeps the connection open holds a
                // place under MaxHTTPConnections, so only for a moment.
                asio::error_code ignored;
                self->socket_.shutdown(tcp::socket::shutdown_send, ignored);
                self->timer_.cancel();
                self->ArmTimer(self->server_->timeouts.closingAnswer);
                self->Drain();
            } else {
                self->Close();
            }
        });
    }

    // Reads and discards until the client closes (or the timer fires).
    void Drain() {
        auto self = shared_from_this();
        socket_.async_read_some(asio::buffer(buffer_), [self](const asio::error_code& ec, size_t) {
            if (ec) return self->Close();
            self->Drain();
        });
    }

    void Route(size_t used, size_t n) {
        const HttpRequest& req = parser_.request();
        requestLine_ = req.method + " " + req.target + " " + req.version;
        std::string name = req.path.substr(1);
        bool get = req.method == "GET" || req.method == "HEAD";
        head_ = req.method == "HEAD";
        if (req.path == "/" || req.path == "/index.html") {
            if (!get) return Fail(405);
            std::vector<std::string> names;
            for (const StreamConfig& s : server_->config.streams) names.push_back(s.name);
            std::string page = ViewerPage(names);
            status_ = 200;
            return Reply(ResponseHead(200, "text/html; charset=utf-8", static_cast<int64_t>(page.size())) + page);
        }
        if (FeedState* feed = server_->FindFeed(name)) {
            // Addresses the feed does not admit are told it does not exist.
            if (!AclAllows(feed->config->acl, peer_)) return Fail(404);
            if (get) {
                const StreamConfig* stream = nullptr;
                for (const StreamConfig& s : server_->config.streams)
                    if (s.feed == name) {
                        stream = &s;
                        break;
                    }
                std::string text = FeedParameters(*feed->config, stream);
                status_ = 200;
                return Reply(ResponseHead(200, "text/plain", static_cast<int64_t>(text.size())) + text);
            }
            if (req.method != "POST") return Fail(405);
            return StartFeed(*feed, used, n);
        }
        if (const StreamConfig* stream = server_->config.FindStream(name)) {
            if (!AclAllows(stream->acl, peer_)) return Fail(404);
            if (!get) return Fail(405);
            return StartViewer(*stream);
        }
        return Fail(404);
    }

    void Fail(int status) {
        status_ = status;
        Reply(SimpleResponse(status));
    }

    // ---- Feeder ----

    void StartFeed(FeedState& feed, size_t used, size_t n) {
        const HttpRequest& req = parser_.request();
        if (feed.feederConnected) {
            server_->Message(feed.config->name + ": refused a second feeder from " + client_);
            return Fail(409);
        }
        const std::string* type = req.Header("content-type");
        std::string boundary = type ? MultipartBoundary(*type) : "";
        if (boundary.empty()) return Fail(415);
        const std::string* te = req.Header("transfer-encoding");
        const std::string* cl = req.Header("content-length");
        if (te) {
            if (AsciiLower(*te) != "chunked") return Fail(501);
            chunked_ = std::make_unique<ChunkedDecoder>();
        } else if (cl) {
            unsigned long long length;
            if (!ParseContentLength(*cl, length)) return Fail(400);
            bodyLeft_ = length;
            counted_ = true;
        }
        FeedState* feedPtr = &feed;
        auto server = server_;
        std::string feedName = feed.config->name;
        uint64_t limit = FeedFrameLimit(*feed.config);
        multipart_ = std::make_unique<MultipartReader>(
            boundary, limit, [server, feedPtr](std::string part) { server->Publish(*feedPtr, std::move(part)); },
            [server, feedPtr, limit](uint64_t size) {
                server->RefusePart(*feedPtr, "a part of " + std::to_string(size) + " bytes (the limit is " +
                                                 std::to_string(limit) + ")");
            });
        feeder_ = &feed;
        feed.feederConnected = true;
        server_->Message(feedName + ": feeder connected from " + client_);
        timer_.cancel();
        ArmTimer(server_->timeouts.idleFeeder);
        if (!TakeBody(buffer_.data() + used, n - used)) return;
        buffer_.resize(65536);
        ReadBody();
    }

    // Passes body bytes on; answers and returns false once the body has ended or is bad.
    bool TakeBody(const char* data, size_t n) {
        if (counted_) {
            n = static_cast<size_t>(std::min<uint64_t>(n, bodyLeft_));
            bodyLeft_ -= n;
        }
        bool ok;
        if (chunked_) {
            std::string plain;
            ok = chunked_->Feed(data, n, plain) && multipart_->Feed(plain.data(), plain.size());
        } else {
            ok = multipart_->Feed(data, n);
        }
        if (!ok) {
            server_->Message(feeder_->config->name + ": malformed feed from " + client_);
            EndFeed();
            Fail(400);
            return false;
        }
        if ((counted_ && bodyLeft_ == 0) || (chunked_ && chunked_->done()) || multipart_->finished()) {
            EndFeed();
            status_ = 200;
            Reply(SimpleResponse(200, "OK\n"));
            return false;
        }
        return true;
    }

    void EndFeed(const std::string& why = "") {
        if (!feeder_) return;
        feeder_->feederConnected = false;
        if (uint64_t held = feeder_->refusedMessages.TakeHeld())
            server_->Message(feeder_->config->name + ": " + std::to_string(held) + " more " +
                             (held == 1 ? "part" : "parts") + " refused since the last message");
        server_->Message(feeder_->config->name + ": feeder disconnected" + (why.empty() ? "" : " (" + why + ")"));
        feeder_ = nullptr;
    }

    void ReadBody() {
        auto self = shared_from_this();
        socket_.async_read_some(asio::buffer(buffer_), [self](const asio::error_code& ec, size_t n) {
            if (ec) {
                // The feeder went away (an unbounded body ends this way).
                self->EndFeed(ec == asio::error::eof ? "" : ec.message());
                self->status_ = 200;
                return self->Close();
            }
            self->timer_.cancel();
            self->ArmTimer(self->server_->timeouts.idleFeeder);
            if (self->TakeBody(self->buffer_.data(), n)) self->ReadBody();
        });
    }

    // ---- Viewer ----

    void StartViewer(const StreamConfig& stream) {
        FeedState* feed = server_->FindFeed(stream.feed);
        // What the viewers being served take now, each at its stream's rate.
        int64_t inUse = 0;
        for (FeedState& f : server_->feeds)
            for (auto& weak : f.viewers)
                if (auto v = weak.lock())
                    if (v->viewer_) inUse += server_->StreamKbps(*v->stream_);
        Admission admission = AdmitViewer(server_->config, server_->viewers, inUse, server_->StreamKbps(stream));
        if (admission != Admission::Ok) return Fail(503);
        timer_.cancel();
        status_ = 200;
        stream_ = &stream;
        if (head_) return Reply(ResponseHead(200, "application/x-shockwave-flash", -1));
        viewer_ = true;
        ++server_->viewers;
        pending_ = ResponseHead(200, "application/x-shockwave-flash", -1);
        watched_ = feed;
        viewerEntry_ = feed->viewers.insert(feed->viewers.end(), shared_from_this());
        WatchForClose();
        if (feed->latest) queue_.Offer(feed->latest);
        WriteNext();
    }

    // A viewer sends nothing after its request; a read ends when it goes away.
    void WatchForClose() {
        auto self = shared_from_this();
        socket_.async_read_some(asio::buffer(buffer_), [self](const asio::error_code& ec, size_t) {
            if (ec) return self->Close();
            self->WatchForClose();
        });
    }

    // Sends what is waiting: the response head at once, then frame after frame.
    void WriteNext() {
        if (!socket_.is_open() || writing_) return;
        FramePtr frame = queue_.Next();
        if (!frame && pending_.empty()) return;
        if (frame) {
            if (!swf_) {
                int w = stream_->width > 0 ? stream_->width : frame->width;
                int h = stream_->height > 0 ? stream_->height : frame->height;
                swf_ = std::make_unique<SwfStreamWriter>(w, h, stream_->frameRate);
                pending_ += swf_->Header();
            }
            swf_->Frame(frame->jpeg.size(), frame->width, frame->height, prefix_, suffix_);
            prefix_.insert(0, pending_);
        } else {
            prefix_ = pending_;
            suffix_.clear();
        }
        pending_.clear();
        current_ = frame;
        std::array<asio::const_buffer, 3> buffers = {
            asio::buffer(prefix_), frame ? asio::buffer(frame->jpeg) : asio::const_buffer(), asio::buffer(suffix_)};
        ArmTimer(server_->timeouts.stalledViewer);
        writing_ = true;
        auto self = shared_from_this();
        bool withFrame = frame != nullptr;
        asio::async_write(socket_, buffers, [self, withFrame](const asio::error_code& ec, size_t n) {
            self->writing_ = false;
            self->sent_ += n;
            self->current_.reset();
            if (withFrame) self->queue_.Done();
            self->timer_.cancel();
            if (ec) return self->Close();
            self->WriteNext();
        });
    }

    std::shared_ptr<Server::Impl> server_;
    tcp::socket socket_;
    asio::steady_timer timer_;
    // Small for requests and viewers, larger once the connection carries a feed.
    std::vector<char> buffer_ = std::vector<char>(4096);
    HttpRequestParser parser_;
    uint32_t peer_ = 0;
    std::string client_;
    std::string requestLine_;
    int status_ = 0;
    uint64_t sent_ = 0;
    bool head_ = false;

    // Feeder
    FeedState* feeder_ = nullptr;
    std::unique_ptr<ChunkedDecoder> chunked_;
    std::unique_ptr<MultipartReader> multipart_;
    bool counted_ = false;
    uint64_t bodyLeft_ = 0;

    // Viewer
    bool viewer_ = false;
    FeedState* watched_ = nullptr;
    std::list<std::weak_ptr<Connection>>::iterator viewerEntry_;
    const StreamConfig* stream_ = nullptr;
    std::unique_ptr<SwfStreamWriter> swf_;
    ViewerQueue queue_;
    FramePtr current_;
    std::string pending_, prefix_, suffix_;
    bool writing_ = false;
};

}  // namespace

void Server::Impl::Accept() {
    auto self = shared_from_this();
    acceptor.async_accept([self](const asio::error_code& ec, tcp::socket socket) {
        if (ec == asio::error::operation_aborted || !self->acceptor.is_open()) return;
        if (ec) return self->AcceptLater(ec);
        asio::error_code ignored;
        socket.set_option(tcp::no_delay(true), ignored);
        bool admitted = AdmitConnection(self->config, self->connections);
        std::make_shared<Connection>(self, std::move(socket))->Start(admitted);
        self->Accept();
    });
}

// Out of descriptors (or memory) the connection waits in the system's queue, and
// accepting again at once fails again at once: wait a little, so that the thread
// is free to serve what is open and to close what ends.
void Server::Impl::AcceptLater(const asio::error_code& ec) {
    uint64_t held = 0;
    if (acceptErrors.Allow(NowMs(), held))
        Message("server: cannot accept a connection: " + ec.message() + " (error " + std::to_string(ec.value()) + ")" +
                (held ? "; " + std::to_string(held) + " more such errors since the last message" : ""));
    auto self = shared_from_this();
    acceptPause.expires_after(std::chrono::milliseconds(100));
    acceptPause.async_wait([self](const asio::error_code& waited) {
        if (!waited && self->acceptor.is_open()) self->Accept();
    });
}

void Server::Impl::Publish(FeedState& feed, std::string jpeg) {
    auto frame = std::make_shared<Frame>();
    if (!JpegFrameSize(reinterpret_cast<const unsigned char*>(jpeg.data()), jpeg.size(), frame->width, frame->height)) {
        RefusePart(feed, "a part that is not a JPEG picture");
        return;
    }
    frame->jpeg = std::move(jpeg);
    frame->sequence = ++feed.sequence;
    feed.rate.Add(frame->jpeg.size(), NowMs());
    feed.latest = frame;
    // A viewer leaves the list when its connection ends; step on first in case that happens here.
    for (auto it = feed.viewers.begin(); it != feed.viewers.end();) {
        auto viewer = (it++)->lock();
        if (viewer) viewer->Offer(feed.latest);
    }
}

Server::Server(asio::io_context& io, ServerConfig config, std::shared_ptr<LogWriter> log,
               std::shared_ptr<LogWriter> messages, ServerTimeouts timeouts)
    : impl_(std::make_shared<Impl>(io, std::move(config), std::move(log), std::move(messages), timeouts)) {}

Server::~Server() {
    asio::error_code ignored;
    impl_->acceptor.close(ignored);
    impl_->acceptPause.cancel();
}

bool Server::Listen(std::string& error) {
    asio::error_code ec;
    tcp::endpoint endpoint(asio::ip::address_v4(impl_->config.bindAddress), static_cast<unsigned short>(impl_->config.port));
    impl_->acceptor.open(endpoint.protocol(), ec);
#ifndef _WIN32
    // On Windows this option would let another program take the port too.
    if (!ec) impl_->acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
#endif
    if (!ec) impl_->acceptor.bind(endpoint, ec);
    if (!ec) impl_->acceptor.listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
        // The system's text is not always there (MinGW builds may only say "system error"): add the code.
        error = "cannot listen on " + endpoint.address().to_string() + ":" + std::to_string(endpoint.port()) + ": " +
                ec.message() + " (error " + std::to_string(ec.value()) + ")";
        return false;
    }
    impl_->Accept();
    return true;
}

ServerCounts Server::counts() const {
    ServerCounts c;
    c.connections = impl_->connections;
    c.viewers = impl_->viewers;
    for (const FeedState& f : impl_->feeds) c.viewerEntries += f.viewers.size();
    return c;
}

int Server::port() const {
    asio::error_code ec;
    auto endpoint = impl_->acceptor.local_endpoint(ec);
    return ec ? 0 : endpoint.port();
}
