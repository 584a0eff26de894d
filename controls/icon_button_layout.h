// Where the icon push button draws its icon and caption, centred as a pair.
#pragma once

namespace controls {

// At 96 DPI; the button scales both to the screen's DPI.
constexpr int kButtonIconSize = 20;
constexpr int kButtonIconGap = 5;  // between the icon and the caption

struct LayoutRect {
    int left, top, right, bottom;
};

struct IconButtonLayout {
    int iconX, iconY;  // the square icon, when there is one
    int textX, textY;  // the caption's box
    int textWidth, textHeight;
};

// rc is the button's drawing rectangle, measured the caption's rectangle as measuring
// it in rc gave it (left and top kept). Integer halving truncates toward zero, also
// for a caption wider than the button.
IconButtonLayout LayoutIconButton(const LayoutRect& rc, LayoutRect measured, bool hasIcon,
                                  int iconSize = kButtonIconSize, int gap = kButtonIconGap);

}  // namespace controls
