// The application base: one object per process, with a start-up hook that the
// entry point calls, and the title that captions every message box.
#pragma once
#include <windows.h>
#include <string>

namespace fw {

class AppBase {
public:
    AppBase();
    virtual ~AppBase();
    AppBase(const AppBase&) = delete;
    AppBase& operator=(const AppBase&) = delete;

    // Returns true to run a message loop of the framework's own afterwards.
    virtual bool Startup() = 0;
    // Commands that reach the application rather than a window.
    virtual bool OnAppCommand(UINT id);

    static AppBase* Current() { return s_current; }
    HINSTANCE Instance() const { return ::GetModuleHandleW(nullptr); }
    // The executable's file name without its extension.
    const std::wstring& Title() const;
    HWND MainWindow() const { return m_mainWindow; }
    void SetMainWindow(HWND wnd) { m_mainWindow = wnd; }

    // Called by wWinMain: Startup, then the loop if Startup asked for one. An exception
    // out of Startup is reported and ends the run with 1.
    int Run();

protected:
    // Hands help to WinHelp with a file named like the executable, ".HLP".
    void OnHelp();

private:
    static AppBase* s_current;
    mutable std::wstring m_title;
    HWND m_mainWindow = nullptr;
};

// Three-dimensional styling of dialog controls. Every Windows we run on draws controls
// that way by itself, so there is nothing left to switch on; the start-up step stays.
inline void EnableThreeDimensionalControls() {}

int MessageBoxForApp(const wchar_t* text, UINT type = MB_ICONERROR);

// The running executable's file name without its extension (the application's title).
std::wstring ExecutableTitle();

}  // namespace fw
