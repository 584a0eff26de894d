#include "framework/dialog.h"

#include <commctrl.h>

#include <exception>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "common/utf8.h"
#include "framework/app_base.h"
#include "framework/control.h"
#include "framework/data_exchange.h"
#include "framework/dialog_init_data.h"

namespace fw {

namespace {

// The dialog being created on this thread, until the CBT hook has seen its window.
thread_local Dialog* t_creating = nullptr;
thread_local HHOOK t_cbtHook = nullptr;
// The exception a handler let out, until the modal loop rethrows it. Held through a
// plain pointer: a thread_local with a destructor makes MinGW's run-time keep a list
// of thread-exit destructors, and walking it has faulted at a panel thread's exit.
thread_local std::exception_ptr* t_pendingException = nullptr;

constexpr WORD kDialogInitResourceType = 240;

// Messages whose dialog-procedure answer is the return value itself; every other
// answer goes through DWLP_MSGRESULT.
bool AnswersDirectly(UINT msg) {
    switch (msg) {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
    case WM_INITDIALOG: return true;
    default: return false;
    }
}

LRESULT DefaultSubclass(Message& m) { return ::DefSubclassProc(m.wnd, m.msg, m.wParam, m.lParam); }

}  // namespace

void KeepPendingException() noexcept {
    if (!t_pendingException) t_pendingException = new (std::nothrow) std::exception_ptr(std::current_exception());
}
bool HasPendingException() noexcept { return t_pendingException != nullptr; }
void RethrowPendingException() {
    std::unique_ptr<std::exception_ptr> e(std::exchange(t_pendingException, nullptr));
    if (e) std::rethrow_exception(*e);
}

Dialog::Dialog(UINT templateId, HWND parent) : m_templateId(templateId), m_parent(parent) {}

Dialog::~Dialog() {
    if (m_hWnd) ::DestroyWindow(m_hWnd);
}

INT_PTR Dialog::DoModal() {
    m_ended = false;
    m_result = -1;
    // As DialogBox does: the owner takes no input while the dialog runs.
    const bool disabledOwner = m_parent && ::IsWindowEnabled(m_parent);
    if (disabledOwner) ::EnableWindow(m_parent, FALSE);

    // The hook subclasses the dialog window the moment it exists, before WM_CREATE.
    t_creating = this;
    t_cbtHook = ::SetWindowsHookExW(WH_CBT, CbtProc, nullptr, ::GetCurrentThreadId());
    HWND wnd = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_templateId), m_parent, DialogProc,
                                    reinterpret_cast<LPARAM>(this));
    ::UnhookWindowsHookEx(t_cbtHook);
    t_cbtHook = nullptr;
    t_creating = nullptr;
    m_hWnd = wnd;

    if (m_hWnd && !m_ended && !::IsWindowVisible(m_hWnd)) ::ShowWindow(m_hWnd, SW_SHOW);
    MSG msg;
    while (m_hWnd && !m_ended && !HasPendingException()) {
        BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {  // WM_QUIT belongs to the outer loop: leave it for that one
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (got < 0) break;
        bool handled = false;
        Guarded([&] { handled = PreTranslateMessage(msg); });
        if (!handled) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    // Enable the owner before the dialog goes, so that activation returns to it.
    if (disabledOwner) ::EnableWindow(m_parent, TRUE);
    if (m_hWnd) ::DestroyWindow(m_hWnd);
    RethrowPendingException();
    return m_result;
}

void Dialog::EndDialog(INT_PTR result) {
    m_result = result;
    m_ended = true;
    if (m_hWnd) ::PostMessageW(m_hWnd, WM_NULL, 0, 0);  // wakes the loop in GetMessage
}

bool Dialog::UpdateData(bool fromControls) {
    DataExchange dx(*this, fromControls);
    DoDataExchange(dx);
    return !dx.Failed();
}

bool Dialog::OnInitDialog() {
    if (!UpdateData(false)) EndDialog(-1);
    return true;
}

bool Dialog::PreTranslateMessage(MSG& msg) { return m_hWnd && ::IsDialogMessageW(m_hWnd, &msg); }

void Dialog::OnOK() {
    if (UpdateData(true)) EndDialog(IDOK);
}

void Dialog::OnCancel() { EndDialog(IDCANCEL); }

LRESULT CALLBACK Dialog::CbtProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND && t_creating) {
        HWND wnd = reinterpret_cast<HWND>(wParam);
        wchar_t cls[16] = {};
        if (::GetClassNameW(wnd, cls, 16) && std::wstring(cls) == L"#32770") {
            Dialog* self = std::exchange(t_creating, nullptr);
            self->m_hWnd = wnd;
            ::SetWindowSubclass(wnd, CreationSubclassProc, 0, reinterpret_cast<DWORD_PTR>(self));
        }
    }
    return ::CallNextHookEx(t_cbtHook, code, wParam, lParam);
}

// Installed at creation only to give WM_CREATE to the message table; removed after it.
LRESULT CALLBACK Dialog::CreationSubclassProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                              DWORD_PTR refData) {
    if (msg != WM_CREATE) return ::DefSubclassProc(wnd, msg, wParam, lParam);
    ::RemoveWindowSubclass(wnd, CreationSubclassProc, 0);
    Dialog* self = reinterpret_cast<Dialog*>(refData);
    Message m(wnd, msg, wParam, lParam, DefaultSubclass);
    bool handled = false;
    if (!Guarded([&] { handled = self->OnMessage(m); })) return -1;  // creation fails
    return handled ? m.result : ::DefSubclassProc(wnd, msg, wParam, lParam);
}

INT_PTR CALLBACK Dialog::DialogProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Dialog* self = nullptr;
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lParam);
        self->m_hWnd = wnd;
        ::SetWindowLongPtrW(wnd, DWLP_USER, lParam);
    } else {
        self = reinterpret_cast<Dialog*>(::GetWindowLongPtrW(wnd, DWLP_USER));
    }
    if (!self) return FALSE;  // the few messages before WM_INITDIALOG
    INT_PTR answer = FALSE;
    Guarded([&] { answer = self->HandleDialogMessage(msg, wParam, lParam); });
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrW(wnd, DWLP_USER, 0);
        self->m_hWnd = nullptr;
    }
    return answer;
}

INT_PTR Dialog::HandleDialogMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) {
        ApplyInitData();
        return OnInitDialog() ? TRUE : FALSE;
    }
    if (msg == WM_DESTROY) OnDestroy();

    Message m(m_hWnd, msg, wParam, lParam, nullptr);
    bool handled = (msg == WM_COMMAND || msg == WM_NOTIFY) && ReflectToControl(m);
    if (!handled) handled = OnMessage(m);
    if (handled) {
        if (m.WantsDefault()) return FALSE;  // the dialog manager's default runs next
        if (AnswersDirectly(msg)) return m.result;
        ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, m.result);
        return TRUE;
    }
    if (msg == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        if (LOWORD(wParam) == IDOK) {
            OnOK();
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            OnCancel();
            return TRUE;
        }
    }
    // Menu and accelerator commands the dialog does not know go on to the application
    // (the Help command is the application's).
    if (msg == WM_COMMAND && lParam == 0 && AppBase::Current() && AppBase::Current()->OnAppCommand(LOWORD(wParam)))
        return TRUE;
    return FALSE;
}

bool Dialog::ReflectToControl(Message& m) {
    HWND child = m.msg == WM_COMMAND ? reinterpret_cast<HWND>(m.lParam)  // null for menus
                                     : reinterpret_cast<NMHDR*>(m.lParam)->hwndFrom;
    Control* control = Control::FromHandle(child);
    if (!control) return false;
    Message reflected(child, m.msg, m.wParam, m.lParam, nullptr);
    reflected.reflected = true;
    if (!control->Reflect(reflected)) return false;
    m.result = reflected.result;
    return true;
}

void Dialog::ApplyInitData() {
    HINSTANCE module = ::GetModuleHandleW(nullptr);
    HRSRC res = ::FindResourceW(module, MAKEINTRESOURCEW(m_templateId), MAKEINTRESOURCEW(kDialogInitResourceType));
    if (!res) return;
    const void* data = ::LockResource(::LoadResource(module, res));
    if (!data) return;
    for (const DialogInitRecord& r : ParseDialogInitData(data, ::SizeofResource(module, res))) {
        UINT msg = r.kind == DialogInitRecord::Kind::ComboString  ? CB_ADDSTRING
                   : r.kind == DialogInitRecord::Kind::ListString ? LB_ADDSTRING
                                                                  : 0;
        if (msg == 0) continue;  // other record kinds are not used by our templates
        // Our templates' texts are ASCII; read as UTF-8, like every narrow text of
        // ours, they do not depend on the user's ANSI code page.
        std::wstring text = FromUtf8(r.text);
        ::SendDlgItemMessageW(m_hWnd, r.controlId, msg, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
}

}  // namespace fw
