#include "settings/AppState.h"

#include "settings/ProfileStore.h"

const char* const kBuiltInServerList =
    "time.nist.gov|time-a-g.nist.gov|time-b-g.nist.gov|time-c-g.nist.gov|time-d-g.nist.gov|"
    "time-a-wwv.nist.gov|time-b-wwv.nist.gov|time-c-wwv.nist.gov|time-d-wwv.nist.gov|"
    "time-a-b.nist.gov|time-b-b.nist.gov|time-c-b.nist.gov|time-d-b.nist.gov|"
    "utcnist.colorado.edu|utcnist2.colorado.edu|time.google.com|time.cloudflare.com|"
    "time.windows.com|time.apple.com|pool.ntp.org|europe.pool.ntp.org|north-america.pool.ntp.org|"
    "ptbtime1.ptb.de";
const char* const kDefaultTimeServer = "time.nist.gov";

namespace {

const char kSection[] = "Settings";
// A stored list this short cannot name a server and a separator.
constexpr std::size_t kShortestServerList = 3;

std::int32_t readFlag(ProfileStore& store, const char* key, std::int32_t defaultValue) {
    return static_cast<std::int32_t>(store.readNumber(kSection, key, static_cast<std::uint32_t>(defaultValue)));
}

}  // namespace

bool serverRefusesUs(const AppState& state) {
    std::string server = state.timeServer.get();
    return !server.empty() && state.refusedServer.get() == server;
}

void loadSettings(AppState& state, ProfileStore& store) {
    state.timeServer.set(store.readText(kSection, "TimeServer", kDefaultTimeServer));
    std::string list = store.readText(kSection, "TimeServerList", kBuiltInServerList);
    state.timeServerList.set(list.size() < kShortestServerList ? kBuiltInServerList : list);
    state.port.set(store.readText(kSection, "Port", kDefaultPort));
    state.alwaysOnTop = readFlag(store, "AlwaysOnTop", 0);
    state.setSystemClock = readFlag(store, "SetSystemClock", 0);
    state.pollPeriod = store.readNumber(kSection, "PollPeriod", kDefaultPollPeriod);
    state.hourDisplay24 = readFlag(store, "24HourDisplay", 0);
    state.iconic = readFlag(store, "Iconic", 0);
}

void saveSettings(const AppState& state, ProfileStore& store) {
    store.writeText(kSection, "TimeServer", state.timeServer.get());
    store.writeText(kSection, "TimeServerList", state.timeServerList.get());
    store.writeText(kSection, "Port", state.port.get());
    store.writeNumber(kSection, "AlwaysOnTop", static_cast<std::uint32_t>(state.alwaysOnTop.load()));
    store.writeNumber(kSection, "SetSystemClock", static_cast<std::uint32_t>(state.setSystemClock.load()));
    store.writeNumber(kSection, "PollPeriod", state.pollPeriod.load());
    store.writeNumber(kSection, "24HourDisplay", static_cast<std::uint32_t>(state.hourDisplay24.load()));
    store.writeNumber(kSection, "Iconic", static_cast<std::uint32_t>(state.iconic.load()));
}
