// Start-up and shutdown of the panel.
#include "app/streamer_app.h"

bool CStreamerApp::Startup() {
    if (!m_pathsFit) {
        fw::MessageBoxForApp(L"Error: The program folder's path is too long.\n"
                             L"Please install the program in a folder with a shorter path.");
        return false;
    }
    LoadServerConfig();
    return false;
}
