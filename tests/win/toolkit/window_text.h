// The one way the Windows tests read a window's or a control's text.
#pragma once
#include <windows.h>

#include <string>

namespace wintest {

// Asks the window itself (WM_GETTEXT), which works for windows of any thread and any
// process; GetWindowText would not ask another process's controls.
std::wstring TextOf(HWND wnd);

}  // namespace wintest
