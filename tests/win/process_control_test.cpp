// Process control with real child processes (the stub stands in for both programs).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "allocation_hooks.h"
#include "app/streamer_app.h"
#include "toolkit/files.h"
#include "toolkit/fixed_values.h"
#include "toolkit/stand_in_programs.h"
#include "toolkit/wait.h"

namespace {

using wintest::kPatience;
using wintest::StandInPrograms;

// The exit code the console leaves when a break ends a program: what a terminated one shows.
constexpr DWORD kTerminatedExitCode = 0xC000013A;

std::wstring RequestName(DWORD pid) { return fixed::kStopRequestPrefix + std::to_wstring(pid); }

// Whether the stop request that the program pid watches has been set.
bool RequestSet(DWORD pid) {
    HANDLE request = ::OpenEventW(SYNCHRONIZE, FALSE, RequestName(pid).c_str());
    if (!request) return false;
    const bool set = ::WaitForSingleObject(request, 0) == WAIT_OBJECT_0;
    ::CloseHandle(request);
    return set;
}

// A handle of the test's own, valid after the application has reaped the record.
HANDLE OwnHandle(HANDLE process) {
    HANDLE own = nullptr;
    ::DuplicateHandle(::GetCurrentProcess(), process, ::GetCurrentProcess(), &own,
                      SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, 0);
    return own;
}

DWORD ExitCodeOf(HANDLE process) {
    DWORD code = STILL_ACTIVE;
    ::GetExitCodeProcess(process, &code);
    return code;
}

// A record of a program that "runs" under this id and never ends.
ProcessRecord RunningAs(DWORD pid) { return ProcessRecord{{}, {}, pid, 0}; }

// The panel's thread at log-off, while the end of the run waits on the system's: its
// tick (a reap, a look at the records) and a Stop. Whether they went on during the wait
// is kept; the test joins the thread once the end of the run has returned.
CStreamerApp* g_panelApp = nullptr;
std::thread g_panelThread;
bool g_panelWentOn = false;

DWORD WINAPI WaitWhileThePanelGoesOn(DWORD count, const HANDLE* handles, BOOL all, DWORD ms) {
    static std::atomic<bool> done;
    done = false;
    g_panelThread = std::thread([] {
        g_panelApp->ReapProcesses();
        g_panelApp->m_programs.Runs(Program::Server);
        g_panelApp->StopStreaming();
        done = true;
    });
    g_panelWentOn = wintest::WaitUntil([] { return done.load(); });
    return ::WaitForMultipleObjects(count, handles, all, ms);
}

// For each process handle the reap closes: whether its stop request was still held then.
std::vector<bool> g_requestHeldAtClose;

BOOL WINAPI CloseNotingTheRequest(HANDLE process) {
    HANDLE request = ::OpenEventW(SYNCHRONIZE, FALSE, RequestName(::GetProcessId(process)).c_str());
    g_requestHeldAtClose.push_back(request != nullptr);
    if (request) ::CloseHandle(request);
    return ::CloseHandle(process);
}

// Someone else takes the stop request's name of the program just launched, and sets it.
HANDLE g_takenName = nullptr;

BOOL WINAPI LaunchIntoATakenName(LPCWSTR application, LPWSTR commandLine, LPSECURITY_ATTRIBUTES process,
                                 LPSECURITY_ATTRIBUTES thread, BOOL inherit, DWORD flags, LPVOID environment,
                                 LPCWSTR directory, LPSTARTUPINFOW startup, LPPROCESS_INFORMATION info) {
    if (!::CreateProcessW(application, commandLine, process, thread, inherit, flags, environment, directory, startup,
                          info))
        return FALSE;
    g_takenName = ::CreateEventW(nullptr, TRUE, TRUE, RequestName(info->dwProcessId).c_str());
    ::SetLastError(ERROR_SUCCESS);
    return TRUE;
}

class ProcessControl : public StandInPrograms {
protected:
    // Two spaces in a row: the encoder's watermark argument must escape the run.
    ProcessControl() : StandInPrograms(L"orvane  proc test") {}
    bool IsZero(Program which) const {
        return !app->m_programs.Runs(which) && app->m_programs.ProcessId(which) == 0 &&
               app->m_programs.ProcessHandle(which) == nullptr;
    }
    DWORD Pid(Program which) const { return app->m_programs.ProcessId(which); }
    HANDLE Process(Program which) const { return app->m_programs.ProcessHandle(which); }
};

TEST_F(ProcessControl, StartsBothWithTheExactCommandLines) {
    app->m_settings.frameRate = 25;
    app->m_settings.port = 8080;
    ASSERT_EQ(app->StartStreaming(), 0u);
    EXPECT_NE(Pid(Program::Server), 0u);
    EXPECT_NE(Process(Program::Server), nullptr);
    EXPECT_NE(Pid(Program::Encoder), 0u);
    EXPECT_NE(Process(Program::Encoder), nullptr);

    std::wstring escaped = dir;
    escaped.replace(escaped.find(L"  "), 2, L"\\  ");
    escaped.replace(escaped.find(L" test"), 5, L"\\ test");
    size_t lastSpace = escaped.rfind(L' ');
    escaped.replace(lastSpace, 1, L"\\ ");
    EXPECT_EQ(CommandLineOf(app->m_serverPath), dir + L"\\server.dll -f \"" + dir + L"\\orvane.conf\"");
    EXPECT_EQ(CommandLineOf(app->m_encoderPath),
              dir + L"\\orvane.dll -f vfwcap -r 25 -i 0 -sameq -vhook \"watermark -f " + escaped +
                  L"\\logo.gif\" http://localhost:8080/feed.ffm");

    // Both already running: nothing more is started.
    DWORD serverPid = Pid(Program::Server);
    EXPECT_EQ(app->StartStreaming(), 0u);
    EXPECT_EQ(Pid(Program::Server), serverPid);
    EXPECT_TRUE(Breaks().empty());
}

TEST_F(ProcessControl, ChildThatExitsIsReapedOnce) {
    wintest::WriteFileBytes(app->m_encoderPath + std::wstring(L".exit"), "");
    ASSERT_EQ(app->StartStreaming(), 0u);
    HANDLE encoder = Process(Program::Encoder);
    ASSERT_EQ(::WaitForSingleObject(encoder, 10000), WAIT_OBJECT_0);
    app->ReapProcesses();
    EXPECT_TRUE(IsZero(Program::Encoder));
    EXPECT_FALSE(IsZero(Program::Server));  // still running, left alone
    DWORD flags = 0;
    EXPECT_FALSE(::GetHandleInformation(encoder, &flags));  // closed by the reap
    app->ReapProcesses();                                   // nothing more to close
    EXPECT_TRUE(IsZero(Program::Encoder));

    // Started again, only the encoder is launched; the server keeps its record.
    ::DeleteFileW((app->m_encoderPath + std::wstring(L".exit")).c_str());
    DWORD serverPid = Pid(Program::Server);
    ASSERT_EQ(app->StartStreaming(), 0u);
    EXPECT_EQ(Pid(Program::Server), serverPid);
    EXPECT_NE(Pid(Program::Encoder), 0u);
}

TEST_F(ProcessControl, StartSoonAfterAProgramEndedLaunchesItAgain) {
    wintest::WriteFileBytes(app->m_encoderPath + std::wstring(L".exit"), "");
    ASSERT_EQ(app->StartStreaming(), 0u);
    const DWORD ended = Pid(Program::Encoder);
    ASSERT_EQ(::WaitForSingleObject(Process(Program::Encoder), 10000), WAIT_OBJECT_0);
    // Pressed before the tick has reaped it.
    ::DeleteFileW((app->m_encoderPath + std::wstring(L".exit")).c_str());
    ASSERT_EQ(app->StartStreaming(), 0u);
    EXPECT_NE(Pid(Program::Encoder), ended);
    EXPECT_EQ(::WaitForSingleObject(Process(Program::Encoder), 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

TEST_F(ProcessControl, FailingServerLaunchStartsNoEncoder) {
    ::DeleteFileW(app->m_serverPath.c_str());
    EXPECT_EQ(app->StartStreaming(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(IsZero(Program::Server));
    EXPECT_TRUE(IsZero(Program::Encoder));
    EXPECT_TRUE(Breaks().empty());
    EXPECT_EQ(Launches(), std::vector<std::wstring>{app->m_serverPath});
}

TEST_F(ProcessControl, FailingEncoderLaunchSignalsTheServer) {
    wintest::WriteFileBytes(app->m_encoderPath, "this is not a program");
    EXPECT_EQ(app->StartStreaming(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
    EXPECT_TRUE(IsZero(Program::Encoder));
    ASSERT_NE(Pid(Program::Server), 0u);
    EXPECT_EQ(Breaks(), std::vector<DWORD>{Pid(Program::Server)});

    ForgetBreaks();
    ::DeleteFileW(app->m_encoderPath.c_str());
    EXPECT_EQ(app->StartStreaming(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Breaks(), std::vector<DWORD>{Pid(Program::Server)});
}

TEST_F(ProcessControl, EscapedDirectoryTooLongFailsTheStart) {
    // 247 characters with 20 single spaces: fits as a directory, not once escaped.
    std::wstring longDir = L"C:";
    while (longDir.size() < 247) longDir += longDir.size() % 12 == 0 ? L" " : L"a";
    CStreamerApp longApp((longDir + L"\\p.exe").c_str());
    ASSERT_TRUE(longApp.m_pathsFit);
    longApp.m_processSystem.generateConsoleCtrlEvent = RecordCtrlBreak;
    longApp.m_programs.Adopt(Program::Server, RunningAs(4242));  // pretend the server runs
    EXPECT_EQ(longApp.StartStreaming(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
    EXPECT_FALSE(longApp.m_programs.Runs(Program::Encoder));
    EXPECT_EQ(Breaks(), std::vector<DWORD>{4242});
}

TEST_F(ProcessControl, StopSignalsEachRecordedGroup) {
    app->StopStreaming();
    EXPECT_TRUE(Breaks().empty());
    app->m_programs.Adopt(Program::Server, RunningAs(11));
    app->StopStreaming();
    EXPECT_EQ(Breaks(), std::vector<DWORD>{11});
    ForgetBreaks();
    app->m_programs.Adopt(Program::Server, {});
    app->m_programs.Adopt(Program::Encoder, RunningAs(22));
    app->StopStreaming();
    EXPECT_EQ(Breaks(), (std::vector<DWORD>{22, 22}));
    ForgetBreaks();
    app->m_programs.Adopt(Program::Server, RunningAs(11));
    app->StopStreaming();
    EXPECT_EQ(Breaks(), (std::vector<DWORD>{22, 22, 11}));
    // Stopping leaves the records; only reaping clears them.
    EXPECT_EQ(Pid(Program::Encoder), 22u);
    app->m_programs.Adopt(Program::Server, {});
    app->m_programs.Adopt(Program::Encoder, {});
}

TEST_F(ProcessControl, StopEndsEachProgramByTheFirstStepThatWorks) {
    enum class Heeds { CtrlBreak, Request, Nothing };
    struct Case {
        const char* name;
        bool breakSent;  // whether Ctrl+Break could be sent
        Heeds heeds;     // what ends the program
        int requestAt;   // ms after the stop when its stop request is set; -1: never
        int terminatedAt;
    };
    const Case cases[] = {
        {"Ctrl+Break cannot be sent: the request at once", false, Heeds::Request, 0, -1},
        {"Ctrl+Break ends it: nothing more", true, Heeds::CtrlBreak, -1, -1},
        {"Ctrl+Break sent but not heeded", true, Heeds::Request, 3000, -1},
        {"deaf: terminated after the request", true, Heeds::Nothing, 3000, 6000},
        {"deaf, and Ctrl+Break cannot be sent", false, Heeds::Nothing, 0, 3000},
    };
    const std::wstring programs[] = {app->m_serverPath, app->m_encoderPath};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const std::wstring& program : programs) {
            ::DeleteFileW((program + L".quit").c_str());
            if (c.heeds == Heeds::Nothing) wintest::WriteFileBytes(program + L".deaf", "");
            else ::DeleteFileW((program + L".deaf").c_str());
        }
        ASSERT_EQ(app->StartStreaming(), 0u);
        const DWORD pids[] = {Pid(Program::Server), Pid(Program::Encoder)};
        HANDLE own[] = {OwnHandle(Process(Program::Server)), OwnHandle(Process(Program::Encoder))};
        app->m_processSystem.generateConsoleCtrlEvent = c.breakSent ? RecordCtrlBreak : RecordFailedCtrlBreak;
        const size_t terminationsBefore = Terminations().size();
        const ULONGLONG stoppedAt = Clock();
        app->StopStreaming();
        if (c.heeds == Heeds::CtrlBreak)
            for (const std::wstring& program : programs) Quit(program);

        // Supervision ticks every 500 ms; a program that heeds what it got ends before the next.
        int requestAt = -1, terminatedAt = -1;
        for (int t = 0; t <= 8000 && (Process(Program::Server) || Process(Program::Encoder)); t += 500) {
            SetClock(stoppedAt + t);
            if (t > 0) app->ReapProcesses();
            if (requestAt < 0 && RequestSet(pids[0]) && RequestSet(pids[1])) requestAt = t;
            if (terminatedAt < 0 && Terminations().size() > terminationsBefore) terminatedAt = t;
            const bool ending = c.heeds == Heeds::CtrlBreak || (c.heeds == Heeds::Request && requestAt >= 0) ||
                                terminatedAt >= 0;
            if (ending) {
                ASSERT_EQ(::WaitForMultipleObjects(2, own, TRUE, kPatience), WAIT_OBJECT_0);
            }
        }
        EXPECT_EQ(requestAt, c.requestAt);
        EXPECT_EQ(terminatedAt, c.terminatedAt);
        EXPECT_TRUE(IsZero(Program::Server));
        EXPECT_TRUE(IsZero(Program::Encoder));
        const DWORD expectedCode = c.heeds == Heeds::Nothing ? kTerminatedExitCode : 0;
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(ExitCodeOf(own[i]), expectedCode);
            ::CloseHandle(own[i]);
        }
        const std::vector<DWORD> all = Terminations();
        const std::vector<DWORD> terminated(all.begin() + terminationsBefore, all.end());
        if (c.terminatedAt >= 0)
            EXPECT_EQ(terminated, (std::vector<DWORD>{pids[1], pids[0]}));  // encoder first, as reaped
        else EXPECT_TRUE(terminated.empty());
    }
}

TEST_F(ProcessControl, EndOfRunRequestsAtOnceAndTerminatesOnlyWhatIsLeft) {
    // Ctrl+Break "sent" and not heeded; the server heeds its request, the encoder nothing.
    wintest::WriteFileBytes(app->m_encoderPath + std::wstring(L".deaf"), "");
    ASSERT_EQ(app->StartStreaming(), 0u);
    const DWORD encoderPid = Pid(Program::Encoder);
    HANDLE server = OwnHandle(Process(Program::Server));
    HANDLE encoder = OwnHandle(Process(Program::Encoder));
    app->StopStreaming();
    EXPECT_TRUE(Terminations().empty());

    app->FinishStopping();  // the clock stands still: only the end of the run's own wait counts
    EXPECT_EQ(Terminations(), std::vector<DWORD>{encoderPid});
    ASSERT_EQ(::WaitForSingleObject(server, kPatience), WAIT_OBJECT_0);
    ASSERT_EQ(::WaitForSingleObject(encoder, kPatience), WAIT_OBJECT_0);
    EXPECT_EQ(ExitCodeOf(server), 0u);
    EXPECT_EQ(ExitCodeOf(encoder), kTerminatedExitCode);
    app->ReapProcesses();
    EXPECT_TRUE(IsZero(Program::Server));
    EXPECT_TRUE(IsZero(Program::Encoder));
    ::CloseHandle(server);
    ::CloseHandle(encoder);
}

TEST_F(ProcessControl, LaunchErrorIsTheOneTheLaunchLeft) {
    // Freeing the command line after a failed launch may overwrite the thread's error
    // code (here every delete sets it to 0); the code reported is the launch's own.
    ::DeleteFileW(app->m_serverPath.c_str());
    {
        wintest::DeleteOverwritesLastError overwrite;
        EXPECT_EQ(app->StartStreaming(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    }
    EXPECT_TRUE(IsZero(Program::Server));

    ASSERT_TRUE(wintest::CopyStandIns(dir));
    wintest::WriteFileBytes(app->m_encoderPath, "this is not a program");
    {
        wintest::DeleteOverwritesLastError overwrite;
        EXPECT_EQ(app->StartStreaming(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
    }
    EXPECT_TRUE(IsZero(Program::Encoder));
    EXPECT_EQ(Breaks(), std::vector<DWORD>{Pid(Program::Server)});
}

TEST_F(ProcessControl, EndOfRunWaitsWithoutHoldingUpThePanelsThread) {
    // Ctrl+Break "sent" and not heeded; the server heeds its request, the encoder nothing.
    wintest::WriteFileBytes(app->m_encoderPath + std::wstring(L".deaf"), "");
    ASSERT_EQ(app->StartStreaming(), 0u);
    const DWORD encoderPid = Pid(Program::Encoder);
    app->m_processSystem.waitForPrograms = WaitWhileThePanelGoesOn;
    g_panelApp = app.get();
    g_panelWentOn = false;
    app->FinishStopping();
    if (g_panelThread.joinable()) g_panelThread.join();
    g_panelApp = nullptr;
    EXPECT_TRUE(g_panelWentOn);
    EXPECT_EQ(Terminations(), std::vector<DWORD>{encoderPid});
}

TEST_F(ProcessControl, NothingIsLaunchedOnceTheRunHasEnded) {
    // A log-off during Start: its clean-up has stopped what ran and frees the console
    // next; a program launched now would run on with nobody to stop it.
    app->FinishStopping();
    EXPECT_EQ(app->StartStreaming(), static_cast<DWORD>(ERROR_SHUTDOWN_IN_PROGRESS));
    EXPECT_TRUE(Launches().empty());
    EXPECT_TRUE(IsZero(Program::Server));
    EXPECT_TRUE(IsZero(Program::Encoder));
}

TEST_F(ProcessControl, ReapLetsTheStopRequestGoBeforeTheProcess) {
    // Once the process handle is closed the id may be given to a new process, which
    // would find a request still held (and set) as its own.
    app->m_processSystem.closeProcess = CloseNotingTheRequest;
    g_requestHeldAtClose.clear();
    ASSERT_EQ(app->StartStreaming(), 0u);
    HANDLE own[] = {OwnHandle(Process(Program::Server)), OwnHandle(Process(Program::Encoder))};
    app->m_processSystem.generateConsoleCtrlEvent = RecordFailedCtrlBreak;
    app->StopStreaming();  // both stop requests set at once
    ASSERT_EQ(::WaitForMultipleObjects(2, own, TRUE, kPatience), WAIT_OBJECT_0);
    app->ReapProcesses();
    EXPECT_TRUE(IsZero(Program::Server));
    EXPECT_TRUE(IsZero(Program::Encoder));
    EXPECT_EQ(g_requestHeldAtClose, (std::vector<bool>{false, false}));
    for (HANDLE h : own) ::CloseHandle(h);
}

TEST_F(ProcessControl, LaunchFailsWhenTheStopRequestsNameIsTaken) {
    // Whoever made the name first could stop the program at will, or has already.
    LaunchThrough(LaunchIntoATakenName);
    EXPECT_EQ(app->StartStreaming(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_TRUE(IsZero(Program::Server));
    EXPECT_TRUE(IsZero(Program::Encoder));
    EXPECT_EQ(Launches(), std::vector<std::wstring>{app->m_serverPath});
    EXPECT_EQ(Terminations().size(), 1u);  // the server, which never ran
    EXPECT_FALSE(wintest::FileExists(app->m_serverPath + L".cmdline"));
    ::CloseHandle(g_takenName);
}

}  // namespace
