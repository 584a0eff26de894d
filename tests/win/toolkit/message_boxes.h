// The one way the Windows tests find and answer message boxes: a visible dialog
// (class #32770) with the message in a static of id 0xFFFF, answered by pressing one
// of its buttons as a user would.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "toolkit/wait.h"

namespace wintest {

// Where to look for boxes.
struct BoxScope {
    DWORD threadId = 0;     // the windows of this thread, else
    DWORD processId = 0;    // of this process, else of every process
    HWND ignore = nullptr;  // a dialog whose static without an id (-1) looks like a box's message

    static BoxScope Thread(DWORD threadId, HWND ignore = nullptr) { return {threadId, 0, ignore}; }
    static BoxScope Process(DWORD processId, HWND ignore = nullptr) { return {0, processId, ignore}; }
    static BoxScope ThisProcess(HWND ignore = nullptr) { return Process(::GetCurrentProcessId(), ignore); }
    static BoxScope AnyProcess() { return {}; }
};

// The message boxes open in scope now, the topmost first.
std::vector<HWND> MessageBoxes(const BoxScope& scope);

// A message box as it was answered.
struct AnsweredBox {
    bool found = false;
    std::wstring caption;
    std::wstring text;
    HWND owner = nullptr;
};

// Waits for a message box in scope, reads it, presses button (IDOK, IDCANCEL, ...)
// and waits until it has gone. found is false when no box came within timeoutMs.
AnsweredBox AnswerMessageBox(const BoxScope& scope, int button = IDOK, DWORD timeoutMs = kPatience);

// The same on a thread of its own, for a box raised by a call on the test's own
// thread. Construct it before that call; Wait() tells what was answered.
class MessageBoxAnswerer {
public:
    explicit MessageBoxAnswerer(const BoxScope& scope = BoxScope::ThisProcess(), int button = IDOK);
    ~MessageBoxAnswerer();
    MessageBoxAnswerer(const MessageBoxAnswerer&) = delete;
    MessageBoxAnswerer& operator=(const MessageBoxAnswerer&) = delete;
    AnsweredBox Wait();

private:
    static DWORD WINAPI Run(void* self);
    BoxScope m_scope;
    int m_button;
    AnsweredBox m_box;
    HANDLE m_thread;
};

}  // namespace wintest
