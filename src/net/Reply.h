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
    std::int64_t sinceBootMs;  // platform::sinceBootMs()
    std::int64_t wallUs = 0;   // platform::wallClockUs(), read with `now`
};
ReplyMoment currentMoment();

struct TimeReplyResult {
    std::uint32_t serverTime;  // the server's time as sent, seconds since 1970
    std::uint32_t adjusted;    // plus half the round trip
    std::int32_t correction;   // adjusted minus now
};
// An RFC 868 reply: wireSeconds count from 1900. Half the round trip is
// (now - sendStamp + 1) / 2 whole seconds.
TimeReplyResult computeTimeReply(std::uint32_t wireSeconds, std::uint32_t now, std::uint32_t sendStamp);

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

// Microseconds from the counter's low 32 bits at sending (sendStamp) to
// `counter`, read signed as halfRoundTripMs reads them; 0 when the counter
// runs slower than a million ticks per second.
std::int64_t sinceSendUs(std::uint64_t counter, std::uint64_t frequency, std::uint32_t sendStamp);

// An NTP timestamp: seconds since 1900 in the high 32 bits (modulo 2^32, so
// era 1 from 2036 on), a binary fraction in the low 32.
std::uint64_t ntpTimestampOfUs(std::int64_t microsecondsSince1970);
// RFC 4330 section 5's clock offset ((T2 - T1) + (T3 - T4)) / 2 in 2^-32 s:
// t1 the request's local sending, t2 and t3 the server's receive and
// transmit timestamps, t4 the local receiving. Each difference is read
// signed, so the offset is right across an era as long as it is within 68
// years.
std::int64_t ntpOffset(std::uint64_t t1, std::uint64_t t2, std::uint64_t t3, std::uint64_t t4);
// 2^-32 s units to the nearest millisecond; a half rounds up.
std::int64_t nearestMilliseconds(std::int64_t ntpUnits);
// The calendar fields of an NTP timestamp, to the nearest millisecond.
platform::UtcTime utcOfNtpTimestamp(std::uint64_t timestamp);

// Calendar fields of an unsigned second count since 1970 (1970 to 2106).
platform::UtcTime utcFromSeconds(std::uint32_t secondsSince1970, int milliseconds);

// What a datagram on the socket is to us.
enum class ReplyKind : std::uint8_t {
    Ignored,  // no answer to the latest request, or one that says nothing usable
    Time,     // an RFC 868 answer to a Time-style request
    Ntp,      // a usable NTP answer to an Ntp-style request
    Kiss,     // the server's kiss-o'-death to an Ntp-style request
};
// A kiss's code (the reference identifier): slow down, or go away.
enum class KissCode : std::uint8_t { Rate, Deny, Restricted, Other };

struct ReplyVerdict {
    ReplyKind kind = ReplyKind::Ignored;
    KissCode kiss = KissCode::Other;  // for ReplyKind::Kiss
};

// The root distance (root delay / 2 + root dispersion) above which a
// server's time is too uncertain to use, in 2^-16 s.
constexpr std::uint64_t kMaxRootDistance = std::uint64_t{5} << 16;

// Judges a datagram against the latest request, received at
// `sinceBootMs`. It answers that request only if the request went out and
// has no answer yet, the datagram comes from where it went, within
// kReplyWindowMs of its start, and in its style: four bytes for Time; for
// Ntp a whole server packet whose origin timestamp is the request's nonce.
// Such a packet with stratum 0 is a kiss; otherwise it is used only when
// synchronized (leap indicator not 3, stratum below 16), with a root
// distance of at most kMaxRootDistance and a transmit timestamp.
ReplyVerdict judgeReply(const RequestRecord& request, const CInetAddr& from, const std::uint8_t* data,
                        std::size_t length, std::int64_t sinceBootMs);

// The wait before the next automatic request after a RATE kiss: twice the
// last wait (the last kiss's, or else the poll period), at least 64 s and at
// most 36 hours, but never less than the poll period.
constexpr std::uint32_t kMinRateBackoffSeconds = 64;
constexpr std::uint32_t kMaxRateBackoffSeconds = 36 * 3600;
std::uint32_t rateBackoffSeconds(std::uint32_t lastBackoffSeconds, std::uint32_t pollPeriodMinutes);

// Records a reply's correction, and sets the system clock to serverTime when
// setSystemClock is on. After a setting that worked the display adds
// nothing (shownCorrection 0); after one that failed, or none, it adds the
// correction. Nothing is retried.
void applyCorrection(AppState& state, std::int32_t correction, const platform::UtcTime& serverTime);

// What every usable answer records: when the server answered
// (serverSeconds), no RATE back-off or refusal any more, and the next poll
// a period after `now`.
void recordUsableAnswer(AppState& state, std::uint32_t serverSeconds, std::uint32_t now);

// Apply an answer to the request: lastResponseTime, correction,
// nextPollTime, and the system clock when setSystemClock is on. A usable
// answer also ends a RATE back-off and a refusal.
void handleTimeReply(AppState& state, const RequestRecord& request, const std::uint8_t* data, std::size_t length,
                     const ReplyMoment& moment);
void handleNtpReply(AppState& state, const RequestRecord& request, const std::uint8_t* data, std::size_t length,
                    const ReplyMoment& moment);
// A kiss's timestamps are never used. RATE sets the back-off and the next
// poll after it; DENY and RSTR mark the request's server as refusing us.
void handleKiss(AppState& state, const RequestRecord& request, KissCode code, const ReplyMoment& moment);
// Applies what judgeReply found.
void handleReply(AppState& state, const RequestRecord& request, const ReplyVerdict& verdict,
                 const std::uint8_t* data, std::size_t length, const ReplyMoment& moment);
