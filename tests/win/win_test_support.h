// Helpers shared by the Windows tests.
#pragma once
#include <windows.h>

#include <string>
#include <thread>
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

// Answers the next message box of this process from a thread of its own: waits until
// a new dialog window (class #32770) with the message static 0xFFFF shows, keeps its
// text and caption, and presses the button buttonId with a posted BM_CLICK. Construct
// it before the action that shows the box.
class MessageBoxAnswerer {
public:
    explicit MessageBoxAnswerer(int buttonId = IDOK, DWORD timeoutMs = 10000);
    ~MessageBoxAnswerer();
    MessageBoxAnswerer(const MessageBoxAnswerer&) = delete;
    MessageBoxAnswerer& operator=(const MessageBoxAnswerer&) = delete;
    // Wait for the thread; false when no box appeared in time.
    bool Answered();
    const std::wstring& Text() { Answered(); return m_text; }
    const std::wstring& Caption() { Answered(); return m_caption; }
    HWND Owner() { Answered(); return m_owner; }

private:
    void Run(int buttonId, DWORD timeoutMs);
    std::vector<HWND> m_before;
    std::thread m_thread;
    bool m_answered = false;
    std::wstring m_text, m_caption;
    HWND m_owner = nullptr;
};

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

// Dialog windows (#32770) of this process that are visible now.
std::vector<HWND> VisibleDialogs();
std::wstring WindowText(HWND wnd);

}  // namespace wintest
