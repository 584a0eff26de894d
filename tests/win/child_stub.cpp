// Stands in for server.dll and orvane.dll in tests. Beside its own path P it writes
// P.cmdline (its command line, UTF-16) and then: exits at once with code 3 if P.exit
// exists, else waits until P.quit appears or its stop request is set (at most 60 s)
// and exits with code 0. With P.deaf it does not watch the stop request. P.console
// says what console it runs in: "processes N window W", N the processes attached to
// it, W 1 when the console has a window (visible or not), else 0.
#include <windows.h>

#include <string>

#include "toolkit/fixed_values.h"

static bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

int wmain() {
    wchar_t self[MAX_PATH * 2] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH * 2);
    std::wstring base = self;
    const wchar_t* line = ::GetCommandLineW();
    HANDLE f = ::CreateFileW((base + L".cmdline.tmp").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    ::WriteFile(f, line, static_cast<DWORD>(wcslen(line) * sizeof(wchar_t)), &written, nullptr);
    ::CloseHandle(f);
    // Renamed into place so that a reader never sees half a line.
    ::MoveFileExW((base + L".cmdline.tmp").c_str(), (base + L".cmdline").c_str(), MOVEFILE_REPLACE_EXISTING);
    DWORD processes[16];
    const DWORD attached = ::GetConsoleProcessList(processes, 16);
    const std::string console = "processes " + std::to_string(attached) + " window " +
                                std::to_string(::GetConsoleWindow() != nullptr ? 1 : 0);
    f = ::CreateFileW((base + L".console").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                      nullptr);
    ::WriteFile(f, console.data(), static_cast<DWORD>(console.size()), &written, nullptr);
    ::CloseHandle(f);
    if (Exists(base + L".exit")) return 3;
    HANDLE request = nullptr;
    if (!Exists(base + L".deaf"))
        request = ::CreateEventW(nullptr, TRUE, FALSE,
                                 (fixed::kStopRequestPrefix + std::to_wstring(::GetCurrentProcessId())).c_str());
    for (int i = 0; i < 6000 && !Exists(base + L".quit"); ++i) {
        if (!request) ::Sleep(10);
        else if (::WaitForSingleObject(request, 10) == WAIT_OBJECT_0) break;
    }
    return 0;
}
