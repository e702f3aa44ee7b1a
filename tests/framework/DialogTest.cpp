// The framework's application object and modal dialog: the application
// name, the end codes of a dialog, and an exception thrown inside one; and
// its balloon notices, several at once, each seen at its control.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "e2e/Driver.h"
#include "errors/Exceptions.h"
#include "framework/BalloonTip.h"
#include "framework/Dialog.h"
#include "framework/WinApp.h"
#include "platform/win32/Owned.h"

namespace {

constexpr int kTestDialog = 1;

class TestApp : public CWinApp {
public:
    std::function<void()> body;
    bool startApplication() override {
        if (body) body();
        return false;
    }
};

TestApp app;

class ScriptedDialog : public CDialog {
public:
    explicit ScriptedDialog(std::function<void(HWND)> onOpen) : CDialog(kTestDialog), onOpen_(std::move(onOpen)) {}

protected:
    bool onInitDialog() override {
        onOpen_(handle());
        return true;
    }

private:
    std::function<void(HWND)> onOpen_;
};

}  // namespace

TEST(WinApp, NamesTheApplicationAfterTheProgramFile) {
    app.body = nullptr;
    EXPECT_EQ(app.run(GetModuleHandleA(nullptr)), 0);
    EXPECT_EQ(app.appName(), "framework_tests");
}

TEST(Dialog, OkAndCancelEndTheDialogWithTheirCodes) {
    INT_PTR okCode = 0, cancelCode = 0, closeCode = 0;
    app.body = [&] {
        okCode = ScriptedDialog([](HWND dialog) { PostMessageA(dialog, WM_COMMAND, IDOK, 0); }).doModal();
        cancelCode = ScriptedDialog([](HWND dialog) { PostMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 0); }).doModal();
        closeCode = ScriptedDialog([](HWND dialog) { PostMessageA(dialog, WM_CLOSE, 0, 0); }).doModal();
    };
    app.run(GetModuleHandleA(nullptr));
    EXPECT_EQ(okCode, IDOK);
    EXPECT_EQ(cancelCode, IDCANCEL);
    EXPECT_EQ(closeCode, IDCANCEL);
}

TEST(Dialog, AnExceptionInAHandlerEndsTheDialogAndLeavesDoModal) {
    bool caught = false;
    bool windowGone = false;
    HWND opened = nullptr;
    app.body = [&] {
        ScriptedDialog failing([&](HWND dialog) {
            opened = dialog;
            throw CExc(5, "from the dialog");
        });
        try {
            failing.doModal();
        } catch (CExc exc) {
            caught = true;
            EXPECT_STREQ(exc.message, "Error: 5 from the dialog");
        }
        windowGone = IsWindow(opened) == FALSE;
    };
    app.run(GetModuleHandleA(nullptr));
    EXPECT_TRUE(caught);
    EXPECT_NE(opened, nullptr);
    EXPECT_TRUE(windowGone);
}

namespace {

// Records what reaches each handler, then ends itself with OK.
class RoutedDialog : public CDialog {
public:
    RoutedDialog() : CDialog(kTestDialog) {}
    std::vector<std::string> seen;

protected:
    bool onInitDialog() override {
        PostMessageA(handle(), WM_COMMAND, MAKEWPARAM(7, EN_CHANGE), 0);
        PostMessageA(handle(), WM_COMMAND, MAKEWPARAM(8, BN_CLICKED), 0);
        PostMessageA(handle(), WM_SYSCOMMAND, 0x0023, 0);  // the system's bits set
        PostMessageA(handle(), WM_TIMER, 5, 0);
        PostMessageA(handle(), WM_COMMAND, IDOK, 0);
        return true;
    }
    bool onCommand(int code, int id) override {
        seen.push_back("command " + std::to_string(code) + " " + std::to_string(id));
        return CDialog::onCommand(code, id);
    }
    bool onButtonClicked(int id) override {
        seen.push_back("clicked " + std::to_string(id));
        return CDialog::onButtonClicked(id);
    }
    bool onSysCommand(UINT command) override {
        seen.push_back("system command " + std::to_string(command));
        return true;
    }
    void onTimer(UINT_PTR id) override { seen.push_back("timer " + std::to_string(id)); }
};

}  // namespace

TEST(Dialog, RoutesCommandsClicksSystemCommandsAndTimersToTheirHandlers) {
    RoutedDialog dialog;
    INT_PTR code = 0;
    app.body = [&] { code = dialog.doModal(); };
    app.run(GetModuleHandleA(nullptr));
    EXPECT_EQ(code, IDOK) << "a click of OK still ends the dialog";
    EXPECT_EQ(dialog.seen, (std::vector<std::string>{"command 768 7", "command 0 8", "clicked 8", "system command 32",
                                                     "timer 5", "command 0 1", "clicked 1"}));
}

namespace {

constexpr int kNoticesDialog = 2;
constexpr int kCheckBox = 10, kField = 11, kList = 12;
constexpr UINT_PTR kLookTimer = 1;
constexpr int kLooks = 50;  // every 100 ms: 5 s for the balloons to be drawn

// What the screen showed of the balloon at one control.
struct Notice {
    int control = 0;
    HWND balloon = nullptr;
    driver::BalloonOnScreen onScreen;
    bool below = false;         // it hangs below the control, not above
    POINT stem{};               // the end of its stem
    RECT around{};              // the control's window, in screen pixels
    HWND underMouse = nullptr;  // what a click on its middle reaches
};

// The shown balloon of the dialog that points at `control`.
HWND balloonAt(HWND control) {
    HWND dialog = GetParent(control);
    for (HWND balloon = FindWindowExA(dialog, nullptr, CBalloonTip::kWindowClass, nullptr); balloon != nullptr;
         balloon = FindWindowExA(dialog, balloon, CBalloonTip::kWindowClass, nullptr))
        if (GetPropA(balloon, CBalloonTip::kControlProperty) == control && IsWindowVisible(balloon)) return balloon;
    return nullptr;
}

// The end of a balloon's stem on the screen: the first point of the top row
// of its shape when it hangs below, of the bottom row when above.
POINT stemEnd(HWND balloon, bool below) {
    RECT place{}, box{};
    GetWindowRect(balloon, &place);
    OwnedGdiObject<HRGN> shape(CreateRectRgn(0, 0, 0, 0));
    GetWindowRgn(balloon, shape.get());
    GetRgnBox(shape.get(), &box);
    int row = below ? box.top : box.bottom - 1;
    POINT end{place.left + box.left, place.top + row};
    for (int x = box.left; x < box.right; ++x)
        if (PtInRegion(shape.get(), x, row)) {
            end.x = place.left + x;
            break;
        }
    return end;
}

// Puts a notice at a check box, an edit field and a combo box at once,
// looks at them (and where a click on each goes) once all three are drawn
// (or after kLooks), then hides the first and looks whether the others
// stay.
class NoticesDialog : public CDialog {
public:
    NoticesDialog() : CDialog(kNoticesDialog) {}
    std::vector<Notice> seen;
    bool firstHidden = false, othersStayed = false;

protected:
    bool onInitDialog() override {
        for (int i = 0; i < 3; ++i)
            notices_[i].show(item(kControls[i]).handle(), "Look here",
                             "A notice that wraps onto a second line of its own, at control " +
                                 std::to_string(kControls[i]) + ".");
        SetTimer(handle(), kLookTimer, 100, nullptr);
        return true;
    }
    void onTimer(UINT_PTR) override {
        seen.clear();
        bool allDrawn = true;
        for (int control : kControls) {
            Notice notice;
            notice.control = control;
            HWND window = item(control).handle();
            GetWindowRect(window, &notice.around);
            notice.balloon = balloonAt(window);
            if (notice.balloon != nullptr) {
                notice.onScreen = driver::balloonOnScreen(notice.balloon);
                RECT place{};
                GetWindowRect(notice.balloon, &place);
                notice.below = place.top >= notice.around.top;
                notice.stem = stemEnd(notice.balloon, notice.below);
                notice.underMouse = WindowFromPoint({(place.left + place.right) / 2, (place.top + place.bottom) / 2});
            }
            allDrawn = allDrawn && notice.onScreen.drawn();
            seen.push_back(notice);
        }
        if (!allDrawn && ++looks_ < kLooks) return;
        KillTimer(handle(), kLookTimer);
        notices_[0].hide();
        firstHidden = balloonAt(item(kControls[0]).handle()) == nullptr;
        othersStayed =
            balloonAt(item(kControls[1]).handle()) != nullptr && balloonAt(item(kControls[2]).handle()) != nullptr;
        endDialog(IDOK);
    }

private:
    static constexpr int kControls[3] = {kCheckBox, kField, kList};
    CBalloonTip notices_[3];
    int looks_ = 0;
};

}  // namespace

TEST(BalloonTip, SeveralShowAtOnceEachDrawnWithItsStemAtTheEdgeOfItsControl) {
    NoticesDialog dialog;
    app.body = [&] { dialog.doModal(); };
    app.run(GetModuleHandleA(nullptr));
    ASSERT_EQ(dialog.seen.size(), 3u);
    std::vector<HWND> balloons;
    for (const Notice& notice : dialog.seen) {
        SCOPED_TRACE("the notice at control " + std::to_string(notice.control));
        ASSERT_NE(notice.balloon, nullptr) << "not shown";
        balloons.push_back(notice.balloon);
        EXPECT_TRUE(notice.onScreen.drawn()) << "of " << notice.onScreen.pixels << " pixels in its middle, "
                                             << notice.onScreen.background << " show its background and "
                                             << notice.onScreen.text << " its text; outline "
                                             << (notice.onScreen.outlined ? "seen" : "not seen");
        // Below the control where the dialog has room, with the stem ending
        // on the control's lowest third; at the bottom of the dialog, above,
        // ending on its highest third. It covers little of the control.
        EXPECT_EQ(notice.below, notice.control != kList);
        const RECT& around = notice.around;
        int third = (around.bottom - around.top) / 3;
        EXPECT_TRUE(notice.stem.x >= around.left && notice.stem.x < around.right &&
                    (notice.below ? notice.stem.y >= around.bottom - third && notice.stem.y <= around.bottom
                                  : notice.stem.y >= around.top && notice.stem.y <= around.top + third))
            << "the stem ends at " << notice.stem.x << "," << notice.stem.y << ", the control is at " << around.left
            << "," << around.top << "-" << around.right << "," << around.bottom;
    }
    for (const Notice& notice : dialog.seen)
        EXPECT_TRUE(notice.underMouse != nullptr && notice.underMouse != notice.balloon)
            << "a click on the notice at control " << notice.control << " reaches what lies beneath";
    EXPECT_TRUE(balloons[0] != balloons[1] && balloons[1] != balloons[2] && balloons[0] != balloons[2])
        << "each notice has a window of its own";
    EXPECT_TRUE(dialog.firstHidden) << "hide() hides its own notice";
    EXPECT_TRUE(dialog.othersStayed) << "and leaves the others";
}

namespace {

constexpr char kLongTitle[] = "A title too long for one line of its balloon wraps as its text does";
constexpr char kNoticeText[] = "The same text under both titles.";

// A balloon with a short title and one with a long title over the same
// text, looked at once both are drawn.
class TitlesDialog : public CDialog {
public:
    TitlesDialog() : CDialog(kNoticesDialog) {}
    RECT shortPlace{}, longPlace{}, dialogPlace{};
    int titleLineHeight = 0, longTitleWidth = 0;  // in the title's bold font
    driver::BalloonOnScreen longOnScreen;

protected:
    bool onInitDialog() override {
        shortNotice_.show(item(kCheckBox).handle(), "Look here", kNoticeText);
        longNotice_.show(item(kField).handle(), kLongTitle, kNoticeText);
        SetTimer(handle(), kLookTimer, 100, nullptr);
        return true;
    }
    void onTimer(UINT_PTR) override {
        HWND shortBalloon = balloonAt(item(kCheckBox).handle());
        HWND longBalloon = balloonAt(item(kField).handle());
        if (shortBalloon == nullptr || longBalloon == nullptr) return endDialog(IDCANCEL);
        longOnScreen = driver::balloonOnScreen(longBalloon);
        if (!longOnScreen.drawn() && ++looks_ < kLooks) return;
        KillTimer(handle(), kLookTimer);
        GetWindowRect(shortBalloon, &shortPlace);
        GetWindowRect(longBalloon, &longPlace);
        GetClientRect(handle(), &dialogPlace);
        measureTitle();
        endDialog(IDOK);
    }

private:
    // The long title on one line, and a line's height, in the dialog's
    // font made bold as a title's is.
    void measureTitle() {
        LOGFONTA bold{};
        GetObjectA(reinterpret_cast<HFONT>(SendMessageA(handle(), WM_GETFONT, 0, 0)), sizeof bold, &bold);
        bold.lfWeight = FW_BOLD;
        OwnedGdiObject<HFONT> font(CreateFontIndirectA(&bold));
        WindowDc dc(handle());
        SelectedObject selected(dc.get(), font.get());
        TEXTMETRICA metrics{};
        GetTextMetricsA(dc.get(), &metrics);
        titleLineHeight = metrics.tmHeight;
        RECT oneLine{};
        DrawTextA(dc.get(), kLongTitle, -1, &oneLine, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
        longTitleWidth = oneLine.right;
    }

    CBalloonTip shortNotice_, longNotice_;
    int looks_ = 0;
};

int widthOf(const RECT& r) { return r.right - r.left; }
int heightOf(const RECT& r) { return r.bottom - r.top; }

}  // namespace

TEST(BalloonTip, ATitleTooLongForOneLineWrapsAndShowsWhole) {
    TitlesDialog dialog;
    app.body = [&] { dialog.doModal(); };
    app.run(GetModuleHandleA(nullptr));
    ASSERT_GT(dialog.titleLineHeight, 0) << "the balloons were not shown";
    EXPECT_TRUE(dialog.longOnScreen.drawn());
    // Too wide for the balloon on one line, and the balloon stays inside
    // its dialog: where the short title's row holds the icon and one line,
    // the long title's holds at least two lines.
    EXPECT_GT(dialog.longTitleWidth, widthOf(dialog.longPlace));
    EXPECT_LE(widthOf(dialog.longPlace), widthOf(dialog.dialogPlace));
    int firstRow = std::max<int>(GetSystemMetrics(SM_CYSMICON), dialog.titleLineHeight);
    int growth = heightOf(dialog.longPlace) - heightOf(dialog.shortPlace);
    EXPECT_GE(firstRow + growth, 2 * dialog.titleLineHeight)
        << "the balloon with the long title is " << heightOf(dialog.longPlace) << " pixels high, the other "
        << heightOf(dialog.shortPlace) << "; a title line is " << dialog.titleLineHeight << " high";
}
