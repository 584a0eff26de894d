// End to end, natively: the encoder with the synthetic camera feeds the real server, and
// a viewer of /demo.swf receives watermarked JPEG frames of the configured size.
#include <gtest/gtest.h>

#include <asio.hpp>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csetjmp>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <sstream>
#include <thread>

#include <jpeglib.h>

#include "backend/command_lines.h"
#include "backend/server_config.h"
#include "common/exit_reasons.h"
#include "common/utf8.h"
#include "programs/encoder/feed_client.h"
#include "programs/encoder/gif_reader.h"
#include "programs/encoder/scale.h"
#include "programs/encoder/test_pattern.h"
#include "programs/common/tests/wait_until.h"
#include "res/watermark.h"

extern char** environ;

namespace {

using namespace std::chrono;

class Child {
public:
    // Standard error goes to `errorFile` when one is given.
    explicit Child(const std::vector<std::string>& argv, const std::string& errorFile = "") {
        std::vector<char*> raw;
        for (const std::string& a : argv) raw.push_back(const_cast<char*>(a.c_str()));
        raw.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (!errorFile.empty())
            posix_spawn_file_actions_addopen(&actions, 2, errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (posix_spawn(&pid_, raw[0], &actions, nullptr, raw.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Child() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    bool Running() {
        int status = 0;
        if (pid_ > 0 && waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        return pid_ > 0;
    }
    // The exit code once it ends by itself, or -1 when it is still running after `patience`.
    int Wait(seconds patience) {
        return WaitUntil([this] { return !Running(); }, patience, milliseconds(20)) ? exitCode_ : -1;
    }
    // Sends SIGINT and returns the exit code, or -1 when it had to be killed.
    int Stop(seconds patience) {
        if (!Running()) return exitCode_;
        kill(pid_, SIGINT);
        return WaitUntil([this] { return !Running(); }, patience, milliseconds(20)) ? exitCode_ : -1;
    }

private:
    pid_t pid_ = -1;
    int exitCode_ = -1;
};

uint16_t FreePort() {
    asio::io_context io;
    asio::ip::tcp::acceptor a(io, asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
    return a.local_endpoint().port();
}

bool DecodeJpeg(const std::string& jpeg, RgbImage& out) {
    struct Error {
        jpeg_error_mgr base;
        jmp_buf escape;
    } error;
    jpeg_decompress_struct d;
    d.err = jpeg_std_error(&error.base);
    error.base.error_exit = [](j_common_ptr c) { longjmp(reinterpret_cast<Error*>(c->err)->escape, 1); };
    jpeg_create_decompress(&d);
    if (setjmp(error.escape)) {
        jpeg_destroy_decompress(&d);
        return false;
    }
    jpeg_mem_src(&d, reinterpret_cast<const unsigned char*>(jpeg.data()), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_RGB;
    jpeg_start_decompress(&d);
    out.Resize(static_cast<int>(d.output_width), static_cast<int>(d.output_height));
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = out.Row(static_cast<int>(d.output_scanline));
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return true;
}

// Reads the SWF stream until `count` JPEG bitmaps have been shown.
std::vector<std::string> ReadSwfFrames(uint16_t port, size_t count, seconds patience) {
    asio::io_context io;
    asio::ip::tcp::socket s(io);
    auto end = steady_clock::now() + patience;
    std::string data;
    std::vector<std::string> frames;
    asio::error_code ec;
    s.connect(asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), port), ec);
    if (ec) return frames;
    std::string request = "GET /demo.swf HTTP/1.1\r\nHost: localhost\r\n\r\n";
    asio::write(s, asio::buffer(request), ec);
    char buffer[65536];
    auto fill = [&](size_t n) {
        while (data.size() < n && steady_clock::now() < end) {
            size_t got = s.read_some(asio::buffer(buffer), ec);
            if (ec) return false;
            data.append(buffer, got);
        }
        return data.size() >= n;
    };
    // Give up on the stream once the time is over, even mid-read.
    std::atomic<bool> finished{false};
    std::thread watchdog([&] {
        WaitUntil([&] { return finished.load(); }, patience, milliseconds(50));
        asio::error_code ignored;
        s.shutdown(asio::socket_base::shutdown_both, ignored);
    });
    size_t head = 0;
    while ((head = data.find("\r\n\r\n")) == std::string::npos)
        if (!fill(data.size() + 1)) break;
    if (head != std::string::npos && data.compare(0, 5, "HTTP/") == 0 && data.find(" 200 ") < data.find("\r\n")) {
        data.erase(0, head + 4);
        // Header: signature, version, length, then the stage rectangle, rate and count.
        if (fill(9) && data.compare(0, 3, "FWS") == 0) {
            int bits = static_cast<uint8_t>(data[8]) >> 3;
            size_t at = 8 + (5 + 4 * bits + 7) / 8 + 4;
            std::string pending;
            while (frames.size() < count && fill(at + 6)) {
                unsigned codeLength = static_cast<uint8_t>(data[at]) | (static_cast<uint8_t>(data[at + 1]) << 8);
                unsigned tag = codeLength >> 6;
                size_t length = codeLength & 0x3F, bodyAt = at + 2;
                if (length == 0x3F) {
                    length = static_cast<uint8_t>(data[at + 2]) | (static_cast<uint8_t>(data[at + 3]) << 8) |
                             (static_cast<uint8_t>(data[at + 4]) << 16) |
                             (static_cast<size_t>(static_cast<uint8_t>(data[at + 5])) << 24);
                    bodyAt = at + 6;
                }
                if (!fill(bodyAt + length)) break;
                if (tag == 21) {
                    pending = data.substr(bodyAt + 2, length - 2);
                    // The old players' form may start with an empty image (FF D9 FF D8).
                    if (pending.compare(0, 4, "\xFF\xD9\xFF\xD8") == 0) pending.erase(0, 4);
                } else if (tag == 1 && !pending.empty()) {
                    frames.push_back(pending);
                    pending.clear();
                }
                data.erase(0, bodyAt + length);
                at = 0;
            }
        }
    }
    finished = true;
    watchdog.join();
    return frames;
}

}  // namespace

TEST(EncoderEndToEnd, ViewerSeesWatermarkedFramesOfTheConfiguredSize) {
    char pattern[] = "/tmp/orvane e2e XXXXXX";
    ASSERT_TRUE(mkdtemp(pattern));
    std::string dir = pattern;
    uint16_t port = FreePort();
    StreamSettings settings;
    settings.port = port;
    settings.width = 320;
    settings.height = 240;
    settings.frameRate = 15;
    std::ofstream(dir + "/orvane.conf") << ToUtf8(FormatServerConfig(settings));
    std::ofstream(dir + "/logo.gif", std::ios::binary)
        .write(reinterpret_cast<const char*>(kWatermarkGif), static_cast<std::streamsize>(kWatermarkGifSize));

    Child server({ORVANE_SERVER_PATH, "-f", dir + "/orvane.conf"});
    // The folder has spaces: escaped as the panel escapes them.
    std::wstring escaped;
    ASSERT_TRUE(EscapeSpaceRuns(FromUtf8(dir), escaped));
    Child encoder({ORVANE_ENCODER_PATH, "-f", "testsrc", "-r", "15", "-i", "0", "-sameq", "-vhook",
                   "watermark -f " + ToUtf8(escaped) + "/logo.gif",
                   "http://localhost:" + std::to_string(port) + "/feed.ffm"});
    // The viewer may come before the server listens: wait for the first frames.
    std::vector<std::string> frames;
    WaitUntil(
        [&] {
            if (!encoder.Running()) return true;
            frames = ReadSwfFrames(port, 4, seconds(10));
            return !frames.empty();
        },
        seconds(30), milliseconds(200));
    ASSERT_EQ(frames.size(), 4u) << "no stream from the server";
    EXPECT_TRUE(encoder.Running());

    RgbImage got, mark, clean, scaled;
    ASSERT_TRUE(DecodeJpeg(frames.back(), got));
    EXPECT_EQ(got.width, 320);
    EXPECT_EQ(got.height, 240);
    std::string error;
    ASSERT_TRUE(ReadGif(kWatermarkGif, kWatermarkGifSize, mark, error)) << error;
    ASSERT_EQ(got.rgb.size(), mark.rgb.size());

    // Which frame of the pattern this is: the one that matches best where the mark is grey.
    auto meanDiff = [&](const RgbImage& a, bool text) {
        double sum = 0;
        long n = 0;
        for (size_t i = 0; i < a.rgb.size(); i += 3) {
            bool isText = mark.rgb[i] >= 200;
            if (isText != text || (!text && mark.rgb[i] != 128)) continue;
            for (int c = 0; c < 3; ++c) sum += static_cast<double>(got.rgb[i + c]) - a.rgb[i + c];
            n += 3;
        }
        return sum / static_cast<double>(n);
    };
    double best = 1e9;
    int64_t bestFrame = -1;
    for (int64_t f = 0; f < 15 * 60; ++f) {
        DrawTestPattern(f, 15, clean);
        ScaleBilinear(clean, 320, 240, scaled);
        double e = 0;
        for (size_t i = 0; i < scaled.rgb.size(); i += 7) e += std::abs(static_cast<int>(got.rgb[i]) - scaled.rgb[i]);
        if (e < best) best = e, bestFrame = f;
    }
    ASSERT_GE(bestFrame, 0);
    DrawTestPattern(bestFrame, 15, clean);
    ScaleBilinear(clean, 320, 240, scaled);
    // Untouched where the mark is grey (JPEG noise aside); much brighter under the text.
    EXPECT_LT(std::abs(meanDiff(scaled, false)), 4.0) << "frame " << bestFrame;
    EXPECT_GT(meanDiff(scaled, true), 40.0) << "frame " << bestFrame;

    EXPECT_EQ(encoder.Stop(seconds(10)), 0);
    EXPECT_EQ(server.Stop(seconds(10)), 0);
    std::filesystem::remove_all(dir);
}

TEST(EncoderProgram, RefusesAWatermarkOver64MiB) {
    char pattern[] = "/tmp/orvane-mark-XXXXXX";
    ASSERT_TRUE(mkdtemp(pattern));
    std::string dir = pattern, mark = dir + "/big.gif";
    // A usable picture followed by padding: cut at 64 MiB it would still be read as a GIF.
    std::ofstream(mark, std::ios::binary)
        .write(reinterpret_cast<const char*>(kWatermarkGif), static_cast<std::streamsize>(kWatermarkGifSize));
    std::filesystem::resize_file(mark, (64u << 20) + 1);
    Child encoder({ORVANE_ENCODER_PATH, "-f", "testsrc", "-r", "15", "-vhook", "watermark -f " + mark,
                   "http://127.0.0.1:" + std::to_string(FreePort()) + "/feed.ffm"},
                  dir + "/stderr.txt");
    EXPECT_EQ(encoder.Wait(seconds(10)), 20) << "the encoder should refuse the watermark at once";
    std::stringstream said;
    said << std::ifstream(dir + "/stderr.txt").rdbuf();
    EXPECT_NE(said.str().find("64 MiB"), std::string::npos) << said.str();
    std::filesystem::remove_all(dir);
}

namespace {

// The real server on a free port, with the panel's configuration after `adjust`.
struct ServerUnderTest {
    std::string dir;
    uint16_t port = FreePort();
    std::unique_ptr<Child> server;

    explicit ServerUnderTest(const std::function<void(std::string&)>& adjust = nullptr) {
        char pattern[] = "/tmp/orvane-feed-XXXXXX";
        if (mkdtemp(pattern)) dir = pattern;
        StreamSettings settings;
        settings.port = port;
        std::string config = ToUtf8(FormatServerConfig(settings));
        if (adjust) adjust(config);
        std::ofstream(dir + "/orvane.conf") << config;
        server.reset(new Child({ORVANE_SERVER_PATH, "-f", dir + "/orvane.conf"}, dir + "/server.err"));
    }
    ~ServerUnderTest() {
        server.reset();
        if (!dir.empty()) std::filesystem::remove_all(dir);
    }
    FeedUrl Feed() const {
        FeedUrl url;
        url.host = "127.0.0.1";
        url.port = port;
        url.path = "/feed.ffm";
        return url;
    }
    // A raw connection, once the server listens.
    bool Hold(asio::ip::tcp::socket& socket) const {
        auto connected = [&] {
            asio::error_code ec;
            socket.close(ec);
            socket.connect(asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), port), ec);
            return !ec;
        };
        return WaitUntil(connected, seconds(10), milliseconds(50));
    }
    // What the server has said on standard error so far.
    std::string Said() const {
        std::ifstream in(dir + "/server.err");
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
};

}  // namespace

TEST(FeedClientWithTheServer, AFeedHeldByAnotherFeederIsRefusedUntilItIsFree) {
    ServerUnderTest server;
    asio::io_context io;
    asio::ip::tcp::socket holder(io);
    ASSERT_TRUE(server.Hold(holder));
    std::string head =
        "POST /feed.ffm HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n"
        "Content-Type: multipart/x-mixed-replace;boundary=b\r\n\r\n";
    asio::write(holder, asio::buffer(head));
    ASSERT_TRUE(WaitUntil([&] { return server.Said().find("feeder connected") != std::string::npos; }));

    std::atomic<bool> stop{false};
    StreamParameters p;
    std::string error;
    {
        FeedClient client(server.Feed(), stop, milliseconds(1500));
        auto start = steady_clock::now();
        EXPECT_FALSE(client.FetchParametersAndOpen(p, error));
        EXPECT_LT(duration_cast<milliseconds>(steady_clock::now() - start).count(), 2500);
        EXPECT_NE(error.find("409"), std::string::npos) << error;
    }
    holder.close();
    FeedClient client(server.Feed(), stop, seconds(5));
    ASSERT_TRUE(client.FetchParametersAndOpen(p, error)) << error;
    EXPECT_TRUE(client.Send({0xFF, 0xD8, 0xFF, 0xD9}, error)) << error;
}

TEST(FeedClientWithTheServer, ABusyServerIsWaitedFor) {
    ServerUnderTest server([](std::string& config) {
        size_t at = config.find("MaxHTTPConnections 2000");
        ASSERT_NE(at, std::string::npos);
        config.replace(at, 23, "MaxHTTPConnections 1");
    });
    asio::io_context io;
    asio::ip::tcp::socket idle(io);
    ASSERT_TRUE(server.Hold(idle));  // takes the only connection
    std::thread release([&] {
        std::this_thread::sleep_for(milliseconds(700));
        idle.close();
    });
    std::atomic<bool> stop{false};
    FeedClient client(server.Feed(), stop, seconds(5));
    StreamParameters p;
    std::string error;
    bool ok = client.FetchParametersAndOpen(p, error);
    release.join();
    ASSERT_TRUE(ok) << error;
    EXPECT_TRUE(client.Send({0xFF, 0xD8, 0xFF, 0xD9}, error)) << error;
}

// A feeder that went silent (here once told to continue, without sending a body) holds
// the feed only until the server lets it go: sooner than a restarted encoder waits for it.
TEST(FeedClientWithTheServer, ASilentFeederGivesWayToARestartedEncoder) {
    ServerUnderTest server;
    asio::io_context io;
    asio::ip::tcp::socket silent(io);
    ASSERT_TRUE(server.Hold(silent));
    std::string head =
        "POST /feed.ffm HTTP/1.1\r\nHost: x\r\nExpect: 100-continue\r\nTransfer-Encoding: chunked\r\n"
        "Content-Type: multipart/x-mixed-replace;boundary=b\r\n\r\n";
    asio::write(silent, asio::buffer(head));
    std::string answer;
    char buffer[256];
    asio::error_code ec;
    while (answer.find("\r\n\r\n") == std::string::npos && !ec)
        answer.append(buffer, silent.read_some(asio::buffer(buffer), ec));
    ASSERT_EQ(answer.compare(0, 25, "HTTP/1.1 100 Continue\r\n\r\n"), 0) << answer;

    std::atomic<bool> stop{false};
    FeedClient client(server.Feed(), stop);  // the encoder's own wait
    StreamParameters p;
    std::string error;
    ASSERT_TRUE(client.FetchParametersAndOpen(p, error)) << error;
    EXPECT_TRUE(client.Send({0xFF, 0xD8, 0xFF, 0xD9}, error)) << error;
}

// With a size limit no frame can meet, the encoder drops every frame; it still notices
// when the server lets its silent feed go (and connects again), and once no frame has
// got through for its wait it ends with the feed's failure code, saying why.
TEST(EncoderProgram, EndsWhenNoFrameFitsTheFeedInsteadOfDroppingForever) {
    ServerUnderTest server([](std::string& config) {
        size_t at = config.find("FileMaxSize 200K");
        ASSERT_NE(at, std::string::npos);
        config.replace(at, 16, "FileMaxSize 1K");
    });
    Child encoder({ORVANE_ENCODER_PATH, "-f", "testsrc", "-r", "15", "-i", "0", "-sameq",
                   "http://127.0.0.1:" + std::to_string(server.port) + "/feed.ffm"},
                  server.dir + "/encoder.err");
    // The wait is 20 s after the start; the server drops a silent feeder after 10 s.
    EXPECT_EQ(encoder.Wait(seconds(60)), encoder_exit::kFeedTooSmall) << "the encoder did not end by itself";
    std::ifstream in(server.dir + "/encoder.err");
    std::string said((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(said.find("no frame fits the feed's size limit of 1024 bytes"), std::string::npos) << said;
    std::string log = server.Said();
    size_t feeders = 0;
    for (size_t at = log.find("feeder connected"); at != std::string::npos; at = log.find("feeder connected", at + 1))
        ++feeders;
    EXPECT_GE(feeders, 2u) << "the encoder did not connect again after the server ended its feed\n" << log;
}
