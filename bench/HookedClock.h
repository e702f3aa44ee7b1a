// marivel.exe under Wine with its SetSystemTime replaced by the recorder in
// ClockHook.dll (MARIVEL_HOOK_DLL), for the benchmarks that drive the real
// program.
#pragma once
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "../tests/e2e/Driver.h"
#include "ui/resource.h"

namespace bench {

class HookedClock {
public:
    // Starts the program on the settings now in the registry and hooks it;
    // with `refuse`, the recorded settings fail as a standard user's do.
    bool start(bool refuse = false) {
        char folder[MAX_PATH] = {};
        GetTempPathA(sizeof folder, folder);
        record_ = std::string(folder) + "marivel-hook-" + std::to_string(GetCurrentProcessId()) + "-" +
                  std::to_string(GetTickCount()) + ".txt";
        driver::Environment environment{{"MARIVEL_HOOK_OUT", record_}};
        if (refuse) environment["MARIVEL_HOOK_REFUSE"] = "1";
        program.emplace(environment);
        window = program->waitForWindow("Marivel 95");
        return window != nullptr && driver::loadRecordingHook(program->id(), "MARIVEL_HOOK_DLL", record_);
    }
    ~HookedClock() {
        DeleteFileA(record_.c_str());
        DeleteFileA((record_ + ".hooked").c_str());
    }

    // Opens the settings, points the clock at `server` with "Set System
    // Clock" on and presses Ping Now; returns the dialog, left open.
    HWND openSettingsAndPing(const std::string& server, const std::string& portText) {
        PostMessageA(window, WM_SYSCOMMAND, IDM_SETTINGS, 0);
        HWND dialog = program->waitForWindow("Marivel 95 Settings");
        if (dialog == nullptr) return nullptr;
        SetWindowTextA(GetDlgItem(dialog, IDC_SERVER), server.c_str());
        driver::setItemText(dialog, IDC_PORT, portText);
        driver::setChecked(dialog, IDC_SET_SYSTEM_CLOCK, true);
        FILETIME now;
        GetSystemTimePreciseAsFileTime(&now);
        pingedAt = (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
        driver::click(dialog, IDC_PING_NOW);
        return dialog;
    }

    std::vector<driver::HookedCall> calls() const { return driver::readHookRecord(record_); }

    DWORD close() { return program->closeWindow(window); }

    std::optional<driver::Program> program;
    HWND window = nullptr;
    unsigned long long pingedAt = 0;  // when openSettingsAndPing pressed Ping Now, as HookedCall::at counts

private:
    std::string record_;
};

}  // namespace bench
