// One answer to one request, decoded once, and what the two programs make
// of it. The clock reduces it by its own arithmetic of whole seconds and
// truncated milliseconds (a correction, and a time to set); the time
// service to an offset from all four NTP timestamps, rounded to the
// millisecond. Nothing reads the datagram again after it is decoded.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "net/Calendar.h"
#include "net/RequestRecord.h"
#include "net/Wire.h"
#include "platform/Clock.h"

class RequestStyle;

// When a reply is read: the wall clock (whole seconds, as the clock
// window's tick reads it, and to the microsecond from the most precise
// clock the system has), the high-resolution counter with its ticks per
// second, and the counter that runs through sleep.
struct ReplyMoment {
    std::uint32_t now = 0;
    std::uint64_t counter = 0;
    std::uint64_t frequency = 0;
    std::int64_t sinceBootMs = 0;
    std::int64_t wallUs = 0;
};
ReplyMoment currentMoment();

// Wall-clock seconds since 1970, as an unsigned 32-bit count (good to 2106).
std::uint32_t currentSeconds();

// A kiss's code (the reference identifier): slow down, or go away.
enum class KissCode : std::uint8_t { Rate, Deny, Restricted, Other };

struct Sample {
    RequestStyle* style = nullptr;  // the style of the request answered
    std::string server;             // the server text asked
    bool kiss = false;              // a kiss-o'-death: its timestamps are not the time
    KissCode kissCode = KissCode::Other;
    // RFC 868: the seconds since 1900 the server sent.
    std::uint32_t wireSeconds = 0;
    // NTP styles: the packet's header, its four timestamps among it.
    wire::NtpHeader ntp;
    // This computer's side: the request's wall-clock second and counter at
    // sending, and the moment of receipt.
    std::uint32_t sentSeconds = 0;
    std::uint64_t sentCounter = 0;
    ReplyMoment received;
    // An authenticated answer: the server name its key exchange verified.
    // Empty for the styles that authenticate nothing.
    std::string authenticatedBy;
    // What the style decoded beyond the header, for RequestStyle::taken.
    std::shared_ptr<const StyleData> styleData;
};

// What the clock makes of an answer.
struct ClockCorrection {
    std::uint32_t serverSeconds = 0;  // the server's time as it answered: Last Response
    std::int32_t correction = 0;      // whole seconds the local clock is behind
    platform::UtcTime setTo{};        // what the system clock is set to
};

// The clock's reductions. RFC 868: the whole second sent, moved on by half
// the round trip, (now - sentSeconds + 1) / 2 whole seconds; the clock is
// set to its half second.
ClockCorrection clockCorrectionFromSeconds(const Sample& sample);
// NTP: the transmit timestamp moved on by half the round trip on the
// counter, in milliseconds truncated on the way.
ClockCorrection clockCorrectionFromTransmit(const Sample& sample);
// Where the clock is free of that arithmetic: the server's time at receipt
// is the receipt plus `offset`, the service's reduction.
ClockCorrection clockCorrectionFromOffset(const Sample& sample, std::int64_t offset);

// The service's reductions: the offset, server minus local at receipt, in
// 2^-32 s. RFC 868: the clock's adjusted second and its half second.
std::int64_t offsetFromSeconds(const Sample& sample);
// NTP: RFC 4330's offset from the four timestamps: T1 the send, from the
// counter; T2 and T3 the server's receive and transmit; T4 the receipt.
std::int64_t offsetFromTimestamps(const Sample& sample);
// The local receipt, T4.
NtpTimestamp receiptTimestamp(const Sample& sample);

// The pieces of that arithmetic.
struct TimeReplyResult {
    std::uint32_t serverTime;  // the server's time as sent, seconds since 1970
    std::uint32_t adjusted;    // plus half the round trip
    std::int32_t correction;   // adjusted minus now
};
TimeReplyResult computeTimeReply(std::uint32_t wireSeconds, std::uint32_t now, std::uint32_t sentSeconds);

// Half the round trip in milliseconds from the counter now and the low half
// of the counter at sending; 0 when the counter runs slower than 1000 ticks
// per second.
std::int32_t halfRoundTripMs(std::uint64_t counter, std::uint64_t frequency, std::uint32_t sentCounterLow);

struct NtpReplyResult {
    std::uint32_t seconds;    // server time since 1970, plus half the round trip
    int milliseconds;         // 0 to 999
    std::int32_t correction;  // seconds minus now
};
// An NTP reply's transmit timestamp (seconds since 1900 and a binary
// fraction) moved on by halfMs.
NtpReplyResult computeNtpReply(std::uint32_t transmitSeconds, std::uint32_t transmitFraction, std::uint32_t now,
                               std::int32_t halfMs);

// Microseconds from the counter's low 32 bits at sending to `counter`, read
// signed as halfRoundTripMs reads them; 0 when the counter runs slower than
// a million ticks per second.
std::int64_t sinceSendUs(std::uint64_t counter, std::uint64_t frequency, std::uint32_t sentCounterLow);

// RFC 4330 section 5's clock offset ((T2 - T1) + (T3 - T4)) / 2 in 2^-32 s.
// Each difference is read signed, so the offset is right across an era as
// long as it is within 68 years.
std::int64_t ntpOffset(NtpTimestamp t1, NtpTimestamp t2, NtpTimestamp t3, NtpTimestamp t4);
