// Starts, signals and reaps the streaming server and the encoder.
#include <string>
#include <vector>

#include "app/streamer_app.h"
#include "backend/command_lines.h"

namespace {

// Launches with the full path as the application name: with a null name and an
// unquoted path containing spaces, Windows would try C:\Program.exe first.
bool Launch(const ProcessSystem& sys, const wchar_t* program, const std::wstring& commandLine,
            STARTUPINFOW& si, PROCESS_INFORMATION& record) {
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    PROCESS_INFORMATION pi = {};
    if (!sys.createProcess(program, buffer.data(), nullptr, nullptr, FALSE, CREATE_NEW_PROCESS_GROUP,
                           nullptr, nullptr, &si, &pi))
        return false;
    record = pi;
    return true;
}

}  // namespace

DWORD CStreamerApp::StartStreaming() {
    STARTUPINFOW si = {};
    si.cb = sizeof si;

    if (m_serverProcess.dwProcessId == 0) {
        std::wstring line = ServerCommandLine(m_serverPath, m_moduleDir);
        if (!Launch(m_processSystem, m_serverPath, line, si, m_serverProcess)) return ::GetLastError();
    }
    if (m_encoderProcess.dwProcessId != 0) return 0;

    std::wstring escapedDir;
    DWORD error = ERROR_FILENAME_EXCED_RANGE;
    if (EscapeSpaceRuns(m_moduleDir, escapedDir)) {
        std::wstring line = EncoderCommandLine(m_encoderPath, escapedDir, m_settings.frameRate,
                                               m_settings.bitRate, m_settings.port);
        if (Launch(m_processSystem, m_encoderPath, line, si, m_encoderProcess)) return 0;
        error = ::GetLastError();
    }
    StopStreaming();
    return error;
}

DWORD CStreamerApp::StopStreaming() {
    if (m_encoderProcess.dwProcessId != 0) {
        m_processSystem.generateConsoleCtrlEvent(CTRL_BREAK_EVENT, m_encoderProcess.dwProcessId);
        m_processSystem.generateConsoleCtrlEvent(CTRL_BREAK_EVENT, m_encoderProcess.dwProcessId);
    }
    if (m_serverProcess.dwProcessId != 0)
        m_processSystem.generateConsoleCtrlEvent(CTRL_BREAK_EVENT, m_serverProcess.dwProcessId);
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
