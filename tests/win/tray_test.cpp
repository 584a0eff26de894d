// The panel's way back from hiding: Escape hides, the tray icon's double-click and
// its menu show it again, and the menu's Exit ends the program.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <atomic>

#include "res/resource.h"
#include "toolkit/files.h"
#include "toolkit/fixed_values.h"
#include "toolkit/panel_fixture.h"
#include "toolkit/wait.h"

using wintest::PanelTest;
using wintest::WaitUntil;

namespace {

std::wstring MenuText(HMENU menu, int pos) {
    wchar_t buf[64] = {};
    ::GetMenuStringW(menu, pos, buf, 64, MF_BYPOSITION);
    return buf;
}

class TrayTest : public PanelTest {
protected:
    // Right-clicks the icon, checks the menu, and chooses the item at pos with the keyboard.
    void ChooseFromMenu(int pos) {
        ::PostMessageW(dlg, fixed::kTrayCallbackMessage, 0, WM_RBUTTONUP);
        ASSERT_TRUE(WaitUntil([&] { return !Popups().empty(); })) << "no menu";
        HWND popup = Popups().front();
        HMENU menu = reinterpret_cast<HMENU>(::SendMessageW(popup, MN_GETHMENU, 0, 0));
        ASSERT_NE(menu, nullptr);
        ASSERT_EQ(::GetMenuItemCount(menu), 2);
        EXPECT_EQ(MenuText(menu, 0), fixed::kOpenItem);
        EXPECT_EQ(::GetMenuItemID(menu, 0), fixed::kOpenCommand);
        EXPECT_EQ(MenuText(menu, 1), fixed::kExitItem);
        EXPECT_EQ(::GetMenuItemID(menu, 1), fixed::kExitCommand);
        EXPECT_EQ(::GetForegroundWindow(), dlg);
        for (int i = 0; i <= pos; ++i) ::PostMessageW(popup, WM_KEYDOWN, VK_DOWN, 0);
        ::PostMessageW(popup, WM_KEYDOWN, VK_RETURN, 0);
        ASSERT_TRUE(WaitUntil([&] { return Popups().empty(); }));
    }
};

// WM_NULL messages the panel's thread took for the panel, seen by a message hook.
std::atomic<int> g_nullMessages{0};
HWND g_hookedPanel = nullptr;
LRESULT CALLBACK CountNull(int code, WPARAM wParam, LPARAM lParam) {
    const MSG* msg = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && msg->message == WM_NULL && msg->hwnd == g_hookedPanel)
        ++g_nullMessages;
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

NOTIFYICONDATAW IconRecord(HWND panel) {
    NOTIFYICONDATAW record = {};
    record.cbSize = NOTIFYICONDATAW_V2_SIZE;
    record.hWnd = panel;
    record.uID = 0;
    record.uFlags = NIF_TIP;
    wcscpy(record.szTip, fixed::kPanelTitle);
    return record;
}

// Tests that check the foreground window, or use a menu that closes when the panel
// loses the activation: they run alone (see CMakeLists.txt).
class TrayInForeground : public TrayTest {};

}  // namespace

TEST_F(TrayInForeground, EscapeHidesAndTheIconShowsAgain) {
    Open();
    // Escape reaches the dialog through its own keyboard handling in the modal loop.
    ::PostMessageW(Item(IDC_PORT), WM_KEYDOWN, VK_ESCAPE, 0);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindowVisible(dlg); }));
    ASSERT_TRUE(PassTicks(2));  // ticks reach a panel that lives on
    EXPECT_FALSE(ended);        // hidden, not ended

    // A single click or a move over the icon does nothing.
    ::SendMessageW(dlg, fixed::kTrayCallbackMessage, 0, WM_LBUTTONUP);
    ::SendMessageW(dlg, fixed::kTrayCallbackMessage, 0, WM_MOUSEMOVE);
    EXPECT_FALSE(::IsWindowVisible(dlg));

    EXPECT_EQ(::SendMessageW(dlg, fixed::kTrayCallbackMessage, 0, WM_LBUTTONDBLCLK), 0);
    EXPECT_TRUE(::IsWindowVisible(dlg));
    EXPECT_EQ(::GetForegroundWindow(), dlg);

    // A minimised panel is restored too.
    ::ShowWindow(dlg, SW_MINIMIZE);
    ASSERT_TRUE(WaitUntil([&] { return ::IsIconic(dlg) != FALSE; }));
    ::SendMessageW(dlg, fixed::kTrayCallbackMessage, 0, WM_LBUTTONDBLCLK);
    EXPECT_FALSE(::IsIconic(dlg));
    EXPECT_TRUE(::IsWindowVisible(dlg));
}

TEST_F(TrayInForeground, MenuOpensThePanelAndExits) {
    Open();
    ::ShowWindow(dlg, SW_HIDE);
    ChooseFromMenu(0);
    ASSERT_TRUE(WaitUntil([&] { return ::IsWindowVisible(dlg) != FALSE; }));
    EXPECT_FALSE(ended);

    // Dismissing the menu sends nothing: the ticks after it find the panel as it was.
    ::PostMessageW(dlg, fixed::kTrayCallbackMessage, 0, WM_RBUTTONUP);
    ASSERT_TRUE(WaitUntil([&] { return !Popups().empty(); }));
    ::PostMessageW(Popups().front(), WM_KEYDOWN, VK_ESCAPE, 0);
    ASSERT_TRUE(WaitUntil([&] { return Popups().empty(); }));
    ASSERT_TRUE(PassTicks(2));
    EXPECT_FALSE(ended);
    EXPECT_TRUE(::IsWindowVisible(dlg));

    ChooseFromMenu(1);
    ASSERT_TRUE(WaitUntil([&] { return ended.load(); }));
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_TRUE(wintest::FileExists(dir + L"\\orvane.conf"));  // Exit stores the settings
}

TEST_F(TrayInForeground, IconComesBackWhenTheShellStartsAgainAndItsMenuWorks) {
    Open();
    ::ShowWindow(dlg, SW_HIDE);
    // A restarted shell knows no icons: the panel's is taken away from outside.
    NOTIFYICONDATAW record = IconRecord(dlg);
    ASSERT_TRUE(::Shell_NotifyIconW(NIM_DELETE, &record));
    ASSERT_FALSE(::Shell_NotifyIconW(NIM_MODIFY, &record));

    const UINT taskbarCreated = ::RegisterWindowMessageW(fixed::kTaskbarCreatedMessage);
    ::PostMessageW(HWND_BROADCAST, taskbarCreated, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return ::Shell_NotifyIconW(NIM_MODIFY, &record) != FALSE; })) << "no icon again";

    // The menu of the icon that came back opens the panel, and a WM_NULL follows it.
    g_hookedPanel = dlg;
    g_nullMessages = 0;
    HHOOK hook = ::SetWindowsHookExW(WH_GETMESSAGE, CountNull, nullptr, ::GetWindowThreadProcessId(dlg, nullptr));
    ASSERT_NE(hook, nullptr);
    ChooseFromMenu(0);
    EXPECT_TRUE(WaitUntil([&] { return ::IsWindowVisible(dlg) != FALSE; }));
    EXPECT_TRUE(WaitUntil([&] { return g_nullMessages.load() >= 1; }));
    ::UnhookWindowsHookEx(hook);
}

TEST_F(TrayTest, IconAddedOnCreationAndRemovedOnDestruction) {
    Open();
    // The shell knows the icon while the panel's window lives: modifying it succeeds.
    NOTIFYICONDATAW record = {};
    record.cbSize = NOTIFYICONDATAW_V2_SIZE;
    record.hWnd = dlg;
    record.uID = 0;
    record.uFlags = NIF_TIP;
    wcscpy(record.szTip, fixed::kPanelTitle);
    EXPECT_TRUE(::Shell_NotifyIconW(NIM_MODIFY, &record));
    HWND panel = dlg;
    ASSERT_TRUE(Command(MAKEWPARAM(fixed::kExitCommand, 0)));
    ASSERT_TRUE(WaitUntil([&] { return ended.load(); }));
    EXPECT_FALSE(::IsWindow(panel));
    EXPECT_FALSE(::Shell_NotifyIconW(NIM_MODIFY, &record));  // gone with the window
}
