#include "framework/control.h"

#include <unordered_map>

namespace fw {

namespace {
// What a taken-over window needs: its object (null once the object is gone while a
// later subclass kept our procedure in the chain) and the procedure it had before.
struct Takeover {
    Control* control;
    WNDPROC previous;
};
// By window, for this thread: a window procedure runs on its window's thread, so a
// lookup is a plain map read (a window property would be a round trip to the system
// on every message of a banner that animates all day).
thread_local std::unordered_map<HWND, Takeover> t_takeovers;

LRESULT CallPrevious(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto it = t_takeovers.find(wnd);
    return it == t_takeovers.end() ? ::DefWindowProcW(wnd, msg, wParam, lParam)
                                   : ::CallWindowProcW(it->second.previous, wnd, msg, wParam, lParam);
}

LRESULT DefaultProc(Message& m) { return CallPrevious(m.wnd, m.msg, m.wParam, m.lParam); }
}  // namespace

Control::~Control() {
    // A control object may die before its window (a dialog member outliving nothing):
    // the window must not keep calling into freed memory.
    if (!m_hWnd) return;
    auto it = t_takeovers.find(m_hWnd);
    if (it == t_takeovers.end()) return;
    // Our procedure comes out only while it is the window's own: under a later subclass
    // it stays in the chain and passes everything on until the window goes.
    if (reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(m_hWnd, GWLP_WNDPROC)) == &Control::WindowProc) {
        ::SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(it->second.previous));
        t_takeovers.erase(it);
    } else {
        it->second.control = nullptr;
    }
}

bool Control::Attach(HWND wnd) {
    if (m_hWnd || !::IsWindow(wnd) || FromHandle(wnd) || t_takeovers.count(wnd) ||
        ::GetWindowThreadProcessId(wnd, nullptr) != ::GetCurrentThreadId())
        return false;
    m_hWnd = wnd;
    OnAttach();
    const LONG_PTR previous = ::SetWindowLongPtrW(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Control::WindowProc));
    if (!previous) {
        m_hWnd = nullptr;
        return false;
    }
    t_takeovers[wnd] = {this, reinterpret_cast<WNDPROC>(previous)};
    return true;
}

Control* Control::FromHandle(HWND wnd) {
    auto it = t_takeovers.find(wnd);
    return it == t_takeovers.end() ? nullptr : it->second.control;
}

bool Control::Reflect(Message& m) {
    bool handled = false;
    Guarded([&] { handled = OnMessage(m); });
    return handled;
}

LRESULT CALLBACK Control::WindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto it = t_takeovers.find(wnd);
    if (it == t_takeovers.end()) return ::DefWindowProcW(wnd, msg, wParam, lParam);
    const Takeover takeover = it->second;
    if (msg == WM_NCDESTROY) {
        t_takeovers.erase(it);
        if (takeover.control) takeover.control->m_hWnd = nullptr;
        return ::CallWindowProcW(takeover.previous, wnd, msg, wParam, lParam);
    }
    if (!takeover.control) return ::CallWindowProcW(takeover.previous, wnd, msg, wParam, lParam);
    Message m(wnd, msg, wParam, lParam, DefaultProc);
    bool handled = false;
    Guarded([&] { handled = takeover.control->OnMessage(m); });
    return handled ? m.result : CallPrevious(wnd, msg, wParam, lParam);
}

}  // namespace fw
