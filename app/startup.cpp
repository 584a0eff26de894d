// Start-up and shutdown of the panel.
#include <io.h>

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <share.h>
#include <string>

#include "app/streamer_app.h"
#include "app/windowless_console.h"
#include "backend/command_lines.h"
#include "common/product.h"
#include "framework/com.h"
#include "res/watermark.h"
#include "ui/control_panel_dlg.h"

namespace {

const wchar_t kMutexName[] = L"/orvane_mutex_9527";

bool ReportMissingProgram(const std::wstring& path) {
    if (_waccess(path.c_str(), 0) == 0) return true;
    wchar_t text[512];
    swprintf(text, 512, L"Error: Program files corrupted! Please re-install!\n%ls (%d)", path.c_str(), errno);
    fw::MessageBoxForApp(text);
    return false;
}

// The clean-up may run on the system's thread at log-off and again at the end of
// Startup; one at a time, and whatever it closes is closed once.
std::mutex g_cleanupLock;

// The end of the run: the clean-up, then the single-instance mutex goes. Startup runs
// it once the dialog has ended, before the dialog object goes; should an exception
// leave the dialog instead, the destructor runs it, so that no program is left
// running and no logo.gif behind.
class EndOfRun {
public:
    explicit EndOfRun(HANDLE& mutex) : m_mutex(mutex) {}
    ~EndOfRun() { Run(); }
    EndOfRun(const EndOfRun&) = delete;
    EndOfRun& operator=(const EndOfRun&) = delete;

    void Run() {
        if (m_done) return;
        m_done = true;
        ConsoleCtrlHandler(CTRL_SHUTDOWN_EVENT);
        if (m_mutex) ::CloseHandle(m_mutex);
        m_mutex = nullptr;
    }

private:
    HANDLE& m_mutex;
    bool m_done = false;
};

// <program folder>\logo.gif (the paths' check at construction covers it).
std::wstring WatermarkPath(const CStreamerApp& app) { return app.m_moduleDir + kWatermarkFile; }

// Another instance runs: its panel, even one hidden in the notification area, comes
// to the front (it may still be starting, without a panel yet).
void ShowRunningInstance() {
    if (HWND running = ::FindWindowW(nullptr, kProductTitle)) {
        ::ShowWindow(running, SW_SHOWNORMAL);
        ::SetForegroundWindow(running);
    }
}

// The firewall step, with COM up only around it. False when start-up ends here,
// its message shown.
bool AuthorizeWithCom(CStreamerApp& app) {
    ::CoInitialize(nullptr);
    bool authorized;
    try {
        authorized = app.AuthorizeInFirewall();
    } catch (const fw::ComError& e) {
        // Out of memory copying a string: end in order rather than crash.
        ::CoUninitialize();
        wchar_t text[128];
        swprintf(text, 128, L"Error: Out of memory! (0x%08lX)", static_cast<unsigned long>(e.hr));
        fw::MessageBoxForApp(text);
        return false;
    }
    ::CoUninitialize();
    return authorized;
}

}  // namespace

BOOL WINAPI ConsoleCtrlHandler(DWORD event) {
    // The console's closing ends the process once the handler returns, whatever it
    // answers: the run ends here, as at log-off, and the tray icon goes with it.
    if (event != CTRL_LOGOFF_EVENT && event != CTRL_SHUTDOWN_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
    CStreamerApp& app = App();
    std::lock_guard<std::mutex> lock(g_cleanupLock);
    if (event == CTRL_CLOSE_EVENT && app.MainWindow()) CControlPanelDlg::RemoveTrayIconOf(app.MainWindow());
    app.StopStreaming();
    // Nothing supervises the programs after this: they are seen to end here.
    app.FinishStopping();
    ::FreeConsole();
    if (FILE* logo = app.m_logoFile) {
        app.m_logoFile = nullptr;
        std::fclose(logo);
    }
    ::DeleteFileW(WatermarkPath(app).c_str());
    return TRUE;
}

bool CStreamerApp::Startup() {
    m_instanceMutex = ::CreateMutexW(nullptr, TRUE, kMutexName);
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        ShowRunningInstance();
        return false;
    }
    if (!m_pathsFit) {
        fw::MessageBoxForApp(
            L"Error: The program folder's path is too long!\n"
            L"Please install the program in a folder with a shorter path.");
        return false;
    }
    if (!ReportMissingProgram(m_encoderPath) || !ReportMissingProgram(m_serverPath)) return false;

    if (!AuthorizeWithCom(*this)) return false;

    // Three-dimensional control styling: every control has it on the systems we run on.
    fw::EnableThreeDimensionalControls();

    if (MakeWindowlessConsole(SystemConsole()) == ConsoleMade::None) {
        fw::MessageBoxForApp(L"Error: Environment init failed! (-1)");
        return false;
    }
    ::SetConsoleCtrlHandler(ConsoleCtrlHandler, TRUE);

    // No share restriction: the encoder reads the file while we hold it open.
    m_logoFile = _wfsopen(WatermarkPath(*this).c_str(), L"wbc", _SH_DENYNO);
    if (!m_logoFile) {
        fw::MessageBoxForApp(L"Error: Environment init failed! (-2)");
        ::FreeConsole();  // and nothing else: the mutex goes with the process
        return false;
    }
    EndOfRun endOfRun(m_instanceMutex);
    std::fwrite(kWatermarkGif, 1, kWatermarkGifSize, m_logoFile);
    std::fflush(m_logoFile);

    LoadServerConfig();
    // The dialog makes itself the main window while it exists.
    CControlPanelDlg dlg(nullptr);
    dlg.DoModal();
    endOfRun.Run();
    return false;
}
