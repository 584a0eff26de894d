// The server on real sockets, in process: its limits and timeouts (short, so
// that stalled peers are dealt with quickly) and how it accepts a feed.
// Wine 8 does not cancel a pending send when its socket is closed (it completes
// at process exit), so under Wine these tests rely on running one per process,
// as ctest runs them.
#include <asio.hpp>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <sstream>
#include <thread>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "programs/server/config.h"
#include "programs/server/server.h"

namespace {

using asio::ip::tcp;
using namespace std::chrono_literals;

// A JPEG start with a frame header and a scan header, padded with scan data to the size asked for.
std::string TestJpeg(size_t size, unsigned char fill) {
    const unsigned char head[] = {0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x0B, 0x08, 0x00, 0x10, 0x00, 0x10, 0x01, 0x01, 0x11,
                                  0x00, 0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00};
    std::string j(reinterpret_cast<const char*>(head), sizeof head);
    j.resize(size - 2, static_cast<char>(fill));
    return j + "\xFF\xD9";
}

std::string Part(const std::string& body) {
    return "--b\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body + "\r\n";
}

const std::string kFeedHead = "POST /feed.ffm HTTP/1.1\r\nContent-Type: multipart/x-mixed-replace;boundary=b\r\n\r\n";

class LiveServer : public ::testing::Test {
protected:
    void Start(const std::string& extraStream, const std::string& global = "") {
        std::string text = "Port 1\nBindAddress 127.0.0.1\n" + global +
                           "<Feed feed.ffm>\nFileMaxSize 200K\nACL allow 127.0.0.1\n</Feed>\n"
                           "<Stream demo.swf>\nFeed feed.ffm\nVideoFrameRate 15\n" + extraStream + "</Stream>\n";
        std::string error;
        ASSERT_TRUE(ParseServerConfig(text, "test.conf", config_, error)) << error;
        config_.port = 0;  // any free port
        server_ = std::make_unique<Server>(*io_, config_, log_, std::make_shared<LogWriter>(messages_.get(), false),
                                           timeouts_);
        ASSERT_TRUE(server_->Listen(error)) << error;
        port_ = static_cast<unsigned short>(server_->port());
        thread_ = std::thread([this] { io_->run(); });
    }

    void TearDown() override { Stop(); }

    // Ends the server and every connection, so that all they said is written.
    void Stop() {
        if (!io_) return;
        io_->stop();
        if (thread_.joinable()) thread_.join();
        server_.reset();
        io_.reset();
        log_.reset();
    }

    // What the server said about feeds, once it has stopped.
    std::string Messages() {
        std::string text;
        std::rewind(messages_.get());
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, messages_.get())) > 0) text.append(buf, n);
        return text;
    }

    tcp::socket Connect() {
        tcp::socket s(client_);
        s.connect(tcp::endpoint(asio::ip::address_v4::loopback(), port_));
        return s;
    }

    // The status of the response to a request, or 0 when the server closed without one.
    int StatusOf(tcp::socket& s) {
        std::string data;
        char buf[1024];
        asio::error_code ec;
        while (data.find("\r\n") == std::string::npos) {
            size_t n = s.read_some(asio::buffer(buf), ec);
            if (ec) return 0;
            data.append(buf, n);
        }
        return std::stoi(data.substr(9, 3));
    }

    // The status of the answer, or 0 when none comes within the time.
    int StatusWithin(tcp::socket& s, std::chrono::milliseconds limit) {
        auto end = std::chrono::steady_clock::now() + limit;
        s.non_blocking(true);
        std::string data;
        char buf[1024];
        while (data.find("\r\n") == std::string::npos && std::chrono::steady_clock::now() < end) {
            asio::error_code ec;
            size_t n = s.read_some(asio::buffer(buf), ec);
            if (ec == asio::error::would_block) std::this_thread::sleep_for(1ms);
            else if (ec) return 0;
            else data.append(buf, n);
        }
        return data.size() >= 12 ? std::stoi(data.substr(9, 3)) : 0;
    }

    int Get(const std::string& path) {
        tcp::socket s = Connect();
        asio::write(s, asio::buffer("GET " + path + " HTTP/1.1\r\n\r\n"));
        return StatusOf(s);
    }

    // The server's counts, read on its own thread.
    ServerCounts Counts() {
        std::promise<ServerCounts> result;
        asio::post(*io_, [&] { result.set_value(server_->counts()); });
        return result.get_future().get();
    }

    // Waits until the server's counts satisfy done, or the limit has passed.
    template <class Condition>
    ServerCounts CountsWhen(Condition done, std::chrono::milliseconds limit = 3000ms) {
        auto end = std::chrono::steady_clock::now() + limit;
        ServerCounts c = Counts();
        while (!done(c) && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(5ms);
            c = Counts();
        }
        return c;
    }

    // Waits until the server holds no connection but those the test keeps open.
    ServerCounts CountsOnceClosed(int keptOpen, std::chrono::milliseconds limit = 3000ms) {
        return CountsWhen([&](const ServerCounts& c) { return c.connections <= keptOpen; }, limit);
    }

    // How the server ended the connection (eof when it closed it in order,
    // connection_reset when it cut it), or timed_out when it is still open.
    static asio::error_code EndOf(tcp::socket& s, std::chrono::milliseconds limit) {
        auto end = std::chrono::steady_clock::now() + limit;
        s.non_blocking(true);
        char buf[65536];
        while (std::chrono::steady_clock::now() < end) {
            asio::error_code ec;
            s.read_some(asio::buffer(buf), ec);
            if (ec && ec != asio::error::would_block) return ec;
            if (ec) std::this_thread::sleep_for(1ms);
        }
        return asio::error::timed_out;
    }

    static bool ClosedWithin(tcp::socket& s, std::chrono::milliseconds limit) {
        return EndOf(s, limit) != asio::error::timed_out;
    }

    // Everything the server sends until it closes (or the time is over).
    static std::string AllWithin(tcp::socket& s, std::chrono::milliseconds limit) {
        auto end = std::chrono::steady_clock::now() + limit;
        s.non_blocking(true);
        std::string data;
        char buf[4096];
        while (std::chrono::steady_clock::now() < end) {
            asio::error_code ec;
            size_t n = s.read_some(asio::buffer(buf), ec);
            if (ec == asio::error::would_block) std::this_thread::sleep_for(1ms);
            else if (ec) break;
            else data.append(buf, n);
        }
        return data;
    }

    // One answer head (up to its empty line), or what came of it within the time.
    static std::string HeadWithin(tcp::socket& s, std::chrono::milliseconds limit) {
        auto end = std::chrono::steady_clock::now() + limit;
        s.non_blocking(true);
        std::string data;
        char c;
        while (data.find("\r\n\r\n") == std::string::npos && std::chrono::steady_clock::now() < end) {
            asio::error_code ec;
            s.read_some(asio::buffer(&c, 1), ec);
            if (ec == asio::error::would_block) std::this_thread::sleep_for(1ms);
            else if (ec) break;
            else data += c;
        }
        return data;
    }

    std::shared_ptr<LogWriter> log_;
    void CheckStalledViewerIsCut(const std::string& path);

    // Short, so that stalled peers are dealt with quickly; a test may change them before Start.
    ServerTimeouts timeouts_{300ms, 400ms, 2000ms};
    // Connections still held by the io_context say goodbye when it goes: it must go first.
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> messages_{std::tmpfile(), &std::fclose};
    std::unique_ptr<asio::io_context> io_ = std::make_unique<asio::io_context>();
    asio::io_context client_;
    ServerConfig config_;
    std::unique_ptr<Server> server_;
    std::thread thread_;
    unsigned short port_ = 0;
};

}  // namespace

TEST_F(LiveServer, IncompleteRequestHeadIsDroppedAfterItsTimeout) {
    Start("");
    tcp::socket s = Connect();
    asio::write(s, asio::buffer(std::string("GET /demo.swf HTTP/1.1\r\nHost: slow")));
    EXPECT_TRUE(ClosedWithin(s, 3000ms));
}

// A viewer of the given path that stops reading is cut and its place freed.
void LiveServer::CheckStalledViewerIsCut(const std::string& path) {
    Start("", "MaxClients 1\nMaxBandwidth 10000000\n");
    tcp::socket viewer(client_);
    viewer.open(tcp::v4());
    viewer.set_option(asio::socket_base::receive_buffer_size(4096));
    viewer.connect(tcp::endpoint(asio::ip::address_v4::loopback(), port_));
    asio::write(viewer, asio::buffer("GET " + path + " HTTP/1.1\r\n\r\n"));
    ASSERT_EQ(CountsWhen([](const ServerCounts& c) { return c.viewers == 1; }).viewers, 1);
    EXPECT_EQ(Get("/demo.swf"), 503);
    EXPECT_EQ(Get("/demo.mjpg"), 503);

    // A live feed goes on while the viewer reads nothing: once the system's
    // buffers are full, the viewer's writes stall.
    tcp::socket feeder = Connect();
    asio::write(feeder, asio::buffer(std::string(
                            "POST /feed.ffm HTTP/1.1\r\nContent-Type: multipart/x-mixed-replace;boundary=b\r\n\r\n")));
    std::string frame = TestJpeg(150000, 0x55);
    std::string part = "--b\r\nContent-Length: " + std::to_string(frame.size()) + "\r\n\r\n" + frame + "\r\n";
    std::atomic<bool> feeding{true};
    std::thread feed([&] {
        asio::error_code ec;
        while (feeding && !ec) {
            asio::write(feeder, asio::buffer(part), ec);
            std::this_thread::sleep_for(20ms);
        }
    });

    // Without reading a byte, the viewer loses its place once it has stalled for the timeout.
    auto end = std::chrono::steady_clock::now() + 10000ms;
    int status = 0;
    while (std::chrono::steady_clock::now() < end) {
        tcp::socket next = Connect();
        asio::write(next, asio::buffer("GET " + path + " HTTP/1.1\r\n\r\n"));
        if ((status = StatusOf(next)) == 200) break;
        std::this_thread::sleep_for(100ms);
    }
    feeding = false;
    feed.join();
    EXPECT_EQ(status, 200);
    // Cut abortively: what the system still held for it is thrown away, not
    // sent for minutes to a peer that does not read.
#ifdef _WIN32
    // Wine 8 finishes a send that is pending when its socket is closed, and
    // then closes in order (see above): the reset is not seen there.
    EXPECT_TRUE(ClosedWithin(viewer, 3000ms));
#else
    EXPECT_EQ(EndOf(viewer, 3000ms), asio::error::connection_reset);
#endif
}

TEST_F(LiveServer, StalledSwfViewerIsCutAndItsPlaceFreed) { CheckStalledViewerIsCut("/demo.swf"); }

TEST_F(LiveServer, StalledMjpegViewerIsCutAndItsPlaceFreed) { CheckStalledViewerIsCut("/demo.mjpg"); }

TEST_F(LiveServer, MaxHttpConnectionsCountsEveryOpenConnection) {
    Start("", "MaxHTTPConnections 2\nMaxClients 1\n");
    tcp::socket a = Connect(), b = Connect();
    ASSERT_EQ(CountsWhen([](const ServerCounts& c) { return c.connections == 2; }).connections, 2);
    EXPECT_EQ(Get("/"), 503);
    a.close();
    b.close();
    ASSERT_EQ(CountsOnceClosed(0).connections, 0);
    EXPECT_EQ(Get("/"), 200);
}

TEST_F(LiveServer, MaxBandwidthCountsTheStreamsBitRate) {
    Start("VideoBitRate 500\n", "MaxBandwidth 400\nMaxClients 5\n");
    EXPECT_EQ(Get("/demo.swf"), 503);
    EXPECT_EQ(Get("/demo.mjpg"), 503);
}

TEST_F(LiveServer, MaxBandwidthCountsTheMeasuredRateWithoutABitRate) {
    Start("", "MaxBandwidth 100\nMaxClients 5\n");
    tcp::socket first = Connect();
    asio::write(first, asio::buffer(std::string("GET /demo.swf HTTP/1.1\r\n\r\n")));
    EXPECT_EQ(StatusOf(first), 200);  // nothing is fed yet: no rate
    tcp::socket feeder = Connect();
    asio::write(feeder, asio::buffer(std::string(
                            "POST /feed.ffm HTTP/1.1\r\nContent-Type: multipart/x-mixed-replace;boundary=b\r\n\r\n")));
    std::string frame = TestJpeg(20000, 0x33);
    // 5 frames of 20 kB in the last seconds: far above 100 kbit/s.
    for (int i = 0; i < 5; ++i)
        asio::write(feeder, asio::buffer("--b\r\nContent-Length: " + std::to_string(frame.size()) + "\r\n\r\n" + frame + "\r\n"));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(Get("/demo.swf"), 503);
    EXPECT_EQ(Get("/demo.mjpg"), 503);
}

TEST_F(LiveServer, AFeederIsEndedOnlyOnceItHasSentNothingForTheIdleTime) {
    Start("");
    tcp::socket feeder = Connect();
    asio::write(feeder, asio::buffer(kFeedHead));
    std::string part = Part(TestJpeg(1000, 0x22));
    // Parts for longer than the idle time (2 s): each one keeps the feeder.
    for (int i = 0; i < 15; ++i) {
        asio::write(feeder, asio::buffer(part));
        std::this_thread::sleep_for(200ms);
    }
    EXPECT_EQ(Counts().connections, 1) << "a feeder that kept sending was ended";
    // Then nothing: the feeder is ended, but not before the idle time.
    auto quiet = std::chrono::steady_clock::now();
    EXPECT_TRUE(ClosedWithin(feeder, 10000ms));
    EXPECT_GE(std::chrono::steady_clock::now() - quiet, 1500ms);
}

TEST_F(LiveServer, AViewerThatKeepsTakingFramesIsNeverCut) {
    Start("", "MaxClients 1\n");
    tcp::socket viewer = Connect();
    asio::write(viewer, asio::buffer(std::string("GET /demo.mjpg HTTP/1.1\r\n\r\n")));
    ASSERT_EQ(CountsWhen([](const ServerCounts& c) { return c.viewers == 1; }).viewers, 1);
    std::string seen;
    std::thread reader([&] { seen = AllWithin(viewer, 2500ms); });
    // Frames for longer than the stall time (400 ms), each taken at once.
    tcp::socket feeder = Connect();
    asio::write(feeder, asio::buffer(kFeedHead));
    const int frames = 15;
    for (int i = 0; i < frames; ++i) {
        asio::write(feeder, asio::buffer(Part(TestJpeg(1000, 0x44))));
        std::this_thread::sleep_for(100ms);
    }
    reader.join();
    int parts = 0;
    for (size_t at = seen.find("Content-Length: 1000"); at != std::string::npos;
         at = seen.find("Content-Length: 1000", at + 1))
        ++parts;
    EXPECT_EQ(parts, frames);
    EXPECT_EQ(Counts().viewers, 1) << "a viewer that took every frame was cut";
}

TEST_F(LiveServer, ViewersThatLeaveBeforeAnyFrameLeaveNothingBehind) {
    Start("", "MaxClients 1\n");
    for (int i = 0; i < 200; ++i) {
        tcp::socket viewer = Connect();
        asio::write(viewer, asio::buffer(std::string(i % 2 ? "GET /demo.mjpg" : "GET /demo.swf") + " HTTP/1.1\r\n\r\n"));
        ASSERT_EQ(StatusOf(viewer), 200) << "viewer " << i;
        viewer.close();
        ASSERT_EQ(CountsOnceClosed(0).connections, 0);
    }
    ServerCounts c = Counts();
    EXPECT_EQ(c.viewers, 0);
    EXPECT_EQ(c.viewerEntries, 0u);
}

TEST_F(LiveServer, RefusedPartsAreReportedAtMostOnceASecondWithACount) {
    Start("");
    tcp::socket feeder = Connect();
    std::string body = kFeedHead;
    for (int i = 0; i < 500; ++i) body += Part("not a picture");
    body += Part(TestJpeg(1000, 0x11)) + "--b--\r\n";
    asio::write(feeder, asio::buffer(body));
    EXPECT_EQ(StatusOf(feeder), 200);
    feeder.close();
    CountsOnceClosed(0);
    Stop();
    std::string text = Messages();
    // Every refused part is counted, in a few lines.
    int lines = 0;
    long counted = 0;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.find("refused") == std::string::npos) continue;
        ++lines;
        if (line.find("refused a part") != std::string::npos) ++counted;
        // "...; 12 more refused since ..." or "12 more parts refused since ...".
        size_t more = line.find(" more ");
        if (more != std::string::npos) {
            size_t digits = line.find_last_not_of("0123456789", more - 1) + 1;
            counted += std::stol(line.substr(digits, more - digits));
        }
    }
    EXPECT_LE(lines, 3) << text;
    EXPECT_EQ(counted, 500) << text;
}

TEST_F(LiveServer, RefusedAndShortAnswersAreClosedPromptly) {
    // Long timeouts for requests and writes: the answers must not wait for them.
    timeouts_.requestHead = 20000ms;
    timeouts_.stalledViewer = 20000ms;
    Start("", "MaxHTTPConnections 2\nMaxClients 1\n");
    tcp::socket a = Connect(), b = Connect();
    // A third connection is answered 503 and closed although its client keeps it open.
    tcp::socket refused = Connect();
    EXPECT_EQ(StatusOf(refused), 503);
    EXPECT_TRUE(ClosedWithin(refused, 3000ms));
    EXPECT_EQ(CountsOnceClosed(2).connections, 2);
    // The same for an answer to a request: its client cannot hold the place either.
    a.close();
    CountsOnceClosed(1);
    tcp::socket asked = Connect();
    asio::write(asked, asio::buffer(std::string("GET /nothing HTTP/1.1\r\n\r\n")));
    EXPECT_EQ(StatusOf(asked), 404);
    EXPECT_TRUE(ClosedWithin(asked, 3000ms));
    EXPECT_EQ(CountsOnceClosed(1).connections, 1);
}

TEST_F(LiveServer, AConnectionRefusedForTheLimitTakesNoPlaceWhileItCloses) {
    timeouts_.closingAnswer = 5000ms;  // the refused client below keeps its end open meanwhile
    Start("", "MaxHTTPConnections 1\nMaxClients 1\n");
    tcp::socket holder = Connect();
    tcp::socket refused = Connect();
    EXPECT_EQ(StatusOf(refused), 503);
    // The holder goes; a client that comes back at once is served, although the
    // connection it was refused on has not ended yet.
    holder.close();
    EXPECT_EQ(CountsOnceClosed(0).connections, 0);
    EXPECT_EQ(Get("/feed.ffm"), 200);
    EXPECT_TRUE(ClosedWithin(refused, 8000ms));
}

#ifndef _WIN32
// A log whose reader has stopped reading (a pipe nobody reads; on Windows, a
// console in selection mode) must not stop the server.
TEST_F(LiveServer, ALogThatBlocksDoesNotStopTheServer) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    log_ = std::make_shared<LogWriter>(fdopen(fds[1], "w"), true, 4096);
    Start("");
    int answered = 0;
    for (; answered < 1000; ++answered) {
        tcp::socket s = Connect();
        asio::write(s, asio::buffer(std::string("GET /feed.ffm HTTP/1.1\r\n\r\n")));
        if (StatusWithin(s, 2000ms) != 200) break;
    }
    EXPECT_EQ(answered, 1000);
    // Read the log now: the server can end, and what it could not write is counted.
    std::string text;
    std::thread reader([&] {
        char buf[4096];
        ssize_t n;
        while ((n = read(fds[0], buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
    });
    Stop();
    reader.join();
    close(fds[0]);
    EXPECT_NE(text.find("log lines dropped"), std::string::npos);
}
#endif

// "Expect: 100-continue" is answered with "100 Continue" once the feed is
// accepted, so the feeder knows it is before it sends a frame; a refused
// feeder hears only the refusal, and one that did not ask hears nothing.
TEST_F(LiveServer, AFeedIsAcceptedWithContinueOnlyWhenAskedAndAccepted) {
    Start("");
    const std::string asking = "POST /feed.ffm HTTP/1.1\r\nExpect: 100-continue\r\nTransfer-Encoding: chunked\r\n"
                               "Content-Type: multipart/x-mixed-replace;boundary=b\r\n\r\n";
    auto chunk = [](const std::string& data) {
        char size[20];
        std::snprintf(size, sizeof size, "%zx\r\n", data.size());
        return size + data + "\r\n";
    };
    tcp::socket first = Connect();
    asio::write(first, asio::buffer(asking));
    EXPECT_EQ(HeadWithin(first, 3000ms), "HTTP/1.1 100 Continue\r\n\r\n");
    std::string frame = TestJpeg(1000, 0x11);
    asio::write(first, asio::buffer(chunk(Part(frame))));

    // The feed is taken: another feeder that asks is refused, without a 100.
    tcp::socket second = Connect();
    asio::write(second, asio::buffer(asking));
    std::string refusal = AllWithin(second, 3000ms);
    EXPECT_EQ(refusal.compare(0, 13, "HTTP/1.0 409 "), 0) << refusal;
    EXPECT_EQ(refusal.find("100 Continue"), std::string::npos) << refusal;

    // The first feed ends properly; its final answer follows, and its frame was taken.
    asio::write(first, asio::buffer(chunk("--b--\r\n") + "0\r\n\r\n"));
    std::string final = AllWithin(first, 3000ms);
    EXPECT_EQ(final.compare(0, 13, "HTTP/1.0 200 "), 0) << final;
    EXPECT_EQ(Get("/demo.jpg"), 200);

    // A feed refused for its body type is not told to continue either.
    tcp::socket notMultipart = Connect();
    asio::write(notMultipart, asio::buffer(std::string("POST /feed.ffm HTTP/1.1\r\nExpect: 100-continue\r\n"
                                                       "Content-Type: image/jpeg\r\n\r\n")));
    refusal = AllWithin(notMultipart, 3000ms);
    EXPECT_EQ(refusal.compare(0, 13, "HTTP/1.0 415 "), 0) << refusal;
    EXPECT_EQ(refusal.find("100 Continue"), std::string::npos) << refusal;

    // Feeders that do not ask (or cannot: HTTP/1.0 has no interim answers) are
    // accepted in silence, as before: a body that ends with the connection draws
    // no answer at all.
    for (const char* head : {"POST /feed.ffm HTTP/1.1\r\nContent-Type: multipart/x-mixed-replace;boundary=b\r\n\r\n",
                             "POST /feed.ffm HTTP/1.0\r\nExpect: 100-continue\r\n"
                             "Content-Type: multipart/x-mixed-replace;boundary=b\r\n\r\n"}) {
        tcp::socket silent = Connect();
        asio::write(silent, asio::buffer(head + Part(frame)));
        silent.shutdown(tcp::socket::shutdown_send);
        EXPECT_EQ(AllWithin(silent, 3000ms), "") << head;
    }
}
