#include "net/Reply.h"

#include <algorithm>
#include <cstdint>
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
    moment.wallUs = platform::wallClockUs();
    moment.now = static_cast<std::uint32_t>(moment.wallUs / 1000000);
    moment.counter = platform::counterNow();
    moment.frequency = platform::counterFrequency();
    moment.sinceBootMs = platform::sinceBootMs();
    return moment;
}

TimeReplyResult computeTimeReply(std::uint32_t wireSeconds, std::uint32_t now, std::uint32_t sendStamp) {
    TimeReplyResult result{};
    result.serverTime = wireSeconds + wire::kTimeReplyOffset;
    // Signed 32-bit, truncating toward zero: rounds up a round trip that is
    // not negative.
    std::int32_t half = static_cast<std::int32_t>(now - sendStamp + 1u) / 2;
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

std::int64_t sinceSendUs(std::uint64_t counter, std::uint64_t frequency, std::uint32_t sendStamp) {
    CInt64 elapsed = CInt64(counter) - CInt64(sendStamp, 0);
    if (frequency < 1000000u) return 0;
    return std::int64_t{static_cast<std::int32_t>(elapsed.low)} * 1000000 / static_cast<std::int64_t>(frequency);
}

namespace {

constexpr std::int64_t kUsPerSecond = 1000000;

// A binary fraction of a second to the nearest millisecond, 0 to 1000.
std::int64_t fractionToMilliseconds(std::uint64_t fraction) {
    const std::uint64_t half = std::uint64_t{1} << (wire::kNtpFractionBits - 1);
    return static_cast<std::int64_t>((fraction * 1000u + half) >> wire::kNtpFractionBits);
}

}  // namespace

std::uint64_t ntpTimestampOfUs(std::int64_t microsecondsSince1970) {
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

std::int64_t ntpOffset(std::uint64_t t1, std::uint64_t t2, std::uint64_t t3, std::uint64_t t4) {
    auto there = static_cast<std::int64_t>(t2 - t1);
    auto back = static_cast<std::int64_t>(t3 - t4);
    // Halved before adding, so that two differences near 68 years cannot
    // overflow; the odd units add up to at most one more.
    return (there >> 1) + (back >> 1) + (((there & 1) + (back & 1)) >> 1);
}

std::int64_t nearestMilliseconds(std::int64_t ntpUnits) {
    std::int64_t seconds = ntpUnits >> wire::kNtpFractionBits;  // toward minus infinity
    std::uint64_t fraction = static_cast<std::uint64_t>(ntpUnits) & 0xFFFFFFFFu;
    return seconds * wire::kMillisecondsPerSecond + fractionToMilliseconds(fraction);
}

platform::UtcTime utcOfNtpTimestamp(std::uint64_t timestamp) {
    auto seconds = static_cast<std::uint32_t>(timestamp >> wire::kNtpFractionBits) - wire::kSeconds1900To1970;
    std::int64_t ms = fractionToMilliseconds(timestamp & 0xFFFFFFFFu);
    if (ms == wire::kMillisecondsPerSecond) {
        ms = 0;
        ++seconds;
    }
    return utcFromSeconds(seconds, static_cast<int>(ms));
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

namespace {

KissCode kissCodeOf(const std::uint8_t* data) {
    const char* code = reinterpret_cast<const char*>(data + wire::kNtpReferenceIdOffset);
    if (std::memcmp(code, "RATE", 4) == 0) return KissCode::Rate;
    if (std::memcmp(code, "DENY", 4) == 0) return KissCode::Deny;
    if (std::memcmp(code, "RSTR", 4) == 0) return KissCode::Restricted;
    return KissCode::Other;
}

// An Ntp-style answer: a whole server packet that echoes our nonce. A kiss
// that does not echo it is a forgery, ignored like any other, so that no
// stranger can silence the clock.
ReplyVerdict judgeNtpPacket(const RequestRecord& request, const std::uint8_t* data, std::size_t length) {
    const ReplyVerdict ignored{};
    if (length < wire::kNtpPacketSize) return ignored;
    int leap = data[0] >> 6;
    int mode = data[0] & 0x07;
    int stratum = data[1];
    if (mode != wire::kNtpModeServer) return ignored;
    if (wire::readBigEndian64(data, wire::kNtpOriginOffset) != request.nonce) return ignored;
    if (stratum == wire::kStratumKissOfDeath) return ReplyVerdict{ReplyKind::Kiss, kissCodeOf(data)};
    if (leap == wire::kLeapNotSynchronized || stratum >= wire::kStratumUnsynchronized) return ignored;
    std::uint32_t rootDelay = 0;
    std::uint32_t rootDispersion = 0;
    wire::readBigEndian32(data, length, wire::kNtpRootDelayOffset, rootDelay);
    wire::readBigEndian32(data, length, wire::kNtpRootDispersionOffset, rootDispersion);
    if (std::uint64_t{rootDelay} / 2 + rootDispersion > kMaxRootDistance) return ignored;
    std::uint32_t seconds = 0;
    std::uint32_t fraction = 0;
    readTransmitTimestamp(data, length, seconds, fraction);
    if (seconds == 0 && fraction == 0) return ignored;
    return ReplyVerdict{ReplyKind::Ntp, KissCode::Other};
}

}  // namespace

ReplyVerdict judgeReply(const RequestRecord& request, const CInetAddr& from, const std::uint8_t* data,
                        std::size_t length, std::int64_t sinceBootMs) {
    const ReplyVerdict ignored{};
    if (!request.sent || request.answered) return ignored;
    if (from.port != request.port || std::memcmp(from.address, request.address, sizeof from.address) != 0) {
        return ignored;
    }
    if (sinceBootMs - request.startedMs > kReplyWindowMs) return ignored;
    if (request.style == RequestStyle::Time) {
        return length == wire::kTimeReplySize ? ReplyVerdict{ReplyKind::Time, KissCode::Other} : ignored;
    }
    // Four bytes cannot echo the nonce: an NTP request takes only NTP.
    return judgeNtpPacket(request, data, length);
}

std::uint32_t rateBackoffSeconds(std::uint32_t lastBackoffSeconds, std::uint32_t pollPeriodMinutes) {
    std::uint64_t period = std::uint64_t{pollPeriodMinutes} * kSecondsPerMinute;
    std::uint64_t last = lastBackoffSeconds != 0 ? lastBackoffSeconds : period;
    std::uint64_t wait = std::min<std::uint64_t>(std::max<std::uint64_t>(2 * last, kMinRateBackoffSeconds),
                                                 kMaxRateBackoffSeconds);
    // Slowing down never means asking sooner than the user's own period,
    // however long a stored one is.
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(std::max(wait, period), UINT32_MAX));
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

void recordUsableAnswer(AppState& state, std::uint32_t serverSeconds, std::uint32_t now) {
    state.lastResponseTime = static_cast<std::int32_t>(serverSeconds);
    // The server serves us at the user's own pace again.
    state.backoffSeconds = 0;
    state.refusedServer.set("");
    state.nextPollTime = nextPollAfter(now, state.pollPeriod);
}

void handleTimeReply(AppState& state, const RequestRecord& request, const std::uint8_t* data, std::size_t length,
                     const ReplyMoment& moment) {
    std::uint32_t wireSeconds = 0;
    if (!wire::readBigEndian32(data, length, 0, wireSeconds)) return;
    TimeReplyResult result = computeTimeReply(wireSeconds, moment.now, request.sendStamp);
    applyCorrection(state, result.correction, utcFromSeconds(result.adjusted, wire::kTimeReplyMilliseconds));
    recordUsableAnswer(state, result.serverTime, moment.now);
}

void handleNtpReply(AppState& state, const RequestRecord& request, const std::uint8_t* data, std::size_t length,
                    const ReplyMoment& moment) {
    std::uint32_t seconds = 0;
    std::uint32_t fraction = 0;
    if (!readTransmitTimestamp(data, length, seconds, fraction)) return;
    std::int32_t halfMs = halfRoundTripMs(moment.counter, moment.frequency, request.sendStamp);
    NtpReplyResult result = computeNtpReply(seconds, fraction, moment.now, halfMs);
    applyCorrection(state, result.correction, utcFromSeconds(result.seconds, result.milliseconds));
    recordUsableAnswer(state, result.seconds, moment.now);
}

void handleKiss(AppState& state, const RequestRecord& request, KissCode code, const ReplyMoment& moment) {
    switch (code) {
        case KissCode::Rate: {
            std::uint32_t wait = rateBackoffSeconds(state.backoffSeconds, state.pollPeriod);
            state.backoffSeconds = wait;
            state.nextPollTime = moment.now + wait;
            break;
        }
        case KissCode::Deny:
        case KissCode::Restricted:
            state.refusedServer.set(request.server);
            break;
        case KissCode::Other:
            // A kiss we do not know: its timestamps are not the time, and
            // the next poll comes as planned.
            break;
    }
}

void handleReply(AppState& state, const RequestRecord& request, const ReplyVerdict& verdict,
                 const std::uint8_t* data, std::size_t length, const ReplyMoment& moment) {
    switch (verdict.kind) {
        case ReplyKind::Time:
            handleTimeReply(state, request, data, length, moment);
            break;
        case ReplyKind::Ntp:
            handleNtpReply(state, request, data, length, moment);
            break;
        case ReplyKind::Kiss:
            handleKiss(state, request, verdict.kiss, moment);
            break;
        case ReplyKind::Ignored:
            break;
    }
}
