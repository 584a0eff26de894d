// The feed client's bounded waits: where each ends, and how messages tell their length.
#pragma once
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

// The pause between two attempts to reach the server.
constexpr std::chrono::milliseconds kRetryPause{250};

// "20 s", or "1.5 s" for the short waits of tests.
inline std::string WaitText(std::chrono::milliseconds wait) {
    char text[32];
    if (wait.count() % 1000 == 0)
        std::snprintf(text, sizeof text, "%lld s", static_cast<long long>(wait.count() / 1000));
    else std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(wait.count()) / 1000);
    return text;
}

// The end of a wait, and how long the whole wait is (for the messages).
struct Deadline {
    using Clock = std::chrono::steady_clock;
    Clock::time_point at;
    std::chrono::milliseconds whole;

    static Deadline After(std::chrono::milliseconds wait) { return Deadline{Clock::now() + wait, wait}; }
    // Each attempt's own time-out, never past the end of the wait.
    Clock::time_point Cap(std::chrono::milliseconds timeout) const { return std::min(Clock::now() + timeout, at); }
    // Whether a pause before the next attempt would end the wait.
    bool NoTimeForAnother() const { return Clock::now() + kRetryPause >= at; }
};
