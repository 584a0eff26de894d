// Process control with real child processes (the stub stands in for both programs).
#include <gtest/gtest.h>

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

// Whether the stop request that the program pid watches has been set.
bool RequestSet(DWORD pid) {
    HANDLE request = ::OpenEventW(SYNCHRONIZE, FALSE, (fixed::kStopRequestPrefix + std::to_wstring(pid)).c_str());
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

// The records that a reap on another thread clears between two signals.
CStreamerApp* g_reapedBetweenSignals = nullptr;

BOOL WINAPI SignalThenReap(DWORD event, DWORD group) {
    StandInPrograms::RecordCtrlBreak(event, group);
    if (CStreamerApp* app = g_reapedBetweenSignals) {
        ZeroMemory(&app->m_encoderProcess, sizeof app->m_encoderProcess);
        ZeroMemory(&app->m_serverProcess, sizeof app->m_serverProcess);
    }
    return TRUE;
}

class ProcessControl : public StandInPrograms {
protected:
    // Two spaces in a row: the encoder's watermark argument must escape the run.
    ProcessControl() : StandInPrograms(L"orvane  proc test") {}
    static bool IsZero(const PROCESS_INFORMATION& p) {
        return !p.hProcess && !p.hThread && !p.dwProcessId && !p.dwThreadId;
    }
};

TEST_F(ProcessControl, StartsBothWithTheExactCommandLines) {
    app->m_settings.frameRate = 25;
    app->m_settings.port = 8080;
    ASSERT_EQ(app->StartStreaming(), 0u);
    EXPECT_NE(app->m_serverProcess.dwProcessId, 0u);
    EXPECT_NE(app->m_serverProcess.hProcess, nullptr);
    EXPECT_NE(app->m_encoderProcess.dwProcessId, 0u);
    EXPECT_NE(app->m_encoderProcess.hProcess, nullptr);

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
    DWORD serverPid = app->m_serverProcess.dwProcessId;
    EXPECT_EQ(app->StartStreaming(), 0u);
    EXPECT_EQ(app->m_serverProcess.dwProcessId, serverPid);
    EXPECT_TRUE(Breaks().empty());
}

TEST_F(ProcessControl, ChildThatExitsIsReapedOnce) {
    wintest::WriteFileBytes(app->m_encoderPath + std::wstring(L".exit"), "");
    ASSERT_EQ(app->StartStreaming(), 0u);
    HANDLE encoder = app->m_encoderProcess.hProcess;
    ASSERT_EQ(::WaitForSingleObject(encoder, 10000), WAIT_OBJECT_0);
    app->ReapProcesses();
    EXPECT_TRUE(IsZero(app->m_encoderProcess));
    EXPECT_FALSE(IsZero(app->m_serverProcess));  // still running, left alone
    DWORD flags = 0;
    EXPECT_FALSE(::GetHandleInformation(encoder, &flags));  // closed by the reap
    app->ReapProcesses();                                   // nothing more to close
    EXPECT_TRUE(IsZero(app->m_encoderProcess));

    // Started again, only the encoder is launched; the server keeps its record.
    ::DeleteFileW((app->m_encoderPath + std::wstring(L".exit")).c_str());
    DWORD serverPid = app->m_serverProcess.dwProcessId;
    ASSERT_EQ(app->StartStreaming(), 0u);
    EXPECT_EQ(app->m_serverProcess.dwProcessId, serverPid);
    EXPECT_NE(app->m_encoderProcess.dwProcessId, 0u);
}

TEST_F(ProcessControl, FailingServerLaunchStartsNoEncoder) {
    ::DeleteFileW(app->m_serverPath);
    EXPECT_EQ(app->StartStreaming(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(IsZero(app->m_serverProcess));
    EXPECT_TRUE(IsZero(app->m_encoderProcess));
    EXPECT_TRUE(Breaks().empty());
    EXPECT_EQ(Launches(), std::vector<std::wstring>{app->m_serverPath});
}

TEST_F(ProcessControl, FailingEncoderLaunchSignalsTheServer) {
    wintest::WriteFileBytes(app->m_encoderPath, "this is not a program");
    EXPECT_EQ(app->StartStreaming(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
    EXPECT_TRUE(IsZero(app->m_encoderProcess));
    ASSERT_NE(app->m_serverProcess.dwProcessId, 0u);
    EXPECT_EQ(Breaks(), std::vector<DWORD>{app->m_serverProcess.dwProcessId});

    ForgetBreaks();
    ::DeleteFileW(app->m_encoderPath);
    EXPECT_EQ(app->StartStreaming(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Breaks(), std::vector<DWORD>{app->m_serverProcess.dwProcessId});
}

TEST_F(ProcessControl, EscapedDirectoryTooLongFailsTheStart) {
    // 247 characters with 20 single spaces: fits as a directory, not once escaped.
    std::wstring longDir = L"C:";
    while (longDir.size() < 247) longDir += longDir.size() % 12 == 0 ? L" " : L"a";
    CStreamerApp longApp((longDir + L"\\p.exe").c_str());
    ASSERT_TRUE(longApp.m_pathsFit);
    longApp.m_processSystem.generateConsoleCtrlEvent = RecordCtrlBreak;
    longApp.m_serverProcess.dwProcessId = 4242;  // pretend the server runs
    EXPECT_EQ(longApp.StartStreaming(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
    EXPECT_TRUE(IsZero(longApp.m_encoderProcess));
    EXPECT_EQ(Breaks(), std::vector<DWORD>{4242});
}

TEST_F(ProcessControl, StopSignalsEachRecordedGroup) {
    app->StopStreaming();
    EXPECT_TRUE(Breaks().empty());
    app->m_serverProcess.dwProcessId = 11;
    app->StopStreaming();
    EXPECT_EQ(Breaks(), std::vector<DWORD>{11});
    ForgetBreaks();
    app->m_serverProcess.dwProcessId = 0;
    app->m_encoderProcess.dwProcessId = 22;
    app->StopStreaming();
    EXPECT_EQ(Breaks(), (std::vector<DWORD>{22, 22}));
    ForgetBreaks();
    app->m_serverProcess.dwProcessId = 11;
    app->StopStreaming();
    EXPECT_EQ(Breaks(), (std::vector<DWORD>{22, 22, 11}));
    // Stopping leaves the records; only reaping clears them.
    EXPECT_EQ(app->m_encoderProcess.dwProcessId, 22u);
    app->m_serverProcess.dwProcessId = 0;
    app->m_encoderProcess.dwProcessId = 0;
}

TEST_F(ProcessControl, StopSignalsTheIdsItReadEvenWhenTheRecordsAreReapedMeanwhile) {
    // At log-off the stop runs on the system's thread while the main thread may reap:
    // here both records are cleared right after the first signal. A second read of an
    // id would then send Ctrl+Break to group 0, every process on the console.
    app->m_processSystem.generateConsoleCtrlEvent = SignalThenReap;
    app->m_encoderProcess.dwProcessId = 22;
    app->m_serverProcess.dwProcessId = 11;
    g_reapedBetweenSignals = app.get();
    app->StopStreaming();
    g_reapedBetweenSignals = nullptr;
    EXPECT_EQ(Breaks(), (std::vector<DWORD>{22, 22, 11}));
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
        const DWORD pids[] = {app->m_serverProcess.dwProcessId, app->m_encoderProcess.dwProcessId};
        HANDLE own[] = {OwnHandle(app->m_serverProcess.hProcess), OwnHandle(app->m_encoderProcess.hProcess)};
        app->m_processSystem.generateConsoleCtrlEvent = c.breakSent ? RecordCtrlBreak : RecordFailedCtrlBreak;
        const size_t terminationsBefore = Terminations().size();
        const ULONGLONG stoppedAt = Clock();
        app->StopStreaming();
        if (c.heeds == Heeds::CtrlBreak)
            for (const std::wstring& program : programs) Quit(program);

        // Supervision ticks every 500 ms; a program that heeds what it got ends before the next.
        int requestAt = -1, terminatedAt = -1;
        for (int t = 0; t <= 8000 && (app->m_serverProcess.hProcess || app->m_encoderProcess.hProcess); t += 500) {
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
        EXPECT_TRUE(IsZero(app->m_serverProcess));
        EXPECT_TRUE(IsZero(app->m_encoderProcess));
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
    const DWORD encoderPid = app->m_encoderProcess.dwProcessId;
    HANDLE server = OwnHandle(app->m_serverProcess.hProcess);
    HANDLE encoder = OwnHandle(app->m_encoderProcess.hProcess);
    app->StopStreaming();
    EXPECT_TRUE(Terminations().empty());

    app->FinishStopping();  // the clock stands still: only the end of the run's own wait counts
    EXPECT_EQ(Terminations(), std::vector<DWORD>{encoderPid});
    ASSERT_EQ(::WaitForSingleObject(server, kPatience), WAIT_OBJECT_0);
    ASSERT_EQ(::WaitForSingleObject(encoder, kPatience), WAIT_OBJECT_0);
    EXPECT_EQ(ExitCodeOf(server), 0u);
    EXPECT_EQ(ExitCodeOf(encoder), kTerminatedExitCode);
    app->ReapProcesses();
    EXPECT_TRUE(IsZero(app->m_serverProcess));
    EXPECT_TRUE(IsZero(app->m_encoderProcess));
    ::CloseHandle(server);
    ::CloseHandle(encoder);
}

TEST_F(ProcessControl, LaunchErrorIsTheOneTheLaunchLeft) {
    // Freeing the command line after a failed launch may overwrite the thread's error
    // code (here every delete sets it to 0); the code reported is the launch's own.
    ::DeleteFileW(app->m_serverPath);
    {
        wintest::DeleteOverwritesLastError overwrite;
        EXPECT_EQ(app->StartStreaming(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    }
    EXPECT_TRUE(IsZero(app->m_serverProcess));

    ASSERT_TRUE(wintest::CopyStandIns(dir));
    wintest::WriteFileBytes(app->m_encoderPath, "this is not a program");
    {
        wintest::DeleteOverwritesLastError overwrite;
        EXPECT_EQ(app->StartStreaming(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
    }
    EXPECT_TRUE(IsZero(app->m_encoderProcess));
    EXPECT_EQ(Breaks(), std::vector<DWORD>{app->m_serverProcess.dwProcessId});
}

}  // namespace
