// What an answer changes in the shared state: the correction and the
// display, the next poll, a server's RATE back-off and its refusal.
#pragma once
#include <cstdint>
#include <string>

#include "net/Sample.h"
#include "platform/Clock.h"
#include "settings/AppState.h"

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

// A kiss's timestamps are never used. RATE sets the back-off and the next
// poll after it, from `now`; DENY and RSTR mark `server` as refusing us.
void handleKiss(AppState& state, const std::string& server, KissCode code, std::uint32_t now);

// The clock's handling of an answer: a kiss as above; otherwise
// lastResponseTime, correction, nextPollTime and who authenticated it, and
// the system clock when setSystemClock is on, by the style's reduction of
// the sample.
void handleReply(AppState& state, const Sample& sample);
