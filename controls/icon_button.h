// A push button that draws its caption in bold and, when it has an icon for its
// current state, a 20 x 20 icon left of the caption, the pair centred (icon and gap
// scaled to the screen's DPI). The themed
// button still draws its face; the button's custom-draw pre-paint notification,
// reflected back by the dialog, replaces only the caption.
#pragma once
#include <windows.h>

#include "framework/control.h"
#include "framework/handles.h"

class CIconButton : public fw::ButtonControl {
public:
    CIconButton();

    // Icon resource ids of the program (low 16 bits used), loaded in the size the
    // button draws them. A disabledIconId of 0 keeps the disabled icon as it was.
    // Repaints at once.
    void SetIcons(UINT iconId, UINT disabledIconId);
    int IconSize() const { return m_iconSize; }

protected:
    void OnAttach() override;
    bool OnMessage(fw::Message& m) override;

private:
    void OnCustomDraw(NMHDR* hdr, LRESULT* result);

    fw::Icon m_disabledIcon;  // the button's own copies, in the size it draws them
    fw::Icon m_icon;
    fw::Font m_boldFont;
    int m_iconSize;  // the 20 pixels and 5-pixel gap at the screen's DPI
    int m_iconGap;
};
