#include "net/AnswerPolicy.h"

#include <algorithm>

#include "net/RequestStyle.h"

std::uint32_t rateBackoffSeconds(std::uint32_t lastBackoffSeconds, std::uint32_t pollPeriodMinutes) {
    std::uint64_t period = std::uint64_t{pollPeriodMinutes} * kSecondsPerMinute;
    std::uint64_t last = lastBackoffSeconds != 0 ? lastBackoffSeconds : period;
    std::uint64_t wait = std::min<std::uint64_t>(std::max<std::uint64_t>(2 * last, kMinRateBackoffSeconds),
                                                 kMaxRateBackoffSeconds);
    // Slowing down never means asking sooner than the user's own period,
    // however long a stored one is.
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(std::max(wait, period), UINT32_MAX));
}

void applyCorrection(AppState& state, std::int32_t correction, const platform::UtcTime& serverTime) {
    state.correction = correction;
    state.shownCorrection = correction;
    platform::ClockSetting setting = platform::ClockSetting::NotTried;
    if (state.setSystemClock != 0) {
        state.lastClockSettingMs = platform::sinceBootMs();
        setting = platform::setSystemClock(serverTime);
        // The clock now holds the server's time: adding the correction to
        // it again would show the time off by the correction.
        if (setting == platform::ClockSetting::Done) state.shownCorrection = 0;
    }
    state.lastClockSetting = setting;
}

void recordUsableAnswer(AppState& state, std::uint32_t serverSeconds, std::uint32_t now) {
    state.lastResponseTime = static_cast<std::int32_t>(serverSeconds);
    // The server serves us at the user's own pace again.
    state.backoffSeconds = 0;
    state.refusedServer.set("");
    state.nextPollTime = nextPollAfter(now, state.pollPeriod);
}

void handleKiss(AppState& state, const std::string& server, KissCode code, std::uint32_t now) {
    switch (code) {
        case KissCode::Rate: {
            std::uint32_t wait = rateBackoffSeconds(state.backoffSeconds, state.pollPeriod);
            state.backoffSeconds = wait;
            state.nextPollTime = now + wait;
            break;
        }
        case KissCode::Deny:
        case KissCode::Restricted:
            state.refusedServer.set(server);
            break;
        case KissCode::Other:
            // A kiss we do not know: its timestamps are not the time, and
            // the next poll comes as planned.
            break;
    }
}

void handleReply(AppState& state, const Sample& sample) {
    if (sample.kiss) {
        handleKiss(state, sample.server, sample.kissCode, sample.received.now);
        return;
    }
    ClockCorrection reading = sample.style->clockCorrection(sample);
    state.authenticatedBy.set(sample.authenticatedBy);
    applyCorrection(state, reading.correction, reading.setTo);
    recordUsableAnswer(state, reading.serverSeconds, sample.received.now);
}
