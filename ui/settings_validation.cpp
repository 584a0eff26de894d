#include "ui/settings_validation.h"

#include "common/setting_limits.h"

const wchar_t kInvalidPortText[] = L"Invalid Server Port (should be from 1 to 65535)";
const wchar_t kInvalidFrameSizeText[] = L"Invalid Frame Size (should be greater than 8 and be even numbers)";
const wchar_t kInvalidFrameRateText[] = L"Invalid Frame Rate (should be from 1 to 60)";
const wchar_t kInvalidBitRateText[] = L"Invalid Bit Rate (should be 0 or greater than 64Kbps)";

namespace {

// 0 means "no resize"; anything else must be an even size the encoder can encode
// (8 passes, whatever the message says).
bool BadSide(int32_t v) { return v != 0 && !kFrameSideRange.Holds(v); }
bool Odd(int32_t v) { return v % 2 != 0; }

}  // namespace

const wchar_t* ValidateSettings(const StreamSettings& s) {
    // No program can listen above the last port: refused here rather than by the server.
    if (!kPortRange.Holds(s.port)) return kInvalidPortText;
    if (BadSide(s.width) || BadSide(s.height) || Odd(s.width) || Odd(s.height)) return kInvalidFrameSizeText;
    if (!kFrameRateRange.Holds(s.frameRate)) return kInvalidFrameRateText;
    // Zero lets the encoder choose; a negative rate is let through, as it writes no rate at
    // all. Above the server's bandwidth no viewer could be served.
    if (s.bitRate > 0 && !kBitRateRange.Holds(s.bitRate)) return kInvalidBitRateText;
    return nullptr;
}
