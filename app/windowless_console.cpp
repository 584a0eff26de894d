#include "app/windowless_console.h"

#include <string>

#include "framework/handles.h"

namespace {

bool AllocWithoutWindow(const ConsoleSystem& system) {
    if (!system.allocConsoleWithOptions) return false;
    AllocConsoleOptions options = {};
    options.mode = kAllocConsoleModeNoWindow;
    int result = 0;
    // An existing console is no new one: as with AllocConsole, that is a failure.
    return SUCCEEDED(system.allocConsoleWithOptions(&options, &result)) && result == kAllocConsoleNewConsole;
}

// The helper's console exists only once the helper has started up, so joining it is
// tried for up to 2 s, and given up as soon as the helper has ended.
bool AttachToHelperConsole(const ConsoleSystem& system) {
    wchar_t systemDir[MAX_PATH];
    const UINT n = ::GetSystemDirectoryW(systemDir, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return false;
    // From the system folder only, never from a search path.
    const std::wstring helper = std::wstring(systemDir) + L"\\" + kConsoleHelper;
    std::wstring commandLine = L"\"" + helper + L"\"" + kConsoleHelperArguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!system.createProcess(helper.c_str(), &commandLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                              systemDir, &startup, &info))
        return false;
    fw::Handle process(info.hProcess), thread(info.hThread);
    bool attached = false;
    for (int i = 0; i < 200 && !attached; ++i) {
        attached = system.attachConsole(info.dwProcessId) != FALSE;
        if (!attached && system.waitForSingleObject(info.hProcess, 10) != WAIT_TIMEOUT) break;
    }
    // The console lives on with the panel attached to it.
    system.terminateProcess(info.hProcess, 0);
    return attached;
}

// The console window can take a moment to appear; it is hidden once it has. Wine and
// some terminals give no window at all, so the wait is bounded (2 s).
void HideConsoleWindow(const ConsoleSystem& system) {
    HWND console = system.getConsoleWindow();
    if (!console) return;
    for (int i = 0; i < 200 && !system.isWindowVisible(console); ++i) ::Sleep(10);
    system.showWindow(console, SW_HIDE);
}

}  // namespace

ConsoleSystem SystemConsole() {
    ConsoleSystem system;
    for (const wchar_t* module : {L"kernel32.dll", L"kernelbase.dll"}) {
        HMODULE m = ::GetModuleHandleW(module);
        FARPROC f = m ? ::GetProcAddress(m, "AllocConsoleWithOptions") : nullptr;
        if (!f) continue;
        system.allocConsoleWithOptions = reinterpret_cast<AllocConsoleWithOptionsFunction>(reinterpret_cast<void*>(f));
        break;
    }
    return system;
}

ConsoleMade MakeWindowlessConsole(const ConsoleSystem& system) {
    if (AllocWithoutWindow(system)) return ConsoleMade::WithoutWindow;
    if (AttachToHelperConsole(system)) return ConsoleMade::FromHelper;
    if (!system.allocConsole()) return ConsoleMade::None;
    HideConsoleWindow(system);
    return ConsoleMade::HiddenWindow;
}
