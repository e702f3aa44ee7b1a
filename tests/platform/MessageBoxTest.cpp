// The real message boxes: their text, caption and buttons, and that the
// button pressed comes back. A watcher thread plays the user.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include "errors/Exceptions.h"
#include "platform/Desktop.h"
#include "platform/Sockets.h"
#include "platform/WinsockErrors.h"

namespace {

struct SeenBox {
    std::string text;
    bool hasAbort = false, hasRetry = false, hasIgnore = false, hasOk = false;
};

// Waits for a box with the caption, records it and presses `button`.
std::thread answerBox(const char* caption, int button, SeenBox& seen) {
    return std::thread([caption, button, &seen] {
        for (int attempt = 0; attempt < 200; ++attempt) {
            HWND box = FindWindowA("#32770", caption);
            if (box != nullptr) {
                char text[1024] = {};
                GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
                seen.text = text;
                seen.hasAbort = GetDlgItem(box, IDABORT) != nullptr;
                seen.hasRetry = GetDlgItem(box, IDRETRY) != nullptr;
                seen.hasIgnore = GetDlgItem(box, IDIGNORE) != nullptr;
                seen.hasOk = GetDlgItem(box, IDOK) != nullptr;
                PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
                return;
            }
            Sleep(50);
        }
    });
}

// The static control of a message box turns line breaks into "\r\n".
std::string withoutCarriageReturns(std::string text) {
    std::string result;
    for (char c : text)
        if (c != '\r') result += c;
    return result;
}

}  // namespace

TEST(MessageBox, RetryPromptAsksAbortRetryIgnoreAndReturnsTheChoice) {
    platform::sockets::setLastError(wsa::kAddressInUse);
    CSocketException exc(0, "binding");
    for (int button : {IDABORT, IDRETRY, IDIGNORE}) {
        SeenBox seen;
        std::thread user = answerBox("Error", button, seen);
        platform::sockets::setLastError(wsa::kAddressInUse);
        int answer = showRetryPrompt("", exc);
        user.join();
        EXPECT_EQ(answer, button);
        EXPECT_TRUE(seen.hasAbort && seen.hasRetry && seen.hasIgnore);
        EXPECT_EQ(withoutCarriageReturns(seen.text),
                  "Error: 10048 binding\nPort Number already in use\n\n\nPort Number already in use\n\n"
                  "Abort, Retry, Ignore (A,R,I) ");
    }
}

TEST(MessageBox, ExceptionShowsAMessageBoxWithOk) {
    SeenBox seen;
    std::thread user = answerBox("Message", IDOK, seen);
    CExc(42, "something failed").show();
    user.join();
    EXPECT_TRUE(seen.hasOk);
    EXPECT_FALSE(seen.hasRetry);
    EXPECT_EQ(seen.text, "Error: 42 something failed");
}

TEST(MessageBox, ExceptionFromTheSystemErrorCarriesItsDescription) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    CExc exc(0, "opening");
    EXPECT_EQ(exc.code, 2);
    std::string message = exc.message;
    EXPECT_EQ(message.rfind("Error 2 ", 0), 0u) << message;
    EXPECT_NE(message.find("\nopening"), std::string::npos) << message;
    EXPECT_LE(message.size(), 127u);
}
