// The modal dialog base. Compared with DialogBoxParamW it adds what our dialogs need:
// - WM_CREATE reaches the dialog's message table (a dialog procedure never sees it);
// - every message of the modal loop passes PreTranslateMessage first (tooltip relay);
// - combo and list boxes are filled from the template's initialisation data
//   (resource type 240) before the first data exchange;
// - WM_COMMAND and WM_NOTIFY from an attached control are reflected back to it first;
//   what the control's table handles, the dialog's table does not see.
#pragma once
#include <windows.h>

#include "framework/message_table.h"

namespace fw {

class DataExchange;

class Dialog {
public:
    Dialog(UINT templateId, HWND parent);
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Creates the dialog, runs its loop until EndDialog, destroys it and returns the
    // result (-1 when it could not be created). The owner is disabled meanwhile.
    INT_PTR DoModal();
    void EndDialog(INT_PTR result);

    HWND Handle() const { return m_hWnd; }
    HWND Item(int id) const { return ::GetDlgItem(m_hWnd, id); }
    // Runs DoDataExchange in one direction; false when a value was rejected.
    bool UpdateData(bool fromControls);

protected:
    // The class's message table: derived classes answer with their table's Dispatch.
    virtual bool OnMessage(Message&) { return false; }
    // Default: one data exchange into the controls; ends the dialog with -1 if it fails.
    // The initialisation data has been applied before. Returns true to let the system
    // put the focus on the first tab stop.
    virtual bool OnInitDialog();
    virtual void DoDataExchange(DataExchange&) {}
    // Sees every message of the modal loop; true means it was handled and is not dispatched.
    virtual bool PreTranslateMessage(MSG& msg);
    virtual void OnOK();      // IDOK: exchange from the controls, then end with IDOK
    virtual void OnCancel();  // IDCANCEL (Escape, close box): end with IDCANCEL
    virtual void OnDestroy() {}

private:
    static INT_PTR CALLBACK DialogProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK CreationSubclassProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                                 DWORD_PTR refData);
    static LRESULT CALLBACK CbtProc(int code, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleDialogMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    bool ReflectToControl(Message& m);
    void ApplyInitData();

    UINT m_templateId;
    HWND m_parent;
    HWND m_hWnd = nullptr;
    bool m_ended = false;
    INT_PTR m_result = -1;
};

}  // namespace fw
