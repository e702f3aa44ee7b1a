// Starting and closing the real program: the window it opens and the
// settings it leaves behind.
#include <gtest/gtest.h>

#include "ClockTest.h"
#include "Driver.h"
#include "settings/AppState.h"

using driver::RegistryValue;
using Startup = e2e::ClockTest;

TEST_F(Startup, FirstStartWithAnEmptyStoreWritesAllEightDefaultsAtClose) {
    driver::deleteSettings();
    ASSERT_TRUE(startClock()) << "the clock window did not appear";
    EXPECT_EQ(closeClock(), 0u);

    std::map<std::string, RegistryValue> stored = driver::readAllSettings();
    EXPECT_EQ(stored.size(), 8u);
    auto text = [&](const char* name) {
        EXPECT_EQ(stored[name].type, static_cast<DWORD>(REG_SZ)) << name;
        return stored[name].text();
    };
    auto number = [&](const char* name) {
        EXPECT_EQ(stored[name].type, static_cast<DWORD>(REG_DWORD)) << name;
        return stored[name].number();
    };
    EXPECT_EQ(text("TimeServer"), "time.nist.gov");
    EXPECT_EQ(text("TimeServerList"), kBuiltInServerList);
    EXPECT_EQ(text("Port"), "37");
    EXPECT_EQ(number("AlwaysOnTop"), 0u);
    EXPECT_EQ(number("SetSystemClock"), 0u);
    EXPECT_EQ(number("PollPeriod"), 60u);
    EXPECT_EQ(number("24HourDisplay"), 0u);
    EXPECT_EQ(number("Iconic"), 1u);
}

TEST_F(Startup, StoredSettingsComeBackUnchangedAfterARun) {
    driver::deleteSettings();
    driver::writeTextSetting("TimeServer", "");
    driver::writeTextSetting("TimeServerList", "a|b|");
    driver::writeTextSetting("Port", "ntp");
    driver::writeNumberSetting("AlwaysOnTop", 1);
    driver::writeNumberSetting("PollPeriod", 0);
    driver::writeNumberSetting("24HourDisplay", 1);
    driver::writeNumberSetting("Iconic", 2);
    ASSERT_TRUE(startClock());
    EXPECT_FALSE(IsIconic(window)) << "a stored Iconic 2 must not start the program minimized";
    EXPECT_EQ(closeClock(), 0u);

    RegistryValue value;
    ASSERT_TRUE(driver::readSetting("TimeServer", value));
    EXPECT_EQ(value.text(), "");
    ASSERT_TRUE(driver::readSetting("TimeServerList", value));
    EXPECT_EQ(value.text(), "a|b|");
    ASSERT_TRUE(driver::readSetting("Port", value));
    EXPECT_EQ(value.text(), "ntp");
    ASSERT_TRUE(driver::readSetting("AlwaysOnTop", value));
    EXPECT_EQ(value.number(), 1u);
    ASSERT_TRUE(driver::readSetting("PollPeriod", value));
    EXPECT_EQ(value.number(), 0u);
    ASSERT_TRUE(driver::readSetting("24HourDisplay", value));
    EXPECT_EQ(value.number(), 1u);
    ASSERT_TRUE(driver::readSetting("Iconic", value));
    EXPECT_EQ(value.number(), 1u) << "closed while shown normally";
}
