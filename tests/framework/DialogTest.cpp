// The framework's application object and modal dialog: the application
// name, the end codes of a dialog, and an exception thrown inside one.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "errors/Exceptions.h"
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
