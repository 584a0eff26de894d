#include "programs/server/request_routing.h"

#include <gtest/gtest.h>

namespace {

const Ipv4 kLocal = 0x7F000001;  // 127.0.0.1, admitted by the feed and by demo.swf
const Ipv4 kOther = 0xC0A80002;  // 192.168.0.2, admitted by neither

ServerConfig Config() {
    const char text[] =
        "<Feed feed1.ffm>\nFile mem:feed1.ffm\nACL allow 127.0.0.1\n</Feed>\n"
        "<Feed spare.ffm>\nFile mem:spare.ffm\n</Feed>\n"
        "<Stream demo.swf>\nFeed feed1.ffm\nACL allow 127.0.0.1\n</Stream>\n"
        "<Stream open.swf>\nFeed feed1.ffm\n</Stream>\n"
        "<Stream plain>\nFeed spare.ffm\n</Stream>\n";
    ServerConfig config;
    std::string error;
    EXPECT_TRUE(ParseServerConfig(text, "orvane.conf", config, error)) << error;
    return config;
}

std::string NameOf(const FeedConfig* feed) { return feed ? feed->name : "-"; }
std::string NameOf(const StreamConfig* stream) { return stream ? stream->name : "-"; }

}  // namespace

TEST(RequestRouting, EachRequestGoesWhereItsPathMethodAndAddressSay) {
    const ServerConfig config = Config();
    struct Case {
        const char* method;
        const char* path;
        Ipv4 peer;
        Serve serve;
        int status;
        const char* feed;
        const char* stream;
    } cases[] = {
        {"GET", "/", kOther, Serve::ViewerPage, 0, "-", "-"},
        {"HEAD", "/index.html", kOther, Serve::ViewerPage, 0, "-", "-"},
        {"POST", "/", kLocal, Serve::Status, 405, "-", "-"},
        {"get", "/index.html", kLocal, Serve::Status, 405, "-", "-"},  // methods are case-sensitive
        // The feed: its parameters (with the first stream it feeds), its intake; hidden from others.
        {"GET", "/feed1.ffm", kLocal, Serve::FeedParameters, 0, "feed1.ffm", "demo.swf"},
        {"HEAD", "/feed1.ffm", kLocal, Serve::FeedParameters, 0, "feed1.ffm", "demo.swf"},
        {"POST", "/feed1.ffm", kLocal, Serve::FeedIntake, 0, "feed1.ffm", "-"},
        {"PUT", "/feed1.ffm", kLocal, Serve::Status, 405, "-", "-"},
        {"GET", "/feed1.ffm", kOther, Serve::Status, 404, "-", "-"},
        {"POST", "/feed1.ffm", kOther, Serve::Status, 404, "-", "-"},
        {"GET", "/spare.ffm", kOther, Serve::FeedParameters, 0, "spare.ffm", "plain"},
        // A stream as configured, as MJPEG and as its latest picture.
        {"GET", "/demo.swf", kLocal, Serve::Swf, 0, "feed1.ffm", "demo.swf"},
        {"GET", "/demo.mjpg", kLocal, Serve::Mjpeg, 0, "feed1.ffm", "demo.swf"},
        {"HEAD", "/demo.jpg", kLocal, Serve::Snapshot, 0, "feed1.ffm", "demo.swf"},
        {"GET", "/open.mjpg", kOther, Serve::Mjpeg, 0, "feed1.ffm", "open.swf"},
        {"GET", "/plain", kOther, Serve::Swf, 0, "spare.ffm", "plain"},
        {"GET", "/plain.jpg", kOther, Serve::Snapshot, 0, "spare.ffm", "plain"},
        {"POST", "/demo.swf", kLocal, Serve::Status, 405, "-", "-"},
        {"DELETE", "/demo.mjpg", kLocal, Serve::Status, 405, "-", "-"},
        // An address the stream does not admit is told it does not exist, whatever the method.
        {"GET", "/demo.swf", kOther, Serve::Status, 404, "-", "-"},
        {"POST", "/demo.jpg", kOther, Serve::Status, 404, "-", "-"},
        {"GET", "/missing.swf", kLocal, Serve::Status, 404, "-", "-"},
        {"GET", "/demo", kLocal, Serve::Status, 404, "-", "-"},
        {"GET", "/feed1.mjpg", kLocal, Serve::Status, 404, "-", "-"},
        {"GET", "//demo.swf", kLocal, Serve::Status, 404, "-", "-"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.method) + " " + c.path + (c.peer == kLocal ? " from 127.0.0.1" : " from elsewhere"));
        ResolvedRequest r = ResolveRequest(config, c.method, c.path, c.peer);
        EXPECT_EQ(r.serve, c.serve);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(NameOf(r.feed), c.feed);
        EXPECT_EQ(NameOf(r.stream), c.stream);
    }
}
