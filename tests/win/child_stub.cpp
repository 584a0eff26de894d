// Stands in for server.dll and orvane.dll in tests. Beside its own path P it writes
// P.cmdline (its command line, UTF-16) and then: exits at once with code 3 if P.exit
// exists, else waits until P.quit appears (at most 60 s) and exits with code 0.
#include <windows.h>

#include <string>

static bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

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
    if (Exists(base + L".exit")) return 3;
    for (int i = 0; i < 6000 && !Exists(base + L".quit"); ++i) ::Sleep(10);
    return 0;
}
