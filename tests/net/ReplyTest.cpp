// Reply arithmetic, the reply filter and the handlers, with no packets.
#include <gtest/gtest.h>

#include <climits>

#include "net/Calendar.h"
#include "net/ClockRecorder.h"
#include "net/NetTestSupport.h"
#include "net/Receive.h"
#include "net/AnswerPolicy.h"
#include "net/NtpStyle.h"
#include "net/Reply.h"
#include "net/RequestStyle.h"
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
    TimeReplyResult same = computeTimeReply(sent, now, now);
    EXPECT_EQ(same.serverTime, k2000);
    EXPECT_EQ(same.correction, 0);  // (0 + 1) / 2 = 0
    TimeReplyResult twoLater = computeTimeReply(sent, now, now - 2);
    EXPECT_EQ(twoLater.serverTime, k2000);  // as sent
    EXPECT_EQ(twoLater.adjusted, k2000 + 1);
    EXPECT_EQ(twoLater.correction, 1);
    EXPECT_EQ(computeTimeReply(sent, now, now - 1).correction, 1);
    // A stamp four seconds ahead: (-4 + 1) / 2 truncates to -1, not -2.
    EXPECT_EQ(computeTimeReply(sent, now, now + 4).correction, -1);
}

TEST(TimeReply, SecondsPast2036And2038StayRight) {
    EXPECT_EQ(computeTimeReply(k2040Wire, k2040, k2040).serverTime, k2040);
    EXPECT_EQ(computeTimeReply(k2040Wire, k2040 - 5, k2040 - 5).correction, 5);
    EXPECT_EQ(computeTimeReply(k2100Wire, k2100, k2100).serverTime, k2100);
    // Across the signed 32-bit limit (2038-01-19 03:14:08).
    EXPECT_EQ(computeTimeReply(0x80000000u + wire::kSeconds1900To1970 + 1000, 0x80000000u, 0x80000000u)
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

namespace {

constexpr std::uint64_t kNonce = 0x0123456789ABCDEFull;
constexpr std::int64_t kStartedMs = 500000;

enum class ReplyKind { Ignored, Time, Ntp, Kiss };

// A request to 127.0.0.1:123 that has gone out, and a sender at that place.
struct Exchange {
    RequestRecord request;
    CInetAddr from;

    explicit Exchange(RequestStyle& style) {
        request.serial = 1;
        request.sent = true;
        request.style = &style;
        request.startedMs = kStartedMs;
        request.nonce = &style == &ntpStyle() ? kNonce : 0;
        const std::uint8_t loopback[4] = {127, 0, 0, 1};
        std::copy(loopback, loopback + 4, request.address);
        std::copy(loopback, loopback + 4, from.address);
        request.port = from.port = 123;
    }
    std::optional<Sample> judge(const Bytes& reply, std::int64_t afterMs = 100) const {
        ReplyMoment moment;
        moment.sinceBootMs = kStartedMs + afterMs;
        return judgeReply(request, from, reply.data(), reply.size(), moment);
    }
    // What the datagram is to the request: nothing, an answer (named by its
    // style) or a kiss.
    ReplyKind kindOf(const Bytes& reply, std::int64_t afterMs = 100) const {
        std::optional<Sample> sample = judge(reply, afterMs);
        if (!sample) return ReplyKind::Ignored;
        if (sample->kiss) return ReplyKind::Kiss;
        return sample->style == &rfc868Style() ? ReplyKind::Time : ReplyKind::Ntp;
    }
};

}  // namespace

TEST(ReplyJudge, OnlyTheLatestRequestsOwnDestinationOnceAndWithin30Seconds) {
    for (RequestStyle* style : {&rfc868Style(), &ntpStyle()}) {
        Exchange exchange(*style);
        const bool time = style == &rfc868Style();
        const ReplyKind usable = time ? ReplyKind::Time : ReplyKind::Ntp;
        Bytes reply = time ? timeReply(k2000) : echoing(ntpReply(k2000), kNonce);
        EXPECT_EQ(exchange.kindOf(reply), usable);
        EXPECT_EQ(exchange.kindOf(reply, kReplyWindowMs), usable) << "30 s after the request began";
        EXPECT_EQ(exchange.kindOf(reply, kReplyWindowMs + 1), ReplyKind::Ignored) << "given up by then";
        exchange.from.port = 124;
        EXPECT_EQ(exchange.kindOf(reply), ReplyKind::Ignored) << "another port";
        exchange.from.port = 123;
        exchange.from.address[3] = 2;
        EXPECT_EQ(exchange.kindOf(reply), ReplyKind::Ignored) << "another address";
        exchange.from.address[3] = 1;
        exchange.request.answered = true;
        EXPECT_EQ(exchange.kindOf(reply), ReplyKind::Ignored) << "a second answer";
        exchange.request.answered = false;
        exchange.request.sent = false;
        EXPECT_EQ(exchange.kindOf(reply), ReplyKind::Ignored) << "nothing has gone out yet";
    }
}

TEST(ReplyJudge, EachStyleTakesOnlyItsOwnKindOfAnswer) {
    Exchange time(rfc868Style());
    for (std::size_t odd : {0u, 1u, 3u, 5u, 48u}) {
        EXPECT_EQ(time.kindOf(echoing(ntpReply(k2000, 0, odd), 0)), ReplyKind::Ignored) << odd << " bytes";
    }
    Exchange ntp(ntpStyle());
    EXPECT_EQ(ntp.kindOf(timeReply(k2000)), ReplyKind::Ignored) << "four bytes cannot echo the nonce";
    EXPECT_EQ(ntp.kindOf(echoing(ntpReply(k2000, 0, 47), kNonce)), ReplyKind::Ignored);
    EXPECT_EQ(ntp.kindOf(echoing(ntpReply(k2000, 0, wire::kReceiveBufferSize), kNonce)), ReplyKind::Ntp);
}

TEST(ReplyJudge, AnNtpAnswerMustEchoTheNonceAndComeFromASynchronizedServer) {
    Exchange exchange(ntpStyle());
    EXPECT_EQ(exchange.kindOf(ntpReply(k2000)), ReplyKind::Ignored) << "no origin";
    EXPECT_EQ(exchange.kindOf(echoing(ntpReply(k2000), kNonce ^ 1)), ReplyKind::Ignored) << "one bit off";
    EXPECT_EQ(exchange.kindOf(echoing(ntpReply(k2000), kNonce << 32)), ReplyKind::Ignored);
    struct Case {
        Bytes reply;
        ReplyKind kind;
        const char* what;
    };
    const Case cases[] = {
        {ntpReply(k2000, 0, 48, 0x64), ReplyKind::Ntp, "a leap second ahead"},
        {ntpReply(k2000, 0, 48, 0x24, 15), ReplyKind::Ntp, "stratum 15"},
        {ntpReply(k2000, 0, 48, 0x24, 16), ReplyKind::Ignored, "stratum 16: unsynchronized"},
        {ntpReply(k2000, 0, 48, 0x24, 255), ReplyKind::Ignored, "stratum 255"},
        {ntpReply(k2000, 0, 48, 0xE4), ReplyKind::Ignored, "leap indicator 3: unsynchronized"},
        {ntpReply(k2000, 0, 48, 0x23), ReplyKind::Ignored, "mode 3, a client"},
        {ntpReply(k2000, 0, 48, 0x25), ReplyKind::Ignored, "mode 5, broadcast"},
        {ntpReply(0 - wire::kSeconds1900To1970, 0), ReplyKind::Ignored, "no transmit time"},
        {ntpReply(0 - wire::kSeconds1900To1970, 1), ReplyKind::Ntp, "a transmit time of 1/2^32 s"},
    };
    for (const Case& c : cases) EXPECT_EQ(exchange.kindOf(echoing(c.reply, kNonce)), c.kind) << c.what;
}

TEST(ReplyJudge, ARootDistanceAboveFiveSecondsIsTooUncertain) {
    Exchange exchange(ntpStyle());
    auto withRoot = [](std::uint32_t delay, std::uint32_t dispersion) {
        Bytes reply = echoing(ntpReply(k2000), kNonce);
        wire::writeBigEndian32(&reply[wire::kNtpRootDelayOffset], delay);
        wire::writeBigEndian32(&reply[wire::kNtpRootDispersionOffset], dispersion);
        return reply;
    };
    constexpr std::uint32_t kSecond = 0x10000;  // 16.16 fixed point
    EXPECT_EQ(exchange.kindOf(withRoot(2 * kSecond, 4 * kSecond)), ReplyKind::Ntp) << "1 s + 4 s";
    EXPECT_EQ(exchange.kindOf(withRoot(2 * kSecond, 4 * kSecond + 1)), ReplyKind::Ignored);
    EXPECT_EQ(exchange.kindOf(withRoot(10 * kSecond + 2, 0)), ReplyKind::Ignored);
    EXPECT_EQ(exchange.kindOf(withRoot(0, 5 * kSecond)), ReplyKind::Ntp);
    // The largest values must not wrap into a small distance.
    EXPECT_EQ(exchange.kindOf(withRoot(0xFFFFFFFFu, 0xFFFFFFFFu)), ReplyKind::Ignored);
}

TEST(ReplyJudge, AKissIsToldByItsCodeOnlyWhenItEchoesTheNonce) {
    Exchange exchange(ntpStyle());
    const std::pair<const char*, KissCode> codes[] = {{"RATE", KissCode::Rate},
                                                      {"DENY", KissCode::Deny},
                                                      {"RSTR", KissCode::Restricted},
                                                      {"INIT", KissCode::Other},
                                                      {"rate", KissCode::Other}};
    for (const auto& [code, expected] : codes) {
        std::optional<Sample> sample = exchange.judge(kiss(code, kNonce));
        ASSERT_TRUE(sample.has_value()) << code;
        EXPECT_TRUE(sample->kiss) << code;
        EXPECT_EQ(sample->kissCode, expected) << code;
    }
    EXPECT_EQ(exchange.kindOf(kiss("DENY", kNonce + 1)), ReplyKind::Ignored) << "a forged kiss silences nobody";
    EXPECT_EQ(exchange.kindOf(kiss("RATE", kNonce), kReplyWindowMs + 1), ReplyKind::Ignored);
}

TEST(ReplyJudge, ARequestIsAnsweredOnceAndOnlyWhileItIsTheLatest) {
    GuardedRequest requests;
    RequestRecord first;
    first.server = "a";
    std::uint32_t one = requests.begin(first);
    auto departure = [](std::uint32_t seconds, std::uint64_t nonce) {
        Departure leaving{{127, 0, 0, 1}, 37, seconds, 0, nonce, nullptr};
        return leaving;
    };
    EXPECT_TRUE(requests.sending(one, departure(11, 0)));
    EXPECT_TRUE(requests.get().sent);
    EXPECT_EQ(requests.get().outcome, RequestOutcome::Sent);
    std::uint32_t two = requests.begin(first);
    EXPECT_NE(one, two);
    EXPECT_FALSE(requests.get().sent) << "the new request has not gone out";
    EXPECT_EQ(requests.get().outcome, RequestOutcome::Preparing);
    EXPECT_FALSE(requests.sending(one, departure(12, 0))) << "superseded before it left: not sent";
    requests.failed(one, RequestOutcome::SendFailed, 10051);
    EXPECT_EQ(requests.get().outcome, RequestOutcome::Preparing) << "an earlier request's failure is not this one's";
    EXPECT_FALSE(requests.claim(one)) << "an answer to an earlier request";
    EXPECT_TRUE(requests.sending(two, departure(13, 42)));
    EXPECT_EQ(requests.get().nonce, 42u);
    EXPECT_EQ(requests.get().sentSeconds, 13u);
    EXPECT_TRUE(requests.claim(two));
    EXPECT_FALSE(requests.claim(two)) << "only once";
    EXPECT_TRUE(requests.get().answered);
}

TEST(RateBackoff, TwiceTheLastWaitFrom64SecondsTo36Hours) {
    EXPECT_EQ(rateBackoffSeconds(0, 0), 64u) << "from a poll every second";
    EXPECT_EQ(rateBackoffSeconds(64, 0), 128u);
    EXPECT_EQ(rateBackoffSeconds(0, 60), 7200u) << "twice the hour";
    EXPECT_EQ(rateBackoffSeconds(7200, 60), 14400u);
    EXPECT_EQ(rateBackoffSeconds(100000, 60), 129600u) << "36 hours at most";
    EXPECT_EQ(rateBackoffSeconds(0xFFFFFFFFu, 60), 129600u);
    EXPECT_EQ(rateBackoffSeconds(0, 65535), 65535u * 60) << "never sooner than the user's own period";
    EXPECT_EQ(rateBackoffSeconds(0, 0xFFFFFFFFu), 0xFFFFFFFFu) << "a stored period too long for 32 bits";
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
        return ReplyMoment{now, counter, frequency, 0};
    }
    // The reply decoded as the receiving thread decodes it, in the style
    // its length names, then handled.
    void handle(const Bytes& reply, const ReplyMoment& moment) {
        request.style = reply.size() == 4 ? &rfc868Style() : &ntpStyle();
        std::optional<Sample> sample = judgeReply(request, CInetAddr{}, reply.data(), reply.size(), moment);
        ASSERT_TRUE(sample.has_value());
        handleReply(state, *sample);
    }
};

TEST_F(Handlers, TimeReplyOf2000SetsTheClockWith500Ms) {
    request.sentSeconds = k2000;
    auto reply = timeReply(k2000);
    handle(reply, at(k2000));
    EXPECT_EQ(static_cast<std::uint32_t>(state.lastResponseTime.load()), k2000);
    EXPECT_EQ(state.correction.load(), 0);
    EXPECT_EQ(state.nextPollTime.load(), k2000 + 900);
    ASSERT_EQ(clock.calls().size(), 1u);
    EXPECT_EQ(text(clock.calls()[0]), "2000-01-01 00:00:00.500");
}

TEST_F(Handlers, NtpReplyWithHalfFractionAnd200MsRoundTripSets600Ms) {
    request.sentCounter = 0xFFFF0000u;
    auto reply = ntpReply(k2000, kHalf);
    handle(reply, at(k2000 + 2, 0x1FFFF0000ull + 200000));
    EXPECT_EQ(static_cast<std::uint32_t>(state.lastResponseTime.load()), k2000);
    EXPECT_EQ(state.correction.load(), -2);
    ASSERT_EQ(clock.calls().size(), 1u);
    EXPECT_EQ(text(clock.calls()[0]), "2000-01-01 00:00:00.600");
}

TEST_F(Handlers, KissesChangeWhenToAskNotTheTimeAndAnAnswerUndoesThem) {
    state.correction = 90;
    state.shownCorrection = 90;
    state.lastResponseTime = static_cast<std::int32_t>(k2000);
    state.pollPeriod = 60;
    state.nextPollTime = k2000 + 3600;
    request.server = "time.example";
    handleKiss(state, request.server, KissCode::Rate, k2000 + 10);
    EXPECT_EQ(state.backoffSeconds.load(), 7200u);
    EXPECT_EQ(state.nextPollTime.load(), k2000 + 10 + 7200);
    handleKiss(state, request.server, KissCode::Rate, k2000 + 20);
    EXPECT_EQ(state.backoffSeconds.load(), 14400u);
    handleKiss(state, request.server, KissCode::Other, k2000 + 30);
    EXPECT_EQ(state.nextPollTime.load(), k2000 + 20 + 14400) << "an unknown kiss changes nothing";
    handleKiss(state, request.server, KissCode::Deny, k2000 + 40);
    EXPECT_EQ(state.refusedServer.get(), "time.example");
    handleKiss(state, request.server, KissCode::Restricted, k2000 + 40);
    EXPECT_EQ(state.refusedServer.get(), "time.example");
    EXPECT_EQ(state.correction.load(), 90);
    EXPECT_EQ(state.shownCorrection.load(), 90);
    EXPECT_EQ(static_cast<std::uint32_t>(state.lastResponseTime.load()), k2000);
    EXPECT_TRUE(clock.calls().empty()) << "a kiss's timestamps never set the clock";

    request.sentSeconds = k2000 + 50;
    handle(timeReply(k2000 + 50), at(k2000 + 50));
    EXPECT_EQ(state.backoffSeconds.load(), 0u);
    EXPECT_EQ(state.refusedServer.get(), "");
    EXPECT_EQ(state.nextPollTime.load(), k2000 + 50 + 3600);
}

TEST_F(Handlers, WithoutSetSystemClockOnlyTheStateChanges) {
    state.setSystemClock = 0;
    state.pollPeriod = 0;
    request.sentCounter = k2000;
    auto reply = ntpReply(k2000 + 42);
    handle(reply, at(k2000, 0, 1));
    EXPECT_EQ(static_cast<std::uint32_t>(state.lastResponseTime.load()), k2000 + 42);
    EXPECT_EQ(state.correction.load(), 42);
    EXPECT_EQ(state.nextPollTime.load(), k2000);
    EXPECT_TRUE(clock.calls().empty());
}

TEST_F(Handlers, TheDisplayAddsTheCorrectionOnlyWhereNoSettingAppliedIt) {
    request.sentSeconds = k2000;
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
        handle(reply, at(k2000));
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
        EXPECT_EQ(&chooseRequestStyle(ntp), &ntpStyle()) << ntp;
    }
    for (const char* time : {"37", "", "ntpx", "nt", "time", "1234", "-123"}) {
        EXPECT_EQ(&chooseRequestStyle(time), &rfc868Style()) << time;
    }
    auto packet = ntpRequestPacket(0x0102030405060708ull);
    ASSERT_EQ(packet.size(), 48u);
    EXPECT_EQ(packet[0], 0x0B);
    for (std::size_t i = 1; i < 40; ++i) EXPECT_EQ(packet[i], 0) << i;
    for (std::size_t i = 40; i < 48; ++i) EXPECT_EQ(packet[i], i - 39) << "the nonce as the transmit timestamp";
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

namespace {

constexpr std::int64_t kUnitsPerSecond = std::int64_t{1} << 32;
constexpr std::uint64_t kNtp2026 = std::uint64_t{1796169600u + wire::kSeconds1900To1970} << 32;

}  // namespace

TEST(NtpOffset, FourTimestampsGiveTheOffsetWhateverTheRoundTrip) {
    // The server 5.25 s ahead, 10 ms each way, answering at once.
    std::uint64_t t1 = kNtp2026;
    std::uint64_t t2 = ntpTimestampOfUs(1796169600LL * 1000000 + 5260000);
    std::int64_t offset = ntpOffset(t1, t2, t2, t1 + kUnitsPerSecond / 50);
    EXPECT_EQ(nearestMilliseconds(offset), 5250);
    // 3 ms spent in the server, 40 ms out and 2 ms back: the asymmetry,
    // and only it, moves the offset by (40 - 2) / 2 ms.
    std::uint64_t t2b = ntpTimestampOfUs(1796169600LL * 1000000 + 5290000);
    std::uint64_t t3b = t2b + static_cast<std::uint64_t>(kUnitsPerSecond * 3 / 1000);
    std::uint64_t t4b = t1 + static_cast<std::uint64_t>(kUnitsPerSecond * 45 / 1000);
    EXPECT_EQ(nearestMilliseconds(ntpOffset(t1, t2b, t3b, t4b)), 5250 + 19);
    // Behind, and far behind: 40 years either way do not overflow.
    EXPECT_EQ(nearestMilliseconds(ntpOffset(t2, t1, t1, t2)), -5260);
    std::uint64_t years40 = std::uint64_t{40} * 365 * 86400 * kUnitsPerSecond;
    EXPECT_EQ(nearestMilliseconds(ntpOffset(t1, t1 + years40, t1 + years40, t1)), 40LL * 365 * 86400 * 1000);
    EXPECT_EQ(nearestMilliseconds(ntpOffset(t1 + years40, t1, t1, t1 + years40)), -40LL * 365 * 86400 * 1000);
    // Across the NTP era of 2036: the local clock just before, the server
    // 32 s later in era 1.
    std::uint64_t lastOfEra0 = std::uint64_t{0xFFFFFFF0u} << 32;
    std::uint64_t era1 = std::uint64_t{0x10} << 32;
    EXPECT_EQ(nearestMilliseconds(ntpOffset(lastOfEra0, era1, era1, lastOfEra0)), 32000);
}

TEST(NtpOffset, RoundsToTheNearestMillisecondBothWays) {
    const std::int64_t halfMs = kUnitsPerSecond / 2000;  // 0.49999... ms
    EXPECT_EQ(nearestMilliseconds(halfMs), 0);
    EXPECT_EQ(nearestMilliseconds(halfMs + 1), 1);
    EXPECT_EQ(nearestMilliseconds(-halfMs), 0);
    EXPECT_EQ(nearestMilliseconds(-halfMs - 1), -1);
    EXPECT_EQ(nearestMilliseconds(-kUnitsPerSecond), -1000);
    EXPECT_EQ(nearestMilliseconds(-kUnitsPerSecond - halfMs - 1), -1001);
    EXPECT_EQ(nearestMilliseconds(kUnitsPerSecond - 1), 1000);
    // An odd unit in each difference is not lost in the halving.
    EXPECT_EQ(ntpOffset(0, 1, 1, 0), 1);
    EXPECT_EQ(ntpOffset(0, 3, 0, 0), 1);
}

TEST(NtpOffset, LocalTimesBecomeNtpTimestamps) {
    EXPECT_EQ(ntpTimestampOfUs(0), std::uint64_t{wire::kSeconds1900To1970} << 32);
    EXPECT_EQ(ntpTimestampOfUs(1500000), ((std::uint64_t{wire::kSeconds1900To1970} + 1) << 32) | 0x80000000u);
    // A microsecond before 1970 is in the second before, not after.
    EXPECT_EQ(ntpTimestampOfUs(-1) >> 32, wire::kSeconds1900To1970 - 1u);
    EXPECT_EQ(nearestMilliseconds(static_cast<std::int64_t>(ntpTimestampOfUs(-1) & 0xFFFFFFFFu)), 1000);
    // 2040 is in era 1.
    EXPECT_EQ(ntpTimestampOfUs(std::int64_t{k2040} * 1000000) >> 32, k2040Wire);
    // The send time from the counter's low half: 10 MHz, 2.5 ms, across a
    // wrap of the low half; a counter too slow for microseconds gives 0.
    EXPECT_EQ(sinceSendUs(0x100000000ull + 24990u, 10000000, 0xFFFFFFF0u), 2500);
    EXPECT_EQ(sinceSendUs(1000, 1000000, 3000), -2000);
    EXPECT_EQ(sinceSendUs(5000, 999999, 0), 0);
}

TEST(NtpOffset, CalendarFieldsRoundToTheMillisecondSystemTimeHolds) {
    std::uint64_t second = kNtp2026 + (std::uint64_t{86399} << 32);  // 23:59:59
    EXPECT_EQ(text(utcOfNtpTimestamp(second)), "2026-12-02 23:59:59.000");
    EXPECT_EQ(text(utcOfNtpTimestamp(second | 0x7FDF3B65u)), "2026-12-02 23:59:59.500");  // 0.4995 s and a bit
    EXPECT_EQ(text(utcOfNtpTimestamp(second | 0xFFDF3B65u)), "2026-12-03 00:00:00.000");  // 0.9995 s and a bit
    EXPECT_EQ(text(utcOfNtpTimestamp(second | 0xFFDF3B64u)), "2026-12-02 23:59:59.999");  // just under
}
