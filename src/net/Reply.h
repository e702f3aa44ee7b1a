// Reading replies and working out the correction. The arithmetic is kept in
// pure functions of their inputs; the handlers apply it to AppState and the
// system clock.
#pragma once
#include <cstddef>
#include <cstdint>

#include "net/Socket.h"
#include "platform/Clock.h"
#include "settings/AppState.h"

// Wall-clock seconds since 1970, as an unsigned 32-bit count (good to 2106).
std::uint32_t currentSeconds();

// When a reply is read: the wall clock, and the high-resolution counter with
// its ticks per second.
struct ReplyMoment {
    std::uint32_t now;
    std::uint64_t counter;
    std::uint64_t frequency;
};
ReplyMoment currentMoment();

struct TimeReplyResult {
    std::uint32_t serverTime;  // the server's time as sent, seconds since 1970
    std::uint32_t adjusted;    // plus half the round trip
    std::int32_t correction;   // adjusted minus now
};
// An RFC 868 reply: wireSeconds count from 1900. Half the round trip is
// (now - sendStamp + 1) / 2 whole seconds; without the round trip (the
// stamp belongs to another style) it is 0.
TimeReplyResult computeTimeReply(std::uint32_t wireSeconds, std::uint32_t now, std::uint32_t sendStamp,
                                 bool withRoundTrip);

// Half the round trip in milliseconds from the counter now and the low half
// of the counter at sending; 0 when the counter runs slower than 1000 ticks
// per second.
std::int32_t halfRoundTripMs(std::uint64_t counter, std::uint64_t frequency, std::uint32_t sendStamp);

struct NtpReplyResult {
    std::uint32_t seconds;  // server time since 1970, plus half the round trip
    int milliseconds;       // 0 to 999
    std::int32_t correction;  // seconds minus now
};
// An NTP reply's transmit timestamp (seconds since 1900 and a binary
// fraction) moved on by halfMs.
NtpReplyResult computeNtpReply(std::uint32_t transmitSeconds, std::uint32_t transmitFraction, std::uint32_t now,
                               std::int32_t halfMs);

// Calendar fields of an unsigned second count since 1970 (1970 to 2106).
platform::UtcTime utcFromSeconds(std::uint32_t secondsSince1970, int milliseconds);

// An NTP reply worth reading: whole, from a server (mode 4), synchronized
// (leap indicator not 3), not a kiss-o'-death (stratum 0), with a transmit
// timestamp.
bool isUsableNtpReply(const std::uint8_t* data, std::size_t length);
// A datagram is read only when it comes from where the last request went,
// and is four bytes or a usable NTP reply.
bool acceptsReply(const RequestRecord& lastRequest, const CInetAddr& from, const std::uint8_t* data,
                  std::size_t length);

// Records a reply's correction, and sets the system clock to serverTime when
// setSystemClock is on. After a setting that worked the display adds
// nothing (shownCorrection 0); after one that failed, or none, it adds the
// correction. Nothing is retried.
void applyCorrection(AppState& state, std::int32_t correction, const platform::UtcTime& serverTime);

// Apply an accepted reply: lastResponseTime, correction, nextPollTime, and
// the system clock when setSystemClock is on.
void handleTimeReply(AppState& state, const RequestRecord& lastRequest, const std::uint8_t* data,
                     std::size_t length, const ReplyMoment& moment);
void handleNtpReply(AppState& state, const RequestRecord& lastRequest, const std::uint8_t* data,
                    std::size_t length, const ReplyMoment& moment);
// Four bytes go to handleTimeReply, anything else to handleNtpReply.
void handleReply(AppState& state, const RequestRecord& lastRequest, const std::uint8_t* data, std::size_t length,
                 const ReplyMoment& moment);
