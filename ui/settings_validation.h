// The checks that Start applies to the five settings before anything is launched.
#pragma once
#include "backend/stream_settings.h"

extern const wchar_t kInvalidPortText[];
extern const wchar_t kInvalidFrameSizeText[];
extern const wchar_t kInvalidFrameRateText[];
extern const wchar_t kInvalidBitRateText[];

// The message of the first check that rejects (port, frame size, frame rate,
// bit rate, in that order), or nullptr when the settings may be started with.
const wchar_t* ValidateSettings(const StreamSettings& s);
