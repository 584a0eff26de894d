// The DPI the program draws at: the system's, which a DPI-aware program is told (an
// unaware one is told 96 and stretched by Windows).
#pragma once

namespace controls {

int ScreenDpi();

}  // namespace controls
