// The control panel run in the test process, driven as a user drives it: the dialog
// on a thread of its own (its modal loop and message boxes run there), the test on
// the main thread. The stand-in programs replace server.dll and orvane.dll.
#pragma once
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "backend/stream_settings.h"
#include "toolkit/message_boxes.h"
#include "toolkit/stand_in_programs.h"

namespace wintest {

class PanelTest : public StandInPrograms {
protected:
    void TearDown() override;

    // Runs the panel with these committed settings until the test or tear-down ends it.
    void Open(const StreamSettings& settings = StreamSettings{});
    // Runs body on the panel's thread and waits for the panel to show (Open's way
    // of running it is a plain DoModal).
    void Run(std::function<void()> body);

    // Supervision ticks that have reached the panel so far.
    static int Ticks();
    // Waits until n more ticks have reached the panel. A thread handles its messages
    // one after another, so every tick but the last has then been handled, and
    // everything posted before the first of them.
    bool PassTicks(int n);

    // The panel's message boxes open now, the topmost first; answering the next one.
    std::vector<HWND> MessageBoxes() const;
    AnsweredBox Answer(int button = IDOK);
    // Open popup menus of the panel's thread.
    std::vector<HWND> Popups() const;

    HWND Item(int id) const { return ::GetDlgItem(dlg, id); }
    std::wstring ItemText(int id) const;
    std::wstring Caption() const;  // of the Start/Stop button: the panel's state
    bool Running() const;
    bool Enabled(int id) const { return ::IsWindowEnabled(Item(id)) != FALSE; }
    bool Checked(int id) const { return ::SendMessageW(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    bool ReadOnly(int id) const { return (::GetWindowLongW(Item(id), GWL_STYLE) & ES_READONLY) != 0; }
    std::wstring ComboText() const;  // the size preset shown
    void SetText(int id, const wchar_t* text);
    // A click whose handling shows no message box: returns once it has been handled.
    bool Click(int id);
    // A click that may open a message box: the test answers it with Answer().
    void PostClick(int id);
    // Sends a command as a menu would, and waits until it has been handled.
    bool Command(WPARAM wParam, LPARAM lParam = 0);
    void ChoosePreset(int index);
    std::wstring Config() const;  // orvane.conf as written

    std::thread thread;
    std::atomic<DWORD> threadId{0};
    std::atomic<bool> ended{false};
    INT_PTR result = 0;  // what DoModal returned
    HWND dlg = nullptr;

private:
    HWND FindPanel() const;
    void EndPanel();
};

}  // namespace wintest
