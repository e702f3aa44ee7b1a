// What the time service does, without Windows: when it asks its server
// (the clock's PollPlan, with the same retries, floor and kisses, plus the
// "now" asks of control code 128 and the steps of the clock its StepWatch
// sees), and what it does with an answer: the offset from all four NTP
// timestamps, the clock set to the millisecond unless the offset is beyond
// MaxStep, and the result to publish.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>

#include "link/ServiceResult.h"
#include "net/PollPlan.h"
#include "net/Sample.h"
#include "net/StepWatch.h"
#include "platform/Clock.h"
#include "service/ServiceSettings.h"
#include "settings/AppState.h"

namespace service {

class TimeService {
public:
    // Reads the wall clock in microseconds since 1970, as precisely as the
    // system can: what the offset is applied to when the clock is set.
    using ClockReader = std::function<std::int64_t()>;

    // Puts the settings into `state`, whose request and answer records the
    // service's request and receiving threads share.
    TimeService(AppState& state, const Settings& settings, ClockReader readClockUs = platform::preciseWallClockUs);

    // Control code 128: true when taken, false when dropped: taken at most
    // once in PollPlan::kExtraSpacingMs. A taken ask goes out as an extra
    // request, as soon as the floor between requests allows, and not to a
    // server that refused us.
    bool askNow(std::int64_t sinceBootMs);
    // Windows says the time changed (SERVICE_CONTROL_TIMECHANGE), or that
    // the machine resumed from sleep: the clock may have been stepped. Its
    // own settings of the clock are no step.
    void timeChanged(std::int64_t sinceBootMs);
    void resumed();
    // Each tick, on the service's loop: calls `ask` when a request is to go
    // out now; true then. A step seen is asked about as the clock does, at
    // most once in PollPlan::kExtraSpacingMs together with the "now" asks.
    bool tick(const ClockReading& reading, const std::function<void()>& ask);
    // An answer to the latest request (the receiving thread's handler):
    // the result of the setting it brought, or nullopt for a kiss.
    std::optional<Result> handle(const Sample& sample);

private:
    NtpTimestamp settingInstant(std::int64_t offset);

    AppState& state_;
    std::uint32_t maxStepSeconds_;
    ClockReader readClockUs_;
    PollPlan plan_;
    StepWatch steps_;
    std::optional<std::int64_t> lastNowMs_;
    bool nowPending_ = false;
};

}  // namespace service
