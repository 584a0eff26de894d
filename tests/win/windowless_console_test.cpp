// Which way the panel's console is made, with the system's functions replaced: the
// windowless ways first, the hidden console window only when both fail.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/windowless_console.h"

namespace {

// What the fake system answers, and the calls it saw.
struct Script {
    HRESULT optionsResult = S_OK;
    int optionsConsole = kAllocConsoleNewConsole;
    bool helperStarts = true;
    int attachFailures = 0;   // attaches that fail before one succeeds (-1: all fail)
    bool helperEnds = false;  // the helper has ended when first waited for
    bool allocSucceeds = true;
};
Script g_script;
std::vector<std::string> g_calls;
std::wstring g_helperLine;
DWORD g_helperFlags = 0;
DWORD g_attachedTo = 0;

HRESULT WINAPI FakeAllocWithOptions(AllocConsoleOptions* options, int* result) {
    g_calls.push_back("options mode " + std::to_string(options->mode));
    *result = g_script.optionsConsole;
    return g_script.optionsResult;
}
BOOL WINAPI FakeCreateProcess(LPCWSTR, LPWSTR line, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD flags,
                              LPVOID, LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION info) {
    g_calls.push_back("create");
    g_helperLine = line;
    g_helperFlags = flags;
    if (!g_script.helperStarts) return FALSE;
    info->hProcess = nullptr;  // nothing for the code under test to close
    info->hThread = nullptr;
    info->dwProcessId = 4711;
    return TRUE;
}
BOOL WINAPI FakeAttach(DWORD pid) {
    g_calls.push_back("attach");
    g_attachedTo = pid;
    if (g_script.attachFailures < 0) return FALSE;
    return g_script.attachFailures-- == 0;
}
DWORD WINAPI FakeWait(HANDLE, DWORD) { return g_script.helperEnds ? WAIT_OBJECT_0 : WAIT_TIMEOUT; }
BOOL WINAPI FakeTerminate(HANDLE, UINT) {
    g_calls.push_back("terminate");
    return TRUE;
}
BOOL WINAPI FakeAlloc() {
    g_calls.push_back("alloc");
    return g_script.allocSucceeds;
}
HWND WINAPI FakeConsoleWindow() { return reinterpret_cast<HWND>(0x1234); }
BOOL WINAPI FakeVisible(HWND) { return TRUE; }
BOOL WINAPI FakeShow(HWND, int show) {
    g_calls.push_back("show " + std::to_string(show));
    return TRUE;
}

ConsoleSystem FakeSystem(bool hasOptions) {
    ConsoleSystem s;
    s.allocConsoleWithOptions = hasOptions ? FakeAllocWithOptions : nullptr;
    s.createProcess = FakeCreateProcess;
    s.attachConsole = FakeAttach;
    s.waitForSingleObject = FakeWait;
    s.terminateProcess = FakeTerminate;
    s.allocConsole = FakeAlloc;
    s.getConsoleWindow = FakeConsoleWindow;
    s.isWindowVisible = FakeVisible;
    s.showWindow = FakeShow;
    return s;
}

std::string Join(const std::vector<std::string>& calls) {
    std::string all;
    for (const std::string& c : calls) all += (all.empty() ? "" : ", ") + c;
    return all;
}

}  // namespace

TEST(WindowlessConsole, TakesTheFirstWayThatWorks) {
    struct Case {
        const char* what;
        bool hasOptions;
        Script script;
        ConsoleMade made;
        const char* calls;
    };
    const Case cases[] = {
        {"Windows 11 24H2", true, {}, ConsoleMade::WithoutWindow, "options mode 2"},
        {"no AllocConsoleWithOptions: the helper's console",
         false,
         {S_OK, 1, true, 2},
         ConsoleMade::FromHelper,
         "create, attach, attach, attach, terminate"},
        {"AllocConsoleWithOptions fails",
         true,
         {E_FAIL},
         ConsoleMade::FromHelper,
         "options mode 2, create, attach, terminate"},
        {"an existing console is no new one",
         true,
         {S_OK, 2, true, -1, true, false},
         ConsoleMade::None,
         "options mode 2, create, attach, terminate, alloc"},
        {"the helper cannot start", false, {S_OK, 1, false}, ConsoleMade::HiddenWindow, "create, alloc, show 0"},
        {"the helper ends at once",
         false,
         {S_OK, 1, true, -1, true},
         ConsoleMade::HiddenWindow,
         "create, attach, terminate, alloc, show 0"},
        {"nothing works", false, {S_OK, 1, false, 0, false, false}, ConsoleMade::None, "create, alloc"},
    };
    for (const Case& c : cases) {
        g_script = c.script;
        g_calls.clear();
        EXPECT_EQ(MakeWindowlessConsole(FakeSystem(c.hasOptions)), c.made) << c.what;
        EXPECT_EQ(Join(g_calls), c.calls) << c.what;
    }
}

TEST(WindowlessConsole, TheHelperIsTheSystemsCommandProcessorWithoutAWindow) {
    g_script = Script{S_OK, 1, true, 0};
    g_calls.clear();
    ASSERT_EQ(MakeWindowlessConsole(FakeSystem(false)), ConsoleMade::FromHelper);
    wchar_t systemDir[MAX_PATH];
    ::GetSystemDirectoryW(systemDir, MAX_PATH);
    EXPECT_EQ(g_helperLine, L"\"" + std::wstring(systemDir) + L"\\cmd.exe\" /d /q /k");
    EXPECT_EQ(g_helperFlags, static_cast<DWORD>(CREATE_NO_WINDOW));
    EXPECT_EQ(g_attachedTo, 4711u);

    // A helper that never lets the panel in is given up after a bounded wait.
    g_script = Script{S_OK, 1, true, -1};
    g_calls.clear();
    EXPECT_EQ(MakeWindowlessConsole(FakeSystem(false)), ConsoleMade::HiddenWindow);
    EXPECT_EQ(std::count(g_calls.begin(), g_calls.end(), "attach"), 200);
}
