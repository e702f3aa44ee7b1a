// The clock setting marivel.exe itself would make, under Wine: starts the
// program, replaces its SetSystemTime with a recorder (ClockHook.dll,
// MARIVEL_HOOK_DLL), points it at SERVER through its settings dialog with
// "Set System Clock" on, and presses Ping Now ROUNDS times. Prints one line
// per reply:
//   <setting error, ms> <correction shown, s>
// where the error is what it would set minus the true server time (this
// machine's clock plus SHIFT seconds) at the moment of the call. Fails
// (status 1) when more pings go unanswered than one in 20, and when none is
// answered: figures over the replies that came would hide the ones lost.
// With the Port text "nts", the harness's test CA (MARIVEL_NTS_CA_DER) is
// trusted in this prefix first, and the time from the first Ping Now to
// the first setting, key exchange included, goes to stderr as
//   first answer after <ms> ms
//   wine_accuracy.exe SERVER PORT_TEXT ROUNDS SHIFT
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "HookedClock.h"

namespace {

// Pings allowed to go unanswered: one in 20 (loopback drops nothing; Wine
// under load may answer a click late).
int unansweredAllowed(int rounds) { return rounds / 20; }

long shownCorrection(const std::string& lastResponse) {
    std::size_t at = lastResponse.find("Correction: ");
    return at == std::string::npos ? -999999 : std::atol(lastResponse.c_str() + at + 12);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: wine_accuracy.exe SERVER PORT_TEXT ROUNDS SHIFT\n");
        return 2;
    }
    std::string server = argv[1], portText = argv[2];
    int rounds = std::atoi(argv[3]);
    double shift = std::atof(argv[4]);
    if (rounds <= 0) {
        std::fprintf(stderr, "wine_accuracy: ROUNDS must be a positive number, not %s\n", argv[3]);
        return 2;
    }

    if (portText == "nts" && !driver::trustCertificate(driver::windowsPathOf("MARIVEL_NTS_CA_DER"))) {
        std::fprintf(stderr, "wine_accuracy: the test CA could not be trusted\n");
        return 1;
    }
    driver::deleteSettings();
    driver::writeTextSetting("TimeServer", "");
    driver::writeNumberSetting("PollPeriod", 1440);
    bench::HookedClock clock;
    if (!clock.start()) {
        std::fprintf(stderr, "wine_accuracy: the clock did not start or could not be hooked\n");
        return 1;
    }
    // The first Ping Now stores the new server, which the next tick asks
    // too: let both replies pass before measuring.
    HWND dialog = clock.openSettingsAndPing(server, portText);
    if (dialog == nullptr) {
        std::fprintf(stderr, "wine_accuracy: the settings dialog did not open\n");
        return 1;
    }
    std::vector<driver::HookedCall> first = driver::waitUntil(
        [&] { return clock.calls(); }, [](const std::vector<driver::HookedCall>& calls) { return !calls.empty(); },
        15000);
    if (first.empty()) {
        std::fprintf(stderr, "wine_accuracy: the first ping was not answered\n");
        return 1;
    }
    std::fprintf(stderr, "first answer after %.1f ms\n", static_cast<double>(first[0].at - clock.pingedAt) / 1e4);
    Sleep(2500);

    std::mt19937 random(12345);
    std::uniform_int_distribution<int> pause(1100, 1700);  // never in step with the second
    int misses = 0;
    for (int round = 0; round < rounds; ++round) {
        Sleep(static_cast<DWORD>(pause(random)));
        std::size_t before = clock.calls().size();
        std::string shownBefore = driver::itemText(dialog, IDC_LAST_RESPONSE);
        driver::click(dialog, IDC_PING_NOW);
        std::vector<driver::HookedCall> calls = driver::waitUntil(
            [&] { return clock.calls(); }, [&](const std::vector<driver::HookedCall>& now) { return now.size() > before; },
            3000);
        std::string shown = driver::waitUntil([&] { return driver::itemText(dialog, IDC_LAST_RESPONSE); },
                                              [&](const std::string& text) { return text != shownBefore; }, 2000);
        if (calls.size() <= before) {
            ++misses;
            continue;
        }
        std::printf("%.3f %ld\n", calls[before].errorMs(shift), shownCorrection(shown));
    }
    driver::click(dialog, IDCANCEL);
    Sleep(500);
    clock.close();
    std::fprintf(stderr, "wine_accuracy: %d of %d pings unanswered\n", misses, rounds);
    if (misses == rounds) {
        std::fprintf(stderr, "wine_accuracy: no ping was answered: nothing was measured\n");
        return 1;
    }
    if (misses > unansweredAllowed(rounds)) {
        std::fprintf(stderr, "wine_accuracy: more pings unanswered than the %d allowed (one in 20)\n",
                     unansweredAllowed(rounds));
        return 1;
    }
    return 0;
}
