// Thin wrappers over a window handle, one class per kind of control. Each
// member forwards to one Win32 call or message; the handle stays owned by
// its dialog.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

class CWindow {
public:
    explicit CWindow(HWND window = nullptr) : window_(window) {}
    HWND handle() const { return window_; }

    LRESULT sendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return SendMessageA(window_, message, wParam, lParam);
    }
    // The whole text, however long.
    std::string text() const;
    // At most `maxChars` characters of the text.
    std::string text(int maxChars) const;
    void setText(const std::string& text) const { SetWindowTextA(window_, text.c_str()); }
    void setFocus() const { SetFocus(window_); }
    void setIcon(WPARAM size, HICON icon) const { sendMessage(WM_SETICON, size, reinterpret_cast<LPARAM>(icon)); }

private:
    HWND window_;
};

class CButton : public CWindow {
public:
    using CWindow::CWindow;
    bool isChecked() const { return sendMessage(BM_GETCHECK) == BST_CHECKED; }
    void setCheck(bool checked) const { sendMessage(BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED); }
};

class CEdit : public CWindow {
public:
    using CWindow::CWindow;
    void selectAll() const { sendMessage(EM_SETSEL, 0, -1); }
};

class CComboBox : public CWindow {
public:
    using CWindow::CWindow;
    int addString(const std::string& text) const {
        return static_cast<int>(sendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
    }
    void deleteString(int index) const { sendMessage(CB_DELETESTRING, static_cast<WPARAM>(index)); }
    int count() const { return static_cast<int>(sendMessage(CB_GETCOUNT)); }
    std::string itemText(int index) const;
    std::vector<std::string> items() const;
    // CB_ERR when nothing is selected.
    int curSel() const { return static_cast<int>(sendMessage(CB_GETCURSEL)); }
    void setCurSel(int index) const { sendMessage(CB_SETCURSEL, static_cast<WPARAM>(index)); }
};

class CUpDown : public CWindow {
public:
    using CWindow::CWindow;
    void setRange(int lowest, int highest) const {
        sendMessage(UDM_SETRANGE32, static_cast<WPARAM>(lowest), static_cast<LPARAM>(highest));
    }
};
