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

std::wstring WindowText(HWND wnd) {
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(wnd)) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(wnd, &text[0], static_cast<int>(text.size()))));
    return text;
}

static BOOL CALLBACK CollectVisibleDialog(HWND wnd, LPARAM param) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(wnd, &pid);
    wchar_t cls[16] = {};
    ::GetClassNameW(wnd, cls, 16);
    if (pid == ::GetCurrentProcessId() && std::wstring(cls) == L"#32770" && ::IsWindowVisible(wnd))
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(wnd);
    return TRUE;
}

std::vector<HWND> VisibleDialogs() {
    std::vector<HWND> found;
    ::EnumWindows(CollectVisibleDialog, reinterpret_cast<LPARAM>(&found));
    return found;
}

MessageBoxAnswerer::MessageBoxAnswerer(int buttonId, DWORD timeoutMs) : m_before(VisibleDialogs()) {
    m_thread = std::thread([this, buttonId, timeoutMs] { Run(buttonId, timeoutMs); });
}

MessageBoxAnswerer::~MessageBoxAnswerer() { Answered(); }

bool MessageBoxAnswerer::Answered() {
    if (m_thread.joinable()) m_thread.join();
    return m_answered;
}

void MessageBoxAnswerer::Run(int buttonId, DWORD timeoutMs) {
    DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < timeoutMs) {
        for (HWND wnd : VisibleDialogs()) {
            if (std::find(m_before.begin(), m_before.end(), wnd) != m_before.end()) continue;
            HWND message = ::GetDlgItem(wnd, 0xFFFF);
            if (!message) continue;
            m_text = WindowText(message);
            m_caption = WindowText(wnd);
            m_owner = ::GetWindow(wnd, GW_OWNER);
            m_answered = true;
            ::PostMessageW(::GetDlgItem(wnd, buttonId), BM_CLICK, 0, 0);
            return;
        }
        ::Sleep(10);
    }
}

}  // namespace wintest
