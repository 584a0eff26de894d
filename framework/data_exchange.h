// Data exchange: moves values between a dialog's controls and its members, in the
// direction given at construction. The first value that cannot be taken from its
// control fails the exchange: the user is told, the control gets the focus, and every
// later call does nothing, so members after the failing one keep their values.
// Code that runs after the exchanges (enabling rules, ...) checks Failed() first.
#pragma once
#include <windows.h>

namespace fw {

class Control;
class Dialog;

class DataExchange {
public:
    DataExchange(Dialog& dialog, bool fromControls) : m_dialog(dialog), m_fromControls(fromControls) {}

    bool FromControls() const { return m_fromControls; }
    bool Failed() const { return m_failed; }

    // Binds a control object to dialog item id on the first exchange; later ones skip it.
    void Attach(int id, Control& control);
    // Edit text as a decimal integer (see ParseIntegerText). A rejected text shows
    // "Please enter an integer.", focuses the edit with its text selected, and fails.
    void Int(int id, int& value);
    // Selected row of a combo box; -1 when none.
    void ComboIndex(int id, int& index);
    // Position of the checked radio button in the group that starts at firstId
    // (the group ends at the next control with WS_GROUP); -1 when none is checked.
    void Radio(int firstId, int& position);

private:
    HWND Item(int id) const;
    void Fail(HWND edit);

    Dialog& m_dialog;
    bool m_fromControls;
    bool m_failed = false;
};

}  // namespace fw
