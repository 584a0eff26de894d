#include "toolkit/window_text.h"

#include "toolkit/wait.h"

namespace wintest {

std::wstring TextOf(HWND wnd) {
    DWORD_PTR length = 0;
    if (!wnd || !::SendMessageTimeoutW(wnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kPatience, &length)) return {};
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!::SendMessageTimeoutW(wnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), SMTO_ABORTIFHUNG,
                               kPatience, &copied))
        return {};
    text.resize(copied);
    return text;
}

}  // namespace wintest
