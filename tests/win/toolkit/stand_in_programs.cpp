#include "toolkit/stand_in_programs.h"

#include <atomic>
#include <mutex>

#include "toolkit/files.h"
#include "toolkit/wait.h"

namespace wintest {

namespace {

// The seams are plain functions, so what they record lives here; one test runs per process.
std::mutex g_lock;
std::vector<DWORD> g_breaks;
std::vector<std::wstring> g_launches;
std::vector<DWORD> g_terminations;
std::atomic<ULONGLONG> g_clock{0};
std::vector<HANDLE> g_started;  // our own handles of every program started
decltype(&::CreateProcessW) g_launch = ::CreateProcessW;

}  // namespace

bool CopyStandIns(const std::wstring& dir) {
    const std::wstring stub = ModuleDir() + L"\\child_stub.exe";
    return ::CopyFileW(stub.c_str(), (dir + L"\\server.dll").c_str(), FALSE) &&
           ::CopyFileW(stub.c_str(), (dir + L"\\orvane.dll").c_str(), FALSE);
}

StandInPrograms::StandInPrograms(std::wstring folderName) : m_folderName(std::move(folderName)) {}

void StandInPrograms::SetUp() {
    {
        std::lock_guard<std::mutex> lock(g_lock);
        g_breaks.clear();
        g_launches.clear();
        g_terminations.clear();
        g_launch = ::CreateProcessW;
    }
    g_clock = 1000000;
    dir = MakeTempDir(m_folderName);
    ASSERT_TRUE(CopyStandIns(dir));
    app = std::make_unique<CStreamerApp>((dir + L"\\OrvaneDemo.exe").c_str());
    app->m_processSystem.generateConsoleCtrlEvent = RecordCtrlBreak;
    app->m_processSystem.createProcess = RecordLaunch;
    app->m_processSystem.terminateProcess = RecordTerminate;
    app->m_processSystem.tickCount = Clock;
}

void StandInPrograms::TearDown() {
    EndStartedPrograms();
    if (app) {
        app->ReapProcesses();
        app.reset();
    }
    RemoveTree(dir);
}

// Tells both stand-ins to end and waits until every program started has ended; one
// that does not is a failure and is ended here, so that nothing outlives its test.
void StandInPrograms::EndStartedPrograms() {
    Quit(dir + L"\\server.dll");
    Quit(dir + L"\\orvane.dll");
    std::vector<HANDLE> started;
    {
        std::lock_guard<std::mutex> lock(g_lock);
        started.swap(g_started);
    }
    for (HANDLE process : started) {
        if (::WaitForSingleObject(process, kPatience) != WAIT_OBJECT_0) {
            ADD_FAILURE() << "a program the test started did not end";
            ::TerminateProcess(process, 1);
            ::WaitForSingleObject(process, kPatience);
        }
        ::CloseHandle(process);
    }
}

BOOL WINAPI StandInPrograms::RecordCtrlBreak(DWORD event, DWORD group) {
    std::lock_guard<std::mutex> lock(g_lock);
    if (event == CTRL_BREAK_EVENT) g_breaks.push_back(group);
    return TRUE;
}

BOOL WINAPI StandInPrograms::RecordFailedCtrlBreak(DWORD event, DWORD group) {
    RecordCtrlBreak(event, group);
    ::SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

BOOL WINAPI StandInPrograms::RecordTerminate(HANDLE process, UINT exitCode) {
    {
        std::lock_guard<std::mutex> lock(g_lock);
        g_terminations.push_back(::GetProcessId(process));
    }
    return ::TerminateProcess(process, exitCode);
}

ULONGLONG WINAPI StandInPrograms::Clock() { return g_clock; }

void StandInPrograms::SetClock(ULONGLONG now) { g_clock = now; }

BOOL WINAPI StandInPrograms::RecordLaunch(LPCWSTR application, LPWSTR commandLine, LPSECURITY_ATTRIBUTES process,
                                          LPSECURITY_ATTRIBUTES thread, BOOL inherit, DWORD flags, LPVOID environment,
                                          LPCWSTR directory, LPSTARTUPINFOW startup, LPPROCESS_INFORMATION info) {
    decltype(&::CreateProcessW) launch;
    {
        std::lock_guard<std::mutex> lock(g_lock);
        g_launches.push_back(application ? application : L"");
        launch = g_launch;
    }
    if (!launch(application, commandLine, process, thread, inherit, flags, environment, directory, startup, info))
        return FALSE;
    const DWORD error = ::GetLastError();  // the caller may read it; ours must not change it
    HANDLE own = nullptr;
    if (::DuplicateHandle(::GetCurrentProcess(), info->hProcess, ::GetCurrentProcess(), &own, SYNCHRONIZE, FALSE, 0)) {
        std::lock_guard<std::mutex> lock(g_lock);
        g_started.push_back(own);
    }
    ::SetLastError(error);
    return TRUE;
}

void StandInPrograms::LaunchThrough(decltype(&::CreateProcessW) launch) {
    std::lock_guard<std::mutex> lock(g_lock);
    g_launch = launch;
}

std::vector<DWORD> StandInPrograms::Breaks() {
    std::lock_guard<std::mutex> lock(g_lock);
    return g_breaks;
}

void StandInPrograms::ForgetBreaks() {
    std::lock_guard<std::mutex> lock(g_lock);
    g_breaks.clear();
}

std::vector<std::wstring> StandInPrograms::Launches() {
    std::lock_guard<std::mutex> lock(g_lock);
    return g_launches;
}

std::vector<DWORD> StandInPrograms::Terminations() {
    std::lock_guard<std::mutex> lock(g_lock);
    return g_terminations;
}

std::wstring StandInPrograms::CommandLineOf(const std::wstring& program) {
    // The stand-in renames the file into place once written, but under Wine a reader can
    // still find it empty or not yet open to it for a moment; a command line is never empty.
    const std::wstring file = program + L".cmdline";
    std::wstring line;
    if (!WaitUntil([&] { return !(line = ReadUtf16File(file)).empty(); })) return L"(not started)";
    return line;
}

void StandInPrograms::Quit(const std::wstring& program) { WriteFileBytes(program + L".quit", ""); }

}  // namespace wintest
