// The clock window of the real program under Wine: what it shows, when it
// polls, its system menu, minimizing, the About dialog, the z-order and the
// settings it stores. The real time servers come from the harness: an RFC
// 868 server (xinetd) and an NTP server (chronyd), both shifted by
// MARIVEL_PEER_SHIFT seconds.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <regex>
#include <string>

#include "ClockTest.h"
#include "Driver.h"
#include "TestServer.h"
#include "ui/resource.h"

using e2e::Listener;
using e2e::prepareSettings;

namespace {

bool matchesWithin(HWND window, int id, const std::regex& pattern, int timeoutMs = driver::kWaitMs) {
    std::string text = driver::waitUntil([&] { return id == 0 ? driver::windowText(window) : driver::itemText(window, id); },
                                         [&](const std::string& t) { return std::regex_match(t, pattern); },
                                         timeoutMs);
    return std::regex_match(text, pattern);
}

// Presses and releases a mouse button over the middle of a window.
void clickOn(HWND target, DWORD downFlag) {
    RECT box;
    GetWindowRect(target, &box);
    SetCursorPos((box.left + box.right) / 2, (box.top + box.bottom) / 2);
    INPUT clicks[2] = {};
    clicks[0].type = clicks[1].type = INPUT_MOUSE;
    clicks[0].mi.dwFlags = downFlag;
    clicks[1].mi.dwFlags = downFlag << 1;  // the matching button-up flag
    SendInput(2, clicks, sizeof(INPUT));
}

using ClockWindow = e2e::ClockTest;

// The clock asking a server of the test's own.
class ClockAndTestServer : public e2e::ClockTest {
protected:
    bool start(const char* port) {
        prepareSettings(server.server(), port);
        return startClock();
    }

    Listener server;
    unsigned char request[64] = {};
};

}  // namespace

TEST_F(ClockWindow, RunsInALocalZoneOffUtc) {
    // The harness sets a zone half an hour off UTC, so that the checks of
    // the shown time below would see UTC shown as local time.
    if (std::getenv("MARIVEL_LOCALTIME") == nullptr) GTEST_SKIP() << "no local zone set";
    std::time_t now = std::time(nullptr);
    std::tm local{}, utc{};
    localtime_s(&local, &now);
    gmtime_s(&utc, &now);
    EXPECT_EQ((local.tm_min - utc.tm_min + 60) % 60, 30);
}

TEST_F(ClockWindow, ShowsTheCorrectionFromRealServers) {
    struct Peer {
        const char* variable;
        const char* port;
        const char* name;
    };
    for (const Peer& peer : {Peer{"MARIVEL_TIME_PEER", "37", "RFC 868 (xinetd)"},
                             Peer{"MARIVEL_NTP_PEER", "ntp", "NTP (chronyd)"}}) {
        const char* address = std::getenv(peer.variable);
        ASSERT_NE(address, nullptr) << "run through tests/harness/with-peers";
        prepareSettings(address, peer.port);
        ASSERT_TRUE(startClock());
        EXPECT_TRUE(e2e::showsTimeShiftedBy(window, e2e::peerShift()))
            << peer.name << " shows " << driver::itemText(window, IDC_CLOCK_TIME) << " / "
            << driver::itemText(window, IDC_CLOCK_DATE);
        // The window as a user sees it, kept with the test results.
        if (const char* artifacts = std::getenv("MARIVEL_ARTIFACTS")) {
            CreateDirectoryA(artifacts, nullptr);
            EXPECT_TRUE(driver::saveWindowImage(window, std::string(artifacts) + "/clock-window.bmp"));
        }
        closeClock();
    }
}

TEST_F(ClockWindow, TimeFormsFollowTheSettingAndTheTzRule) {
    struct Case {
        std::optional<std::string> tz;
        std::uint32_t hour24;
        const char* pattern;
    };
    const Case cases[] = {
        {std::nullopt, 0, R"(\d\d:\d\d:\d\d [AP]M)"},
        {std::nullopt, 1, R"(\d\d:\d\d:\d\d )"},
        {std::string(""), 0, R"(\d\d:\d\d:\d\d PST)"},
        {std::string("EST5EDT"), 0, R"(\d\d:\d\d:\d\d EST)"},
        {std::string("GMT0"), 1, R"(\d\d:\d\d:\d\d GMT)"},
    };
    for (const Case& c : cases) {
        prepareSettings("");
        driver::writeNumberSetting("24HourDisplay", c.hour24);
        ASSERT_TRUE(startClock({{"TZ", c.tz}}));
        EXPECT_TRUE(matchesWithin(window, IDC_CLOCK_TIME, std::regex(c.pattern)))
            << "TZ " << (c.tz ? "\"" + *c.tz + "\"" : "unset") << ", 24-hour " << c.hour24 << ": shows \""
            << driver::itemText(window, IDC_CLOCK_TIME) << "\"";
        EXPECT_TRUE(matchesWithin(window, IDC_CLOCK_DATE, std::regex(R"([A-Z][a-z][a-z] \d\d, \d{4})")));
        closeClock();
    }
}

TEST_F(ClockAndTestServer, TheFirstTickPollsAtOnceAndPingAsksAgain) {
    ASSERT_TRUE(start("37"));
    EXPECT_EQ(server.receive(request, sizeof request, 5000), 0) << "an empty RFC 868 request at the first tick";
    EXPECT_EQ(server.receive(request, sizeof request, 2500), -1) << "no second poll before the period is over";
    PostMessageA(window, WM_SYSCOMMAND, IDM_PING, 0);
    EXPECT_EQ(server.receive(request, sizeof request, 5000), 0) << "Ping Time Server sends a request";
}

TEST_F(ClockAndTestServer, NtpStyleRequestsAreFortyEightBytes) {
    ASSERT_TRUE(start("NTP"));
    ASSERT_EQ(server.receive(request, sizeof request, 5000), 48);
    EXPECT_EQ(request[0], 0x0B);
    // Then zeros up to the transmit timestamp, which carries a nonce.
    for (int i = 1; i < 40; ++i) EXPECT_EQ(request[i], 0) << "byte " << i;
}

TEST_F(ClockAndTestServer, AServerTimeOutsideTheShowableRangeShowsNoGarbage) {
    ASSERT_TRUE(start("37"));
    ASSERT_EQ(server.receive(request, sizeof request, 5000), 0);
    // A server 73 years ahead: the correction, a signed 32-bit count of
    // seconds, wraps and would put the shown time before 1970.
    server.answerTime(2300000000);
    EXPECT_TRUE(matchesWithin(window, IDC_CLOCK_TIME, std::regex("--:--:--"))) << driver::itemText(window, IDC_CLOCK_TIME);
    EXPECT_EQ(driver::itemText(window, IDC_CLOCK_DATE), "Out of range");
    EXPECT_EQ(closeClock(), 0u) << "the program goes on and closes normally";
}

TEST_F(ClockWindow, MinimizedCaptionShowsTimeAndDateUntilRestored) {
    prepareSettings("");
    ASSERT_TRUE(startClock());
    Sleep(1500);  // a minimize posted during the first show would be undone by it
    PostMessageA(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(matchesWithin(window, 0, std::regex(R"(\d\d:\d\d:\d\d [AP]M  \d\d/\d\d/\d\d)")))
        << driver::windowText(window);
    EXPECT_TRUE(IsIconic(window));
    EXPECT_TRUE(clock->lookInside().answersDragIcon) << "the icon is the drag image";
    PostMessageA(window, WM_SYSCOMMAND, SC_RESTORE, 0);
    EXPECT_TRUE(matchesWithin(window, 0, std::regex("Marivel 95"))) << driver::windowText(window);
}

TEST_F(ClockWindow, ClosingRecordsWhetherTheWindowWasMinimized) {
    for (bool minimize : {true, false}) {
        prepareSettings("");
        ASSERT_TRUE(startClock());
        if (minimize) {
            Sleep(1500);
            PostMessageA(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
            driver::waitUntil([&] { return IsIconic(window) != FALSE; }, [](bool iconic) { return iconic; });
        }
        EXPECT_EQ(closeClock(), 0u);
        std::map<std::string, driver::RegistryValue> stored = driver::readAllSettings();
        EXPECT_EQ(stored.size(), 8u);
        EXPECT_EQ(stored["Iconic"].number(), minimize ? 2u : 1u);
    }
}

TEST_F(ClockWindow, SystemMenuLosesSizeAndMaximizeAndGainsThreeCommandsAndTheIconIsSet) {
    prepareSettings("");
    ASSERT_TRUE(startClock());
    driver::Program::Inside inside = clock->lookInside();
    EXPECT_TRUE(inside.hasBigIcon);
    const std::vector<driver::Program::MenuItem>& menu = inside.systemMenu;
    ASSERT_GE(menu.size(), 4u) << "the probe read no menu";
    for (const auto& item : menu) {
        EXPECT_NE(item.id, static_cast<unsigned>(SC_SIZE)) << item.text;
        EXPECT_NE(item.id, static_cast<unsigned>(SC_MAXIMIZE)) << item.text;
    }
    std::size_t n = menu.size();
    EXPECT_EQ(menu[n - 4].text, "-");
    EXPECT_EQ(menu[n - 3].id, static_cast<unsigned>(IDM_ABOUT));
    EXPECT_EQ(menu[n - 3].text, "&About Marivel...");
    EXPECT_EQ(menu[n - 2].id, static_cast<unsigned>(IDM_PING));
    EXPECT_EQ(menu[n - 2].text, "&Ping Time Server");
    EXPECT_EQ(menu[n - 1].id, static_cast<unsigned>(IDM_SETTINGS));
    EXPECT_EQ(menu[n - 1].text, "&Settings");
    EXPECT_EQ(menu[0].id, static_cast<unsigned>(SC_RESTORE));
    EXPECT_EQ(menu[1].id, static_cast<unsigned>(SC_MOVE));
    EXPECT_EQ(menu[2].id, static_cast<unsigned>(SC_MINIMIZE));
}

TEST_F(ClockWindow, AboutShowsTheVersionAndCloses) {
    prepareSettings("");
    ASSERT_TRUE(startClock());
    PostMessageA(window, WM_SYSCOMMAND, IDM_ABOUT, 0);
    HWND about = clock->waitForWindow("About Marivel 95");
    ASSERT_NE(about, nullptr);
    EXPECT_FALSE(IsWindowEnabled(window)) << "the clock window is disabled while About is open";
    bool versionShown = false;
    for (HWND child = GetWindow(about, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        versionShown = versionShown || driver::windowText(child) == "Marivel 95 Version 1.11";
    EXPECT_TRUE(versionShown);
    PostMessageA(about, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(driver::waitUntilGone(about));
    EXPECT_TRUE(IsWindowEnabled(window));
}

TEST_F(ClockWindow, EveryWayIntoTheSettingsAppliesAlwaysOnTopAfterwards) {
    enum class Way { LeftClickOnTheTime, RightClickOnTheDate, SettingsCommand };
    struct Case {
        Way way;
        std::uint32_t onTop;
        const char* name;
    };
    const Case cases[] = {
        {Way::LeftClickOnTheTime, 0, "left click on the time"},
        {Way::RightClickOnTheDate, 1, "right click on the date"},
        {Way::SettingsCommand, 0, "the Settings command"},
        {Way::SettingsCommand, 1, "the Settings command"},
    };
    for (const Case& c : cases) {
        prepareSettings("");
        driver::writeNumberSetting("AlwaysOnTop", c.onTop);
        ASSERT_TRUE(startClock());
        // Start in the other band, so that the change is seen.
        SetWindowPos(window, c.onTop ? HWND_NOTOPMOST : HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        // Real clicks: the statics pass them on to the window.
        if (c.way == Way::LeftClickOnTheTime) clickOn(GetDlgItem(window, IDC_CLOCK_TIME), MOUSEEVENTF_LEFTDOWN);
        if (c.way == Way::RightClickOnTheDate) clickOn(GetDlgItem(window, IDC_CLOCK_DATE), MOUSEEVENTF_RIGHTDOWN);
        if (c.way == Way::SettingsCommand) PostMessageA(window, WM_SYSCOMMAND, IDM_SETTINGS, 0);
        HWND settings = clock->waitForWindow(e2e::kSettingsCaption);
        ASSERT_NE(settings, nullptr) << c.name << " opens the settings";
        EXPECT_FALSE(IsWindowEnabled(window)) << "the clock is disabled while the settings are open";
        PostMessageA(settings, WM_COMMAND, IDCANCEL, 0);
        bool topmost = driver::waitUntil(
            [&] { return (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; },
            [&](bool isTopmost) { return isTopmost == (c.onTop != 0); });
        EXPECT_EQ(topmost, c.onTop != 0) << c.name << ", AlwaysOnTop " << c.onTop;
        closeClock();
    }
}

TEST_F(ClockWindow, EnterEscTheCloseCommandAndTheCloseBoxAllEndIt) {
    struct Way {
        const char* name;
        UINT message;
        WPARAM wParam;
    };
    const Way ways[] = {
        {"Enter", WM_KEYDOWN, VK_RETURN},
        {"Esc", WM_KEYDOWN, VK_ESCAPE},
        {"Close in the system menu", WM_SYSCOMMAND, SC_CLOSE},
        {"the close box", WM_CLOSE, 0},
    };
    for (const Way& way : ways) {
        prepareSettings("");
        ASSERT_TRUE(startClock());
        PostMessageA(window, way.message, way.wParam, 0);
        DWORD status = 0xDEAD;
        ASSERT_TRUE(clock->waitForExit(status)) << way.name << " did not end the clock";
        EXPECT_EQ(status, 0u) << way.name;
        EXPECT_EQ(driver::readAllSettings().size(), 8u) << way.name;
    }
}
