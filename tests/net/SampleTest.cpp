// One decoded answer, reduced twice: the clock's correction and time to set
// (whole seconds, truncated milliseconds) and the service's offset (four
// timestamps), through the style that asked.
#include <gtest/gtest.h>

#include "net/RequestStyle.h"
#include "net/Sample.h"
#include "net/Wire.h"

namespace {

constexpr std::uint32_t k2000 = 946684800;  // 2000-01-01 00:00:00 UTC
constexpr std::uint64_t kFrequency = 10000000;
constexpr double kUnitsPerSecond = 4294967296.0;

// An NTP timestamp `ms` after a whole second since 1970, its fraction
// rounded up so that reading it back in truncated milliseconds gives `ms`.
std::uint64_t ntpAt(std::int64_t seconds, std::int64_t ms) {
    std::int64_t total = seconds * 1000 + ms;
    auto whole = static_cast<std::uint64_t>(total / 1000 + wire::kSeconds1900To1970);
    auto fraction = static_cast<std::uint64_t>(((total % 1000) << 32) + 999) / 1000;
    return (whole << 32) + fraction;
}

// An answer received at 2000-01-01 00:00:00.500 local time, 40 ms after its
// request left, the counter's low half wrapping past 2^32 in between, from
// a server `offsetMs` ahead of this computer over a symmetric path.
Sample ntpAnswer(RequestStyle& style, std::int64_t offsetMs) {
    Sample sample;
    sample.style = &style;
    sample.sentCounter = (std::uint64_t{5} << 32) + 0xFFFFFFFFu - 100000;
    sample.received.counter = sample.sentCounter + 40 * kFrequency / 1000;
    sample.received.frequency = kFrequency;
    sample.received.now = k2000;
    sample.received.wallUs = std::int64_t{k2000} * 1000000 + 500000;
    std::int64_t serverMs = 460 + 20 + offsetMs;  // sent at .460, 20 ms on the way
    sample.ntp.receive = ntpAt(k2000, serverMs);
    sample.ntp.transmit = sample.ntp.receive;
    return sample;
}

double offsetMsOf(std::int64_t units) { return static_cast<double>(units) / kUnitsPerSecond * 1000.0; }

}  // namespace

TEST(SampleReductions, AnNtpAnswerAcrossTheCounterWrapGivesTheClockAndTheServiceOneTime) {
    Sample ahead = ntpAnswer(ntpStyle(), 1000250);
    ClockCorrection clock = ntpStyle().clockCorrection(ahead);
    // The transmit second and 730 ms, plus half the 40 ms round trip read
    // across the wrap.
    EXPECT_EQ(clock.serverSeconds, k2000 + 1000);
    EXPECT_EQ(clock.correction, 1000);
    EXPECT_EQ(clock.setTo.second, 40);  // 00:16:40
    EXPECT_EQ(clock.setTo.milliseconds, 750);
    EXPECT_NEAR(offsetMsOf(ntpStyle().serviceOffset(ahead)), 1000250.0, 0.002);

    // 980 ms and the half round trip carry into the next second.
    Sample carried = ntpAnswer(ntpStyle(), 1000500);
    EXPECT_EQ(ntpStyle().clockCorrection(carried).correction, 1001);
    EXPECT_EQ(ntpStyle().clockCorrection(carried).setTo.milliseconds, 0);
    EXPECT_NEAR(offsetMsOf(ntpStyle().serviceOffset(carried)), 1000500.0, 0.002);
}

TEST(SampleReductions, AServerBehindGivesNegativeCorrectionsAndOffsets) {
    Sample behind = ntpAnswer(ntpStyle(), -30250);
    ClockCorrection clock = ntpStyle().clockCorrection(behind);
    EXPECT_EQ(clock.serverSeconds, k2000 - 30);
    EXPECT_EQ(clock.correction, -30);
    EXPECT_EQ(clock.setTo.milliseconds, 250);
    EXPECT_NEAR(offsetMsOf(ntpStyle().serviceOffset(behind)), -30250.0, 0.002);

    // Less than a second behind: the clock's whole seconds say -1, not 0,
    // since its time to set lies in the second before.
    Sample justBehind = ntpAnswer(ntpStyle(), -600);
    EXPECT_EQ(ntpStyle().clockCorrection(justBehind).correction, -1);
    EXPECT_EQ(ntpStyle().clockCorrection(justBehind).setTo.milliseconds, 900);
    EXPECT_NEAR(offsetMsOf(ntpStyle().serviceOffset(justBehind)), -600.0, 0.002);
}

TEST(SampleReductions, AnRfc868AnswerGivesItsSecondsHalfARoundTripOnAndTheHalfSecond) {
    Sample sample;
    sample.style = &rfc868Style();
    sample.received.now = k2000;
    sample.received.wallUs = std::int64_t{k2000} * 1000000 + 250000;
    sample.sentSeconds = k2000 - 2;  // a round trip of two whole seconds: one added
    sample.wireSeconds = k2000 + wire::kSeconds1900To1970 + 1000;
    ClockCorrection clock = rfc868Style().clockCorrection(sample);
    EXPECT_EQ(clock.serverSeconds, k2000 + 1000);  // as the server sent it
    EXPECT_EQ(clock.correction, 1001);
    EXPECT_EQ(clock.setTo.milliseconds, 500);
    // The service takes the same second and half second against the receipt.
    EXPECT_NEAR(offsetMsOf(rfc868Style().serviceOffset(sample)), 1001250.0, 0.002);

    sample.sentSeconds = k2000;
    sample.wireSeconds = k2000 + wire::kSeconds1900To1970 - 50;
    EXPECT_EQ(rfc868Style().clockCorrection(sample).correction, -50);
    EXPECT_NEAR(offsetMsOf(rfc868Style().serviceOffset(sample)), -49750.0, 0.002);
}
