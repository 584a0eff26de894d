#include "framework/app_base.h"

#include "common/executable_path.h"

namespace fw {

AppBase* AppBase::s_current = nullptr;

AppBase::AppBase() { s_current = this; }

AppBase::~AppBase() {
    if (s_current == this) s_current = nullptr;
}

std::wstring ExecutableTitle() {
    std::wstring path = ExecutablePath();
    size_t slash = path.find_last_of(L"\\/");
    std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    size_t dot = name.rfind(L'.');
    return dot == std::wstring::npos ? name : name.substr(0, dot);
}

const std::wstring& AppBase::Title() const {
    if (m_title.empty()) m_title = ExecutableTitle();
    return m_title;
}

bool AppBase::OnAppCommand(UINT id) {
    if (id == 57670 /* help */) {
        OnHelp();
        return true;
    }
    return false;
}

void AppBase::OnHelp() {
    std::wstring path = ExecutablePath();
    size_t dot = path.rfind(L'.');
    size_t slash = path.find_last_of(L"\\/");
    if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash)) path.resize(dot);
    path += L".HLP";
    ::WinHelpW(m_mainWindow, path.c_str(), HELP_FINDER, 0);
}

int AppBase::Run() {
    try {
        if (!Startup()) return 0;
    } catch (...) {
        // Caught so that the stack unwinds (uncaught, it need not): the clean-ups on
        // the way out of Startup have run, and the user hears why the program ends.
        MessageBoxForApp(L"Error: Unexpected failure! The program ends.");
        return 1;
    }
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

int MessageBoxForApp(const wchar_t* text, UINT type) {
    AppBase* app = AppBase::Current();
    const wchar_t* caption = app ? app->Title().c_str() : L"";
    return ::MessageBoxW(nullptr, text, caption, type);
}

}  // namespace fw
