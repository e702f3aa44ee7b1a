#include "net/Reply.h"

#include <cstring>

#include "net/Wire.h"

namespace {

constexpr std::uint32_t kSecondsPerDay = 86400;

bool readTransmitTimestamp(const std::uint8_t* data, std::size_t length, std::uint32_t& seconds,
                           std::uint32_t& fraction) {
    return wire::readBigEndian32(data, length, wire::kNtpTransmitOffset, seconds) &&
           wire::readBigEndian32(data, length, wire::kNtpTransmitOffset + 4, fraction);
}


}  // namespace

// The clock window's tick reads the same clock, so that both see each
// second turn at the same instant.
std::uint32_t currentSeconds() { return static_cast<std::uint32_t>(platform::wallClockMs() / 1000); }

ReplyMoment currentMoment() {
    ReplyMoment moment{};
    moment.now = currentSeconds();
    moment.counter = platform::counterNow();
    moment.frequency = platform::counterFrequency();
    return moment;
}

TimeReplyResult computeTimeReply(std::uint32_t wireSeconds, std::uint32_t now, std::uint32_t sendStamp,
                                 bool withRoundTrip) {
    TimeReplyResult result{};
    result.serverTime = wireSeconds + wire::kTimeReplyOffset;
    std::int32_t half = 0;
    if (withRoundTrip) {
        // Signed 32-bit, truncating toward zero: rounds up a round trip that
        // is not negative.
        half = static_cast<std::int32_t>(now - sendStamp + 1u) / 2;
    }
    result.adjusted = result.serverTime + static_cast<std::uint32_t>(half);
    result.correction = static_cast<std::int32_t>(result.adjusted - now);
    return result;
}

std::int32_t halfRoundTripMs(std::uint64_t counter, std::uint64_t frequency, std::uint32_t sendStamp) {
    CInt64 elapsed = CInt64(counter) - CInt64(sendStamp, 0);
    // Only the low half is meaningful: the stamp kept no more. Read signed, a
    // stamp taken after this reply's request gives a small negative trip.
    std::int32_t halfTicks = static_cast<std::int32_t>(elapsed.low) / 2;
    std::uint32_t ticksPerMs = static_cast<std::uint32_t>(frequency) / 1000u;
    if (ticksPerMs == 0) return 0;
    return static_cast<std::int32_t>(std::int64_t{halfTicks} / std::int64_t{ticksPerMs});
}

NtpReplyResult computeNtpReply(std::uint32_t transmitSeconds, std::uint32_t transmitFraction, std::uint32_t now,
                               std::int32_t halfMs) {
    std::uint32_t seconds = transmitSeconds - wire::kSeconds1900To1970;  // modulo 2^32: NTP era 1 after 2036
    std::int64_t ms = static_cast<std::int64_t>((std::uint64_t{transmitFraction} * 1000u) >> 32) + halfMs;
    // Carry or borrow whole seconds so that ms lies in 0 to 999.
    std::int64_t carry = ms / wire::kMillisecondsPerSecond;
    ms -= carry * wire::kMillisecondsPerSecond;
    if (ms < 0) {
        ms += wire::kMillisecondsPerSecond;
        --carry;
    }
    seconds += static_cast<std::uint32_t>(carry);

    NtpReplyResult result{};
    result.seconds = seconds;
    result.milliseconds = static_cast<int>(ms);
    result.correction = static_cast<std::int32_t>(seconds - now);
    return result;
}

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

bool isUsableNtpReply(const std::uint8_t* data, std::size_t length) {
    std::uint32_t seconds = 0;
    std::uint32_t fraction = 0;
    if (length < wire::kNtpPacketSize || !readTransmitTimestamp(data, length, seconds, fraction)) return false;
    int leap = data[0] >> 6;
    int mode = data[0] & 0x07;
    int stratum = data[1];
    if (mode != wire::kNtpModeServer || leap == wire::kLeapNotSynchronized || stratum == wire::kStratumKissOfDeath) {
        return false;
    }
    return seconds != 0 || fraction != 0;
}

void applyCorrection(AppState& state, std::int32_t correction, const platform::UtcTime& serverTime) {
    state.correction = correction;
    state.shownCorrection = correction;
    platform::ClockSetting setting = platform::ClockSetting::NotTried;
    if (state.setSystemClock != 0) {
        state.lastClockSettingMs = platform::sinceBootMs();
        setting = platform::setSystemClock(serverTime);
        // The clock now holds the server's time: adding the correction to
        // it again would show the time off by the correction.
        if (setting == platform::ClockSetting::Done) state.shownCorrection = 0;
    }
    state.lastClockSetting = setting;
}

bool acceptsReply(const RequestRecord& lastRequest, const CInetAddr& from, const std::uint8_t* data,
                  std::size_t length) {
    if (!lastRequest.sent || from.port != lastRequest.port ||
        std::memcmp(from.address, lastRequest.address, sizeof from.address) != 0) {
        return false;
    }
    return length == wire::kTimeReplySize || isUsableNtpReply(data, length);
}

void handleTimeReply(AppState& state, const RequestRecord& lastRequest, const std::uint8_t* data,
                     std::size_t length, const ReplyMoment& moment) {
    std::uint32_t wireSeconds = 0;
    if (!wire::readBigEndian32(data, length, 0, wireSeconds)) return;
    // A counter stamp says nothing about whole seconds of the wall clock.
    bool withRoundTrip = lastRequest.style == RequestStyle::Time;
    TimeReplyResult result = computeTimeReply(wireSeconds, moment.now, lastRequest.sendStamp, withRoundTrip);
    state.lastResponseTime = static_cast<std::int32_t>(result.serverTime);
    applyCorrection(state, result.correction, utcFromSeconds(result.adjusted, wire::kTimeReplyMilliseconds));
    state.nextPollTime = nextPollAfter(moment.now, state.pollPeriod);
}

void handleNtpReply(AppState& state, const RequestRecord& lastRequest, const std::uint8_t* data,
                    std::size_t length, const ReplyMoment& moment) {
    std::uint32_t seconds = 0;
    std::uint32_t fraction = 0;
    if (!readTransmitTimestamp(data, length, seconds, fraction)) return;
    // A wall-clock stamp says nothing about counter ticks.
    std::int32_t halfMs = lastRequest.style == RequestStyle::Ntp
                              ? halfRoundTripMs(moment.counter, moment.frequency, lastRequest.sendStamp)
                              : 0;
    NtpReplyResult result = computeNtpReply(seconds, fraction, moment.now, halfMs);
    state.lastResponseTime = static_cast<std::int32_t>(result.seconds);
    applyCorrection(state, result.correction, utcFromSeconds(result.seconds, result.milliseconds));
    state.nextPollTime = nextPollAfter(moment.now, state.pollPeriod);
}

void handleReply(AppState& state, const RequestRecord& lastRequest, const std::uint8_t* data, std::size_t length,
                 const ReplyMoment& moment) {
    if (length == wire::kTimeReplySize) {
        handleTimeReply(state, lastRequest, data, length, moment);
    } else {
        handleNtpReply(state, lastRequest, data, length, moment);
    }
}
