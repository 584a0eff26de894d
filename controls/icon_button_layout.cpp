#include "controls/icon_button_layout.h"

namespace controls {

IconButtonLayout LayoutIconButton(const LayoutRect& rc, LayoutRect m, bool hasIcon) {
    IconButtonLayout layout{};
    if (hasIcon) {
        m.right += kButtonIconSize;
        // The caption's box keeps the icon's width, so the pair stays centred and
        // the caption sits 5 pixels right of the icon.
        layout.iconX = (rc.right - m.right) / 2 - 5;
        layout.iconY = (rc.bottom - kButtonIconSize) / 2;
        layout.textX = (rc.right - m.right) / 2 + kButtonIconSize;
    } else {
        layout.textX = (rc.right - m.right) / 2;
    }
    layout.textY = (rc.bottom - m.bottom) / 2;
    layout.textWidth = m.right - m.left;
    layout.textHeight = m.bottom - m.top;
    return layout;
}

}  // namespace controls
