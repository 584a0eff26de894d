// The whole program from its entry point: OrvaneDemo.exe launched in a program folder
// of its own, as a user starts it.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "app/streamer_app.h"
#include "res/watermark.h"
#include "toolkit/files.h"
#include "toolkit/fixed_values.h"
#include "toolkit/launched_program.h"
#include "toolkit/loopback_connection.h"
#include "toolkit/message_boxes.h"
#include "toolkit/shell_recorder.h"
#include "toolkit/stand_in_programs.h"
#include "toolkit/wait.h"
#include "toolkit/window_text.h"

namespace {

using wintest::BoxScope;
using wintest::EndProgramsIn;
using wintest::ExitPanel;
using wintest::FindPanel;
using wintest::kPatience;
using wintest::Launched;
using wintest::ProgramsIn;
using wintest::TextOf;
using wintest::WaitForPanel;
using wintest::WaitUntil;

std::wstring BuildDir() { return wintest::ModuleDir() + L"\\..\\.."; }

// Whether every one of the programs ended within the patience, each with its own exit
// code 0: ended by its own stop, not terminated. Closes the handles.
bool AllEndedCleanly(std::vector<HANDLE>& programs, std::string& failure) {
    bool ok = true;
    for (HANDLE p : programs) {
        DWORD code = STILL_ACTIVE;
        if (::WaitForSingleObject(p, kPatience) != WAIT_OBJECT_0 || !::GetExitCodeProcess(p, &code) || code != 0) {
            failure += "a program ended with " + std::to_string(code) + " (259: still running); ";
            ok = false;
        }
        ::CloseHandle(p);
    }
    programs.clear();
    return ok;
}

// Runs the program's console control handlers for event, as the system does at log-off:
// a thread in it at kernelbase's CtrlRoutine (a Wine-only technique; the system's own
// events do not come under Wine).
bool SendConsoleEvent(HANDLE process, DWORD event) {
    auto routine = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernelbase.dll"), "CtrlRoutine")));
    if (!routine) return false;
    HANDLE thread = ::CreateRemoteThread(process, nullptr, 0, routine,
                                         reinterpret_cast<void*>(static_cast<ULONG_PTR>(event)), 0, nullptr);
    if (!thread) return false;
    const bool done = ::WaitForSingleObject(thread, kPatience) == WAIT_OBJECT_0;
    ::CloseHandle(thread);
    return done;
}

class Startup : public ::testing::Test {
protected:
    void SetUp() override {
        dir = wintest::MakeTempDir(L"orvane startup");
        exe = dir + L"\\OrvaneDemo.exe";
        ASSERT_TRUE(::CopyFileW((BuildDir() + L"\\app\\OrvaneDemo.exe").c_str(), exe.c_str(), FALSE));
    }
    void TearDown() override {
        EndProgramsIn(dir);
        wintest::RemoveTree(dir);
    }
    void AddStandIns() { ASSERT_TRUE(wintest::CopyStandIns(dir)); }

    std::wstring dir, exe;
};

TEST_F(Startup, MissingEncoderIsReportedFirstAndNoPanelOpens) {
    Launched program(exe);
    ASSERT_TRUE(program.ok());
    wintest::AnsweredBox box = wintest::AnswerMessageBox(BoxScope::Process(program.pid()));
    ASSERT_TRUE(box.found);
    EXPECT_EQ(box.caption, fixed::kProgramCaption);
    EXPECT_EQ(box.text, L"Error: Program files corrupted! Please re-install!\n" + dir + L"\\orvane.dll (2)");
    EXPECT_EQ(program.WaitExit(kPatience), 0u);
    EXPECT_EQ(FindPanel(), nullptr);

    // With the encoder there and the server missing, the server is named.
    std::wstring stub = wintest::ModuleDir() + L"\\child_stub.exe";
    ASSERT_TRUE(::CopyFileW(stub.c_str(), (dir + L"\\orvane.dll").c_str(), FALSE));
    Launched second(exe);
    EXPECT_EQ(wintest::AnswerMessageBox(BoxScope::Process(second.pid())).text,
              L"Error: Program files corrupted! Please re-install!\n" + dir + L"\\server.dll (2)");
    EXPECT_EQ(second.WaitExit(kPatience), 0u);
}

TEST_F(Startup, UnwritableWatermarkEndsStartUp) {
    AddStandIns();
    // Root ignores read-only bits: a folder in the file's place cannot be opened either.
    ASSERT_TRUE(::CreateDirectoryW((dir + L"\\logo.gif").c_str(), nullptr));
    Launched program(exe);
    EXPECT_EQ(wintest::AnswerMessageBox(BoxScope::Process(program.pid())).text,
              L"Error: Environment init failed! (-2)");
    EXPECT_EQ(program.WaitExit(kPatience), 0u);
    EXPECT_EQ(FindPanel(), nullptr);
}

TEST_F(Startup, NormalRunWritesTheWatermarkAndRemovesItAtExit) {
    AddStandIns();
    wintest::WriteFileBytes(dir + L"\\logo.gif", "old contents, overwritten");
    wintest::WriteFileBytes(dir + L"\\orvane.conf", "Port 8089\r\nVideoFrameRate 20\r\n");
    Launched program(exe);
    HWND panel = WaitForPanel();
    ASSERT_NE(panel, nullptr);
    std::string logo = wintest::ReadFileBytes(dir + L"\\logo.gif");
    EXPECT_EQ(logo, std::string(reinterpret_cast<const char*>(kWatermarkGif), kWatermarkGifSize));
    // The settings were read back: the port edit shows the file's port.
    EXPECT_EQ(TextOf(::GetDlgItem(panel, fixed::kPortEdit)), L"8089");

    ASSERT_TRUE(ExitPanel(panel, program, false));
    EXPECT_FALSE(wintest::FileExists(dir + L"\\logo.gif"));
    std::string conf = wintest::ReadFileBytes(dir + L"\\orvane.conf");
    EXPECT_EQ(conf.substr(0, 11), "Port 8089\r\n");
    EXPECT_NE(conf.find("VideoFrameRate 20\r\n"), std::string::npos);
}

TEST_F(Startup, SecondLaunchBringsTheHiddenPanelBack) {
    AddStandIns();
    Launched first(exe);
    HWND panel = WaitForPanel();
    ASSERT_NE(panel, nullptr);
    ::PostMessageW(panel, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);  // Escape hides
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindowVisible(panel); }));

    Launched second(exe);
    EXPECT_EQ(second.WaitExit(kPatience), 0u);
    EXPECT_TRUE(WaitUntil([&] { return ::IsWindowVisible(panel) != FALSE; }));
    EXPECT_EQ(first.WaitExit(0), static_cast<DWORD>(STILL_ACTIVE));
    EXPECT_TRUE(ExitPanel(panel, first, false));
}

TEST_F(Startup, HelpCommandAsksForTheHelpFileNamedLikeTheProgram) {
    AddStandIns();
    Launched program(exe);
    HWND panel = WaitForPanel();
    ASSERT_NE(panel, nullptr);
    ::PostMessageW(panel, WM_COMMAND, MAKEWPARAM(fixed::kHelpCommand, 0), 0);
    // Wine's help viewer asks, in a box of its own process, for the file it cannot find.
    const std::wstring expected = dir + L"\\OrvaneDemo.HLP";
    HWND box = nullptr;
    WaitUntil([&] {
        for (HWND candidate : wintest::MessageBoxes(BoxScope::AnyProcess()))
            if (TextOf(::GetDlgItem(candidate, 0xFFFF)).find(expected) != std::wstring::npos) box = candidate;
        return box != nullptr;
    });
    ASSERT_NE(box, nullptr) << "no help viewer asked for OrvaneDemo.HLP";
    // What the viewer does next is not this program's: it is ended here.
    DWORD viewer = 0;
    ::GetWindowThreadProcessId(box, &viewer);
    if (HANDLE process = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, viewer)) {
        ::TerminateProcess(process, 0);
        ::WaitForSingleObject(process, kPatience);
        ::CloseHandle(process);
    }
    EXPECT_TRUE(ExitPanel(panel, program, false));
}

TEST(ConsoleHandler, CtrlCAndCtrlBreakAreNotHandled) {
    CStreamerApp app(L"C:\\Cam\\OrvaneDemo.exe");
    for (DWORD event : {CTRL_C_EVENT, CTRL_BREAK_EVENT}) EXPECT_FALSE(ConsoleCtrlHandler(event));
}

int g_breaks = 0;
BOOL WINAPI CountBreak(DWORD, DWORD) {
    ++g_breaks;
    return TRUE;
}

TEST(ConsoleHandler, CleanUpTwiceClosesTheWatermarkOnce) {
    std::wstring dir = wintest::MakeTempDir(L"orvane cleanup");
    CStreamerApp app((dir + L"\\OrvaneDemo.exe").c_str());
    g_breaks = 0;
    app.m_processSystem.generateConsoleCtrlEvent = CountBreak;
    app.m_programs.Adopt(Program::Server, ProcessRecord{{}, {}, 77, 0});
    app.m_logoFile = _wfopen((dir + L"\\logo.gif").c_str(), L"wb");
    ASSERT_NE(app.m_logoFile, nullptr);
    EXPECT_TRUE(ConsoleCtrlHandler(CTRL_LOGOFF_EVENT));
    EXPECT_EQ(app.m_logoFile, nullptr);
    EXPECT_FALSE(wintest::FileExists(dir + L"\\logo.gif"));
    EXPECT_TRUE(ConsoleCtrlHandler(CTRL_SHUTDOWN_EVENT));  // and again at the end of the run
    EXPECT_EQ(g_breaks, 2);
    app.m_programs.Adopt(Program::Server, {});
    wintest::RemoveTree(dir);
}

// Whether the panel's tray icon is known to the shell (modifying it succeeds).
bool HasTrayIcon(HWND panel) {
    NOTIFYICONDATAW record = {};
    record.cbSize = NOTIFYICONDATAW_V2_SIZE;
    record.hWnd = panel;
    record.uID = 0;
    record.uFlags = NIF_TIP;
    wcscpy(record.szTip, fixed::kPanelTitle);
    return ::Shell_NotifyIconW(NIM_MODIFY, &record) != FALSE;
}

// Presses Start and waits until both stand-ins have said what console they run in.
bool StartStandIns(HWND panel, const std::wstring& dir) {
    HWND button = ::GetDlgItem(panel, fixed::kStartStopButton);
    ::PostMessageW(panel, WM_COMMAND, MAKEWPARAM(fixed::kStartStopButton, BN_CLICKED),
                   reinterpret_cast<LPARAM>(button));
    return WaitUntil([&] {
        return TextOf(button) == fixed::kStopCaption && wintest::FileExists(dir + L"\\server.dll.console") &&
               wintest::FileExists(dir + L"\\orvane.dll.console");
    });
}

// Collects the visible top-level windows of console hosts, by their process's image path.
BOOL CALLBACK CollectConsoleHostWindow(HWND wnd, LPARAM list) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(wnd, &pid);
    HANDLE p = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!p) return TRUE;
    wchar_t path[MAX_PATH * 2] = {};
    DWORD size = MAX_PATH * 2;
    if (::QueryFullProcessImageNameW(p, 0, path, &size) && ::IsWindowVisible(wnd) &&
        (std::wcsstr(path, L"conhost.exe") || std::wcsstr(path, L"cmd.exe")))
        reinterpret_cast<std::vector<std::wstring>*>(list)->push_back(path);
    ::CloseHandle(p);
    return TRUE;
}

std::vector<std::wstring> VisibleConsoleHostWindows() {
    std::vector<std::wstring> found;
    ::EnumWindows(CollectConsoleHostWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

TEST_F(Startup, TheProgramsShareTheConsoleOfThePanelWhichHasNoWindow) {
    AddStandIns();
    Launched program(exe);
    HWND panel = WaitForPanel();
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(StartStandIns(panel, dir));
    // Each program sees itself, the panel and (while it runs) the other one in its
    // console, and no window of that console, shown or hidden.
    for (const wchar_t* program : {L"\\server.dll.console", L"\\orvane.dll.console"}) {
        const std::string console = wintest::ReadFileBytes(dir + program);
        ASSERT_GE(console.size(), 9u);
        EXPECT_EQ(console.substr(console.size() - 9), " window 0") << console;
        EXPECT_GE(std::atoi(console.c_str() + std::strlen("processes ")), 2) << console;
    }
    EXPECT_EQ(VisibleConsoleHostWindows(), std::vector<std::wstring>{});
    EXPECT_TRUE(ExitPanel(panel, program, true));
}

TEST_F(Startup, ClosingTheConsoleEndsTheRun) {
    AddStandIns();
    Launched program(exe);
    HWND panel = WaitForPanel();
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(StartStandIns(panel, dir));
    std::vector<HANDLE> programs = ProgramsIn(dir, SYNCHRONIZE);
    ASSERT_EQ(programs.size(), 2u);
    ASSERT_TRUE(HasTrayIcon(panel));

    ASSERT_TRUE(SendConsoleEvent(program.process(), CTRL_CLOSE_EVENT));
    std::string failure;
    EXPECT_TRUE(AllEndedCleanly(programs, failure)) << failure;
    EXPECT_FALSE(wintest::FileExists(dir + L"\\logo.gif"));
    EXPECT_FALSE(HasTrayIcon(panel));
    // Windows ends the process once the handler has returned; under Wine it goes on,
    // and is ended as a user would once it has seen the programs end.
    if (program.WaitExit(0) == STILL_ACTIVE) {
        HWND button = ::GetDlgItem(panel, fixed::kStartStopButton);
        EXPECT_TRUE(WaitUntil([&] { return TextOf(button) == fixed::kStartCaption; }));
        EXPECT_TRUE(ExitPanel(panel, program, false));
    }
}

// Reads from the stream until it has seen `frames` JPEG images in an SWF body.
bool ReadLiveFrames(int port, int frames, std::string& failure) {
    wintest::LoopbackConnection server(port);
    // The server listens a moment after the panel has started it.
    if (!WaitUntil([&] { return server.Connect(); })) {
        failure = "cannot connect";
        return false;
    }
    server.Send("GET /demo.swf HTTP/1.0\r\n\r\n");
    std::string data;
    char buf[16384];
    bool ok = false;
    const ULONGLONG start = ::GetTickCount64();
    while (::GetTickCount64() - start < kPatience) {
        int n = server.Receive(buf, sizeof buf);
        if (n <= 0) break;
        data.append(buf, n);
        size_t body = data.find("\r\n\r\n");
        size_t count = 0;
        for (size_t at = body;
             body != std::string::npos && (at = data.find("\xFF\xD8\xFF", at + 1)) != std::string::npos;)
            ++count;
        if (body != std::string::npos && static_cast<int>(count) >= frames) {
            ok = data.compare(0, 12, "HTTP/1.0 200") == 0 || data.compare(0, 12, "HTTP/1.1 200") == 0;
            ok = ok && data.compare(body + 4, 3, "FWS") == 0;
            if (!ok) failure = "not an SWF stream: " + data.substr(0, 64);
            break;
        }
    }
    if (!ok && failure.empty()) failure = "only " + std::to_string(data.size()) + " bytes";
    return ok;
}

TEST_F(Startup, RealProgramsStreamAndTheTestPagePointsAtThem) {
    ASSERT_TRUE(
        ::CopyFileW((BuildDir() + L"\\programs\\server\\server.dll").c_str(), (dir + L"\\server.dll").c_str(), FALSE));
    ASSERT_TRUE(
        ::CopyFileW((BuildDir() + L"\\programs\\encoder\\orvane.dll").c_str(), (dir + L"\\orvane.dll").c_str(), FALSE));
    const int port = 20000 + static_cast<int>(::GetCurrentProcessId() % 20000);
    wintest::WriteFileBytes(dir + L"\\orvane.conf", "Port " + std::to_string(port) + "\r\nVideoSize 320x240\r\n");
    // Wine cannot open a capture device: the children inherit the synthetic camera.
    ::SetEnvironmentVariableW(L"ORVANE_VIDEO_SOURCE", L"testsrc");
    wintest::ShellRecorder shell;
    Launched program(exe);
    HWND panel = WaitForPanel();
    ASSERT_NE(panel, nullptr);
    HWND button = ::GetDlgItem(panel, fixed::kStartStopButton);
    ::PostMessageW(panel, WM_COMMAND, MAKEWPARAM(fixed::kStartStopButton, BN_CLICKED),
                   reinterpret_cast<LPARAM>(button));
    ASSERT_TRUE(WaitUntil([&] { return TextOf(button) == fixed::kStopCaption; }));

    std::string failure;
    EXPECT_TRUE(ReadLiveFrames(port, 3, failure)) << failure;
    EXPECT_EQ(TextOf(button), fixed::kStopCaption);                                // both programs still run
    EXPECT_TRUE(wintest::MessageBoxes(BoxScope::Process(program.pid())).empty());  // no failure reported

    HWND testPage = ::GetDlgItem(panel, fixed::kTestPageButton);
    ::PostMessageW(panel, WM_COMMAND, MAKEWPARAM(fixed::kTestPageButton, BN_CLICKED),
                   reinterpret_cast<LPARAM>(testPage));
    // The page is opened by the program, not by this process: wait until it shows.
    std::vector<std::wstring> opened;
    ASSERT_TRUE(WaitUntil([&] { return !(opened = shell.Opened()).empty(); }));
    EXPECT_NE(opened[0].find(L"demo.html"), std::wstring::npos);
    std::string page = wintest::ReadFileBytes(dir + L"\\demo.html");
    EXPECT_NE(page.find(":" + std::to_string(port) + "/demo.swf\""), std::string::npos);
    EXPECT_NE(page.find(":" + std::to_string(port) + "/demo.mjpg\""), std::string::npos);
    EXPECT_NE(page.find("width=\"320\" height=\"240\""), std::string::npos);

    EXPECT_TRUE(ExitPanel(panel, program, true));
    ::SetEnvironmentVariableW(L"ORVANE_VIDEO_SOURCE", nullptr);
}

// The real programs beside the panel, serving on a port of the test's own with the
// synthetic camera, which the programs the panel starts inherit.
class RealPrograms : public Startup {
protected:
    void SetUp() override {
        Startup::SetUp();
        ASSERT_TRUE(::CopyFileW((BuildDir() + L"\\programs\\server\\server.dll").c_str(),
                                (dir + L"\\server.dll").c_str(), FALSE));
        ASSERT_TRUE(::CopyFileW((BuildDir() + L"\\programs\\encoder\\orvane.dll").c_str(),
                                (dir + L"\\orvane.dll").c_str(), FALSE));
        port = 20000 + static_cast<int>((::GetCurrentProcessId() * 7 + 13) % 20000);
        wintest::WriteFileBytes(dir + L"\\orvane.conf", "Port " + std::to_string(port) + "\r\n");
        ::SetEnvironmentVariableW(L"ORVANE_VIDEO_SOURCE", L"testsrc");
    }
    void TearDown() override {
        ::SetEnvironmentVariableW(L"ORVANE_VIDEO_SOURCE", nullptr);
        Startup::TearDown();
    }
    // Presses Start/Stop and waits for the caption it leads to.
    static bool Press(HWND panel, const wchar_t* expectedCaption) {
        HWND button = ::GetDlgItem(panel, fixed::kStartStopButton);
        ::PostMessageW(panel, WM_COMMAND, MAKEWPARAM(fixed::kStartStopButton, BN_CLICKED),
                       reinterpret_cast<LPARAM>(button));
        return WaitUntil([&] { return TextOf(button) == expectedCaption; });
    }
    // Starts streaming and reads a few pictures; the two programs, opened to wait on them.
    // A press that comes before the panel has reaped the programs of the last run
    // starts nothing (their records still stand), and the next tick stops the panel
    // again: then it is pressed again, as a user would.
    std::vector<HANDLE> StartAndWatch(HWND panel) {
        HWND button = ::GetDlgItem(panel, fixed::kStartStopButton);
        std::vector<HANDLE> programs;
        bool pressed = false;
        EXPECT_TRUE(WaitUntil([&] {
            if (TextOf(button) == fixed::kStopCaption) {
                pressed = false;
            } else if (!pressed) {
                ::PostMessageW(panel, WM_COMMAND, MAKEWPARAM(fixed::kStartStopButton, BN_CLICKED),
                               reinterpret_cast<LPARAM>(button));
                pressed = true;
            }
            for (HANDLE p : programs) ::CloseHandle(p);
            programs = ProgramsIn(dir, SYNCHRONIZE);
            return programs.size() == 2;
        }));
        std::string failure;
        EXPECT_TRUE(ReadLiveFrames(port, 3, failure))
            << failure << "\nserver.log:\n"
            << wintest::ReadFileBytes(dir + L"\\server.log") << "\norvane.log:\n"
            << wintest::ReadFileBytes(dir + L"\\orvane.log");
        return programs;
    }

    int port = 0;
};

TEST_F(RealPrograms, StopAndExitEndBothAndASecondStartServesOnTheSamePort) {
    Launched program(exe);
    HWND panel = WaitForPanel();
    ASSERT_NE(panel, nullptr);
    std::vector<HANDLE> programs = StartAndWatch(panel);
    std::string failure;
    ASSERT_TRUE(Press(panel, fixed::kStartCaption));
    EXPECT_TRUE(AllEndedCleanly(programs, failure)) << failure;

    // The port is free again: the second start serves on it.
    programs = StartAndWatch(panel);
    EXPECT_TRUE(ExitPanel(panel, program, true));
    EXPECT_TRUE(AllEndedCleanly(programs, failure)) << failure;
}

TEST_F(RealPrograms, CleanUpAtLogOffEndsBothWhileThePanelGoesOn) {
    Launched program(exe);
    HWND panel = WaitForPanel();
    ASSERT_NE(panel, nullptr);
    std::vector<HANDLE> programs = StartAndWatch(panel);
    ASSERT_TRUE(SendConsoleEvent(program.process(), CTRL_LOGOFF_EVENT));
    std::string failure;
    EXPECT_TRUE(AllEndedCleanly(programs, failure)) << failure;
    EXPECT_FALSE(wintest::FileExists(dir + L"\\logo.gif"));
    // The panel itself ends when the system ends it; here it notices that the programs
    // ended and is stopped.
    HWND button = ::GetDlgItem(panel, fixed::kStartStopButton);
    EXPECT_TRUE(WaitUntil([&] { return TextOf(button) == fixed::kStartCaption; }));
    EXPECT_EQ(program.WaitExit(0), static_cast<DWORD>(STILL_ACTIVE));
    EXPECT_TRUE(ExitPanel(panel, program, false));
}

}  // namespace
