#include "framework/DataExchange.h"

#include "framework/WinApp.h"
#include "framework/Window.h"
#include "framework/ExchangeRules.h"

namespace {

// Read at most this many characters of a number field.
constexpr int kNumberFieldChars = 31;

}  // namespace

void CDataExchange::load(HWND control, const std::string& text) {
    CWindow window(control);
    if (window.text() != text) window.setText(text);
}

void CDataExchange::text(int id, std::string& value) {
    HWND control = GetDlgItem(dialog_, id);
    if (saving_)
        value = CWindow(control).text();
    else
        load(control, value);
}

void CDataExchange::check(int id, std::int32_t& value) {
    CButton button(GetDlgItem(dialog_, id));
    if (saving_)
        value = button.isChecked() ? 1 : 0;
    else
        button.setCheck(value != 0);
}

void CDataExchange::number(int id, std::uint32_t& value, std::uint32_t min, std::uint32_t max) {
    HWND control = GetDlgItem(dialog_, id);
    if (!saving_) {
        load(control, std::to_string(value));
        return;
    }
    std::uint32_t read = 0;
    switch (readUnsignedField(CWindow(control).text(kNumberFieldChars), min, max, read)) {
        case UnsignedField::NotANumber:
            fail(id, kNotAPositiveIntegerMessage);
        case UnsignedField::OutOfRange:
            fail(id, outOfRangeMessage(min, max));
        case UnsignedField::Ok:
            value = read;
            return;
    }
}

void CDataExchange::comboText(int id, std::string& value) {
    CComboBox combo(GetDlgItem(dialog_, id));
    if (saving_) {
        value = combo.text();
        return;
    }
    if (auto match = findPrefixItem(combo.items(), value))
        combo.setCurSel(static_cast<int>(*match));
    else
        load(combo.handle(), value);
}

void CDataExchange::fail(int id, const std::string& message) {
    MessageBoxA(dialog_, message.c_str(), CWinApp::current()->appName().c_str(), MB_OK | MB_ICONEXCLAMATION);
    CEdit field(GetDlgItem(dialog_, id));
    field.setFocus();
    field.selectAll();
    throw Failed{};
}
