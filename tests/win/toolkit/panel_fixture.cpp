#include "toolkit/panel_fixture.h"

#include <algorithm>

#include "res/resource.h"
#include "toolkit/files.h"
#include "toolkit/fixed_values.h"
#include "toolkit/wait.h"
#include "toolkit/window_text.h"
#include "ui/control_panel_dlg.h"

namespace wintest {

namespace {

std::atomic<HWND> g_panel{nullptr};
std::atomic<int> g_ticks{0};

// Counts the panel's timer messages as its thread takes them from the queue, in
// whichever loop runs then (the panel's own, a message box's, a menu's).
LRESULT CALLBACK CountTicks(int code, WPARAM removed, LPARAM lParam) {
    const MSG* msg = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && removed == PM_REMOVE && msg->message == WM_TIMER && msg->hwnd && msg->hwnd == g_panel)
        ++g_ticks;
    return ::CallNextHookEx(nullptr, code, removed, lParam);
}

BOOL CALLBACK FindPanelProc(HWND wnd, LPARAM param) {
    if (::IsWindowVisible(wnd) && TextOf(wnd) == fixed::kPanelTitle) {
        *reinterpret_cast<HWND*>(param) = wnd;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK FindPopupsProc(HWND wnd, LPARAM param) {
    wchar_t cls[16] = {};
    ::GetClassNameW(wnd, cls, 16);
    if (::IsWindowVisible(wnd) && lstrcmpW(cls, L"#32768") == 0)
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(wnd);
    return TRUE;
}

}  // namespace

void PanelTest::Open(const StreamSettings& settings) {
    app->m_settings = settings;
    Run([this] {
        CControlPanelDlg panel(nullptr);
        result = panel.DoModal();
    });
}

void PanelTest::Run(std::function<void()> body) {
    if (thread.joinable()) thread.join();  // an earlier run has ended
    ended = false;
    threadId = 0;
    dlg = nullptr;
    g_panel = nullptr;
    thread = std::thread([this, body] {
        HHOOK hook = ::SetWindowsHookExW(WH_GETMESSAGE, CountTicks, nullptr, ::GetCurrentThreadId());
        threadId = ::GetCurrentThreadId();
        body();
        ::UnhookWindowsHookEx(hook);
        ended = true;
    });
    ASSERT_TRUE(WaitUntil([this] { return (dlg = FindPanel()) != nullptr; })) << "panel not shown";
    g_panel = dlg;
    // The initialisation leaves the panel stopped.
    ASSERT_TRUE(WaitUntil([this] { return Caption() == fixed::kStartCaption; })) << "not stopped";
}

int PanelTest::Ticks() { return g_ticks; }

bool PanelTest::PassTicks(int n) {
    const int target = g_ticks + n;
    return WaitUntil([&] { return g_ticks >= target; });
}

HWND PanelTest::FindPanel() const {
    HWND found = nullptr;
    if (threadId) ::EnumThreadWindows(threadId, FindPanelProc, reinterpret_cast<LPARAM>(&found));
    return found;
}

std::vector<HWND> PanelTest::MessageBoxes() const {
    if (!threadId) return {};
    return wintest::MessageBoxes(BoxScope::Thread(threadId, dlg));
}

AnsweredBox PanelTest::Answer(int button) { return AnswerMessageBox(BoxScope::Thread(threadId, dlg), button); }

std::vector<HWND> PanelTest::Popups() const {
    std::vector<HWND> menus;
    if (threadId) ::EnumThreadWindows(threadId, FindPopupsProc, reinterpret_cast<LPARAM>(&menus));
    return menus;
}

std::wstring PanelTest::ItemText(int id) const { return TextOf(Item(id)); }

std::wstring PanelTest::Caption() const { return ItemText(IDC_START_STOP); }

bool PanelTest::Running() const { return Caption() == fixed::kStopCaption; }

std::wstring PanelTest::ComboText() const {
    HWND combo = Item(IDC_SIZE_PRESET);
    LRESULT sel = ::SendMessageW(combo, CB_GETCURSEL, 0, 0);
    if (sel < 0) return L"(none)";
    wchar_t buf[64] = {};
    ::SendMessageW(combo, CB_GETLBTEXT, sel, reinterpret_cast<LPARAM>(buf));
    return buf;
}

void PanelTest::SetText(int id, const wchar_t* text) {
    ::SendMessageW(Item(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

bool PanelTest::Click(int id) {
    DWORD_PTR unused;
    return ::SendMessageTimeoutW(Item(id), BM_CLICK, 0, 0, SMTO_NORMAL, kPatience, &unused) != 0;
}

void PanelTest::PostClick(int id) { ::PostMessageW(Item(id), BM_CLICK, 0, 0); }

bool PanelTest::Command(WPARAM wParam, LPARAM lParam) {
    DWORD_PTR unused;
    return ::SendMessageTimeoutW(dlg, WM_COMMAND, wParam, lParam, SMTO_NORMAL, kPatience, &unused) != 0;
}

void PanelTest::ChoosePreset(int index) {
    ::SendMessageW(Item(IDC_SIZE_PRESET), CB_SETCURSEL, index, 0);
    Command(MAKEWPARAM(IDC_SIZE_PRESET, CBN_SELCHANGE), reinterpret_cast<LPARAM>(Item(IDC_SIZE_PRESET)));
}

std::wstring PanelTest::Config() const {
    std::string bytes = ReadFileBytes(dir + L"\\orvane.conf");
    return std::wstring(bytes.begin(), bytes.end());
}

void PanelTest::TearDown() {
    EndPanel();
    StandInPrograms::TearDown();
}

// Leaves through Exit, posted once, and agrees to whatever the panel asks on the way
// ("Confirm Exit", a text that is no integer) and to any box or menu a test left
// open. Exit again while a box is open would run inside that box and ask again.
void PanelTest::EndPanel() {
    if (!thread.joinable()) return;
    bool exitPosted = false;
    std::vector<HWND> answered;
    const bool done = WaitUntil([&] {
        if (ended) return true;
        if (!exitPosted && (dlg || (dlg = FindPanel()) != nullptr))
            exitPosted = ::PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(fixed::kExitCommand, 0), 0) != FALSE;
        answered.erase(std::remove_if(answered.begin(), answered.end(), [](HWND box) { return !::IsWindow(box); }),
                       answered.end());
        for (HWND box : MessageBoxes()) {
            if (std::find(answered.begin(), answered.end(), box) != answered.end()) continue;
            answered.push_back(box);
            ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        }
        for (HWND menu : Popups()) ::PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
        return false;
    });
    if (!done) {
        // Something holds the panel's thread: leave it, and the application object it
        // uses, rather than hang the test run.
        ADD_FAILURE() << "the panel did not end";
        thread.detach();
        app.release();
        return;
    }
    thread.join();
}

}  // namespace wintest
