// Where the icon push button draws its icon and caption, centred as a pair.
#pragma once

namespace controls {

constexpr int kButtonIconSize = 20;

struct LayoutRect {
    int left, top, right, bottom;
};

struct IconButtonLayout {
    int iconX, iconY;  // the 20 x 20 icon, when there is one
    int textX, textY;  // the caption's box
    int textWidth, textHeight;
};

// rc is the button's drawing rectangle, measured the caption's rectangle as measuring
// it in rc gave it (left and top kept). Integer halving truncates toward zero, also
// for a caption wider than the button.
IconButtonLayout LayoutIconButton(const LayoutRect& rc, LayoutRect measured, bool hasIcon);

}  // namespace controls
