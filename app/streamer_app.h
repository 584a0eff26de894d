// The one application object: paths, committed settings, the two process records,
// the open watermark file and the single-instance mutex, for the whole run.
#pragma once
#include <windows.h>
#include <objbase.h>

#include <cstdio>

#include "backend/stream_settings.h"
#include "framework/app_base.h"

// What the application asks of the system where tests need to watch: they replace
// these to count Ctrl+Break signals and to hand out fake firewall objects.
struct ProcessSystem {
    decltype(&::CreateProcessW) createProcess = ::CreateProcessW;
    decltype(&::GenerateConsoleCtrlEvent) generateConsoleCtrlEvent = ::GenerateConsoleCtrlEvent;
    decltype(&::CoCreateInstance) coCreateInstance = ::CoCreateInstance;
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

    // The two streaming programs.
    DWORD StartStreaming();
    DWORD StopStreaming();
    void ReapProcesses();

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
};

// The running application object.
CStreamerApp& App();

// The clean-up at log-off and shutdown (and at the end of the run): stops the
// programs, frees the console, closes and deletes logo.gif. Other events: FALSE.
BOOL WINAPI ConsoleCtrlHandler(DWORD event);
