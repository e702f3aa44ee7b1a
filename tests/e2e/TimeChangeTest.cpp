// The real program under Wine when the clock under its window moves: its
// own setting of the system clock, made to work through a hook or refused by
// Wine as a standard Windows user is refused, and the system's messages that
// the time changed or the machine resumed.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <optional>
#include <string>

#include "ClockTest.h"
#include "Driver.h"
#include "TestServer.h"
#include "ui/resource.h"

namespace {

// The notice's title, and the start of its text.
constexpr const char* kRefusedTitle = "Windows did not allow Marivel to set the clock";
constexpr const char* kRefusedText = "The clock window still shows the corrected time.";

// The clock with "Set System Clock" on, pointed at the NTP peer from its
// settings dialog.
class SettingTheClock : public e2e::ClockTest {
protected:
    bool start(const driver::Environment& environment = {}) {
        e2e::prepareSettings("", "ntp");
        driver::writeNumberSetting("SetSystemClock", 1);
        return startClock(environment);
    }
    void closeSettings(HWND dialog) {
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        driver::waitUntilGone(dialog);
    }
    // Points the clock at the NTP peer and pings it; the Last Response the
    // dialog then shows.
    std::string pingPeer(HWND dialog) {
        const char* peer = std::getenv("MARIVEL_NTP_PEER");
        if (peer == nullptr) return "(run through tests/harness/with-peers)";
        SetWindowTextA(GetDlgItem(dialog, IDC_SERVER), peer);
        driver::click(dialog, IDC_PING_NOW);
        std::string expected = "Correction: " + std::to_string(e2e::peerShift()) + " Seconds";
        return driver::waitUntil([&] { return driver::itemText(dialog, IDC_LAST_RESPONSE); },
                                 [&](const std::string& text) { return e2e::endsWith(text, expected); });
    }
    // The refusal notice, if one is shown.
    std::optional<e2e::Balloon> shownNotice() { return e2e::shownBalloon(*clock, kRefusedText); }
};

// The clock asking a server of the test's own, which answers its first poll.
class MessagesToTheClock : public e2e::ClockTest {
protected:
    void SetUp() override {
        e2e::prepareSettings(server.server(), "37");
        ASSERT_TRUE(startClock());
        ASSERT_EQ(server.receive(request, sizeof request, 5000), 0) << "the first tick polls";
        polledMs = GetTickCount64();
        server.answerTime(0);
        ASSERT_EQ(requestsWithin(1500), 0) << "answered: nothing more is asked";
    }
    // Milliseconds from the first poll to the next request, or 0 when none
    // came within 20 s.
    ULONGLONG nextRequestAfterPoll() {
        if (server.receive(request, sizeof request, 20000) != 0) return 0;
        return GetTickCount64() - polledMs;
    }
    // The requests that come, each within `ms` of the last.
    int requestsWithin(int ms) {
        int count = 0;
        while (server.receive(request, sizeof request, ms) == 0) ++count;
        return count;
    }

    e2e::Listener server;
    unsigned char request[64] = {};
    ULONGLONG polledMs = 0;
};

}  // namespace

TEST_F(SettingTheClock, ASettingThatWorkedIsNotAddedToTheDisplayAgain) {
    char folder[MAX_PATH] = {};
    GetTempPathA(sizeof folder, folder);
    std::string record = std::string(folder) + "marivel-clock-calls-" + std::to_string(GetCurrentProcessId()) + ".txt";
    ASSERT_TRUE(start({{"MARIVEL_HOOK_OUT", record}}));
    // The program's SetSystemTime now reports success and changes nothing,
    // as if this machine's clock had been put right.
    ASSERT_TRUE(driver::loadRecordingHook(clock->id(), "MARIVEL_HOOK_DLL", record)) << "the hook is not in place";

    HWND dialog = openSettings();
    ASSERT_NE(dialog, nullptr);
    std::string lastResponse = pingPeer(dialog);
    EXPECT_TRUE(e2e::endsWith(lastResponse, "Correction: " + std::to_string(e2e::peerShift()) + " Seconds"))
        << "the dialog still says how far off the clock was: " << lastResponse;
    EXPECT_FALSE(shownNotice()) << "a setting that worked needs no notice";
    closeSettings(dialog);

    std::ifstream calls(record);
    std::string firstCall;
    EXPECT_TRUE(std::getline(calls, firstCall)) << "the reply set the clock";
    EXPECT_TRUE(e2e::showsTimeShiftedBy(window, 0))
        << "the clock already holds the server's time, but the window shows "
        << driver::itemText(window, IDC_CLOCK_TIME);
    calls.close();
    DeleteFileA(record.c_str());
    DeleteFileA((record + ".hooked").c_str());
}

TEST_F(SettingTheClock, ARefusedSettingKeepsTheCorrectionShownAndIsToldAtTheOption) {
    ASSERT_TRUE(start());
    HWND dialog = openSettings();
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(shownNotice()) << "nothing was refused yet";
    // Wine refuses the setting as Windows refuses a standard user.
    std::string lastResponse = pingPeer(dialog);
    EXPECT_TRUE(e2e::endsWith(lastResponse, " Seconds")) << lastResponse;
    auto notice = e2e::awaitBalloon(*clock, kRefusedText);
    ASSERT_TRUE(notice) << "no notice while the dialog is open";
    EXPECT_EQ(notice->control, IDC_SET_SYSTEM_CLOCK) << "it points at the option";
    EXPECT_EQ(notice->title, kRefusedTitle);
    EXPECT_NE(notice->text.find("\"Change the system time\""), std::string::npos) << notice->text;
    EXPECT_NE(notice->text.find("administrator"), std::string::npos) << notice->text;
    EXPECT_TRUE(e2e::balloonIsOnScreen(dialog, notice->window, "settings-notice.bmp"));
    EXPECT_TRUE(IsWindowEnabled(dialog) && IsWindow(dialog)) << "the notice blocks nothing";
    closeSettings(dialog);
    EXPECT_EQ(clock->waitForWindow("Message", 500), nullptr) << "no message box";

    EXPECT_TRUE(e2e::showsTimeShiftedBy(window, e2e::peerShift()))
        << "the window shows the corrected time, not " << driver::itemText(window, IDC_CLOCK_TIME);
    dialog = openSettings();
    ASSERT_NE(dialog, nullptr);
    notice = e2e::awaitBalloon(*clock, kRefusedText);
    ASSERT_TRUE(notice) << "the notice shows again when the dialog opens after a refusal";
    EXPECT_TRUE(e2e::balloonIsOnScreen(dialog, notice->window, "settings-notice-reopened.bmp"));
    closeSettings(dialog);
}

// A step asks at once, but never within 15 s of the last request.
TEST_F(MessagesToTheClock, ATimeChangeAsksAgainOnceAMinuteAtMost) {
    PostMessageA(window, WM_TIMECHANGE, 0, 0);
    ULONGLONG after = nextRequestAfterPoll();
    EXPECT_GE(after, 14500u) << "asked again within 15 s of the poll";
    EXPECT_LE(after, 17000u) << "not asked at the first tick the floor allows";
    server.answerTime(0);
    PostMessageA(window, WM_TIMECHANGE, 0, 0);
    EXPECT_EQ(requestsWithin(4000), 0) << "a second change within the minute asks nothing yet";
}

TEST_F(MessagesToTheClock, AResumeFromSleepAsksAgain) {
    PostMessageA(window, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    ULONGLONG after = nextRequestAfterPoll();
    EXPECT_GE(after, 14500u);
    EXPECT_LE(after, 17000u);
    server.answerTime(0);
}
