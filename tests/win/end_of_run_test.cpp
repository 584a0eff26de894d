// The application run as wWinMain runs it, in this process: an exception that leaves
// the panel still ends the run in order, with the programs stopped, the console given
// up and logo.gif gone.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cwchar>
#include <new>

#include "res/resource.h"
#include "toolkit/files.h"
#include "toolkit/panel_fixture.h"
#include "toolkit/wait.h"

using wintest::PanelTest;
using wintest::WaitUntil;

namespace {

// No firewall objects: the firewall step fails silently and start-up goes on.
HRESULT WINAPI NoFirewall(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID* object) {
    *object = nullptr;
    return REGDB_E_CLASSNOTREG;
}

// Starts the server's stand-in; the encoder's launch throws, as running out of memory
// in the middle of a press would.
BOOL WINAPI ServerThenThrow(LPCWSTR application, LPWSTR commandLine, LPSECURITY_ATTRIBUTES process,
                            LPSECURITY_ATTRIBUTES thread, BOOL inherit, DWORD flags, LPVOID environment,
                            LPCWSTR directory, LPSTARTUPINFOW startup, LPPROCESS_INFORMATION info) {
    if (std::wcsstr(application, L"orvane.dll")) throw std::bad_alloc();
    return ::CreateProcessW(application, commandLine, process, thread, inherit, flags, environment, directory, startup,
                            info);
}

class EndOfRun : public PanelTest {
protected:
    int runResult = -1;
    std::atomic<bool> escaped{false};
};

}  // namespace

TEST_F(EndOfRun, ExceptionFromThePanelStillStopsTheProgramsAndRemovesTheWatermark) {
    app->m_processSystem.coCreateInstance = NoFirewall;
    LaunchThrough(ServerThenThrow);
    // Start-up makes a console of its own; this test program may have been given one.
    ::FreeConsole();
    Run([this] {
        try {
            runResult = app->Run();
        } catch (...) {
            escaped = true;
        }
    });
    EXPECT_TRUE(wintest::FileExists(dir + L"\\logo.gif"));

    PostClick(IDC_START_STOP);
    wintest::AnsweredBox box = Answer();
    ASSERT_TRUE(WaitUntil([this] { return ended.load(); }));
    EXPECT_FALSE(escaped);
    EXPECT_EQ(runResult, 1);
    EXPECT_EQ(box.text, L"Error: Unexpected failure! The program ends.");
    EXPECT_EQ(box.caption, L"win_tests");
    EXPECT_EQ(box.owner, nullptr);

    // The server had been started: it got its Ctrl+Break. logo.gif is closed and gone.
    const DWORD server = app->m_programs.ProcessId(Program::Server);
    ASSERT_NE(server, 0u);
    EXPECT_EQ(Breaks(), std::vector<DWORD>{server});
    EXPECT_EQ(app->m_logoFile, nullptr);
    EXPECT_FALSE(wintest::FileExists(dir + L"\\logo.gif"));
    EXPECT_EQ(app->m_instanceMutex, nullptr);
    // The console was given up: a new one can be made.
    EXPECT_TRUE(::AllocConsole());
    ::FreeConsole();

    if (app->m_logoFile) {  // left open when the clean-up was skipped
        std::fclose(app->m_logoFile);
        app->m_logoFile = nullptr;
    }
}
