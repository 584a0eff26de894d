#include "programs/server/message_throttle.h"

bool MessageThrottle::Allow(int64_t nowMs, uint64_t& held) {
    if (sent_ && nowMs - lastMs_ < intervalMs_) {
        ++held_;
        return false;
    }
    sent_ = true;
    lastMs_ = nowMs;
    held = TakeHeld();
    return true;
}

uint64_t MessageThrottle::TakeHeld() {
    uint64_t held = held_;
    held_ = 0;
    return held;
}

std::string HeldBackText(uint64_t held, const std::string& what) {
    return std::to_string(held) + " more " + what + " since the last message";
}

std::string HeldBackSuffix(uint64_t held, const std::string& what) {
    return held ? "; " + HeldBackText(held, what) : "";
}
