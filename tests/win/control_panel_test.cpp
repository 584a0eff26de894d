// The control panel driven as a user drives it: states, validation, start and stop,
// supervision of the children, the size controls, failed launches and Exit.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "res/resource.h"
#include "toolkit/files.h"
#include "toolkit/fixed_values.h"
#include "toolkit/panel_fixture.h"
#include "toolkit/wait.h"

using wintest::PanelTest;
using wintest::WaitUntil;

namespace {

StreamSettings Sized(int32_t width, int32_t height) {
    StreamSettings s;
    s.width = width;
    s.height = height;
    return s;
}

// Tests that need the panel to keep the activation and the keyboard focus: they run
// alone (see CMakeLists.txt).
class PanelInForeground : public PanelTest {};

// The tooltip control that the panel owns.
HWND ToolTipOf(HWND panel) {
    for (HWND wnd = ::FindWindowExW(nullptr, nullptr, TOOLTIPS_CLASSW, nullptr); wnd;
         wnd = ::FindWindowExW(nullptr, wnd, TOOLTIPS_CLASSW, nullptr))
        if (::GetWindow(wnd, GW_OWNER) == panel) return wnd;
    return nullptr;
}

}  // namespace

TEST_F(PanelTest, StartsStoppedWithDefaultSettings) {
    Open();
    EXPECT_EQ(Caption(), fixed::kStartCaption);
    EXPECT_TRUE(Checked(IDC_ORIGINAL_RESOLUTION));
    EXPECT_FALSE(Checked(IDC_RESIZE_TO));
    EXPECT_EQ(ComboText(), L"Custom");
    EXPECT_EQ(ItemText(IDC_WIDTH), L"0");
    EXPECT_EQ(ItemText(IDC_HEIGHT), L"0");
    EXPECT_FALSE(Enabled(IDC_SIZE_PRESET));
    EXPECT_FALSE(Enabled(IDC_WIDTH));
    EXPECT_FALSE(Enabled(IDC_HEIGHT));
    EXPECT_EQ(ItemText(IDC_PORT), L"80");
    EXPECT_EQ(ItemText(IDC_FRAME_RATE), L"15");
    EXPECT_EQ(ItemText(IDC_BIT_RATE), L"0");
    for (int id : {IDC_ORIGINAL_RESOLUTION, IDC_RESIZE_TO, IDC_PORT, IDC_FRAME_RATE, IDC_BIT_RATE})
        EXPECT_TRUE(Enabled(id)) << id;
    EXPECT_FALSE(Enabled(IDC_TEST_PAGE));
    // No camera here (ORVANE_CAMERA is unset): the capture window does not connect, so
    // both camera buttons stay disabled. The camera cases are in panel_camera_test.cpp.
    EXPECT_FALSE(Enabled(IDC_CAMERA_SETTINGS));
    EXPECT_FALSE(Enabled(IDC_CAPTURE_FORMAT));
    // The inert controls: the check box disabled, the format list filled and unselected.
    EXPECT_FALSE(Enabled(IDC_LOG_VIDEO_FILE));
    EXPECT_TRUE(Enabled(IDC_FILE_FORMAT));
    EXPECT_EQ(::SendMessageW(Item(IDC_FILE_FORMAT), CB_GETCOUNT, 0, 0), 5);
    EXPECT_EQ(::SendMessageW(Item(IDC_FILE_FORMAT), CB_GETCURSEL, 0, 0), CB_ERR);
    EXPECT_EQ(::SendMessageW(Item(IDC_SIZE_PRESET), CB_GETCOUNT, 0, 0), 8);
    // Nothing is written before the user starts or exits.
    EXPECT_FALSE(wintest::FileExists(dir + L"\\orvane.conf"));
}

TEST_F(PanelTest, StartsWithANamedOrCustomSize) {
    Open(Sized(320, 240));
    EXPECT_TRUE(Checked(IDC_RESIZE_TO));
    EXPECT_FALSE(Checked(IDC_ORIGINAL_RESOLUTION));
    EXPECT_EQ(ComboText(), L"qvga");
    EXPECT_EQ(ItemText(IDC_WIDTH), L"320");
    EXPECT_EQ(ItemText(IDC_HEIGHT), L"240");
    EXPECT_TRUE(Enabled(IDC_SIZE_PRESET));
    EXPECT_TRUE(Enabled(IDC_WIDTH));
    EXPECT_TRUE(ReadOnly(IDC_WIDTH));
    EXPECT_TRUE(ReadOnly(IDC_HEIGHT));
    ASSERT_TRUE(Command(MAKEWPARAM(fixed::kExitCommand, 0)));
    ASSERT_TRUE(WaitUntil([&] { return ended.load(); }));

    Open(Sized(300, 200));
    EXPECT_TRUE(Checked(IDC_RESIZE_TO));
    EXPECT_EQ(ComboText(), L"Custom");
    EXPECT_EQ(ItemText(IDC_WIDTH), L"300");
    EXPECT_TRUE(Enabled(IDC_WIDTH));
    EXPECT_FALSE(ReadOnly(IDC_WIDTH));
    EXPECT_FALSE(ReadOnly(IDC_HEIGHT));
}

TEST_F(PanelTest, InvalidSettingsAreRefusedAndNothingStarts) {
    Open();
    struct Case {
        int id;
        const wchar_t* value;
        const wchar_t* message;
    };
    const wchar_t* size = L"Invalid Frame Size (should be greater than 8 and be even numbers)";
    const wchar_t* rate = L"Invalid Frame Rate (should be from 1 to 60)";
    const wchar_t* bits = L"Invalid Bit Rate (should be 0 or greater than 64Kbps)";
    const Case cases[] = {
        {IDC_PORT, L"0", L"Invalid Server Port (should be from 1 to 65535)"},
        {IDC_PORT, L"70000", L"Invalid Server Port (should be from 1 to 65535)"},
        {IDC_WIDTH, L"5000", size},
        {IDC_WIDTH, L"7", size},
        {IDC_WIDTH, L"9", size},
        {IDC_WIDTH, L"-2", size},
        {IDC_HEIGHT, L"7", size},
        {IDC_HEIGHT, L"641", size},
        {IDC_FRAME_RATE, L"0", rate},
        {IDC_FRAME_RATE, L"61", rate},
        {IDC_BIT_RATE, L"1", bits},
        {IDC_BIT_RATE, L"63", bits},
    };
    const wchar_t* good[] = {L"80", L"15", L"0", L"0", L"0"};
    for (const Case& c : cases) {
        SetText(IDC_PORT, good[0]);
        SetText(IDC_FRAME_RATE, good[1]);
        SetText(IDC_BIT_RATE, good[2]);
        SetText(IDC_WIDTH, good[3]);
        SetText(IDC_HEIGHT, good[4]);
        SetText(c.id, c.value);
        PostClick(IDC_START_STOP);
        wintest::AnsweredBox box = Answer();
        ASSERT_TRUE(box.found) << c.id << " = " << c.value;
        EXPECT_EQ(box.caption, L"Setting Error") << c.value;
        EXPECT_EQ(box.text, c.message) << c.id << " = " << c.value;
        EXPECT_EQ(box.owner, dlg);
        EXPECT_TRUE(WaitUntil([&] { return MessageBoxes().empty(); }));
        EXPECT_EQ(Caption(), fixed::kStartCaption);
        EXPECT_TRUE(Enabled(IDC_PORT));
    }
    // Several bad values: the port is reported, the first check in order.
    SetText(IDC_BIT_RATE, L"1");
    SetText(IDC_FRAME_RATE, L"0");
    SetText(IDC_PORT, L"-1");
    PostClick(IDC_START_STOP);
    EXPECT_EQ(Answer().text, L"Invalid Server Port (should be from 1 to 65535)");
    EXPECT_FALSE(wintest::FileExists(dir + L"\\orvane.conf"));
    EXPECT_FALSE(wintest::FileExists(app->m_serverPath + std::wstring(L".cmdline")));
    EXPECT_TRUE(Breaks().empty());
}

TEST_F(PanelTest, StartLaunchesBothProgramsAndStopSignalsThem) {
    StreamSettings s;
    s.port = 8080;
    s.frameRate = 25;
    Open(s);
    ASSERT_TRUE(Click(IDC_RESIZE_TO));
    ChoosePreset(6);  // vga
    ASSERT_TRUE(Click(IDC_START_STOP));
    EXPECT_TRUE(MessageBoxes().empty());
    EXPECT_EQ(Caption(), fixed::kStopCaption);
    EXPECT_TRUE(Enabled(IDC_TEST_PAGE));
    for (int id : {IDC_CAMERA_SETTINGS, IDC_CAPTURE_FORMAT, IDC_ORIGINAL_RESOLUTION, IDC_RESIZE_TO, IDC_SIZE_PRESET,
                   IDC_WIDTH, IDC_HEIGHT, IDC_PORT, IDC_FRAME_RATE, IDC_BIT_RATE})
        EXPECT_FALSE(Enabled(id)) << id;

    std::wstring config = Config();
    EXPECT_EQ(config.rfind(L"Port 8080\r\nBindAddress 0.0.0.0\r\n", 0), 0u);
    EXPECT_NE(config.find(L"\r\nVideoFrameRate 25\r\nVideoSize 640x480\r\n</Stream>\r\n"), std::wstring::npos);
    EXPECT_EQ(app->m_settings, (StreamSettings{8080, 640, 480, 25, 0}));

    std::wstring escaped = dir;
    for (size_t at = escaped.find(L' '); at != std::wstring::npos; at = escaped.find(L' ', at + 2))
        escaped.replace(at, 1, L"\\ ");
    EXPECT_EQ(CommandLineOf(app->m_serverPath), dir + L"\\server.dll -f \"" + dir + L"\\orvane.conf\"");
    EXPECT_EQ(CommandLineOf(app->m_encoderPath),
              dir + L"\\orvane.dll -f vfwcap -r 25 -i 0 -sameq -vhook \"watermark -f " + escaped +
                  L"\\logo.gif\" http://localhost:8080/feed.ffm");

    // Stop: the encoder's group gets Ctrl+Break twice, the server's once; the panel
    // is stopped at once, the records stay until the programs have ended.
    const DWORD server = app->m_programs.ProcessId(Program::Server);
    const DWORD encoder = app->m_programs.ProcessId(Program::Encoder);
    ASSERT_TRUE(Click(IDC_START_STOP));
    EXPECT_EQ(Caption(), fixed::kStartCaption);
    EXPECT_EQ(Breaks(), (std::vector<DWORD>{encoder, encoder, server}));
    EXPECT_FALSE(Enabled(IDC_TEST_PAGE));
    EXPECT_TRUE(Enabled(IDC_PORT));
    EXPECT_TRUE(Enabled(IDC_WIDTH));
}

TEST_F(PanelTest, ChildEndingByItselfStopsThePanel) {
    Open();
    ASSERT_TRUE(Click(IDC_START_STOP));
    ASSERT_TRUE(Running());
    ASSERT_NE(CommandLineOf(app->m_encoderPath), L"(not started)");
    const DWORD server = app->m_programs.ProcessId(Program::Server);
    HANDLE encoder = ::OpenProcess(SYNCHRONIZE, FALSE, app->m_programs.ProcessId(Program::Encoder));
    ASSERT_NE(encoder, nullptr);
    Quit(app->m_encoderPath);
    ASSERT_EQ(::WaitForSingleObject(encoder, wintest::kPatience), WAIT_OBJECT_0);
    ::CloseHandle(encoder);
    // The next tick notices: by the time a second one arrives, the panel is stopped.
    ASSERT_TRUE(PassTicks(2));
    EXPECT_FALSE(Running());
    EXPECT_EQ(Breaks(), std::vector<DWORD>{server});  // only the survivor is signalled
    EXPECT_EQ(app->m_programs.ProcessId(Program::Encoder), 0u);
    EXPECT_TRUE(Enabled(IDC_PORT));
    EXPECT_FALSE(Enabled(IDC_TEST_PAGE));
}

TEST_F(PanelInForeground, TextThatIsNoIntegerKeepsThePreviousValue) {
    Open();
    // The bit rate is exchanged before the frame rate, the port after it.
    SetText(IDC_BIT_RATE, L"10");
    SetText(IDC_FRAME_RATE, L"abc");
    SetText(IDC_PORT, L"8080");
    PostClick(IDC_START_STOP);
    wintest::AnsweredBox first = Answer();
    EXPECT_EQ(first.text, L"Please enter an integer.");
    EXPECT_EQ(first.caption, L"win_tests");  // the executable's name
    // Validation then runs with the new bit rate: it is the one reported.
    wintest::AnsweredBox second = Answer();
    EXPECT_EQ(second.caption, L"Setting Error");
    EXPECT_EQ(second.text, L"Invalid Bit Rate (should be 0 or greater than 64Kbps)");
    EXPECT_EQ(Caption(), fixed::kStartCaption);
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    ASSERT_TRUE(::GetGUIThreadInfo(threadId, &info));
    EXPECT_EQ(info.hwndFocus, Item(IDC_FRAME_RATE));
    DWORD from = 1, to = 0;
    ::SendMessageW(Item(IDC_FRAME_RATE), EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
    EXPECT_EQ(from, 0u);
    EXPECT_EQ(to, 3u);

    // With a good bit rate it starts, on the previous frame rate and port.
    SetText(IDC_BIT_RATE, L"100");
    PostClick(IDC_START_STOP);
    EXPECT_EQ(Answer().text, L"Please enter an integer.");
    ASSERT_TRUE(WaitUntil([&] { return Running(); }));
    EXPECT_EQ(app->m_settings, (StreamSettings{80, 0, 0, 15, 100}));
    EXPECT_NE(CommandLineOf(app->m_encoderPath).find(L" -r 15 -i 0 -vhook "), std::wstring::npos);
    EXPECT_EQ(ItemText(IDC_FRAME_RATE), L"abc");

    // The encoder ends: the tick's stop reads the controls and reports the text again,
    // once: later ticks under that box do not pile up further reports.
    Quit(app->m_encoderPath);
    ASSERT_TRUE(WaitUntil([&] { return !MessageBoxes().empty(); }));
    ASSERT_TRUE(PassTicks(3));
    EXPECT_EQ(MessageBoxes().size(), 1u);
    EXPECT_EQ(Answer().text, L"Please enter an integer.");
    ASSERT_TRUE(WaitUntil([&] { return !Running(); }));
    ASSERT_TRUE(PassTicks(2));
    EXPECT_TRUE(MessageBoxes().empty());
}

TEST_F(PanelTest, StopStaysStopWhenTheTickStopsThePanelUnderTheIntegerBox) {
    Open();
    ASSERT_TRUE(Click(IDC_START_STOP));
    ASSERT_TRUE(Running());
    ASSERT_NE(CommandLineOf(app->m_encoderPath), L"(not started)");
    ASSERT_EQ(Launches().size(), 2u);
    // A disabled edit can still hold text that is no integer; the user presses Stop.
    SetText(IDC_FRAME_RATE, L"abc");
    PostClick(IDC_START_STOP);
    ASSERT_TRUE(WaitUntil([&] { return !MessageBoxes().empty(); }));
    // While the box is open the encoder ends and the supervision tick stops the panel
    // (its own exchange finds a good text by then, so it asks nothing).
    SetText(IDC_FRAME_RATE, L"15");
    Quit(app->m_encoderPath);
    ASSERT_TRUE(WaitUntil([&] { return !Running(); }));
    EXPECT_EQ(MessageBoxes().size(), 1u);
    // The user closes the box: the press was a Stop, and nothing starts again.
    EXPECT_EQ(Answer().text, L"Please enter an integer.");
    ASSERT_TRUE(PassTicks(2));
    EXPECT_EQ(Caption(), fixed::kStartCaption);
    EXPECT_EQ(Launches().size(), 2u);
    EXPECT_TRUE(MessageBoxes().empty());
}

TEST_F(PanelTest, SizeControlsFollowTheChoice) {
    Open(Sized(640, 480));
    EXPECT_EQ(ComboText(), L"vga");
    // "Resize to" again resets to qvga.
    ASSERT_TRUE(Click(IDC_RESIZE_TO));
    EXPECT_EQ(ComboText(), L"qvga");
    EXPECT_EQ(ItemText(IDC_WIDTH), L"320");
    EXPECT_EQ(ItemText(IDC_HEIGHT), L"240");
    EXPECT_TRUE(ReadOnly(IDC_WIDTH));
    // "Custom" keeps the size and makes it editable.
    ChoosePreset(7);
    EXPECT_EQ(ItemText(IDC_WIDTH), L"320");
    EXPECT_EQ(ItemText(IDC_HEIGHT), L"240");
    EXPECT_FALSE(ReadOnly(IDC_WIDTH));
    EXPECT_FALSE(ReadOnly(IDC_HEIGHT));
    EXPECT_TRUE(Enabled(IDC_WIDTH));
    // A named preset shows its size read-only.
    ChoosePreset(3);
    EXPECT_EQ(ItemText(IDC_WIDTH), L"704");
    EXPECT_EQ(ItemText(IDC_HEIGHT), L"576");
    EXPECT_TRUE(ReadOnly(IDC_HEIGHT));
    // "Original Resolution": Custom, 0 x 0, all three disabled.
    ASSERT_TRUE(Click(IDC_ORIGINAL_RESOLUTION));
    EXPECT_EQ(ComboText(), L"Custom");
    EXPECT_EQ(ItemText(IDC_WIDTH), L"0");
    EXPECT_EQ(ItemText(IDC_HEIGHT), L"0");
    EXPECT_FALSE(Enabled(IDC_SIZE_PRESET));
    EXPECT_FALSE(Enabled(IDC_WIDTH));
    EXPECT_FALSE(Enabled(IDC_HEIGHT));
}

TEST_F(PanelTest, FailedLaunchIsReportedOnceAndLeavesThePanelStopped) {
    wintest::WriteFileBytes(app->m_encoderPath, "this is not a program");
    Open();
    PostClick(IDC_START_STOP);
    wintest::AnsweredBox box = Answer();
    EXPECT_EQ(box.caption, L"Start Server");
    EXPECT_EQ(box.text, L"Start server failed (193)");
    EXPECT_EQ(box.owner, dlg);
    ASSERT_TRUE(WaitUntil([&] { return !Running(); }));
    // No second report, whether the timer or the failed start stopped the panel.
    ASSERT_TRUE(PassTicks(2));
    EXPECT_TRUE(MessageBoxes().empty());
    EXPECT_EQ(Caption(), fixed::kStartCaption);
    const DWORD server = app->m_programs.ProcessId(Program::Server);
    ASSERT_NE(server, 0u);
    // Once from the failed start itself, once from the return to the stopped state.
    EXPECT_EQ(Breaks(), (std::vector<DWORD>{server, server}));
    EXPECT_EQ(app->m_programs.ProcessId(Program::Encoder), 0u);
}

TEST_F(PanelTest, ExitWithNothingRunningStoresWhatIsShown) {
    Open();
    EXPECT_EQ(app->MainWindow(), dlg);
    SetText(IDC_PORT, L"0");  // never started with, so never validated
    SetText(IDC_FRAME_RATE, L"99");
    ASSERT_TRUE(Command(MAKEWPARAM(fixed::kExitCommand, 0)));
    ASSERT_TRUE(WaitUntil([&] { return ended.load(); }));
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_TRUE(MessageBoxes().empty());
    EXPECT_EQ(app->MainWindow(), nullptr);
    EXPECT_EQ(app->m_settings, (StreamSettings{0, 0, 0, 99, 0}));
    // The next run starts from these values.
    CStreamerApp next((dir + L"\\OrvaneDemo.exe").c_str());
    next.LoadServerConfig();
    EXPECT_EQ(next.m_settings, (StreamSettings{0, 0, 0, 99, 0}));
    EXPECT_TRUE(Breaks().empty());
}

TEST_F(PanelTest, ExitWhileRunningAsksFirst) {
    Open();
    ASSERT_TRUE(Click(IDC_START_STOP));
    ASSERT_TRUE(Running());
    const DWORD server = app->m_programs.ProcessId(Program::Server);
    const DWORD encoder = app->m_programs.ProcessId(Program::Encoder);
    ::PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(fixed::kExitCommand, 0), 0);
    wintest::AnsweredBox box = Answer(IDCANCEL);
    EXPECT_EQ(box.caption, L"Confirm Exit");
    EXPECT_EQ(box.text, L"Exiting this program now will stop surveillance server!\nAre you sure?");
    ASSERT_TRUE(PassTicks(2));  // still running, nothing signalled, the dialog stays
    EXPECT_FALSE(ended);
    EXPECT_TRUE(Running());
    EXPECT_TRUE(Breaks().empty());

    ::PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(fixed::kExitCommand, 0), 0);
    EXPECT_EQ(Answer(IDOK).caption, L"Confirm Exit");
    ASSERT_TRUE(WaitUntil([&] { return ended.load(); }));
    EXPECT_EQ(Breaks(), (std::vector<DWORD>{encoder, encoder, server}));
}

TEST_F(PanelTest, TemplateLayoutTabOrderAndIcons) {
    Open();
    struct Expected {
        int id;
        const wchar_t* cls;
        RECT units;  // left, top, width, height in dialog units
    };
    const Expected controls[] = {
        {-1, L"Button", {7, 7, 203, 74}},       {1006, L"Button", {14, 22, 93, 14}},
        {1005, L"Button", {109, 22, 93, 14}},   {1015, L"Button", {30, 44, 80, 10}},
        {1016, L"Button", {30, 60, 48, 10}},    {1012, L"ComboBox", {79, 59, 49, 0}},
        {1013, L"Edit", {132, 59, 20, 12}},     {-1, L"Static", {153, 60, 8, 8}},
        {1014, L"Edit", {161, 59, 20, 12}},     {-1, L"Button", {7, 83, 203, 95}},
        {-1, L"Static", {18, 100, 70, 8}},      {1008, L"Edit", {93, 98, 31, 12}},
        {-1, L"Static", {18, 118, 70, 8}},      {1003, L"Edit", {93, 116, 31, 12}},
        {-1, L"Static", {128, 118, 11, 8}},     {-1, L"Static", {18, 136, 70, 8}},
        {1004, L"Edit", {93, 134, 31, 12}},     {-1, L"Static", {128, 136, 74, 8}},
        {1010, L"Button", {18, 158, 64, 10}},   {-1, L"Static", {84, 158, 43, 8}},
        {1011, L"ComboBox", {134, 156, 61, 0}}, {1000, L"Button", {237, 17, 92, 26}},
        {1018, L"Button", {237, 57, 92, 14}},   {1009, L"Static", {217, 87, 136, 91}},
    };
    HWND child = ::GetWindow(dlg, GW_CHILD);
    for (const Expected& e : controls) {
        ASSERT_NE(child, nullptr) << "missing control " << e.id;
        EXPECT_EQ(static_cast<int>(static_cast<short>(::GetDlgCtrlID(child))), e.id);
        wchar_t cls[16] = {};
        ::GetClassNameW(child, cls, 16);
        EXPECT_STREQ(cls, e.cls) << e.id;
        // The dialog manager converts position and size separately, each rounded.
        RECT pos = {e.units.left, e.units.top, e.units.right, e.units.bottom};
        ::MapDialogRect(dlg, &pos);
        RECT got;
        ::GetWindowRect(child, &got);
        ::MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&got), 2);
        EXPECT_EQ(got.left, pos.left) << e.id;
        EXPECT_EQ(got.top, pos.top) << e.id;
        EXPECT_EQ(got.right - got.left, pos.right) << e.id;
        if (e.units.bottom) {  // a combo box sizes itself
            EXPECT_EQ(got.bottom - got.top, pos.bottom) << e.id;
        }
        child = ::GetWindow(child, GW_HWNDNEXT);
    }
    // The texts a user reads, and the styles that decide behaviour.
    EXPECT_EQ(ItemText(IDC_TEST_PAGE), L"Test Page in Browser!");
    EXPECT_EQ(ItemText(IDC_LOG_VIDEO_FILE), L"Log Video File");
    EXPECT_TRUE(::GetWindowLongW(Item(IDC_START_STOP), GWL_STYLE) & BS_DEFPUSHBUTTON);
    EXPECT_TRUE(::GetWindowLongW(Item(IDC_BANNER), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    EXPECT_TRUE(::GetWindowLongW(dlg, GWL_EXSTYLE) & WS_EX_APPWINDOW);
    EXPECT_TRUE(::GetWindowLongW(dlg, GWL_STYLE) & WS_MINIMIZEBOX);
    EXPECT_FALSE(::GetWindowLongW(Item(IDC_SIZE_PRESET), GWL_STYLE) & CBS_SORT);

    // One icon for the window, the taskbar and dragging: resource 128 at the standard size.
    HICON icon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(fixed::kMainIcon));
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(reinterpret_cast<HICON>(::SendMessageW(dlg, WM_GETICON, ICON_BIG, 0)), icon);
    EXPECT_EQ(reinterpret_cast<HICON>(::SendMessageW(dlg, WM_GETICON, ICON_SMALL, 0)), icon);
    EXPECT_EQ(reinterpret_cast<HICON>(::SendMessageW(dlg, WM_QUERYDRAGICON, 0, 0)), icon);
}

TEST_F(PanelTest, ToolTipsForTheThreeButtons) {
    Open();
    HWND tip = ToolTipOf(dlg);
    ASSERT_NE(tip, nullptr);
    EXPECT_TRUE(::GetWindowLongW(tip, GWL_STYLE) & TTS_NOPREFIX);
    EXPECT_EQ(::SendMessageW(tip, TTM_GETMAXTIPWIDTH, 0, 0), 250);
    EXPECT_EQ(::SendMessageW(tip, TTM_GETDELAYTIME, TTDT_AUTOPOP, 0), 20000);
    ASSERT_EQ(::SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0), 3);
    auto textOf = [&](int id) {
        wchar_t buf[512] = {};
        TOOLINFOW info = {};
        info.cbSize = TTTOOLINFOW_V1_SIZE;
        info.hwnd = dlg;
        info.uId = reinterpret_cast<UINT_PTR>(Item(id));
        info.lpszText = buf;
        ::SendMessageW(tip, TTM_GETTEXTW, 512, reinterpret_cast<LPARAM>(&info));
        return std::wstring(buf);
    };
    EXPECT_EQ(textOf(IDC_CAMERA_SETTINGS), L"Select camera source device and configure camera settings.");
    EXPECT_EQ(textOf(IDC_CAPTURE_FORMAT), L"Configure camera capture resolution and compression format.");
    EXPECT_EQ(textOf(IDC_TEST_PAGE),
              L"Open a test page in your browser.\r\nTip:  If you are using IE browser and see pop-up security "
              L"warning band about ActiveX controls, please click on it and select \"Allow Blocked Content\".");
}

TEST_F(PanelTest, HalfASizeMeansOriginalResolution) {
    Open(Sized(0, 240));
    EXPECT_TRUE(Checked(IDC_ORIGINAL_RESOLUTION));
    EXPECT_EQ(ComboText(), L"Custom");
    EXPECT_EQ(ItemText(IDC_HEIGHT), L"240");
    ASSERT_TRUE(Click(IDC_START_STOP));
    EXPECT_TRUE(Running());
    EXPECT_EQ(Config().find(L"VideoSize"), std::wstring::npos);
}

TEST_F(PanelInForeground, TipShowsThroughTheRelay) {
    Open();
    ASSERT_TRUE(Click(IDC_START_STOP));  // the test page button is enabled while running
    HWND tip = ToolTipOf(dlg);
    ASSERT_NE(tip, nullptr);
    EXPECT_FALSE(::IsWindowVisible(tip));
    // The tools are not subclassed: only the modal loop's relay of the button's mouse
    // moves can make the tip appear, and only over the active window, with the pointer
    // on the tool. Away from the top left, where Wine shows the tray icons.
    ::SetWindowPos(dlg, HWND_TOPMOST, 640, 600, 0, 0, SWP_NOSIZE);
    ::SetForegroundWindow(dlg);
    RECT rc;
    ::GetWindowRect(Item(IDC_TEST_PAGE), &rc);
    ::SetCursorPos((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
    // One move starts the tip's delay; further moves would restart it.
    ::PostMessageW(Item(IDC_TEST_PAGE), WM_MOUSEMOVE, 0, MAKELPARAM((rc.right - rc.left) / 2, 5));
    EXPECT_TRUE(WaitUntil([&] { return ::IsWindowVisible(tip) != FALSE; }));
}

// The template as stored: DLGTEMPLATEEX, then menu, class and title (each an ordinal or
// a string), then the font when DS_SETFONT is set.
TEST(PanelTemplate, FontIsEightPointTahomaWithTheDefaultCharacterSet) {
    HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC res = ::FindResourceW(module, MAKEINTRESOURCEW(fixed::kPanelTemplate), RT_DIALOG);
    ASSERT_NE(res, nullptr);
    const BYTE* data = static_cast<const BYTE*>(::LockResource(::LoadResource(module, res)));
    ASSERT_NE(data, nullptr);
    auto word = [&](size_t at) { return *reinterpret_cast<const WORD*>(data + at); };
    ASSERT_EQ(word(0), 1);       // dlgVer
    ASSERT_EQ(word(2), 0xFFFF);  // signature: the extended form
    ASSERT_TRUE(*reinterpret_cast<const DWORD*>(data + 12) & DS_SETFONT);
    size_t at = 26;
    for (int field = 0; field < 3; ++field) {  // menu, class, title
        if (word(at) == 0xFFFF) {
            at += 4;
        } else {
            while (word(at) != 0) at += 2;
            at += 2;
        }
    }
    EXPECT_EQ(word(at), 8);        // points
    EXPECT_EQ(word(at + 2), 400);  // normal weight
    EXPECT_EQ(data[at + 4], 0);    // not italic
    EXPECT_EQ(data[at + 5], DEFAULT_CHARSET);
    EXPECT_STREQ(reinterpret_cast<const wchar_t*>(data + at + 6), L"Tahoma");
}
