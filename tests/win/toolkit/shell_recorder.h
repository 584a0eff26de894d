// What the shell opens, recorded: under Wine the shell would hand pages and mailto:
// links to the desktop.
#pragma once
#include <string>
#include <vector>

namespace wintest {

// Makes the shell open mailto:, http:, https: links and .html files with
// shell_recorder.exe (beside the test executable), which appends each target to a log
// of this object's own; construct it before the action. Registered in the test prefix.
class ShellRecorder {
public:
    ShellRecorder();
    ~ShellRecorder();
    ShellRecorder(const ShellRecorder&) = delete;
    ShellRecorder& operator=(const ShellRecorder&) = delete;

    // What the shell has opened so far. The shell starts a recorder before it returns,
    // so once every recorder this process started has ended, the log is complete for
    // each open this process asked for: "nothing" needs no waiting time. Opens asked
    // for by another process: wait until they show here.
    std::vector<std::wstring> Opened() const;

private:
    std::wstring m_log;
};

}  // namespace wintest
