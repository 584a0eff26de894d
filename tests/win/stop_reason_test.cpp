// When streaming stops by itself the user is told why: the real server and encoder in the
// program folder, the panel in this process, and the tray records watched through the
// seam (they still reach the shell, so the balloon can be seen). Ends the user asked
// for are not told.
#include <winsock2.h>
#include <windows.h>
#include <shellapi.h>
#include <vfw.h>

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "res/resource.h"
#include "res/watermark.h"
#include "toolkit/files.h"
#include "toolkit/fixed_values.h"
#include "toolkit/panel_fixture.h"
#include "toolkit/stand_in_camera.h"
#include "toolkit/wait.h"

using wintest::WaitUntil;

namespace {

struct Balloon {
    std::wstring title, text;
    DWORD infoFlags;
    DWORD size;
};

std::mutex g_lock;
std::vector<DWORD> g_calls;  // NIM_ADD, NIM_MODIFY, NIM_DELETE in order
std::vector<Balloon> g_balloons;

BOOL WINAPI RecordNotify(DWORD message, PNOTIFYICONDATAW record) {
    {
        std::lock_guard<std::mutex> lock(g_lock);
        g_calls.push_back(message);
        if (message == NIM_MODIFY && (record->uFlags & NIF_INFO))
            g_balloons.push_back({record->szInfoTitle, record->szInfo, record->dwInfoFlags, record->cbSize});
    }
    return ::Shell_NotifyIconW(message, record);
}

std::vector<Balloon> Balloons() {
    std::lock_guard<std::mutex> lock(g_lock);
    return g_balloons;
}

class StopReason : public wintest::PanelTest {
protected:
    void SetUp() override {
        PanelTest::SetUp();
        {
            std::lock_guard<std::mutex> lock(g_lock);
            g_calls.clear();
            g_balloons.clear();
        }
        const std::wstring build = wintest::ModuleDir() + L"\\..\\..\\programs";
        ASSERT_TRUE(::CopyFileW((build + L"\\server\\server.dll").c_str(), (dir + L"\\server.dll").c_str(), FALSE));
        ASSERT_TRUE(::CopyFileW((build + L"\\encoder\\orvane.dll").c_str(), (dir + L"\\orvane.dll").c_str(), FALSE));
        ASSERT_TRUE(wintest::StandInCamera::CopyDriverTo(dir));
        // The watermark the panel's start-up would have written.
        wintest::WriteFileBytes(dir + L"\\logo.gif",
                                std::string(reinterpret_cast<const char*>(kWatermarkGif), kWatermarkGifSize));
        // Ctrl+Break cannot be sent under Wine: the panel sets each program's stop request.
        app->m_processSystem.generateConsoleCtrlEvent = RecordFailedCtrlBreak;
        app->m_processSystem.shellNotifyIcon = RecordNotify;
        settings.port = 30000 + static_cast<int>(::GetCurrentProcessId() % 20000);
    }

    void TearDown() override {
        PanelTest::TearDown();
        ::SetEnvironmentVariableW(L"ORVANE_VIDEO_SOURCE", nullptr);
    }

    // The one balloon of a stop, once the panel has returned to stopped.
    Balloon OnlyBalloon() {
        EXPECT_TRUE(WaitUntil([&] { return !Running(); })) << "still running";
        EXPECT_TRUE(WaitUntil([&] { return !Balloons().empty(); })) << "no balloon";
        PassTicks(3);  // and no second one
        std::vector<Balloon> shown = Balloons();
        EXPECT_EQ(shown.size(), 1u);
        if (shown.empty()) return {};
        EXPECT_EQ(shown[0].infoFlags, static_cast<DWORD>(NIIF_WARNING));
        EXPECT_EQ(shown[0].size, sizeof(void*) == 8 ? 952u : 936u);
        return shown[0];
    }

    bool BothEnded() {
        return WaitUntil([&] {
            return app->m_programs.ProcessHandle(Program::Server) == nullptr &&
                   app->m_programs.ProcessHandle(Program::Encoder) == nullptr;
        });
    }

    StreamSettings settings;
};

}  // namespace

TEST_F(StopReason, TheCameraHeldByAnotherProgramIsTold) {
    wintest::StandInCamera camera(dir, "format=YUY2\nwidth=320\nheight=240\nconnect=exclusive\n");
    // This process holds the camera, as a video call would.
    HWND holder = ::capCreateCaptureWindowW(nullptr, WS_POPUP, 0, 0, 0, 0, nullptr, 0);
    ASSERT_NE(holder, nullptr);
    ASSERT_TRUE(capDriverConnect(holder, 0));
    Open(settings);
    ASSERT_TRUE(Click(IDC_START_STOP));
    Balloon b = OnlyBalloon();
    EXPECT_EQ(b.title, L"The camera encoder stopped");
    EXPECT_NE(b.text.find(L"another program may be using it"), std::wstring::npos);
    EXPECT_TRUE(BothEnded());
    capDriverDisconnect(holder);
    ::DestroyWindow(holder);
}

TEST_F(StopReason, APortHeldByAnotherListenerIsNamed) {
    ::SetEnvironmentVariableW(L"ORVANE_VIDEO_SOURCE", L"testsrc");
    WSADATA wsa;
    ASSERT_EQ(::WSAStartup(MAKEWORD(2, 2), &wsa), 0);
    SOCKET other = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in at = {};
    at.sin_family = AF_INET;
    at.sin_port = htons(static_cast<u_short>(settings.port));
    ASSERT_EQ(::bind(other, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
    ASSERT_EQ(::listen(other, 4), 0);
    Open(settings);
    ASSERT_TRUE(Click(IDC_START_STOP));
    Balloon b = OnlyBalloon();
    EXPECT_EQ(b.title, L"The stream server stopped");
    EXPECT_NE(b.text.find(L"Port " + std::to_wstring(settings.port) + L" is used by another program"),
              std::wstring::npos)
        << std::string(b.text.begin(), b.text.end());
    EXPECT_TRUE(BothEnded());
    ::closesocket(other);
    ::WSACleanup();
}

TEST_F(StopReason, TheUsersOwnStopAndExitAreNotTold) {
    ::SetEnvironmentVariableW(L"ORVANE_VIDEO_SOURCE", L"testsrc");
    Open(settings);
    ASSERT_TRUE(Click(IDC_START_STOP));
    ASSERT_TRUE(PassTicks(4));
    ASSERT_TRUE(Running()) << "the programs ended by themselves";
    ASSERT_TRUE(Click(IDC_START_STOP));
    EXPECT_TRUE(BothEnded());
    ASSERT_TRUE(PassTicks(2));

    ASSERT_TRUE(Click(IDC_START_STOP));
    ASSERT_TRUE(PassTicks(4));
    ASSERT_TRUE(Running());
    ::PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(fixed::kExitCommand, 0), 0);
    EXPECT_EQ(Answer(IDOK).caption, L"Confirm Exit");
    EXPECT_TRUE(WaitUntil([&] { return ended.load(); }));
    EXPECT_TRUE(WaitUntil([&] {
        return ::WaitForSingleObject(app->m_programs.ProcessHandle(Program::Server), 0) == WAIT_OBJECT_0 &&
               ::WaitForSingleObject(app->m_programs.ProcessHandle(Program::Encoder), 0) == WAIT_OBJECT_0;
    }));
    EXPECT_TRUE(Balloons().empty());
    std::lock_guard<std::mutex> lock(g_lock);
    // The icon was added and deleted once, and nothing came between.
    EXPECT_EQ(g_calls, (std::vector<DWORD>{NIM_ADD, NIM_DELETE}));
}

TEST_F(StopReason, AProgramKilledFromOutsideEndedUnexpectedly) {
    ::SetEnvironmentVariableW(L"ORVANE_VIDEO_SOURCE", L"testsrc");
    Open(settings);
    ASSERT_TRUE(Click(IDC_START_STOP));
    ASSERT_TRUE(PassTicks(4));
    ASSERT_TRUE(Running());
    // As Task Manager or taskkill end it.
    HANDLE encoder = ::OpenProcess(PROCESS_TERMINATE, FALSE, app->m_programs.ProcessId(Program::Encoder));
    ASSERT_NE(encoder, nullptr);
    ASSERT_TRUE(::TerminateProcess(encoder, 1));
    ::CloseHandle(encoder);
    Balloon b = OnlyBalloon();
    EXPECT_EQ(b.title, L"The camera encoder stopped");
    EXPECT_NE(b.text.find(L"ended unexpectedly (exit code 1)"), std::wstring::npos)
        << std::string(b.text.begin(), b.text.end());
    EXPECT_TRUE(BothEnded());
}
