#include "net/Calendar.h"

#include "net/Wire.h"

namespace {

constexpr std::uint32_t kSecondsPerDay = 86400;
constexpr std::int64_t kUsPerSecond = 1000000;

// A binary fraction of a second to the nearest millisecond, 0 to 1000.
std::int64_t fractionToMilliseconds(std::uint64_t fraction) {
    const std::uint64_t half = std::uint64_t{1} << (wire::kNtpFractionBits - 1);
    return static_cast<std::int64_t>((fraction * 1000u + half) >> wire::kNtpFractionBits);
}

}  // namespace

platform::UtcTime utcFromSeconds(std::uint32_t secondsSince1970, int milliseconds) {
    // Days to a civil date in the proleptic Gregorian calendar, counting in
    // 400-year eras that start on 1 March.
    std::int64_t days = secondsSince1970 / kSecondsPerDay;
    std::int64_t secondOfDay = secondsSince1970 % kSecondsPerDay;
    std::int64_t z = days + 719468;  // days from 0000-03-01
    std::int64_t era = z / 146097;
    std::int64_t dayOfEra = z - era * 146097;
    std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    std::int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
    std::int64_t day = dayOfYear - (153 * monthFromMarch + 2) / 5 + 1;
    std::int64_t month = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;
    std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);

    platform::UtcTime utc{};
    utc.year = static_cast<int>(year);
    utc.month = static_cast<int>(month);
    utc.day = static_cast<int>(day);
    utc.hour = static_cast<int>(secondOfDay / 3600);
    utc.minute = static_cast<int>(secondOfDay / 60 % 60);
    utc.second = static_cast<int>(secondOfDay % 60);
    utc.milliseconds = milliseconds;
    return utc;
}

NtpTimestamp ntpTimestampOfUs(std::int64_t microsecondsSince1970) {
    std::int64_t seconds = microsecondsSince1970 / kUsPerSecond;
    std::int64_t rest = microsecondsSince1970 % kUsPerSecond;
    if (rest < 0) {
        rest += kUsPerSecond;
        --seconds;
    }
    auto wireSeconds = static_cast<std::uint32_t>(static_cast<std::uint64_t>(seconds) + wire::kSeconds1900To1970);
    std::uint64_t fraction = (static_cast<std::uint64_t>(rest) << wire::kNtpFractionBits) / kUsPerSecond;
    return (std::uint64_t{wireSeconds} << wire::kNtpFractionBits) | fraction;
}

std::uint32_t secondsOfNtpTimestamp(NtpTimestamp timestamp) {
    return static_cast<std::uint32_t>(timestamp >> wire::kNtpFractionBits) - wire::kSeconds1900To1970;
}

platform::UtcTime utcOfNtpTimestamp(NtpTimestamp timestamp) {
    std::uint32_t seconds = secondsOfNtpTimestamp(timestamp);
    std::int64_t ms = fractionToMilliseconds(timestamp & 0xFFFFFFFFu);
    if (ms == wire::kMillisecondsPerSecond) {
        ms = 0;
        ++seconds;
    }
    return utcFromSeconds(seconds, static_cast<int>(ms));
}

std::int64_t nearestMilliseconds(std::int64_t ntpUnits) {
    std::int64_t seconds = ntpUnits >> wire::kNtpFractionBits;  // toward minus infinity
    std::uint64_t fraction = static_cast<std::uint64_t>(ntpUnits) & 0xFFFFFFFFu;
    return seconds * wire::kMillisecondsPerSecond + fractionToMilliseconds(fraction);
}
