// When the clock window asks the server again because the local clock was
// stepped: a fake wall clock and a fake counter that never steps.
#include <gtest/gtest.h>

#include "net/StepWatch.h"

namespace {

class StepWatchTest : public ::testing::Test {
protected:
    // Time passes: both clocks move on together.
    void pass(std::int64_t ms) {
        wallMs += ms;
        sinceBootMs += ms;
    }
    // One tick a second later; true when it asks the server.
    bool tick() {
        pass(1000);
        return steps.tick({wallMs, sinceBootMs}, ownSettingMs);
    }
    // The number of ticks over `seconds` that ask the server.
    int requestsOver(int seconds) {
        int requests = 0;
        for (int i = 0; i < seconds; ++i) requests += tick() ? 1 : 0;
        return requests;
    }

    StepWatch steps;
    std::int64_t wallMs = 1796169600000;  // 2026-12-02
    std::int64_t sinceBootMs = 50000;
    std::int64_t ownSettingMs = 0;
};

}  // namespace

TEST_F(StepWatchTest, ATickAfterAStepOfASecondOrMoreAsksOnce) {
    EXPECT_EQ(requestsOver(5), 0) << "a clock that only runs asks nothing";
    for (std::int64_t step : {90000, -1000, 1000, -3600000}) {
        wallMs += step;
        EXPECT_TRUE(tick()) << "step of " << step << " ms";
        EXPECT_EQ(requestsOver(61), 0) << "one request per step";
    }
}

TEST_F(StepWatchTest, SlewsAndLateTicksAreNoSteps) {
    wallMs += 999;  // just under the threshold
    EXPECT_FALSE(tick());
    pass(30000);  // a tick held up by a busy window: both clocks moved
    EXPECT_FALSE(tick());
    for (int i = 0; i < 100; ++i) {
        wallMs += 50;  // a clock slewed by 5 %: never a step between two ticks
        EXPECT_FALSE(tick());
    }
}

TEST_F(StepWatchTest, TheSystemsMessagesAskAtTheNextTick) {
    requestsOver(2);
    steps.timeChanged(sinceBootMs, ownSettingMs);
    EXPECT_TRUE(tick());
    EXPECT_EQ(requestsOver(70), 0);
    steps.resumed();
    EXPECT_TRUE(tick());
    // The message and the jump it announces are one step: one request.
    requestsOver(70);
    wallMs += 5000;
    steps.timeChanged(sinceBootMs, ownSettingMs);
    EXPECT_EQ(requestsOver(120), 1);
}

TEST_F(StepWatchTest, EachStepIsToldOnceAtTheNextTickHoweverSoonItComes) {
    // How often the server is then asked is for the poll plan to limit.
    requestsOver(2);
    wallMs += 90000;
    EXPECT_TRUE(tick());
    steps.timeChanged(sinceBootMs, ownSettingMs);
    wallMs -= 30000;
    EXPECT_TRUE(tick()) << "a message and its step, told once";
    EXPECT_FALSE(tick());
    for (int i = 0; i < 10; ++i) {
        wallMs += 2000;
        EXPECT_TRUE(tick());
    }
}

TEST_F(StepWatchTest, TheProgramsOwnSettingAsksNothing) {
    requestsOver(2);
    // The reply's setting moves the clock 90 s on between two ticks, and
    // the system announces it.
    pass(400);
    ownSettingMs = sinceBootMs;
    wallMs += 90000;
    steps.timeChanged(sinceBootMs + 30, ownSettingMs);
    EXPECT_EQ(requestsOver(120), 0);
    // Within the echo's time a step of someone else's is still seen.
    pass(400);
    ownSettingMs = sinceBootMs;
    wallMs += 5000;
    steps.timeChanged(sinceBootMs, ownSettingMs);
    EXPECT_EQ(requestsOver(2), 0) << "the clocks moving apart around our own setting say nothing";
    wallMs += 5000;
    EXPECT_TRUE(tick()) << "a step two ticks later is someone else's";
    EXPECT_EQ(requestsOver(60), 0);

    // A setting still under way while the tick reads the clocks: the step
    // lands between this tick and the next.
    pass(990);
    ownSettingMs = sinceBootMs + 5;
    EXPECT_FALSE(steps.tick({wallMs, sinceBootMs}, ownSettingMs));
    pass(1000);
    wallMs -= 4000;
    EXPECT_FALSE(steps.tick({wallMs, sinceBootMs}, ownSettingMs));

    // Long after it, a message or a step is someone else's.
    EXPECT_EQ(requestsOver(StepWatch::kOwnSettingEchoMs / 1000), 0);
    steps.timeChanged(sinceBootMs, ownSettingMs);
    EXPECT_TRUE(tick());
    EXPECT_EQ(requestsOver(60), 0);
    wallMs += 7000;
    EXPECT_TRUE(tick());
}
