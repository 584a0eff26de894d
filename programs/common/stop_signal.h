// Ending a streaming program cleanly: Ctrl+Break and Ctrl+C on Windows (the panel
// sends Ctrl+Break) and the program's stop request (common/stop_request.h), SIGINT and
// SIGTERM natively.
#pragma once
#include <functional>

// Installs the handlers; onStop runs once, on a thread of its own, at the first
// stop request. Call before starting other threads (natively, the signals are
// blocked in the calling thread and its future threads and waited for by one).
void InstallStopHandler(std::function<void()> onStop);
