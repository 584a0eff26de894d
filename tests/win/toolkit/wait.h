// Waiting in the Windows tests: for what the test is about, never for a fixed time.
#pragma once
#include <windows.h>

namespace wintest {

// How long a test waits for something that should happen: far more than any passing
// run needs, so that a loaded machine does not fail a test; a wait that is met
// returns at once, so passing tests stay fast.
constexpr DWORD kPatience = 30000;

// Checks done() every 10 ms until it holds (true) or timeoutMs have passed (false).
template <class Condition>
bool WaitUntil(Condition done, DWORD timeoutMs = kPatience) {
    const ULONGLONG start = ::GetTickCount64();
    while (!done()) {
        if (::GetTickCount64() - start > timeoutMs) return false;
        ::Sleep(10);
    }
    return true;
}

}  // namespace wintest
