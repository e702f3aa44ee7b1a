// The settings dialog of the real program under Wine: what it shows, the
// refresh after each reply, the poll-period clamp and validation, the
// server list, Delete, Ping Now, Set Clock, and what OK and Cancel store.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ClockTest.h"
#include "Driver.h"
#include "TestServer.h"
#include "ui/SettingsRules.h"
#include "ui/resource.h"

using e2e::Listener;

namespace {

// Validation messages are captioned with the application name, which is
// the program file's name.
constexpr const char* kApplicationName = "marivel";

std::string waitForText(HWND dialog, int id, const std::string& expected) {
    return driver::waitUntil([&] { return driver::itemText(dialog, id); },
                             [&](const std::string& text) { return text == expected; });
}

// The clock with settings of the test's choosing, and its settings dialog.
class SettingsDialog : public e2e::ClockTest {
protected:
    using Settings = std::map<std::string, std::string>;  // text values
    using Numbers = std::map<std::string, std::uint32_t>;

    void start(const Settings& texts, const Numbers& numbers = {}) {
        driver::deleteSettings();
        for (const auto& [name, text] : texts) driver::writeTextSetting(name.c_str(), text);
        for (const auto& [name, number] : numbers) driver::writeNumberSetting(name.c_str(), number);
        ASSERT_TRUE(startClock()) << "the clock window did not appear";
    }
    // Opens the dialog with the Settings command.
    void open() {
        dialog = openSettings();
        ASSERT_NE(dialog, nullptr) << "the settings did not open";
    }
    bool dialogClosed() { return driver::waitUntilGone(dialog); }
    void ok() {
        driver::click(dialog, IDOK);
        EXPECT_TRUE(dialogClosed()) << "OK did not close the dialog";
    }
    void cancel() {
        driver::click(dialog, IDCANCEL);
        EXPECT_TRUE(dialogClosed()) << "Cancel did not close the dialog";
    }
    // Presses a button on values that do not validate: returns the
    // message shown, once it is dismissed.
    std::string pressFailingValidation(int button = IDOK) {
        driver::click(dialog, button);
        HWND box = clock->waitForWindow(kApplicationName);
        if (box == nullptr) return "(no message box)";
        std::string message = driver::messageBoxText(box);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        driver::waitUntilGone(box);
        EXPECT_TRUE(IsWindow(dialog)) << "the dialog stays open";
        return message;
    }
    // Pings from the dialog at the start of a second and answers at once,
    // so the round trip adds nothing to the correction.
    void pingAndAnswer(long offsetSeconds) {
        SYSTEMTIME now;
        GetSystemTime(&now);
        Sleep(1050 - now.wMilliseconds);
        driver::click(dialog, IDC_PING_NOW);
        unsigned char request[64];
        ASSERT_EQ(server.receive(request, sizeof request, 5000), 0) << "Ping Now sent no RFC 868 request";
        server.answerTime(offsetSeconds);
    }
    std::string lastResponse() const { return driver::itemText(dialog, IDC_LAST_RESPONSE); }
    std::string waitForLastResponseEnding(const std::string& end) {
        return driver::waitUntil([&] { return lastResponse(); },
                                 [&](const std::string& text) { return e2e::endsWith(text, end); }, 3000);
    }
    // Ends the clock; its settings are then in the registry.
    std::map<std::string, driver::RegistryValue> closeAndReadSettings() {
        EXPECT_EQ(closeClock(), 0u);
        return driver::readAllSettings();
    }

    Listener server;
    HWND dialog = nullptr;
};

}  // namespace

TEST_F(SettingsDialog, ShowsNeverThenEachReplyWhileOpenAndTheClampAnswersEdits) {
    start({{"TimeServer", server.server()}, {"Port", "37"}});
    open();
    unsigned char request[64];
    ASSERT_EQ(server.receive(request, sizeof request, 5000), 0) << "the first tick asks the server";
    EXPECT_EQ(lastResponse(), "Never");

    // Opened as a user finds it: the focus in the server field, the Tab key
    // in the template's order, the up-down control on the poll period.
    HWND combo = GetDlgItem(dialog, IDC_SERVER);
    HWND focus = driver::focusOf(dialog);
    EXPECT_TRUE(focus == combo || GetParent(focus) == combo) << "the focus starts on the server";
    std::vector<int> tabOrder;
    HWND control = combo;
    do {
        tabOrder.push_back(GetDlgCtrlID(control));
        control = GetNextDlgTabItem(dialog, control, FALSE);
    } while (control != nullptr && control != combo && tabOrder.size() < 20);
    EXPECT_EQ(tabOrder, (std::vector<int>{IDC_SERVER, IDC_DELETE, IDC_SET_SYSTEM_CLOCK, IDC_ALWAYS_ON_TOP,
                                          IDC_HOUR_DISPLAY_24, IDC_POLL_PERIOD, IDC_PORT, IDC_SET_CLOCK, IDOK,
                                          IDCANCEL, IDC_LAST_RESPONSE, IDC_PING_NOW}));
    HWND spin = GetDlgItem(dialog, IDC_POLL_SPIN);
    EXPECT_EQ(reinterpret_cast<HWND>(SendMessageA(spin, UDM_GETBUDDY, 0, 0)), GetDlgItem(dialog, IDC_POLL_PERIOD));
    EXPECT_EQ(SendMessageA(spin, UDM_GETRANGE, 0, 0), MAKELONG(1440, 1)) << "range 1..1440";
    EXPECT_EQ(driver::itemText(dialog, IDC_POLL_PERIOD), "60");
    EXPECT_EQ(driver::itemText(dialog, IDC_PORT), "37");

    // Each reply shows while the dialog is open, with the right plural.
    const struct {
        long offset;
        const char* end;
    } replies[] = {{-1, "Correction: -1 Second"}, {0, "Correction: 0 Seconds"}, {2, "Correction: 2 Seconds"}};
    for (const auto& reply : replies) {
        pingAndAnswer(reply.offset);
        std::string shown = waitForLastResponseEnding(reply.end);
        EXPECT_TRUE(e2e::endsWith(shown, reply.end)) << "after a reply " << reply.offset << " s off: " << shown;
        EXPECT_EQ(shown.find("\r\n"), shown.size() - std::string(reply.end).size() - 3) << shown;
    }
    if (const char* artifacts = std::getenv("MARIVEL_ARTIFACTS")) {
        CreateDirectoryA(artifacts, nullptr);
        EXPECT_TRUE(driver::saveWindowImage(dialog, std::string(artifacts) + "/settings-dialog.bmp"));
    }

    // The clamp answers every edit of the poll period.
    const struct {
        const char* typed;
        const char* shown;
    } edits[] = {{"0", "1"}, {"", "1"}, {"2000", "1440"}, {"-5", "1440"}, {"12abc", "12abc"}};
    for (const auto& edit : edits) {
        driver::setItemText(dialog, IDC_POLL_PERIOD, edit.typed);
        EXPECT_EQ(waitForText(dialog, IDC_POLL_PERIOD, edit.shown), edit.shown) << "typed \"" << edit.typed << '"';
    }
    EXPECT_EQ(pressFailingValidation(IDC_PING_NOW), "Please enter a positive integer.");
    EXPECT_EQ(server.receive(request, sizeof request, 5000), 0) << "Ping Now asks all the same";
    EXPECT_EQ(pressFailingValidation(), "Please enter a positive integer.");
    HWND field = GetDlgItem(dialog, IDC_POLL_PERIOD);
    EXPECT_EQ(driver::focusOf(dialog), field) << "the focus goes back to the poll period";
    LRESULT selection = SendMessageA(field, EM_GETSEL, 0, 0);
    EXPECT_EQ(LOWORD(selection), 0u);
    EXPECT_EQ(HIWORD(selection), 5u) << "with its text selected";

    // The port field does not scroll: typing stops where it is full.
    HWND port = GetDlgItem(dialog, IDC_PORT);
    driver::setItemText(dialog, IDC_PORT, "");
    driver::typeInto(port, std::string(60, 'W'));
    std::size_t kept = driver::itemText(dialog, IDC_PORT).size();
    EXPECT_GT(kept, 0u);
    EXPECT_LT(kept, 60u) << "a field without horizontal scrolling keeps what fits";
    driver::setItemText(dialog, IDC_PORT, "37");

    // Set Clock starts the system's panel; the dialog stays and the clock ticks on.
    driver::click(dialog, IDC_SET_CLOCK);
    std::string before = driver::itemText(window, IDC_CLOCK_TIME);
    std::string after = driver::waitUntil([&] { return driver::itemText(window, IDC_CLOCK_TIME); },
                                          [&](const std::string& text) { return text != before; });
    EXPECT_NE(after, before) << "the clock stopped ticking after Set Clock";
    EXPECT_TRUE(IsWindow(dialog));
    driver::setItemText(dialog, IDC_POLL_PERIOD, "15");
    cancel();
    std::map<std::string, driver::RegistryValue> stored = closeAndReadSettings();
    EXPECT_EQ(stored["PollPeriod"].number(), 60u) << "Cancel stores nothing";
}

TEST_F(SettingsDialog, ANewServerResetsTheLastResponseAndIsAskedAtTheNextTick) {
    Listener other;
    start({{"TimeServer", server.server()}, {"Port", "37"}}, {{"AlwaysOnTop", 0}});
    open();
    unsigned char request[64];
    ASSERT_EQ(server.receive(request, sizeof request, 5000), 0);
    pingAndAnswer(0);
    EXPECT_TRUE(e2e::endsWith(waitForLastResponseEnding("0 Seconds"), "0 Seconds"));

    SetWindowTextA(GetDlgItem(dialog, IDC_SERVER), other.server().c_str());
    driver::setChecked(dialog, IDC_ALWAYS_ON_TOP, true);
    driver::setChecked(dialog, IDC_HOUR_DISPLAY_24, true);
    ok();
    EXPECT_EQ(other.receive(request, sizeof request, 5000), 0) << "the new server is asked at the next tick";
    bool topmost = driver::waitUntil([&] { return (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; },
                                     [](bool isTopmost) { return isTopmost; });
    EXPECT_TRUE(topmost) << "always on top, applied after OK";

    open();
    EXPECT_EQ(lastResponse(), "Never") << "a new server has not answered yet";
    EXPECT_TRUE(driver::isChecked(dialog, IDC_HOUR_DISPLAY_24));
    EXPECT_TRUE(driver::isChecked(dialog, IDC_ALWAYS_ON_TOP));
    driver::setChecked(dialog, IDC_ALWAYS_ON_TOP, false);
    ok();
    topmost = driver::waitUntil([&] { return (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; },
                                [](bool isTopmost) { return !isTopmost; });
    EXPECT_FALSE(topmost) << "no longer on top after OK";

    std::map<std::string, driver::RegistryValue> stored = closeAndReadSettings();
    EXPECT_EQ(stored["TimeServer"].text(), other.server());
    EXPECT_EQ(stored["24HourDisplay"].number(), 1u);
    EXPECT_EQ(stored["AlwaysOnTop"].number(), 0u);
    // The first OK appended the server it replaced, the second the new one.
    std::string list = stored["TimeServerList"].text();
    EXPECT_TRUE(e2e::endsWith(list, other.server() + "|")) << list;
    EXPECT_NE(list.find(server.server() + "|"), std::string::npos) << list;
}

TEST_F(SettingsDialog, StoredPollPeriodsShowAsStoredAndOnlyValidOnesPassOk) {
    // The stored list comes back rebuilt in reverse sorted order, also when
    // validation fails; an empty server is never appended.
    // After a failed OK, the dialog is left the ways a user may leave it.
    enum class Leave { ByOk, ByCloseBox, ByEsc };
    const struct {
        std::uint32_t stored;
        Leave leave;
    } cases[] = {{0, Leave::ByCloseBox}, {1441, Leave::ByOk}, {65535, Leave::ByOk}, {65536, Leave::ByEsc}};
    for (const auto& c : cases) {
        start({{"TimeServer", ""}, {"TimeServerList", "b.org|a.org||c.org"}}, {{"PollPeriod", c.stored}});
        open();
        EXPECT_EQ(driver::itemText(dialog, IDC_POLL_PERIOD), std::to_string(c.stored)) << "no clamp at opening";
        EXPECT_EQ(driver::comboItems(GetDlgItem(dialog, IDC_SERVER)), (std::vector<std::string>{"a.org", "b.org", "c.org"}));
        if (c.leave == Leave::ByOk) {
            ok();
        } else {
            EXPECT_EQ(pressFailingValidation(), "Please enter an integer between 1 and 65535.") << c.stored;
            if (c.leave == Leave::ByCloseBox) PostMessageA(dialog, WM_CLOSE, 0, 0);
            if (c.leave == Leave::ByEsc) PostMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
            EXPECT_TRUE(dialogClosed()) << "stored " << c.stored;
        }
        std::map<std::string, driver::RegistryValue> stored = closeAndReadSettings();
        EXPECT_EQ(stored["PollPeriod"].number(), c.stored);
        EXPECT_EQ(stored["TimeServerList"].text(), "c.org|b.org|a.org|") << "stored " << c.stored;
    }
}

TEST_F(SettingsDialog, DeleteAndALongListThatSurvivesOk) {
    std::string list;
    for (int i = 100; i < 400; ++i) list += "server" + std::to_string(i) + ".example|";
    ASSERT_GT(list.size(), 1023u);
    start({{"TimeServer", ""}, {"TimeServerList", list}});
    open();
    HWND combo = GetDlgItem(dialog, IDC_SERVER);
    ASSERT_EQ(driver::comboItems(combo).size(), 300u) << "every stored server is offered";

    driver::click(dialog, IDC_DELETE);
    Sleep(300);
    EXPECT_EQ(driver::comboItems(combo).size(), 300u) << "Delete without a selection deletes nothing";

    SendMessageA(combo, CB_SETCURSEL, 5, 0);
    driver::click(dialog, IDC_DELETE);
    std::vector<std::string> items = driver::waitUntil(
        [&] { return driver::comboItems(combo); }, [](const std::vector<std::string>& now) { return now.size() == 299u; });
    EXPECT_EQ(items.size(), 299u);
    EXPECT_EQ(std::find(items.begin(), items.end(), "server105.example"), items.end());
    EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), 0) << "the first item is selected";
    ok();

    std::map<std::string, driver::RegistryValue> stored = closeAndReadSettings();
    EXPECT_EQ(stored["TimeServer"].text(), "server100.example") << "the selected first item becomes the server";
    std::vector<std::string> kept = splitServerList(stored["TimeServerList"].text());
    EXPECT_EQ(kept.size(), 299u);
    EXPECT_EQ(kept.front(), "server399.example");
}

TEST_F(SettingsDialog, PingNowStoresTheValuesThatCancelThenKeepsAndARefreshIsClamped) {
    start({{"TimeServer", server.server()}, {"Port", "37"}}, {{"PollPeriod", 2000}});
    open();
    unsigned char request[64];
    ASSERT_EQ(server.receive(request, sizeof request, 5000), 0);
    EXPECT_EQ(driver::itemText(dialog, IDC_POLL_PERIOD), "2000");
    // A reply reloads the stored 2000 over what was typed, and the clamp
    // answers the reload as it answers an edit.
    driver::setItemText(dialog, IDC_POLL_PERIOD, "5");
    server.answerTime(0);
    EXPECT_EQ(waitForText(dialog, IDC_POLL_PERIOD, "1440"), "1440");

    driver::setItemText(dialog, IDC_PORT, "ntp");
    driver::setChecked(dialog, IDC_SET_SYSTEM_CLOCK, true);
    driver::setItemText(dialog, IDC_POLL_PERIOD, "30");
    driver::click(dialog, IDC_PING_NOW);
    EXPECT_EQ(server.receive(request, sizeof request, 5000), 48) << "Ping Now asks in the style just stored";
    cancel();

    std::map<std::string, driver::RegistryValue> stored = closeAndReadSettings();
    EXPECT_EQ(stored["Port"].text(), "ntp");
    EXPECT_EQ(stored["SetSystemClock"].number(), 1u);
    EXPECT_EQ(stored["PollPeriod"].number(), 30u);
}
