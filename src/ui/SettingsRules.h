// The settings dialog's rules, worked out without any window: what the
// last-response field says, how the poll-period field is kept in range, and
// how the server list is split and rebuilt.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "net/PollPlan.h"
#include "net/RequestStyle.h"
#include "platform/Clock.h"
#include "link/ServiceResult.h"
#include "settings/AppState.h"

// "Never" before the first reply; otherwise the server's time as local time
// and the correction, on two lines. `lastResponseTime` is an unsigned count
// of seconds since 1970, so replies up to 2106 show right.
// After an authenticated answer a third line says by whom:
// " Authenticated by NTS (time.cloudflare.com)".
std::string lastResponseText(std::uint32_t lastResponseTime, std::int32_t correction,
                             const std::string& authenticatedBy = {});

// The range OK accepts, wider than the up-down control's.
constexpr std::uint32_t kPollPeriodValidMax = 65535;

// Answers an edit of the poll-period field: the text to put in its place,
// or nothing when it may stay. The text is read as a signed decimal number
// from its start (as atoi does, without atoi's overflow): 0 becomes "1",
// anything above 1440, a negative number included, becomes "1440".
std::optional<std::string> clampedPollPeriodText(const std::string& text);

// The stored list, "|"-separated, as the list control's items: every
// non-empty entry, the whole list however long it is.
std::vector<std::string> splitServerList(const std::string& list);

// The list OK stores: the items from the last to the first, each followed
// by "|", then `timeServer` and "|" when the list does not already contain
// it anywhere (an empty server always does).
std::string rebuildServerList(const std::vector<std::string>& items, const std::string& timeServer);

// Whether the settings dialog tells the user that Windows refused the last
// reply's setting of the system clock: only while the option is on, and only
// for a lack of the right to change the time.
bool showsRefusedSettingNotice(bool setSystemClock, platform::ClockSetting lastSetting);

// Whether the clock asks the Marivel Time Service (which it has found
// running) to set the clock in its place, after a reply: only when the
// clock's own setting was refused and the correction is not 0, and at most
// once in PollPlan::kExtraSpacingMs. Once the service has set the clock, the
// request after the step finds a correction of 0, so there is no loop.
bool asksTimeService(platform::ClockSetting lastSetting, std::int32_t correction,
                     std::optional<std::int64_t> lastAskMs, std::int64_t sinceBootMs);

// The notice at "Set System Clock" while the Marivel Time Service runs
// (its title says that the service keeps this computer's clock set): the
// service's server and its last result, the time in local time, the offset
// as glanceDurationText says it; or, once it stopped, what failed.
std::string timeServiceNoticeText(const std::optional<service::Result>& last);
// A length of time to read at a glance: in the largest of milliseconds,
// seconds, minutes, hours and days that it reaches, rounded half up, with
// one decimal below 10 of the unit unless it is 0 ("2.3 seconds", "2
// seconds", "15 hours"), and a unit up when the rounding reaches it (59.5
// s is "1 minute"). Whole milliseconds, as the service publishes them.
std::string glanceDurationText(std::int64_t magnitudeMs);

// The notice about the latest request: none; the server has not answered
// it in kNoAnswerNoticeMs (with the style's advice); or, as soon as that
// is known, the request could not go: its name was not found, or its NTS
// key exchange failed (each way of failing its own notice).
constexpr std::int64_t kNoAnswerNoticeMs = 10000;
enum class RequestNoticeKind : std::uint8_t { None, NoAnswer, Failure };
// Where it points: at the Port, or at the server when the server's
// certificate is what failed.
enum class NoticePlace : std::uint8_t { Port, Server };
struct RequestNotice {
    RequestNoticeKind kind = RequestNoticeKind::None;
    RequestOutcome failure = RequestOutcome::Sent;             // for Failure: the request's outcome
    NoAnswerAdvice advice = NoAnswerAdvice::CheckConnection;  // for NoAnswer
    NoticePlace place = NoticePlace::Port;
};
RequestNotice requestNotice(const RequestRecord& latest, std::int64_t sinceBootMs);
// The words of a notice that the request could not go, naming what it is
// about (the record's subject) and the error.
std::string requestFailureText(RequestOutcome failure, const std::string& subject, int error);
