// Everything the threads of the program share: the user's settings and the
// results of time queries. Numbers are atomic 32-bit values, read and
// written whole; texts are guarded.
#pragma once
#include <atomic>
#include <cstdint>

#include "settings/GuardedText.h"

class ProfileStore;

// The public time servers offered until the user keeps a list of their own.
// The first one is the default server; it answers the TIME protocol (RFC
// 868) on port 37, the default port.
extern const char* const kBuiltInServerList;
extern const char* const kDefaultTimeServer;

struct AppState {
    // Settings, stored in the section "Settings".
    GuardedText timeServer;
    GuardedText timeServerList;
    GuardedText port{"37"};
    std::atomic<std::int32_t> alwaysOnTop{0};
    std::atomic<std::int32_t> setSystemClock{0};
    std::atomic<std::uint32_t> pollPeriod{60};  // minutes
    std::atomic<std::int32_t> hourDisplay24{0};
    std::atomic<std::int32_t> iconic{0};  // 1 normal, 2 minimized at the last close

    // Run-time results, never stored. Times are seconds since 1970.
    std::atomic<std::uint32_t> nextPollTime{0};  // 0: poll at the next tick
    std::atomic<std::int32_t> lastResponseTime{0};  // 0: no reply yet
    std::atomic<std::int32_t> correction{0};  // server time minus local time, seconds
    std::atomic<std::uint32_t> sendStamp{0};
};

void loadSettings(AppState& state, ProfileStore& store);
void saveSettings(const AppState& state, ProfileStore& store);
