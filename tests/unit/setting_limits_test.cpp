// Every value at the edge of what the panel accepts, taken the whole way: the panel's
// checks, orvane.conf as the panel writes it, the server's reading of it, the stream
// parameters the server hands the encoder, and the encoder's reading of those and of
// its command line. What the panel accepts, both programs serve.
#include <gtest/gtest.h>

#include "backend/command_lines.h"
#include "backend/server_config.h"
#include "common/utf8.h"
#include "programs/common/arguments.h"
#include "programs/encoder/options.h"
#include "programs/encoder/stream_parameters.h"
#include "programs/server/config.h"
#include "programs/server/responses.h"
#include "ui/settings_validation.h"

TEST(SettingLimits, WhatThePanelAcceptsBothProgramsServe) {
    struct Case {
        StreamSettings settings;  // port, width, height, frame rate, bit rate
        const wchar_t* refusal;   // the panel's message, or null when it starts
    };
    const Case cases[] = {
        {{1, 0, 0, 15, 0}, nullptr},
        {{65535, 0, 0, 15, 0}, nullptr},
        {{65536, 0, 0, 15, 0}, kInvalidPortText},
        {{70000, 0, 0, 15, 0}, kInvalidPortText},
        {{80, 8, 8, 15, 0}, nullptr},
        {{80, 14, 14, 15, 0}, nullptr},
        {{80, 4096, 4096, 15, 0}, nullptr},
        {{80, 6, 8, 15, 0}, kInvalidFrameSizeText},
        {{80, 4098, 480, 15, 0}, kInvalidFrameSizeText},
        {{80, 640, 5000, 15, 0}, kInvalidFrameSizeText},
        {{80, 320, 240, 1, 0}, nullptr},
        {{80, 320, 240, 60, 0}, nullptr},
        {{80, 320, 240, 61, 0}, kInvalidFrameRateText},
        {{80, 320, 240, 15, 64}, nullptr},
        {{80, 320, 240, 15, 100000}, nullptr},
        {{80, 320, 240, 15, 100001}, kInvalidBitRateText},
        {{80, 320, 240, 15, -5}, nullptr},
    };
    for (const Case& c : cases) {
        const StreamSettings& s = c.settings;
        SCOPED_TRACE(testing::Message() << s.port << " " << s.width << "x" << s.height << " " << s.frameRate << " fps "
                                        << s.bitRate << " kbit/s");
        const wchar_t* refusal = ValidateSettings(s);
        EXPECT_EQ(refusal == nullptr ? L"" : refusal, std::wstring(c.refusal == nullptr ? L"" : c.refusal));
        if (refusal) continue;

        ServerConfig config;
        std::string error;
        ASSERT_TRUE(ParseServerConfig(ToUtf8(FormatServerConfig(s)), "orvane.conf", config, error)) << error;
        EXPECT_EQ(config.port, s.port);
        ASSERT_EQ(config.streams.size(), 1u);
        const StreamConfig& stream = config.streams[0];
        // The one viewer's stream fits the server's bandwidth.
        EXPECT_LE(stream.bitRate, config.maxBandwidthKbps);

        StreamParameters params;
        ASSERT_TRUE(ParseStreamParameters(FeedParameters(config.feeds[0], &stream), params, error)) << error;
        EXPECT_EQ(params.width, s.width == 0 || s.height == 0 ? 0 : s.width);
        EXPECT_EQ(params.height, s.width == 0 || s.height == 0 ? 0 : s.height);
        EXPECT_EQ(params.frameRate, s.frameRate);
        EXPECT_EQ(params.bitRate, s.bitRate > 0 ? s.bitRate * 1000LL : 0);

        EncoderOptions options;
        std::wstring problem;
        std::wstring line = EncoderCommandLine(L"C:\\Cam\\orvane.dll", L"C:\\Cam", s.frameRate, s.bitRate, s.port);
        ASSERT_TRUE(ParseEncoderOptions(ProgramArguments(line, L"C:\\Cam\\orvane.dll"), options, problem))
            << ToUtf8(problem);
        EXPECT_EQ(options.frameRate, s.frameRate);
        EXPECT_EQ(options.output.port, s.port);
    }
}
