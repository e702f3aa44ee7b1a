// A balloon that points at a control of a dialog and tells the user
// something without blocking anything: a title with a warning icon and a
// text, both wrapped to the balloon's width and never cut, in the colours
// of a tooltip, below the control (above it where the dialog has no room
// below), with a stem that ends at the control's edge near its left end. Clicks pass through it. It stays until hidden, or until
// its dialog closes. Several may show at once in a dialog.
//
// It is a child window of the dialog, drawn here, not a tooltip: a tooltip
// is a window of its own on the screen, and under Wine's virtual desktop
// the X server stacked the dialog above it, hiding it while Windows' own
// order had it on top.
#pragma once
#include <windows.h>

#include <string>

#include "platform/win32/Owned.h"

class CBalloonTip {
public:
    // The window class of the balloons. A balloon's window text is the
    // title, a line break, and the text; its window property kControlProperty
    // is the control it points at.
    static constexpr const char* kWindowClass = "MarivelBalloon";
    static constexpr const char* kControlProperty = "MarivelBalloonControl";

    CBalloonTip() = default;
    ~CBalloonTip();
    CBalloonTip(const CBalloonTip&) = delete;
    CBalloonTip& operator=(const CBalloonTip&) = delete;

    // Shows the balloon pointing at `control`, replacing what it showed.
    void show(HWND control, const std::string& title, const std::string& text);
    void hide();

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void paint(HDC dc) const;

    HWND window_ = nullptr;
    OwnedGdiObject<HFONT> titleFont_;  // the dialog's font, bold
    std::string title_, text_;
    // Where things lie in the balloon's window.
    RECT icon_{}, titleBox_{}, textBox_{};
};
