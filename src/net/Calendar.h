// Calendar arithmetic: second counts and NTP timestamps to the calendar
// fields the system clock is set with, and local times to NTP timestamps.
#pragma once
#include <cstdint>

#include "platform/Clock.h"

// An NTP timestamp: seconds since 1900 in the high 32 bits (modulo 2^32, so
// era 1 from 2036 on), a binary fraction in the low 32.
using NtpTimestamp = std::uint64_t;

// Calendar fields of an unsigned second count since 1970 (1970 to 2106).
platform::UtcTime utcFromSeconds(std::uint32_t secondsSince1970, int milliseconds);

NtpTimestamp ntpTimestampOfUs(std::int64_t microsecondsSince1970);
// The calendar fields of an NTP timestamp, to the nearest millisecond.
platform::UtcTime utcOfNtpTimestamp(NtpTimestamp timestamp);
// The seconds since 1970 of an NTP timestamp, modulo 2^32.
std::uint32_t secondsOfNtpTimestamp(NtpTimestamp timestamp);
// 2^-32 s units to the nearest millisecond; a half rounds up.
std::int64_t nearestMilliseconds(std::int64_t ntpUnits);
