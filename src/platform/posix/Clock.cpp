#include <time.h>

#include <chrono>

#include "platform/Native.h"

namespace platform {

namespace {

std::int64_t microsecondsOf(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return std::int64_t{now.tv_sec} * 1000000 + now.tv_nsec / 1000;
}

}  // namespace

// The portable build is for tests and tools: it never sets the clock.
ClockSetting nativeSetSystemClock(const UtcTime&) { return ClockSetting::Failed; }

std::uint64_t counterNow() {
    auto sinceStart = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(sinceStart).count());
}

std::uint64_t counterFrequency() { return 1000000; }

std::int64_t preciseWallClockUs() { return microsecondsOf(CLOCK_REALTIME); }

std::int64_t wallClockMs() { return preciseWallClockUs() / 1000; }

std::int64_t sinceBootMs() { return microsecondsOf(CLOCK_BOOTTIME) / 1000; }

void reloadTimeZone() { tzset(); }

bool localCalendar(std::int64_t seconds, std::tm& fields) {
    std::time_t when = static_cast<std::time_t>(seconds);
    return localtime_r(&when, &fields) != nullptr;
}

}  // namespace platform
