#include "ui/control_panel_dlg.h"

#include <commctrl.h>
#include <vfw.h>

#include <cwchar>
#include <string>

#include "app/streamer_app.h"
#include "common/product.h"
#include "framework/data_exchange.h"
#include "res/resource.h"
#include "ui/settings_validation.h"
#include "ui/size_presets.h"

namespace {

const wchar_t kStartCaption[] = L"&Start Server";
const wchar_t kStopCaption[] = L"&Stop Server";
const UINT_PTR kSupervisionTimer = 0;
const UINT kSupervisionPeriodMs = 500;

// The driver fills the record in the size Windows defines: 44 bytes for 32-bit
// programs, 64 for 64-bit ones (four handles, aligned to 8).
static_assert(sizeof(CAPDRIVERCAPS) == (sizeof(void*) == 8 ? 64 : 44), "CAPDRIVERCAPS as Windows defines it");

std::wstring WindowText(HWND wnd) {
    int n = ::GetWindowTextLengthW(wnd);
    std::wstring text(static_cast<size_t>(n) + 1, L'\0');
    n = ::GetWindowTextW(wnd, &text[0], n + 1);
    text.resize(static_cast<size_t>(n > 0 ? n : 0));
    return text;
}

}  // namespace

CControlPanelDlg::CControlPanelDlg(HWND parent) : fw::Dialog(IDD_CONTROL_PANEL, parent) {
    const StreamSettings& s = App().m_settings;
    m_nBitRate = s.bitRate;
    m_nFrameRate = s.frameRate;
    m_nPort = s.port;
    m_nWidth = s.width;
    m_nHeight = s.height;
    m_nSizePreset = FindSizePreset(s.width, s.height);
    m_nResizeMode = s.width != 0 && s.height != 0 ? 1 : 0;
    m_hIcon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME));
}

CControlPanelDlg::~CControlPanelDlg() {
    // The menu goes first; the members then go in the reverse of their construction.
    m_menuTray.reset();
}

bool CControlPanelDlg::OnMessage(fw::Message& m) {
    using D = CControlPanelDlg;
    if (OnTaskbarCreated(m)) return true;
    static const fw::MessageTable<D> table = {
        fw::OnMessage(WM_CREATE, &D::OnCreate),
        fw::OnMessage(WM_PAINT, &D::OnPaint),
        fw::OnMessage(WM_QUERYDRAGICON, &D::OnQueryDragIcon),
        fw::OnMessage(WM_TIMER, &D::OnSupervisionTimer),
        fw::OnCommand(BN_CLICKED, IDC_START_STOP, &D::OnStartStop),
        fw::OnCommand(BN_CLICKED, IDC_CAPTURE_FORMAT, &D::OnCaptureFormat),
        fw::OnCommand(BN_CLICKED, IDC_CAMERA_SETTINGS, &D::OnCameraSettings),
        fw::OnCommand(CBN_SELCHANGE, IDC_SIZE_PRESET, &D::OnSizePresetChange),
        fw::OnCommand(BN_CLICKED, IDC_ORIGINAL_RESOLUTION, &D::OnOriginalResolution),
        fw::OnCommand(BN_CLICKED, IDC_RESIZE_TO, &D::OnResizeTo),
        fw::OnCommand(BN_CLICKED, IDC_TEST_PAGE, &D::OnTestPage),
        fw::OnCommand(0, ID_TRAY_OPEN, &D::OnOpen),
        fw::OnCommand(0, ID_TRAY_EXIT, &D::OnExit),
        fw::OnMessage(kTrayCallbackMessage, &D::OnTrayNotify),
        fw::OnMessage(WM_ENDSESSION, &D::OnEndSession),
    };
    return table.Dispatch(*this, m);
}

void CControlPanelDlg::OnEndSession(fw::Message& m) {
    // Since Windows 7 a process with windows gets no CTRL_LOGOFF_EVENT or
    // CTRL_SHUTDOWN_EVENT, so the console clean-up runs from here as well.
    if (m.wParam) ConsoleCtrlHandler((m.lParam & ENDSESSION_LOGOFF) ? CTRL_LOGOFF_EVENT : CTRL_SHUTDOWN_EVENT);
}

void CControlPanelDlg::DoDataExchange(fw::DataExchange& dx) {
    dx.Attach(IDC_CAPTURE_FORMAT, m_btnCaptureFormat);
    dx.Attach(IDC_CAMERA_SETTINGS, m_btnCameraSettings);
    dx.Attach(IDC_BANNER, m_banner);
    dx.Attach(IDC_START_STOP, m_btnStartStop);
    dx.Int(IDC_BIT_RATE, m_nBitRate);
    dx.Int(IDC_FRAME_RATE, m_nFrameRate);
    dx.Int(IDC_PORT, m_nPort);
    dx.ComboIndex(IDC_SIZE_PRESET, m_nSizePreset);
    dx.Int(IDC_WIDTH, m_nWidth);
    dx.Int(IDC_HEIGHT, m_nHeight);
    dx.Radio(IDC_ORIGINAL_RESOLUTION, m_nResizeMode);
    if (dx.Failed()) return;

    // A named preset shows its size read-only; "Custom" lets the user type one.
    EnableSizeFields(m_nResizeMode != 0);
    const BOOL readOnly = m_nSizePreset < kCustomSizePreset;
    ::SendMessageW(Item(IDC_WIDTH), EM_SETREADONLY, readOnly, 0);
    ::SendMessageW(Item(IDC_HEIGHT), EM_SETREADONLY, readOnly, 0);
}

bool CControlPanelDlg::OnInitDialog() {
    // The panel is the application's main window while it runs (its window exists
    // only inside DoModal, so the dialog says so itself; OnDestroy takes it back).
    App().SetMainWindow(Handle());
    if (!UpdateData(false)) {
        EndDialog(-1);
        return true;
    }
    ::SetWindowTextW(Handle(), kProductTitle);
    ::SendMessageW(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    ::SendMessageW(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    AddToolTips();
    m_menuTray.reset(::LoadMenuW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_TRAY_MENU)));
    // The template's caption is "&Stop Server", so this takes the Stop branch and
    // leaves the panel stopped, with the capture window connected.
    OnStartStop();
    m_btnStartStop.SetIcons(IDI_LAMP_GREEN, 0);
    ::SetTimer(Handle(), kSupervisionTimer, kSupervisionPeriodMs, nullptr);
    return true;
}

// Undoes what the window's life set up: the capture window, the tray icon, the main window.
void CControlPanelDlg::OnDestroy() {
    if (m_hCapWnd) ::DestroyWindow(m_hCapWnd);
    RemoveTrayIcon();
    if (App().MainWindow() == Handle()) App().SetMainWindow(nullptr);
}

void CControlPanelDlg::AddToolTips() {
    m_toolTip = ::CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, Handle(), nullptr, ::GetModuleHandleW(nullptr),
                                  nullptr);
    // A maximum width makes the tips wrap, and the third tip's line break count.
    ::SendMessageW(m_toolTip, TTM_SETMAXTIPWIDTH, 0, 250);
    ::SendMessageW(m_toolTip, TTM_SETDELAYTIME, TTDT_AUTOPOP, 20000);
    struct Tip {
        int id;
        const wchar_t* text;
    };
    static const Tip tips[] = {
        {IDC_CAMERA_SETTINGS, L"Select camera source device and configure camera settings."},
        {IDC_CAPTURE_FORMAT, L"Configure camera capture resolution and compression format."},
        {IDC_TEST_PAGE,
         L"Open a test page in your browser.\r\nTip:  If you are using IE browser and see pop-up security "
         L"warning band about ActiveX controls, please click on it and select \"Allow Blocked Content\"."},
    };
    for (const Tip& tip : tips) {
        TOOLINFOW info = {};
        info.cbSize = TTTOOLINFOW_V1_SIZE;  // the 40-byte form every comctl32 knows
        info.uFlags = TTF_IDISHWND;         // no TTF_SUBCLASS: the pre-filter relays instead
        info.hwnd = Handle();
        info.uId = reinterpret_cast<UINT_PTR>(Item(tip.id));
        info.lpszText = const_cast<wchar_t*>(tip.text);
        ::SendMessageW(m_toolTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    }
}

bool CControlPanelDlg::PreTranslateMessage(MSG& msg) {
    if (m_toolTip) ::SendMessageW(m_toolTip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&msg));
    return fw::Dialog::PreTranslateMessage(msg);
}

bool CControlPanelDlg::IsStopped() const { return WindowText(Item(IDC_START_STOP)) == kStartCaption; }

void CControlPanelDlg::Enable(int id, bool enable) { ::EnableWindow(Item(id), enable ? TRUE : FALSE); }

void CControlPanelDlg::SetEditing(bool editing, bool sourceDialog, bool formatDialog) {
    Enable(IDC_CAMERA_SETTINGS, editing && sourceDialog);
    Enable(IDC_CAPTURE_FORMAT, editing && formatDialog);
    Enable(IDC_ORIGINAL_RESOLUTION, editing);
    Enable(IDC_RESIZE_TO, editing);
    EnableSizeFields(editing && m_nResizeMode != 0);
    for (int id : {IDC_PORT, IDC_FRAME_RATE, IDC_BIT_RATE}) Enable(id, editing);
    Enable(IDC_TEST_PAGE, !editing);
}

void CControlPanelDlg::EnableSizeFields(bool enable) {
    for (int id : {IDC_SIZE_PRESET, IDC_WIDTH, IDC_HEIGHT}) Enable(id, enable);
}

void CControlPanelDlg::OnStartStop() {
    // The branch is the one the caption offered when the press came: the exchange may
    // show a box, and a supervision tick under it may stop the panel; reading the
    // caption after the box would then turn the user's Stop into a Start.
    const bool start = IsStopped();
    UpdateData(true);  // a rejected text has been reported; the members stand as they are
    if (start) StartBranch();
    else if (!IsStopped())  // a tick under the box may have done the stop already
        StopBranch();
}

void CControlPanelDlg::StopBranch() {
    App().StopStreaming();
    ::SetWindowTextW(Item(IDC_START_STOP), kStartCaption);
    m_btnStartStop.SetIcons(IDI_LAMP_GREEN, 0);

    // At most one capture window: a leftover one would keep the driver connected.
    if (m_hCapWnd) ::DestroyWindow(m_hCapWnd);
    m_hCapWnd = ::capCreateCaptureWindowW(nullptr, WS_CHILD, 0, 0, 0, 0, Handle(), 0);
    if (::IsWindow(m_hCapWnd)) ::SendMessageW(m_hCapWnd, WM_CAP_DRIVER_CONNECT, 0, 0);
    CAPDRIVERCAPS caps = {};
    if (::IsWindow(m_hCapWnd))
        ::SendMessageW(m_hCapWnd, WM_CAP_DRIVER_GET_CAPS, sizeof caps, reinterpret_cast<LPARAM>(&caps));
    SetEditing(true, caps.fHasDlgVideoSource != 0, caps.fHasDlgVideoFormat != 0);
}

void CControlPanelDlg::StartBranch() {
    const StreamSettings edited{m_nPort, m_nWidth, m_nHeight, m_nFrameRate, m_nBitRate};
    if (const wchar_t* problem = ValidateSettings(edited)) {
        ::MessageBoxW(Handle(), problem, L"Setting Error", MB_OK | MB_ICONERROR);
        return;
    }
    // Frees capture driver 0 for the encoder.
    if (m_hCapWnd) ::DestroyWindow(m_hCapWnd);
    m_hCapWnd = nullptr;
    SetEditing(false);
    ::SetWindowTextW(Item(IDC_START_STOP), kStopCaption);
    m_btnStartStop.SetIcons(IDI_LAMP_RED, 0);

    CommitSettings();  // the server reads a complete, closed file
    const DWORD error = App().StartStreaming();
    if (error == 0) return;
    wchar_t text[64];
    std::swprintf(text, 64, L"Start server failed (%d)", static_cast<int>(error));
    ::MessageBoxW(Handle(), text, L"Start Server", MB_OK | MB_ICONERROR);
    // The supervision timer keeps running under the box and may have stopped the panel.
    if (!IsStopped()) StopBranch();
}

int CControlPanelDlg::CommitSettings() {
    StreamSettings& s = App().m_settings;
    s.port = m_nPort;
    s.width = m_nWidth;
    s.height = m_nHeight;
    s.frameRate = m_nFrameRate;
    s.bitRate = m_nBitRate;
    return App().SaveServerConfig();
}

void CControlPanelDlg::OnSupervisionTimer(fw::Message& m) {
    CStreamerApp& app = App();
    app.ReapProcesses();
    // A tick that is still stopping the panel (under a message box of its exchange)
    // must not start another stop on top of it.
    if (!m_supervising && (!app.m_programs.Runs(Program::Server) || !app.m_programs.Runs(Program::Encoder)) &&
        !IsStopped()) {
        m_supervising = true;
        OnStartStop();
        m_supervising = false;
        TellWhyStreamingStopped();
    }
    m.Default();
}

void CControlPanelDlg::OnSizePresetChange() {
    UpdateData(true);
    if (m_nSizePreset >= 0 && m_nSizePreset < kSizePresetCount) {
        m_nWidth = SizePreset(m_nSizePreset).width;
        m_nHeight = SizePreset(m_nSizePreset).height;
        UpdateData(false);
    }
}

void CControlPanelDlg::OnOriginalResolution() {
    UpdateData(true);
    m_nSizePreset = kCustomSizePreset;
    m_nWidth = 0;
    m_nHeight = 0;
    UpdateData(false);
}

void CControlPanelDlg::OnResizeTo() {
    UpdateData(true);
    m_nSizePreset = kQvgaSizePreset;
    m_nWidth = SizePreset(kQvgaSizePreset).width;
    m_nHeight = SizePreset(kQvgaSizePreset).height;
    UpdateData(false);
}

void CControlPanelDlg::OnCameraSettings() {
    if (::IsWindow(m_hCapWnd)) ::SendMessageW(m_hCapWnd, WM_CAP_DLG_VIDEOSOURCE, 0, 0);
}

void CControlPanelDlg::OnCaptureFormat() {
    if (::IsWindow(m_hCapWnd)) ::SendMessageW(m_hCapWnd, WM_CAP_DLG_VIDEOFORMAT, 0, 0);
}

void CControlPanelDlg::OnCancel() { ::ShowWindow(Handle(), SW_HIDE); }

void CControlPanelDlg::OnExit() {
    CStreamerApp& app = App();
    // The records stay after Stop until the timer reaps, so Exit soon after Stop still asks.
    if (app.m_programs.Runs(Program::Server) || app.m_programs.Runs(Program::Encoder)) {
        if (::MessageBoxW(Handle(), L"Exiting this program now will stop surveillance server!\nAre you sure?",
                          L"Confirm Exit", MB_OKCANCEL | MB_ICONEXCLAMATION) == IDCANCEL)
            return;
        app.StopStreaming();
    }
    UpdateData(true);
    CommitSettings();  // stored as shown, without validation
    EndDialog(IDCANCEL);
}

void CControlPanelDlg::OnPaint(fw::Message& m) {
    if (!::IsIconic(Handle())) {
        m.Default();
        return;
    }
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(Handle(), &ps);
    ::SendMessageW(Handle(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT rc;
    ::GetClientRect(Handle(), &rc);
    const int x = (rc.right - rc.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (rc.bottom - rc.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(dc, x, y, m_hIcon);
    ::EndPaint(Handle(), &ps);
}

void CControlPanelDlg::OnQueryDragIcon(fw::Message& m) { m.result = reinterpret_cast<LRESULT>(m_hIcon); }
