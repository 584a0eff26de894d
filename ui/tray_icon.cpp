// The notification-area icon of the panel and its menu. The icon lives exactly as
// long as the panel's window; it is the user's way back to a hidden panel.
#include <windows.h>
#include <shellapi.h>

#include <cwchar>

#include "common/product.h"
#include "res/resource.h"
#include "ui/control_panel_dlg.h"

namespace {

// The record in the form that ends with the balloon fields, which every shell accepts:
// 936 bytes in a 32-bit program, 952 in a 64-bit one (handles of 8 bytes, aligned).
constexpr DWORD kNotifyIconRecordSize = NOTIFYICONDATAW_V2_SIZE;
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
    ::Shell_NotifyIconW(NIM_ADD, &record);
}

void CControlPanelDlg::RemoveTrayIcon() {
    NOTIFYICONDATAW record = TrayRecord(Handle());
    ::Shell_NotifyIconW(NIM_DELETE, &record);
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
