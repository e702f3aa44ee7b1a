#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "settings/AppState.h"
#include "settings/MemoryProfileStore.h"

namespace {

const char kSection[] = "Settings";

std::vector<std::string> split(const std::string& list) {
    std::vector<std::string> pieces;
    std::stringstream stream(list);
    std::string piece;
    while (std::getline(stream, piece, '|')) pieces.push_back(piece);
    return pieces;
}

void putValue(MemoryProfileStore& store, const char* key, std::uint32_t type, std::vector<std::uint8_t> bytes) {
    store.values[{kSection, key}] = StoredValue{type, std::move(bytes)};
}

}  // namespace

TEST(BuiltInServerList, HoldsTwentyThreeNamesLedByTheDefault) {
    std::vector<std::string> names = split(kBuiltInServerList);
    ASSERT_EQ(names.size(), 23u);
    EXPECT_EQ(names.front(), kDefaultTimeServer);
    EXPECT_EQ(std::string(kDefaultTimeServer), "time.nist.gov");
    for (const std::string& name : names) EXPECT_FALSE(name.empty());
    EXPECT_NE(std::string(kBuiltInServerList).back(), '|');
}

TEST(LoadSettings, EmptyStoreGivesTheDefaultsInOrder) {
    MemoryProfileStore store;
    AppState state;
    loadSettings(state, store);
    EXPECT_EQ(state.timeServer.get(), "time.nist.gov");
    EXPECT_EQ(state.timeServerList.get(), kBuiltInServerList);
    EXPECT_EQ(state.port.get(), "37");
    EXPECT_EQ(state.alwaysOnTop, 0);
    EXPECT_EQ(state.setSystemClock, 0);
    EXPECT_EQ(state.pollPeriod, 60u);
    EXPECT_EQ(state.hourDisplay24, 0);
    EXPECT_EQ(state.iconic, 0);
    EXPECT_EQ(store.readKeys, (std::vector<std::string>{"TimeServer", "TimeServerList", "Port", "AlwaysOnTop",
                                                         "SetSystemClock", "PollPeriod", "24HourDisplay", "Iconic"}));
}

TEST(SaveSettings, WritesAllEightTextsFirstWithTheirTypes) {
    MemoryProfileStore store;
    AppState state;
    loadSettings(state, store);
    state.iconic = 2;
    saveSettings(state, store);
    EXPECT_EQ(store.writtenKeys, (std::vector<std::string>{"TimeServer", "TimeServerList", "Port", "AlwaysOnTop",
                                                            "SetSystemClock", "PollPeriod", "24HourDisplay", "Iconic"}));
    const StoredValue& server = store.values.at({kSection, "TimeServer"});
    EXPECT_EQ(server.type, StoredValue::kText);
    EXPECT_EQ(std::string(server.bytes.begin(), server.bytes.end()), std::string("time.nist.gov", 14));
    const StoredValue& period = store.values.at({kSection, "PollPeriod"});
    EXPECT_EQ(period.type, StoredValue::kNumber);
    EXPECT_EQ(period.bytes, (std::vector<std::uint8_t>{60, 0, 0, 0}));
    EXPECT_EQ(store.values.at({kSection, "Iconic"}).bytes, (std::vector<std::uint8_t>{2, 0, 0, 0}));
}

TEST(LoadSettings, ShortServerListsAreReplaced) {
    for (const char* stored : {"", "a", "a|"}) {
        MemoryProfileStore store;
        store.writeText(kSection, "TimeServerList", stored);
        AppState state;
        loadSettings(state, store);
        EXPECT_EQ(state.timeServerList.get(), kBuiltInServerList) << '"' << stored << '"';
    }
    MemoryProfileStore store;
    store.writeText(kSection, "TimeServerList", "a|b");
    AppState state;
    loadSettings(state, store);
    EXPECT_EQ(state.timeServerList.get(), "a|b");
}

TEST(LoadSettings, StoredValuesWinOverDefaults) {
    MemoryProfileStore store;
    store.writeText(kSection, "TimeServer", "");
    store.writeText(kSection, "Port", "ntp");
    store.writeNumber(kSection, "PollPeriod", 0);
    store.writeNumber(kSection, "Iconic", 2);
    store.writeNumber(kSection, "24HourDisplay", 1);
    AppState state;
    loadSettings(state, store);
    EXPECT_EQ(state.timeServer.get(), "");  // the default is only for a missing value
    EXPECT_EQ(state.port.get(), "ntp");
    EXPECT_EQ(state.pollPeriod, 0u);
    EXPECT_EQ(state.iconic, 2);
    EXPECT_EQ(state.hourDisplay24, 1);
}

TEST(StoredValueRules, TextsReadUpToTheFirstZeroWhateverTheType) {
    MemoryProfileStore store;
    putValue(store, "TimeServer", StoredValue::kNumber, {'a', 'b', 0, 'c'});
    putValue(store, "Port", 3 /* REG_BINARY */, {'1', '2', '3'});
    AppState state;
    loadSettings(state, store);
    EXPECT_EQ(state.timeServer.get(), "ab");
    EXPECT_EQ(state.port.get(), "123");
}

TEST(StoredValueRules, NumbersComeFromAnyValueOfAtMostFourBytes) {
    MemoryProfileStore store;
    putValue(store, "PollPeriod", StoredValue::kText, {'a', 'b', 0});  // 0x006261
    putValue(store, "AlwaysOnTop", 3, {1});
    putValue(store, "SetSystemClock", 11 /* REG_QWORD */, {1, 0, 0, 0, 0, 0, 0, 0});
    putValue(store, "Iconic", 3, {});
    AppState state;
    state.iconic = 5;
    loadSettings(state, store);
    EXPECT_EQ(state.pollPeriod, 0x6261u);
    EXPECT_EQ(state.alwaysOnTop, 1);
    EXPECT_EQ(state.setSystemClock, 0);  // longer than 4 bytes: the default
    EXPECT_EQ(state.iconic, 0);          // no bytes: zero
}

TEST(StoredValueRules, RoundTripThroughTheStore) {
    MemoryProfileStore store;
    AppState saved;
    saved.timeServer.set("127.0.0.1:37");
    saved.timeServerList.set("x|y|");
    saved.port.set("ntp");
    saved.alwaysOnTop = 1;
    saved.setSystemClock = 1;
    saved.pollPeriod = 65535;
    saved.hourDisplay24 = 1;
    saved.iconic = 1;
    saveSettings(saved, store);
    AppState loaded;
    loadSettings(loaded, store);
    EXPECT_EQ(loaded.timeServer.get(), "127.0.0.1:37");
    EXPECT_EQ(loaded.timeServerList.get(), "x|y|");
    EXPECT_EQ(loaded.port.get(), "ntp");
    EXPECT_EQ(loaded.alwaysOnTop, 1);
    EXPECT_EQ(loaded.setSystemClock, 1);
    EXPECT_EQ(loaded.pollPeriod, 65535u);
    EXPECT_EQ(loaded.hourDisplay24, 1);
    EXPECT_EQ(loaded.iconic, 1);
}
