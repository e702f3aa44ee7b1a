// Everything the threads of the program share: the user's settings and the
// results of time queries. Numbers are atomic 32-bit values, read and
// written whole; texts are guarded.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>

#include "platform/Clock.h"
#include "settings/GuardedText.h"

class CSettingsDlg;
class ProfileStore;

// How a request asked for the time: an empty datagram (RFC 868) or an NTP
// client packet. A reply is read against the style of the last request.
enum class RequestStyle : std::uint8_t { Time, Ntp };

// The most recent request. sendStamp is the wall-clock second of sending in
// Time style, the low 32 bits of the high-resolution counter in Ntp style.
// Replies are accepted only from its destination.
struct RequestRecord {
    bool sent = false;  // false until the first request was stamped
    RequestStyle style = RequestStyle::Time;
    std::uint32_t sendStamp = 0;
    std::uint8_t address[4] = {0, 0, 0, 0};
    std::uint16_t port = 0;  // host order
};

// Request threads write the record and the receiving thread reads it; each
// reader gets one whole record.
class GuardedRequest {
public:
    RequestRecord get() const {
        std::lock_guard<std::mutex> hold(mutex_);
        return record_;
    }
    void set(const RequestRecord& record) {
        std::lock_guard<std::mutex> hold(mutex_);
        record_ = record;
    }

private:
    mutable std::mutex mutex_;
    RequestRecord record_;
};

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
    // 0: no reply yet. Holds an unsigned second count: read it as
    // std::uint32_t before making a date of it, so it stays right to 2106.
    std::atomic<std::int32_t> lastResponseTime{0};
    std::atomic<std::int32_t> correction{0};  // server time minus local time, seconds
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
    GuardedRequest lastRequest;  // holds sendStamp beside the style and destination
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

void loadSettings(AppState& state, ProfileStore& store);
void saveSettings(const AppState& state, ProfileStore& store);
