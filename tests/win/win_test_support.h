// Helpers shared by the Windows tests.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace wintest {

std::wstring ModuleDir();  // directory of the running test executable
// A fresh empty directory under the temporary folder; name may contain spaces.
std::wstring MakeTempDir(const std::wstring& name);
void RemoveTree(const std::wstring& dir);
bool FileExists(const std::wstring& path);
std::string ReadFileBytes(const std::wstring& path);
void WriteFileBytes(const std::wstring& path, const std::string& bytes);
// Waits up to timeoutMs for a file to appear.
bool WaitForFile(const std::wstring& path, DWORD timeoutMs);

// Makes the shell open mailto:, http:, https: links and .html files with
// shell_recorder.exe (beside the test executable), which logs each target to a file of
// this object's own; construct it before the action. Registered in the test prefix.
class ShellRecorder {
public:
    ShellRecorder();
    ~ShellRecorder();
    ShellRecorder(const ShellRecorder&) = delete;
    ShellRecorder& operator=(const ShellRecorder&) = delete;
    // What was opened so far, waiting up to waitMs for at least one entry.
    std::vector<std::wstring> Opened(DWORD waitMs);

private:
    std::wstring m_log;
};

}  // namespace wintest

namespace wintest {

// A message box of this process that a test answered.
struct AnsweredBox {
    std::wstring caption;
    std::wstring text;
    HWND owner = nullptr;
    bool found = false;
};

// Waits on another thread for a message box (#32770 with a static 0xFFFF) of a
// process (0: this one) to appear, records it and presses the given button.
// Join with Wait(). A dialog of the test itself can be ignored: a static without an id
// (-1) in it looks like the message text of a box.
class MessageBoxAnswerer {
public:
    explicit MessageBoxAnswerer(int button = IDOK, DWORD timeoutMs = 10000, DWORD processId = 0,
                                HWND ignore = nullptr);
    ~MessageBoxAnswerer();
    AnsweredBox Wait();

private:
    static DWORD WINAPI Run(void* self);
    int m_button;
    DWORD m_timeout;
    DWORD m_processId;
    HWND m_ignore;
    AnsweredBox m_box;
    HANDLE m_thread;
};

}  // namespace wintest
