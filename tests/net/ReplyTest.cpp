// Reply arithmetic, the reply filter and the handlers, with no packets.
#include <gtest/gtest.h>

#include <climits>

#include "net/ClockRecorder.h"
#include "net/NetTestSupport.h"
#include "net/Receive.h"
#include "net/Reply.h"
#include "net/Request.h"
#include "net/Resolve.h"
#include "net/Wire.h"
#include "platform/WinsockErrors.h"

namespace {

constexpr std::uint32_t k2000 = 946684800;       // 2000-01-01 00:00:00 UTC
constexpr std::uint32_t k2040 = 2208988800u;     // 2040-01-01 00:00:00 UTC
constexpr std::uint32_t k2040Wire = 123010304;   // the same instant from 1900, in NTP era 1
constexpr std::uint32_t k2100 = 4107587696u;     // 2100-03-01 12:34:56 UTC
constexpr std::uint32_t k2100Wire = 2021609200;
constexpr std::uint32_t kHalf = 0x80000000u;     // fraction 0.5 s

}  // namespace

TEST(Wire, ReadsBigEndianOnlyInsideTheData) {
    const std::uint8_t bytes[] = {0x83, 0xAA, 0x7E, 0x80, 0x01};
    std::uint32_t value = 7;
    EXPECT_TRUE(wire::readBigEndian32(bytes, 5, 0, value));
    EXPECT_EQ(value, wire::kSeconds1900To1970);
    EXPECT_TRUE(wire::readBigEndian32(bytes, 5, 1, value));
    EXPECT_EQ(value, 0xAA7E8001u);
    value = 7;
    EXPECT_FALSE(wire::readBigEndian32(bytes, 5, 2, value));
    EXPECT_FALSE(wire::readBigEndian32(bytes, 3, 0, value));
    EXPECT_FALSE(wire::readBigEndian32(bytes, 5, 9, value));  // offset past the end must not wrap
    EXPECT_EQ(value, 7u);
}

TEST(Wire, CInt64BorrowsOnlyWhenTheLowHalfWraps) {
    CInt64 a(5, 1);
    CInt64 b = a - CInt64(0x10, 0);
    EXPECT_EQ(b.low, 0xFFFFFFF5u);
    EXPECT_EQ(b.high, 0u);
    EXPECT_EQ(a.low, 5u);  // the returning form leaves its operand alone
    a -= CInt64(5, 0);
    EXPECT_EQ(a.low, 0u);
    EXPECT_EQ(a.high, 1u);
    CInt64 c(0x123456789ABCDEF0ull);
    EXPECT_EQ(c.low, 0x9ABCDEF0u);
    EXPECT_EQ(c.high, 0x12345678u);
}

TEST(TimeReply, HalfTheRoundTripInWholeSeconds) {
    const std::uint32_t now = k2000;
    const std::uint32_t sent = k2000 + wire::kSeconds1900To1970;
    TimeReplyResult same = computeTimeReply(sent, now, now, true);
    EXPECT_EQ(same.serverTime, k2000);
    EXPECT_EQ(same.correction, 0);  // (0 + 1) / 2 = 0
    TimeReplyResult twoLater = computeTimeReply(sent, now, now - 2, true);
    EXPECT_EQ(twoLater.serverTime, k2000);  // as sent
    EXPECT_EQ(twoLater.adjusted, k2000 + 1);
    EXPECT_EQ(twoLater.correction, 1);
    EXPECT_EQ(computeTimeReply(sent, now, now - 1, true).correction, 1);
    // A stamp four seconds ahead: (-4 + 1) / 2 truncates to -1, not -2.
    EXPECT_EQ(computeTimeReply(sent, now, now + 4, true).correction, -1);
    // A counter stamp from an NTP-style request is not read as seconds.
    EXPECT_EQ(computeTimeReply(sent + 30, now, 0x9ABCDEF0u, false).correction, 30);
}

TEST(TimeReply, SecondsPast2036And2038StayRight) {
    EXPECT_EQ(computeTimeReply(k2040Wire, k2040, k2040, true).serverTime, k2040);
    EXPECT_EQ(computeTimeReply(k2040Wire, k2040 - 5, k2040 - 5, true).correction, 5);
    EXPECT_EQ(computeTimeReply(k2100Wire, k2100, k2100, true).serverTime, k2100);
    // Across the signed 32-bit limit (2038-01-19 03:14:08).
    EXPECT_EQ(computeTimeReply(0x80000000u + wire::kSeconds1900To1970 + 1000, 0x80000000u, 0x80000000u, true)
                  .correction,
              1000);
}

TEST(NtpReply, HalfRoundTripFromTheCounter) {
    EXPECT_EQ(halfRoundTripMs(5000000 + 200000, 1000000, 5000000), 100);     // 200 ms at 1 MHz
    EXPECT_EQ(halfRoundTripMs(70000000 + 2000000, 10000000, 70000000), 100);  // at 10 MHz
    EXPECT_EQ(halfRoundTripMs(1000 + 200, 1000, 1000), 100);                  // one tick per ms
    EXPECT_EQ(halfRoundTripMs(1000 + 200, 999, 1000), 0);                     // no ticks per ms
    // Only the low half was stamped: the counter went past 2^32 since.
    EXPECT_EQ(halfRoundTripMs(0x100000064ull, 1000, 0xFFFFFF9Cu), 100);
    // A stamp 3 ms after this reply's request (two in flight): signed, -1.
    EXPECT_EQ(halfRoundTripMs(9000000, 1000000, 9000000 + 3000), -1);
}

TEST(NtpReply, MillisecondsCarryAndBorrow) {
    const std::uint32_t wireSeconds = k2000 + wire::kSeconds1900To1970;
    NtpReplyResult half = computeNtpReply(wireSeconds, kHalf, k2000, 100);
    EXPECT_EQ(half.seconds, k2000);
    EXPECT_EQ(half.milliseconds, 600);
    EXPECT_EQ(half.correction, 0);
    NtpReplyResult carry = computeNtpReply(wireSeconds, 0xF0000000u, k2000, 100);  // 937 + 100
    EXPECT_EQ(carry.seconds, k2000 + 1);
    EXPECT_EQ(carry.milliseconds, 37);
    EXPECT_EQ(carry.correction, 1);
    NtpReplyResult borrow = computeNtpReply(wireSeconds, 0, k2000, -1);
    EXPECT_EQ(borrow.seconds, k2000 - 1);
    EXPECT_EQ(borrow.milliseconds, 999);
    EXPECT_EQ(borrow.correction, -1);
    NtpReplyResult far = computeNtpReply(wireSeconds, 0, k2000, -2500);
    EXPECT_EQ(far.seconds, k2000 - 3);
    EXPECT_EQ(far.milliseconds, 500);
    EXPECT_EQ(computeNtpReply(wireSeconds, 0xFFFFFFFFu, k2000, 0).milliseconds, 999);  // truncated
    EXPECT_EQ(computeNtpReply(k2040Wire, 0, k2040 - 7, 0).correction, 7);              // era 1
    EXPECT_EQ(computeNtpReply(k2100Wire, 0, k2100, 0).seconds, k2100);
}

TEST(Calendar, UnsignedSecondsTo2106) {
    EXPECT_EQ(text(utcFromSeconds(0, 0)), "1970-01-01 00:00:00.000");
    EXPECT_EQ(text(utcFromSeconds(k2000, 500)), "2000-01-01 00:00:00.500");
    EXPECT_EQ(text(utcFromSeconds(951782400, 1)), "2000-02-29 00:00:00.001");
    EXPECT_EQ(text(utcFromSeconds(0x80000000u, 0)), "2038-01-19 03:14:08.000");
    EXPECT_EQ(text(utcFromSeconds(k2040, 0)), "2040-01-01 00:00:00.000");
    EXPECT_EQ(text(utcFromSeconds(k2100, 0)), "2100-03-01 12:34:56.000");  // 2100 is no leap year
    EXPECT_EQ(text(utcFromSeconds(k2100 - 86400, 0)), "2100-02-28 12:34:56.000");
    EXPECT_EQ(text(utcFromSeconds(0xFFFFFFFFu, 0)), "2106-02-07 06:28:15.000");
}

TEST(ReplyFilter, OnlyWholeSynchronizedServerReplies) {
    const Bytes usable[] = {ntpReply(k2000, kHalf), ntpReply(k2000, 0, wire::kReceiveBufferSize),
                            ntpReply(k2000, 0, 48, 0x64),  // a leap second ahead
                            ntpReply(0 - wire::kSeconds1900To1970, 1)};
    for (const Bytes& reply : usable) EXPECT_TRUE(isUsableNtpReply(reply.data(), reply.size()));
    const Bytes unusable[] = {ntpReply(k2000, 0, 47),
                              ntpReply(k2000, 0, 48, 0x23),     // mode 3, a client
                              ntpReply(k2000, 0, 48, 0x25),     // mode 5, broadcast
                              ntpReply(k2000, 0, 48, 0xE4),     // not synchronized
                              ntpReply(k2000, 0, 48, 0x24, 0),  // kiss-o'-death
                              ntpReply(0 - wire::kSeconds1900To1970, 0)};  // no transmit time
    for (const Bytes& reply : unusable) EXPECT_FALSE(isUsableNtpReply(reply.data(), reply.size()));
}

TEST(ReplyFilter, OnlyFromWhereTheLastRequestWent) {
    RequestRecord request;
    const std::uint8_t peer[4] = {127, 0, 0, 1};
    std::copy(peer, peer + 4, request.address);
    request.port = 37;
    CInetAddr from;
    std::copy(peer, peer + 4, from.address);
    from.port = 37;
    auto reply = ntpReply(k2000);
    EXPECT_FALSE(acceptsReply(request, from, reply.data(), 4));  // no request sent yet
    request.sent = true;
    EXPECT_TRUE(acceptsReply(request, from, reply.data(), 4));
    EXPECT_TRUE(acceptsReply(request, from, reply.data(), 48));
    for (std::size_t odd : {0u, 1u, 3u, 5u, 47u}) EXPECT_FALSE(acceptsReply(request, from, reply.data(), odd)) << odd;
    from.port = 38;
    EXPECT_FALSE(acceptsReply(request, from, reply.data(), 4));
    from.port = 37;
    from.address[3] = 2;
    EXPECT_FALSE(acceptsReply(request, from, reply.data(), 4));
}

class Handlers : public ::testing::Test {
protected:
    ClockRecorder clock;
    AppState state;
    RequestRecord request;

    void SetUp() override {
        state.setSystemClock = 1;
        state.pollPeriod = 15;
        request.sent = true;
    }
    ReplyMoment at(std::uint32_t now, std::uint64_t counter = 0, std::uint64_t frequency = 1000000) {
        return ReplyMoment{now, counter, frequency};
    }
};

TEST_F(Handlers, TimeReplyOf2000SetsTheClockWith500Ms) {
    request.sendStamp = k2000;
    auto reply = timeReply(k2000);
    handleReply(state, request, reply.data(), reply.size(), at(k2000));
    EXPECT_EQ(static_cast<std::uint32_t>(state.lastResponseTime.load()), k2000);
    EXPECT_EQ(state.correction.load(), 0);
    EXPECT_EQ(state.nextPollTime.load(), k2000 + 900);
    ASSERT_EQ(clock.calls().size(), 1u);
    EXPECT_EQ(text(clock.calls()[0]), "2000-01-01 00:00:00.500");
}

TEST_F(Handlers, NtpReplyWithHalfFractionAnd200MsRoundTripSets600Ms) {
    request.style = RequestStyle::Ntp;
    request.sendStamp = 0xFFFF0000u;
    auto reply = ntpReply(k2000, kHalf);
    handleReply(state, request, reply.data(), reply.size(), at(k2000 + 2, 0x1FFFF0000ull + 200000));
    EXPECT_EQ(static_cast<std::uint32_t>(state.lastResponseTime.load()), k2000);
    EXPECT_EQ(state.correction.load(), -2);
    ASSERT_EQ(clock.calls().size(), 1u);
    EXPECT_EQ(text(clock.calls()[0]), "2000-01-01 00:00:00.600");
}

TEST_F(Handlers, RoundTripOfTheOtherStyleIsSkipped) {
    request.style = RequestStyle::Ntp;
    request.sendStamp = 123456789;  // counter ticks, meaningless as seconds
    auto four = timeReply(k2040 + 10);
    handleTimeReply(state, request, four.data(), four.size(), at(k2040));
    EXPECT_EQ(state.correction.load(), 10);
    EXPECT_EQ(text(clock.calls().at(0)), "2040-01-01 00:00:10.500");

    request.style = RequestStyle::Time;
    request.sendStamp = k2100 - 100;  // seconds, meaningless as ticks
    auto reply = ntpReply(k2100, kHalf);
    handleNtpReply(state, request, reply.data(), reply.size(), at(k2100, 5000000));
    EXPECT_EQ(state.correction.load(), 0);
    EXPECT_EQ(text(clock.calls().at(1)), "2100-03-01 12:34:56.500");
}

TEST_F(Handlers, WithoutSetSystemClockOnlyTheStateChanges) {
    state.setSystemClock = 0;
    state.pollPeriod = 0;
    request.sendStamp = k2000;
    auto reply = ntpReply(k2000 + 42);
    handleReply(state, request, reply.data(), reply.size(), at(k2000, 0, 1));
    EXPECT_EQ(static_cast<std::uint32_t>(state.lastResponseTime.load()), k2000 + 42);
    EXPECT_EQ(state.correction.load(), 42);
    EXPECT_EQ(state.nextPollTime.load(), k2000);
    EXPECT_TRUE(clock.calls().empty());
}

TEST_F(Handlers, TheDisplayAddsTheCorrectionOnlyWhereNoSettingAppliedIt) {
    request.sendStamp = k2000;
    auto reply = timeReply(k2000 + 90);  // the local clock is 90 s slow
    struct Case {
        std::int32_t option;
        platform::ClockSetting answer;
        std::int32_t shown;
        platform::ClockSetting recorded;
    };
    const Case cases[] = {
        // The clock now holds the server's time: the window adds nothing.
        {1, platform::ClockSetting::Done, 0, platform::ClockSetting::Done},
        {1, platform::ClockSetting::NotAllowed, 90, platform::ClockSetting::NotAllowed},
        {1, platform::ClockSetting::Failed, 90, platform::ClockSetting::Failed},
        {0, platform::ClockSetting::Done, 90, platform::ClockSetting::NotTried},
    };
    std::size_t expectedCalls = 0;
    for (const Case& c : cases) {
        state.setSystemClock = c.option;
        state.lastClockSettingMs = 0;
        clock.answerWith(c.answer);
        std::int64_t before = platform::sinceBootMs();
        handleReply(state, request, reply.data(), reply.size(), at(k2000));
        expectedCalls += static_cast<std::size_t>(c.option);
        EXPECT_EQ(clock.calls().size(), expectedCalls) << "nothing is retried";
        EXPECT_EQ(state.correction.load(), 90) << "the Last Response keeps the reply's correction";
        EXPECT_EQ(state.shownCorrection.load(), c.shown) << static_cast<int>(c.answer) << ", option " << c.option;
        EXPECT_EQ(state.lastClockSetting.load(), c.recorded);
        if (c.option != 0)
            EXPECT_GE(state.lastClockSettingMs.load(), before) << "the window must know the step is ours";
        else
            EXPECT_EQ(state.lastClockSettingMs.load(), 0);
    }
}

TEST(RequestStyle, ChosenFromThePortText) {
    for (const char* ntp : {"ntp", "NTP", "nTp", "123", "0123", " 123", "123abc"}) {
        EXPECT_EQ(chooseRequestStyle(ntp), RequestStyle::Ntp) << ntp;
    }
    for (const char* time : {"37", "", "ntpx", "nt", "time", "1234", "-123"}) {
        EXPECT_EQ(chooseRequestStyle(time), RequestStyle::Time) << time;
    }
    auto packet = ntpRequestPacket();
    ASSERT_EQ(packet.size(), 48u);
    EXPECT_EQ(packet[0], 0x0B);
    for (std::size_t i = 1; i < packet.size(); ++i) EXPECT_EQ(packet[i], 0) << i;
}

TEST(RequestStyle, NumbersReadLikeAtoiWithoutOverflow) {
    EXPECT_EQ(leadingNumber("  -12x"), -12);
    EXPECT_EQ(leadingNumber("+7"), 7);
    EXPECT_EQ(leadingNumber("abc"), 0);
    EXPECT_EQ(leadingNumber("99999999999"), INT_MAX);
    EXPECT_EQ(leadingNumber("-99999999999"), INT_MIN);
}

TEST(ReceiveErrors, OnlyAnUnusableSocketEndsTheLoop) {
    for (int passing : {wsa::kMessageTooLong, wsa::kNetworkReset, wsa::kConnectionReset, wsa::kInterrupted}) {
        EXPECT_TRUE(isPassingReceiveError(passing)) << passing;
    }
    for (int fatal :
         {0, wsa::kBadHandle, wsa::kNotASocket, wsa::kNetworkDown, wsa::kInvalidArgument, wsa::kNotConnected}) {
        EXPECT_FALSE(isPassingReceiveError(fatal)) << fatal;
    }
}
