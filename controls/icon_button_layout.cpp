#include "controls/icon_button_layout.h"

namespace controls {

IconButtonLayout LayoutIconButton(const LayoutRect& rc, LayoutRect m, bool hasIcon, int iconSize, int gap) {
    IconButtonLayout layout{};
    if (hasIcon) {
        m.right += iconSize;
        // The caption's box keeps the icon's width, so the pair stays centred and
        // the caption sits `gap` pixels right of the icon.
        layout.iconX = (rc.right - m.right) / 2 - gap;
        layout.iconY = (rc.bottom - iconSize) / 2;
        layout.textX = (rc.right - m.right) / 2 + iconSize;
    } else {
        layout.textX = (rc.right - m.right) / 2;
    }
    layout.textY = (rc.bottom - m.bottom) / 2;
    layout.textWidth = m.right - m.left;
    layout.textHeight = m.bottom - m.top;
    return layout;
}

}  // namespace controls
