// The words for each exit code of the two programs: the right part named, the port or
// the directive filled in, everything within the balloon's fields, and a code of no
// reason told as an unexpected end with its number.
#include "ui/stop_reasons.h"

#include <gtest/gtest.h>

#include "common/exit_reasons.h"

namespace {

bool Has(const std::wstring& text, const wchar_t* part) { return text.find(part) != std::wstring::npos; }

}  // namespace

TEST(StopReasons, EveryExitCodeHasWordsThatFitTheBalloon) {
    const auto S = StreamingProgram::Server;
    const auto E = StreamingProgram::Encoder;
    struct Case {
        StreamingProgram program;
        uint32_t code;
        int32_t port;
        const wchar_t* says;  // a part of the text that carries the reason
    };
    const Case cases[] = {
        {S, server_exit::kPortInUse, 80, L"Port 80 is used by another program"},
        {S, server_exit::kPortInUse, 8080, L"such as 8081"},
        {S, server_exit::kPortForbidden, 2869, L"use port 2869"},
        {S, server_exit::kCannotListen, 81, L"port 81"},
        {S, server_exit::kConfigMissing, 80, L"cannot read its settings file orvane.conf"},
        {S, server_exit::kConfigInvalid, 80, L"orvane.conf"},
        {S, server_exit::kLogFile, 80, L"access log"},
        {S, server_exit::kBadValueBase + 12, 80, L"value of VideoSize"},
        {S, server_exit::kBadValueBase + kValueDirectiveCount - 1, 80, L"value of VideoBitRateTolerance"},
        {S, server_exit::kCommandLine, 80, L"stream server ended unexpectedly (exit code 1)"},
        {S, server_exit::kBadValueBase + kValueDirectiveCount, 80, L"ended unexpectedly (exit code 115)"},
        {S, 0xC0000005u, 80, L"stream server ended unexpectedly (exit code 0xC0000005)"},
        {E, encoder_exit::kCameraBusy, 80, L"another program may be using it"},
        {E, encoder_exit::kNoCamera, 80, L"No camera"},
        {E, encoder_exit::kCameraFormat, 80, L"format"},
        {E, encoder_exit::kNoPicture, 80, L"sent no picture"},
        {E, encoder_exit::kCameraGone, 80, L"unplugged"},
        {E, encoder_exit::kDriverHung, 80, L"driver stopped responding"},
        {E, encoder_exit::kCameraFailed, 80, L"camera stopped working"},
        {E, encoder_exit::kFeedUnreachable, 8089, L"server on port 8089"},
        {E, encoder_exit::kFeedLost, 8089, L"server on port 8089 stopped"},
        {E, encoder_exit::kFeedTooSmall, 80, L"FileMaxSize"},
        {E, encoder_exit::kWatermark, 80, L"logo.gif"},
        {E, encoder_exit::kStopped, 80, L"camera encoder ended unexpectedly (exit code 0)"},
        {E, 0xC000013Au, 80, L"(exit code 0xC000013A)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.program == S ? "server " : "encoder ") << c.code);
        StopReason r = StopReasonFor(c.program, c.code, c.port);
        EXPECT_EQ(r.title, c.program == S ? L"The stream server stopped" : L"The camera encoder stopped");
        EXPECT_TRUE(Has(r.text, c.says)) << std::string(r.text.begin(), r.text.end());
        EXPECT_LE(r.title.size(), kMaxStopTitle);
        EXPECT_LE(r.text.size(), kMaxStopText);
        // Every reason says what to do.
        EXPECT_TRUE(Has(r.text, L"Start")) << std::string(r.text.begin(), r.text.end());
    }
}
