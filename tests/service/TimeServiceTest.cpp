// The time service's plan on a fake clock, with a recorder in place of
// the clock setter: its polls, the "now" asks and their limit, the steps of
// the clock it asks about, the offset it sets at a whole millisecond,
// MaxStep, and its settings.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "net/Calendar.h"
#include "net/ClockRecorder.h"
#include "net/NetTestSupport.h"
#include "net/NtpStyle.h"
#include "net/Reply.h"
#include "net/Rfc868Style.h"
#include "service/TimeService.h"
#include "settings/MemoryProfileStore.h"

namespace {

constexpr std::uint32_t k2026 = 1796169600;  // 2026-12-02 00:00:00 UTC
constexpr std::int64_t kUs2026 = std::int64_t{k2026} * 1000000;
constexpr std::uint64_t kNonce = 0x0123456789ABCDEFull;

class TimeServiceTest : public ::testing::Test {
protected:
    TimeServiceTest() : service(state, settingsWith(54000), [this] { return readClock(); }) {}

    static service::Settings settingsWith(std::uint32_t maxStep) {
        service::Settings settings;
        settings.timeServer = "time.example";
        settings.port = "ntp";
        settings.pollPeriod = 60;
        settings.maxStep = maxStep;
        return settings;
    }
    // One tick a second; a request that goes out is recorded as the
    // request thread records it, sent at this moment's counter.
    bool tick() {
        now += 1;
        sinceBootMs += 1000;
        return service.tick(ClockReading{std::int64_t{now} * 1000, sinceBootMs}, [this] {
            RequestRecord request;
            request.style = &ntpStyle();
            request.server = state.timeServer.get();
            request.startedMs = sinceBootMs;
            std::uint32_t serial = state.lastRequest.begin(request);
            Departure departure{{127, 0, 0, 1}, 123, now, counterAt(), kNonce, nullptr};
            state.lastRequest.sending(serial, departure);
            asked.push_back(sinceBootMs - startMs);
        });
    }
    void ticks(int seconds) {
        for (int i = 0; i < seconds; ++i) tick();
    }
    std::uint64_t counterAt() const { return static_cast<std::uint64_t>(sinceBootMs) * 1000; }  // 1 MHz
    // The datagram as the receiving thread judges and claims it, from the
    // latest request's destination, received `tripUs` after that request went out;
    // the clock then reads `settleUs` later when the service sets it.
    std::optional<Sample> received(const Bytes& reply, std::int64_t tripUs, std::int64_t settleUs = 0) {
        RequestRecord request = state.lastRequest.get();
        std::int64_t receivedUs = kUs2026 + (sinceBootMs - startMs) * 1000 + tripUs;
        clockUs = receivedUs + settleUs;
        ReplyMoment moment{static_cast<std::uint32_t>(receivedUs / 1000000),
                           counterAt() + static_cast<std::uint64_t>(tripUs), 1000000, sinceBootMs, receivedUs};
        std::optional<Sample> sample = judgeReply(request, requestDestination(), reply.data(), reply.size(), moment);
        if (sample) {
            EXPECT_TRUE(state.lastRequest.claim(request.serial));
        }
        return sample;
    }
    static CInetAddr requestDestination() {
        CInetAddr from;
        from.address[0] = 127;
        from.address[3] = 1;
        from.port = 123;
        return from;
    }
    // The server `aheadUs` ahead, the answer back `tripUs` after the
    // latest request went out, half the way each way.
    std::optional<service::Result> answerNtp(std::int64_t aheadUs, std::int64_t tripUs = 20000,
                                             std::int64_t settleUs = 0) {
        std::int64_t sentUs = kUs2026 + (sinceBootMs - startMs) * 1000;
        Bytes reply = echoing(ntpReply(0), kNonce);
        std::uint64_t atServer = ntpTimestampOfUs(sentUs + tripUs / 2 + aheadUs);
        wire::writeBigEndian64(&reply[wire::kNtpReceiveOffset], atServer);
        wire::writeBigEndian64(&reply[wire::kNtpTransmitOffset], atServer);
        std::optional<Sample> sample = received(reply, tripUs, settleUs);
        EXPECT_TRUE(sample.has_value());
        return sample ? service.handle(*sample) : std::nullopt;
    }
    // The precise clock runs on by kReadUs between two reads.
    std::int64_t readClock() {
        reads.push_back(clockUs);
        return std::exchange(clockUs, clockUs + kReadUs);
    }
    std::vector<std::int64_t> askedSeconds() const {
        std::vector<std::int64_t> seconds;
        for (std::int64_t ms : asked) seconds.push_back(ms / 1000);
        return seconds;
    }

    ClockRecorder clock;
    AppState state;
    service::TimeService service;
    std::uint32_t now = k2026 - 1;
    std::int64_t sinceBootMs = 4999000;
    const std::int64_t startMs = 5000000;
    std::vector<std::int64_t> asked;  // ms after the start
    static constexpr std::int64_t kReadUs = 10;
    std::int64_t clockUs = kUs2026;   // what the service's precise clock reads next
    std::vector<std::int64_t> reads;  // each reading
};

}  // namespace

TEST_F(TimeServiceTest, PollsAtStartThenEveryPeriodAndRetriesAnUnansweredPoll) {
    EXPECT_TRUE(tick());
    ASSERT_TRUE(answerNtp(250000).has_value());
    ticks(3600);
    EXPECT_EQ(askedSeconds(), (std::vector<std::int64_t>{0, 3600}));
    ticks(61);  // that poll is lost: asked again a minute later
    EXPECT_EQ(askedSeconds(), (std::vector<std::int64_t>{0, 3600, 3660}));
}

TEST_F(TimeServiceTest, NowAsksAreTakenOnceAMinuteAndKeepTheFloor) {
    tick();
    answerNtp(0);
    ticks(4);
    EXPECT_TRUE(service.askNow(sinceBootMs));
    EXPECT_FALSE(service.askNow(sinceBootMs + 1000)) << "a second within the minute is dropped";
    ticks(14);
    EXPECT_EQ(askedSeconds(), (std::vector<std::int64_t>{0, 15})) << "no two requests within 15 s";
    answerNtp(0);
    ticks(45);
    EXPECT_FALSE(service.askNow(sinceBootMs)) << "59 s after the one taken";
    ticks(1);
    EXPECT_TRUE(service.askNow(sinceBootMs));
    ticks(10);
    EXPECT_EQ(asked.size(), 2u) << "one extra request a minute: not before 75 s";
    tick();
    EXPECT_EQ(askedSeconds(), (std::vector<std::int64_t>{0, 15, 75}));
    // Dropped asks leave nothing pending.
    answerNtp(0);
    ticks(600);
    EXPECT_EQ(asked.size(), 3u);
}

TEST_F(TimeServiceTest, NoNowAskReachesAServerThatRefusedUs) {
    tick();
    std::optional<Sample> deny = received(kiss("DENY", kNonce), 20000);
    ASSERT_TRUE(deny.has_value());
    EXPECT_FALSE(service.handle(*deny).has_value());
    ticks(100);
    EXPECT_TRUE(service.askNow(sinceBootMs));
    ticks(7200);
    EXPECT_EQ(asked.size(), 1u);
    EXPECT_TRUE(clock.calls().empty());
}

TEST_F(TimeServiceTest, SetsTheServersTimeAtTheInstantItReachesAWholeMillisecond) {
    tick();
    std::optional<service::Result> result = answerNtp(5250400, 36000);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->offsetMs, 5250);
    EXPECT_EQ(result->server, "time.example");
    EXPECT_EQ(result->setting, service::SettingOutcome::Done);
    // Received at 00:00:00.036 local, 5.2504 s behind the server: 5.2864
    // there. The clock is read on until the server's time is 5.287, 0.6 ms
    // later, and set to that.
    ASSERT_EQ(clock.calls().size(), 1u);
    EXPECT_EQ(text(clock.calls()[0]), "2026-12-02 00:00:05.287");
    ASSERT_FALSE(reads.empty());
    EXPECT_EQ(reads.front(), kUs2026 + 36000);
    EXPECT_GE(reads.back() + 5250400, kUs2026 + 5287000);
    EXPECT_LT(reads.back() - kReadUs + 5250400, kUs2026 + 5287000) << "read on past the millisecond";
    EXPECT_EQ(result->when, k2026 + 5);
    EXPECT_EQ(state.nextPollTime.load(), k2026 + 3600);
    // Behind the server by a fraction that rounds up, and ahead of it.
    ticks(3600);
    clock.answerWith(platform::ClockSetting::NotAllowed);
    EXPECT_EQ(answerNtp(-1700, 4000)->offsetMs, -2);
    EXPECT_EQ(text(clock.calls()[1]), "2026-12-02 01:00:00.003");
    EXPECT_EQ(state.lastClockSetting.load(), platform::ClockSetting::NotTried) << "the clock's own record unused";
}

TEST_F(TimeServiceTest, TheOffsetGoesOntoTheClockAsItReadsWhenItIsSet) {
    tick();
    // 7.3 ms pass between the receipt and the setting: the clock is set
    // from that later reading plus the offset, not from the time at receipt.
    std::optional<service::Result> result = answerNtp(5250400, 36000, 7300);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->offsetMs, 5250);
    ASSERT_EQ(clock.calls().size(), 1u);
    EXPECT_EQ(text(clock.calls()[0]), "2026-12-02 00:00:05.294");
    EXPECT_EQ(result->when, k2026 + 5) << "the server's time at receipt";
    // 0.4 ms before a second turns there: set to the next second's start.
    ticks(3600);
    answerNtp(999600, 0, 0);
    EXPECT_EQ(text(clock.calls()[1]), "2026-12-02 01:00:01.000");
}

TEST_F(TimeServiceTest, AClockSteppedBackWhileItWaitsIsSetToTheNearestMillisecond) {
    tick();
    // The next reading after the receipt is a second earlier.
    service::TimeService stepped(state, settingsWith(54000), [this, first = true]() mutable {
        std::int64_t us = first ? kUs2026 + 36000 : kUs2026 - 964000;
        first = false;
        return us;
    });
    std::optional<Sample> sample = received(echoing(ntpReply(0), kNonce), 36000);
    ASSERT_TRUE(sample.has_value());
    sample->ntp.receive = sample->ntp.transmit = ntpTimestampOfUs(kUs2026 + 18000 + 5250400);
    ASSERT_TRUE(stepped.handle(*sample).has_value());
    ASSERT_EQ(clock.calls().size(), 1u);
    EXPECT_EQ(text(clock.calls()[0]), "2026-12-02 00:00:04.286") << "the offset on the reading that went back";
}

TEST_F(TimeServiceTest, EachOutcomeOfTheSettingIsRecorded) {
    tick();
    clock.answerWith(platform::ClockSetting::NotAllowed);
    EXPECT_EQ(answerNtp(1000)->setting, service::SettingOutcome::Refused);
    ticks(3600);
    clock.answerWith(platform::ClockSetting::Failed);
    EXPECT_EQ(answerNtp(1000)->setting, service::SettingOutcome::Failed);
}

TEST_F(TimeServiceTest, NothingIsSetBeyondMaxStepEitherWay) {
    tick();
    EXPECT_EQ(answerNtp(54000000000LL)->setting, service::SettingOutcome::Done) << "exactly MaxStep";
    ticks(3600);
    std::optional<service::Result> ahead = answerNtp(54000001000LL);
    ASSERT_TRUE(ahead.has_value());
    EXPECT_EQ(ahead->setting, service::SettingOutcome::Skipped);
    EXPECT_EQ(ahead->offsetMs, 54000001);
    ticks(3600);
    EXPECT_EQ(answerNtp(-54000001000LL)->setting, service::SettingOutcome::Skipped);
    EXPECT_EQ(clock.calls().size(), 1u);
    EXPECT_EQ(askedSeconds(), (std::vector<std::int64_t>{0, 3600, 7200})) << "a skipped answer is still an answer";
}

TEST_F(TimeServiceTest, KissesAndAnswersWithoutTimeSetNothing) {
    tick();
    EXPECT_FALSE(received(ntpReply(0, 0, 40), 20000)) << "no time in it: it never reaches the service";
    std::optional<Sample> rate = received(kiss("RATE", kNonce), 20000);
    ASSERT_TRUE(rate.has_value());
    EXPECT_FALSE(service.handle(*rate));
    EXPECT_EQ(state.backoffSeconds.load(), 7200u);
    EXPECT_TRUE(clock.calls().empty());
}

TEST_F(TimeServiceTest, AnRfc868AnswerSetsHalfASecondPastItsSecond) {
    tick();
    RequestRecord request = state.lastRequest.get();
    request.style = &rfc868Style();
    request.sentSeconds = now;
    Bytes reply = timeReply(k2026 + 100);
    clockUs = kUs2026 + 200000;
    std::optional<Sample> sample = judgeReply(request, requestDestination(), reply.data(), reply.size(),
                                              ReplyMoment{now, 0, 1000000, sinceBootMs, clockUs});
    ASSERT_TRUE(sample.has_value());
    std::optional<service::Result> result = service.handle(*sample);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->offsetMs, 100300);
    EXPECT_EQ(text(clock.calls().at(0)), "2026-12-02 00:01:40.500");
}

TEST_F(TimeServiceTest, AStepOfTheClockBySomeoneElseAsksAgainAtMostOnceAMinute) {
    tick();
    answerNtp(5000000);
    // Its own setting moves the clock 5 s, and Windows says the time
    // changed: neither is a step.
    now += 5;
    ticks(10);
    service.timeChanged(sinceBootMs);
    ticks(30);
    EXPECT_EQ(askedSeconds(), (std::vector<std::int64_t>{0}));
    // Someone else's change of the time, told by Windows.
    service.timeChanged(sinceBootMs);
    tick();
    EXPECT_EQ(askedSeconds(), (std::vector<std::int64_t>{0, 41}));
    answerNtp(0);
    // A resume, then a silent jump of the wall clock: one request a minute.
    ticks(9);
    service.resumed();
    tick();
    now -= 30;
    ticks(49);
    EXPECT_EQ(askedSeconds(), (std::vector<std::int64_t>{0, 41})) << "within the minute after the last step";
    tick();
    EXPECT_EQ(askedSeconds(), (std::vector<std::int64_t>{0, 41, 101}));
    answerNtp(0);
    ticks(600);
    EXPECT_EQ(asked.size(), 3u) << "both steps were answered by that one request";
}

TEST(ServiceSettings, DefaultsStoredValuesAndThePollPeriodKeptInRange) {
    MemoryProfileStore store;
    service::Settings defaults = service::loadSettings(store);
    EXPECT_EQ(defaults.timeServer, "time.cloudflare.com");
    EXPECT_EQ(defaults.port, "nts") << "a service for every user believes only authenticated answers";
    EXPECT_EQ(defaults.pollPeriod, 60u);
    EXPECT_EQ(defaults.maxStep, 54000u);
    store.writeText("Service", "TimeServer", "127.0.0.1:11123");
    store.writeText("Service", "Port", "37");
    store.writeNumber("Service", "PollPeriod", 0);
    store.writeNumber("Service", "MaxStep", 5);
    service::Settings stored = service::loadSettings(store);
    EXPECT_EQ(stored.timeServer, "127.0.0.1:11123");
    EXPECT_EQ(stored.port, "37");
    EXPECT_EQ(stored.pollPeriod, 1u) << "never every second";
    EXPECT_EQ(stored.maxStep, 5u);
    store.writeNumber("Service", "PollPeriod", 100000);
    EXPECT_EQ(service::loadSettings(store).pollPeriod, 1440u);
    store.values[{"Service", "PollPeriod"}] = StoredValue{StoredValue::kNumber, {1, 2, 3, 4, 5}};
    EXPECT_EQ(service::loadSettings(store).pollPeriod, 60u) << "no number: the default";
}
