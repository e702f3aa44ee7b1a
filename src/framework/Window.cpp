#include "framework/Window.h"

std::string CWindow::text() const { return text(GetWindowTextLengthA(window_)); }

std::string CWindow::text(int maxChars) const {
    std::vector<char> buffer(static_cast<std::size_t>(maxChars) + 1, '\0');
    int length = GetWindowTextA(window_, buffer.data(), maxChars + 1);
    return std::string(buffer.data(), static_cast<std::size_t>(length > 0 ? length : 0));
}

std::string CComboBox::itemText(int index) const {
    LRESULT length = sendMessage(CB_GETLBTEXTLEN, static_cast<WPARAM>(index));
    if (length == CB_ERR) return {};
    std::vector<char> buffer(static_cast<std::size_t>(length) + 1, '\0');
    sendMessage(CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer.data()));
    return buffer.data();
}

std::vector<std::string> CComboBox::items() const {
    std::vector<std::string> texts;
    for (int i = 0; i < count(); ++i) texts.push_back(itemText(i));
    return texts;
}
