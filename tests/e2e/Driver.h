// A small automation driver for the real marivel.exe: starts it, finds its
// windows, reads what they show, presses what a user would press, and
// reads the registry the program writes.
#pragma once
#include <windows.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32/Owned.h"

namespace driver {

constexpr int kWaitMs = 15000;

// A path named by an environment variable, as Wine's programs see it: a
// Unix path becomes one on drive Z:. Empty when the variable is not set.
std::string windowsPathOf(const char* variable);

// Puts the DER certificate at `derPath` (a Windows path) into the root
// store of this Wine prefix (the current user's "ROOT"), which the program
// reads as the system's trust anchors; true once it is there. Never for a
// store outside the test's own prefix.
bool trustCertificate(const std::string& derPath);

// msiexec with these arguments, without any user interface; its exit code.
DWORD msiexec(const std::string& arguments);

// The program under test, from MARIVEL_EXE (a Unix or Windows path).
std::string programPath();

// Variables to set in the program's environment; nullopt removes one.
using Environment = std::map<std::string, std::optional<std::string>>;

// A started program; ended (by its handle) if still running at the end.
class Program {
public:
    explicit Program(const Environment& environment = {}, const std::string& path = programPath());
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // The first visible top-level dialog of the program with this caption,
    // or any caption when null; nullptr after the timeout.
    HWND waitForWindow(const char* caption, int timeoutMs = kWaitMs) const;
    // true once ended; `status` is its exit status.
    bool waitForExit(DWORD& status, int timeoutMs = kWaitMs);
    // Closes `window` as its close box does and waits for the program to
    // end; the exit status, or 0xDEAD when it did not end in time.
    DWORD closeWindow(HWND window);
    DWORD id() const { return id_; }
    HANDLE process() const { return process_.get(); }

    struct MenuItem {
        unsigned id;       // 0 for a separator
        std::string text;  // "-" for a separator
    };
    // What the clock window shows only from inside the program, read there
    // by the probe DLL (MARIVEL_PROBE_DLL).
    struct Inside {
        bool read = false;
        bool hasBigIcon = false;
        bool answersDragIcon = false;
        std::vector<MenuItem> systemMenu;
        int screenDpi = 0;
        // A static text, the size its text takes in its font (height from
        // the top of the tallest letter to the bottom of the lowest, ascent
        // to the baseline) and the control's client size, in pixels.
        struct Text {
            int id = 0;
            std::string text;
            int width = 0, height = 0, ascent = 0;
            int clientWidth = 0, clientHeight = 0;
        };
        std::vector<Text> texts;
        // A balloon notice of the program (CBalloonTip).
        struct Balloon {
            HWND window = nullptr;  // window handles hold across processes
            bool shown = false;
            int control = 0;  // the ID of the control it points at
            std::string title, text;
        };
        std::vector<Balloon> balloons;
        // The file of the common controls the program's windows use.
        std::string commonControlsFile;
        // Each DLL named in MARIVEL_PROBE_LOAD in the program's environment,
        // loaded there by its bare name.
        struct Load {
            std::string name;
            bool loadedAlready = false;
            std::string file;  // empty when it did not load
        };
        std::vector<Load> loads;
    };
    Inside lookInside() const;

private:
    OwnedHandle process_;
    DWORD id_ = 0;
    std::string probeOut_;
};

// A copy of what the screen shows in an area, as the user sees it.
class ScreenImage {
public:
    explicit ScreenImage(const RECT& area);
    int width() const { return width_; }
    int height() const { return height_; }
    // x and y from the area's top left corner.
    COLORREF pixel(int x, int y) const;
    // As a 24-bit BMP file.
    bool save(const std::string& path) const;

private:
    BITMAPINFOHEADER header() const;

    int width_, height_, rowSize_;
    std::vector<std::uint8_t> rows_;  // bottom-up, as a BMP file holds them
};

// Loads a DLL (a Windows path) into the running process `processId`: a
// started Program, or a service; true once the loading thread has ended.
// The DLL itself reports whether it loaded.
bool loadInside(DWORD processId, const std::string& dllPath);
// Loads the recording hook named by `dllVariable` (ClockHook, StartHook)
// into that process, where it writes to `record`; true once it has
// replaced its import, as its file "<record>.hooked" says.
bool loadRecordingHook(DWORD processId, const char* dllVariable, const std::string& record);

// Runs `use` on the service `name` opened with `access`, if it is
// registered.
template <typename Use>
void onService(const char* name, DWORD access, Use use) {
    ServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return;
    ServiceHandle service(OpenServiceA(manager.get(), name, access));
    if (service) use(service.get());
}
// The running service's process, 0 when there is none.
DWORD serviceProcess(const char* name);
// A system environment variable as the services see it (the harness's
// MARIVEL_WINE_SYSTEM_ENV); empty when unset.
std::string systemVariable(const char* name);

// A line of a recording hook's record (bench/ClockHook.cpp): for a clock
// call, the instant it would set and the true instant of the call, both
// FILETIME units (100 ns since 1601); for an ask of the time service, the
// control code and the true instant.
struct HookedCall {
    unsigned long long what, at;
    // A clock call's instant minus the true time of a server `shiftSeconds`
    // ahead of this machine.
    double errorMs(double shiftSeconds) const {
        return (static_cast<double>(what) - static_cast<double>(at)) / 1e4 - shiftSeconds * 1000.0;
    }
};
// Every line of the record; none when there is no file.
std::vector<HookedCall> readHookRecord(const std::string& path);

// A copy of the screen under a window, as a 24-bit BMP file.
bool saveWindowImage(HWND window, const std::string& path);

// What the screen shows of a balloon notice's window (of any process), in
// the colours of a tooltip's background and text, which the balloons are
// drawn in: in the middle half of the window, how many pixels and how many
// of each colour; and whether the outline shows at both ends of the middle
// row.
struct BalloonOnScreen {
    int pixels = 0, background = 0, text = 0;
    bool outlined = false;
    // Mostly its background with some of its text on it, within its
    // outline: the balloon is drawn there, not only its window, and not a
    // field of the same colours beneath it.
    bool drawn() const { return pixels > 0 && background * 2 >= pixels && text >= 20 && outlined; }
};
BalloonOnScreen balloonOnScreen(HWND balloon);

std::string windowText(HWND window);
std::string itemText(HWND dialog, int id);

// A dialog of the program, worked as a user would.
// Sets a control's text as typing would: its change notification follows.
void setItemText(HWND dialog, int id, const std::string& text);
// Types the characters one by one into a control.
void typeInto(HWND control, const std::string& text);
bool isChecked(HWND dialog, int id);
void setChecked(HWND dialog, int id, bool checked);
// Posts the click of a push button; returns at once.
void click(HWND dialog, int id);
std::vector<std::string> comboItems(HWND combo);
// The window that has the keyboard focus in the thread that owns `window`.
HWND focusOf(HWND window);
// The message of a message box.
std::string messageBoxText(HWND box);
// Polls until `read` returns a value accepted by `done`, or the timeout.
template <typename Read, typename Done>
auto waitUntil(Read read, Done done, int timeoutMs = kWaitMs) -> decltype(read()) {
    auto value = read();
    for (int waited = 0; !done(value) && waited < timeoutMs; waited += 50) {
        Sleep(50);
        value = read();
    }
    return value;
}

// True once `window` is gone (a dialog or message box closed), false when
// it is still there after the timeout.
inline bool waitUntilGone(HWND window, int timeoutMs = kWaitMs) {
    return !waitUntil([&] { return IsWindow(window) != FALSE; }, [](bool alive) { return !alive; }, timeoutMs);
}

// The program's settings key, HKCU\Software\Marivel\marivel\Settings.
extern const char* const kSettingsKey;
void deleteSettings();
struct RegistryValue {
    DWORD type = REG_NONE;
    std::vector<std::uint8_t> bytes;
    std::string text() const;  // up to the first zero
    std::uint32_t number() const;
};
bool readSetting(const char* name, RegistryValue& value);
std::map<std::string, RegistryValue> readAllSettings();
void writeTextSetting(const char* name, const std::string& text);
void writeNumberSetting(const char* name, std::uint32_t number);

}  // namespace driver
