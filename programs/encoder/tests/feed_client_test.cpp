// The feed push against a stand-in receiver: parameters, frames, waiting for the server.
#include <gtest/gtest.h>

#include <asio.hpp>

#include <chrono>
#include <thread>

#include "programs/encoder/feed_client.h"
#include "programs/encoder/tests/test_support.h"

#ifdef _WIN32
#include <windows.h>
#endif

using namespace std::chrono;

namespace {

FeedUrl Url(uint16_t port, const char* host = "localhost") {
    FeedUrl u;
    u.host = host;
    u.port = port;
    u.path = "/feed.ffm";
    return u;
}

// A small picture for the feed: the server under test only counts and compares parts.
const std::vector<uint8_t> kFrame = {0xFF, 0xD8, 1, 2, 3, 0xFF, 0xD9};

// A port nothing listens on: bound once, then released.
uint16_t FreePort() {
    FakeFeedServer probe("");
    return probe.Port();
}

// The encoder's loop: a frame every 20 ms, reconnecting when a frame does not go.
// Whether it gave up (a reconnection failed) within the limit.
bool FeedLikeTheEncoder(FeedClient& client, StreamParameters& p, const std::vector<uint8_t>& frame, std::string& error,
                        steady_clock::duration limit) {
    auto start = steady_clock::now();
    while (steady_clock::now() - start < limit) {
        if (client.Send(frame, error)) std::this_thread::sleep_for(milliseconds(20));
        else if (!client.FetchParametersAndOpen(p, error)) return true;
    }
    return false;
}

}  // namespace

TEST(FeedClient, ReadsParametersAndPushesFramesAsParts) {
    FakeFeedServer server("VideoFrameRate 10\nFileMaxSize 1000\nVideoSize 176x144\n");
    std::atomic<bool> stop{false};
    FeedClient client(Url(server.Port()), stop);
    StreamParameters p;
    std::string error;
    // By name: localhost may resolve to ::1 first, where nothing listens.
    ASSERT_TRUE(client.FetchParameters(p, seconds(5), error)) << error;
    EXPECT_EQ(p.frameRate, 10);
    EXPECT_EQ(p.width, 176);
    EXPECT_EQ(p.fileMaxSize, 1000);
    ASSERT_TRUE(client.Open(seconds(5), error)) << error;
    std::vector<uint8_t> a = {0xFF, 0xD8, 1, 2, 3, 0xFF, 0xD9}, b(70000, 0x55);
    // Bytes that look like the framing inside a frame must not confuse anyone.
    std::string tricky = "\r\n--orvaneframe\r\n0\r\n\r\n";
    b.insert(b.begin() + 100, tricky.begin(), tricky.end());
    ASSERT_TRUE(client.Send(a, error)) << error;
    ASSERT_TRUE(client.Send(b, error)) << error;
    std::vector<std::string> parts = server.WaitForParts(2, 5000);
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0], std::string(a.begin(), a.end()));
    EXPECT_EQ(parts[1], std::string(b.begin(), b.end()));
}

TEST(FeedClient, WaitsForALateServerButNotForever) {
    uint16_t port = FreePort();
    std::atomic<bool> stop{false};
    std::string error;
    StreamParameters p;
    {
        // No server at all: a clear error after the bounded wait.
        FeedClient client(Url(port), stop);
        auto start = steady_clock::now();
        EXPECT_FALSE(client.FetchParameters(p, milliseconds(800), error));
        auto took = steady_clock::now() - start;
        EXPECT_GE(took, milliseconds(500));
        EXPECT_LT(took, seconds(5));
        EXPECT_NE(error.find("did not come up"), std::string::npos) << error;
    }
    // The server comes up while the client is waiting.
    std::unique_ptr<FakeFeedServer> late;
    std::thread starter([&] {
        std::this_thread::sleep_for(milliseconds(600));
        late.reset(new FakeFeedServer("VideoFrameRate 5\n", "200 OK", port));
    });
    FeedClient client(Url(port, "127.0.0.1"), stop);
    bool ok = client.FetchParameters(p, seconds(10), error);
    starter.join();
    ASSERT_TRUE(ok) << error;
    EXPECT_EQ(p.frameRate, 5);
}

TEST(FeedClient, RefusalsAreNotRetriedAndStopEndsTheWait) {
    FakeFeedServer refusing("no such feed", "404 Not Found");
    std::atomic<bool> stop{false};
    std::string error;
    StreamParameters p;
    FeedClient client(Url(refusing.Port()), stop);
    auto start = steady_clock::now();
    EXPECT_FALSE(client.FetchParameters(p, seconds(10), error));
    EXPECT_LT(steady_clock::now() - start, seconds(3));
    EXPECT_NE(error.find("404"), std::string::npos) << error;
    EXPECT_EQ(refusing.Gets(), 1);

    FeedClient waiting(Url(FreePort()), stop);
    std::thread stopper([&] {
        std::this_thread::sleep_for(milliseconds(300));
        stop = true;
    });
    start = steady_clock::now();
    EXPECT_FALSE(waiting.FetchParameters(p, seconds(30), error));
    stopper.join();
    EXPECT_LT(steady_clock::now() - start, seconds(3));
}

TEST(FeedClient, TheWholeWaitHoldsForAnAttemptUnderWay) {
    // A server that takes connections (the system completes them for its backlog) but
    // never answers: each attempt would run into its own I/O time-out.
    asio::io_context io;
    asio::ip::tcp::acceptor mute(io, asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
    std::atomic<bool> stop{false};
    FeedClient client(Url(mute.local_endpoint().port(), "127.0.0.1"), stop, seconds(1));
    StreamParameters p;
    std::string error;
    auto start = steady_clock::now();
    EXPECT_FALSE(client.FetchParametersAndOpen(p, error));
    EXPECT_LT(duration_cast<milliseconds>(steady_clock::now() - start).count(), 2500);
    EXPECT_NE(error.find("within 1 s"), std::string::npos) << error;
}

TEST(FeedClient, ARefusedFeedIsAFailedAttempt) {
    FakeFeedServer server("VideoFrameRate 10\n");
    server.RefuseFeeds("409 Conflict");  // another feeder holds it
    std::atomic<bool> stop{false};
    FeedClient client(Url(server.Port()), stop, milliseconds(1500));
    StreamParameters p;
    std::string error;
    auto start = steady_clock::now();
    EXPECT_FALSE(client.FetchParametersAndOpen(p, error));
    auto took = duration_cast<milliseconds>(steady_clock::now() - start).count();
    EXPECT_GE(took, 1000) << "a refusal is retried within the wait";
    EXPECT_LT(took, 2500);
    EXPECT_GE(server.Posts(), 2);
    EXPECT_NE(error.find("409 Conflict"), std::string::npos) << error;
    EXPECT_NE(error.find("within 1.5 s"), std::string::npos) << error;
    std::vector<uint8_t> frame = {0xFF, 0xD8, 0xFF, 0xD9};
    EXPECT_FALSE(client.Send(frame, error));
}

TEST(FeedClient, OnlyFramesOnAnAcceptedFeedCountAsDelivered) {
    FakeFeedServer server("VideoFrameRate 10\n");
    std::atomic<bool> stop{false};
    FeedClient client(Url(server.Port()), stop, milliseconds(1500));
    StreamParameters p;
    std::string error;
    ASSERT_TRUE(client.FetchParametersAndOpen(p, error)) << error;
    const std::vector<uint8_t>& frame = kFrame;
    ASSERT_TRUE(client.Send(frame, error)) << error;
    ASSERT_EQ(server.WaitForParts(1, 5000).size(), 1u);

    // Another feeder takes over: the server answers this feed and refuses every new one.
    server.RefuseFeeds("409 Conflict");
    auto refused = steady_clock::now();
    EXPECT_TRUE(FeedLikeTheEncoder(client, p, frame, error, seconds(8)))
        << "frames written into a refused feed kept counting as delivered";
    EXPECT_LT(duration_cast<milliseconds>(steady_clock::now() - refused).count(), 3000);
    EXPECT_NE(error.find("409 Conflict"), std::string::npos) << error;
}

TEST(FeedClient, ABusyServerIsAskedAgainWithinTheWait) {
    FakeFeedServer server("VideoFrameRate 10\n");
    server.RefuseGets("503 Server too busy", 2);
    server.RefuseFeeds("503 Server too busy", 1);
    std::atomic<bool> stop{false};
    StreamParameters p;
    std::string error;
    {
        FeedClient client(Url(server.Port()), stop, seconds(5));
        ASSERT_TRUE(client.FetchParametersAndOpen(p, error)) << error;
        EXPECT_EQ(server.Gets(), 3);
        EXPECT_EQ(server.Posts(), 2);
        const std::vector<uint8_t>& frame = kFrame;
        ASSERT_TRUE(client.Send(frame, error)) << error;
        EXPECT_EQ(server.WaitForParts(1, 5000).size(), 1u);
    }
    // Busy for longer than the wait.
    server.RefuseGets("503 Server too busy");
    int asked = server.Gets();
    FeedClient client(Url(server.Port()), stop, seconds(1));
    auto start = steady_clock::now();
    EXPECT_FALSE(client.FetchParametersAndOpen(p, error));
    EXPECT_LT(duration_cast<milliseconds>(steady_clock::now() - start).count(), 2000);
    EXPECT_GE(server.Gets() - asked, 2);
    EXPECT_NE(error.find("503 Server too busy"), std::string::npos) << error;
    EXPECT_NE(error.find("within 1 s"), std::string::npos) << error;
}

TEST(FeedClient, SendsFramesOnlyAfterTheServerSaysContinue) {
    FakeFeedServer server("VideoFrameRate 10\n");
    server.AnswerContinue();
    std::atomic<bool> stop{false};
    FeedClient client(Url(server.Port()), stop, seconds(5));
    StreamParameters p;
    std::string error;
    const std::vector<uint8_t>& frame = kFrame;
    // Then slower than the moment of silence that a server ignoring the expectation is
    // given: one that has said "100 Continue" before is waited for.
    for (int delay : {0, 800}) {
        server.SetFeedAnswerDelay(delay);
        ASSERT_TRUE(client.FetchParametersAndOpen(p, error)) << error;
        ASSERT_TRUE(client.Send(frame, error)) << error;
        ASSERT_EQ(server.WaitForParts(delay ? 2 : 1, 5000).size(), delay ? 2u : 1u);
        client.Close();
    }
    EXPECT_EQ(server.Continues(), 2);
    EXPECT_EQ(server.BodyBytesBeforeContinue(), 0u);

    // What the server says after its 100 is still heard: a refusal in the same answer is
    // a failed attempt, a later one ends the feed.
    server.SetFeedAnswerDelay(0);
    server.RefuseFeeds("400 Bad Request", -1, true);
    {
        // Long enough for a connection on a loaded machine: every attempt is refused.
        FeedClient refused(Url(server.Port()), stop, seconds(2));
        EXPECT_FALSE(refused.FetchParametersAndOpen(p, error));
        EXPECT_NE(error.find("400 Bad Request"), std::string::npos) << error;
        EXPECT_FALSE(refused.Send(frame, error));
    }
    server.RefuseFeeds("", 0);
    ASSERT_TRUE(client.FetchParametersAndOpen(p, error)) << error;
    server.RefuseFeeds("400 Bad Request", 1);
    auto refused = steady_clock::now();
    bool sent = true;
    while (sent && steady_clock::now() - refused < seconds(3)) {
        sent = client.Send(frame, error);
        std::this_thread::sleep_for(milliseconds(20));
    }
    EXPECT_FALSE(sent);
    EXPECT_NE(error.find("400 Bad Request"), std::string::npos) << error;
}

TEST(FeedClient, ASlowRefusalIsNotTakenForAcceptance) {
    FakeFeedServer server("VideoFrameRate 10\n");
    server.AnswerContinue();
    std::atomic<bool> stop{false};
    FeedClient client(Url(server.Port()), stop, seconds(3));
    StreamParameters p;
    std::string error;
    const std::vector<uint8_t>& frame = kFrame;
    ASSERT_TRUE(client.FetchParametersAndOpen(p, error)) << error;
    ASSERT_TRUE(client.Send(frame, error)) << error;

    // Another feeder takes over, and the server takes its time to say no.
    server.SetFeedAnswerDelay(800);
    server.RefuseFeeds("409 Conflict");
    auto refused = steady_clock::now();
    EXPECT_TRUE(FeedLikeTheEncoder(client, p, frame, error, seconds(10)))
        << "frames written into refused feeds kept counting as delivered";
    EXPECT_LT(duration_cast<milliseconds>(steady_clock::now() - refused).count(), 5000);
    EXPECT_NE(error.find("409 Conflict"), std::string::npos) << error;
}

// A server that takes the feed and then reads nothing: what the buffers took is not
// delivered, so the encoder says so and gives up after its wait, instead of taking
// every write into the buffers for a frame that got through and reconnecting forever.
TEST(FeedClient, AServerThatStopsReadingIsGivenUpAfterTheWait) {
#ifdef _WIN32
    // Under Wine 8 (32- and 64-bit) this test never ends once the receiver has stopped
    // reading: the write that is given up does not come back. Not diagnosed further; the
    // same code runs natively, where the test holds.
    if (::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version"))
        GTEST_SKIP() << "a write to a receiver that stopped reading does not end under Wine 8";
#endif
    FakeFeedServer server("VideoFrameRate 10\n");
    server.StopReadingFeeds();
    std::atomic<bool> stop{false};
    FeedClient client(Url(server.Port()), stop, milliseconds(1500), milliseconds(300));
    StreamParameters p;
    std::string error;
    ASSERT_TRUE(client.FetchParametersAndOpen(p, error)) << error;
    const std::vector<uint8_t> frame(50000, 0x55);
    std::string said;
    bool gaveUp = false;
    auto start = steady_clock::now();
    while (!gaveUp && steady_clock::now() - start < seconds(20)) {
        if (client.Send(frame, error)) continue;
        said += error + "\n";
        gaveUp = !client.FetchParametersAndOpen(p, error);
    }
    EXPECT_TRUE(gaveUp);
    EXPECT_LT(duration_cast<milliseconds>(steady_clock::now() - start).count(), 8000);
    EXPECT_NE(said.find("stopped reading the feed (it took nothing for 0.3 s)"), std::string::npos) << said;
    EXPECT_NE(error.find("within 1.5 s"), std::string::npos) << error;
}
