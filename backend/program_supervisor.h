// The supervisor of the two streaming programs: launches them, stops them and sees
// them end.
//
// Stopping: Ctrl+Break to the program's process group asks it to end. Where that call
// fails (Wine does not implement it), or the program is still running kStopGraceMs
// later, its stop request is set, which the program takes exactly as Ctrl+Break; a
// program still running kStopGraceMs after that is terminated. The supervision tick's
// reap takes these steps, so nothing ever waits on the panel's thread.
//
// Threads: the panel's thread launches, stops and reaps; at log-off the system's thread
// stops and finishes the run beside it. One lock keeps the records, and nothing holds it
// while waiting.
#pragma once
#include <windows.h>

#include <mutex>
#include <string>

#include "framework/handles.h"

// What the supervisor asks of the system where tests need to watch: they replace these
// to record launches, Ctrl+Break signals and terminations, to set the clock that times
// a stop, and to see what happens while the end of the run waits and when a reap
// closes a process handle.
struct ProgramSystem {
    decltype(&::CreateProcessW) createProcess = ::CreateProcessW;
    decltype(&::GenerateConsoleCtrlEvent) generateConsoleCtrlEvent = ::GenerateConsoleCtrlEvent;
    decltype(&::TerminateProcess) terminateProcess = ::TerminateProcess;
    decltype(&::GetTickCount64) tickCount = ::GetTickCount64;
    decltype(&::WaitForMultipleObjects) waitForPrograms = ::WaitForMultipleObjects;
    decltype(&::CloseHandle) closeProcess = ::CloseHandle;
};

enum class Program { Server, Encoder };

// A started program. Move-only: its handles are closed once, by the record that holds
// them last. The thread handle is kept and closed with it, so that a start leaves no
// handle behind. No process id: the program does not run.
struct ProcessRecord {
    fw::Handle process;
    fw::Handle thread;
    DWORD processId = 0;
    DWORD threadId = 0;
};

class ProgramSupervisor {
public:
    explicit ProgramSupervisor(const ProgramSystem& system) : m_system(system) {}
    ProgramSupervisor(const ProgramSupervisor&) = delete;
    ProgramSupervisor& operator=(const ProgramSupervisor&) = delete;

    // Starts the program as the root of a new process group, with the full path as the
    // application name; one that runs already is left alone. Returns 0 or the launch's
    // error code; nothing is started once FinishStopping has run.
    DWORD Launch(Program which, const std::wstring& path, const std::wstring& commandLine);
    // Ctrl+Break to each running program's group, the encoder first and twice.
    void Stop();
    // Closes the record of each program that has ended (encoder, then server), and takes
    // the next stop step for one that was asked to end and has not.
    void Reap();
    // The end of the run, with no tick to come: every program still running gets its
    // stop request at once, a few seconds to end, and is terminated after that.
    void FinishStopping();

    // A program that ended while nobody had asked it to, as the reap found it, with its
    // exit code: the server first, whose end usually ends the encoder too. Taking one
    // forgets both, so that each stop is told once.
    bool TakeUnaskedEnd(bool& server, DWORD& exitCode);
    void ForgetUnaskedEnds();

    // Started and not yet reaped.
    bool Runs(Program which) const;
    // 0 when it does not run.
    DWORD ProcessId(Program which) const;
    // For looking at the process (waiting on it); the record keeps owning it.
    HANDLE ProcessHandle(Program which) const;
    // Supervises record in the program's place, as if launched (tests hand in records
    // of their own; an id without a handle stands for a program that never ends).
    void Adopt(Program which, ProcessRecord record);

private:
    enum class Step { None, Signalled, Requested, Terminated };
    // One program: its record and how far a stop of it has gone.
    struct Supervised {
        ProcessRecord record;
        fw::Handle request;  // its stop request, made at its launch, kept until it is reaped
        Step step = Step::None;
        ULONGLONG since = 0;  // when the step was taken
        // Its last end that nobody asked for, kept beyond the record until told.
        bool endedUnasked = false;
        DWORD exitCode = 0;
    };

    Supervised& Of(Program which) { return which == Program::Server ? m_server : m_encoder; }
    const Supervised& Of(Program which) const { return which == Program::Server ? m_server : m_encoder; }
    void Asked(Supervised& p, bool delivered, ULONGLONG now);
    void Request(Supervised& p, ULONGLONG now);
    void Terminate(Supervised& p, ULONGLONG now);
    void Supervise(Supervised& p, ULONGLONG now);
    void ReapOne(Supervised& p, ULONGLONG now);

    const ProgramSystem& m_system;
    mutable std::mutex m_lock;
    Supervised m_server;
    Supervised m_encoder;
    bool m_finished = false;  // the end of the run has come: no more launches
};
