// The dialog base, message tables, reflection and data exchange, on a real dialog.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <climits>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/app_base.h"
#include "framework/control.h"
#include "framework/data_exchange.h"
#include "framework/dialog.h"
#include "test_resource.h"
#include "toolkit/message_boxes.h"
#include "toolkit/window_text.h"

namespace {

constexpr UINT kRunScript = WM_APP + 1;
constexpr UINT kEnd = WM_APP + 2;
constexpr UINT kThrow = WM_APP + 3;
constexpr UINT kTestNotify = 0xFFFFF000u;    // a private WM_NOTIFY code
constexpr UINT kDialogNotify = 0xFFFFF001u;  // another, handled by the dialog itself

class CountingControl : public fw::ButtonControl {
public:
    int attaches = 0;
    int reflectedClicks = 0;
    int ownMessages = 0;

protected:
    void OnAttach() override { ++attaches; }
    bool OnMessage(fw::Message& m) override {
        static const fw::MessageTable<CountingControl> table = {
            fw::OnReflectedCommand(STN_CLICKED, &CountingControl::OnClicked),
            fw::OnReflectedNotify(kTestNotify, &CountingControl::OnTestNotify),
            fw::OnMessage(WM_USER + 9, &CountingControl::OnOwn),
        };
        return table.Dispatch(*this, m);
    }

private:
    void OnClicked() { ++reflectedClicks; }
    void OnTestNotify(NMHDR*, LRESULT* result) { *result = 42; }
    void OnOwn(fw::Message& m) {
        ++ownMessages;
        m.result = 5;
    }
};

// A button control whose table has no click entry: clicks stay with the dialog.
class PlainButton : public fw::ButtonControl {};

class TestDialog : public fw::Dialog {
public:
    explicit TestDialog(HWND parent = nullptr) : Dialog(IDD_FW_TEST, parent) {}

    std::function<void(TestDialog&)> script;  // runs once inside the modal loop
    std::vector<std::string> events;
    std::vector<MSG> pretranslated;
    int a = 1, b = 2, c = 3, combo = 1, radio = 1;
    int completedExchanges = 0;
    LRESULT comboCountAtFirstExchange = -1;
    PlainButton button;
    CountingControl banner;

    void EndSoon() { ::PostMessageW(Handle(), kEnd, 0, 0); }
    void Text(int id, const wchar_t* text) { ::SetDlgItemTextW(Handle(), id, text); }

protected:
    bool OnMessage(fw::Message& m) override {
        static const fw::MessageTable<TestDialog> table = {
            fw::OnMessage(WM_CREATE, &TestDialog::OnCreate),
            fw::OnMessage(kRunScript, &TestDialog::OnRunScript),
            fw::OnMessage(kEnd, &TestDialog::OnEnd),
            fw::OnMessage(kThrow, &TestDialog::OnThrow),
            fw::OnCommand(BN_CLICKED, IDC_FW_BUTTON, &TestDialog::OnButton),
            fw::OnNotify(kDialogNotify, IDC_FW_BUTTON, &TestDialog::OnNotifyHere),
        };
        return table.Dispatch(*this, m);
    }
    bool OnInitDialog() override {
        events.push_back("init");
        bool focusDefault = Dialog::OnInitDialog();
        ::PostMessageW(Handle(), kRunScript, 0, 0);
        return focusDefault;
    }
    void DoDataExchange(fw::DataExchange& dx) override {
        if (comboCountAtFirstExchange < 0)
            comboCountAtFirstExchange = ::SendDlgItemMessageW(Handle(), IDC_FW_COMBO, CB_GETCOUNT, 0, 0);
        dx.Attach(IDC_FW_BUTTON, button);
        dx.Attach(IDC_FW_STATIC, banner);
        dx.Int(IDC_FW_EDIT1, a);
        dx.Int(IDC_FW_EDIT2, b);
        dx.Int(IDC_FW_EDIT3, c);
        dx.ComboIndex(IDC_FW_COMBO, combo);
        dx.Radio(IDC_FW_RADIO1, radio);
        if (!dx.Failed()) ++completedExchanges;
    }
    bool PreTranslateMessage(MSG& msg) override {
        pretranslated.push_back(msg);
        return Dialog::PreTranslateMessage(msg);
    }

private:
    void OnCreate(fw::Message& m) {
        events.push_back("create");
        m.Default();
    }
    void OnRunScript() {
        if (script) script(*this);
    }
    void OnEnd() { EndDialog(7); }
    void OnThrow() { throw std::runtime_error("from a handler"); }
    void OnButton() { events.push_back("button"); }
    void OnNotifyHere(NMHDR*, LRESULT* result) { *result = 9; }
};

HWND MakeOwner() {
    return ::CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr,
                             nullptr, nullptr);
}

std::wstring ItemText(HWND dlg, int id) { return wintest::TextOf(::GetDlgItem(dlg, id)); }

TEST(FrameworkDialog, SeesCreateBeforeInitAndDisablesTheOwnerWhileModal) {
    HWND owner = MakeOwner();
    TestDialog dlg(owner);
    bool ownerEnabledInside = true;
    HWND wnd = nullptr;
    dlg.script = [&](TestDialog& d) {
        ownerEnabledInside = ::IsWindowEnabled(owner) != FALSE;
        wnd = d.Handle();
        d.EndSoon();
    };
    EXPECT_EQ(dlg.DoModal(), 7);
    EXPECT_EQ(dlg.events, (std::vector<std::string>{"create", "init"}));
    EXPECT_FALSE(ownerEnabledInside);
    EXPECT_TRUE(::IsWindowEnabled(owner));
    EXPECT_FALSE(::IsWindow(wnd));  // the loop destroys its dialog
    EXPECT_EQ(dlg.Handle(), nullptr);
    ::DestroyWindow(owner);
}

TEST(FrameworkDialog, PreFilterSeesMessagesForChildControlsAndHandlesDialogKeys) {
    TestDialog dlg;
    HWND edit = nullptr;
    dlg.script = [&](TestDialog& d) {
        edit = d.Item(IDC_FW_EDIT2);
        ::PostMessageW(edit, WM_USER + 77, 0, 0);
        // Escape in an edit becomes IDCANCEL only through IsDialogMessage.
        ::PostMessageW(edit, WM_KEYDOWN, VK_ESCAPE, 0);
    };
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    bool sawChildMessage = false;
    for (const MSG& msg : dlg.pretranslated) sawChildMessage |= msg.hwnd == edit && msg.message == WM_USER + 77;
    EXPECT_TRUE(sawChildMessage);
}

TEST(FrameworkDialog, FillsTheComboFromInitialisationDataBeforeTheFirstExchange) {
    TestDialog dlg;
    std::vector<std::wstring> items;
    LRESULT selection = -5;
    dlg.script = [&](TestDialog& d) {
        HWND combo = d.Item(IDC_FW_COMBO);
        LRESULT n = ::SendMessageW(combo, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < n; ++i) {
            wchar_t text[64] = {};
            ::SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
            items.push_back(text);
        }
        selection = ::SendMessageW(combo, CB_GETCURSEL, 0, 0);
        d.EndSoon();
    };
    dlg.DoModal();
    EXPECT_EQ(dlg.comboCountAtFirstExchange, 3);
    EXPECT_EQ(items, (std::vector<std::wstring>{L"one", L"four", L"H.264/AVC"}));
    EXPECT_EQ(selection, 1);  // the exchange into the controls found the list filled
}

TEST(FrameworkDialog, AttachesOnTheFirstExchangeOnlyAndReflectsNotifications) {
    TestDialog dlg;
    LRESULT controlAnswer = 0, dialogAnswer = 0, ownAnswer = 0;
    dlg.script = [&](TestDialog& d) {
        d.UpdateData(false);
        d.UpdateData(true);
        HWND banner = d.Item(IDC_FW_STATIC), button = d.Item(IDC_FW_BUTTON);
        EXPECT_EQ(fw::Control::FromHandle(banner), &d.banner);
        EXPECT_EQ(fw::Control::FromHandle(button), &d.button);
        EXPECT_EQ(fw::Control::FromHandle(d.Item(IDC_FW_EDIT1)), nullptr);
        // The static's click goes back to its control and not to the dialog's table.
        ::SendMessageW(d.Handle(), WM_COMMAND, MAKEWPARAM(IDC_FW_STATIC, STN_CLICKED),
                       reinterpret_cast<LPARAM>(banner));
        // The button's control has no click entry: the dialog handles the click.
        ::SendMessageW(button, BM_CLICK, 0, 0);
        NMHDR hdr = {banner, IDC_FW_STATIC, kTestNotify};
        controlAnswer = ::SendMessageW(d.Handle(), WM_NOTIFY, IDC_FW_STATIC, reinterpret_cast<LPARAM>(&hdr));
        hdr = {button, IDC_FW_BUTTON, kDialogNotify};  // the button's control does not take it
        dialogAnswer = ::SendMessageW(d.Handle(), WM_NOTIFY, IDC_FW_BUTTON, reinterpret_cast<LPARAM>(&hdr));
        ownAnswer = ::SendMessageW(banner, WM_USER + 9, 0, 0);
        d.EndSoon();
    };
    dlg.DoModal();
    EXPECT_EQ(dlg.banner.attaches, 1);
    EXPECT_EQ(dlg.banner.reflectedClicks, 1);
    EXPECT_EQ(dlg.events, (std::vector<std::string>{"create", "init", "button"}));
    EXPECT_EQ(controlAnswer, 42);  // through DWLP_MSGRESULT
    EXPECT_EQ(dialogAnswer, 9);
    EXPECT_EQ(ownAnswer, 5);
    EXPECT_EQ(dlg.banner.ownMessages, 1);
    EXPECT_FALSE(dlg.banner.IsAttached());  // released with its window
}

TEST(FrameworkDialog, ExceptionFromAHandlerEndsTheLoopAndLeavesThroughDoModal) {
    TestDialog dlg;
    HWND wnd = nullptr;
    dlg.script = [&](TestDialog& d) {
        wnd = d.Handle();
        ::PostMessageW(d.Handle(), kThrow, 0, 0);
    };
    EXPECT_THROW(dlg.DoModal(), std::runtime_error);
    EXPECT_FALSE(::IsWindow(wnd));
}

struct IntCase {
    const wchar_t* text;
    bool accepted;
    int value;  // when accepted
};

LRESULT CALLBACK PassOn(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    return ::DefSubclassProc(wnd, msg, wParam, lParam);
}

// The window stays in working order when its control object goes first, alone or under
// a later subclass: it answers as its own class does, never from the dead object.
TEST(FrameworkControl, AnObjectThatGoesBeforeItsWindowLeavesTheWindowWorking) {
    for (bool laterSubclass : {false, true}) {
        SCOPED_TRACE(laterSubclass ? "under a later subclass" : "alone");
        HWND wnd = ::CreateWindowExW(0, L"Static", L"text", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        ASSERT_TRUE(wnd);
        const LONG_PTR ownProc = ::GetWindowLongPtrW(wnd, GWLP_WNDPROC);
        {
            CountingControl control;
            ASSERT_TRUE(control.Attach(wnd));
            EXPECT_FALSE(CountingControl().Attach(wnd));  // one object per window
            EXPECT_EQ(fw::Control::FromHandle(wnd), &control);
            EXPECT_EQ(::SendMessageW(wnd, WM_USER + 9, 0, 0), 5);
            if (laterSubclass) {
                ASSERT_TRUE(::SetWindowSubclass(wnd, PassOn, 1, 0));
            }
        }
        EXPECT_EQ(fw::Control::FromHandle(wnd), nullptr);
        EXPECT_EQ(::SendMessageW(wnd, WM_USER + 9, 0, 0), 0);
        EXPECT_EQ(wintest::TextOf(wnd), L"text");  // the static's own handling
        if (!laterSubclass) {
            EXPECT_EQ(::GetWindowLongPtrW(wnd, GWLP_WNDPROC), ownProc);
        }
        EXPECT_TRUE(::DestroyWindow(wnd));
    }
}

TEST(FrameworkDataExchange, IntegerTextFromTheEdit) {
    const std::wstring pad29(29, L' '), pad30(30, L' ');
    const std::wstring within = L"1" + pad29 + L"x";  // 31 characters: the x counts
    const std::wstring beyond = L"1" + pad30 + L"x";  // 32: the x is never read
    // The rule itself is tested natively; here, what the edit's text does to it.
    const std::vector<IntCase> cases = {
        {L"  7  ", true, 7},
        {L"\t-12\t", true, -12},
        {L"2147483648", true, INT_MAX},
        {L"-99999999999999", true, INT_MIN},
        {beyond.c_str(), true, 1},
        {L"-0", false, 0},
        {L"", false, 0},
        {L"12abc", false, 0},
        {within.c_str(), false, 0},
    };
    TestDialog dlg;
    dlg.script = [&](TestDialog& d) {
        for (const IntCase& c : cases) {
            SCOPED_TRACE(testing::Message() << "text [" << std::string(c.text, c.text + wcslen(c.text)) << "]");
            d.Text(IDC_FW_EDIT1, c.text);
            d.a = 555;
            if (c.accepted) {
                EXPECT_TRUE(d.UpdateData(true));
                EXPECT_EQ(d.a, c.value);
            } else {
                wintest::MessageBoxAnswerer box(wintest::BoxScope::ThisProcess(d.Handle()));
                EXPECT_FALSE(d.UpdateData(true));
                EXPECT_TRUE(box.Wait().found);
                EXPECT_EQ(d.a, 555);
            }
        }
        d.EndSoon();
    };
    dlg.DoModal();
}

TEST(FrameworkDataExchange, RejectedTextStopsTheExchangeThereAndFocusesTheEdit) {
    TestDialog dlg;
    dlg.script = [&](TestDialog& d) {
        const int before = d.completedExchanges;
        d.Text(IDC_FW_EDIT1, L"41");
        d.Text(IDC_FW_EDIT2, L"abc");
        d.Text(IDC_FW_EDIT3, L"43");
        ::SendDlgItemMessageW(d.Handle(), IDC_FW_COMBO, CB_SETCURSEL, 2, 0);
        ::CheckRadioButton(d.Handle(), IDC_FW_RADIO1, IDC_FW_RADIO2, IDC_FW_RADIO1);
        ::SetFocus(d.Item(IDC_FW_EDIT3));
        wintest::MessageBoxAnswerer answerer(wintest::BoxScope::ThisProcess(d.Handle()));
        EXPECT_FALSE(d.UpdateData(true));
        const wintest::AnsweredBox box = answerer.Wait();
        ASSERT_TRUE(box.found);
        EXPECT_EQ(box.text, L"Please enter an integer.");
        EXPECT_EQ(box.caption, fw::ExecutableTitle());
        EXPECT_EQ(box.caption, L"win_tests");
        EXPECT_EQ(box.owner, d.Handle());
        EXPECT_EQ(d.a, 41);  // before the failing one: taken
        EXPECT_EQ(d.b, 2);   // the failing one and all after it: unchanged
        EXPECT_EQ(d.c, 3);
        EXPECT_EQ(d.combo, 1);
        EXPECT_EQ(d.radio, 1);
        EXPECT_EQ(d.completedExchanges, before);
        EXPECT_EQ(::GetFocus(), d.Item(IDC_FW_EDIT2));
        DWORD start = 0, end = 0;
        ::SendDlgItemMessageW(d.Handle(), IDC_FW_EDIT2, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                              reinterpret_cast<LPARAM>(&end));
        EXPECT_EQ(start, 0u);
        EXPECT_EQ(end, 3u);
        d.EndSoon();
    };
    dlg.DoModal();
}

TEST(FrameworkDataExchange, IntegersComboAndRadioBothWays) {
    TestDialog dlg;
    dlg.script = [&](TestDialog& d) {
        EXPECT_EQ(ItemText(d.Handle(), IDC_FW_EDIT1), L"1");
        d.a = -2147483647 - 1;
        d.combo = 2;
        d.radio = 0;
        ::CheckDlgButton(d.Handle(), IDC_FW_RADIO3, BST_CHECKED);  // in the next group
        EXPECT_TRUE(d.UpdateData(false));
        EXPECT_EQ(ItemText(d.Handle(), IDC_FW_EDIT1), L"-2147483648");
        EXPECT_EQ(::SendDlgItemMessageW(d.Handle(), IDC_FW_COMBO, CB_GETCURSEL, 0, 0), 2);
        EXPECT_EQ(::IsDlgButtonChecked(d.Handle(), IDC_FW_RADIO1), BST_CHECKED);
        EXPECT_EQ(::IsDlgButtonChecked(d.Handle(), IDC_FW_RADIO2), BST_UNCHECKED);
        EXPECT_EQ(::IsDlgButtonChecked(d.Handle(), IDC_FW_RADIO3), BST_CHECKED);

        ::CheckRadioButton(d.Handle(), IDC_FW_RADIO1, IDC_FW_RADIO2, IDC_FW_RADIO2);
        ::SendDlgItemMessageW(d.Handle(), IDC_FW_COMBO, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        EXPECT_TRUE(d.UpdateData(true));
        EXPECT_EQ(d.radio, 1);
        EXPECT_EQ(d.combo, -1);

        // No button of the group checked (the one checked lies beyond the group): -1.
        ::CheckDlgButton(d.Handle(), IDC_FW_RADIO2, BST_UNCHECKED);
        EXPECT_TRUE(d.UpdateData(true));
        EXPECT_EQ(d.radio, -1);
        d.EndSoon();
    };
    dlg.DoModal();
}

}  // namespace
