// The clock setting marivel.exe itself would make, under Wine: starts the
// program, replaces its SetSystemTime with a recorder (ClockHook.dll,
// MARIVEL_HOOK_DLL), points it at SERVER through its settings dialog with
// "Set System Clock" on, and presses Ping Now ROUNDS times. Prints one line
// per reply:
//   <setting error, ms> <correction shown, s>
// where the error is what it would set minus the true server time (this
// machine's clock plus SHIFT seconds) at the moment of the call.
//   wine_accuracy.exe SERVER PORT_TEXT ROUNDS SHIFT
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "../tests/e2e/Driver.h"
#include "ui/resource.h"

namespace {

struct Call {
    unsigned long long wanted, at;  // FILETIME units
};

std::vector<Call> readCalls(const std::string& path) {
    std::vector<Call> calls;
    std::ifstream in(path);
    Call call{};
    while (in >> call.wanted >> call.at) calls.push_back(call);
    return calls;
}

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
    double shiftMs = std::atof(argv[4]) * 1000.0;

    char folder[MAX_PATH] = {};
    GetTempPathA(sizeof folder, folder);
    std::string record = std::string(folder) + "marivel-hook-" + std::to_string(GetCurrentProcessId()) + ".txt";
    DeleteFileA(record.c_str());
    DeleteFileA((record + ".hooked").c_str());

    driver::deleteSettings();
    driver::writeTextSetting("TimeServer", "");
    driver::writeNumberSetting("PollPeriod", 1440);
    driver::Program clock({{"MARIVEL_HOOK_OUT", record}});
    HWND window = clock.waitForWindow("Marivel 95");
    if (window == nullptr || !clock.loadInside(driver::windowsPathOf("MARIVEL_HOOK_DLL")) ||
        GetFileAttributesA((record + ".hooked").c_str()) == INVALID_FILE_ATTRIBUTES) {
        std::fprintf(stderr, "wine_accuracy: the clock did not start or could not be hooked\n");
        return 1;
    }
    PostMessageA(window, WM_SYSCOMMAND, IDM_SETTINGS, 0);
    HWND dialog = clock.waitForWindow("Marivel 95 Settings");
    if (dialog == nullptr) return 1;
    SetWindowTextA(GetDlgItem(dialog, IDC_SERVER), server.c_str());
    driver::setItemText(dialog, IDC_PORT, portText);
    driver::setChecked(dialog, IDC_SET_SYSTEM_CLOCK, true);
    // The first Ping Now stores the new server, which the next tick asks
    // too: let both replies pass before measuring.
    driver::click(dialog, IDC_PING_NOW);
    Sleep(2500);

    std::mt19937 random(12345);
    std::uniform_int_distribution<int> pause(1100, 1700);  // never in step with the second
    int misses = 0;
    for (int round = 0; round < rounds; ++round) {
        Sleep(static_cast<DWORD>(pause(random)));
        std::size_t before = readCalls(record).size();
        std::string shownBefore = driver::itemText(dialog, IDC_LAST_RESPONSE);
        driver::click(dialog, IDC_PING_NOW);
        std::vector<Call> calls = driver::waitUntil([&] { return readCalls(record); },
                                                    [&](const std::vector<Call>& now) { return now.size() > before; },
                                                    3000);
        std::string shown = driver::waitUntil([&] { return driver::itemText(dialog, IDC_LAST_RESPONSE); },
                                              [&](const std::string& text) { return text != shownBefore; }, 2000);
        if (calls.size() <= before) {
            ++misses;
            continue;
        }
        const Call& call = calls[before];
        double errorMs = (static_cast<double>(call.wanted) - static_cast<double>(call.at)) / 1e4 - shiftMs;
        std::printf("%.3f %ld\n", errorMs, shownCorrection(shown));
    }
    driver::click(dialog, IDCANCEL);
    Sleep(500);
    PostMessageA(window, WM_CLOSE, 0, 0);
    DWORD status = 0;
    clock.waitForExit(status);
    std::fprintf(stderr, "wine_accuracy: %d of %d pings unanswered\n", misses, rounds);
    return 0;
}
