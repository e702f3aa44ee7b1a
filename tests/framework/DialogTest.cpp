// The framework's application object and modal dialog: the application
// name, the end codes of a dialog, and an exception thrown inside one; and
// its balloon notices, several at once, each seen at its control.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "e2e/Driver.h"
#include "errors/Exceptions.h"
#include "framework/BalloonTip.h"
#include "framework/Dialog.h"
#include "framework/WinApp.h"

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
    HWND tip = nullptr;
    driver::TipOnScreen onScreen;
    POINT stem{};   // the top of the balloon's shape: the end of its stem
    RECT around{};  // the control's window, in screen pixels
};

// The visible tooltip of this thread that tracks `control`.
HWND tipAt(HWND control) {
    struct Search {
        HWND control, found;
    } search{control, nullptr};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM data) {
            auto* wanted = reinterpret_cast<Search*>(data);
            char className[32] = {};
            GetClassNameA(window, className, sizeof className);
            TOOLINFOA tool{};
            tool.cbSize = sizeof tool;
            if (std::string(className) == TOOLTIPS_CLASSA && IsWindowVisible(window) &&
                SendMessageA(window, TTM_ENUMTOOLSA, 0, reinterpret_cast<LPARAM>(&tool)) &&
                reinterpret_cast<HWND>(tool.uId) == wanted->control)
                wanted->found = window;
            return wanted->found == nullptr ? TRUE : FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The first point of the top row of a window's shape, on the screen.
POINT topOfShape(HWND window) {
    RECT place{}, box{};
    GetWindowRect(window, &place);
    HRGN shape = CreateRectRgn(0, 0, 0, 0);
    if (GetWindowRgn(window, shape) == ERROR)
        GetClientRect(window, &box);
    else
        GetRgnBox(shape, &box);
    POINT top{place.left + box.left, place.top + box.top};
    for (int x = box.left; x < box.right; ++x)
        if (PtInRegion(shape, x, box.top)) {
            top.x = place.left + x;
            break;
        }
    DeleteObject(shape);
    return top;
}

// Puts a notice at a check box, an edit field and a combo box at once,
// looks at them once all three are drawn (or after kLooks), then hides
// the first and looks whether the others stay.
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
            notice.tip = tipAt(window);
            if (notice.tip != nullptr) {
                notice.onScreen = driver::tipOnScreen(notice.tip);
                notice.stem = topOfShape(notice.tip);
            }
            allDrawn = allDrawn && notice.onScreen.drawn();
            seen.push_back(notice);
        }
        if (!allDrawn && ++looks_ < kLooks) return;
        KillTimer(handle(), kLookTimer);
        notices_[0].hide();
        firstHidden = tipAt(item(kControls[0]).handle()) == nullptr;
        othersStayed = tipAt(item(kControls[1]).handle()) != nullptr && tipAt(item(kControls[2]).handle()) != nullptr;
        endDialog(IDOK);
    }

private:
    static constexpr int kControls[3] = {kCheckBox, kField, kList};
    CBalloonTip notices_[3];
    int looks_ = 0;
};

}  // namespace

TEST(BalloonTip, SeveralShowAtOnceEachDrawnWithItsStemAtTheLowerEdgeOfItsControl) {
    NoticesDialog dialog;
    app.body = [&] { dialog.doModal(); };
    app.run(GetModuleHandleA(nullptr));
    ASSERT_EQ(dialog.seen.size(), 3u);
    std::vector<HWND> tips;
    for (const Notice& notice : dialog.seen) {
        SCOPED_TRACE("the notice at control " + std::to_string(notice.control));
        ASSERT_NE(notice.tip, nullptr) << "not shown";
        tips.push_back(notice.tip);
        EXPECT_TRUE(notice.onScreen.drawn()) << "of " << notice.onScreen.pixels << " pixels in its middle, "
                                             << notice.onScreen.background << " show its background and "
                                             << notice.onScreen.text << " its text";
        // The stem ends on the lowest third of the control: it covers
        // little of what the control shows, and the balloon hangs below.
        const RECT& around = notice.around;
        EXPECT_TRUE(notice.stem.x >= around.left && notice.stem.x < around.right &&
                    notice.stem.y >= around.bottom - (around.bottom - around.top) / 3 && notice.stem.y <= around.bottom)
            << "the stem ends at " << notice.stem.x << "," << notice.stem.y << ", the control is at " << around.left
            << "," << around.top << "-" << around.right << "," << around.bottom;
    }
    EXPECT_TRUE(tips[0] != tips[1] && tips[1] != tips[2] && tips[0] != tips[2])
        << "each notice has a window of its own";
    EXPECT_TRUE(dialog.firstHidden) << "hide() hides its own notice";
    EXPECT_TRUE(dialog.othersStayed) << "and leaves the others";
}
