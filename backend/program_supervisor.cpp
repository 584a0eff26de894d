#include "backend/program_supervisor.h"

#include <utility>
#include <vector>

#include "common/stop_request.h"

namespace {

constexpr ULONGLONG kStopGraceMs = 3000;
// At the end of the run: below the 5 s that Windows gives a handler at log-off.
constexpr DWORD kEndOfRunGraceMs = 3000;
// What the console itself leaves as the exit code of a program ended by a break.
constexpr UINT kTerminatedExitCode = STATUS_CONTROL_C_EXIT;

bool Ended(HANDLE process) { return ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0; }

// The program's stop request, made before the program runs. A name that exists already
// is someone else's (the program cannot have made it yet): whoever holds it could stop
// the program, or have set it already, so the launch fails rather than use it.
DWORD MakeStopRequest(DWORD processId, fw::Handle& request) {
    request.reset(::CreateEventW(nullptr, TRUE, FALSE, StopRequestName(processId).c_str()));
    if (!request) return ::GetLastError();
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        request.reset();
        return ERROR_ALREADY_EXISTS;
    }
    return 0;
}

}  // namespace

DWORD ProgramSupervisor::Launch(Program which, const std::wstring& path, const std::wstring& commandLine) {
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    // Held across the launch: a log-off's FinishStopping either sees the new record or
    // comes first, and then nothing is launched after the console has gone.
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_finished) return ERROR_SHUTDOWN_IN_PROGRESS;
    Supervised& p = Of(which);
    if (p.record.processId != 0) return 0;
    // Suspended until its stop request exists, so that the program finds ours.
    PROCESS_INFORMATION pi = {};
    if (!m_system.createProcess(path.c_str(), buffer.data(), nullptr, nullptr, FALSE,
                                CREATE_NEW_PROCESS_GROUP | CREATE_SUSPENDED, nullptr, nullptr, &si, &pi))
        return ::GetLastError();  // before anything (freeing the buffer) can overwrite it
    ProcessRecord record{fw::Handle(pi.hProcess), fw::Handle(pi.hThread), pi.dwProcessId, pi.dwThreadId};
    fw::Handle request;
    DWORD error = MakeStopRequest(pi.dwProcessId, request);
    if (error == 0 && ::ResumeThread(pi.hThread) == static_cast<DWORD>(-1)) error = ::GetLastError();
    if (error != 0) {
        m_system.terminateProcess(pi.hProcess, kTerminatedExitCode);  // it never ran
        return error;
    }
    p.record = std::move(record);
    p.request = std::move(request);
    p.step = Step::None;
    return 0;
}

// Ctrl+Break has been sent (delivered: the call succeeded). A second stop keeps the
// times of the first, so that pressing Stop again never puts the next step off.
void ProgramSupervisor::Asked(Supervised& p, bool delivered, ULONGLONG now) {
    if (p.step == Step::None) {
        p.step = Step::Signalled;
        p.since = now;
    }
    if (!delivered && p.step == Step::Signalled) Request(p, now);
}

void ProgramSupervisor::Request(Supervised& p, ULONGLONG now) {
    if (p.request) ::SetEvent(p.request.get());
    p.step = Step::Requested;
    p.since = now;
}

void ProgramSupervisor::Terminate(Supervised& p, ULONGLONG now) {
    m_system.terminateProcess(p.record.process.get(), kTerminatedExitCode);
    p.step = Step::Terminated;
    p.since = now;
}

// The next step for a program that is still running, once its time has come.
void ProgramSupervisor::Supervise(Supervised& p, ULONGLONG now) {
    if (now - p.since < kStopGraceMs) return;
    if (p.step == Step::Signalled) Request(p, now);
    else if (p.step == Step::Requested) Terminate(p, now);
}

void ProgramSupervisor::Stop() {
    std::lock_guard<std::mutex> lock(m_lock);
    const ULONGLONG now = m_system.tickCount();
    if (const DWORD encoder = m_encoder.record.processId) {
        const BOOL first = m_system.generateConsoleCtrlEvent(CTRL_BREAK_EVENT, encoder);
        const BOOL second = m_system.generateConsoleCtrlEvent(CTRL_BREAK_EVENT, encoder);
        Asked(m_encoder, first || second, now);
    }
    if (const DWORD server = m_server.record.processId) {
        const BOOL sent = m_system.generateConsoleCtrlEvent(CTRL_BREAK_EVENT, server);
        Asked(m_server, sent != FALSE, now);
    }
}

void ProgramSupervisor::ReapOne(Supervised& p, ULONGLONG now) {
    if (!p.record.process) return;
    if (!Ended(p.record.process.get())) {
        Supervise(p, now);
        return;
    }
    // Its exit code says why, when nobody asked it to end.
    if (p.step == Step::None) {
        p.endedUnasked = true;
        if (!::GetExitCodeProcess(p.record.process.get(), &p.exitCode)) p.exitCode = STILL_ACTIVE;
    }
    // The stop request goes first: while we hold the process handle its id cannot be
    // given to a new process, which would find our request (set, perhaps) as its own.
    p.request.reset();
    m_system.closeProcess(p.record.process.release());
    p.record = ProcessRecord{};
    p.step = Step::None;
}

void ProgramSupervisor::Reap() {
    std::lock_guard<std::mutex> lock(m_lock);
    const ULONGLONG now = m_system.tickCount();
    ReapOne(m_encoder, now);
    ReapOne(m_server, now);
}

void ProgramSupervisor::FinishStopping() {
    Supervised* const programs[] = {&m_encoder, &m_server};
    fw::Handle own[2];
    HANDLE running[2];
    DWORD count = 0;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_finished = true;
        const ULONGLONG now = m_system.tickCount();
        for (Supervised* p : programs) {
            if (!p->record.process || Ended(p->record.process.get())) continue;
            // No time to give Ctrl+Break first.
            if (p->step == Step::None || p->step == Step::Signalled) Request(*p, now);
            // A handle of our own to wait on: the panel's thread may reap the record meanwhile.
            HANDLE process = nullptr;
            if (!::DuplicateHandle(::GetCurrentProcess(), p->record.process.get(), ::GetCurrentProcess(), &process,
                                   SYNCHRONIZE, FALSE, 0))
                continue;
            own[count].reset(process);
            running[count++] = process;
        }
    }
    if (count == 0) return;
    // Without the lock: at log-off the panel's thread goes on reaping, stopping and exiting.
    m_system.waitForPrograms(count, running, TRUE, kEndOfRunGraceMs);
    std::lock_guard<std::mutex> lock(m_lock);
    // No launch since: a record still there is the one waited for.
    for (Supervised* p : programs)
        if (p->record.process && !Ended(p->record.process.get()) && p->step != Step::Terminated)
            Terminate(*p, m_system.tickCount());
}

bool ProgramSupervisor::TakeUnaskedEnd(bool& server, DWORD& exitCode) {
    std::lock_guard<std::mutex> lock(m_lock);
    const Supervised* ended = m_server.endedUnasked ? &m_server : m_encoder.endedUnasked ? &m_encoder : nullptr;
    if (!ended) return false;
    server = ended == &m_server;
    exitCode = ended->exitCode;
    m_server.endedUnasked = m_encoder.endedUnasked = false;
    return true;
}

void ProgramSupervisor::ForgetUnaskedEnds() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_server.endedUnasked = m_encoder.endedUnasked = false;
}

bool ProgramSupervisor::Runs(Program which) const { return ProcessId(which) != 0; }

DWORD ProgramSupervisor::ProcessId(Program which) const {
    std::lock_guard<std::mutex> lock(m_lock);
    return Of(which).record.processId;
}

HANDLE ProgramSupervisor::ProcessHandle(Program which) const {
    std::lock_guard<std::mutex> lock(m_lock);
    return Of(which).record.process.get();
}

void ProgramSupervisor::Adopt(Program which, ProcessRecord record) {
    std::lock_guard<std::mutex> lock(m_lock);
    Supervised& p = Of(which);
    p.request.reset();
    p.record = std::move(record);
    p.step = Step::None;
}
