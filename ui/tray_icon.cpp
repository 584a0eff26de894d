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

}  // namespace

void CControlPanelDlg::OnCreate(fw::Message& m) {
    if (m.Default() == -1) {
        m.result = -1;
        return;
    }
    AddTrayIcon();
    m.result = 0;
}

void CControlPanelDlg::AddTrayIcon() {
    NOTIFYICONDATAW record = TrayRecord(Handle());
    record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    record.uCallbackMessage = kTrayCallbackMessage;
    record.hIcon = m_hIcon;
    // Not the window's caption: at this point it is still the template's.
    std::wcscpy(record.szTip, kProductTitle);
    App().m_processSystem.shellNotifyIcon(NIM_ADD, &record);
}

void CControlPanelDlg::RemoveTrayIcon() {
    NOTIFYICONDATAW record = TrayRecord(Handle());
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
        break;
    }
    default: break;
    }
    m.result = 0;
}

void CControlPanelDlg::OnOpen() { ::ShowWindow(Handle(), SW_SHOWNORMAL); }
