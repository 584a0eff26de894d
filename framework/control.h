// Control classes: an object that takes over an existing control window (a dialog
// item) by subclassing it: its window procedure is replaced.
// Its message table sees the window's own messages, and the WM_COMMAND and WM_NOTIFY
// notifications that the parent dialog reflects back to it (Message::reflected is then
// true; see OnReflectedCommand/OnReflectedNotify).
#pragma once
#include <windows.h>

#include "framework/message_table.h"

namespace fw {

class Control {
public:
    Control() = default;
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    // Takes over wnd: OnAttach runs first, then the message table takes over.
    // False when wnd is not a window, or either side is taken already.
    bool Attach(HWND wnd);
    bool IsAttached() const { return m_hWnd != nullptr; }
    HWND Handle() const { return m_hWnd; }

    // The object that took over wnd, or null.
    static Control* FromHandle(HWND wnd);
    // Called by the parent with a notification of this control; true when handled.
    bool Reflect(Message& m);

protected:
    virtual void OnAttach() {}
    // The class's message table: derived classes answer with their table's Dispatch.
    virtual bool OnMessage(Message&) { return false; }

private:
    static LRESULT CALLBACK WindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
    HWND m_hWnd = nullptr;
};

// Wraps an existing "Button" control.
class ButtonControl : public Control {};
// Wraps an existing "Static" control.
class StaticControl : public Control {};

}  // namespace fw
