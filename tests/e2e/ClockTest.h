// The fixture every end-to-end test of the clock uses: settings written
// before a run, the program started and its window awaited, and the window
// closed as the close box closes it. A clock a test leaves running is closed
// the same way at its end.
#pragma once
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "Driver.h"
#include "ui/resource.h"

namespace e2e {

constexpr const char* kClockCaption = "Marivel 95";
constexpr const char* kSettingsCaption = "Marivel 95 Settings";

// Settings for a run that asks `server`, or nobody when it is empty.
inline void prepareSettings(const std::string& server, const std::string& port = "37") {
    driver::deleteSettings();
    driver::writeTextSetting("TimeServer", server);
    driver::writeTextSetting("Port", port);
}

// How far the harness's time servers run ahead of this machine, seconds
// (MARIVEL_PEER_SHIFT, from tests/harness/with-peers).
inline long peerShift() {
    const char* shift = std::getenv("MARIVEL_PEER_SHIFT");
    return shift != nullptr ? std::atol(shift) : 0;
}

inline bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

inline std::string localText(std::time_t when, const char* format) {
    std::tm fields{};
    localtime_s(&fields, &when);
    char text[64] = {};
    std::strftime(text, sizeof text, format, &fields);
    return text;
}

// True when the clock shows local time plus `shift` seconds (in its 12-hour
// form), give or take the second a tick may lag and the second a poll runs
// ahead; tried for up to 10 s.
inline bool showsTimeShiftedBy(HWND clock, long shift) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string shownTime = driver::itemText(clock, IDC_CLOCK_TIME);
        std::string shownDate = driver::itemText(clock, IDC_CLOCK_DATE);
        std::time_t now = std::time(nullptr);
        for (long lag = -2; lag <= 1; ++lag) {
            std::time_t expected = now + shift + lag;
            if (shownTime == localText(expected, "%I:%M:%S %p") && shownDate == localText(expected, "%b %d, %Y"))
                return true;
        }
        Sleep(100);
    }
    return false;
}

using Balloon = driver::Program::Inside::Balloon;

// The shown balloon notice of `program` whose text begins with
// `textStart`, if any.
inline std::optional<Balloon> shownBalloon(const driver::Program& program, const char* textStart) {
    for (const auto& balloon : program.lookInside().balloons)
        if (balloon.shown && balloon.text.rfind(textStart, 0) == 0) return balloon;
    return std::nullopt;
}

// Waits until that balloon is shown, or gone when `shown` is false; the
// balloon when shown.
inline std::optional<Balloon> awaitBalloon(const driver::Program& program, const char* textStart, bool shown = true,
                                           int timeoutMs = driver::kWaitMs) {
    return driver::waitUntil([&] { return shownBalloon(program, textStart); },
                             [&](const auto& balloon) { return balloon.has_value() == shown; }, timeoutMs);
}

// Whether the screen shows the balloon, not just the dialog beneath its
// window. Waits for the drawing to reach the screen; keeps what it saw, the
// dialog with the balloon, as `picture` in the artifacts.
inline ::testing::AssertionResult balloonIsOnScreen(HWND dialog, HWND balloon, const char* picture) {
    if (GetSysColor(COLOR_INFOBK) == GetSysColor(COLOR_BTNFACE))
        return ::testing::AssertionFailure() << "the balloon has the dialog's colour; its pixels tell nothing";
    driver::BalloonOnScreen seen =
        driver::waitUntil([&] { return driver::balloonOnScreen(balloon); },
                          [](const driver::BalloonOnScreen& shown) { return shown.drawn(); }, 3000);
    if (const char* artifacts = std::getenv("MARIVEL_ARTIFACTS")) {
        RECT both{}, box{};
        GetWindowRect(dialog, &both);
        GetWindowRect(balloon, &box);
        UnionRect(&both, &both, &box);
        CreateDirectoryA(artifacts, nullptr);
        driver::ScreenImage(both).save(std::string(artifacts) + "/" + picture);
    }
    if (seen.drawn()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "of " << seen.pixels << " pixels in the middle of the balloon, "
                                         << seen.background << " show its background and " << seen.text
                                         << " its text; outline " << (seen.outlined ? "seen" : "not seen")
                                         << " (see " << picture << ")";
}

class ClockTest : public ::testing::Test {
protected:
    // Starts the program on the settings now stored, without waiting: for
    // runs that meet a prompt before the window.
    void launchClock(const driver::Environment& environment = {}, const std::string& path = driver::programPath()) {
        closeClockIfRunning();
        window = nullptr;
        clock.emplace(environment, path);
    }
    // Waits for the clock window; false when it did not come.
    bool awaitWindow(int timeoutMs = driver::kWaitMs) {
        window = clock->waitForWindow(kClockCaption, timeoutMs);
        return window != nullptr;
    }
    // Starts the program and waits for its window. Use as
    // ASSERT_TRUE(startClock()).
    bool startClock(const driver::Environment& environment = {}, const std::string& path = driver::programPath()) {
        launchClock(environment, path);
        return awaitWindow();
    }
    // Closes the window as the close box does and waits for the program to
    // end; its exit status (0xDEAD when it did not end).
    DWORD closeClock() { return clock->closeWindow(window); }
    // Opens the settings dialog with the Settings command; null when it
    // did not open.
    HWND openSettings() {
        PostMessageA(window, WM_SYSCOMMAND, IDM_SETTINGS, 0);
        return clock->waitForWindow(kSettingsCaption);
    }

    void TearDown() override { closeClockIfRunning(); }

    std::optional<driver::Program> clock;
    HWND window = nullptr;

private:
    void closeClockIfRunning() {
        if (clock && window != nullptr && IsWindow(window)) closeClock();
        clock.reset();
    }
};

}  // namespace e2e
