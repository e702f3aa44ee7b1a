// The service's settings, machine-wide: on Windows
// HKEY_LOCAL_MACHINE\SOFTWARE\Marivel\Service, which only administrators
// can write. The service reads them at start and never writes them.
#pragma once
#include <cstdint>
#include <string>

#include "settings/ProfileStore.h"

namespace service {

constexpr const char* kSettingsSection = "Service";
constexpr const char* kDefaultPort = "ntp";  // the style that carries milliseconds
constexpr std::uint32_t kDefaultPollPeriod = 60;  // minutes
// W32Time's limit on a standalone machine: never step the clock further.
constexpr std::uint32_t kDefaultMaxStep = 54000;  // seconds
// The poll period is kept to the clock's own range; a period of 0, which
// the clock takes as "every second", would be no polite service.
constexpr std::uint32_t kMinPollPeriod = 1;
constexpr std::uint32_t kMaxPollPeriod = 1440;

struct Settings {
    std::string timeServer;  // the server text, as the clock takes it
    std::string port;
    std::uint32_t pollPeriod = kDefaultPollPeriod;
    std::uint32_t maxStep = kDefaultMaxStep;
};

// TimeServer, Port, PollPeriod and MaxStep from `store`'s section
// kSettingsSection, each missing or unreadable one at its default.
Settings loadSettings(ProfileStore& store);

}  // namespace service
