// What the panel tells the user when a streaming program ended without being asked:
// a short title saying which part stopped, and the program's reason (its exit code,
// common/exit_reasons.h) in plain words with what to do. Both fit the tray balloon.
#pragma once
#include <cstdint>
#include <string>

enum class StreamingProgram { Server, Encoder };

struct StopReason {
    std::wstring title;  // at most kMaxStopTitle characters
    std::wstring text;   // at most kMaxStopText characters
};

// The balloon's fields hold 64 and 256 characters with the terminator.
constexpr size_t kMaxStopTitle = 63;
constexpr size_t kMaxStopText = 255;

// The reason for `exitCode`; `port` is the server's port as the panel started it.
StopReason StopReasonFor(StreamingProgram program, uint32_t exitCode, int32_t port);
