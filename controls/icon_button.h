// A push button that draws its caption in bold and, when it has an icon for its
// current state, a 20 x 20 icon left of the caption, the pair centred. The themed
// button still draws its face; the button's custom-draw pre-paint notification,
// reflected back by the dialog, replaces only the caption.
#pragma once
#include <windows.h>

#include "framework/control.h"
#include "framework/handles.h"

class CIconButton : public fw::ButtonControl {
public:
    CIconButton() = default;

    // Icon resource ids of the program (low 16 bits used). A disabledIconId of 0
    // keeps the disabled icon as it was. Repaints at once.
    void SetIcons(UINT iconId, UINT disabledIconId);

protected:
    void OnAttach() override;
    bool OnMessage(fw::Message& m) override;

private:
    void OnCustomDraw(NMHDR* hdr, LRESULT* result);

    HICON m_disabledIcon = nullptr;  // shared resource icons: never destroyed here
    HICON m_icon = nullptr;
    fw::Font m_boldFont;
};
