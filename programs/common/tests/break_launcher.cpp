// Test launcher for the streaming programs under Wine: starts one as the panel does (own
// path unquoted, a new process group) with the arguments read from a file, and when the
// file "stop" appears in the program's folder delivers Ctrl+Break as often as the panel
// sends it (twice to the encoder, once to the server), and reports how the program
// ended: "exit <code> <milliseconds>", or "ended early with <code>".
//
// Wine 8 does not implement GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT), so the event is
// delivered the way the system does it: a thread in the target process at kernelbase's
// CtrlRoutine with the event as argument. Test only.
#include <windows.h>

#include <cstdio>
#include <string>

#include "common/utf8.h"
#include "common/whole_file.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 5) {
        std::fprintf(stderr,
                     "usage: break_launcher <program folder> <program file> <file with the arguments> "
                     "<number of Ctrl+Breaks>\n");
        return 2;
    }
    std::wstring dir = argv[1];
    const int breaks = _wtoi(argv[4]);
    // A command line has at most 32767 characters.
    std::string args;
    if (ReadWholeFile(argv[3], 1u << 16, args) != ReadResult::Ok) {
        std::printf("cannot read the arguments from %ls\n", argv[3]);
        return 2;
    }
    while (!args.empty() && (args.back() == '\n' || args.back() == '\r')) args.pop_back();
    std::wstring commandLine = dir + L"\\" + argv[2] + L" " + FromUtf8(args);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_NEW_PROCESS_GROUP, nullptr, nullptr,
                        &si, &pi)) {
        std::printf("cannot start: %lu\n", GetLastError());
        return 1;
    }
    CloseHandle(pi.hThread);
    std::printf("started %lu\n", pi.dwProcessId);
    std::fflush(stdout);

    std::wstring stopFile = dir + L"\\stop";
    while (GetFileAttributesW(stopFile.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (WaitForSingleObject(pi.hProcess, 50) == WAIT_OBJECT_0) {
            DWORD code = 0;
            GetExitCodeProcess(pi.hProcess, &code);
            std::printf("ended early with %lu\n", code);
            return 1;
        }
    }
    auto routine = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernelbase.dll"), "CtrlRoutine")));
    if (!routine) {
        std::printf("no CtrlRoutine\n");
        TerminateProcess(pi.hProcess, 99);
        return 1;
    }
    DWORD start = GetTickCount();
    for (int i = 0; i < breaks; ++i) {
        HANDLE thread = CreateRemoteThread(pi.hProcess, nullptr, 0, routine, reinterpret_cast<void*>(CTRL_BREAK_EVENT),
                                           0, nullptr);
        if (!thread) {
            std::printf("no remote thread: %lu\n", GetLastError());
            TerminateProcess(pi.hProcess, 99);
            return 1;
        }
        CloseHandle(thread);
    }
    DWORD waited = WaitForSingleObject(pi.hProcess, 10000);
    DWORD elapsed = GetTickCount() - start;
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    if (waited != WAIT_OBJECT_0) {
        TerminateProcess(pi.hProcess, 99);
        std::printf("did not end\n");
        return 1;
    }
    std::printf("exit %lu %lu\n", code, elapsed);
    CloseHandle(pi.hProcess);
    return 0;
}
