// The one application object: paths, committed settings, the two programs' supervisor,
// the open watermark file and the single-instance mutex, for the whole run.
#pragma once
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

#include "backend/program_supervisor.h"
#include "backend/stream_settings.h"
#include "framework/app_base.h"

// What the application asks of the system where tests need to watch: the supervisor's
// seams (backend/program_supervisor.h), and the firewall objects and the tray icon's
// records (tests hand out fake firewall objects and see every add, balloon and delete).
struct ProcessSystem : ProgramSystem {
    decltype(&::CoCreateInstance) coCreateInstance = ::CoCreateInstance;
    decltype(&::Shell_NotifyIconW) shellNotifyIcon = ::Shell_NotifyIconW;
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

    // The two streaming programs, through m_programs. A stop asks; the supervision
    // tick's reap carries a program that has not ended on to its stop request and then
    // to termination.
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
    // At most 259 characters each, or m_pathsFit is false.
    std::wstring m_moduleDir;  // no trailing backslash; "C:" for a drive root
    std::wstring m_encoderPath;
    std::wstring m_serverPath;
    HANDLE m_instanceMutex = nullptr;

    // False when the executable's directory is too long for our paths: start-up refuses.
    bool m_pathsFit = false;
    ProcessSystem m_processSystem;
    // The server's and the encoder's records.
    ProgramSupervisor m_programs{m_processSystem};

private:
    void Init(const wchar_t* modulePath);
};

// The running application object.
CStreamerApp& App();

// The clean-up at log-off and shutdown, when the console closes (which also removes
// the tray icon) and at the end of the run: stops the programs, frees the console,
// closes and deletes logo.gif. Other events: FALSE.
BOOL WINAPI ConsoleCtrlHandler(DWORD event);
