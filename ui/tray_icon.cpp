// The notification-area icon of the panel and its menu. The icon lives exactly as
// long as the panel's window; it is the user's way back to a hidden panel.
#include <windows.h>
#include <shellapi.h>

#include <cwchar>

#include "app/streamer_app.h"
#include "common/product.h"
#include "res/resource.h"
#include "ui/control_panel_dlg.h"
#include "ui/stop_reasons.h"

namespace {

// The record in the form that ends with the balloon fields, which every shell accepts:
// 936 bytes in a 32-bit program, 952 in a 64-bit one (handles of 8 bytes, aligned).
constexpr DWORD kNotifyIconRecordSize = NOTIFYICONDATAW_V2_SIZE;
constexpr UINT kBalloonTimeoutMs = 20000;
static_assert(kNotifyIconRecordSize == (sizeof(void*) == 8 ? 952 : 936), "NOTIFYICONDATAW as Windows defines it");

NOTIFYICONDATAW TrayRecord(HWND wnd) {
    NOTIFYICONDATAW record;
    ZeroMemory(&record, sizeof record);
    record.cbSize = kNotifyIconRecordSize;
    record.hWnd = wnd;
    record.uID = 0;
    return record;
}

// The shell's broadcast when its notification area is (re)created.
UINT TaskbarCreatedMessage() {
    static const UINT message = ::RegisterWindowMessageW(L"TaskbarCreated");
    return message;
}

// A panel started elevated would not get the broadcast of a shell that is not: let it
// through, where the system has the call (Windows 7 and later).
void AllowTaskbarCreated(HWND wnd) {
    using Filter = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
    HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
    FARPROC f = user32 ? ::GetProcAddress(user32, "ChangeWindowMessageFilterEx") : nullptr;
    if (f) reinterpret_cast<Filter>(reinterpret_cast<void*>(f))(wnd, TaskbarCreatedMessage(), MSGFLT_ALLOW, nullptr);
}

}  // namespace

void CControlPanelDlg::OnCreate(fw::Message& m) {
    if (m.Default() == -1) {
        m.result = -1;
        return;
    }
    AllowTaskbarCreated(Handle());
    AddTrayIcon();
    m.result = 0;
}

bool CControlPanelDlg::OnTaskbarCreated(fw::Message& m) {
    if (m.msg != TaskbarCreatedMessage() || m.msg == 0) return false;
    AddTrayIcon();
    m.result = 0;
    return true;
}

void CControlPanelDlg::AddTrayIcon() {
    NOTIFYICONDATAW record = TrayRecord(Handle());
    record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    record.uCallbackMessage = kTrayCallbackMessage;
    // The icon in the notification area's own size, so that it is drawn sharp at any
    // scale (the shell would shrink the standard-size one).
    if (!m_trayIcon)
        m_trayIcon.reset(static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME),
                                                         IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                                                         ::GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR)));
    record.hIcon = m_trayIcon ? m_trayIcon.get() : m_hIcon;
    // Not the window's caption: at this point it is still the template's.
    std::wcscpy(record.szTip, kProductTitle);
    App().m_processSystem.shellNotifyIcon(NIM_ADD, &record);
}

void CControlPanelDlg::RemoveTrayIcon() { RemoveTrayIconOf(Handle()); }

void CControlPanelDlg::RemoveTrayIconOf(HWND panel) {
    NOTIFYICONDATAW record = TrayRecord(panel);
    App().m_processSystem.shellNotifyIcon(NIM_DELETE, &record);
}

void CControlPanelDlg::TellWhyStreamingStopped() {
    bool server = false;
    DWORD exitCode = 0;
    if (!App().TakeUnaskedEnd(server, exitCode)) return;
    const StopReason reason = StopReasonFor(server ? StreamingProgram::Server : StreamingProgram::Encoder, exitCode,
                                            App().m_settings.port);
    // A balloon from the icon: it neither waits nor takes the focus.
    NOTIFYICONDATAW record = TrayRecord(Handle());
    record.uFlags = NIF_INFO;
    std::wcsncpy(record.szInfo, reason.text.c_str(), ARRAYSIZE(record.szInfo) - 1);
    std::wcsncpy(record.szInfoTitle, reason.title.c_str(), ARRAYSIZE(record.szInfoTitle) - 1);
    record.dwInfoFlags = NIIF_WARNING;
    record.uTimeout = kBalloonTimeoutMs;  // taken by shells before Vista; later ones decide themselves
    App().m_processSystem.shellNotifyIcon(NIM_MODIFY, &record);
}

void CControlPanelDlg::OnTrayNotify(fw::Message& m) {
    switch (m.lParam) {
    case WM_LBUTTONDBLCLK:
        ::ShowWindow(Handle(), SW_SHOWNORMAL);  // also restores a minimised panel
        ::SetForegroundWindow(Handle());
        break;
    case WM_RBUTTONUP: {
        // Foreground first, or the menu would not close when the user clicks elsewhere.
        ::SetForegroundWindow(Handle());
        POINT pt;
        ::GetCursorPos(&pt);
        ::TrackPopupMenu(::GetSubMenu(m_menuTray.get(), 0), TPM_RIGHTBUTTON, pt.x, pt.y, 0, Handle(), nullptr);
        // Without a message after it, a notification-area menu may not close when the
        // user next clicks elsewhere (Microsoft's advice for TrackPopupMenu).
        ::PostMessageW(Handle(), WM_NULL, 0, 0);
        break;
    }
    default: break;
    }
    m.result = 0;
}

void CControlPanelDlg::OnOpen() { ::ShowWindow(Handle(), SW_SHOWNORMAL); }
