// Runs the real control panel in the test process: the dialog on a thread of its own
// (its modal loop and message boxes run there), the test on the main thread driving
// it as a user would. Stand-in children replace server.dll and orvane.dll, and the
// process-control seam records every Ctrl+Break instead of sending it.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/streamer_app.h"
#include "res/resource.h"
#include "ui/control_panel_dlg.h"
#include "win_test_support.h"

namespace paneltest {

inline std::mutex g_breakMutex;
inline std::vector<DWORD> g_breaks;  // process groups that were sent Ctrl+Break

inline BOOL WINAPI RecordCtrlBreak(DWORD event, DWORD group) {
    std::lock_guard<std::mutex> lock(g_breakMutex);
    if (event == CTRL_BREAK_EVENT) g_breaks.push_back(group);
    return TRUE;
}

inline std::vector<DWORD> Breaks() {
    std::lock_guard<std::mutex> lock(g_breakMutex);
    return g_breaks;
}

inline std::wstring Text(HWND wnd) {
    wchar_t buf[1024] = {};
    ::GetWindowTextW(wnd, buf, 1024);
    return buf;
}

// Polls cond every 10 ms for up to timeoutMs.
template <class F>
bool WaitFor(F cond, DWORD timeoutMs = 5000) {
    DWORD start = ::GetTickCount();
    while (!cond()) {
        if (::GetTickCount() - start > timeoutMs) return false;
        ::Sleep(10);
    }
    return true;
}

struct MessageBoxSeen {
    HWND box = nullptr;
    std::wstring caption;
    std::wstring text;
    HWND owner = nullptr;
    size_t boxesOpen = 0;
};

struct BoxSearch {
    HWND panel;
    std::vector<HWND>* boxes;
};

inline std::wstring ClassOf(HWND wnd) {
    wchar_t cls[32] = {};
    ::GetClassNameW(wnd, cls, 32);
    return cls;
}

inline BOOL CALLBACK FindPanelProc(HWND wnd, LPARAM param) {
    if (::IsWindowVisible(wnd) && Text(wnd) == L"Orvane DEMO (Web Edition)") {
        *reinterpret_cast<HWND*>(param) = wnd;
        return FALSE;
    }
    return TRUE;
}

inline BOOL CALLBACK FindBoxesProc(HWND wnd, LPARAM param) {
    auto* search = reinterpret_cast<BoxSearch*>(param);
    if (wnd != search->panel && ::IsWindowVisible(wnd) && ClassOf(wnd) == L"#32770") search->boxes->push_back(wnd);
    return TRUE;
}

inline BOOL CALLBACK FindPopupsProc(HWND wnd, LPARAM param) {
    if (::IsWindowVisible(wnd) && ClassOf(wnd) == L"#32768") reinterpret_cast<std::vector<HWND>*>(param)->push_back(wnd);
    return TRUE;
}

class PanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        {
            std::lock_guard<std::mutex> lock(g_breakMutex);
            g_breaks.clear();
        }
        dir = wintest::MakeTempDir(L"orvane panel test");
        std::wstring stub = wintest::ModuleDir() + L"\\child_stub.exe";
        ASSERT_TRUE(::CopyFileW(stub.c_str(), (dir + L"\\server.dll").c_str(), FALSE));
        ASSERT_TRUE(::CopyFileW(stub.c_str(), (dir + L"\\orvane.dll").c_str(), FALSE));
        app = std::make_unique<CStreamerApp>((dir + L"\\OrvaneDemo.exe").c_str());
        app->m_processSystem.generateConsoleCtrlEvent = RecordCtrlBreak;
    }

    void TearDown() override {
        // Let the children go, answer whatever is still open, and leave through Exit.
        Quit(app->m_serverPath);
        Quit(app->m_encoderPath);
        for (PROCESS_INFORMATION* p : {&app->m_serverProcess, &app->m_encoderProcess})
            if (p->hProcess) ::WaitForSingleObject(p->hProcess, 5000);
        if (thread.joinable()) {
            // The supervision tick reaps the ended children first, so that Exit asks
            // nothing. Posting Exit into a question every 100 ms could starve that
            // tick on a busy machine: a timer message comes only when the queue is empty.
            WaitFor([this] { return !app->m_serverProcess.hProcess && !app->m_encoderProcess.hProcess; });
            for (int i = 0; i < 50 && !ended; ++i) {
                for (HWND box : Boxes()) ::PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
                for (HWND menu : Popups()) ::PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
                if (dlg) ::PostMessageW(dlg, WM_COMMAND, ID_TRAY_EXIT, 0);
                ::Sleep(100);
            }
            if (!ended) {
                // Something still holds the panel's thread: leave it, and the
                // application object it uses, rather than hang the test run.
                ADD_FAILURE() << "the panel did not end";
                thread.detach();
                app.release();
                return;
            }
            thread.join();
        }
        app->ReapProcesses();
        app.reset();
        wintest::RemoveTree(dir);
    }

    // Runs the panel with these committed settings until the test or tear-down ends it.
    void Open(const StreamSettings& settings = StreamSettings{}) {
        app->m_settings = settings;
        thread = std::thread([this] {
            threadId = ::GetCurrentThreadId();
            CControlPanelDlg panel(nullptr);
            result = panel.DoModal();
            ended = true;
        });
        ASSERT_TRUE(WaitFor([this] { return (dlg = FindPanel()) != nullptr; }, 15000)) << "panel not shown";
        // The panel is visible before its first tick; wait until the stop state is in.
        ASSERT_TRUE(WaitFor([this] { return Caption() == L"&Start Server"; }));
    }

    HWND FindPanel() const {
        if (!threadId) return nullptr;
        HWND found = nullptr;
        ::EnumThreadWindows(threadId, FindPanelProc, reinterpret_cast<LPARAM>(&found));
        return found;
    }

    // Visible dialog windows of the panel's thread other than the panel: message boxes.
    std::vector<HWND> Boxes() const {
        std::vector<HWND> boxes;
        if (!threadId) return boxes;
        BoxSearch ctx{dlg, &boxes};
        ::EnumThreadWindows(threadId, FindBoxesProc, reinterpret_cast<LPARAM>(&ctx));
        return boxes;
    }

    // Open popup menus of the panel's thread.
    std::vector<HWND> Popups() const {
        std::vector<HWND> menus;
        if (threadId) ::EnumThreadWindows(threadId, FindPopupsProc, reinterpret_cast<LPARAM>(&menus));
        return menus;
    }

    // Waits for a message box, reads it and presses button (IDOK, IDCANCEL); with
    // lingerMs, first leaves it open that long and counts the boxes then open.
    MessageBoxSeen Answer(int button = IDOK, DWORD timeoutMs = 5000, DWORD lingerMs = 0) {
        MessageBoxSeen seen;
        if (!WaitFor([&] { return !Boxes().empty(); }, timeoutMs)) return seen;
        seen.box = Boxes().front();
        if (lingerMs) {
            ::Sleep(lingerMs);
            seen.boxesOpen = Boxes().size();
        }
        WaitFor([&] { return ::GetDlgItem(seen.box, 0xFFFF) != nullptr; });
        seen.caption = Text(seen.box);
        seen.text = Text(::GetDlgItem(seen.box, 0xFFFF));
        seen.owner = ::GetWindow(seen.box, GW_OWNER);
        ::PostMessageW(seen.box, WM_COMMAND, button, 0);
        WaitFor([&] { return !::IsWindow(seen.box) || !::IsWindowVisible(seen.box); });
        return seen;
    }

    HWND Item(int id) const { return ::GetDlgItem(dlg, id); }
    std::wstring Caption() const { return Text(Item(IDC_START_STOP)); }
    std::wstring ItemText(int id) const { return Text(Item(id)); }
    bool Enabled(int id) const { return ::IsWindowEnabled(Item(id)) != FALSE; }
    bool Checked(int id) const { return ::SendMessageW(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    bool ReadOnly(int id) const { return (::GetWindowLongW(Item(id), GWL_STYLE) & ES_READONLY) != 0; }
    std::wstring ComboText() const {
        HWND combo = Item(IDC_SIZE_PRESET);
        LRESULT sel = ::SendMessageW(combo, CB_GETCURSEL, 0, 0);
        if (sel < 0) return L"(none)";
        wchar_t buf[64] = {};
        ::SendMessageW(combo, CB_GETLBTEXT, sel, reinterpret_cast<LPARAM>(buf));
        return buf;
    }
    void SetText(int id, const wchar_t* text) {
        ::SendMessageW(Item(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    }
    // A click whose handling shows no message box: returns once it has been handled.
    bool Click(int id) {
        DWORD_PTR unused;
        return ::SendMessageTimeoutW(Item(id), BM_CLICK, 0, 0, SMTO_NORMAL, 10000, &unused) != 0;
    }
    // A click that may open a message box: the test answers it with Answer().
    void PostClick(int id) { ::PostMessageW(Item(id), BM_CLICK, 0, 0); }
    // Sends a command as a menu would, and waits until it has been handled.
    bool Command(WPARAM wParam, LPARAM lParam = 0) {
        DWORD_PTR unused;
        return ::SendMessageTimeoutW(dlg, WM_COMMAND, wParam, lParam, SMTO_NORMAL, 10000, &unused) != 0;
    }
    void ChoosePreset(int index) {
        ::SendMessageW(Item(IDC_SIZE_PRESET), CB_SETCURSEL, index, 0);
        Command(MAKEWPARAM(IDC_SIZE_PRESET, CBN_SELCHANGE), reinterpret_cast<LPARAM>(Item(IDC_SIZE_PRESET)));
    }

    bool Running() const { return Caption() == L"&Stop Server"; }
    std::wstring Config() const {
        std::string bytes = wintest::ReadFileBytes(dir + L"\\orvane.conf");
        return std::wstring(bytes.begin(), bytes.end());
    }
    static std::wstring CommandLineOf(const std::wstring& program, DWORD timeoutMs = 10000) {
        std::wstring file = program + L".cmdline";
        if (!wintest::WaitForFile(file, timeoutMs)) return L"(not started)";
        std::string bytes = wintest::ReadFileBytes(file);
        return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    }
    static void Quit(const std::wstring& program) { wintest::WriteFileBytes(program + L".quit", ""); }

    std::wstring dir;
    std::unique_ptr<CStreamerApp> app;
    std::thread thread;
    std::atomic<DWORD> threadId{0};
    std::atomic<bool> ended{false};
    INT_PTR result = 0;
    HWND dlg = nullptr;
};

}  // namespace paneltest
