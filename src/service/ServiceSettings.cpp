#include "service/ServiceSettings.h"

#include <algorithm>

#include "settings/AppState.h"

namespace service {

Settings loadSettings(ProfileStore& store) {
    Settings settings;
    settings.timeServer = store.readText(kSettingsSection, "TimeServer", kServiceDefaultServer);
    settings.port = store.readText(kSettingsSection, "Port", kServiceDefaultPort);
    settings.pollPeriod =
        std::clamp(store.readNumber(kSettingsSection, "PollPeriod", kDefaultPollPeriod), kPollPeriodMinMinutes,
                   kPollPeriodMaxMinutes);
    settings.maxStep = store.readNumber(kSettingsSection, "MaxStep", kDefaultMaxStep);
    return settings;
}

}  // namespace service
