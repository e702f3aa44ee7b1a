// What the time service does, without Windows: when it asks its server
// (the clock's PollPlan, with the same retries, floor and kisses, plus the
// "now" asks of control code 128), and what it does with an answer: the
// offset from all four NTP timestamps, the clock set to the millisecond
// unless the offset is beyond MaxStep, and the result to publish.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>

#include "net/PollPlan.h"
#include "net/Sample.h"
#include "platform/Clock.h"
#include "service/ServiceResult.h"
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
    // Each tick: calls `ask` when a request is to go out now; true then.
    bool tick(std::uint32_t now, std::int64_t sinceBootMs, const std::function<void()>& ask);
    // An answer to the latest request (the receiving thread's handler):
    // the result of the setting it brought, or nullopt for a kiss.
    std::optional<Result> handle(const Sample& sample);

private:
    AppState& state_;
    std::uint32_t maxStepSeconds_;
    ClockReader readClockUs_;
    PollPlan plan_;
    std::optional<std::int64_t> lastNowMs_;
    bool nowPending_ = false;
};

}  // namespace service
