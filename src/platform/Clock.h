// The high-resolution counter and the system clock.
#pragma once
#include <cstdint>
#include <ctime>

namespace platform {

std::uint64_t counterNow();        // QueryPerformanceCounter, or a monotonic microsecond count
std::uint64_t counterFrequency();  // ticks per second

// Seconds since 1970 broken into local calendar fields, by the C run-time
// (which honours TZ); false when the run-time cannot.
bool localCalendar(std::int64_t seconds, std::tm& fields);

// A UTC instant broken into the fields SetSystemTime takes.
struct UtcTime {
    int year, month, day, hour, minute, second, milliseconds;
};

// Sets the system clock (UTC). Natively this never touches the clock; on
// Windows it is SetSystemTime. Tests replace it with a recorder.
bool setSystemClock(const UtcTime& utc);
using SystemClockSetterFn = bool (*)(const UtcTime& utc);
SystemClockSetterFn replaceSystemClockSetter(SystemClockSetterFn fn);

}  // namespace platform
