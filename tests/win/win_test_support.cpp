#include "win_test_support.h"

#include <shellapi.h>

#include <algorithm>
#include <cstdio>

namespace wintest {

std::wstring ModuleDir() {
    wchar_t path[MAX_PATH * 2] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    std::wstring s = path;
    return s.substr(0, s.rfind(L'\\'));
}

std::wstring MakeTempDir(const std::wstring& name) {
    wchar_t tmp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, tmp);
    std::wstring dir = std::wstring(tmp) + name + L" " + std::to_wstring(::GetCurrentProcessId());
    RemoveTree(dir);
    ::CreateDirectoryW(dir.c_str(), nullptr);
    return dir;
}

void RemoveTree(const std::wstring& dir) {
    std::wstring from = dir + L'\0';  // double terminated, as the shell wants
    SHFILEOPSTRUCTW op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NO_UI;
    ::SHFileOperationW(&op);
}

bool FileExists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadFileBytes(const std::wstring& path) {
    std::string bytes;
    FILE* f = _wfopen(path.c_str(), L"rb");
    if (!f) return bytes;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
    fclose(f);
    return bytes;
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    FILE* f = _wfopen(path.c_str(), L"wb");
    if (!f) return;
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

bool WaitForFile(const std::wstring& path, DWORD timeoutMs) {
    DWORD start = ::GetTickCount();
    while (!FileExists(path)) {
        if (::GetTickCount() - start > timeoutMs) return false;
        ::Sleep(10);
    }
    return true;
}

static void SetDefaultValue(const std::wstring& key, const std::wstring& name, const std::wstring& value) {
    HKEY k = nullptr;
    if (::RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr))
        return;
    ::RegSetValueExW(k, name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                     reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(k);
}

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
    m_log = std::wstring(tmp) + L"shell_recorder " + std::to_wstring(::GetCurrentProcessId()) + L".log";
    ::DeleteFileW(m_log.c_str());
    ::SetEnvironmentVariableW(L"ORVANE_SHELL_LOG", m_log.c_str());
}

ShellRecorder::~ShellRecorder() {
    ::SetEnvironmentVariableW(L"ORVANE_SHELL_LOG", nullptr);
    ::DeleteFileW(m_log.c_str());
}

std::vector<std::wstring> ShellRecorder::Opened(DWORD waitMs) {
    std::string bytes;
    for (DWORD start = ::GetTickCount(); (bytes = ReadFileBytes(m_log)).empty();) {
        if (::GetTickCount() - start > waitMs) break;
        ::Sleep(10);
    }
    std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    std::vector<std::wstring> lines;
    for (size_t start = 0, end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

}  // namespace wintest

namespace wintest {

namespace {

struct BoxSearch {
    DWORD processId;
    HWND ignore;
    HWND found = nullptr;
};

BOOL CALLBACK FindBox(HWND wnd, LPARAM param) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(wnd, &pid);
    wchar_t cls[32] = {};
    ::GetClassNameW(wnd, cls, 32);
    auto* search = reinterpret_cast<BoxSearch*>(param);
    if (pid == search->processId && wnd != search->ignore && wcscmp(cls, L"#32770") == 0 && ::IsWindowVisible(wnd) &&
        ::GetDlgItem(wnd, 0xFFFF)) {
        search->found = wnd;
        return FALSE;
    }
    return TRUE;
}

std::wstring WindowText(HWND wnd) {
    wchar_t buf[1024] = {};
    ::GetWindowTextW(wnd, buf, 1024);
    return buf;
}

}  // namespace

MessageBoxAnswerer::MessageBoxAnswerer(int button, DWORD timeoutMs, DWORD processId, HWND ignore)
    : m_button(button),
      m_timeout(timeoutMs),
      m_processId(processId ? processId : ::GetCurrentProcessId()),
      m_ignore(ignore) {
    m_thread = ::CreateThread(nullptr, 0, Run, this, 0, nullptr);
}

MessageBoxAnswerer::~MessageBoxAnswerer() { Wait(); }

AnsweredBox MessageBoxAnswerer::Wait() {
    if (m_thread) {
        ::WaitForSingleObject(m_thread, INFINITE);
        ::CloseHandle(m_thread);
        m_thread = nullptr;
    }
    return m_box;
}

DWORD WINAPI MessageBoxAnswerer::Run(void* param) {
    auto* self = static_cast<MessageBoxAnswerer*>(param);
    DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < self->m_timeout) {
        BoxSearch search{self->m_processId, self->m_ignore};
        ::EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            self->m_box.found = true;
            self->m_box.caption = WindowText(search.found);
            self->m_box.text = WindowText(::GetDlgItem(search.found, 0xFFFF));
            self->m_box.owner = ::GetWindow(search.found, GW_OWNER);
            ::PostMessageW(search.found, WM_COMMAND, MAKEWPARAM(self->m_button, BN_CLICKED), 0);
            return 0;
        }
        ::Sleep(20);
    }
    return 0;
}

}  // namespace wintest
