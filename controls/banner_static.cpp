#include "controls/banner_static.h"

#include <shellapi.h>
#include <windowsx.h>

#include <cwchar>
#include <string>

#include "controls/dpi_scale.h"
#include "controls/screen_dpi.h"

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

CBannerStatic::CBannerStatic(controls::RandomSource& random) : m_colors(random), m_dpi(controls::ScreenDpi()) {}

// Every pixel size below is the one drawn at 96 DPI (100%).
int CBannerStatic::Scaled(int pixels) const { return controls::ScaleToDpi(pixels, m_dpi); }

bool CBannerStatic::OnMessage(fw::Message& m) {
    static const fw::MessageTable<CBannerStatic> table = {
        fw::OnMessage(WM_PAINT, &CBannerStatic::OnPaint),
        fw::OnMessage(WM_TIMER, &CBannerStatic::OnTimer),
        fw::OnMessage(WM_SETFONT, &CBannerStatic::OnSetFont),
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
    m_dialogFont = dialogFont;  // sent before the handlers take over

    LOGFONTW title = {};
    title.lfHeight = -Scaled(24);
    title.lfWidth = Scaled(7);
    title.lfWeight = FW_NORMAL;
    title.lfQuality = PROOF_QUALITY;
    wcscpy(title.lfFaceName, L"Impact");
    m_titleFont.reset(::CreateFontIndirectW(&title));

    LOGFONTW link = {};
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(wnd, WM_GETFONT, 0, 0)), sizeof link, &link);
    link.lfWeight = FW_BOLD;
    link.lfUnderline = 1;
    m_linkFont.reset(::CreateFontIndirectW(&link));

    {
        // A tick redraws one line of the title font.
        fw::WindowDc screen(wnd);
        fw::SelectedObject titleSelected(screen.get(), m_titleFont.get());
        TEXTMETRICW metrics = {};
        ::GetTextMetricsW(screen.get(), &metrics);
        m_titleHeight = metrics.tmHeight;
    }

    m_handCursor = ::LoadCursorW(nullptr, IDC_HAND);
    ::SetTimer(wnd, 0, kTimerPeriodMs, nullptr);
}

RECT CBannerStatic::ContactStrip() const {
    RECT rc;
    ::GetClientRect(Handle(), &rc);
    rc.top = rc.bottom - Scaled(20);
    rc.bottom = rc.bottom - Scaled(5);
    return rc;
}

RECT CBannerStatic::TickArea() const {
    // Between frames only the title's colours change. IsWindowVisible also answers true
    // inside a minimised dialog, where nothing of the banner shows.
    RECT strip = {};
    if (!::IsWindowVisible(Handle()) || ::IsIconic(::GetAncestor(Handle(), GA_ROOT))) return strip;
    ::GetClientRect(Handle(), &strip);
    strip.top = Scaled(kTitleTop);
    strip.bottom = Scaled(kTitleTop) + m_titleHeight;
    return strip;
}

bool CBannerStatic::LayoutFits(int width, int height) const {
    // A bitmap that could not be made is tried again at the next paint.
    return m_frame && *m_frame && m_frame->Width() == width && m_frame->Height() == height && m_backdrop[0] &&
           *m_backdrop[0] && m_backdrop[1] && *m_backdrop[1];
}

void CBannerStatic::LayOut(HDC screen, const RECT& rc) {
    const int w = rc.right - rc.left, h = rc.bottom - rc.top;
    HDC frame = m_frame.emplace(screen, w, h).dc();
    ::SetBkMode(frame, TRANSPARENT);
    {
        // Letter by letter, each advanced by its own width (not the whole string's
        // layout), the whole title centred.
        fw::SelectedObject titleSelected(frame, m_titleFont.get());
        const int n = static_cast<int>(wcslen(kTitle));
        SIZE size = {};
        ::GetTextExtentPoint32W(frame, kTitle, n, &size);
        int x = (w - size.cx) / 2;
        m_letterX.clear();
        for (int i = 0; i < n; ++i) {
            m_letterX.push_back(x);
            ::GetTextExtentPoint32W(frame, &kTitle[i], 1, &size);
            x += size.cx;
        }
    }

    for (int hover = 0; hover < 2; ++hover) {
        HDC dc = m_backdrop[hover].emplace(screen, w, h).dc();
        ::PatBlt(dc, 0, 0, w, h, BLACKNESS);
        ::SetBkMode(dc, TRANSPARENT);

        fw::SelectedObject dialogFontSelected(dc, m_dialogFont);
        RECT owner = {rc.left, rc.top + Scaled(35), rc.right, rc.top + Scaled(60)};
        ::SetTextColor(dc, RGB(128, 192, 224));
        ::DrawTextW(dc, kOwnerBlock, -1, &owner, DT_CENTER);
        RECT edition = {rc.left, rc.top + Scaled(65), rc.right, rc.top + Scaled(120)};
        ::SetTextColor(dc, RGB(224, 224, 128));
        ::DrawTextW(dc, kEditionNote, -1, &edition, DT_CENTER);

        fw::SelectedObject linkSelected(dc, m_linkFont.get());
        RECT contact = ContactStrip();
        ::SetTextColor(dc, hover ? RGB(255, 255, 255) : RGB(200, 224, 224));
        ::DrawTextW(dc, kContactAddress, -1, &contact, DT_CENTER);
    }
}

void CBannerStatic::OnPaint() {
    fw::PaintDc paint(Handle());
    RECT rc;
    ::GetClientRect(Handle(), &rc);
    const int w = rc.right - rc.left, h = rc.bottom - rc.top;
    if (!LayoutFits(w, h)) LayOut(paint.get(), rc);

    const int n = static_cast<int>(wcslen(kTitle));
    if (!LayoutFits(w, h)) {
        StepColors(n);  // nothing to draw on, but every paint is one step of the walk
        return;
    }

    // Each frame is composed off screen and copied in one block: no flicker. Only the
    // area this paint must draw is composed and copied; everywhere else the screen
    // already shows the same fixed parts.
    const RECT& area = paint.Area();
    const int areaWidth = area.right - area.left, areaHeight = area.bottom - area.top;
    HDC frame = m_frame->dc();
    ::BitBlt(frame, area.left, area.top, areaWidth, areaHeight, m_backdrop[m_hover ? 1 : 0]->dc(), area.left, area.top,
             SRCCOPY);

    fw::SelectedObject titleSelected(frame, m_titleFont.get());
    StepColors(n);
    // Each letter in its own history entry.
    for (int i = 0; i < n; ++i) {
        ::SetTextColor(frame, controls::ColorRefOf(m_colors.Entry(i)));
        ::TextOutW(frame, m_letterX[static_cast<size_t>(i)], Scaled(kTitleTop), &kTitle[i], 1);
    }

    ::BitBlt(paint.get(), area.left, area.top, areaWidth, areaHeight, frame, area.left, area.top, SRCCOPY);
}

void CBannerStatic::OnSetFont(fw::Message& m) {
    m_dialogFont = reinterpret_cast<HFONT>(m.wParam);
    m_frame.reset();  // the text blocks are drawn again in the new font
    m.Default();
}

void CBannerStatic::OnTimer(fw::Message& m) {
    // Not shown, nothing is drawn, and the walk goes on with the first paint after the
    // banner shows again. Shown, the strip is painted at once, within this message.
    const RECT area = TickArea();
    if (!::IsRectEmpty(&area)) ::RedrawWindow(Handle(), &area, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    m.Default();
}

void CBannerStatic::OnMouseMove(fw::Message& m) {
    const POINT p = {GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam)};
    const RECT strip = ContactStrip();
    const bool hover = ::PtInRect(&strip, p) != FALSE;
    if (hover != m_hover) ::InvalidateRect(Handle(), &strip, FALSE);  // the line's other colour
    m_hover = hover;
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
