// Everything the threads of the program share: the user's settings and the
// results of time queries. Numbers are atomic 32-bit values, read and
// written whole; texts are guarded.
#pragma once
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/Clock.h"
#include "settings/GuardedText.h"

class CSettingsDlg;
class ProfileStore;

// How a request asked for the time: an empty datagram (RFC 868) or an NTP
// client packet. A reply is read against the style of the last request.
enum class RequestStyle : std::uint8_t { Time, Ntp };

// The most recent request. sendStamp is the wall-clock second of sending in
// Time style, the low 32 bits of the high-resolution counter in Ntp style.
// A reply is used only if it answers this request: from its destination,
// within kReplyWindowMs of its start, echoing its nonce in Ntp style, and
// only once.
struct RequestRecord {
    std::uint32_t serial = 0;  // 0 before the first request; counts them
    bool sent = false;         // false until the datagram is about to leave
    bool answered = false;     // a reply to it was used; no other will be
    RequestStyle style = RequestStyle::Time;
    std::string server;        // the server text it asked
    std::int64_t startedMs = 0;  // platform::sinceBootMs() when it began
    std::uint32_t sendStamp = 0;
    // Ntp style: the 64 random bits sent as the transmit timestamp, which a
    // genuine reply echoes as its origin timestamp.
    std::uint64_t nonce = 0;
    std::uint8_t address[4] = {0, 0, 0, 0};
    std::uint16_t port = 0;  // host order
};

// A reply later than this after its request began is not taken: by then
// the request has been given up and may have been asked again.
constexpr std::int64_t kReplyWindowMs = 30000;

// Request threads write the record and the receiving thread reads it; each
// reader gets one whole record.
class GuardedRequest {
public:
    RequestRecord get() const {
        std::lock_guard<std::mutex> hold(mutex_);
        return record_;
    }
    // A new request begins: from now on no reply to an earlier one is
    // taken. Returns its serial.
    std::uint32_t begin(RequestRecord record) {
        std::lock_guard<std::mutex> hold(mutex_);
        record.serial = record_.serial + 1;
        record.sent = false;
        record.answered = false;
        record_ = std::move(record);
        return record_.serial;
    }
    // The request `serial` is about to leave with this destination, stamp
    // and nonce. False when a later request began meanwhile: its answer
    // would not be taken, so it is not sent.
    bool sending(std::uint32_t serial, const std::uint8_t (&address)[4], std::uint16_t port,
                 std::uint32_t sendStamp, std::uint64_t nonce) {
        std::lock_guard<std::mutex> hold(mutex_);
        if (record_.serial != serial) return false;
        std::copy(address, address + 4, record_.address);
        record_.port = port;
        record_.sendStamp = sendStamp;
        record_.nonce = nonce;
        record_.sent = true;
        return true;
    }
    // Takes the answer to request `serial`: true only the first time, and
    // only while it is still the latest request.
    bool claim(std::uint32_t serial) {
        std::lock_guard<std::mutex> hold(mutex_);
        if (record_.serial != serial || record_.answered) return false;
        record_.answered = true;
        return true;
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
