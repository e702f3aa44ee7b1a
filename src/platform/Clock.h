// The high-resolution counter, the wall clock, a counter that runs through
// sleep, and the system clock.
#pragma once
#include <cstdint>
#include <ctime>

namespace platform {

std::uint64_t counterNow();        // QueryPerformanceCounter, or a monotonic microsecond count
std::uint64_t counterFrequency();  // ticks per second

// The wall clock in milliseconds since 1970, from the same source as the
// run-time's time(), so that its seconds turn together with time()'s.
std::int64_t wallClockMs();
// The same clock in microseconds, read as precisely as the system can:
// on Windows 8 and later GetSystemTimePreciseAsFileTime, before that the
// call above, which advances only at the timer's tick (15.6 ms by default).
std::int64_t preciseWallClockUs();
// Milliseconds from a fixed point that keep counting while the machine
// sleeps or hibernates (GetTickCount64, CLOCK_BOOTTIME); never stepped.
std::int64_t sinceBootMs();
// Reads the time-zone information again (tzset), after the system's zone
// may have changed.
void reloadTimeZone();

// Seconds since 1970 broken into local calendar fields, by the C run-time
// (which honours TZ); false when the run-time cannot.
bool localCalendar(std::int64_t seconds, std::tm& fields);

// A UTC instant broken into the fields SetSystemTime takes.
struct UtcTime {
    int year, month, day, hour, minute, second, milliseconds;
};

// How an attempt to set the system clock went. NotAllowed: the process
// lacks the right to change the system time (ERROR_PRIVILEGE_NOT_HELD).
enum class ClockSetting : std::uint8_t { NotTried, Done, NotAllowed, Failed };

// Sets the system clock (UTC). Natively this never touches the clock; on
// Windows it is SetSystemTime. Tests replace it with a recorder.
ClockSetting setSystemClock(const UtcTime& utc);
using SystemClockSetterFn = ClockSetting (*)(const UtcTime& utc);
SystemClockSetterFn replaceSystemClockSetter(SystemClockSetterFn fn);

}  // namespace platform
