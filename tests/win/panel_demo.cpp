// Shows the real control panel outside the tests, for looking at it (screenshots
// under Xvfb) before the program's own start-up runs it. It runs from a folder that
// holds server.dll and orvane.dll (stand-ins in practice) and uses that folder as
// the program folder. With the argument "start" it presses Start once it is shown.
#include <windows.h>

#include <cwchar>
#include <thread>

#include "app/streamer_app.h"
#include "common/product.h"
#include "res/resource.h"
#include "ui/control_panel_dlg.h"

int wmain(int argc, wchar_t** argv) {
    CStreamerApp app;
    app.LoadServerConfig();
    const bool start = argc > 1 && std::wcscmp(argv[1], L"start") == 0;
    std::thread helper([start] {
        for (int i = 0; i < 500; ++i) {
            HWND panel = ::FindWindowW(nullptr, kProductTitle);
            if (panel && ::IsWindowVisible(panel)) {
                // Under Xvfb the tray icons sit in a small window at the top left:
                // move the panel aside so that both can be seen.
                ::SetWindowPos(panel, nullptr, 0, 80, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
                if (!start) return;
                ::Sleep(700);  // past the first supervision tick
                ::PostMessageW(::GetDlgItem(panel, IDC_START_STOP), BM_CLICK, 0, 0);
                return;
            }
            ::Sleep(20);
        }
    });
    CControlPanelDlg panel(nullptr);
    panel.DoModal();
    helper.join();
    app.StopStreaming();
    return 0;
}
