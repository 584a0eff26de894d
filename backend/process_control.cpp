// Starts, signals and reaps the streaming server and the encoder.
#include <string>
#include <vector>

#include "app/streamer_app.h"
#include "backend/command_lines.h"

namespace {

// Launches with the full path as the application name: with a null name and an
// unquoted path containing spaces, Windows would try C:\Program.exe first.
// Returns 0, or the launch's error code, taken before anything (freeing the
// command-line buffer) can overwrite it.
DWORD Launch(const ProcessSystem& sys, const wchar_t* program, const std::wstring& commandLine,
             STARTUPINFOW& si, PROCESS_INFORMATION& record) {
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    PROCESS_INFORMATION pi = {};
    if (!sys.createProcess(program, buffer.data(), nullptr, nullptr, FALSE, CREATE_NEW_PROCESS_GROUP,
                           nullptr, nullptr, &si, &pi))
        return ::GetLastError();
    record = pi;
    return 0;
}

// At log-off the clean-up runs on the system's thread while the main thread may reap
// and zero a record: each id is read once, and what was read is what gets signalled
// (a group of 0 would be every process on the console, the panel included).
DWORD ReadOnce(const DWORD& id) { return *static_cast<const volatile DWORD*>(&id); }

}  // namespace

DWORD CStreamerApp::StartStreaming() {
    STARTUPINFOW si = {};
    si.cb = sizeof si;

    if (m_serverProcess.dwProcessId == 0) {
        std::wstring line = ServerCommandLine(m_serverPath, m_moduleDir);
        if (DWORD error = Launch(m_processSystem, m_serverPath, line, si, m_serverProcess)) return error;
    }
    if (m_encoderProcess.dwProcessId != 0) return 0;

    std::wstring escapedDir;
    DWORD error = ERROR_FILENAME_EXCED_RANGE;
    if (EscapeSpaceRuns(m_moduleDir, escapedDir)) {
        std::wstring line = EncoderCommandLine(m_encoderPath, escapedDir, m_settings.frameRate,
                                               m_settings.bitRate, m_settings.port);
        error = Launch(m_processSystem, m_encoderPath, line, si, m_encoderProcess);
        if (error == 0) return 0;
    }
    StopStreaming();
    return error;
}

DWORD CStreamerApp::StopStreaming() {
    const DWORD encoder = ReadOnce(m_encoderProcess.dwProcessId);
    const DWORD server = ReadOnce(m_serverProcess.dwProcessId);
    if (encoder != 0) {
        m_processSystem.generateConsoleCtrlEvent(CTRL_BREAK_EVENT, encoder);
        m_processSystem.generateConsoleCtrlEvent(CTRL_BREAK_EVENT, encoder);
    }
    if (server != 0) m_processSystem.generateConsoleCtrlEvent(CTRL_BREAK_EVENT, server);
    return 0;
}

static void Reap(PROCESS_INFORMATION& record) {
    if (record.hProcess && ::WaitForSingleObject(record.hProcess, 0) == WAIT_OBJECT_0) {
        ::CloseHandle(record.hProcess);
        // The thread handle is kept with the record and closed with it, so that
        // every start leaves no handle behind.
        if (record.hThread) ::CloseHandle(record.hThread);
        ZeroMemory(&record, sizeof record);
    }
}

void CStreamerApp::ReapProcesses() {
    Reap(m_encoderProcess);
    Reap(m_serverProcess);
}
