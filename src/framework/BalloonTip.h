// A balloon that points at a control and tells the user something without
// blocking anything: a tracking tooltip in the balloon style, with a title
// and a warning icon, that clicks pass through. Its stem ends at the lower
// edge of the control, near the left. It stays until hidden, or until the
// dialog that owns it closes. Each is a window of its own, so several in
// one dialog show at once.
#pragma once
#include <windows.h>

#include <string>

class CBalloonTip {
public:
    CBalloonTip() = default;
    ~CBalloonTip();
    CBalloonTip(const CBalloonTip&) = delete;
    CBalloonTip& operator=(const CBalloonTip&) = delete;

    // Shows the balloon pointing at `control`, replacing what it showed.
    void show(HWND control, const std::string& title, const std::string& text);
    void hide();

private:
    HWND tip_ = nullptr;
    HWND control_ = nullptr;
    std::string text_;  // the tooltip keeps a pointer to it
};
