#include "service/TimeService.h"

#include "net/AnswerPolicy.h"
#include "net/Calendar.h"
#include "net/RequestStyle.h"
#include "net/Wire.h"
#include "platform/Clock.h"

namespace service {
namespace {

Setting settingOf(platform::ClockSetting outcome) {
    switch (outcome) {
        case platform::ClockSetting::Done:
            return Setting::Done;
        case platform::ClockSetting::NotAllowed:
            return Setting::Refused;
        case platform::ClockSetting::NotTried:
        case platform::ClockSetting::Failed:
            break;
    }
    return Setting::Failed;
}

}  // namespace

TimeService::TimeService(AppState& state, const Settings& settings, ClockReader readClockUs)
    : state_(state), maxStepSeconds_(settings.maxStep), readClockUs_(std::move(readClockUs)) {
    state_.timeServer.set(settings.timeServer);
    state_.port.set(settings.port);
    state_.pollPeriod = settings.pollPeriod;
    // The service sets the clock itself, from the offset to the millisecond.
    state_.setSystemClock = 0;
}

bool TimeService::askNow(std::int64_t sinceBootMs) {
    if (lastNowMs_ && sinceBootMs - *lastNowMs_ < PollPlan::kExtraSpacingMs) return false;
    lastNowMs_ = sinceBootMs;
    nowPending_ = true;
    return true;
}

bool TimeService::tick(std::uint32_t now, std::int64_t sinceBootMs, const std::function<void()>& ask) {
    // A "now" is an extra request, as a step of the clock is to the clock.
    PollReason reason = pollWhenDue(plan_, state_, now, sinceBootMs, nowPending_, ask);
    nowPending_ = false;
    return reason != PollReason::None;
}

std::optional<Result> TimeService::handle(const Sample& sample) {
    if (sample.kiss) {
        handleKiss(state_, sample.server, sample.kissCode, sample.received.now);
        return std::nullopt;
    }
    std::int64_t offset = sample.style->serviceOffset(sample);
    NtpTimestamp serverTime = receiptTimestamp(sample) + static_cast<std::uint64_t>(offset);

    Result result;
    result.when = secondsOfNtpTimestamp(serverTime);
    result.server = sample.server;
    result.offsetMs = nearestMilliseconds(offset);
    std::int64_t limitMs = std::int64_t{maxStepSeconds_} * wire::kMillisecondsPerSecond;
    if (result.offsetMs > limitMs || result.offsetMs < -limitMs) {
        result.setting = Setting::Skipped;
    } else {
        // The offset goes onto the clock as it reads now, so that the work
        // since the receipt adds nothing to the error.
        state_.lastClockSettingMs = platform::sinceBootMs();
        NtpTimestamp setTo = ntpTimestampOfUs(readClockUs_()) + static_cast<std::uint64_t>(offset);
        result.setting = settingOf(platform::setSystemClock(utcOfNtpTimestamp(setTo)));
    }
    state_.correction = static_cast<std::int32_t>(result.offsetMs / wire::kMillisecondsPerSecond);
    recordUsableAnswer(state_, result.when, sample.received.now);
    return result;
}

}  // namespace service
