#include "controls/icon_button.h"

#include <commctrl.h>

#include <string>

#include "controls/dpi_scale.h"
#include "controls/icon_button_layout.h"
#include "controls/screen_dpi.h"

namespace {

// Not LoadIconW: that stretches the image to the system's standard icon size, and
// drawing it at 20 pixels shrinks it again.
HICON LoadIconOfSize(UINT id, int size) {
    return static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(LOWORD(id)), IMAGE_ICON, size,
                                           size, LR_DEFAULTCOLOR));
}

}  // namespace

CIconButton::CIconButton()
    : m_iconSize(controls::ScaleToDpi(controls::kButtonIconSize, controls::ScreenDpi())),
      m_iconGap(controls::ScaleToDpi(controls::kButtonIconGap, controls::ScreenDpi())) {}

void CIconButton::OnAttach() {
    LOGFONTW lf = {};
    HFONT dialogFont = reinterpret_cast<HFONT>(::SendMessageW(::GetParent(Handle()), WM_GETFONT, 0, 0));
    ::GetObjectW(dialogFont, sizeof lf, &lf);
    lf.lfWeight = FW_BOLD;
    m_boldFont.reset(::CreateFontIndirectW(&lf));
}

bool CIconButton::OnMessage(fw::Message& m) {
    static const fw::MessageTable<CIconButton> table = {
        fw::OnReflectedNotify(NM_CUSTOMDRAW, &CIconButton::OnCustomDraw),
    };
    return table.Dispatch(*this, m);
}

void CIconButton::SetIcons(UINT iconId, UINT disabledIconId) {
    m_icon.reset(LoadIconOfSize(iconId, m_iconSize));
    if (disabledIconId != 0) m_disabledIcon.reset(LoadIconOfSize(disabledIconId, m_iconSize));
    ::RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void CIconButton::OnCustomDraw(NMHDR* hdr, LRESULT* result) {
    const NMCUSTOMDRAW* cd = reinterpret_cast<const NMCUSTOMDRAW*>(hdr);
    if (cd->dwDrawStage != CDDS_PREPAINT) return;  // the control draws as usual
    const bool disabled = (cd->uItemState & CDIS_DISABLED) != 0;

    std::wstring caption(static_cast<size_t>(::GetWindowTextLengthW(Handle())) + 1, L'\0');
    caption.resize(static_cast<size_t>(::GetWindowTextW(Handle(), &caption[0], static_cast<int>(caption.size()))));

    // The font and background mode stay selected: the DC belongs to this paint only.
    HDC dc = cd->hdc;
    ::SelectObject(dc, m_boldFont.get());
    ::SetBkMode(dc, TRANSPARENT);
    RECT measured = cd->rc;
    ::DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &measured, DT_CALCRECT);

    HICON icon = disabled ? m_disabledIcon.get() : m_icon.get();
    const controls::IconButtonLayout layout = controls::LayoutIconButton(
        {cd->rc.left, cd->rc.top, cd->rc.right, cd->rc.bottom},
        {measured.left, measured.top, measured.right, measured.bottom}, icon != nullptr, m_iconSize, m_iconGap);
    if (icon) ::DrawIconEx(dc, layout.iconX, layout.iconY, icon, m_iconSize, m_iconSize, 0, nullptr, DI_NORMAL);
    ::DrawStateW(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(caption.c_str()), static_cast<WPARAM>(caption.size()),
                 layout.textX, layout.textY, layout.textWidth, layout.textHeight,
                 DST_PREFIXTEXT | (disabled ? DSS_DISABLED : 0));
    *result |= CDRF_SKIPDEFAULT;  // no caption of the control's own over ours
}
