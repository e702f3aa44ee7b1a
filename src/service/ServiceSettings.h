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
// A service that sets every user's clock believes only authenticated
// answers unless its administrator says otherwise: NTS, from a server
// whose operator documents it, anycast from many cities.
constexpr const char* kServiceDefaultServer = "time.cloudflare.com";
constexpr const char* kServiceDefaultPort = "nts";
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
