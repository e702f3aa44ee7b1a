// Everything the threads of the program share: the user's settings and the
// results of time queries. Numbers are atomic 32-bit values, read and
// written whole; texts are guarded.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "net/RequestRecord.h"
#include "platform/Clock.h"
#include "settings/GuardedText.h"

class CSettingsDlg;
class ProfileStore;

// The public time servers offered until the user keeps a list of their own.
// The first one is the default server; it answers the TIME protocol (RFC
// 868) on port 37, the default port.
extern const char* const kBuiltInServerList;
extern const char* const kDefaultTimeServer;
constexpr const char* kDefaultPort = "37";
// Minutes between automatic requests: the default, and the range the
// settings dialog's arrows offer (the time service keeps to it too).
constexpr std::uint32_t kDefaultPollPeriod = 60;
constexpr std::uint32_t kPollPeriodMinMinutes = 1;
constexpr std::uint32_t kPollPeriodMaxMinutes = 1440;

struct AppState {
    // Settings, stored in the section "Settings".
    GuardedText timeServer;
    GuardedText timeServerList;
    GuardedText port{kDefaultPort};
    std::atomic<std::int32_t> alwaysOnTop{0};
    std::atomic<std::int32_t> setSystemClock{0};
    std::atomic<std::uint32_t> pollPeriod{kDefaultPollPeriod};  // minutes
    std::atomic<std::int32_t> hourDisplay24{0};
    std::atomic<std::int32_t> iconic{0};  // 1 normal, 2 minimized at the last close

    // Run-time results, never stored. Times are seconds since 1970.
    std::atomic<std::uint32_t> nextPollTime{0};  // 0: poll at the next tick
    // 0: no reply yet. Holds an unsigned second count: read it as
    // std::uint32_t before making a date of it, so it stays right to 2106.
    std::atomic<std::int32_t> lastResponseTime{0};
    std::atomic<std::int32_t> correction{0};  // server time minus local time, seconds
    // The name an authenticated last answer was verified for (NTS); empty
    // when it was not authenticated.
    GuardedText authenticatedBy;
    // What the display adds to the local clock: the correction, or 0 once
    // the reply's setting of the system clock has applied it.
    std::atomic<std::int32_t> shownCorrection{0};
    // When the program last began to set the system clock, in
    // platform::sinceBootMs(); 0 before the first time. A step of the clock
    // around then is the program's own.
    std::atomic<std::int64_t> lastClockSettingMs{0};
    // How the last reply's setting of the system clock went; NotTried when
    // setSystemClock was off.
    std::atomic<platform::ClockSetting> lastClockSetting{platform::ClockSetting::NotTried};
    GuardedRequest lastRequest;  // how the latest request asked, and how it went
    // The wait before the next automatic request that a server's RATE kiss
    // asked for, in seconds; 0: the poll period. A usable reply clears it.
    std::atomic<std::uint32_t> backoffSeconds{0};
    // The server text of a server that refused to serve us (a DENY or RSTR
    // kiss): no automatic request goes to it while it is timeServer. A
    // usable reply, or another server, clears it.
    GuardedText refusedServer;
    // The settings dialog while it is open, refreshed after every reply.
    // Only the user-interface thread reads or writes it: the receiving
    // thread asks the clock window for the refresh.
    CSettingsDlg* openSettingsDlg = nullptr;
};

// The poll after one at `now` (seconds since 1970), pollPeriod minutes on;
// unsigned arithmetic, as the times are.
constexpr std::uint32_t kSecondsPerMinute = 60;
constexpr std::uint32_t nextPollAfter(std::uint32_t now, std::uint32_t pollPeriodMinutes) {
    return now + pollPeriodMinutes * kSecondsPerMinute;
}

// The configured server has refused to serve us (DENY or RSTR).
bool serverRefusesUs(const AppState& state);

void loadSettings(AppState& state, ProfileStore& store);
void saveSettings(const AppState& state, ProfileStore& store);
