// The encoder's command line as the panel writes it, and what is refused.
#include <gtest/gtest.h>

#include "backend/command_lines.h"
#include "programs/common/arguments.h"
#include "programs/encoder/options.h"
#include "programs/encoder/stream_parameters.h"

using Words = std::vector<std::wstring>;

TEST(EncoderOptions, PanelCommandLinesRoundTripTheProgramFolder) {
    for (const std::wstring dir : {L"C:\\Program Files\\Cam", L"C:\\A  B\\C", L"C:\\Cam", L"D:\\x   y z\\ end "}) {
        std::wstring escaped;
        ASSERT_TRUE(EscapeSpaceRuns(dir, escaped));
        std::wstring self = dir + L"\\orvane.dll";
        for (int bitRate : {0, 300}) {
            std::wstring line = EncoderCommandLine(self, escaped, 15, bitRate, 8080);
            EncoderOptions o;
            std::wstring error;
            ASSERT_TRUE(ParseEncoderOptions(ProgramArguments(line, self), o, error)) << error << "\n" << line;
            EXPECT_EQ(o.format, L"vfwcap");
            EXPECT_EQ(o.frameRate, 15);
            EXPECT_EQ(o.device, 0);
            EXPECT_EQ(o.sameQuality, bitRate == 0);
            EXPECT_TRUE(o.watermark);
            EXPECT_EQ(o.watermarkPath, dir + L"\\logo.gif") << line;
            EXPECT_EQ(o.watermarkMode, 0);
            EXPECT_EQ(o.output.host, "localhost");
            EXPECT_EQ(o.output.port, 8080);
            EXPECT_EQ(o.output.path, "/feed.ffm");
        }
    }
}

TEST(EncoderOptions, HookWordsKeepEscapedSpaceRuns) {
    EXPECT_EQ(SplitHookWords(L"watermark -f C:\\Program\\ Files\\Cam\\logo.gif"),
              (Words{L"watermark", L"-f", L"C:\\Program Files\\Cam\\logo.gif"}));
    EXPECT_EQ(SplitHookWords(L"  a\\  b   c\\d \\"), (Words{L"a  b", L"c\\d", L"\\"}));
    EXPECT_EQ(SplitHookWords(L"x\\ "), (Words{L"x "}));
    EXPECT_EQ(SplitHookWords(L"   "), Words{});
}

TEST(EncoderOptions, AcceptsTheOtherForms) {
    EncoderOptions o;
    std::wstring error;
    ASSERT_TRUE(ParseEncoderOptions({L"-r", L"30000/1001", L"-f", L"testsrc", L"-vhook",
                                     L"/usr/lib/vhook/watermark.so -m 1 -t 102030 -f /tmp/a", L"http://[::1]:81/x.ffm"},
                                    o, error))
        << error;
    EXPECT_EQ(o.format, L"testsrc");
    EXPECT_NEAR(o.frameRate, 29.97, 0.01);
    EXPECT_EQ(o.watermarkMode, 1);
    EXPECT_EQ(o.watermarkThreshold, 0x102030u);
    EXPECT_EQ(o.watermarkPath, L"/tmp/a");
    // An unescaped space ends the word, so a stray "b.gif" is an error:
    EXPECT_FALSE(ParseEncoderOptions({L"-vhook", L"watermark -f a b.gif", L"http://h/f"}, o, error));
    ASSERT_TRUE(ParseEncoderOptions({L"-r", L"7.5", L"http://[::1]:81/x.ffm"}, o, error)) << error;
    EXPECT_EQ(o.output.host, "::1");
    EXPECT_EQ(o.output.port, 81);
    EXPECT_FALSE(o.watermark);
}

TEST(EncoderOptions, RefusesWhatItDoesNotKnow) {
    const std::wstring url = L"http://localhost:80/feed.ffm";
    const std::vector<std::pair<Words, std::wstring>> cases = {
        {{L"-s", L"640x480", url}, L"-s"},
        {{L"-f", L"v4l2", url}, L"v4l2"},
        {{L"-r", L"0", url}, L"0"},
        {{L"-r", L"abc", url}, L"abc"},
        {{L"-i", L"10", url}, L"10"},
        {{L"-i", L"x", url}, L"x"},
        {{url, L"-r"}, L"-r"},
        {{L"-vhook", L"drawtext -f x", url}, L"drawtext"},
        {{L"-vhook", L"watermark", url}, L"-f PATH"},
        {{L"-vhook", L"watermark -f", url}, L"-f"},
        {{L"-vhook", L"watermark -f a -m 2", url}, L"2"},
        {{L"-vhook", L"watermark -f a -t 12345G", url}, L"12345G"},
        // The C library's number parsers take a sign (and the colour would wrap around).
        {{L"-vhook", L"watermark -f a -t -00001", url}, L"-00001"},
        {{L"-vhook", L"watermark -f a -t +12345", url}, L"+12345"},
        {{L"-vhook", L"watermark -f a -m +1", url}, L"+1"},
        {{L"-i", L"-0", url}, L"-0"},
        {{L"-r", L"+15", url}, L"+15"},
        {{L"-r", L"+30000/1001", url}, L"+30000/1001"},
        {{L"http://h:+80/f"}, L"+80"},
        {{L"-vhook", L"watermark -x a -f b", url}, L"-x"},
        {{L"ftp://h/f"}, L"ftp://h/f"},
        {{L"http://h:99999/f"}, L"99999"},
        {{L"http://:80/f"}, L"http://:80/f"},
        // Malformed hosts are refused, not looked up.
        {{L"http://[::1/feed.ffm"}, L"[::1"},
        {{L"http://::1]/feed.ffm"}, L"::1]"},
        {{L"http://[::1]x/feed.ffm"}, L"[::1]x"},
        {{L"http://[localhost]/feed.ffm"}, L"[localhost]"},
        {{L"http://h[1]/feed.ffm"}, L"h[1]"},
        {{L"http://user@h/feed.ffm"}, L"user@h"},
        {{L"http://h:80:81/feed.ffm"}, L"80:81"},
        {{url, url}, L"more than one"},
        {{L"-sameq"}, L"no output"},
    };
    for (const auto& c : cases) {
        EncoderOptions o;
        std::wstring error;
        EXPECT_FALSE(ParseEncoderOptions(c.first, o, error)) << c.second;
        EXPECT_NE(error.find(c.second), std::wstring::npos)
            << "message '" << std::string(error.begin(), error.end()) << "' should name the culprit";
    }
}

TEST(StreamParameters, ReadsTheServersDirectives) {
    StreamParameters p;
    std::string error;
    ASSERT_TRUE(
        ParseStreamParameters("VideoFrameRate 15\r\nFileMaxSize 204800\r\nVideoSize 320x240\r\n"
                              "VideoBitRate 300\r\nVideoBitRateTolerance 50\r\nFeed feed.ffm\r\n",
                              p, error))
        << error;
    EXPECT_EQ(p.frameRate, 15);
    EXPECT_EQ(p.fileMaxSize, 204800);
    EXPECT_EQ(p.width, 320);
    EXPECT_EQ(p.height, 240);
    EXPECT_EQ(p.bitRate, 300000);
    EXPECT_EQ(p.bitRateTolerance, 50000);
    ASSERT_TRUE(ParseStreamParameters("videosize vga\nFileMaxSize 200K\n", p, error)) << error;
    EXPECT_EQ(p.width, 640);
    EXPECT_EQ(p.fileMaxSize, 200000);
    EXPECT_EQ(p.bitRate, 0);  // not given: no bit rate
    // Every size name the server's configuration knows, within the same bounds as numbers.
    ASSERT_TRUE(ParseStreamParameters("VideoSize HD720\n", p, error)) << error;
    EXPECT_EQ(p.width, 1280);
    EXPECT_EQ(p.height, 720);
    for (const char* bad : {"VideoSize 10x10000\n", "VideoSize big\n", "VideoSize hsxga\n", "VideoBitRate -3\n",
                            "FileMaxSize 2Q\n", "VideoFrameRate 0\n"})
        EXPECT_FALSE(ParseStreamParameters(bad, p, error)) << bad;
}
