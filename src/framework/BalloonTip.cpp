#include "framework/BalloonTip.h"

#include <algorithm>

namespace {

constexpr int kMaxTextWidth = 300;  // pixels at 96 DPI; then the text wraps

// Where the stem ends, in the dialog: half the control's height in from its
// left end, and a fifth of its height inside its lower edge when the
// balloon hangs below it, inside its upper edge when above. That is the
// lower (upper) part of a check box's box, and the edge of an edit field or
// a combo box, so the balloon leaves what the control shows in sight.
POINT stemPoint(const RECT& control, bool below) {
    int height = control.bottom - control.top;
    return {control.left + height / 2, below ? control.bottom - height / 5 : control.top + height / 5};
}

// The balloon's shape in its window: the body with rounded corners, and a
// stem from the body to `tip`, its base `stemX` to `stemX + stemWidth`.
OwnedGdiObject<HRGN> balloonShape(const RECT& body, POINT tip, int stemX, int stemWidth, int roundness) {
    OwnedGdiObject<HRGN> shape(CreateRoundRectRgn(body.left, body.top, body.right, body.bottom, roundness, roundness));
    int base = tip.y < body.top ? body.top + 2 : body.bottom - 2;  // a little inside, so the two join
    POINT stem[3] = {tip, {stemX, base}, {stemX + stemWidth, base}};
    OwnedGdiObject<HRGN> stemShape(CreatePolygonRgn(stem, 3, WINDING));
    CombineRgn(shape.get(), shape.get(), stemShape.get(), RGN_OR);
    return shape;
}

HFONT dialogFont(HWND dialog) {
    auto font = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
    return font != nullptr ? font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

}  // namespace

CBalloonTip::~CBalloonTip() { hide(); }

void CBalloonTip::show(HWND control, const std::string& title, const std::string& text) {
    hide();
    HWND dialog = GetParent(control);
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA windowClass{};
    if (!GetClassInfoA(instance, kWindowClass, &windowClass)) {
        windowClass.lpfnWndProc = windowProc;
        windowClass.hInstance = instance;
        windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
        windowClass.lpszClassName = kWindowClass;
        RegisterClassA(&windowClass);
    }
    title_ = title;
    text_ = text;
    HFONT font = dialogFont(dialog);
    LOGFONTA bold{};
    GetObjectA(font, sizeof bold, &bold);
    bold.lfWeight = FW_BOLD;
    titleFont_.reset(CreateFontIndirectA(&bold));

    // The sizes follow the dialog's font, so they grow with the screen's DPI;
    // the text wraps to fit the dialog.
    RECT client{};
    GetClientRect(dialog, &client);
    int iconSize = GetSystemMetrics(SM_CXSMICON);
    int unit = 0, margin = 0, widest = 0;
    TEXTMETRICA titleMetrics{};
    RECT textSize{}, titleSize{};
    {
        WindowDc dc(dialog);  // given back once the words are measured
        SelectedObject textFont(dc.get(), font);
        TEXTMETRICA metrics{};
        GetTextMetricsA(dc.get(), &metrics);
        unit = metrics.tmHeight;
        margin = unit / 2;
        widest = std::max<int>(unit, client.right - 2 * margin);
        int wrapWidth = std::min(widest, MulDiv(kMaxTextWidth, GetDeviceCaps(dc.get(), LOGPIXELSX), 96));
        textSize = {0, 0, wrapWidth, 0};
        DrawTextA(dc.get(), text_.c_str(), -1, &textSize, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
        // The title wraps as the text does, in what the icon leaves of the width.
        SelectedObject titleFont(dc.get(), titleFont_.get());
        GetTextMetricsA(dc.get(), &titleMetrics);
        titleSize = {0, 0, std::max<int>(unit, wrapWidth - iconSize - margin), 0};
        DrawTextA(dc.get(), title_.c_str(), -1, &titleSize, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    }
    int stemHeight = unit, stemWidth = unit, roundness = unit;
    // The icon and the title's first line share a row, centred on each other.
    int firstRow = std::max<int>(iconSize, titleMetrics.tmHeight);
    int titleTop = (firstRow - titleMetrics.tmHeight) / 2;
    int headHeight = std::max<int>(firstRow, titleTop + titleSize.bottom);
    int width = std::min<int>(std::max<int>(iconSize + margin + titleSize.right, textSize.right), widest) + 2 * margin;
    int bodyHeight = margin + headHeight + margin / 2 + textSize.bottom + margin;
    int height = bodyHeight + stemHeight;

    // Below the control where the dialog has room, else above; within the
    // dialog from left to right as far as it can be.
    RECT place{};
    GetWindowRect(control, &place);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
    bool below = stemPoint(place, true).y + height <= client.bottom || stemPoint(place, false).y - height < 0;
    POINT tip = stemPoint(place, below);
    int left = std::max(0, std::min<int>(tip.x - 2 * unit, client.right - width));
    int top = below ? tip.y : tip.y - height;
    int bodyTop = below ? stemHeight : 0;
    RECT body{0, bodyTop, width, bodyTop + bodyHeight};
    int headTop = bodyTop + margin;
    icon_ = {margin, headTop + (firstRow - iconSize) / 2, margin + iconSize, headTop + (firstRow + iconSize) / 2};
    titleBox_ = {margin + iconSize + margin, headTop + titleTop, width - margin, headTop + headHeight};
    textBox_ = {margin, headTop + headHeight + margin / 2, width - margin, body.bottom - margin};
    POINT stemTip{tip.x - left, below ? 0 : height};
    int stemX = std::max(roundness, std::min<int>(stemTip.x, width - roundness - stemWidth));

    window_ = CreateWindowExA(0, kWindowClass, (title_ + "\r\n" + text_).c_str(), WS_CHILD | WS_CLIPSIBLINGS, left,
                              top, width, height, dialog, nullptr, instance, this);
    if (window_ == nullptr) return;
    SetPropA(window_, kControlProperty, control);
    // The window owns its shape once it takes it.
    OwnedGdiObject<HRGN> shape = balloonShape(body, stemTip, stemX, stemWidth, roundness);
    if (SetWindowRgn(window_, shape.get(), FALSE) != 0) shape.release();
    // A control beneath that changes must not draw over the balloon: each
    // leaves out of its drawing the siblings above it, the balloon on top.
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        SetWindowLongPtrA(child, GWL_STYLE, GetWindowLongPtrA(child, GWL_STYLE) | WS_CLIPSIBLINGS);
    SetWindowPos(window_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

void CBalloonTip::hide() {
    if (window_ != nullptr) DestroyWindow(window_);  // which clears window_
    titleFont_.reset();
}

LRESULT CALLBACK CBalloonTip::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE)
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
    switch (message) {
    case WM_NCHITTEST:
        return HTTRANSPARENT;  // the mouse goes to what lies beneath: the balloon blocks nothing
    case WM_ERASEBKGND:
        return 1;  // painted whole in WM_PAINT
    case WM_NCDESTROY:
        // Also when its dialog closes: the balloon then knows it has none.
        RemovePropA(window, kControlProperty);
        if (auto* balloon = reinterpret_cast<CBalloonTip*>(GetWindowLongPtrA(window, GWLP_USERDATA)))
            balloon->window_ = nullptr;
        return DefWindowProcA(window, message, wParam, lParam);
    case WM_PAINT: {
        PaintDc dc(window);
        if (auto* balloon = reinterpret_cast<const CBalloonTip*>(GetWindowLongPtrA(window, GWLP_USERDATA)))
            balloon->paint(dc.get());
        return 0;
    }
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

void CBalloonTip::paint(HDC dc) const {
    OwnedGdiObject<HRGN> shape(CreateRectRgn(0, 0, 0, 0));
    GetWindowRgn(window_, shape.get());
    FillRgn(dc, shape.get(), GetSysColorBrush(COLOR_INFOBK));
    FrameRgn(dc, shape.get(), GetSysColorBrush(COLOR_INFOTEXT), 1, 1);
    auto warning = static_cast<HICON>(
        LoadImageA(nullptr, IDI_WARNING, IMAGE_ICON, icon_.right - icon_.left, icon_.bottom - icon_.top, LR_SHARED));
    DrawIconEx(dc, icon_.left, icon_.top, warning, icon_.right - icon_.left, icon_.bottom - icon_.top, 0, nullptr,
               DI_NORMAL);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_INFOTEXT));
    RECT box = titleBox_;
    {
        SelectedObject titleFont(dc, titleFont_.get());
        DrawTextA(dc, title_.c_str(), -1, &box, DT_WORDBREAK | DT_NOPREFIX);
    }
    SelectedObject textFont(dc, dialogFont(GetParent(window_)));
    box = textBox_;
    DrawTextA(dc, text_.c_str(), -1, &box, DT_WORDBREAK | DT_NOPREFIX);
}
