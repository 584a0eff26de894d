// The stand-in programs fixture: child_stub.exe in the places of server.dll and
// orvane.dll, in a program folder of the test's own, and the application object of
// that folder with its seams watched: every Ctrl+Break is recorded instead of sent,
// every launch and termination is recorded, and the clock that times a stop moves only
// when the test moves it. Tear-down ends every program the test started.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/streamer_app.h"

namespace wintest {

// Copies the stand-in into dir as server.dll and orvane.dll.
bool CopyStandIns(const std::wstring& dir);

class StandInPrograms : public ::testing::Test {
public:
    // The seam functions, for application objects of the test's own too.
    static BOOL WINAPI RecordCtrlBreak(DWORD event, DWORD group);
    // Records, then fails as under Wine, where Ctrl+Break cannot be sent.
    static BOOL WINAPI RecordFailedCtrlBreak(DWORD event, DWORD group);
    static BOOL WINAPI RecordTerminate(HANDLE process, UINT exitCode);
    static ULONGLONG WINAPI Clock();
    static void SetClock(ULONGLONG now);
    static BOOL WINAPI RecordLaunch(LPCWSTR application, LPWSTR commandLine, LPSECURITY_ATTRIBUTES process,
                                    LPSECURITY_ATTRIBUTES thread, BOOL inherit, DWORD flags, LPVOID environment,
                                    LPCWSTR directory, LPSTARTUPINFOW startup, LPPROCESS_INFORMATION info);
    // What a recorded launch goes on to (CreateProcessW unless a test says otherwise).
    static void LaunchThrough(decltype(&::CreateProcessW) launch);

    // Process groups sent Ctrl+Break so far, in order; any thread may ask.
    static std::vector<DWORD> Breaks();
    static void ForgetBreaks();
    // Programs whose launch was attempted so far, in order.
    static std::vector<std::wstring> Launches();
    // Process ids of the programs terminated so far, in order.
    static std::vector<DWORD> Terminations();

protected:
    // folderName names the program folder (spaces are welcome: paths must escape them).
    explicit StandInPrograms(std::wstring folderName = L"orvane panel test");
    void SetUp() override;
    void TearDown() override;

    // The command line a stand-in was started with, once it has written it.
    static std::wstring CommandLineOf(const std::wstring& program);
    // Tells a stand-in to end.
    static void Quit(const std::wstring& program);

    std::wstring dir;
    std::unique_ptr<CStreamerApp> app;

private:
    void EndStartedPrograms();
    std::wstring m_folderName;
};

}  // namespace wintest
