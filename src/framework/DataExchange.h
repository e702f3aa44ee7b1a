// Moves a dialog's values between its fields and its controls, in one
// direction at a time: loading shows the fields, saving reads them back and
// validates them. A failed validation shows the standard message, puts the
// focus back on the control and ends the exchange (CDialog::updateData
// then returns false).
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

class CDataExchange {
public:
    CDataExchange(HWND dialog, bool saveAndValidate) : dialog_(dialog), saving_(saveAndValidate) {}
    bool saving() const { return saving_; }

    // Loading sets a control's text only when it differs from what is
    // shown, so an unchanged field raises no change notification.
    void text(int id, std::string& value);
    void check(int id, std::int32_t& value);
    // An unsigned decimal number, read as at most 31 characters, in
    // min..max.
    void number(int id, std::uint32_t& value, std::uint32_t min, std::uint32_t max);
    // A combo box's text. Loading selects the first list item that begins
    // with the value, regardless of case, and shows the value itself only
    // when none does.
    void comboText(int id, std::string& value);

    // Thrown when a value does not validate; CDialog::updateData catches it.
    struct Failed {};

private:
    [[noreturn]] void fail(int id, const std::string& message);
    void load(HWND control, const std::string& text);

    HWND dialog_;
    bool saving_;
};
