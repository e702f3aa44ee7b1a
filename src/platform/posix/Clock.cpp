#include "platform/Clock.h"

#include <chrono>

namespace platform {
namespace {

// The portable build is for tests and tools: it never sets the clock.
bool refuseToSetClock(const UtcTime&) { return false; }

SystemClockSetterFn currentClockSetter = refuseToSetClock;

}  // namespace

std::uint64_t counterNow() {
    auto sinceStart = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(sinceStart).count());
}

std::uint64_t counterFrequency() { return 1000000; }

bool localCalendar(std::int64_t seconds, std::tm& fields) {
    std::time_t when = static_cast<std::time_t>(seconds);
    return localtime_r(&when, &fields) != nullptr;
}

bool setSystemClock(const UtcTime& utc) { return currentClockSetter(utc); }

SystemClockSetterFn replaceSystemClockSetter(SystemClockSetterFn fn) {
    SystemClockSetterFn previous = currentClockSetter;
    currentClockSetter = fn != nullptr ? fn : refuseToSetClock;
    return previous;
}

}  // namespace platform
