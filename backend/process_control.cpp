// Starts, signals and reaps the streaming server and the encoder.
//
// Stopping: Ctrl+Break to the program's process group asks it to end. Where that call
// fails (Wine does not implement it), or the program is still running kStopGraceMs
// later, its stop request is set, which the program takes exactly as Ctrl+Break; a
// program still running kStopGraceMs after that is terminated. The supervision tick's
// reap takes these steps, so nothing ever waits on the panel's thread.
#include <string>
#include <utility>
#include <vector>

#include "app/streamer_app.h"
#include "backend/command_lines.h"
#include "common/stop_request.h"

namespace {

constexpr ULONGLONG kStopGraceMs = 3000;
// At the end of the run: below the 5 s that Windows gives a handler at log-off.
constexpr DWORD kEndOfRunGraceMs = 3000;
// What the console itself leaves as the exit code of a program ended by a break.
constexpr UINT kTerminatedExitCode = STATUS_CONTROL_C_EXIT;

using Step = ProgramStop::Step;

// Launches with the full path as the application name: with a null name and an
// unquoted path containing spaces, Windows would try C:\Program.exe first.
// Returns 0, or the launch's error code, taken before anything (freeing the
// command-line buffer) can overwrite it.
DWORD Launch(const ProcessSystem& sys, const wchar_t* program, const std::wstring& commandLine, STARTUPINFOW& si,
             PROCESS_INFORMATION& record) {
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    PROCESS_INFORMATION pi = {};
    if (!sys.createProcess(program, buffer.data(), nullptr, nullptr, FALSE, CREATE_NEW_PROCESS_GROUP, nullptr, nullptr,
                           &si, &pi))
        return ::GetLastError();
    record = pi;
    return 0;
}

// At log-off the clean-up runs on the system's thread while the main thread may reap
// and zero a record: each id is read once, and what was read is what gets signalled
// (a group of 0 would be every process on the console, the panel included).
DWORD ReadOnce(const DWORD& id) { return *static_cast<const volatile DWORD*>(&id); }

// The steps start afresh for a program other than the one they were about.
void StopAbout(ProgramStop& stop, DWORD processId) {
    if (stop.processId == processId) return;
    stop.request.reset();
    stop.processId = processId;
    stop.step = Step::None;
}

// Sets the program's stop request, creating it if the program has not yet (it then
// finds it set when it starts watching).
void Request(ProgramStop& stop, ULONGLONG now) {
    if (!stop.request)
        stop.request.reset(::CreateEventW(nullptr, TRUE, FALSE, StopRequestName(stop.processId).c_str()));
    if (stop.request) ::SetEvent(stop.request.get());
    stop.step = Step::Requested;
    stop.since = now;
}

// Ctrl+Break has been sent (delivered: the call succeeded). A second stop keeps the
// times of the first, so that pressing Stop again never puts the next step off.
void Asked(ProgramStop& stop, DWORD processId, bool delivered, ULONGLONG now) {
    StopAbout(stop, processId);
    if (stop.step == Step::None) {
        stop.step = Step::Signalled;
        stop.since = now;
    }
    if (!delivered && stop.step == Step::Signalled) Request(stop, now);
}

void Terminate(const ProcessSystem& sys, ProgramStop& stop, HANDLE process, ULONGLONG now) {
    sys.terminateProcess(process, kTerminatedExitCode);
    stop.step = Step::Terminated;
    stop.since = now;
}

// The next step for a program that is still running, once its time has come.
void Supervise(const ProcessSystem& sys, ProgramStop& stop, const PROCESS_INFORMATION& record, ULONGLONG now) {
    if (stop.processId != record.dwProcessId || now - stop.since < kStopGraceMs) return;
    if (stop.step == Step::Signalled) Request(stop, now);
    else if (stop.step == Step::Requested) Terminate(sys, stop, record.hProcess, now);
}

bool Ended(HANDLE process) { return ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0; }

}  // namespace

DWORD CStreamerApp::StartStreaming() {
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    {
        std::lock_guard<std::mutex> lock(m_stopLock);
        m_serverEnd = UnaskedEnd();
        m_encoderEnd = UnaskedEnd();
    }

    if (m_serverProcess.dwProcessId == 0) {
        std::wstring line = ServerCommandLine(m_serverPath, m_moduleDir);
        if (DWORD error = Launch(m_processSystem, m_serverPath, line, si, m_serverProcess)) return error;
    }
    if (m_encoderProcess.dwProcessId != 0) return 0;

    std::wstring escapedDir;
    DWORD error = ERROR_FILENAME_EXCED_RANGE;
    if (EscapeSpaceRuns(m_moduleDir, escapedDir)) {
        std::wstring line = EncoderCommandLine(m_encoderPath, escapedDir, m_settings.frameRate, m_settings.bitRate,
                                               m_settings.port);
        error = Launch(m_processSystem, m_encoderPath, line, si, m_encoderProcess);
        if (error == 0) return 0;
    }
    StopStreaming();
    return error;
}

DWORD CStreamerApp::StopStreaming() {
    std::lock_guard<std::mutex> lock(m_stopLock);
    const DWORD encoder = ReadOnce(m_encoderProcess.dwProcessId);
    const DWORD server = ReadOnce(m_serverProcess.dwProcessId);
    const ULONGLONG now = m_processSystem.tickCount();
    if (encoder != 0) {
        const BOOL first = m_processSystem.generateConsoleCtrlEvent(CTRL_BREAK_EVENT, encoder);
        const BOOL second = m_processSystem.generateConsoleCtrlEvent(CTRL_BREAK_EVENT, encoder);
        Asked(m_encoderStop, encoder, first || second, now);
    }
    if (server != 0) {
        const BOOL sent = m_processSystem.generateConsoleCtrlEvent(CTRL_BREAK_EVENT, server);
        Asked(m_serverStop, server, sent != FALSE, now);
    }
    return 0;
}

static void Reap(const ProcessSystem& sys, PROCESS_INFORMATION& record, ProgramStop& stop, UnaskedEnd& end,
                 ULONGLONG now) {
    if (!record.hProcess) return;
    if (!Ended(record.hProcess)) {
        Supervise(sys, stop, record, now);
        return;
    }
    // Its exit code says why, when nobody asked it to end.
    if (stop.processId != record.dwProcessId || stop.step == Step::None) {
        end.ended = true;
        if (!::GetExitCodeProcess(record.hProcess, &end.exitCode)) end.exitCode = STILL_ACTIVE;
    }
    ::CloseHandle(record.hProcess);
    // The thread handle is kept with the record and closed with it, so that
    // every start leaves no handle behind.
    if (record.hThread) ::CloseHandle(record.hThread);
    ZeroMemory(&record, sizeof record);
    StopAbout(stop, 0);
}

void CStreamerApp::ReapProcesses() {
    std::lock_guard<std::mutex> lock(m_stopLock);
    const ULONGLONG now = m_processSystem.tickCount();
    Reap(m_processSystem, m_encoderProcess, m_encoderStop, m_encoderEnd, now);
    Reap(m_processSystem, m_serverProcess, m_serverStop, m_serverEnd, now);
}

bool CStreamerApp::TakeUnaskedEnd(bool& server, DWORD& exitCode) {
    std::lock_guard<std::mutex> lock(m_stopLock);
    UnaskedEnd* end = m_serverEnd.ended ? &m_serverEnd : m_encoderEnd.ended ? &m_encoderEnd : nullptr;
    if (!end) return false;
    server = end == &m_serverEnd;
    exitCode = end->exitCode;
    m_serverEnd = UnaskedEnd();
    m_encoderEnd = UnaskedEnd();  // one balloon per stop
    return true;
}

void CStreamerApp::FinishStopping() {
    std::lock_guard<std::mutex> lock(m_stopLock);
    const ULONGLONG now = m_processSystem.tickCount();
    const std::pair<PROCESS_INFORMATION*, ProgramStop*> programs[] = {{&m_encoderProcess, &m_encoderStop},
                                                                      {&m_serverProcess, &m_serverStop}};
    HANDLE running[2];
    DWORD count = 0;
    for (const auto& [record, stop] : programs) {
        if (!record->hProcess || Ended(record->hProcess)) continue;
        StopAbout(*stop, record->dwProcessId);
        // No time to give Ctrl+Break first.
        if (stop->step == Step::None || stop->step == Step::Signalled) Request(*stop, now);
        running[count++] = record->hProcess;
    }
    if (count == 0) return;
    ::WaitForMultipleObjects(count, running, TRUE, kEndOfRunGraceMs);
    for (const auto& [record, stop] : programs)
        if (record->hProcess && !Ended(record->hProcess) && stop->step != Step::Terminated)
            Terminate(m_processSystem, *stop, record->hProcess, m_processSystem.tickCount());
}
