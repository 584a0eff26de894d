// Message tables: a class lists which window messages, control notifications and
// command ids go to which of its methods, in one static table, instead of a switch.
// Dialogs and controls run their table first and fall back to the default handling.
#pragma once
#include <windows.h>

#include <initializer_list>
#include <vector>

namespace fw {

// One message as a handler sees it. `result` is what the window procedure answers
// (for a notification, the value that goes back through DWLP_MSGRESULT); it is 0
// before the handler runs.
class Message {
public:
    using DefaultProc = LRESULT (*)(Message&);

    Message(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam, DefaultProc defaultProc)
        : wnd(wnd), msg(msg), wParam(wParam), lParam(lParam), m_defaultProc(defaultProc) {}

    // Runs the default handling now (a control's own window procedure, or the
    // dialog's window procedure for WM_CREATE) and keeps its result. Inside a dialog
    // procedure there is no "now": the dialog manager's default runs after the
    // handler returns, and its answer replaces `result`.
    LRESULT Default() {
        m_wantsDefault = true;
        if (m_defaultProc) result = m_defaultProc(*this);
        return result;
    }
    bool WantsDefault() const { return m_wantsDefault; }

    HWND wnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result = 0;
    // True when a parent hands a WM_COMMAND or WM_NOTIFY from this control back to it.
    bool reflected = false;

private:
    DefaultProc m_defaultProc;
    bool m_wantsDefault = false;
};

constexpr UINT kAnyId = 0xFFFFFFFFu;

// A class's message table. Build it with the On... helpers below, e.g.
//   static const fw::MessageTable<CMyDlg> table = {
//       fw::OnMessage(WM_TIMER, &CMyDlg::OnTimer),
//       fw::OnCommand(BN_CLICKED, IDC_START, &CMyDlg::OnStart),
//       fw::OnReflectedNotify(NM_CUSTOMDRAW, &CMyButton::OnCustomDraw),
//   };
// The first matching entry handles the message.
template <class T>
class MessageTable {
public:
    struct Entry {
        UINT msg;            // WM_COMMAND and WM_NOTIFY entries match code and id too
        UINT code;           // notification code (BN_CLICKED, NM_CUSTOMDRAW, ...)
        UINT id;             // control or command id, or kAnyId
        bool reflected;      // matches only notifications a parent reflected back
        void (T::*plain)();  // exactly one of these three is set
        void (T::*full)(Message&);
        void (T::*notify)(NMHDR*, LRESULT*);
    };

    MessageTable(std::initializer_list<Entry> entries) : m_entries(entries) {}

    // Returns true when an entry handled the message.
    bool Dispatch(T& target, Message& m) const {
        for (const Entry& e : m_entries) {
            if (!Matches(e, m)) continue;
            if (e.plain) (target.*e.plain)();
            else if (e.full) (target.*e.full)(m);
            else (target.*e.notify)(reinterpret_cast<NMHDR*>(m.lParam), &m.result);
            return true;
        }
        return false;
    }

private:
    static bool Matches(const Entry& e, const Message& m) {
        if (e.msg != m.msg || e.reflected != m.reflected) return false;
        if (m.msg == WM_COMMAND) return e.code == HIWORD(m.wParam) && (e.id == kAnyId || e.id == LOWORD(m.wParam));
        if (m.msg == WM_NOTIFY) {
            const NMHDR* hdr = reinterpret_cast<const NMHDR*>(m.lParam);
            return e.code == hdr->code && (e.id == kAnyId || e.id == hdr->idFrom);
        }
        return true;
    }

    std::vector<Entry> m_entries;
};

// A window message, e.g. WM_TIMER or WM_PAINT. The handler may call m.Default().
template <class T>
typename MessageTable<T>::Entry OnMessage(UINT msg, void (T::*h)(Message&)) {
    return {msg, 0, kAnyId, false, nullptr, h, nullptr};
}
template <class T>
typename MessageTable<T>::Entry OnMessage(UINT msg, void (T::*h)()) {
    return {msg, 0, kAnyId, false, h, nullptr, nullptr};
}
// A WM_COMMAND notification from a control (BN_CLICKED, CBN_SELCHANGE, ...). A menu
// command arrives with code 0, so OnCommand(0, id, ...) also serves menu items.
template <class T>
typename MessageTable<T>::Entry OnCommand(UINT code, UINT id, void (T::*h)()) {
    return {WM_COMMAND, code, id, false, h, nullptr, nullptr};
}
// A WM_NOTIFY notification from a control, with the record and the result slot.
template <class T>
typename MessageTable<T>::Entry OnNotify(UINT code, UINT id, void (T::*h)(NMHDR*, LRESULT*)) {
    return {WM_NOTIFY, code, id, false, nullptr, nullptr, h};
}
// In a control's table: its own notifications, reflected back by the parent.
template <class T>
typename MessageTable<T>::Entry OnReflectedCommand(UINT code, void (T::*h)()) {
    return {WM_COMMAND, code, kAnyId, true, h, nullptr, nullptr};
}
template <class T>
typename MessageTable<T>::Entry OnReflectedNotify(UINT code, void (T::*h)(NMHDR*, LRESULT*)) {
    return {WM_NOTIFY, code, kAnyId, true, nullptr, nullptr, h};
}

// Win32 calls our procedures from C frames that cannot carry a C++ exception. Every
// entry point runs its handler through Guarded: an exception is caught and kept, the
// modal loop ends and rethrows it from DoModal, outside any Win32 frame.
void KeepPendingException() noexcept;
bool HasPendingException() noexcept;
void RethrowPendingException();

template <class F>
bool Guarded(F&& f) noexcept {
    try {
        f();
        return true;
    } catch (...) {
        KeepPendingException();
        return false;
    }
}

}  // namespace fw
