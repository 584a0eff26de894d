// Drives a running panel from outside, as a user would: used by `make run` without a
// display and by the start-up tests.
//   panel_driver wait        wait until the panel's window is visible (30 s)
//   panel_driver start       press the Start/Stop button
//   panel_driver caption     print the Start/Stop button's caption
//   panel_driver hide        close the panel's window (it goes to the notification area), wait until hidden
//   panel_driver exit        choose Exit from the tray menu, confirm if asked, wait for the end
//   panel_driver command N   send the menu command N (as a menu or accelerator would)
// Exit code 0 on success, 1 when the panel is not found or does not react.
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "toolkit/fixed_values.h"

namespace {

using fixed::kExitCommand;
using fixed::kPanelTitle;
using fixed::kStartStopButton;

HWND FindPanel(DWORD timeoutMs, bool mustBeVisible) {
    DWORD start = ::GetTickCount();
    for (;;) {
        HWND wnd = ::FindWindowW(L"#32770", kPanelTitle);
        if (wnd && (!mustBeVisible || ::IsWindowVisible(wnd))) return wnd;
        if (::GetTickCount() - start > timeoutMs) return nullptr;
        ::Sleep(50);
    }
}

struct BoxSearch {
    DWORD pid;
    HWND found;
};

BOOL CALLBACK FindConfirmation(HWND wnd, LPARAM param) {
    auto* search = reinterpret_cast<BoxSearch*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(wnd, &pid);
    wchar_t caption[64] = {};
    ::GetWindowTextW(wnd, caption, 64);
    if (pid == search->pid && ::IsWindowVisible(wnd) && wcscmp(caption, L"Confirm Exit") == 0) {
        search->found = wnd;
        return FALSE;
    }
    return TRUE;
}

int Exit(HWND panel) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(panel, &pid);
    HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
    // Posted: the confirmation box runs its own loop inside the command.
    ::PostMessageW(panel, WM_COMMAND, MAKEWPARAM(kExitCommand, 0), 0);
    DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < 20000) {
        if (process && ::WaitForSingleObject(process, 50) == WAIT_OBJECT_0) {
            ::CloseHandle(process);
            return 0;
        }
        if (!process && !::IsWindow(panel)) return 0;
        BoxSearch search = {pid, nullptr};
        ::EnumWindows(FindConfirmation, reinterpret_cast<LPARAM>(&search));
        if (search.found) ::PostMessageW(search.found, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        ::Sleep(50);
    }
    if (process) ::CloseHandle(process);
    return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2 && !(argc == 3 && wcscmp(argv[1], L"command") == 0)) {
        std::fwprintf(stderr, L"usage: panel_driver wait|start|caption|hide|exit|command N\n");
        return 2;
    }
    const wchar_t* verb = argv[1];
    HWND panel = FindPanel(30000, wcscmp(verb, L"exit") != 0 && wcscmp(verb, L"hide") != 0);
    if (!panel) {
        std::fwprintf(stderr, L"panel_driver: no panel window found\n");
        return 1;
    }
    if (wcscmp(verb, L"wait") == 0) return 0;
    if (wcscmp(verb, L"start") == 0) {
        // The button's own notification: BM_CLICK from another process needs an active window.
        HWND button = ::GetDlgItem(panel, kStartStopButton);
        ::PostMessageW(panel, WM_COMMAND, MAKEWPARAM(kStartStopButton, BN_CLICKED), reinterpret_cast<LPARAM>(button));
        return 0;
    }
    if (wcscmp(verb, L"caption") == 0) {
        wchar_t caption[64] = {};
        ::GetWindowTextW(::GetDlgItem(panel, kStartStopButton), caption, 64);
        std::wprintf(L"%ls\n", caption);
        return 0;
    }
    if (wcscmp(verb, L"hide") == 0) {
        ::PostMessageW(panel, WM_CLOSE, 0, 0);  // as the close box does
        for (DWORD start = ::GetTickCount(); ::IsWindowVisible(panel); ::Sleep(50))
            if (::GetTickCount() - start > 20000) return 1;
        return 0;
    }
    if (wcscmp(verb, L"exit") == 0) return Exit(panel);
    if (wcscmp(verb, L"command") == 0) {
        ::PostMessageW(panel, WM_COMMAND, MAKEWPARAM(_wtoi(argv[2]), 0), 0);
        return 0;
    }
    std::fwprintf(stderr, L"panel_driver: unknown command\n");
    return 2;
}
