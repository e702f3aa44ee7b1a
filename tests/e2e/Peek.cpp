// Shows the clock the way `make run` does without a display: starts
// marivel.exe, lets it run, prints what its window shows and the correction
// it found, opens its settings and prints the last response shown there,
// saves a picture of each, and closes it.
//   marivel_peek.exe SECONDS CLOCK.bmp SETTINGS.bmp
// Under tests/harness/with-peers it first points the clock at the NTP peer
// (the run's own prefix, so no stored settings of the user are touched).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>

#include "Driver.h"
#include "ui/resource.h"

namespace {

constexpr long kSecondsPerDay = 86400;

// The second of the day a shown time stands for, "hh:mm:ss AM" (12-hour)
// or "hh:mm:ss " (24-hour); -1 for anything else.
long secondOfDay(const std::string& shown) {
    std::smatch parts;
    if (!std::regex_match(shown, parts, std::regex(R"((\d\d):(\d\d):(\d\d) ?(AM|PM)?.*)"))) return -1;
    long hour = std::stol(parts[1]);
    if (parts[4].matched) hour = hour % 12 + (parts[4] == "PM" ? 12 : 0);
    return hour * 3600 + std::stol(parts[2]) * 60 + std::stol(parts[3]);
}

// The shown time minus this machine's local time, read just after a tick so
// that both are of the same second; false when no tick came.
bool measureCorrection(HWND clock, long& correction) {
    std::string before = driver::itemText(clock, IDC_CLOCK_TIME);
    std::string shown = driver::waitUntil([&] { return driver::itemText(clock, IDC_CLOCK_TIME); },
                                          [&](const std::string& text) { return text != before; }, 3000);
    SYSTEMTIME local;
    GetLocalTime(&local);
    long shownSecond = secondOfDay(shown);
    if (shown == before || shownSecond < 0) return false;
    long difference = shownSecond - (local.wHour * 3600L + local.wMinute * 60L + local.wSecond);
    // Across midnight the two are a day apart; the nearer reading counts.
    if (difference > kSecondsPerDay / 2) difference -= kSecondsPerDay;
    if (difference <= -kSecondsPerDay / 2) difference += kSecondsPerDay;
    correction = difference;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::printf("usage: marivel_peek.exe SECONDS CLOCK.bmp SETTINGS.bmp\n");
        return 2;
    }
    int seconds = std::atoi(argv[1]);
    if (const char* peer = std::getenv("MARIVEL_NTP_PEER")) {
        driver::writeTextSetting("TimeServer", peer);
        driver::writeTextSetting("Port", "ntp");
    }
    driver::Program clock;
    HWND window = clock.waitForWindow("Marivel 95");
    if (window == nullptr) {
        std::printf("The clock window did not appear.\n");
        return 1;
    }
    Sleep(static_cast<DWORD>(seconds) * 1000);
    long correction = 0;
    bool measured = measureCorrection(window, correction);
    std::printf("Caption:    %s\nTime:       %s\nDate:       %s\n", driver::windowText(window).c_str(),
                driver::itemText(window, IDC_CLOCK_TIME).c_str(), driver::itemText(window, IDC_CLOCK_DATE).c_str());
    if (measured)
        std::printf("Correction: %+ld s (the time shown minus this machine's clock)\n", correction);
    else
        std::printf("Correction: not seen (the shown time did not tick)\n");
    bool saved = driver::saveWindowImage(window, argv[2]);

    PostMessageA(window, WM_SYSCOMMAND, IDM_SETTINGS, 0);
    HWND settings = clock.waitForWindow("Marivel 95 Settings");
    if (settings == nullptr) {
        std::printf("Settings:   did not open\n");
        saved = false;
    } else {
        Sleep(500);  // drawn before the picture is taken
        // The field holds two lines: when the reply came, and the correction.
        std::string lastResponse = driver::itemText(settings, IDC_LAST_RESPONSE);
        std::printf("Settings, Last Response:\n");
        for (std::size_t start = 0; start <= lastResponse.size();) {
            std::size_t end = lastResponse.find("\r\n", start);
            if (end == std::string::npos) end = lastResponse.size();
            std::printf("           |%s\n", lastResponse.substr(start, end - start).c_str());
            start = end + 2;
        }
        saved = driver::saveWindowImage(settings, argv[3]) && saved;
        PostMessageA(settings, WM_COMMAND, IDCANCEL, 0);
        driver::waitUntil([&] { return IsWindow(settings) != FALSE; }, [](bool open) { return !open; });
    }
    DWORD status = clock.closeWindow(window);
    std::printf("Closed with status %lu%s\n", static_cast<unsigned long>(status), saved ? "" : " (a picture is missing)");
    return saved ? 0 : 1;
}
