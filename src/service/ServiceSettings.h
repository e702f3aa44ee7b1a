// The service's settings, machine-wide: on Windows
// HKEY_LOCAL_MACHINE\SOFTWARE\Marivel\Service, which only administrators
// can write. The service reads them at start and never writes them.
#pragma once
#include <cstdint>
#include <string>

#include "settings/AppState.h"
#include "settings/ProfileStore.h"

namespace service {

constexpr const char* kSettingsSection = "Service";
constexpr const char* kServiceDefaultPort = "ntp";  // the style that carries milliseconds
// W32Time's limit on a standalone machine: never step the clock further.
constexpr std::uint32_t kDefaultMaxStep = 54000;  // seconds

struct Settings {
    std::string timeServer;  // the server text, as the clock takes it
    std::string port;
    std::uint32_t pollPeriod = kDefaultPollPeriod;
    std::uint32_t maxStep = kDefaultMaxStep;
};

// TimeServer, Port, PollPeriod and MaxStep from `store`'s section
// kSettingsSection, each missing or unreadable one at its default. The
// poll period is kept to the range of the clock's arrows: a period of 0,
// which the clock takes as "every second", would be no polite service.
Settings loadSettings(ProfileStore& store);

}  // namespace service
