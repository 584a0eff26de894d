#include "controls/banner_static.h"

#include <shellapi.h>
#include <windowsx.h>

#include <cwchar>
#include <string>

const wchar_t CBannerStatic::kTitle[] = L"Orvane";
const wchar_t CBannerStatic::kOwnerBlock[] = L"Orvane Video Software\nwww.orvane.example";
const wchar_t CBannerStatic::kEditionNote[] =
    L"Web Edition\nStreams your camera live\nto browsers on your network\nDemo version";
const wchar_t CBannerStatic::kContactAddress[] = L"contact@orvane.example";

namespace {
constexpr int kTimerPeriodMs = 20;
constexpr int kTitleTop = 4;
}  // namespace

CBannerStatic::CBannerStatic() : CBannerStatic(controls::CrtRandom()) {}

CBannerStatic::CBannerStatic(controls::RandomSource& random) : m_colors(random) {}

bool CBannerStatic::OnMessage(fw::Message& m) {
    static const fw::MessageTable<CBannerStatic> table = {
        fw::OnMessage(WM_PAINT, &CBannerStatic::OnPaint),
        fw::OnMessage(WM_TIMER, &CBannerStatic::OnTimer),
        fw::OnMessage(WM_MOUSEMOVE, &CBannerStatic::OnMouseMove),
        fw::OnReflectedCommand(STN_CLICKED, &CBannerStatic::OnClicked),
        fw::OnMessage(WM_LBUTTONDBLCLK, &CBannerStatic::OnDoubleClick),
    };
    return table.Dispatch(*this, m);
}

void CBannerStatic::OnAttach() {
    HWND wnd = Handle();
    // SS_NOTIFY makes the static take mouse input and report clicks to its parent.
    ::SetWindowLongW(wnd, GWL_STYLE, ::GetWindowLongW(wnd, GWL_STYLE) | SS_NOTIFY);
    HFONT dialogFont = reinterpret_cast<HFONT>(::SendMessageW(::GetParent(wnd), WM_GETFONT, 0, 0));
    ::SendMessageW(wnd, WM_SETFONT, reinterpret_cast<WPARAM>(dialogFont), TRUE);

    LOGFONTW title = {};
    title.lfHeight = -24;
    title.lfWidth = 7;
    title.lfWeight = FW_NORMAL;
    title.lfQuality = PROOF_QUALITY;
    wcscpy(title.lfFaceName, L"Impact");
    m_titleFont.reset(::CreateFontIndirectW(&title));

    LOGFONTW link = {};
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(wnd, WM_GETFONT, 0, 0)), sizeof link, &link);
    link.lfWeight = FW_BOLD;
    link.lfUnderline = 1;
    m_linkFont.reset(::CreateFontIndirectW(&link));

    m_handCursor = ::LoadCursorW(nullptr, IDC_HAND);
    ::SetTimer(wnd, 0, kTimerPeriodMs, nullptr);
}

RECT CBannerStatic::ContactStrip() const {
    RECT rc;
    ::GetClientRect(Handle(), &rc);
    rc.top = rc.bottom - 20;
    rc.bottom = rc.bottom - 5;
    return rc;
}

void CBannerStatic::OnPaint() {
    fw::PaintDc paint(Handle());
    RECT rc;
    ::GetClientRect(Handle(), &rc);
    const int w = rc.right - rc.left, h = rc.bottom - rc.top;

    // Each frame is composed off screen and copied in one block: no flicker. The new
    // bitmap's black is the background.
    fw::MemoryDc mem(::CreateCompatibleDC(paint.get()));
    fw::Bitmap bitmap(::CreateCompatibleBitmap(paint.get(), w, h));
    {
        fw::SelectedObject bitmapSelected(mem.get(), bitmap.get());  // deselected before deletion
        ::SetBkMode(mem.get(), TRANSPARENT);

        fw::SelectedObject titleSelected(mem.get(), m_titleFont.get());
        const int n = static_cast<int>(wcslen(kTitle));
        SIZE size = {};
        ::GetTextExtentPoint32W(mem.get(), kTitle, n, &size);
        int x = (w - size.cx) / 2;
        StepColors(n);
        // Letter by letter, each in its own history entry and advanced by its own width.
        for (int i = 0; i < n; ++i) {
            ::SetTextColor(mem.get(), controls::ColorRefOf(m_colors.Entry(i)));
            ::TextOutW(mem.get(), x, kTitleTop, &kTitle[i], 1);
            ::GetTextExtentPoint32W(mem.get(), &kTitle[i], 1, &size);
            x += size.cx;
        }

        HFONT dialogFont = reinterpret_cast<HFONT>(::SendMessageW(Handle(), WM_GETFONT, 0, 0));
        fw::SelectedObject dialogFontSelected(mem.get(), dialogFont);
        RECT owner = {rc.left, rc.top + 35, rc.right, rc.top + 60};
        ::SetTextColor(mem.get(), RGB(128, 192, 224));
        ::DrawTextW(mem.get(), kOwnerBlock, -1, &owner, DT_CENTER);
        RECT edition = {rc.left, rc.top + 65, rc.right, rc.top + 120};
        ::SetTextColor(mem.get(), RGB(224, 224, 128));
        ::DrawTextW(mem.get(), kEditionNote, -1, &edition, DT_CENTER);

        fw::SelectedObject linkSelected(mem.get(), m_linkFont.get());
        RECT contact = ContactStrip();
        ::SetTextColor(mem.get(), m_hover ? RGB(255, 255, 255) : RGB(200, 224, 224));
        ::DrawTextW(mem.get(), kContactAddress, -1, &contact, DT_CENTER);

        ::BitBlt(paint.get(), 0, 0, w, h, mem.get(), 0, 0, SRCCOPY);
    }
}

void CBannerStatic::OnTimer(fw::Message& m) {
    // Hidden (also when the dialog is), the banner stands still.
    if (::IsWindowVisible(Handle())) ::InvalidateRect(Handle(), nullptr, FALSE);
    m.Default();
}

void CBannerStatic::OnMouseMove(fw::Message& m) {
    const POINT p = {GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam)};
    const RECT strip = ContactStrip();
    m_hover = ::PtInRect(&strip, p) != FALSE;
    // Holding the capture lets the banner see the pointer leave the strip, even out of
    // the window; while it is held, the cursor stays the hand.
    if (m_hover && ::GetCapture() != Handle()) {
        ::SetCapture(Handle());
        ::SetCursor(m_handCursor);
    } else if (!m_hover && ::GetCapture() == Handle()) {
        ::ReleaseCapture();
    }
    m.Default();
}

void CBannerStatic::OnClicked() {
    if (!m_hover) return;
    const std::wstring target = std::wstring(L"mailto://") + kContactAddress;
    ::ShellExecuteW(nullptr, nullptr, target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void CBannerStatic::OnDoubleClick(fw::Message& m) {
    m_colors.NewHead();  // shows at the next paint
    m.Default();
}
