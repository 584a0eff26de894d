#include "framework/control.h"

#include <commctrl.h>

namespace fw {

namespace {
constexpr UINT_PTR kSubclassId = 1;
LRESULT DefaultSubclass(Message& m) { return ::DefSubclassProc(m.wnd, m.msg, m.wParam, m.lParam); }
}  // namespace

Control::~Control() {
    // A control object may die before its window (a dialog member outliving nothing):
    // the window must not keep calling into freed memory.
    if (m_hWnd) ::RemoveWindowSubclass(m_hWnd, SubclassProc, kSubclassId);
}

bool Control::Attach(HWND wnd) {
    if (m_hWnd || !::IsWindow(wnd) || FromHandle(wnd)) return false;
    m_hWnd = wnd;
    OnAttach();
    if (!::SetWindowSubclass(wnd, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) {
        m_hWnd = nullptr;
        return false;
    }
    return true;
}

Control* Control::FromHandle(HWND wnd) {
    DWORD_PTR refData = 0;
    if (!wnd || !::GetWindowSubclass(wnd, SubclassProc, kSubclassId, &refData)) return nullptr;
    return reinterpret_cast<Control*>(refData);
}

bool Control::Reflect(Message& m) {
    bool handled = false;
    Guarded([&] { handled = OnMessage(m); });
    return handled;
}

LRESULT CALLBACK Control::SubclassProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR refData) {
    Control* self = reinterpret_cast<Control*>(refData);
    if (msg == WM_NCDESTROY) {
        ::RemoveWindowSubclass(wnd, SubclassProc, kSubclassId);
        self->m_hWnd = nullptr;
        return ::DefSubclassProc(wnd, msg, wParam, lParam);
    }
    Message m(wnd, msg, wParam, lParam, DefaultSubclass);
    bool handled = false;
    Guarded([&] { handled = self->OnMessage(m); });
    return handled ? m.result : ::DefSubclassProc(wnd, msg, wParam, lParam);
}

}  // namespace fw
