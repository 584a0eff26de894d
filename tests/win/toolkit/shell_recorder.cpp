#include "toolkit/shell_recorder.h"

#include <windows.h>
#include <tlhelp32.h>

#include "toolkit/files.h"
#include "toolkit/wait.h"

namespace wintest {

namespace {

void SetDefaultValue(const std::wstring& key, const std::wstring& name, const std::wstring& value) {
    HKEY k = nullptr;
    if (::RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr)) return;
    ::RegSetValueExW(k, name.empty() ? nullptr : name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(k);
}

// A recorder started by this process (through the shell) is still running.
bool OwnRecorderRunning() {
    HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return false;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    bool running = false;
    for (BOOL more = ::Process32FirstW(snap, &entry); more && !running; more = ::Process32NextW(snap, &entry))
        running = entry.th32ParentProcessID == ::GetCurrentProcessId() &&
                  lstrcmpiW(entry.szExeFile, L"shell_recorder.exe") == 0;
    ::CloseHandle(snap);
    return running;
}

}  // namespace

ShellRecorder::ShellRecorder() {
    const std::wstring command = L"\"" + ModuleDir() + L"\\shell_recorder.exe\" \"%1\"";
    for (const wchar_t* key : {L"mailto", L"http", L"https", L"htmlfile"}) {
        if (std::wstring(key) != L"htmlfile") SetDefaultValue(key, L"URL Protocol", L"");
        // A DDE entry would be tried before the command.
        ::RegDeleteTreeW(HKEY_CLASSES_ROOT, (std::wstring(key) + L"\\shell\\open\\ddeexec").c_str());
        SetDefaultValue(std::wstring(key) + L"\\shell\\open\\command", L"", command);
    }
    SetDefaultValue(L".html", L"", L"htmlfile");
    wchar_t tmp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, tmp);
    m_log = std::wstring(tmp) + L"shell_recorder " + std::to_wstring(::GetCurrentProcessId()) + L"-" +
            std::to_wstring(::GetTickCount64()) + L".log";
    ::DeleteFileW(m_log.c_str());
    ::SetEnvironmentVariableW(L"ORVANE_SHELL_LOG", m_log.c_str());
}

ShellRecorder::~ShellRecorder() {
    WaitUntil([] { return !OwnRecorderRunning(); });
    ::SetEnvironmentVariableW(L"ORVANE_SHELL_LOG", nullptr);
    ::DeleteFileW(m_log.c_str());
}

std::vector<std::wstring> ShellRecorder::Opened() const {
    WaitUntil([] { return !OwnRecorderRunning(); });
    const std::wstring text = ReadUtf16File(m_log);
    std::vector<std::wstring> lines;
    for (size_t start = 0, end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

}  // namespace wintest
