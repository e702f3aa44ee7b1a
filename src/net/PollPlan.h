// When the clock window's tick asks the server of its own accord: the
// polls, a second try for a poll that got no answer, and an extra request
// after the local clock was stepped. A polite client: it never asks one
// server twice within kMinSpacingMs, adds at most one request a minute to
// the polls, slows down when the server says RATE and stops when it says
// DENY or RSTR. What the user asks for (Ping) does not pass through here.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

struct AppState;

// What a tick knows.
struct PollView {
    std::uint32_t now = 0;        // wall clock, seconds since 1970
    std::int64_t sinceBootMs = 0;  // platform::sinceBootMs()
    std::string server;           // timeServer; empty: nobody to ask
    std::uint32_t nextPollTime = 0;
    std::uint32_t pollPeriodMinutes = 0;
    std::uint32_t backoffSeconds = 0;  // a RATE kiss's wait; 0: none
    bool refused = false;              // the server refused to serve us
    bool stepSeen = false;             // the local clock was stepped
    // The latest request when it went to this server: when it began, and
    // whether it has had its answer.
    std::optional<std::int64_t> lastStartedMs;
    bool lastAnswered = false;
};
PollView pollViewOf(const AppState& state, std::uint32_t now, std::int64_t sinceBootMs, bool stepSeen);

enum class PollReason : std::uint8_t {
    None,
    Poll,   // nextPollTime has come
    Retry,  // the last automatic request is still unanswered
    Step,   // the local clock was stepped
};
struct PollDecision {
    PollReason reason = PollReason::None;
    std::uint32_t nextPollTime = 0;  // unchanged unless a poll starts
};

class PollPlan {
public:
    // RFC 4330's floor between two requests to one server. The stored poll
    // period 0, which asks every second, is its one exception, until the
    // server says RATE.
    static constexpr std::int64_t kMinSpacingMs = 15000;
    // Retries and steps together add at most one request in this time; so
    // do the time service's "now" asks, and the clock's asks of the service.
    static constexpr std::int64_t kExtraSpacingMs = 60000;
    // An unanswered automatic request is asked again this long after it was
    // sent, then after twice as long each time, up to kLastRetryMs, while
    // that comes before the next poll.
    static constexpr std::int64_t kFirstRetryMs = 60000;
    static constexpr std::int64_t kLastRetryMs = 32 * 60000;

    PollDecision tick(const PollView& view);

private:
    PollDecision ask(PollReason reason, const PollView& view, std::uint32_t nextPollTime);

    bool stepPending_ = false;
    std::string lastServer_;  // where this plan last asked, and when
    std::optional<std::int64_t> lastAskedMs_;
    std::optional<std::int64_t> lastExtraMs_;
    std::optional<std::int64_t> retryAtMs_;
    std::int64_t retryIntervalMs_ = 0;
};

// One tick of either program: when `plan` says so, stores the next poll
// time and then calls `ask` to start the request. In that order: an answer
// can come before `ask` returns, and a RATE kiss's later poll time must not
// be overwritten by the plan's.
PollReason pollWhenDue(PollPlan& plan, AppState& state, std::uint32_t now, std::int64_t sinceBootMs, bool stepSeen,
                       const std::function<void()>& ask);
