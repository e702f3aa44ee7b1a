// The registry profile against the real registry (under Wine in the test
// run): where values live, their types, and how odd values are read.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "settings/win32/RegistryProfile.h"
#include "settings/AppState.h"

namespace {

const char kAppName[] = "profiletest";
const char kSectionPath[] = "Software\\Marivel\\profiletest\\Settings";

class RegistryProfileTest : public ::testing::Test {
protected:
    void SetUp() override { RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Marivel\\profiletest"); }
    void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Marivel\\profiletest"); }

    static void put(const char* name, DWORD type, std::vector<BYTE> bytes) {
        RegistryKey key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kSectionPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                                  nullptr, key.receive(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key.get(), name, 0, type, bytes.data(), static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS);
    }

    static bool query(const char* name, DWORD& type, std::vector<BYTE>& bytes) {
        RegistryKey key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kSectionPath, 0, KEY_READ, key.receive()) != ERROR_SUCCESS) return false;
        DWORD size = 1024;
        bytes.assign(size, 0);
        LONG result = RegQueryValueExA(key.get(), name, nullptr, &type, bytes.data(), &size);
        bytes.resize(size);
        return result == ERROR_SUCCESS;
    }

    RegistryProfile profile{"Marivel", kAppName};
};

}  // namespace

TEST_F(RegistryProfileTest, FirstReadCreatesTheKeyAndYieldsDefaults) {
    AppState state;
    loadSettings(state, profile);
    RegistryKey key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kSectionPath, 0, KEY_READ, key.receive()), ERROR_SUCCESS);
    EXPECT_EQ(state.timeServer.get(), "time.nist.gov");
    EXPECT_EQ(state.port.get(), "37");
    EXPECT_EQ(state.pollPeriod, 60u);
}

TEST_F(RegistryProfileTest, TextsAreStringValuesWithTerminatorAndNumbersAreDwords) {
    AppState state;
    loadSettings(state, profile);
    saveSettings(state, profile);
    DWORD type = 0;
    std::vector<BYTE> bytes;
    ASSERT_TRUE(query("Port", type, bytes));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(bytes, (std::vector<BYTE>{'3', '7', 0}));
    ASSERT_TRUE(query("PollPeriod", type, bytes));
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(bytes, (std::vector<BYTE>{60, 0, 0, 0}));
    for (const char* name : {"TimeServer", "TimeServerList", "AlwaysOnTop", "SetSystemClock", "24HourDisplay",
                             "Iconic"})
        EXPECT_TRUE(query(name, type, bytes)) << name;
}

TEST_F(RegistryProfileTest, TextsOfAnyTypeAreReadUpToTheFirstZero) {
    put("TimeServer", REG_BINARY, {'1', '2', '7', '.', '0', '.', '0', '.', '1', 0, 'x'});
    put("Port", REG_DWORD, {'n', 't', 'p', 0});
    put("TimeServerList", REG_EXPAND_SZ, {'a', '|', 'b', 0});
    AppState state;
    loadSettings(state, profile);
    EXPECT_EQ(state.timeServer.get(), "127.0.0.1");
    EXPECT_EQ(state.port.get(), "ntp");
    EXPECT_EQ(state.timeServerList.get(), "a|b");
}

TEST_F(RegistryProfileTest, NumbersComeFromValuesOfAtMostFourBytes) {
    put("PollPeriod", REG_BINARY, {0x10, 0x27});                     // two bytes: 10000
    put("AlwaysOnTop", REG_SZ, {'1', 0});                            // 0x0031
    put("SetSystemClock", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0});      // too long: default
    put("24HourDisplay", REG_BINARY, {1, 0, 0, 0, 0});               // too long: default
    put("Iconic", REG_DWORD, {2, 0, 0, 0});
    AppState state;
    loadSettings(state, profile);
    EXPECT_EQ(state.pollPeriod, 10000u);
    EXPECT_EQ(state.alwaysOnTop, 0x31);
    EXPECT_EQ(state.setSystemClock, 0);
    EXPECT_EQ(state.hourDisplay24, 0);
    EXPECT_EQ(state.iconic, 2);
}

TEST_F(RegistryProfileTest, AKeyThatCannotBeOpenedGivesDefaultsAndSilentWrites) {
    RegistryProfile broken{"Marivel", std::string("bad\\\\name")};  // an empty path element is refused
    AppState state;
    state.pollPeriod = 5;
    loadSettings(state, broken);
    EXPECT_EQ(state.pollPeriod, 60u);
    saveSettings(state, broken);  // must not throw or report anything
}
