#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "ui/ClockFace.h"
#include "ui/LocalZoneTest.h"

namespace {

constexpr std::int64_t k2000At132345 = 946733025;  // 2000-01-01 13:23:45 UTC

using ClockTextsTest = LocalZoneTest;

}  // namespace

TEST(NextTick, ComesJustAfterTheNextSecondTurns) {
    constexpr std::int64_t k2026 = 1796169600000;  // 2026-12-02 00:00:00 UTC, in ms
    for (std::int64_t into : {0, 1, 20, 21, 480, 979, 980, 999}) {
        std::int64_t wall = k2026 + 7000 + into;
        std::int64_t due = wall + nextTickDelayMs(wall);
        EXPECT_EQ(due, k2026 + 8000 + kTickMarginMs) << into << " ms into the second";
    }
    // About a second apart, never so short that a second is shown twice
    // nor so long that one is skipped.
    EXPECT_EQ(nextTickDelayMs(k2026 + kTickMarginMs), 1000u);
    EXPECT_EQ(nextTickDelayMs(k2026 + 999), 1u + kTickMarginMs);
}

TEST(StandardZoneName, ComesOnlyFromAnExplicitTz) {
    EXPECT_EQ(standardZoneName(nullptr), "");
    EXPECT_EQ(standardZoneName(""), "PST");
    EXPECT_EQ(standardZoneName("EST5EDT"), "EST");
    EXPECT_EQ(standardZoneName("PST8PDT"), "PST");
    EXPECT_EQ(standardZoneName("UT"), "UT");
}

TEST_F(ClockTextsTest, TwelveHourFormWithDate) {
    ClockTexts texts = clockTexts(k2000At132345, false, false, "");
    EXPECT_EQ(texts.time, "01:23:45 PM");
    EXPECT_EQ(texts.date, "Jan 01, 2000");
    EXPECT_EQ(texts.caption, "Marivel 95");
}

TEST_F(ClockTextsTest, TwentyFourHourFormKeepsItsTrailingBlank) {
    EXPECT_EQ(clockTexts(k2000At132345, false, true, "").time, "13:23:45 ");
}

TEST_F(ClockTextsTest, AZoneNameForcesTheTwentyFourHourForm) {
    EXPECT_EQ(clockTexts(k2000At132345, false, false, "PST").time, "13:23:45 PST");
    EXPECT_EQ(clockTexts(k2000At132345, false, true, "EST").time, "13:23:45 EST");
}

TEST_F(ClockTextsTest, MinimizedPutsTimeAndDateInTheCaptionOnly) {
    ClockTexts texts = clockTexts(k2000At132345, true, true, "PST");
    EXPECT_EQ(texts.caption, "01:23:45 PM  01/01/00");
    EXPECT_EQ(texts.time, "");
    EXPECT_EQ(texts.date, "");
}

TEST_F(ClockTextsTest, UsesLocalTimeIncludingHalfHourZones) {
    useZone("IST-5:30");
    ClockTexts texts = clockTexts(k2000At132345, false, true, "");
    EXPECT_EQ(texts.time, "18:53:45 ");
    useZone("EST5");
    texts = clockTexts(k2000At132345 - 14 * 3600, false, false, "");  // 1999-12-31 23:23:45 UTC
    EXPECT_EQ(texts.time, "06:23:45 PM");
    EXPECT_EQ(texts.date, "Dec 31, 1999");
}

TEST_F(ClockTextsTest, TheLimitsOfUnsignedSecondsAreShown) {
    EXPECT_EQ(clockTexts(0, false, true, "").date, "Jan 01, 1970");
    ClockTexts last = clockTexts(kLastShowableSecond, false, false, "");
    EXPECT_EQ(last.time, "06:28:15 AM");
    EXPECT_EQ(last.date, "Feb 07, 2106");
    EXPECT_EQ(clockTexts(0x80000000ll, false, true, "").date, "Jan 19, 2038");
}

TEST_F(ClockTextsTest, InstantsOutsideTheRangeSayTheyCannotBeShown) {
    for (std::int64_t seconds : {std::int64_t{-1}, std::int64_t{-2208988800}, kLastShowableSecond + 1}) {
        ClockTexts texts = clockTexts(seconds, false, false, "");
        EXPECT_EQ(texts.time, "--:--:--") << seconds;
        EXPECT_EQ(texts.date, "Out of range") << seconds;
        EXPECT_EQ(texts.caption, "Marivel 95");
        EXPECT_EQ(clockTexts(seconds, true, false, "").caption, "--:--:--  --/--/--");
    }
}
