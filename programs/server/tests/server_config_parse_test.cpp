#include "programs/server/config.h"

#include <gtest/gtest.h>

#include "backend/server_config.h"
#include "backend/text_mode.h"
#include "programs/common/arguments.h"

namespace {

// The file exactly as the panel writes it to disk (CR LF line ends).
std::string PanelFile(const StreamSettings& s) { return EncodeTextFile(FormatServerConfig(s)); }

ServerConfig Parse(const std::string& text) {
    ServerConfig config;
    std::string error;
    EXPECT_TRUE(ParseServerConfig(text, "orvane.conf", config, error)) << error;
    return config;
}

std::string ErrorOf(const std::string& text) {
    ServerConfig config;
    std::string error;
    EXPECT_FALSE(ParseServerConfig(text, "C:\\Cam\\orvane.conf", config, error)) << text;
    return error;
}

const char kFeed[] = "<Feed feed.ffm>\nFile mem:feed.ffm\n</Feed>\n";

}  // namespace

TEST(ServerConfigParse, ThePanelsEighteenLineFile) {
    StreamSettings s;
    s.port = 8080;
    ServerConfig c = Parse(PanelFile(s));
    EXPECT_EQ(c.port, 8080);
    EXPECT_EQ(c.bindAddress, 0u);
    EXPECT_EQ(c.maxHttpConnections, 2000);
    EXPECT_EQ(c.maxClients, 1);
    EXPECT_EQ(c.maxBandwidthKbps, 100000);
    EXPECT_EQ(c.customLog, "-");
    ASSERT_EQ(c.feeds.size(), 1u);
    EXPECT_EQ(c.feeds[0].name, "feed.ffm");
    EXPECT_EQ(c.feeds[0].maxSize, 200u * 1024);
    ASSERT_EQ(c.feeds[0].acl.size(), 1u);
    EXPECT_TRUE(c.feeds[0].acl[0].allow);
    EXPECT_EQ(c.feeds[0].acl[0].first, 0x7F000001u);
    EXPECT_EQ(c.feeds[0].acl[0].last, 0x7F000001u);
    ASSERT_EQ(c.streams.size(), 1u);
    const StreamConfig& st = c.streams[0];
    EXPECT_EQ(st.name, "demo.swf");
    EXPECT_EQ(st.feed, "feed.ffm");
    EXPECT_EQ(st.frameRate, 15);
    EXPECT_EQ(st.width, 0);
    EXPECT_EQ(st.bitRate, 0);
    EXPECT_EQ(st.bitRateTolerance, -1);
}

TEST(ServerConfigParse, ThePanelsFilesWithSizeAndBitRate) {
    StreamSettings s;
    s.width = 320;
    s.height = 240;
    s.frameRate = 30;
    ServerConfig sized = Parse(PanelFile(s));
    EXPECT_EQ(sized.streams[0].width, 320);
    EXPECT_EQ(sized.streams[0].height, 240);
    EXPECT_EQ(sized.streams[0].frameRate, 30);
    EXPECT_EQ(sized.streams[0].bitRate, 0);

    s.bitRate = 100;
    s.frameRate = 15;
    ServerConfig both = Parse(PanelFile(s));
    EXPECT_EQ(both.streams[0].bitRate, 100);
    EXPECT_EQ(both.streams[0].bitRateTolerance, 7);

    s.width = 0;
    ServerConfig rateOnly = Parse(PanelFile(s));
    EXPECT_EQ(rateOnly.streams[0].width, 0);
    EXPECT_EQ(rateOnly.streams[0].bitRate, 100);
}

TEST(ServerConfigParse, SyntaxFreedoms) {
    ServerConfig c = Parse(
        "# a comment\r\n\r\n   \r\n  port 9000\r\nBINDADDRESS\t127.0.0.1\r\n<feed f>\r\n  filemaxsize 2m\r\n"
        "</FEED>\r\n<STREAM s.swf>\r\nfeed f\r\nvideosize vga\r\nVideoFrameRate 29.97\r\n</stream>");
    ASSERT_EQ(c.streams.size(), 1u);
    EXPECT_EQ(c.port, 9000);
    EXPECT_EQ(c.bindAddress, 0x7F000001u);
    EXPECT_EQ(c.feeds[0].maxSize, 2u << 20);
    EXPECT_EQ(c.streams[0].width, 640);
    EXPECT_EQ(c.streams[0].height, 480);
    EXPECT_DOUBLE_EQ(c.streams[0].frameRate, 29.97);
}

TEST(ServerConfigParse, SizesAndByteCounts) {
    int w = 0, h = 0;
    EXPECT_TRUE(ParseVideoSize("qcif", w, h));
    EXPECT_EQ(w * 10000 + h, 176 * 10000 + 144);
    EXPECT_TRUE(ParseVideoSize("hd720", w, h));
    EXPECT_EQ(w * 10000 + h, 1280 * 10000 + 720);
    EXPECT_TRUE(ParseVideoSize("640X480", w, h));
    for (const char* bad : {"640", "640x", "x480", "0x480", "-640x480", "640x-480", "640x480x2", "ntsc2", "99999x10"})
        EXPECT_FALSE(ParseVideoSize(bad, w, h)) << bad;

    uint64_t n = 0;
    EXPECT_TRUE(ParseByteSize("200K", n));
    EXPECT_EQ(n, 204800u);
    EXPECT_TRUE(ParseByteSize("1G", n));
    EXPECT_EQ(n, 1ull << 30);
    EXPECT_TRUE(ParseByteSize("4096", n));
    EXPECT_EQ(n, 4096u);
    for (const char* bad : {"", "K", "0", "-1K", "2T", "1.5M", "5G", "12 K"})
        EXPECT_FALSE(ParseByteSize(bad, n)) << bad;
}

TEST(ServerConfigParse, ErrorsNameTheFileAndLine) {
    EXPECT_EQ(ErrorOf("Port 80\nFrobnicate 1\n"), "C:\\Cam\\orvane.conf:2: unknown directive Frobnicate");
    EXPECT_EQ(ErrorOf("\n\nPort 70000\n"), "C:\\Cam\\orvane.conf:3: bad value for Port");
    EXPECT_EQ(ErrorOf("Port abc\n"), "C:\\Cam\\orvane.conf:1: bad value for Port");
    EXPECT_EQ(ErrorOf("Port\n"), "C:\\Cam\\orvane.conf:1: missing value for Port");
    EXPECT_EQ(ErrorOf("NoDaemon yes\n"), "C:\\Cam\\orvane.conf:1: NoDaemon takes no value");
    EXPECT_EQ(ErrorOf("BindAddress 1.2.3\n"), "C:\\Cam\\orvane.conf:1: bad value for BindAddress");
    EXPECT_EQ(ErrorOf(std::string(kFeed) + "<Stream s>\nFeed other.ffm\n</Stream>\n"),
              "C:\\Cam\\orvane.conf:5: stream s names a missing feed other.ffm");
    EXPECT_EQ(ErrorOf("MaxHTTPConnections 10\nMaxClients 11\n"),
              "C:\\Cam\\orvane.conf:2: MaxClients 11 is above MaxHTTPConnections 10");
    // The limit applies whatever order the two come in.
    EXPECT_EQ(ErrorOf("MaxClients 11\n\nMaxHTTPConnections 10\n"),
              "C:\\Cam\\orvane.conf:1: MaxClients 11 is above MaxHTTPConnections 10");
    EXPECT_EQ(ErrorOf("<Feed f>\nFile mem:f\n"), "C:\\Cam\\orvane.conf:1: section <Feed> is not closed");
    EXPECT_EQ(ErrorOf("</Feed>\n"), "C:\\Cam\\orvane.conf:1: </Feed> without its opening section");
    EXPECT_EQ(ErrorOf("<Feed f>\n<Stream s>\n"), "C:\\Cam\\orvane.conf:2: sections cannot be nested");
    EXPECT_EQ(ErrorOf("VideoFrameRate 15\n"),
              "C:\\Cam\\orvane.conf:1: VideoFrameRate is only allowed inside a section");
    EXPECT_EQ(ErrorOf(std::string(kFeed) + "<Stream s>\nFormat mpeg\n"),
              "C:\\Cam\\orvane.conf:5: unsupported format mpeg (only swf)");
    EXPECT_EQ(ErrorOf(std::string(kFeed) + "<Stream s>\nNoAudio\n</Stream>\n"),
              "C:\\Cam\\orvane.conf:4: stream s has no Feed");
    EXPECT_EQ(ErrorOf("<Feed f>\nACL permit 127.0.0.1\n"),
              "C:\\Cam\\orvane.conf:2: ACL must be allow or deny, not permit");
    EXPECT_EQ(ErrorOf("<Feed f>\nACL allow 10.0.0.9 10.0.0.1\n"), "C:\\Cam\\orvane.conf:2: bad value for ACL");
    EXPECT_EQ(ErrorOf("<Feed f>\nFileMaxSize 200Q\n"), "C:\\Cam\\orvane.conf:2: bad value for FileMaxSize");
    EXPECT_EQ(ErrorOf(std::string(kFeed) + "<Feed feed.ffm>\n"),
              "C:\\Cam\\orvane.conf:4: name feed.ffm is already used");
    EXPECT_EQ(ErrorOf(std::string(kFeed) + "<Stream s>\nVideoSize 640x\n"),
              "C:\\Cam\\orvane.conf:5: bad value for VideoSize");
    EXPECT_EQ(ErrorOf(std::string(kFeed) + "<Stream s>\nVideoBitRate 0\n"),
              "C:\\Cam\\orvane.conf:5: bad value for VideoBitRate");
    EXPECT_EQ(ErrorOf("<Feed a/b>\n"), "C:\\Cam\\orvane.conf:1: bad name a/b");
}

TEST(ServerConfigParse, PanelFileWithAnOutOfRangeSettingIsRefused) {
    // The panel validates on Start, but Exit writes unvalidated values.
    StreamSettings s;
    s.width = -320;
    s.height = 240;
    std::string error;
    ServerConfig c;
    EXPECT_FALSE(ParseServerConfig(PanelFile(s), "orvane.conf", c, error));
    EXPECT_EQ(error, "orvane.conf:18: bad value for VideoSize");
}
