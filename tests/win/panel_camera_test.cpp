// The control panel with a camera: the stand-in capture driver (tests/camera) behind
// the panel's capture window, scripted per test. The camera buttons follow the driver,
// open its dialogs modally, and the driver is released whenever the encoder may need it.
#include <windows.h>
#include <vfw.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

#include "res/resource.h"
#include "toolkit/fixed_values.h"
#include "toolkit/panel_fixture.h"
#include "toolkit/stand_in_camera.h"
#include "toolkit/wait.h"
#include "toolkit/window_text.h"

using wintest::StandInCamera;
using wintest::WaitUntil;

namespace {

struct DialogSearch {
    std::wstring caption;
    HWND found;
};

BOOL CALLBACK FindDialog(HWND wnd, LPARAM param) {
    auto* search = reinterpret_cast<DialogSearch*>(param);
    if (::IsWindowVisible(wnd) && wintest::TextOf(wnd) == search->caption) search->found = wnd;
    return search->found == nullptr;
}

class PanelCamera : public wintest::PanelTest {
protected:
    void UseCamera(const std::string& script) { camera = std::make_unique<StandInCamera>(dir, script); }
    void TearDown() override {
        PanelTest::TearDown();
        camera.reset();
    }
    // The driver's events in this process, where the panel runs.
    std::vector<std::string> Events() const { return camera->Events(::GetCurrentProcessId()); }
    size_t Count(const std::string& event) const {
        std::vector<std::string> events = Events();
        return static_cast<size_t>(std::count(events.begin(), events.end(), event));
    }
    // Start, then both programs end by themselves: the panel's supervision stops it
    // and connects the driver again.
    void StartAndLetTheProgramsEnd(const std::function<void()>& whileRunning = [] {}) {
        ASSERT_TRUE(Click(IDC_START_STOP));
        ASSERT_TRUE(Running());
        ASSERT_NE(CommandLineOf(app->m_encoderPath), L"(not started)");
        whileRunning();
        Quit(app->m_encoderPath);
        Quit(app->m_serverPath);
        ASSERT_TRUE(WaitUntil([&] {
            return !Running() && app->m_programs.ProcessId(Program::Encoder) == 0 &&
                   app->m_programs.ProcessId(Program::Server) == 0;
        }));
        ClearStandInFiles();
    }
    // The stand-ins' files of a run that has ended: the next stand-ins must not find
    // the request to end, nor be taken for having started.
    void ClearStandInFiles() {
        for (const std::wstring& program : {app->m_encoderPath, app->m_serverPath})
            for (const wchar_t* suffix : {L".quit", L".cmdline"})
                ::DeleteFileW((std::wstring(program) + suffix).c_str());
    }
    // The driver's dialog open on the panel's thread, by its caption.
    HWND DriverDialog(const std::wstring& caption) const {
        DialogSearch search{caption, nullptr};
        ::EnumThreadWindows(threadId, FindDialog, reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    std::unique_ptr<StandInCamera> camera;
};

TEST_F(PanelCamera, CameraButtonsFollowTheDriversCapabilities) {
    struct Case {
        const char* capabilities;
        bool source, format;
    };
    const Case cases[] = {
        {"dialogs=source,format\n", true, true},
        {"dialogs=source\n", true, false},
        {"dialogs=format\n", false, true},
        {"dialogs=display\noverlay=1\n", false, false},  // the other capabilities enable nothing
        {"dialogs=none\n", false, false},
    };
    UseCamera(std::string("format=YUY2\n") + cases[0].capabilities);
    Open();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.capabilities);
        camera->Script(std::string("format=YUY2\n") + c.capabilities);
        // The script is read at the connect that follows the programs' end.
        StartAndLetTheProgramsEnd();
        EXPECT_EQ(Enabled(IDC_CAMERA_SETTINGS), c.source);
        EXPECT_EQ(Enabled(IDC_CAPTURE_FORMAT), c.format);
    }
    // Every stop connected again; every start released the driver first.
    EXPECT_EQ(Count("connect YUY2 640x480"), 1 + std::size(cases));
    EXPECT_EQ(Count("disconnect"), std::size(cases));
}

TEST_F(PanelCamera, EachButtonOpensItsDriverDialogModallyWhileTheTimerRuns) {
    struct Case {
        int button;
        const wchar_t* caption;
        const char* event;
    };
    const Case cases[] = {
        {IDC_CAMERA_SETTINGS, L"Stand-in Camera: Video Source", "dialog source"},
        {IDC_CAPTURE_FORMAT, L"Stand-in Camera: Video Format", "dialog format"},
    };
    UseCamera("format=YUY2\n");
    Open();
    // Stopped, with both programs told to stop but still running: the user opens a
    // driver dialog at once.
    ASSERT_TRUE(Click(IDC_START_STOP));
    ASSERT_TRUE(Click(IDC_START_STOP));
    ASSERT_NE(app->m_programs.ProcessHandle(Program::Encoder), nullptr);
    bool programsEnded = false;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.event);
        PostClick(c.button);
        HWND dialog = nullptr;
        ASSERT_TRUE(WaitUntil([&] { return (dialog = DriverDialog(c.caption)) != nullptr; }));
        // Modal: the panel is disabled under it, and the supervision ticks go on.
        EXPECT_FALSE(::IsWindowEnabled(dlg));
        EXPECT_TRUE(PassTicks(2));
        if (!programsEnded) {
            // The programs end while the dialog is open: the ticks under it reap them.
            Quit(app->m_encoderPath);
            Quit(app->m_serverPath);
            EXPECT_TRUE(WaitUntil([&] {
                return !app->m_programs.ProcessHandle(Program::Encoder) &&
                       !app->m_programs.ProcessHandle(Program::Server);
            }));
            EXPECT_TRUE(::IsWindowVisible(dialog));
            programsEnded = true;
        }
        EXPECT_EQ(Events().back(), std::string(c.event) + " open");
        ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        // The message returns once the dialog has closed, and the panel is usable again.
        ASSERT_TRUE(WaitUntil([&] { return Events().back() == std::string(c.event) + " closed"; }));
        EXPECT_TRUE(::IsWindowEnabled(dlg));
        EXPECT_FALSE(Running());
    }
}

// An exclusive camera, as a real one in use by a program: the panel holds it while
// stopped and gives it up before the encoder is started.
bool g_freeAtEncoderLaunch = false;
BOOL WINAPI LaunchCheckingTheCamera(LPCWSTR application, LPWSTR commandLine, LPSECURITY_ATTRIBUTES process,
                                    LPSECURITY_ATTRIBUTES thread, BOOL inherit, DWORD flags, LPVOID environment,
                                    LPCWSTR directory, LPSTARTUPINFOW startup, LPPROCESS_INFORMATION info) {
    std::wstring name = application ? application : L"";
    if (name.size() >= 10 && name.compare(name.size() - 10, 10, L"orvane.dll") == 0)
        g_freeAtEncoderLaunch = StandInCamera::Free();
    return ::CreateProcessW(application, commandLine, process, thread, inherit, flags, environment, directory, startup,
                            info);
}

TEST_F(PanelCamera, StartReleasesTheDriverBeforeTheEncoderAndStopTakesItBack) {
    UseCamera("format=YUY2\nconnect=exclusive\n");
    g_freeAtEncoderLaunch = false;
    LaunchThrough(LaunchCheckingTheCamera);
    Open();
    EXPECT_FALSE(StandInCamera::Free());  // the stopped panel holds it
    EXPECT_TRUE(Enabled(IDC_CAMERA_SETTINGS));

    ASSERT_TRUE(Click(IDC_START_STOP));
    ASSERT_TRUE(Running());
    EXPECT_TRUE(g_freeAtEncoderLaunch);
    EXPECT_TRUE(StandInCamera::Free());

    // Stop connects again: the buttons come back and the camera is the panel's.
    ASSERT_TRUE(Click(IDC_START_STOP));
    ASSERT_FALSE(Running());
    EXPECT_TRUE(Enabled(IDC_CAMERA_SETTINGS));
    EXPECT_TRUE(Enabled(IDC_CAPTURE_FORMAT));
    EXPECT_FALSE(StandInCamera::Free());
    EXPECT_EQ(Count("connect refused: in use"), 2u);  // the two checks while the panel held it

    // Exit destroys the panel's window, and with it the capture window: the camera is free.
    Quit(app->m_encoderPath);
    Quit(app->m_serverPath);
    ASSERT_TRUE(WaitUntil([&] {
        return !app->m_programs.ProcessHandle(Program::Encoder) && !app->m_programs.ProcessHandle(Program::Server);
    }));
    ASSERT_TRUE(Command(MAKEWPARAM(fixed::kExitCommand, 0)));
    ASSERT_TRUE(WaitUntil([&] { return ended.load(); }));
    EXPECT_EQ(Events().back(), "disconnect");
    EXPECT_TRUE(StandInCamera::Free());
}

TEST_F(PanelCamera, WithoutAUsableCameraTheButtonsAreDisabledAndStartStillWorks) {
    struct Case {
        const char* why;
        const char* script;
        bool heldElsewhere, unplugged;
        const char* refusal;
    };
    const Case cases[] = {
        {"no driver", "connect=absent\n", false, false, "connect refused: no camera"},
        {"connect refused", "connect=refuse\n", false, false, "connect refused: driver refused"},
        {"in use by another window", "connect=exclusive\n", true, false, "connect refused: in use"},
        {"unplugged", "format=YUY2\n", false, true, "connect refused: unplugged"},
    };
    UseCamera("format=YUY2\n");
    Open();
    ASSERT_TRUE(Enabled(IDC_CAMERA_SETTINGS));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        camera->Script(c.script);
        if (c.unplugged) camera->Unplug();
        HWND other = nullptr;
        // While running, another program takes the camera the panel has released.
        StartAndLetTheProgramsEnd([&] {
            if (!c.heldElsewhere) return;
            other = ::capCreateCaptureWindowW(nullptr, WS_POPUP, 0, 0, 0, 0, nullptr, 0);
            EXPECT_TRUE(capDriverConnect(other, 0));
        });
        EXPECT_FALSE(Enabled(IDC_CAMERA_SETTINGS));
        EXPECT_FALSE(Enabled(IDC_CAPTURE_FORMAT));
        EXPECT_EQ(Events().back(), c.refusal);
        // Start still starts both programs: the encoder opens the device itself.
        const size_t launched = Launches().size();
        ASSERT_TRUE(Click(IDC_START_STOP));
        EXPECT_TRUE(Running());
        EXPECT_TRUE(MessageBoxes().empty());
        EXPECT_EQ(Launches().size(), launched + 2);
        if (other) ::DestroyWindow(other);
        Quit(app->m_encoderPath);
        Quit(app->m_serverPath);
        ASSERT_TRUE(WaitUntil([&] {
            return !Running() && app->m_programs.ProcessId(Program::Encoder) == 0 &&
                   app->m_programs.ProcessId(Program::Server) == 0;
        }));
        ClearStandInFiles();
    }
}

}  // namespace
