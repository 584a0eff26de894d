#include "toolkit/launched_program.h"

#include <tlhelp32.h>

#include "toolkit/fixed_values.h"
#include "toolkit/message_boxes.h"
#include "toolkit/wait.h"
#include "toolkit/window_text.h"

namespace wintest {

Launched::Launched(const std::wstring& exe) {
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    std::wstring line = L"\"" + exe + L"\"";
    // Detached, as the desktop starts it: a console of ours would otherwise be
    // passed on under Wine, and the program's own console could not be created.
    m_ok = ::CreateProcessW(exe.c_str(), &line[0], nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr, &si,
                            &m_pi);
}

Launched::~Launched() {
    if (!m_ok) return;
    if (::WaitForSingleObject(m_pi.hProcess, 0) != WAIT_OBJECT_0) ::TerminateProcess(m_pi.hProcess, 9);
    ::CloseHandle(m_pi.hProcess);
    ::CloseHandle(m_pi.hThread);
}

DWORD Launched::WaitExit(DWORD timeoutMs) const {
    ::WaitForSingleObject(m_pi.hProcess, timeoutMs);
    DWORD code = STILL_ACTIVE;
    ::GetExitCodeProcess(m_pi.hProcess, &code);
    return code;
}

HWND FindPanel() { return ::FindWindowW(L"#32770", fixed::kPanelTitle); }

HWND WaitForPanel() {
    HWND panel = nullptr;
    WaitUntil([&] {
        panel = FindPanel();
        return panel && ::IsWindowVisible(panel) &&
               TextOf(::GetDlgItem(panel, fixed::kStartStopButton)) == fixed::kStartCaption;
    });
    return panel && ::IsWindowVisible(panel) ? panel : nullptr;
}

bool ExitPanel(HWND panel, const Launched& program, bool expectConfirmation) {
    ::PostMessageW(panel, WM_COMMAND, MAKEWPARAM(fixed::kExitCommand, 0), 0);
    if (expectConfirmation && AnswerMessageBox(BoxScope::Process(program.pid()), IDOK).caption != L"Confirm Exit")
        return false;
    return program.WaitExit(kPatience) != STILL_ACTIVE;
}

namespace {

// Calls found(process) for every program of that name (any, when empty) running from
// dir, opened with `access`, until found returns false.
template <class Found>
void ForProgramsIn(const std::wstring& dir, const std::wstring& only, DWORD access, Found found) {
    HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snap, &entry); more; more = ::Process32NextW(snap, &entry)) {
        std::wstring name = entry.szExeFile;
        if (name != L"server.dll" && name != L"orvane.dll") continue;
        if (!only.empty() && name != only) continue;
        HANDLE p = ::OpenProcess(access | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
        if (!p) continue;
        wchar_t path[MAX_PATH * 2] = {};
        DWORD size = MAX_PATH * 2;
        if (::QueryFullProcessImageNameW(p, 0, path, &size) && std::wstring(path).rfind(dir, 0) == 0) {
            if (!found(p)) break;
        } else {
            ::CloseHandle(p);
        }
    }
    ::CloseHandle(snap);
}

}  // namespace

HANDLE OpenProgramIn(const std::wstring& dir, const std::wstring& name) {
    HANDLE program = nullptr;
    ForProgramsIn(dir, name, SYNCHRONIZE, [&](HANDLE p) {
        program = p;
        return false;
    });
    return program;
}

std::vector<HANDLE> ProgramsIn(const std::wstring& dir, DWORD access) {
    std::vector<HANDLE> found;
    ForProgramsIn(dir, L"", access, [&](HANDLE p) {
        found.push_back(p);
        return true;
    });
    return found;
}

void EndProgramsIn(const std::wstring& dir) {
    ForProgramsIn(dir, L"", PROCESS_TERMINATE, [](HANDLE p) {
        ::TerminateProcess(p, 0);
        ::CloseHandle(p);
        return true;
    });
}

}  // namespace wintest
