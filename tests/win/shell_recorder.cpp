// Stands in for the browser and the mail program in the test prefix: the shell opens
// pages and mailto: links with it (see wintest::ShellRecorder), and it appends what it
// was given, one line each, to the file named by ORVANE_SHELL_LOG, then exits.
#include <windows.h>
#include <shellapi.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    wchar_t log[MAX_PATH] = {};
    if (!::GetEnvironmentVariableW(L"ORVANE_SHELL_LOG", log, MAX_PATH)) return 1;
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (!argv) return 1;
    // Recorders started together append one after the other; a reader may look meanwhile.
    HANDLE turn = ::CreateMutexW(nullptr, FALSE, L"orvane-shell-recorder");
    ::WaitForSingleObject(turn, INFINITE);
    HANDLE file = ::CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        for (int i = 1; i < argc; ++i) {
            std::wstring line = std::wstring(argv[i]) + L"\n";
            DWORD written = 0;
            ::WriteFile(file, line.data(), static_cast<DWORD>(line.size() * sizeof(wchar_t)), &written, nullptr);
        }
        ::CloseHandle(file);
    }
    ::ReleaseMutex(turn);
    ::CloseHandle(turn);
    ::LocalFree(argv);
    return file != INVALID_HANDLE_VALUE ? 0 : 1;
}
