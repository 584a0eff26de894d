#include "framework/data_exchange.h"

#include <string>

#include "framework/app_base.h"
#include "framework/control.h"
#include "framework/dialog.h"
#include "framework/integer_text.h"

namespace fw {

HWND DataExchange::Item(int id) const { return m_dialog.Item(id); }

void DataExchange::Attach(int id, Control& control) {
    if (m_failed || control.IsAttached()) return;
    control.Attach(Item(id));
}

void DataExchange::Int(int id, int& value) {
    if (m_failed) return;
    HWND edit = Item(id);
    if (!m_fromControls) {
        ::SetWindowTextW(edit, std::to_wstring(value).c_str());
        return;
    }
    wchar_t text[kIntegerTextLimit + 1] = {};
    ::GetWindowTextW(edit, text, static_cast<int>(kIntegerTextLimit + 1));
    if (std::optional<int32_t> parsed = ParseIntegerText(text)) {
        value = *parsed;
        return;
    }
    ::MessageBoxW(m_dialog.Handle(), L"Please enter an integer.", ExecutableTitle().c_str(),
                  MB_OK | MB_ICONEXCLAMATION);
    Fail(edit);
}

void DataExchange::ComboIndex(int id, int& index) {
    if (m_failed) return;
    if (m_fromControls) index = static_cast<int>(::SendMessageW(Item(id), CB_GETCURSEL, 0, 0));
    else ::SendMessageW(Item(id), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void DataExchange::Radio(int firstId, int& position) {
    if (m_failed) return;
    if (m_fromControls) position = -1;
    HWND first = Item(firstId);
    int i = 0;
    // Dialog items are siblings in template order; the group runs to the next WS_GROUP.
    for (HWND wnd = first; wnd; wnd = ::GetWindow(wnd, GW_HWNDNEXT)) {
        if (wnd != first && (::GetWindowLongW(wnd, GWL_STYLE) & WS_GROUP)) break;
        if (!(::SendMessageW(wnd, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON)) continue;
        if (m_fromControls) {
            if (::SendMessageW(wnd, BM_GETCHECK, 0, 0) == BST_CHECKED) position = i;
        } else {
            ::SendMessageW(wnd, BM_SETCHECK, i == position ? BST_CHECKED : BST_UNCHECKED, 0);
        }
        ++i;
    }
}

void DataExchange::Fail(HWND edit) {
    m_failed = true;
    // WM_NEXTDLGCTL moves the focus the way the dialog manager does (default button
    // included); the explicit selection covers edits that do not select on focus.
    ::SendMessageW(m_dialog.Handle(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(edit), TRUE);
    ::SendMessageW(edit, EM_SETSEL, 0, -1);
}

}  // namespace fw
