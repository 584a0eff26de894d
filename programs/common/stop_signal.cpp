#include "programs/common/stop_signal.h"

#include <atomic>
#include <thread>
#include <utility>

#ifdef _WIN32
#include <windows.h>

#include "common/stop_request.h"
#else
#include <pthread.h>
#include <signal.h>
#endif

namespace {

std::function<void()>& StopCallback() {
    static std::function<void()> callback;
    return callback;
}
std::atomic<bool> g_stopped{false};

void RunStopOnce() {
    if (!g_stopped.exchange(true) && StopCallback()) StopCallback()();
}

#ifdef _WIN32
BOOL WINAPI ConsoleHandler(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT: RunStopOnce(); return TRUE;
    default: return FALSE;
    }
}

// Where the panel cannot deliver Ctrl+Break it sets our stop request instead. The panel
// makes it before we run (and refuses a name someone else holds), so here we open its;
// started otherwise, we make it. A request set before we got here is still seen, since
// the panel keeps its handle until we have ended.
void WatchStopRequest() {
    HANDLE request = ::CreateEventW(nullptr, TRUE, FALSE, StopRequestName(::GetCurrentProcessId()).c_str());
    if (!request) return;
    std::thread([request] {
        if (::WaitForSingleObject(request, INFINITE) == WAIT_OBJECT_0) RunStopOnce();
        ::CloseHandle(request);
    }).detach();
}
#endif

}  // namespace

void InstallStopHandler(std::function<void()> onStop) {
    StopCallback() = std::move(onStop);
#ifdef _WIN32
    // A new process group starts with Ctrl+C ignored; undo that, or events are dropped.
    ::SetConsoleCtrlHandler(nullptr, FALSE);
    ::SetConsoleCtrlHandler(ConsoleHandler, TRUE);
    WatchStopRequest();
#else
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread([set] {
        int sig = 0;
        sigwait(&set, &sig);
        RunStopOnce();
    }).detach();
#endif
}
