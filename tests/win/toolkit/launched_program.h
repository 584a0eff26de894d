// The real programs started as a user starts them: OrvaneDemo.exe from a program folder
// of the test's own, its panel found by its title, and whatever it started ended.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace wintest {

// A program started with CreateProcess, ended at the latest when the test ends.
class Launched {
public:
    explicit Launched(const std::wstring& exe);
    ~Launched();
    Launched(const Launched&) = delete;
    Launched& operator=(const Launched&) = delete;
    bool ok() const { return m_ok; }
    DWORD pid() const { return m_pi.dwProcessId; }
    HANDLE process() const { return m_pi.hProcess; }
    // Exit code, or STILL_ACTIVE when it did not end within timeoutMs.
    DWORD WaitExit(DWORD timeoutMs) const;

private:
    PROCESS_INFORMATION m_pi = {};
    BOOL m_ok = FALSE;
};

HWND FindPanel();
// The panel once it is visible and initialised: the template's Start/Stop caption
// is "&Stop Server"; the initial stop turns it into "&Start Server".
HWND WaitForPanel();
// Exit from the tray menu; confirms when asked. True when the program ended.
bool ExitPanel(HWND panel, const Launched& program, bool expectConfirmation);
// A program named `name` (server.dll, orvane.dll) running from dir, opened with
// SYNCHRONIZE and the right to read its exit code; null when there is none.
HANDLE OpenProgramIn(const std::wstring& dir, const std::wstring& name);
// The streaming programs running from dir, opened with access (and the right to read
// their exit code); the caller closes them.
std::vector<HANDLE> ProgramsIn(const std::wstring& dir, DWORD access);
// A test that failed half-way may leave programs running: they are ended here.
void EndProgramsIn(const std::wstring& dir);

}  // namespace wintest
