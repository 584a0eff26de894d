// The one application object: paths, committed settings, the two process records,
// the open watermark file and the single-instance mutex, for the whole run.
#pragma once
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <cstdio>
#include <mutex>

#include "backend/stream_settings.h"
#include "framework/app_base.h"
#include "framework/handles.h"

// What the application asks of the system where tests need to watch: they replace
// these to count Ctrl+Break signals and terminations, to set the clock that times a
// stop, and to hand out fake firewall objects.
struct ProcessSystem {
    decltype(&::CreateProcessW) createProcess = ::CreateProcessW;
    decltype(&::GenerateConsoleCtrlEvent) generateConsoleCtrlEvent = ::GenerateConsoleCtrlEvent;
    decltype(&::TerminateProcess) terminateProcess = ::TerminateProcess;
    decltype(&::GetTickCount64) tickCount = ::GetTickCount64;
    decltype(&::CoCreateInstance) coCreateInstance = ::CoCreateInstance;
    // The tray icon's records: tests see every add, balloon and delete.
    decltype(&::Shell_NotifyIconW) shellNotifyIcon = ::Shell_NotifyIconW;
};

// A program that ended while nobody had asked it to, as the reap found it.
struct UnaskedEnd {
    bool ended = false;
    DWORD exitCode = 0;
};

// How far the panel has gone in ending one program it asked to stop: Ctrl+Break, then
// the program's stop request, then termination (process_control.cpp says when).
struct ProgramStop {
    enum class Step { None, Signalled, Requested, Terminated };
    DWORD processId = 0;  // the program the steps are about; another one starts afresh
    Step step = Step::None;
    ULONGLONG since = 0;  // when the step was taken
    fw::Handle request;   // the program's stop request, kept until the program is reaped
};

class CStreamerApp : public fw::AppBase {
public:
    CStreamerApp();
    // Same, as if the executable were modulePath (tests place it where they like).
    explicit CStreamerApp(const wchar_t* modulePath);

    bool Startup() override;
    // Admits both programs in the firewall's current profile. False only when the
    // firewall is on and allows no exceptions (after telling the user).
    bool AuthorizeInFirewall();

    // Configuration file orvane.conf in the program directory.
    int SaveServerConfig();
    void LoadServerConfig();

    // The two streaming programs. A stop asks; the supervision tick's reap carries a
    // program that has not ended on to its stop request and then to termination.
    DWORD StartStreaming();
    DWORD StopStreaming();
    void ReapProcesses();
    // At the end of the run, with no tick to come: every program still running gets its
    // stop request at once, a few seconds to end, and is terminated after that.
    void FinishStopping();
    // The program whose end nobody asked for since the last start (the server first,
    // whose end usually ends the encoder too), with its exit code; false when none.
    // Each end is told once.
    bool TakeUnaskedEnd(bool& server, DWORD& exitCode);

    StreamSettings m_settings;
    FILE* m_logoFile = nullptr;
    wchar_t m_moduleDir[MAX_PATH];
    wchar_t m_encoderPath[MAX_PATH];
    wchar_t m_serverPath[MAX_PATH];
    PROCESS_INFORMATION m_serverProcess;
    PROCESS_INFORMATION m_encoderProcess;
    HANDLE m_instanceMutex = nullptr;

    // False when the executable's directory is too long for our paths: start-up refuses.
    bool m_pathsFit = false;
    ProcessSystem m_processSystem;

private:
    void Init(const wchar_t* modulePath);

    ProgramStop m_serverStop;
    ProgramStop m_encoderStop;
    UnaskedEnd m_serverEnd;
    UnaskedEnd m_encoderEnd;
    // The stop runs on the system's thread at log-off too, beside the main thread's reap.
    std::mutex m_stopLock;
};

// The running application object.
CStreamerApp& App();

// The clean-up at log-off and shutdown, when the console closes (which also removes
// the tray icon) and at the end of the run: stops the programs, frees the console,
// closes and deletes logo.gif. Other events: FALSE.
BOOL WINAPI ConsoleCtrlHandler(DWORD event);
