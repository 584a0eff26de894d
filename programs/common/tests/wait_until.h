// Waiting in the native live tests: for what the test is about, never for a fixed time.
#pragma once
#include <chrono>
#include <thread>

// How long a live test waits for something that should happen: far more than a
// passing run needs, so that a loaded machine does not fail it; a wait that is met
// returns at once, so passing tests stay fast.
constexpr std::chrono::milliseconds kPatience{30000};

// Checks done() every `every` until it holds (true) or `timeout` has passed (false).
template <class Condition>
bool WaitUntil(Condition done, std::chrono::milliseconds timeout = kPatience,
               std::chrono::milliseconds every = std::chrono::milliseconds(10)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(every);
    }
    return true;
}
