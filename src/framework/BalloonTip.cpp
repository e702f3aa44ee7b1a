#include "framework/BalloonTip.h"

#include <commctrl.h>

namespace {

constexpr int kMaxWidthPixels = 300;  // then the text wraps

TOOLINFOA toolFor(HWND control, std::string* text) {
    TOOLINFOA tool{};
    tool.cbSize = sizeof tool;
    // Transparent: the mouse passes through to what lies beneath, so the
    // balloon blocks nothing, and a pointer resting on it does not close it.
    // Tracked but not at an absolute place: the tooltip places the balloon
    // so that its stem ends at the tracked point (with TTF_ABSOLUTE, Wine
    // puts the balloon's corner there and draws the stem as a sliver).
    tool.uFlags = TTF_IDISHWND | TTF_TRACK | TTF_TRANSPARENT;
    tool.hwnd = GetParent(control);
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = text != nullptr ? text->data() : nullptr;
    return tool;
}

// Where the stem points: half the control's height in from its left end and
// a fifth of it above its bottom. That is the lower part of a check box's
// box, and the lower edge of an edit field or a combo box, so the balloon
// hangs below the control and leaves what it shows in sight.
POINT stemPoint(HWND control) {
    RECT box{};
    GetWindowRect(control, &box);
    int height = box.bottom - box.top;
    return {box.left + height / 2, box.bottom - height / 5};
}

}  // namespace

CBalloonTip::~CBalloonTip() {
    // Usually gone already, with the dialog that owns it.
    if (tip_ != nullptr && IsWindow(tip_)) DestroyWindow(tip_);
}

void CBalloonTip::show(HWND control, const std::string& title, const std::string& text) {
    hide();
    if (tip_ != nullptr && !IsWindow(tip_)) tip_ = nullptr;
    if (tip_ == nullptr) {
        INITCOMMONCONTROLSEX tooltips{sizeof tooltips, ICC_BAR_CLASSES};
        InitCommonControlsEx(&tooltips);
        tip_ = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_BALLOON | TTS_NOPREFIX,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, GetParent(control), nullptr,
                               nullptr, nullptr);
        if (tip_ == nullptr) return;
        SendMessageA(tip_, TTM_SETMAXTIPWIDTH, 0, kMaxWidthPixels);
    }
    control_ = control;
    text_ = text;
    TOOLINFOA tool = toolFor(control_, &text_);
    SendMessageA(tip_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageA(tip_, TTM_SETTITLEA, TTI_WARNING, reinterpret_cast<LPARAM>(title.c_str()));
    POINT stem = stemPoint(control_);
    SendMessageA(tip_, TTM_TRACKPOSITION, 0, MAKELPARAM(stem.x, stem.y));
    SendMessageA(tip_, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
}

void CBalloonTip::hide() {
    if (tip_ == nullptr || control_ == nullptr || !IsWindow(tip_)) return;
    TOOLINFOA tool = toolFor(control_, nullptr);
    SendMessageA(tip_, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool));
    SendMessageA(tip_, TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    control_ = nullptr;
}
