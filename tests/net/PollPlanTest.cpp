// When the tick asks the server of its own accord: polls, retries, steps,
// kisses and the spacing between requests, on a fake clock. Each request
// the plan starts is recorded as the request thread would record it.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "net/PollPlan.h"
#include "net/AnswerPolicy.h"
#include "settings/AppState.h"

namespace {

constexpr std::uint32_t k2026 = 1796169600;  // 2026-12-02 00:00:00 UTC
constexpr std::int64_t kMinute = 60000;

class PollPlanTest : public ::testing::Test {
protected:
    void SetUp() override {
        state.timeServer.set("time.example");
        state.pollPeriod = 60;
    }
    // One tick a second, through the step both programs' ticks take; the
    // request it starts is recorded as the request thread records it, and
    // `whileAsking` runs as it goes out: an answer that comes at once.
    PollReason tick(bool stepSeen = false) {
        now += 1;
        sinceBootMs += 1000;
        return pollWhenDue(plan, state, now, sinceBootMs, stepSeen, [this] {
            RequestRecord request;
            request.server = state.timeServer.get();
            request.startedMs = sinceBootMs;
            state.lastRequest.begin(request);
            asked.push_back(sinceBootMs - startMs);
            if (whileAsking) whileAsking();
        });
    }
    void ticks(int seconds) {
        for (int i = 0; i < seconds; ++i) tick();
    }
    // The server's answer to the latest request, as the receiving thread
    // applies it.
    void answer() {
        RequestRecord latest = state.lastRequest.get();
        ASSERT_TRUE(state.lastRequest.claim(latest.serial));
        state.nextPollTime = nextPollAfter(now, state.pollPeriod);
        state.backoffSeconds = 0;
    }
    void kissWith(KissCode code) {
        RequestRecord latest = state.lastRequest.get();
        ASSERT_TRUE(state.lastRequest.claim(latest.serial));
        handleKiss(state, latest.server, code, now);
    }
    // The seconds after the start at which requests went out.
    std::vector<std::int64_t> askedSeconds() const {
        std::vector<std::int64_t> seconds;
        for (std::int64_t ms : asked) seconds.push_back(ms / 1000);
        return seconds;
    }

    AppState state;
    PollPlan plan;
    std::uint32_t now = k2026;
    std::int64_t sinceBootMs = 7000000;
    const std::int64_t startMs = 7000000;
    std::vector<std::int64_t> asked;  // ms after the start
    std::function<void()> whileAsking;
};

}  // namespace

TEST_F(PollPlanTest, TheFirstTickPollsAndAnAnsweredPollWaitsItsPeriod) {
    EXPECT_EQ(tick(), PollReason::Poll);
    EXPECT_EQ(state.nextPollTime.load(), now + 3600);
    answer();
    ticks(3599);
    EXPECT_EQ(askedSeconds(), (std::vector<std::int64_t>{1})) << "no retry, nothing extra";
    EXPECT_EQ(tick(), PollReason::Poll);
    state.timeServer.set("");
    ticks(7200);
    EXPECT_EQ(asked.size(), 2u) << "nobody to ask";
}

TEST_F(PollPlanTest, ARateKissThatAnswersThePollAtOnceKeepsItsLongerWait) {
    // The receiving thread may handle the answer before the tick that
    // started the request goes on: the poll's own next time must not
    // overwrite the kiss's.
    whileAsking = [this] { kissWith(KissCode::Rate); };
    EXPECT_EQ(tick(), PollReason::Poll);
    whileAsking = nullptr;
    EXPECT_EQ(state.nextPollTime.load(), now + 7200) << "twice the hour, as RATE asks";
    ticks(7199);
    EXPECT_EQ(askedSeconds(), (std::vector<std::int64_t>{1})) << "nothing before the back-off ends";
    EXPECT_EQ(tick(), PollReason::Poll);
}

TEST_F(PollPlanTest, AnUnansweredPollIsAskedAgainAfter1_2_4_8_16And32Minutes) {
    state.pollPeriod = 180;
    ticks(180 * 60);
    EXPECT_EQ(askedSeconds(), (std::vector<std::int64_t>{1, 61, 181, 421, 901, 1861, 3781}));
    // The next poll starts the plan anew.
    ticks(61);
    EXPECT_EQ(askedSeconds().back(), 180 * 60 + 61);
    ASSERT_GE(asked.size(), 9u);
    EXPECT_EQ(asked[7] / 1000, 180 * 60 + 1);
}

TEST_F(PollPlanTest, RetriesStopAtAnAnswerAndBeforeTheNextPoll) {
    state.pollPeriod = 10;
    tick();
    ticks(60);
    EXPECT_EQ(askedSeconds(), (std::vector<std::int64_t>{1, 61})) << "a minute after the poll";
    answer();
    ticks(9 * 60);
    EXPECT_EQ(askedSeconds(), (std::vector<std::int64_t>{1, 61})) << "an answer ends the retries";
    // Poll period 10 minutes, unanswered: 1, 2 and 4 minutes on fit before
    // the next poll, 8 would not.
    ticks(600);
    std::vector<std::int64_t> last(asked.end() - 4, asked.end());
    EXPECT_EQ(last.front() / 1000 + 60, last[1] / 1000);
    EXPECT_EQ(last[1] / 1000 + 120, last[2] / 1000);
    EXPECT_EQ(last[2] / 1000 + 240, last[3] / 1000);
    EXPECT_EQ(asked.size(), 6u) << "then the poll itself";
}

TEST_F(PollPlanTest, AStepAsksAtOnceButAtMostOneExtraRequestAMinuteAndNeverWithin15Seconds) {
    tick();
    answer();
    ticks(5);
    EXPECT_EQ(tick(true), PollReason::None) << "6 s after the poll: the 15 s floor";
    ticks(8);
    EXPECT_EQ(tick(), PollReason::Step) << "15 s after the poll";
    EXPECT_EQ(state.nextPollTime.load(), now + 3600) << "the period counts from here";
    answer();
    tick(true);
    int stepsAskedWithinTheMinute = 0;
    for (int i = 0; i < 58; ++i) stepsAskedWithinTheMinute += tick() != PollReason::None ? 1 : 0;
    EXPECT_EQ(stepsAskedWithinTheMinute, 0);
    EXPECT_EQ(tick(), PollReason::Step) << "a minute after the last extra request, not dropped";
    answer();
    // A program that moves the clock every second gets one request a
    // minute, retries included.
    std::size_t before = asked.size();
    for (int i = 0; i < 600; ++i) tick(true);
    EXPECT_EQ(asked.size() - before, 10u);
    for (std::size_t i = before + 1; i < asked.size(); ++i) EXPECT_GE(asked[i] - asked[i - 1], kMinute);
}

TEST_F(PollPlanTest, PingsCountForTheFloorButPollPeriodZeroAsksEverySecond) {
    tick();
    answer();
    // The user pings 5 s before the poll is due.
    ticks(3594);
    RequestRecord ping;
    ping.server = "time.example";
    ping.startedMs = sinceBootMs;
    state.lastRequest.begin(ping);
    ticks(5);
    EXPECT_EQ(asked.size(), 1u);
    ticks(9);
    EXPECT_EQ(asked.size(), 1u) << "the poll waits for the floor";
    EXPECT_EQ(tick(), PollReason::Poll);

    state.pollPeriod = 0;
    state.nextPollTime = 0;
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(tick(), PollReason::Poll) << "the stored period 0 asks at every tick";
        answer();
    }
}

TEST_F(PollPlanTest, RateSlowsEvenPeriodZeroDownAndDenyStopsAutomaticRequests) {
    state.pollPeriod = 0;
    tick();
    kissWith(KissCode::Rate);
    ticks(63);
    EXPECT_EQ(asked.size(), 1u) << "64 s at least";
    EXPECT_EQ(tick(), PollReason::Poll);
    kissWith(KissCode::Rate);
    ticks(127);
    EXPECT_EQ(asked.size(), 2u) << "twice as long";
    EXPECT_EQ(tick(), PollReason::Poll);
    answer();
    EXPECT_EQ(tick(), PollReason::Poll) << "an answer brings the period back";

    kissWith(KissCode::Deny);
    std::size_t before = asked.size();
    for (int i = 0; i < 7200; ++i) tick(i % 100 == 0);
    EXPECT_EQ(asked.size(), before) << "no poll, retry or step goes to a server that refused us";
    state.timeServer.set("other.example");
    EXPECT_EQ(tick(), PollReason::Poll) << "another server is asked";
}
