#include "net/StepWatch.h"

#include <cstdlib>

void StepWatch::timeChanged(std::int64_t sinceBootMs, std::int64_t ownSettingMs) {
    if (ownSettingMs != 0 && sinceBootMs - ownSettingMs < kOwnSettingEchoMs) return;
    stepPending_ = true;
}

bool StepWatch::tick(const ClockReading& reading, std::int64_t ownSettingMs) {
    // A setting of our own that may have moved the clock since the last
    // reading explains any step: judge nothing across it.
    bool ownSettingBetween = ownSettingMs != 0 && last_ && ownSettingMs >= last_->sinceBootMs - kOwnSettingSlackMs;
    if (last_ && !ownSettingBetween) {
        std::int64_t apart = (reading.wallMs - last_->wallMs) - (reading.sinceBootMs - last_->sinceBootMs);
        if (std::llabs(apart) >= kStepMs) stepPending_ = true;
    }
    last_ = reading;
    bool seen = stepPending_;
    stepPending_ = false;
    return seen;
}
