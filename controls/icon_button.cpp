#include "controls/icon_button.h"

#include <commctrl.h>

#include <string>

#include "controls/icon_button_layout.h"

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
    HINSTANCE module = ::GetModuleHandleW(nullptr);
    m_icon = ::LoadIconW(module, MAKEINTRESOURCEW(LOWORD(iconId)));
    if (disabledIconId != 0) m_disabledIcon = ::LoadIconW(module, MAKEINTRESOURCEW(LOWORD(disabledIconId)));
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

    HICON icon = disabled ? m_disabledIcon : m_icon;
    const controls::IconButtonLayout layout = controls::LayoutIconButton(
        {cd->rc.left, cd->rc.top, cd->rc.right, cd->rc.bottom},
        {measured.left, measured.top, measured.right, measured.bottom}, icon != nullptr);
    if (icon)
        ::DrawIconEx(dc, layout.iconX, layout.iconY, icon, controls::kButtonIconSize, controls::kButtonIconSize, 0,
                     nullptr, DI_NORMAL);
    ::DrawStateW(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(caption.c_str()), static_cast<WPARAM>(caption.size()),
                 layout.textX, layout.textY, layout.textWidth, layout.textHeight,
                 DST_PREFIXTEXT | (disabled ? DSS_DISABLED : 0));
    *result |= CDRF_SKIPDEFAULT;  // no caption of the control's own over ours
}
