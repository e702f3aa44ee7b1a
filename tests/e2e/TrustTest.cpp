// What the real program under Wine believes, against a scriptable server of
// the test's own on loopback: only the first answer to its latest request,
// in time and, in NTP, echoing its nonce; a lost answer changes nothing
// shown; an unanswered poll is asked again a minute later; kisses slow it
// down or stop it; and the settings dialog tells what went wrong, a name
// that is not found among it.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ClockTest.h"
#include "Driver.h"
#include "TestServer.h"
#include "ui/resource.h"

namespace {

// Each notice's title, and the start of its text.
constexpr const char* kNoAnswerTitle = "The time server did not answer in 10 seconds";
constexpr const char* kNoAnswerText = "Check the server's name and this computer's connection";
constexpr const char* kNoAnswerTimeStyleText = "Check the server's name, or choose another server. Many servers "
                                               "answer only NTP: the Port \"ntp\" asks in NTP style.";
constexpr const char* kNameNotFoundTitle = "The time server's name was not found";
constexpr const char* kNameNotFoundText = "Windows found no computer named \"no-such-server.invalid\" (error ";
constexpr const char* kRefusedServerTitle = "The server refused to serve this computer";
constexpr const char* kRefusedServerText = "It told Marivel not to ask it again";

class Trust : public e2e::ClockTest {
protected:
    bool start(const char* port, unsigned pollPeriod = 60) {
        e2e::prepareSettings(server.server(), port);
        driver::writeNumberSetting("PollPeriod", pollPeriod);
        return startClock();
    }
    // The size of the next request within `ms`, or -1.
    int nextRequest(int ms = 3000) { return server.receive(request, sizeof request, ms); }
    // The requests that come, each within `ms` of the last.
    int requestsWithin(int ms) {
        int count = 0;
        while (nextRequest(ms) >= 0) ++count;
        return count;
    }
    // The notice whose text begins with `start` is shown, or gone.
    bool awaitNotice(const char* start, bool shown, int timeoutMs = driver::kWaitMs) {
        return e2e::awaitBalloon(*clock, start, shown, timeoutMs).has_value() == shown;
    }
    // The notice is shown at `control` with `title`, drawn on the screen;
    // the picture goes to the artifacts.
    void expectNoticeSeen(HWND dialog, const char* start, const char* title, int control, const char* picture) {
        auto notice = e2e::awaitBalloon(*clock, start);
        ASSERT_TRUE(notice) << "no notice beginning \"" << start << '"';
        EXPECT_EQ(notice->title, title);
        EXPECT_EQ(notice->control, control) << "the notice points at the wrong control";
        EXPECT_TRUE(e2e::balloonIsOnScreen(dialog, notice->window, picture));
        EXPECT_TRUE(IsWindowEnabled(dialog)) << "the notice blocks nothing";
    }
    std::string lastResponse(HWND dialog) { return driver::itemText(dialog, IDC_LAST_RESPONSE); }
    // The correction Last Response shows, or -99999.
    long correctionShown(HWND dialog) {
        std::string text = lastResponse(dialog);
        std::size_t at = text.find("Correction: ");
        return at == std::string::npos ? -99999 : std::atol(text.c_str() + at + 12);
    }

    // The shown time less this machine's plus `shift`, in seconds.
    long shownOffBy(long shift) {
        std::string shown = driver::itemText(window, IDC_CLOCK_TIME);
        int hour = 0, minute = 0, second = 0;
        char half[3] = {};
        if (std::sscanf(shown.c_str(), "%d:%d:%d %2s", &hour, &minute, &second, half) != 4) return 99999;
        long shownSecond = (hour % 12 + (half[0] == 'P' ? 12 : 0)) * 3600L + minute * 60L + second;
        std::string expected = e2e::localText(std::time(nullptr) + shift, "%H:%M:%S");
        long expectedSecond = std::stol(expected.substr(0, 2)) * 3600 + std::stol(expected.substr(3, 2)) * 60 +
                              std::stol(expected.substr(6, 2));
        long difference = (shownSecond - expectedSecond + 86400 + 43200) % 86400 - 43200;
        return difference;
    }

    e2e::Listener server;
    unsigned char request[64] = {};
};

}  // namespace

TEST_F(Trust, OnlyTheFirstAnswerToTheLatestNtpRequestMovesTheDisplayAndALostOneChangesNothing) {
    ASSERT_TRUE(start("ntp"));
    ASSERT_EQ(nextRequest(5000), 48) << "the first tick asks in NTP style";
    const std::uint64_t firstNonce = server.lastTransmit();
    EXPECT_NE(firstNonce, 0u) << "the transmit timestamp carries a nonce";

    // A forgery that guessed the address and port but not the nonce comes
    // first; then the real answer.
    server.answerNtp(50000, firstNonce ^ 0x100);
    server.answerNtp(1000);
    EXPECT_TRUE(e2e::showsTimeShiftedBy(window, 1000)) << driver::itemText(window, IDC_CLOCK_TIME);
    // A second answer to the same request, and an RFC 868 datagram from the
    // server's address and port seconds later: neither is taken.
    server.answerNtp(3000);
    Sleep(1500);
    server.answerTime(50000);
    Sleep(1500);
    EXPECT_TRUE(e2e::showsTimeShiftedBy(window, 1000)) << driver::itemText(window, IDC_CLOCK_TIME);

    // A ping whose answer is lost: the display and Last Response keep the
    // last answer, and the dialog says the server did not answer.
    PostMessageA(window, WM_SYSCOMMAND, IDM_PING, 0);
    ASSERT_EQ(nextRequest(), 48);
    EXPECT_NE(server.lastTransmit(), firstNonce) << "a new nonce for every request";
    HWND dialog = openSettings();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(e2e::endsWith(lastResponse(dialog), "Correction: 1000 Seconds")) << lastResponse(dialog);
    std::vector<long> offBy;
    for (int sample = 0; sample < 30; ++sample, Sleep(100)) offBy.push_back(shownOffBy(1000));
    for (long off : offBy) EXPECT_TRUE(off == 0 || off == -1) << "shown " << off << " s off after a lost answer";
    EXPECT_FALSE(e2e::shownBalloon(*clock, kNoAnswerText)) << "not before 10 s";
    expectNoticeSeen(dialog, kNoAnswerText, kNoAnswerTitle, IDC_PORT, "notice-no-answer.bmp");
    // A late answer within 30 s is still the answer; the notice goes. Half
    // its round trip of over 10 s is added, as for any NTP answer.
    server.answerNtp(2000);
    EXPECT_TRUE(awaitNotice(kNoAnswerText, false)) << "the notice stays after the answer";
    long correction = correctionShown(dialog);
    EXPECT_GE(correction, 2004) << lastResponse(dialog);
    EXPECT_LE(correction, 2008) << lastResponse(dialog);
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    driver::waitUntilGone(dialog);
}

TEST_F(Trust, ALateAnswerIsIgnoredAndAnUnansweredPollIsAskedAgainAMinuteLater) {
    ASSERT_TRUE(start("37"));
    HWND dialog = openSettings();
    ASSERT_NE(dialog, nullptr);
    ASSERT_EQ(nextRequest(5000), 0) << "the first tick asks in RFC 868 style";
    const ULONGLONG firstMs = GetTickCount64();
    // RFC 868 style: the notice names the NTP port.
    expectNoticeSeen(dialog, kNoAnswerTimeStyleText, kNoAnswerTitle, IDC_PORT, "notice-no-answer-rfc868.bmp");

    EXPECT_EQ(nextRequest(34000), -1) << "nothing more within 35 s";
    server.answerTime(2000);  // 35 s after the request: given up
    Sleep(1500);
    EXPECT_EQ(lastResponse(dialog), "Never") << "a late answer was taken";
    EXPECT_TRUE(e2e::showsTimeShiftedBy(window, 0)) << driver::itemText(window, IDC_CLOCK_TIME);

    ASSERT_EQ(nextRequest(30000), 0) << "asked again";
    const ULONGLONG againMs = GetTickCount64() - firstMs;
    EXPECT_GE(againMs, 59000u);
    EXPECT_LE(againMs, 62500u) << "a minute after the first";
    server.answerTime(2000);
    EXPECT_TRUE(awaitNotice(kNoAnswerTimeStyleText, false)) << "the notice goes with the answer";
    EXPECT_TRUE(e2e::showsTimeShiftedBy(window, 2000)) << driver::itemText(window, IDC_CLOCK_TIME);
    EXPECT_TRUE(e2e::endsWith(lastResponse(dialog), "Correction: 2000 Seconds")) << lastResponse(dialog);

    // A typing slip in the server's name is told as such, at once, not as
    // a server that does not answer.
    SetWindowTextA(GetDlgItem(dialog, IDC_SERVER), "no-such-server.invalid:37");
    driver::click(dialog, IDC_PING_NOW);
    auto notFound = e2e::awaitBalloon(*clock, kNameNotFoundText, true, 5000);
    ASSERT_TRUE(notFound) << "no notice naming the name";
    EXPECT_EQ(notFound->title, kNameNotFoundTitle);
    EXPECT_EQ(notFound->control, IDC_PORT);
    EXPECT_FALSE(e2e::shownBalloon(*clock, kNoAnswerTimeStyleText)) << "told as a silent server";
    EXPECT_TRUE(e2e::balloonIsOnScreen(dialog, notFound->window, "notice-name-not-found.bmp"));
    EXPECT_EQ(nextRequest(1000), -1) << "nothing sent";
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    driver::waitUntilGone(dialog);
}

TEST_F(Trust, PollPeriodZeroShowsEveryTickRightUntilKissesSlowItAndStopIt) {
    ASSERT_TRUE(start("ntp", 0));
    // Every tick asks; every tick shows local time plus the correction, never
    // a second more.
    std::vector<long> offBy;
    int answered = 0;
    for (ULONGLONG until = GetTickCount64() + 6000; GetTickCount64() < until;) {
        if (nextRequest(1500) == 48) {
            server.answerNtp(500);
            ++answered;
        }
        Sleep(150);
        if (answered > 1) offBy.push_back(shownOffBy(500));
    }
    EXPECT_GE(answered, 4) << "period 0 asks every second";
    ASSERT_FALSE(offBy.empty());
    for (long off : offBy) EXPECT_TRUE(off == 0 || off == -1) << "shown " << off << " s off";

    // RATE: the next automatic request waits at least 64 s.
    while (nextRequest(1500) != 48) {
    }
    server.answerKiss("RATE");
    EXPECT_EQ(requestsWithin(5000), 0) << "asked again within 5 s of a RATE kiss";
    EXPECT_TRUE(e2e::showsTimeShiftedBy(window, 500)) << "a kiss moves nothing";

    // DENY to a ping: no automatic request any more, a notice at the server,
    // and a ping by hand still asks.
    PostMessageA(window, WM_SYSCOMMAND, IDM_PING, 0);
    ASSERT_EQ(nextRequest(), 48);
    server.answerKiss("DENY");
    HWND dialog = openSettings();
    ASSERT_NE(dialog, nullptr);
    expectNoticeSeen(dialog, kRefusedServerText, kRefusedServerTitle, IDC_SERVER, "notice-refused-server.bmp");
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    driver::waitUntilGone(dialog);
    EXPECT_EQ(requestsWithin(4000), 0);
    PostMessageA(window, WM_SYSCOMMAND, IDM_PING, 0);
    EXPECT_EQ(nextRequest(), 48) << "the user's ping still asks";
}
