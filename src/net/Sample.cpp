#include "net/Sample.h"

#include "platform/Clock.h"

namespace {

constexpr std::uint64_t kHalfSecond = std::uint64_t{1} << (wire::kNtpFractionBits - 1);

std::uint32_t lowHalf(std::uint64_t value) { return static_cast<std::uint32_t>(value); }

}  // namespace

// The clock window's tick reads the same clock, so that both see each
// second turn at the same instant.
std::uint32_t currentSeconds() { return static_cast<std::uint32_t>(platform::wallClockMs() / 1000); }

ReplyMoment currentMoment() {
    ReplyMoment moment{};
    moment.wallUs = platform::preciseWallClockUs();
    moment.now = currentSeconds();
    moment.counter = platform::counterNow();
    moment.frequency = platform::counterFrequency();
    moment.sinceBootMs = platform::sinceBootMs();
    return moment;
}

TimeReplyResult computeTimeReply(std::uint32_t wireSeconds, std::uint32_t now, std::uint32_t sentSeconds) {
    TimeReplyResult result{};
    result.serverTime = wireSeconds + wire::kTimeReplyOffset;
    // Signed 32-bit, truncating toward zero: rounds up a round trip that is
    // not negative.
    std::int32_t half = static_cast<std::int32_t>(now - sentSeconds + 1u) / 2;
    result.adjusted = result.serverTime + static_cast<std::uint32_t>(half);
    result.correction = static_cast<std::int32_t>(result.adjusted - now);
    return result;
}

std::int32_t halfRoundTripMs(std::uint64_t counter, std::uint64_t frequency, std::uint32_t sentCounterLow) {
    CInt64 elapsed = CInt64(counter) - CInt64(sentCounterLow, 0);
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

std::int64_t sinceSendUs(std::uint64_t counter, std::uint64_t frequency, std::uint32_t sentCounterLow) {
    CInt64 elapsed = CInt64(counter) - CInt64(sentCounterLow, 0);
    if (frequency < 1000000u) return 0;
    return std::int64_t{static_cast<std::int32_t>(elapsed.low)} * 1000000 / static_cast<std::int64_t>(frequency);
}

std::int64_t ntpOffset(NtpTimestamp t1, NtpTimestamp t2, NtpTimestamp t3, NtpTimestamp t4) {
    auto there = static_cast<std::int64_t>(t2 - t1);
    auto back = static_cast<std::int64_t>(t3 - t4);
    // Halved before adding, so that two differences near 68 years cannot
    // overflow; the odd units add up to at most one more.
    return (there >> 1) + (back >> 1) + (((there & 1) + (back & 1)) >> 1);
}

ClockCorrection clockCorrectionFromSeconds(const Sample& sample) {
    TimeReplyResult result = computeTimeReply(sample.wireSeconds, sample.received.now, sample.sentSeconds);
    return ClockCorrection{result.serverTime, result.correction,
                           utcFromSeconds(result.adjusted, wire::kTimeReplyMilliseconds)};
}

ClockCorrection clockCorrectionFromTransmit(const Sample& sample) {
    const ReplyMoment& received = sample.received;
    std::int32_t halfMs = halfRoundTripMs(received.counter, received.frequency, lowHalf(sample.sentCounter));
    NtpReplyResult result = computeNtpReply(static_cast<std::uint32_t>(sample.ntp.transmit >> 32),
                                            lowHalf(sample.ntp.transmit), received.now, halfMs);
    return ClockCorrection{result.seconds, result.correction, utcFromSeconds(result.seconds, result.milliseconds)};
}

NtpTimestamp receiptTimestamp(const Sample& sample) { return ntpTimestampOfUs(sample.received.wallUs); }

ClockCorrection clockCorrectionFromOffset(const Sample& sample, std::int64_t offset) {
    NtpTimestamp serverTime = receiptTimestamp(sample) + static_cast<std::uint64_t>(offset);
    std::uint32_t seconds = secondsOfNtpTimestamp(serverTime);
    return ClockCorrection{seconds, static_cast<std::int32_t>(seconds - sample.received.now),
                           utcOfNtpTimestamp(serverTime)};
}

std::int64_t offsetFromSeconds(const Sample& sample) {
    TimeReplyResult result = computeTimeReply(sample.wireSeconds, sample.received.now, sample.sentSeconds);
    auto wireSeconds = static_cast<std::uint32_t>(result.adjusted + wire::kSeconds1900To1970);
    NtpTimestamp serverTime = (std::uint64_t{wireSeconds} << wire::kNtpFractionBits) | kHalfSecond;
    return static_cast<std::int64_t>(serverTime - receiptTimestamp(sample));
}

std::int64_t offsetFromTimestamps(const Sample& sample) {
    const ReplyMoment& received = sample.received;
    NtpTimestamp t4 = receiptTimestamp(sample);
    NtpTimestamp t1 = ntpTimestampOfUs(received.wallUs -
                                       sinceSendUs(received.counter, received.frequency, lowHalf(sample.sentCounter)));
    return ntpOffset(t1, sample.ntp.receive, sample.ntp.transmit, t4);
}
