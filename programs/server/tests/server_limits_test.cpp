#include "programs/server/limits.h"

#include <gtest/gtest.h>

#include "programs/server/acl.h"
#include "programs/server/message_throttle.h"
#include "programs/server/responses.h"
#include "programs/server/viewer_page.h"

namespace {

Ipv4 Ip(const char* text) {
    Ipv4 a = 0;
    EXPECT_TRUE(ParseIpv4(text, a)) << text;
    return a;
}

AclRule Rule(bool allow, const char* first, const char* last = nullptr) {
    return AclRule{allow, Ip(first), Ip(last ? last : first)};
}

}  // namespace

TEST(Acl, AddressesParse) {
    EXPECT_EQ(Ip("127.0.0.1"), 0x7F000001u);
    EXPECT_EQ(FormatIpv4(0xC0A80102u), "192.168.1.2");
    Ipv4 a;
    for (const char* bad :
         {"", "1.2.3", "1.2.3.4.5", "256.0.0.1", "1.2.3.", " 1.2.3.4", "1.2.3.4 ", "a.b.c.d", "1..2.3", "1234.1.1.1"})
        EXPECT_FALSE(ParseIpv4(bad, a)) << bad;
}

TEST(Acl, FirstMatchingRuleDecidesAndTheFirstRuleSetsTheDefault) {
    EXPECT_TRUE(AclAllows({}, Ip("10.1.2.3")));

    std::vector<AclRule> onlyLoopback = {Rule(true, "127.0.0.1")};
    EXPECT_TRUE(AclAllows(onlyLoopback, Ip("127.0.0.1")));
    EXPECT_FALSE(AclAllows(onlyLoopback, Ip("127.0.0.2")));
    EXPECT_FALSE(AclAllows(onlyLoopback, Ip("192.168.1.5")));

    std::vector<AclRule> denyOne = {Rule(false, "192.168.1.5")};
    EXPECT_FALSE(AclAllows(denyOne, Ip("192.168.1.5")));
    EXPECT_TRUE(AclAllows(denyOne, Ip("192.168.1.6")));

    // A hole in a range: the earlier rule wins.
    std::vector<AclRule> hole = {Rule(false, "10.0.0.5"), Rule(true, "10.0.0.0", "10.0.0.255")};
    EXPECT_FALSE(AclAllows(hole, Ip("10.0.0.5")));
    EXPECT_TRUE(AclAllows(hole, Ip("10.0.0.0")));
    EXPECT_TRUE(AclAllows(hole, Ip("10.0.0.255")));
    EXPECT_TRUE(AclAllows(hole, Ip("10.0.1.0")));  // outside every rule: the opposite of "deny"

    std::vector<AclRule> reversed = {Rule(true, "10.0.0.5"), Rule(false, "10.0.0.0", "10.0.0.255")};
    EXPECT_TRUE(AclAllows(reversed, Ip("10.0.0.5")));
    EXPECT_FALSE(AclAllows(reversed, Ip("10.0.0.6")));
    EXPECT_FALSE(AclAllows(reversed, Ip("10.0.1.0")));  // the opposite of "allow"
}

TEST(Limits, ClientsBandwidthAndConnections) {
    ServerConfig c;
    c.maxClients = 1;
    c.maxBandwidthKbps = 1000;
    c.maxHttpConnections = 3;
    EXPECT_EQ(AdmitViewer(c, 0, 0, 1000), Admission::Ok);
    EXPECT_EQ(AdmitViewer(c, 1, 0, 0), Admission::TooManyClients);
    EXPECT_EQ(AdmitViewer(c, 0, 0, 1001), Admission::TooMuchBandwidth);
    c.maxClients = 5;
    EXPECT_EQ(AdmitViewer(c, 2, 700, 300), Admission::Ok);
    EXPECT_EQ(AdmitViewer(c, 2, 701, 300), Admission::TooMuchBandwidth);
    EXPECT_TRUE(AdmitConnection(c, 2));
    EXPECT_FALSE(AdmitConnection(c, 3));

    FeedConfig feed;
    feed.maxSize = 200 * 1024;
    EXPECT_EQ(FeedFrameLimit(feed), 200u * 1024);
    feed.maxSize = 1ull << 30;
    EXPECT_EQ(FeedFrameLimit(feed), kMaxFrameBytes);
}

TEST(Limits, RateMeterCountsTheLastWindowOnly) {
    RateMeter m(1000);
    EXPECT_EQ(m.Kbps(0), 0);
    m.Add(1000, 0);  // 8000 bits in one second
    m.Add(1, 500);   // any traffic at all counts as at least 1 kbit/s
    EXPECT_EQ(m.Kbps(900), 9);
    EXPECT_EQ(m.Kbps(1000), 1);
    EXPECT_EQ(m.Kbps(1500), 0);
}

TEST(Limits, RateMeterHoldsAFixedAmountHoweverManyFramesCome) {
    RateMeter m(5000);
    // Millions of tiny frames within the window.
    for (int64_t i = 0; i < 2000000; ++i) m.Add(10, i / 400);
    EXPECT_LE(m.entries(), 64u);
    EXPECT_EQ(m.Kbps(4999), 2000000 * 10 * 8 / 5000);
}

TEST(Limits, RateMeterFollowsASteadyStreamAndForgetsAGap) {
    RateMeter m(5000);
    // 25 frames a second of 5000 bytes: 1000 kbit/s, whatever the phase (the
    // meter counts in slices of a fiftieth of the window, so it may read 2% low).
    int64_t t = 0;
    for (; t < 20000; t += 40) {
        m.Add(5000, t);
        if (t >= 5000) {
            int64_t kbps = m.Kbps(t);
            EXPECT_GE(kbps, 980) << t;
            EXPECT_LE(kbps, 1010) << t;
        }
    }
    // A feed that stops is forgotten after the window; a jump far ahead is cheap.
    EXPECT_GT(m.Kbps(t + 4000), 0);
    EXPECT_EQ(m.Kbps(t + 5000), 0);
    m.Add(1000, 1000000000000);
    EXPECT_EQ(m.Kbps(1000000000000), 2);
}

TEST(Limits, MessageThrottleLetsOneAnIntervalThroughAndCountsTheRest) {
    MessageThrottle t(1000);
    uint64_t held = 99;
    EXPECT_TRUE(t.Allow(5000, held));
    EXPECT_EQ(held, 0u);
    for (int64_t ms = 5000; ms < 6000; ms += 10) EXPECT_FALSE(t.Allow(ms, held));
    EXPECT_TRUE(t.Allow(6000, held));
    EXPECT_EQ(held, 100u);
    EXPECT_FALSE(t.Allow(6500, held));
    EXPECT_FALSE(t.Allow(6600, held));
    // What is still held back when the source goes quiet can be taken once.
    EXPECT_EQ(t.TakeHeld(), 2u);
    EXPECT_EQ(t.TakeHeld(), 0u);
    EXPECT_TRUE(t.Allow(9000, held));
    EXPECT_EQ(held, 0u);
}

// The words of the messages that tell what the throttles held back.
TEST(Limits, HeldBackMessagesSayHowManySinceTheLastMessage) {
    EXPECT_EQ(HeldBackSuffix(0, "refused"), "");
    EXPECT_EQ(HeldBackSuffix(12, "refused"), "; 12 more refused since the last message");
    EXPECT_EQ(HeldBackSuffix(1, "such errors"), "; 1 more such errors since the last message");
    EXPECT_EQ(HeldBackText(1, "part refused"), "1 more part refused since the last message");
    EXPECT_EQ(HeldBackText(40, "second feeders refused"), "40 more second feeders refused since the last message");
}

TEST(Limits, ViewerSendBufferHoldsAQuarterSecondOfASlowLink) {
    const int max = kViewerSendBufferMax, min = kViewerSendBufferMin;
    struct Case {
        int current;
        uint64_t bytes;
        int64_t tookUs;
        int fitted;
    };
    const Case cases[] = {
        {max, 32000, 1000000, 8000},     // 32 KB/s
        {max, 64000, 1000000, 16000},    // 64 KB/s
        {8000, 34000, 1000000, 8000},    // about the same: left alone
        {8000, 64000, 1000000, 16000},   // the link got faster
        {16000, 32000, 1000000, 8000},   // or slower
        {8000, 20000000, 1000000, max},  // a fast link
        {8000, 1000, 1000000, min},      // 1 KB/s
        {max, 20000, 0, max},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FittedSendBuffer(c.current, c.bytes, c.tookUs), c.fitted) << c.current << " " << c.bytes;
}

TEST(Responses, FeedParametersAndStatusLines) {
    FeedConfig feed;
    feed.maxSize = 204800;
    StreamConfig stream;
    stream.frameRate = 15;
    EXPECT_EQ(FeedParameters(feed, &stream), "VideoFrameRate 15\nFileMaxSize 204800\n");
    stream.width = 640;
    stream.height = 480;
    stream.bitRate = 300;
    stream.bitRateTolerance = 21;
    stream.frameRate = 12.5;
    EXPECT_EQ(
        FeedParameters(feed, &stream),
        "VideoFrameRate 12.5\nFileMaxSize 204800\nVideoSize 640x480\nVideoBitRate 300\nVideoBitRateTolerance 21\n");

    std::string busy = SimpleResponse(503);
    EXPECT_EQ(busy.substr(0, busy.find("\r\n")), "HTTP/1.0 503 Server too busy");
    EXPECT_NE(busy.find("Content-Length: 20\r\n"), std::string::npos);
    EXPECT_EQ(busy.substr(busy.find("\r\n\r\n") + 4), "503 Server too busy\n");

    EXPECT_EQ(AccessLogLine("127.0.0.1", 0, "GET /\"x\" HTTP/1.1", 200, 42),
              "127.0.0.1 - - [01/Jan/1970:00:00:00 +0000] \"GET /?x? HTTP/1.1\" 200 42\n");
}

TEST(Responses, ViewerPagePlaysTheFirstStreamAndLinksTheOthers) {
    std::string one = ViewerPage({"demo.mjpg"});
    EXPECT_NE(one.find("<title>Orvane DEMO (Web Edition)</title>"), std::string::npos);
    EXPECT_NE(one.find("data-streams='[\"demo.mjpg\"]'"), std::string::npos);
    EXPECT_EQ(one.find("?stream="), std::string::npos);
    std::string two = ViewerPage({"demo.mjpg", "second.mjpg"});
    EXPECT_NE(two.find("data-streams='[\"demo.mjpg\",\"second.mjpg\"]'"), std::string::npos);
    EXPECT_NE(two.find("href=\"/?stream=second.mjpg\""), std::string::npos);
    EXPECT_NE(ViewerPage({}).find("No streams are configured."), std::string::npos);
}

TEST(Responses, EveryStreamIsAlsoServedAsMjpegAndSnapshot) {
    StreamConfig s;
    s.name = "demo.swf";
    EXPECT_EQ(MjpegName(s), "demo.mjpg");
    EXPECT_EQ(SnapshotName(s), "demo.jpg");
    s.name = "cam.front.swf";
    EXPECT_EQ(MjpegName(s), "cam.front.mjpg");
    s.name = "plain";
    EXPECT_EQ(SnapshotName(s), "plain.jpg");
}
