#include "net/PollPlan.h"

#include <algorithm>

#include "settings/AppState.h"

PollView pollViewOf(const AppState& state, std::uint32_t now, std::int64_t sinceBootMs, bool stepSeen) {
    PollView view;
    view.now = now;
    view.sinceBootMs = sinceBootMs;
    view.server = state.timeServer.get();
    view.nextPollTime = state.nextPollTime;
    view.pollPeriodMinutes = state.pollPeriod;
    view.backoffSeconds = state.backoffSeconds;
    view.refused = serverRefusesUs(state);
    view.stepSeen = stepSeen;
    RequestRecord last = state.lastRequest.get();
    if (last.serial != 0 && last.server == view.server) {
        view.lastStartedMs = last.startedMs;
        view.lastAnswered = last.answered;
    }
    return view;
}

PollDecision PollPlan::tick(const PollView& view) {
    PollDecision none{PollReason::None, view.nextPollTime};
    if (view.stepSeen) stepPending_ = true;
    if (view.server.empty() || view.refused) {
        // Nobody to ask, or a server that asked us to stop: only the user
        // may ask it now.
        stepPending_ = false;
        retryAtMs_.reset();
        return none;
    }
    if (view.lastAnswered) retryAtMs_.reset();

    std::optional<std::int64_t> lastMs = view.lastStartedMs;
    if (lastAskedMs_ && lastServer_ == view.server) lastMs = std::max(lastMs.value_or(*lastAskedMs_), *lastAskedMs_);
    bool spaced = !lastMs || view.sinceBootMs - *lastMs >= kMinSpacingMs;
    std::uint32_t wait = view.backoffSeconds != 0 ? view.backoffSeconds : view.pollPeriodMinutes * 60u;

    if (view.now >= view.nextPollTime) {
        bool everySecond = view.pollPeriodMinutes == 0 && view.backoffSeconds == 0;
        if (!spaced && !everySecond) return none;  // due as soon as the floor allows
        return ask(PollReason::Poll, view, view.now + wait);
    }
    bool extraAllowed = spaced && (!lastExtraMs_ || view.sinceBootMs - *lastExtraMs_ >= kExtraSpacingMs);
    if (!extraAllowed) return none;
    if (retryAtMs_ && view.sinceBootMs >= *retryAtMs_) {
        std::int64_t interval = retryIntervalMs_ * 2;
        lastExtraMs_ = view.sinceBootMs;
        PollDecision retry = ask(PollReason::Retry, view, view.nextPollTime);
        retryIntervalMs_ = interval;
        if (interval <= kLastRetryMs)
            retryAtMs_ = view.sinceBootMs + interval;
        else
            retryAtMs_.reset();
        return retry;
    }
    if (stepPending_) {
        lastExtraMs_ = view.sinceBootMs;
        // Asked in place of a poll: the period counts from here.
        return ask(PollReason::Step, view, view.now + wait);
    }
    return none;
}

PollDecision PollPlan::ask(PollReason reason, const PollView& view, std::uint32_t nextPollTime) {
    // One request answers a step and a retry as well as a poll.
    stepPending_ = false;
    lastServer_ = view.server;
    lastAskedMs_ = view.sinceBootMs;
    retryAtMs_ = view.sinceBootMs + kFirstRetryMs;
    retryIntervalMs_ = kFirstRetryMs;
    return PollDecision{reason, nextPollTime};
}

PollReason pollWhenDue(PollPlan& plan, AppState& state, std::uint32_t now, std::int64_t sinceBootMs, bool stepSeen,
                       const std::function<void()>& ask) {
    PollDecision decision = plan.tick(pollViewOf(state, now, sinceBootMs, stepSeen));
    if (decision.reason == PollReason::None) return decision.reason;
    state.nextPollTime = decision.nextPollTime;
    ask();
    return decision.reason;
}
