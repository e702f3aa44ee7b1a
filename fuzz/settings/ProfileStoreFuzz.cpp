// The settings-store read rules with values of every type and size, as a
// user's registry may hold them. Whatever was stored, the settings read
// from it must come back unchanged once saved and read again.
#include <string>

#include "FuzzInput.h"
#include "settings/AppState.h"
#include "settings/MemoryProfileStore.h"

namespace {

const char* const kKeys[] = {"TimeServer", "TimeServerList", "Port", "AlwaysOnTop",
                             "SetSystemClock", "PollPeriod", "24HourDisplay", "Iconic"};

struct Loaded {
    std::string timeServer, timeServerList, port;
    std::int32_t alwaysOnTop, setSystemClock, hourDisplay24, iconic;
    std::uint32_t pollPeriod;

    explicit Loaded(const AppState& state)
        : timeServer(state.timeServer.get()),
          timeServerList(state.timeServerList.get()),
          port(state.port.get()),
          alwaysOnTop(state.alwaysOnTop),
          setSystemClock(state.setSystemClock),
          hourDisplay24(state.hourDisplay24),
          iconic(state.iconic),
          pollPeriod(state.pollPeriod) {}
    bool operator==(const Loaded& other) const {
        return timeServer == other.timeServer && timeServerList == other.timeServerList && port == other.port &&
               alwaysOnTop == other.alwaysOnTop && setSystemClock == other.setSystemClock &&
               hourDisplay24 == other.hourDisplay24 && iconic == other.iconic && pollPeriod == other.pollPeriod;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    MemoryProfileStore store;
    for (const char* key : kKeys) {
        std::uint8_t presence = input.byte();
        if ((presence & 1) == 0) continue;  // missing
        StoredValue value{input.number<std::uint32_t>(), input.bytes(300)};
        std::string text = textFromStoredValue(value);
        FUZZ_CHECK(text.find('\0') == std::string::npos && text.size() <= value.bytes.size());
        std::uint32_t number = 0xA5A5A5A5u;
        bool isNumber = numberFromStoredValue(value, number);
        FUZZ_CHECK(isNumber == (value.bytes.size() <= 4));
        store.values[{"Settings", key}] = std::move(value);
    }

    AppState state;
    loadSettings(state, store);
    Loaded first(state);
    FUZZ_CHECK(first.timeServerList.size() >= 3);

    MemoryProfileStore saved;
    saveSettings(state, saved);
    AppState again;
    loadSettings(again, saved);
    FUZZ_CHECK(Loaded(again) == first);
    return 0;
}
