#include "controls/screen_dpi.h"

#include <windows.h>

#include "controls/dpi_scale.h"

namespace controls {

int ScreenDpi() {
    HDC screen = ::GetDC(nullptr);
    if (!screen) return kDefaultDpi;
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : kDefaultDpi;
}

}  // namespace controls
