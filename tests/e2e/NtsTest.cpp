// Authenticated time, the real program under Wine against chronyd serving
// NTS on loopback (tests/harness/with-peers), with the test's CA in this
// prefix's own root store only: the correction it gives, said to be
// authenticated; a relay on the path that changes answers moves nothing
// (while the same relay moves the plain NTP style); one key exchange for
// many requests, each with its own cookie; a NAK after chronyd's keys
// change; and each way the key exchange can fail told where the user looks,
// with no NTP request at all.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "ClockTest.h"
#include "Driver.h"
#include "TestServer.h"
#include "ui/resource.h"

namespace {

std::string variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// The NTS Cookie field an NTS request carries after its Unique Identifier.
std::vector<unsigned char> cookieOf(const std::vector<unsigned char>& request) {
    std::size_t at = 48;
    if (request.size() < at + 4) return {};
    std::size_t uniqueIdLength = (std::size_t{request[at + 2]} << 8) | request[at + 3];
    at += uniqueIdLength;
    if (request.size() < at + 4 || request[at] != 0x02 || request[at + 1] != 0x04) return {};
    std::size_t length = (std::size_t{request[at + 2]} << 8) | request[at + 3];
    if (request.size() < at + length) return {};
    return std::vector<unsigned char>(request.begin() + static_cast<std::ptrdiff_t>(at + 4),
                                      request.begin() + static_cast<std::ptrdiff_t>(at + length));
}

class Nts : public e2e::ClockTest {
protected:
    void SetUp() override {
        ASSERT_FALSE(variable("MARIVEL_NTS_PEER").empty()) << "not run by with-peers";
    }
    bool start(const std::string& server, const char* port = "nts") {
        e2e::prepareSettings(server, port);
        return startClock();
    }
    // The notice whose text begins with `start`: shown with `title` at
    // `control`, on the screen; its picture goes to the artifacts.
    void expectNotice(HWND dialog, const std::string& start, const char* title, int control, const char* picture) {
        auto notice = e2e::awaitBalloon(*clock, start.c_str());
        ASSERT_TRUE(notice) << "no notice beginning \"" << start << '"';
        EXPECT_EQ(notice->title, title);
        EXPECT_EQ(notice->control, control) << title;
        EXPECT_TRUE(e2e::balloonIsOnScreen(dialog, notice->window, picture));
    }
    // The dialog asks `server`, in the style of `port`, at once.
    void askFromDialog(HWND dialog, const std::string& server, const char* port = "nts") {
        SetWindowTextA(GetDlgItem(dialog, IDC_SERVER), server.c_str());
        driver::setItemText(dialog, IDC_PORT, port);
        driver::click(dialog, IDC_PING_NOW);
    }
    std::string lastResponse(HWND dialog) { return driver::itemText(dialog, IDC_LAST_RESPONSE); }
    // Waits until the relay has seen `count` answers.
    bool answersReach(std::size_t count, int timeoutMs = 5000) {
        return driver::waitUntil([&] { return relay.answers().size(); },
                                 [&](std::size_t seen) { return seen >= count; }, timeoutMs) >= count;
    }
    void ping() { PostMessageA(window, WM_SYSCOMMAND, IDM_PING, 0); }

    e2e::Relay relay;
};

}  // namespace

TEST_F(Nts, EveryFailedKeyExchangeIsToldAndNoNtpRequestGoesOut) {
    // Nothing trusts the test CA yet: chronyd's certificate is untrusted.
    ASSERT_TRUE(driver::trustCertificate(driver::windowsPathOf("MARIVEL_NTS_UNTRUSTED_CA_DER")));
    const std::string relayName = variable("MARIVEL_NTS_RELAY_NAME");
    ASSERT_TRUE(start(relayName));
    HWND dialog = openSettings();
    ASSERT_NE(dialog, nullptr);
    expectNotice(dialog, "Windows does not trust the certificate that \"" + relayName + "\" showed",
                 "The server's certificate is not trusted", IDC_SERVER, "notice-nts-untrusted.bmp");
    EXPECT_GE(relay.keyExchanges(), 1);
    EXPECT_TRUE(relay.requests().empty()) << "an NTP request went out without a key exchange";
    EXPECT_EQ(lastResponse(dialog), "Never");
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    driver::waitUntilGone(dialog);
    closeClock();

    // The test CA trusted, in this prefix alone; the program reads its root
    // store anew at its start.
    ASSERT_TRUE(driver::trustCertificate(driver::windowsPathOf("MARIVEL_NTS_CA_DER")));
    ASSERT_TRUE(start(variable("MARIVEL_NTS_WRONG_NAME_PEER")));
    dialog = openSettings();
    ASSERT_NE(dialog, nullptr);
    expectNotice(dialog, "The certificate that answered is not for \"" + variable("MARIVEL_NTS_WRONG_NAME_PEER"),
                 "The server's certificate is for another name", IDC_SERVER, "notice-nts-name.bmp");
    // A dotted address must be in the certificate as an address.
    askFromDialog(dialog, variable("MARIVEL_NTS_WRONG_ADDRESS_PEER"));
    expectNotice(dialog, "The certificate that answered is not for \"127.0.0.1\"",
                 "The server's certificate is for another name", IDC_SERVER, "notice-nts-address.bmp");

    askFromDialog(dialog, variable("MARIVEL_NTS_FUTURE_PEER"));
    expectNotice(dialog, "This computer's date is outside the dates of the certificate",
                 "This computer's date is outside the certificate's dates", IDC_SERVER, "notice-nts-dates.bmp");
    auto dates = e2e::shownBalloon(*clock, "This computer's date");
    ASSERT_TRUE(dates);
    EXPECT_NE(dates->text.find("Set Clock"), std::string::npos) << dates->text;

    askFromDialog(dialog, variable("MARIVEL_NTS_ERROR_PEER"));
    expectNotice(dialog, "\"" + variable("MARIVEL_NTS_PEER") + "\" answered the key exchange with an error",
                 "The server did not offer NTS", IDC_PORT, "notice-nts-refused.bmp");
    askFromDialog(dialog, variable("MARIVEL_NTS_CLOSED_PEER"));
    expectNotice(dialog, "No NTS key exchange answered at \"" + variable("MARIVEL_NTS_CLOSED_PEER") +
                             "\": it refused the connection",
                 "No NTS key exchange at this server", IDC_PORT, "notice-nts-no-key-exchange.bmp");
    EXPECT_EQ(lastResponse(dialog), "Never") << "nothing was believed";
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    driver::waitUntilGone(dialog);
}

TEST_F(Nts, TheAnswerIsAuthenticatedAndNoOneOnThePathMovesTheClock) {
    ASSERT_TRUE(driver::trustCertificate(driver::windowsPathOf("MARIVEL_NTS_CA_DER")));
    const std::string relayName = variable("MARIVEL_NTS_RELAY_NAME");
    const long shift = e2e::peerShift();
    ASSERT_TRUE(start(relayName));
    ASSERT_TRUE(answersReach(1)) << "no authenticated exchange through the relay: " << relay.keyExchanges()
                                 << " key exchanges, " << relay.requests().size() << " requests";
    EXPECT_TRUE(e2e::showsTimeShiftedBy(window, shift)) << driver::itemText(window, IDC_CLOCK_TIME);
    HWND dialog = openSettings();
    ASSERT_NE(dialog, nullptr);
    const std::string authenticated = "\r\n Authenticated by NTS (" + relayName + ")";
    EXPECT_TRUE(e2e::endsWith(lastResponse(dialog), "Correction: " + std::to_string(shift) + " Seconds" +
                                                        authenticated))
        << lastResponse(dialog);
    // The box shows every line whole: the last one ends inside it.
    HWND box = GetDlgItem(dialog, IDC_LAST_RESPONSE);
    auto lines = static_cast<int>(SendMessageA(box, EM_GETLINECOUNT, 0, 0));
    EXPECT_GE(lines, 3);
    auto lastLineStart = static_cast<WPARAM>(SendMessageA(box, EM_LINEINDEX, static_cast<WPARAM>(lines - 1), 0));
    auto firstLine = SendMessageA(box, EM_POSFROMCHAR, 0, 0);
    auto lastLine = SendMessageA(box, EM_POSFROMCHAR, lastLineStart, 0);
    int lineHeight = lines > 1 ? (HIWORD(lastLine) - HIWORD(firstLine)) / (lines - 1) : 0;
    RECT inside{};
    GetClientRect(box, &inside);
    EXPECT_GT(lineHeight, 0);
    EXPECT_LE(HIWORD(lastLine) + lineHeight, inside.bottom) << "the last line of Last Response is cut";
    EXPECT_EQ(SendMessageA(box, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
    CreateDirectoryA(variable("MARIVEL_ARTIFACTS").c_str(), nullptr);
    driver::saveWindowImage(dialog, variable("MARIVEL_ARTIFACTS") + "/settings-nts.bmp");
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    driver::waitUntilGone(dialog);

    // Ten pings: ten requests, each with a cookie of its own, and no second
    // key exchange while the answers bring new cookies.
    for (std::size_t asked = 2; asked <= 11; ++asked) {
        ping();
        ASSERT_TRUE(answersReach(asked)) << "ping " << asked - 1 << " got no answer";
    }
    std::set<std::vector<unsigned char>> cookies;
    for (const auto& request : relay.requests()) {
        EXPECT_EQ(request[0], 0x23) << "an NTPv4 client request";
        std::vector<unsigned char> cookie = cookieOf(request);
        EXPECT_FALSE(cookie.empty());
        EXPECT_TRUE(cookies.insert(cookie).second) << "a cookie went out twice";
    }
    EXPECT_EQ(cookies.size(), 11u);
    EXPECT_EQ(relay.keyExchanges(), 1);

    // Someone on the path moves the answer's time by 1000 s, or changes any
    // one byte of it: nothing moves, and the dialog says no answer came.
    for (auto [what, offset] : {std::pair{e2e::Relay::Change::TransmitTimestamp, std::size_t{0}},
                                std::pair{e2e::Relay::Change::OneByte, std::size_t{60}},
                                std::pair{e2e::Relay::Change::OneByte, std::size_t{200}}}) {
        relay.change(what, 1000, offset);
        std::size_t before = relay.answers().size();
        ping();
        ASSERT_TRUE(answersReach(before + 1));
        Sleep(1500);
        EXPECT_TRUE(e2e::showsTimeShiftedBy(window, shift)) << "moved by a changed answer";
    }
    dialog = openSettings();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(e2e::endsWith(lastResponse(dialog), authenticated)) << lastResponse(dialog);
    EXPECT_TRUE(e2e::awaitBalloon(*clock, "Check the server's name and this computer's connection"))
        << "the changed answers were not told as no answer";

    // The same relay, the same change, in the plain NTP style: the display
    // moves, so the test can see a forgery get through.
    relay.change(e2e::Relay::Change::TransmitTimestamp, 1000);
    askFromDialog(dialog, std::string(variable("MARIVEL_NTS_RELAY_ADDRESS")) + ":" +
                              std::to_string(e2e::Relay::kNtpPort),
                  "ntp");
    EXPECT_TRUE(e2e::showsTimeShiftedBy(window, shift + 1000)) << driver::itemText(window, IDC_CLOCK_TIME);
    EXPECT_FALSE(e2e::endsWith(lastResponse(dialog), authenticated)) << "an NTP answer said authenticated";

    // chronyd starts again with new keys: the old cookies meet a NAK, which
    // ends them; the next request exchanges keys anew and is answered.
    relay.change(e2e::Relay::Change::None);
    const std::string restart = driver::windowsPathOf("MARIVEL_NTS_RESTART");
    CloseHandle(CreateFileA(restart.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    ASSERT_TRUE(driver::waitUntil([&] { return GetFileAttributesA(restart.c_str()); },
                                  [](DWORD attributes) { return attributes == INVALID_FILE_ATTRIBUTES; }, 30000) ==
                INVALID_FILE_ATTRIBUTES)
        << "chronyd did not start again";
    std::size_t before = relay.answers().size();
    askFromDialog(dialog, relayName);
    ASSERT_TRUE(answersReach(before + 1));
    // answers() reads the log anew each time: keep the copy, not a
    // reference into a temporary.
    const std::vector<unsigned char> nak = relay.answers().back();
    ASSERT_GE(nak.size(), 48u);
    EXPECT_EQ(nak[1], 0) << "not a NAK";
    EXPECT_EQ(std::string(nak.begin() + 12, nak.begin() + 16), "NTSN");
    EXPECT_EQ(relay.keyExchanges(), 1) << "the NAK itself needs no exchange";
    ping();
    ASSERT_TRUE(answersReach(before + 2));
    EXPECT_EQ(relay.keyExchanges(), 2) << "a new key exchange after the NAK";
    EXPECT_TRUE(e2e::showsTimeShiftedBy(window, shift)) << driver::itemText(window, IDC_CLOCK_TIME);
    std::string shown = driver::waitUntil([&] { return lastResponse(dialog); },
                                          [&](const std::string& text) { return e2e::endsWith(text, authenticated); });
    EXPECT_TRUE(e2e::endsWith(shown, authenticated)) << shown;
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    driver::waitUntilGone(dialog);
}
