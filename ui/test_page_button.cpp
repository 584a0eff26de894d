// "Test Page in Browser!": writes demo.html for the running stream and opens it.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

#include "app/streamer_app.h"
#include "backend/command_lines.h"
#include "backend/text_mode.h"
#include "ui/control_panel_dlg.h"
#include "ui/local_address.h"
#include "ui/test_page.h"

void CControlPanelDlg::OnTestPage() {
    // The members hold what Start committed: their edits are disabled while running.
    const std::wstring path = App().m_moduleDir + kTestPageFile;
    FILE* f = _wfopen(path.c_str(), L"wb");
    if (!f) return;
    const std::string bytes = EncodeTextFile(FormatTestPage(GetLocalAddress(), m_nPort, m_nWidth, m_nHeight));
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    ::ShellExecuteW(nullptr, nullptr, path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}
