// The framework's application object and modal dialog: the application
// name, the end codes of a dialog, and an exception thrown inside one.
#include <gtest/gtest.h>

#include <functional>

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
