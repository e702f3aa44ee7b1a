// What the time service does, without Windows: when it asks its server
// (the clock's PollPlan, with the same retries, floor and kisses, plus the
// "now" asks of control code 128), and what it does with an answer: the
// offset from all four NTP timestamps, the clock set to the millisecond
// unless the offset is beyond MaxStep, and the result to publish.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>

#include "net/PollPlan.h"
#include "net/Reply.h"
#include "service/ServiceResult.h"
#include "service/ServiceSettings.h"
#include "settings/AppState.h"

namespace service {

// The server's time at the moment of receiving, as an NTP timestamp, from
// a usable answer to `request`; nullopt when the data holds none. For NTP
// it is T4 plus RFC 4330's offset, T1 being the local send time that the
// counter stamp gives (the request's transmit timestamp is its nonce); for
// RFC 868 the whole second plus half the round trip and half a second.
std::optional<std::uint64_t> serverTimeAtReceipt(const RequestRecord& request, ReplyKind kind,
                                                 const std::uint8_t* data, std::size_t length,
                                                 const ReplyMoment& moment);

class TimeService {
public:
    // "Now" asks taken at most this often; the others are dropped.
    static constexpr std::int64_t kNowSpacingMs = 60000;

    // Puts the settings into `state`, whose request and answer records the
    // service's request and receiving threads share.
    TimeService(AppState& state, const Settings& settings);

    // Control code 128: true when taken, false when dropped. A taken ask
    // goes out as an extra request, as soon as the floor between requests
    // allows, and not to a server that refused us.
    bool askNow(std::int64_t sinceBootMs);
    // Each tick: true when a request is to go out now.
    bool tick(std::uint32_t now, std::int64_t sinceBootMs);
    // An answer to the latest request (the receiving thread's handler):
    // the result of the setting it brought, or nullopt for a kiss or data
    // holding no time.
    std::optional<Result> handle(const RequestRecord& request, const ReplyVerdict& verdict,
                                 const std::uint8_t* data, std::size_t length, const ReplyMoment& moment);

private:
    AppState& state_;
    std::uint32_t maxStepSeconds_;
    PollPlan plan_;
    std::optional<std::int64_t> lastNowMs_;
    bool nowPending_ = false;
};

}  // namespace service
