// The Abort/Retry/Ignore prompts of the network start-up, with binds made
// to fail from outside the program (a shim in the wineserver, counted down
// through the file named by MARIVEL_BIND_CONTROL).
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>

#include "ClockTest.h"
#include "Driver.h"

namespace {

// The next `count` binds fail with "address in use".
void failNextBinds(int count) {
    std::string windowsPath = driver::windowsPathOf("MARIVEL_BIND_CONTROL");
    ASSERT_FALSE(windowsPath.empty());
    FILE* control = std::fopen(windowsPath.c_str(), "w");
    ASSERT_NE(control, nullptr) << windowsPath;
    std::fprintf(control, "%d\n", count);
    std::fclose(control);
}

void seedSettings() {
    driver::deleteSettings();
    driver::writeTextSetting("TimeServer", "");
    driver::writeTextSetting("Port", "4711");
    driver::writeNumberSetting("PollPeriod", 7);
}

using StartupPrompt = e2e::ClockTest;

// Answers the start-up prompt with `button` and returns its text.
std::string answerPrompt(driver::Program& program, int button) {
    HWND box = program.waitForWindow("Error");
    if (box == nullptr) return "(no prompt)";
    std::string text = driver::itemText(box, 0xFFFF);
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
    driver::waitUntilGone(box);
    return text;
}

}  // namespace

TEST_F(StartupPrompt, AbortEndsWithStatusMinusOneAndSavesNothing) {
    seedSettings();
    std::map<std::string, driver::RegistryValue> before = driver::readAllSettings();
    failNextBinds(1);
    launchClock();
    std::string text = answerPrompt(*clock, IDABORT);
    EXPECT_NE(text.find("Error: 10048 binding"), std::string::npos) << text;
    EXPECT_NE(text.find("Port Number already in use"), std::string::npos) << text;
    EXPECT_NE(text.find("Abort, Retry, Ignore (A,R,I)"), std::string::npos) << text;
    DWORD status = 0;
    ASSERT_TRUE(clock->waitForExit(status));
    EXPECT_EQ(status, 0xFFFFFFFFu);
    std::map<std::string, driver::RegistryValue> after = driver::readAllSettings();
    ASSERT_EQ(after.size(), before.size());
    for (const auto& [name, value] : before) {
        EXPECT_EQ(after[name].type, value.type) << name;
        EXPECT_EQ(after[name].bytes, value.bytes) << name;
    }
}

TEST_F(StartupPrompt, RetryRunsTheSameStepAgain) {
    seedSettings();
    failNextBinds(2);
    launchClock();
    EXPECT_NE(answerPrompt(*clock, IDRETRY).find("binding"), std::string::npos);
    EXPECT_NE(answerPrompt(*clock, IDRETRY).find("binding"), std::string::npos) << "the retried bind failed again";
    ASSERT_TRUE(awaitWindow()) << "the third bind works and the clock opens";
    EXPECT_EQ(closeClock(), 0u);
    driver::RegistryValue iconic;
    EXPECT_TRUE(driver::readSetting("Iconic", iconic)) << "an ordinary close saves";
}

TEST_F(StartupPrompt, IgnoreGoesOnWithoutTheStep) {
    seedSettings();
    failNextBinds(1);
    launchClock();
    EXPECT_NE(answerPrompt(*clock, IDIGNORE).find("binding"), std::string::npos);
    // The socket is left unbound. Where receiving on it fails, the process
    // ends with 65535 and saves nothing; where it waits, the clock runs on.
    bool runsOn = awaitWindow(3000);
    std::printf("After Ignore the clock %s.\n", runsOn ? "runs on" : "has ended");
    if (runsOn) {
        EXPECT_EQ(closeClock(), 0u);
    } else {
        DWORD status = 0;
        ASSERT_TRUE(clock->waitForExit(status));
        EXPECT_EQ(status, 65535u);
    }
    EXPECT_EQ(clock->waitForWindow("Error", 500), nullptr) << "no second prompt after Ignore";
}
