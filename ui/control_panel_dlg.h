// The control panel: the program's main window. It edits the five stream settings,
// starts and stops the two streaming programs and watches them, owns the tray icon
// and its menu, and hides instead of closing; only the tray menu's Exit ends it.
#pragma once
#include <windows.h>

#include "controls/banner_static.h"
#include "controls/icon_button.h"
#include "framework/dialog.h"
#include "framework/handles.h"

// The tray icon's callback message: a fixed private number above WM_USER.
constexpr UINT kTrayCallbackMessage = 0x2937;

class CControlPanelDlg : public fw::Dialog {
public:
    // Starts from the committed settings of the application object.
    explicit CControlPanelDlg(HWND parent = nullptr);
    ~CControlPanelDlg() override;

    // Copies the five edited values into the application object and rewrites orvane.conf.
    int CommitSettings();
    // Tray menu "&Exit": asks while a program runs, stops, stores what is shown, ends.
    void OnExit();

    // The panel keeps no running flag: the Start/Stop caption is its state.
    bool IsStopped() const;
    // Takes the panel's tray icon away; any thread may call it (the console's close does).
    static void RemoveTrayIconOf(HWND panel);

    CIconButton m_btnCaptureFormat;
    CIconButton m_btnCameraSettings;
    CBannerStatic m_banner;
    CIconButton m_btnStartStop;
    int m_nBitRate;
    int m_nFrameRate;
    int m_nPort;
    int m_nSizePreset;
    int m_nWidth;
    int m_nHeight;
    int m_nResizeMode;
    HWND m_toolTip = nullptr;  // owned by the dialog window, goes with it
    fw::Menu m_menuTray;
    HWND m_hCapWnd = nullptr;
    HICON m_hIcon;  // shared resource icon, never destroyed

    fw::Icon m_trayIcon;  // icon 128 in the notification area's size at this DPI

protected:
    bool OnMessage(fw::Message& m) override;
    bool OnInitDialog() override;
    void DoDataExchange(fw::DataExchange& dx) override;
    bool PreTranslateMessage(MSG& msg) override;
    void OnCancel() override;
    void OnDestroy() override;

private:
    void OnStartStop();
    void StartBranch();
    void StopBranch();
    void OnSupervisionTimer(fw::Message& m);
    void OnSizePresetChange();
    void OnOriginalResolution();
    void OnResizeTo();
    void OnCameraSettings();
    void OnCaptureFormat();
    void OnPaint(fw::Message& m);
    void OnQueryDragIcon(fw::Message& m);
    void AddToolTips();
    void Enable(int id, bool enable);
    // Stopped, the settings can be edited: the camera buttons as far as the driver has
    // those dialogs, the size fields when resizing. Streaming, only the test page is usable.
    void SetEditing(bool editing, bool sourceDialog = false, bool formatDialog = false);
    void EnableSizeFields(bool enable);

    // Tray icon and menu.
    void OnCreate(fw::Message& m);
    // A new notification area (Explorer restarted) has no icons: ours is added again.
    bool OnTaskbarCreated(fw::Message& m);
    void AddTrayIcon();
    void RemoveTrayIcon();
    void OnTrayNotify(fw::Message& m);
    void OnOpen();
    // After a return to stopped: a balloon with the reason of the program that ended
    // by itself, if one did.
    void TellWhyStreamingStopped();

    // Test page.
    void OnTestPage();
    // Log-off and shutdown: a process with windows gets no console event for them.
    void OnEndSession(fw::Message& m);

    bool m_supervising = false;  // a tick's own stop is still in progress (a box is open)
};
