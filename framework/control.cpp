#include "framework/control.h"

#include <mutex>
#include <unordered_map>

namespace fw {

namespace {
// What a taken-over window needs: its object (null once the object is gone while a
// later subclass kept our procedure in the chain) and the procedure it had before.
struct Takeover {
    Control* control;
    WNDPROC previous;
};

// The taken-over windows. A plain map read per message: a window property would be
// a round trip to the window system on every message of a banner that animates all
// day. Made once and never destroyed, so that no window outlives it.
class Takeovers {
public:
    static Takeovers& Instance() {
        static Takeovers* instance = new Takeovers;
        return *instance;
    }
    bool Find(HWND wnd, Takeover& found) {
        std::lock_guard<std::mutex> lock(m_lock);
        auto it = m_map.find(wnd);
        if (it == m_map.end()) return false;
        found = it->second;
        return true;
    }
    void Set(HWND wnd, const Takeover& takeover) {
        std::lock_guard<std::mutex> lock(m_lock);
        m_map[wnd] = takeover;
    }
    void Erase(HWND wnd) {
        std::lock_guard<std::mutex> lock(m_lock);
        m_map.erase(wnd);
    }

private:
    std::mutex m_lock;
    std::unordered_map<HWND, Takeover> m_map;
};

LRESULT CallPrevious(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Takeover takeover;
    return Takeovers::Instance().Find(wnd, takeover) ? ::CallWindowProcW(takeover.previous, wnd, msg, wParam, lParam)
                                                     : ::DefWindowProcW(wnd, msg, wParam, lParam);
}

LRESULT DefaultProc(Message& m) { return CallPrevious(m.wnd, m.msg, m.wParam, m.lParam); }
}  // namespace

Control::~Control() {
    // A control object may die before its window (a dialog member outliving nothing):
    // the window must not keep calling into freed memory.
    Takeover takeover;
    if (!m_hWnd || !Takeovers::Instance().Find(m_hWnd, takeover)) return;
    // Our procedure comes out only while it is the window's own: under a later subclass
    // it stays in the chain and passes everything on until the window goes.
    if (reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(m_hWnd, GWLP_WNDPROC)) == &Control::WindowProc) {
        ::SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(takeover.previous));
        Takeovers::Instance().Erase(m_hWnd);
    } else {
        Takeovers::Instance().Set(m_hWnd, {nullptr, takeover.previous});
    }
}

bool Control::Attach(HWND wnd) {
    Takeover taken;
    if (m_hWnd || !::IsWindow(wnd) || Takeovers::Instance().Find(wnd, taken)) return false;
    m_hWnd = wnd;
    OnAttach();
    // The entry exists before the procedure is swapped: the first message to reach ours
    // finds its object and the procedure to pass on to.
    const auto current = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(wnd, GWLP_WNDPROC));
    if (!current) {
        m_hWnd = nullptr;
        return false;
    }
    Takeovers::Instance().Set(wnd, {this, current});
    const LONG_PTR previous = ::SetWindowLongPtrW(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Control::WindowProc));
    if (!previous) {
        Takeovers::Instance().Erase(wnd);
        m_hWnd = nullptr;
        return false;
    }
    return true;
}

Control* Control::FromHandle(HWND wnd) {
    Takeover takeover;
    return Takeovers::Instance().Find(wnd, takeover) ? takeover.control : nullptr;
}

bool Control::Reflect(Message& m) {
    bool handled = false;
    Guarded([&] { handled = OnMessage(m); });
    return handled;
}

LRESULT CALLBACK Control::WindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Takeover takeover;
    if (!Takeovers::Instance().Find(wnd, takeover)) return ::DefWindowProcW(wnd, msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        Takeovers::Instance().Erase(wnd);
        if (takeover.control) takeover.control->m_hWnd = nullptr;
        return ::CallWindowProcW(takeover.previous, wnd, msg, wParam, lParam);
    }
    if (!takeover.control) return ::CallWindowProcW(takeover.previous, wnd, msg, wParam, lParam);
    Message m(wnd, msg, wParam, lParam, DefaultProc);
    bool handled = false;
    Guarded([&] { handled = takeover.control->OnMessage(m); });
    return handled ? m.result : ::CallWindowProcW(takeover.previous, wnd, msg, wParam, lParam);
}

}  // namespace fw
