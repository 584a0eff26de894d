// The server on real sockets, in process: its limits and timeouts (short, so
// that stalled peers are dealt with quickly) and how it accepts a feed.
// Wine 8 does not cancel a pending send when its socket is closed (it completes
// at process exit), so under Wine these tests rely on running one per process,
// as ctest runs them.
#include <asio.hpp>
#include <gtest/gtest.h>

#include <atomic>
#include <algorithm>
#include <cstdlib>
#include <chrono>
#include <future>
#include <sstream>
#include <thread>

#ifndef _WIN32
#include <sys/socket.h>
#include <netinet/in.h>
#include <unistd.h>
#endif

#include "programs/common/tests/wait_until.h"
#include "programs/server/config.h"
#include "programs/server/server.h"

namespace {

using asio::ip::tcp;
using namespace std::chrono_literals;

// A JPEG start with a frame header and a scan header, padded with scan data to the size asked for.
std::string TestJpeg(size_t size, unsigned char fill) {
    const unsigned char head[] = {0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x0B, 0x08, 0x00, 0x10, 0x00, 0x10, 0x01, 0x01,
                                  0x11, 0x00, 0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00};
    std::string j(reinterpret_cast<const char*>(head), sizeof head);
    j.resize(size - 2, static_cast<char>(fill));
    return j + "\xFF\xD9";
}

// A test picture of the given size that carries its feed time (steady clock,
// in ms) in a comment, so that a viewer can tell how old it is.
constexpr char kStamp[] = "feed-time=";

int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string StampedJpeg(size_t size, int64_t ms) {
    std::string text = kStamp + std::to_string(ms) + ";";
    std::string comment = "\xFF\xFE";
    comment += static_cast<char>((text.size() + 2) >> 8);
    comment += static_cast<char>((text.size() + 2) & 0xFF);
    std::string jpeg = TestJpeg(size - comment.size() - text.size(), 0x66);
    return jpeg.insert(2, comment + text);
}

// The times of the stamped pictures in a stream, for messages.
std::string StampsIn(const std::string& stream) {
    std::string times;
    for (size_t at = stream.find(kStamp); at != std::string::npos; at = stream.find(kStamp, at + 1))
        times += stream.substr(at + sizeof kStamp - 1, stream.find(';', at) - at - sizeof kStamp + 1) + " ";
    return times;
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
                           "<Stream demo.swf>\nFeed feed.ffm\nVideoFrameRate 15\n" +
                           extraStream + "</Stream>\n";
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
        ServerCounts c;
        WaitUntil([&] { return done(c = Counts()); }, limit, 5ms);
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

#ifndef _WIN32
// The send buffer of the server's end of the connection whose client end is
// `viewer` (both ends live in this process), or -1.
int ServerSendBuffer(tcp::socket& viewer) {
    unsigned short viewerPort = viewer.local_endpoint().port();
    for (int fd = 3; fd < 4096; ++fd) {
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0 || peer.sin_family != AF_INET ||
            ntohs(peer.sin_port) != viewerPort)
            continue;
        int size = 0;
        length = sizeof size;
        if (getsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, &length) == 0) return size;
    }
    return -1;
}
#endif

}  // namespace

// How many refusals the messages count: one for each line that names one, and
// the numbers held back ("...; 12 more refused since ..." or "12 more parts
// refused since ..."). lines: how many lines spoke of them.
long CountedRefusals(const std::string& text, const std::string& one, const std::string& kind, int& lines) {
    long counted = 0;
    lines = 0;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.find(kind) == std::string::npos) continue;
        ++lines;
        if (line.find(one) != std::string::npos) ++counted;
        size_t more = line.find(" more ");
        if (more != std::string::npos) {
            size_t digits = line.find_last_not_of("0123456789", more - 1) + 1;
            counted += std::stol(line.substr(digits, more - digits));
        }
    }
    return counted;
}

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
    int status = 0;
    WaitUntil(
        [&] {
            tcp::socket next = Connect();
            asio::write(next, asio::buffer("GET " + path + " HTTP/1.1\r\n\r\n"));
            return (status = StatusOf(next)) == 200;
        },
        10000ms, 100ms);
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
        asio::write(feeder, asio::buffer("--b\r\nContent-Length: " + std::to_string(frame.size()) + "\r\n\r\n" + frame +
                                         "\r\n"));
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

// A byte now and then is never idle for long, yet brings no picture: a feeder that
// trickles a part holds the feed only for the time a whole part may take.
TEST_F(LiveServer, AFeederThatTricklesAPartIsEndedAfterTheTimeForAWholePart) {
    timeouts_.wholePart = 1000ms;  // the idle time stays 2 s
    Start("");
    tcp::socket feeder = Connect();
    asio::write(feeder, asio::buffer(kFeedHead + Part(TestJpeg(1000, 0x22)) + "--b\r\nContent-Length: 1000\r\n\r\n"));
    auto start = std::chrono::steady_clock::now();
    bool closed = false;
    while (!closed && std::chrono::steady_clock::now() - start < 10s) {
        asio::error_code ec;
        asio::write(feeder, asio::buffer("x", 1), ec);
        closed = ec || ClosedWithin(feeder, 200ms);
    }
    EXPECT_TRUE(closed) << "a trickling feeder held the feed";
    EXPECT_GE(std::chrono::steady_clock::now() - start, 800ms);
    CountsOnceClosed(0);
    Stop();
    EXPECT_NE(Messages().find("no whole part within 1 s"), std::string::npos) << Messages();
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
        asio::write(viewer,
                    asio::buffer(std::string(i % 2 ? "GET /demo.mjpg" : "GET /demo.swf") + " HTTP/1.1\r\n\r\n"));
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
    EXPECT_EQ(CountedRefusals(text, "refused a part", "part", lines), 500) << text;
    EXPECT_LE(lines, 3) << text;
}

// An encoder that retries while another feeder holds the feed is refused every
// moment: each refusal is counted, in a few lines.
TEST_F(LiveServer, RefusedSecondFeedersAreReportedAtMostOnceASecondWithACount) {
    Start("");
    tcp::socket first = Connect();
    asio::write(first, asio::buffer(kFeedHead + Part(TestJpeg(1000, 0x11))));
    WaitUntil([&] { return Get("/demo.jpg") == 200; }, 3000ms, 5ms);  // the first frame has come
    const int retries = 50;
    for (int i = 0; i < retries; ++i) {
        tcp::socket second = Connect();
        asio::write(second, asio::buffer(kFeedHead));
        ASSERT_EQ(StatusOf(second), 409) << "retry " << i;
    }
    first.close();
    CountsOnceClosed(0);
    Stop();
    std::string text = Messages();
    int lines = 0;
    EXPECT_EQ(CountedRefusals(text, "refused a second feeder", "second feeder", lines), retries) << text;
    EXPECT_LE(lines, 3) << text;
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
    const std::string asking =
        "POST /feed.ffm HTTP/1.1\r\nExpect: 100-continue\r\nTransfer-Encoding: chunked\r\n"
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

// A viewer on a link slower than the stream reads steadily for longer than the
// stall time: it stays connected and sees recent pictures (those it cannot take
// are skipped), never an ever older stream. The bound on their age is generous:
// the bench measures it; a stream that falls behind is tens of seconds late here.
TEST_F(LiveServer, SteadyReadersBelowTheStreamRateStayConnectedAndSeeRecentPictures) {
    timeouts_ = ServerTimeouts();  // the real stall time
    Start("", "MaxClients 2\nMaxBandwidth 10000000\n");
    const size_t pictureBytes = 40000;  // at 30 frames a second: 1.2 MB/s
    const auto run = 30s;
    const int64_t warmUpMs = 5000, ageBoundMs = 6000;
    struct Reader {
        const char* path;
        size_t bytesPerSecond;
        bool cut = false;
        int pictures = 0;
        int64_t worstAgeMs = 0;  // of the pictures completed after the warm-up
    };
    std::vector<Reader> readers = {{"/demo.mjpg", 64 * 1024}, {"/demo.swf", 128 * 1024}};

    std::atomic<bool> feeding{true};
    tcp::socket feeder = Connect();
    asio::write(feeder, asio::buffer(kFeedHead));
    std::thread feed([&] {
        asio::error_code ec;
        auto next = std::chrono::steady_clock::now();
        while (feeding && !ec) {
            asio::write(feeder, asio::buffer(Part(StampedJpeg(pictureBytes, SteadyMs()))), ec);
            next += 33ms;
            std::this_thread::sleep_until(next);
        }
    });

    std::vector<std::thread> threads;
    const int64_t startMs = SteadyMs();
    for (Reader& r : readers) {
        threads.emplace_back([&, &r = r] {
            asio::io_context io;
            tcp::socket s(io);
            s.open(tcp::v4());
            // Small, as a slow link holds little: what waits is the server's to hold.
            s.set_option(asio::socket_base::receive_buffer_size(16 * 1024));
            s.connect(tcp::endpoint(asio::ip::address_v4::loopback(), port_));
            asio::write(s, asio::buffer("GET " + std::string(r.path) + " HTTP/1.1\r\n\r\n"));
            s.non_blocking(true);
            std::string data;
            size_t consumed = 0;                             // bytes dropped from the front of data
            std::vector<std::pair<size_t, int64_t>> stamps;  // where a picture starts, its time
            size_t searchFrom = 0;
            char buf[4096];
            auto begin = std::chrono::steady_clock::now();
            while (std::chrono::steady_clock::now() - begin < run) {
                asio::error_code ec;
                size_t n = s.read_some(asio::buffer(buf), ec);
                if (ec == asio::error::would_block) {
                    std::this_thread::sleep_for(1ms);
                    continue;
                }
                if (ec) {
                    r.cut = true;
                    return;
                }
                data.append(buf, n);
                for (;;) {
                    size_t at = data.find(kStamp, searchFrom), end = data.find(';', at);
                    if (at == std::string::npos) {
                        // A stamp may have begun in the last bytes.
                        searchFrom = std::max(searchFrom, data.size() - std::min(data.size(), sizeof kStamp));
                        break;
                    }
                    searchFrom = at;
                    if (end == std::string::npos) break;  // its digits are still to come
                    stamps.emplace_back(consumed + at, std::atoll(data.c_str() + at + sizeof kStamp - 1));
                    searchFrom = end;
                }
                size_t received = consumed + data.size();
                while (!stamps.empty() && received >= stamps.front().first + pictureBytes) {
                    int64_t now = SteadyMs();
                    ++r.pictures;
                    if (now - startMs > warmUpMs) r.worstAgeMs = std::max(r.worstAgeMs, now - stamps.front().second);
                    stamps.erase(stamps.begin());
                }
                // Keep only what a stamp not yet seen whole could still need.
                size_t keep = 64;
                if (data.size() > keep) {
                    consumed += data.size() - keep;
                    searchFrom -= std::min(searchFrom, data.size() - keep);
                    data.erase(0, data.size() - keep);
                }
                // A steady link: no faster than its rate.
                std::this_thread::sleep_until(begin + std::chrono::microseconds(received * 1000000 / r.bytesPerSecond));
            }
        });
    }
    for (std::thread& t : threads) t.join();
    feeding = false;
    feed.join();
    for (const Reader& r : readers) {
        EXPECT_FALSE(r.cut) << r.path << " was cut although it kept reading";
        // At its rate it can take a picture every second or so.
        EXPECT_GE(r.pictures, 20) << r.path;
        EXPECT_LE(r.worstAgeMs, ageBoundMs) << r.path << " saw old pictures";
    }
}

// Some HTTP/1.0 tools end their side of the connection once the request is
// sent: the stream goes on for them, in both formats.
TEST_F(LiveServer, AViewerThatEndsItsSideAfterTheRequestKeepsGettingFrames) {
    Start("", "MaxClients 2\n");
    tcp::socket feeder = Connect();
    asio::write(feeder, asio::buffer(kFeedHead + Part(StampedJpeg(2000, 0))));
    WaitUntil([&] { return Get("/demo.jpg") == 200; }, 3000ms, 5ms);  // the first frame has come
    std::vector<tcp::socket> viewers;
    for (const char* path : {"/demo.mjpg", "/demo.swf"}) {
        viewers.push_back(Connect());
        asio::write(viewers.back(), asio::buffer("GET " + std::string(path) + " HTTP/1.0\r\n\r\n"));
        viewers.back().shutdown(tcp::socket::shutdown_send);
    }
    ASSERT_EQ(CountsWhen([](const ServerCounts& c) { return c.viewers == 2; }).viewers, 2);
    std::vector<std::string> seen(viewers.size());
    std::vector<std::thread> readers;
    for (size_t i = 0; i < viewers.size(); ++i)
        readers.emplace_back([&, i] { seen[i] = AllWithin(viewers[i], 2500ms); });
    const int frames = 10;
    for (int i = 1; i <= frames; ++i) {
        asio::write(feeder, asio::buffer(Part(StampedJpeg(2000, i))));
        std::this_thread::sleep_for(100ms);
    }
    for (std::thread& t : readers) t.join();
    // Every frame, the one there was when it came included, in order (a picture may
    // come again: a viewer that ended its side gets it again at once, to find out
    // whether it is still there, and while none comes).
    std::string expected;
    for (int i = 0; i <= frames; ++i) expected += std::to_string(i) + " ";
    for (size_t i = 0; i < viewers.size(); ++i) {
        std::istringstream in(StampsIn(seen[i]));
        std::string stamps, last;
        for (std::string stamp; in >> stamp; last = stamp)
            if (stamp != last) stamps += stamp + " ";
        EXPECT_EQ(stamps.substr(0, expected.size()), expected) << "viewer " << i << ": " << StampsIn(seen[i]);
    }
}

// A viewer whose browser closed while no frame comes (the feed pauses) is found
// out within a moment: the next viewer gets the place at once, not seconds later.
TEST_F(LiveServer, AViewerThatLeavesDuringAFeedPauseFreesItsPlaceAtOnce) {
    timeouts_.idleFeeder = 20000ms;  // the feeder stays, silent
    Start("", "MaxClients 1\n");
    tcp::socket feeder = Connect();
    std::string picture = TestJpeg(2000, 0x33);
    asio::write(feeder, asio::buffer(kFeedHead + Part(picture)));
    WaitUntil([&] { return Get("/demo.jpg") == 200; }, 3000ms, 5ms);
    tcp::socket viewer = Connect();
    asio::write(viewer, asio::buffer(std::string("GET /demo.mjpg HTTP/1.1\r\n\r\n")));
    // All of the picture and its closing boundary, so that the close is an orderly one.
    std::string seen;
    char buf[4096];
    asio::error_code ec;
    while (seen.find("\xFF\xD9\r\n--orvaneframe\r\n") == std::string::npos && !ec)
        seen.append(buf, viewer.read_some(asio::buffer(buf), ec));
    ASSERT_FALSE(ec) << ec.message();
    viewer.close();
    auto closed = std::chrono::steady_clock::now();
    EXPECT_TRUE(WaitUntil([&] { return Get("/demo.mjpg") == 200; }, 1500ms, 20ms))
        << "the place was still taken "
        << std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - closed).count()
        << " ms after the viewer closed";
}

// Bytes now and then are not pictures: a viewer that has taken no whole picture for
// the stall time is cut, although it reads all the while.
TEST_F(LiveServer, AViewerThatTakesBytesButNoWholePictureIsCut) {
    timeouts_.stalledViewer = 3000ms;
    Start("", "MaxClients 1\nMaxBandwidth 10000000\n");
    tcp::socket feeder = Connect();
    asio::write(feeder, asio::buffer(kFeedHead));
    std::string part = Part(TestJpeg(150000, 0x55));  // 4.7 s at the reader's rate
    std::atomic<bool> feeding{true};
    std::thread feed([&] {
        asio::error_code ec;
        while (feeding && !ec) {
            asio::write(feeder, asio::buffer(part), ec);
            std::this_thread::sleep_for(100ms);
        }
    });
    tcp::socket viewer(client_);
    viewer.open(tcp::v4());
    viewer.set_option(asio::socket_base::receive_buffer_size(4096));
    viewer.connect(tcp::endpoint(asio::ip::address_v4::loopback(), port_));
    asio::write(viewer, asio::buffer(std::string("GET /demo.mjpg HTTP/1.1\r\n\r\n")));
    // 32 KB a second, 1 KB at a time, for at most 12 s.
    auto start = std::chrono::steady_clock::now();
    bool cut = false;
    size_t taken = 0;
    char buf[1024];
    while (!cut && std::chrono::steady_clock::now() - start < 12s) {
        asio::error_code ec;
        taken += viewer.read_some(asio::buffer(buf), ec);
        cut = ec.operator bool();
        std::this_thread::sleep_until(start + std::chrono::microseconds(static_cast<int64_t>(taken) * 1000000 / 32768));
    }
    auto took = std::chrono::steady_clock::now() - start;
    feeding = false;
    feed.join();
    EXPECT_TRUE(cut) << "a viewer that took " << taken << " bytes but no whole picture in 12 s was not cut";
    EXPECT_GE(took, 2500ms);
}

#ifndef _WIN32
// A viewer with the system's own receive buffer takes data in bursts, whenever its
// window opens; each burst drains what waits for it. Its link is measured all the
// same, and the server's send buffer shrinks to a quarter second of it.
TEST_F(LiveServer, ABurstyReaderBelowTheStreamRateGetsASendBufferFittedToItsLink) {
    timeouts_ = ServerTimeouts();
    Start("", "MaxClients 1\nMaxBandwidth 10000000\n");
    tcp::socket feeder = Connect();
    asio::write(feeder, asio::buffer(kFeedHead));
    std::string part = Part(TestJpeg(40000, 0x55));
    std::atomic<bool> feeding{true};
    std::thread feed([&] {
        asio::error_code ec;
        while (feeding && !ec) {
            asio::write(feeder, asio::buffer(part), ec);
            std::this_thread::sleep_for(66ms);
        }
    });
    tcp::socket viewer = Connect();
    asio::write(viewer, asio::buffer(std::string("GET /demo.mjpg HTTP/1.1\r\n\r\n")));
    ASSERT_EQ(CountsWhen([](const ServerCounts& c) { return c.viewers == 1; }).viewers, 1);
    int before = ServerSendBuffer(viewer);
    // 32 KB a second for 15 s.
    auto start = std::chrono::steady_clock::now();
    size_t taken = 0;
    char buf[4096];
    asio::error_code ec;
    while (!ec && std::chrono::steady_clock::now() - start < 15s) {
        taken += viewer.read_some(asio::buffer(buf), ec);
        std::this_thread::sleep_until(start + std::chrono::microseconds(static_cast<int64_t>(taken) * 1000000 / 32768));
    }
    int after = ServerSendBuffer(viewer);
    feeding = false;
    feed.join();
    ASSERT_FALSE(ec) << ec.message();
    EXPECT_GE(before, 64 * 1024);
    // A quarter second of 32 KB/s is 8 KB; twice that leaves room for a burst's error.
    EXPECT_LE(after, 16 * 1024) << "the send buffer stayed at " << after << " bytes";
}
#endif

// Which of two lengths would be the body's? Neither: the feed is refused.
TEST_F(LiveServer, AFeedWithTwoDifferentLengthsIsRefused) {
    Start("");
    std::string part = Part(TestJpeg(1000, 0x11));
    tcp::socket feeder = Connect();
    asio::write(feeder, asio::buffer("POST /feed.ffm HTTP/1.1\r\nContent-Type: multipart/x-mixed-replace;boundary=b\r\n"
                                     "Content-Length: " +
                                     std::to_string(part.size()) + "\r\nContent-Length: 5\r\n\r\n" + part));
    EXPECT_EQ(StatusOf(feeder), 400);
    EXPECT_EQ(Get("/demo.jpg"), 503) << "a picture was taken from the refused feed";
}
