#include "win_test_support.h"

#include <shellapi.h>

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

}  // namespace wintest

namespace wintest {

namespace {

struct BoxSearch {
    DWORD processId;
    HWND found = nullptr;
};

BOOL CALLBACK FindBox(HWND wnd, LPARAM param) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(wnd, &pid);
    wchar_t cls[32] = {};
    ::GetClassNameW(wnd, cls, 32);
    auto* search = reinterpret_cast<BoxSearch*>(param);
    if (pid == search->processId && wcscmp(cls, L"#32770") == 0 && ::IsWindowVisible(wnd) &&
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

MessageBoxAnswerer::MessageBoxAnswerer(int button, DWORD timeoutMs, DWORD processId)
    : m_button(button), m_timeout(timeoutMs), m_processId(processId ? processId : ::GetCurrentProcessId()) {
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
        BoxSearch search{self->m_processId};
        ::EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            self->m_box.found = true;
            self->m_box.caption = WindowText(search.found);
            self->m_box.text = WindowText(::GetDlgItem(search.found, 0xFFFF));
            ::PostMessageW(search.found, WM_COMMAND, MAKEWPARAM(self->m_button, BN_CLICKED), 0);
            return 0;
        }
        ::Sleep(20);
    }
    return 0;
}

}  // namespace wintest
