#include "service/TimeService.h"

#include "net/AnswerPolicy.h"
#include "net/Calendar.h"
#include "net/RequestStyle.h"
#include "net/Wire.h"
#include "platform/Clock.h"

namespace service {
namespace {

SettingOutcome outcomeOf(platform::ClockSetting setting) {
    switch (setting) {
        case platform::ClockSetting::Done:
            return SettingOutcome::Done;
        case platform::ClockSetting::NotAllowed:
            return SettingOutcome::Refused;
        case platform::ClockSetting::NotTried:
        case platform::ClockSetting::Failed:
            break;
    }
    return SettingOutcome::Failed;
}

// The first instant at or after `at` that falls on a whole millisecond.
NtpTimestamp nextWholeMillisecond(NtpTimestamp at) {
    constexpr std::uint64_t kSecond = std::uint64_t{1} << wire::kNtpFractionBits;
    std::uint64_t fraction = at & (kSecond - 1);
    std::uint64_t ms = (fraction * 1000 + kSecond - 1) >> wire::kNtpFractionBits;  // rounded up, 0 to 1000
    std::uint64_t msFraction = (ms * kSecond + 999) / 1000;  // rounded up too: never before that millisecond
    return (at - fraction) + msFraction;
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

void TimeService::timeChanged(std::int64_t sinceBootMs) { steps_.timeChanged(sinceBootMs, state_.lastClockSettingMs); }

void TimeService::resumed() { steps_.resumed(); }

bool TimeService::tick(const ClockReading& reading, const std::function<void()>& ask) {
    bool stepSeen = steps_.tick(reading, state_.lastClockSettingMs);
    // A "now" is an extra request, as a step of the clock is.
    auto now = static_cast<std::uint32_t>(reading.wallMs / wire::kMillisecondsPerSecond);
    PollReason reason = pollWhenDue(plan_, state_, now, reading.sinceBootMs, stepSeen || nowPending_, ask);
    nowPending_ = false;
    return reason != PollReason::None;
}

// SYSTEMTIME holds whole milliseconds: set at the instant the server's time
// reaches one, the setting is exact instead of rounded by up to half a
// millisecond. That instant is at most a millisecond away, read off the
// clock as it runs.
NtpTimestamp TimeService::settingInstant(std::int64_t offset) {
    std::int64_t firstUs = readClockUs_();
    NtpTimestamp at = ntpTimestampOfUs(firstUs) + static_cast<std::uint64_t>(offset);
    NtpTimestamp wanted = nextWholeMillisecond(at);
    while (static_cast<std::int64_t>(at - wanted) < 0) {
        std::int64_t us = readClockUs_();
        at = ntpTimestampOfUs(us) + static_cast<std::uint64_t>(offset);
        // Stepped back meanwhile: the time as it now reads, to the nearest
        // millisecond.
        if (us < firstUs) return at;
    }
    return wanted;
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
    result.authenticatedBy = sample.authenticatedBy;
    result.offsetMs = nearestMilliseconds(offset);
    std::int64_t limitMs = std::int64_t{maxStepSeconds_} * wire::kMillisecondsPerSecond;
    if (result.offsetMs > limitMs || result.offsetMs < -limitMs) {
        result.setting = SettingOutcome::Skipped;
    } else {
        // The receipt, a moment before the setting begins, is when the
        // StepWatch's reading of the clock stops telling its steps.
        state_.lastClockSettingMs = sample.received.sinceBootMs;
        // The offset goes onto the clock as it reads now, so that the work
        // since the receipt adds nothing to the error.
        result.setting = outcomeOf(platform::setSystemClock(utcOfNtpTimestamp(settingInstant(offset))));
    }
    state_.correction = static_cast<std::int32_t>(result.offsetMs / wire::kMillisecondsPerSecond);
    recordUsableAnswer(state_, result.when, sample.received.now);
    return result;
}

}  // namespace service
