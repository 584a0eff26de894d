// Lets one message of a kind through per interval and counts the ones held
// back, so that a peer that provokes a message per part cannot flood the output.
#pragma once
#include <cstdint>
#include <string>

class MessageThrottle {
public:
    explicit MessageThrottle(int64_t intervalMs = 1000) : intervalMs_(intervalMs) {}

    // True when a message may go out now; held is then set to how many were
    // held back since the last one that went out. False counts one more held back.
    bool Allow(int64_t nowMs, uint64_t& held);
    // How many were held back since the last one that went out; resets the count.
    uint64_t TakeHeld();

private:
    int64_t intervalMs_;
    bool sent_ = false;
    int64_t lastMs_ = 0;
    uint64_t held_ = 0;
};

// How a message tells what was held back: "<held> more <what> since the last message".
std::string HeldBackText(uint64_t held, const std::string& what);
// The same after "; ", to end a message that went out; "" when none were held back.
std::string HeldBackSuffix(uint64_t held, const std::string& what);
