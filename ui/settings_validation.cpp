#include "ui/settings_validation.h"

const wchar_t kInvalidPortText[] = L"Invalid Server Port (should be 1 or greater)";
const wchar_t kInvalidFrameSizeText[] = L"Invalid Frame Size (should be greater than 8 and be even numbers)";
const wchar_t kInvalidFrameRateText[] = L"Invalid Frame Rate (should be from 1 to 60)";
const wchar_t kInvalidBitRateText[] = L"Invalid Bit Rate (should be 0 or greater than 64Kbps)";

namespace {

// 0 means "no resize"; anything else must be an even size of at least 8 (8 passes,
// whatever the message says).
bool TooSmall(int32_t v) { return v < 8 && v != 0; }
bool Odd(int32_t v) { return v % 2 != 0; }

}  // namespace

const wchar_t* ValidateSettings(const StreamSettings& s) {
    if (s.port < 1) return kInvalidPortText;
    if (TooSmall(s.width) || TooSmall(s.height) || Odd(s.width) || Odd(s.height)) return kInvalidFrameSizeText;
    if (s.frameRate < 1 || s.frameRate > 60) return kInvalidFrameRateText;
    // Zero lets the encoder choose; a negative rate is let through, as it writes no rate at all.
    if (s.bitRate >= 1 && s.bitRate <= 63) return kInvalidBitRateText;
    return nullptr;
}
