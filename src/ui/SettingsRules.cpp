#include "ui/SettingsRules.h"

#include <ctime>
#include <iterator>

#include "errors/FormatText.h"
#include "errors/TextRules.h"
#include "platform/Clock.h"
#include "platform/WinsockErrors.h"

namespace {

// " 06:10:43 PM  Dec 08, 2026" in local time; empty when the run-time
// cannot tell.
std::string localTimeText(std::uint32_t seconds) {
    std::tm fields{};
    char when[80] = {};
    if (platform::localCalendar(seconds, fields)) std::strftime(when, sizeof when, " %I:%M:%S %p  %b %d, %Y", &fields);
    return when;
}

// What failed, when the service stopped of its own accord.
const char* stopCauseText(service::StopCause cause) {
    switch (cause) {
        case service::StopCause::Privileges:
            return "limiting its privileges failed";
        case service::StopCause::Winsock:
            return "starting Windows Sockets failed";
        case service::StopCause::Socket:
            return "opening its socket failed";
        case service::StopCause::Bind:
            return "binding its socket failed";
        case service::StopCause::Publishing:
            return "publishing its result failed";
        case service::StopCause::Receive:
            return "receiving on its socket failed";
        case service::StopCause::None:
        case service::StopCause::Exception:
        case service::StopCause::Other:
            break;
    }
    return "something unexpected failed";
}

}  // namespace

std::string lastResponseText(std::uint32_t lastResponseTime, std::int32_t correction,
                             const std::string& authenticatedBy) {
    if (lastResponseTime == 0) return "Never";
    std::string when = localTimeText(lastResponseTime);
    char text[160] = {};
    bool single = correction == 1 || correction == -1;
    formatText(text, sizeof text, "%s\r\n Correction: %ld Second%s", when.c_str(), static_cast<long>(correction),
               single ? "" : "s");
    if (authenticatedBy.empty()) return text;
    return std::string(text) + "\r\n Authenticated by NTS (" + authenticatedBy + ")";
}

std::optional<std::string> clampedPollPeriodText(const std::string& text) {
    text::SignedDecimal read = text::readLeadingDecimal(text, kPollPeriodMaxMinutes + 1);
    if (read.magnitude.value == 0) return std::to_string(kPollPeriodMinMinutes);
    // Taken as unsigned, a negative number is far above the range.
    if (read.negative || read.magnitude.value > kPollPeriodMaxMinutes) return std::to_string(kPollPeriodMaxMinutes);
    return std::nullopt;
}

std::vector<std::string> splitServerList(const std::string& list) {
    std::vector<std::string> items;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t bar = list.find('|', start);
        if (bar == std::string::npos) bar = list.size();
        if (bar > start) items.push_back(list.substr(start, bar - start));
        start = bar + 1;
    }
    return items;
}

std::string rebuildServerList(const std::vector<std::string>& items, const std::string& timeServer) {
    std::string list;
    for (auto item = items.rbegin(); item != items.rend(); ++item) list += *item + "|";
    if (list.find(timeServer) == std::string::npos) list += timeServer + "|";
    return list;
}

bool showsRefusedSettingNotice(bool setSystemClock, platform::ClockSetting lastSetting) {
    return setSystemClock && lastSetting == platform::ClockSetting::NotAllowed;
}

namespace {

// Whether the request failed in a way that has a notice of its own,
// known at once rather than after a wait for an answer.
bool failedWithNotice(RequestOutcome outcome) {
    switch (outcome) {
        case RequestOutcome::Preparing:
        case RequestOutcome::Sent:
        case RequestOutcome::SendFailed:
        case RequestOutcome::NotSent:
            return false;
        case RequestOutcome::NameNotFound:
        case RequestOutcome::NoKeyExchange:
        case RequestOutcome::CertificateUntrusted:
        case RequestOutcome::CertificateName:
        case RequestOutcome::CertificateDates:
        case RequestOutcome::KeyExchangeRefused:
        case RequestOutcome::KeyExchangeFailed:
            break;
    }
    return true;
}

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

}  // namespace

RequestNotice requestNotice(const RequestRecord& latest, std::int64_t sinceBootMs) {
    if (latest.serial == 0 || latest.answered) return {};
    const RequestOutcome failure = latest.outcome;
    if (failedWithNotice(failure)) {
        bool certificate = failure == RequestOutcome::CertificateUntrusted ||
                           failure == RequestOutcome::CertificateName || failure == RequestOutcome::CertificateDates;
        return {RequestNoticeKind::Failure, failure, NoAnswerAdvice::CheckConnection,
                certificate ? NoticePlace::Server : NoticePlace::Port};
    }
    if (latest.style == nullptr || sinceBootMs - latest.startedMs < kNoAnswerNoticeMs) return {};
    RequestNotice noAnswer;
    noAnswer.kind = RequestNoticeKind::NoAnswer;
    noAnswer.advice = latest.style->noAnswerAdvice();
    return noAnswer;
}

std::string requestFailureText(RequestOutcome failure, const std::string& subject, int error) {
    const std::string errorText = " (error " + std::to_string(error) + ")";
    switch (failure) {
        case RequestOutcome::NameNotFound:
            return "Windows found no computer named " + quoted(subject) + errorText +
                   ". Check the server's name for a typing slip, or choose another server.";
        case RequestOutcome::NoKeyExchange:
            return "No NTS key exchange answered at " + quoted(subject) +
                   (error == wsa::kConnectionRefused ? ": it refused the connection"
                                                     : " within 10 seconds" + errorText) +
                   ". Check the server's name, or choose a server that offers NTS.";
        case RequestOutcome::CertificateUntrusted:
            return "Windows does not trust the certificate that " + quoted(subject) +
                   " showed, so Marivel asked it nothing. Choose another server.";
        case RequestOutcome::CertificateName:
            return "The certificate that answered is not for " + quoted(subject) +
                   ", so Marivel asked it nothing. Check the server's name: NTS needs the name its certificate "
                   "was made for.";
        case RequestOutcome::CertificateDates:
            return "This computer's date is outside the dates of the certificate of " + quoted(subject) +
                   ", so the certificate cannot be checked. Set the date once with Set Clock (or with the Port "
                   "\"ntp\"), then press Ping Now.";
        case RequestOutcome::KeyExchangeRefused:
            return quoted(subject) +
                   " answered the key exchange with an error, or without NTS. Choose a server that offers NTS, "
                   "or the Port \"ntp\" to ask it without authentication.";
        case RequestOutcome::KeyExchangeFailed:
            return "The NTS key exchange with " + quoted(subject) + " failed" + errorText +
                   ", and Marivel sends nothing without it. Press Ping Now to try again, or choose another server.";
        case RequestOutcome::Preparing:
        case RequestOutcome::Sent:
        case RequestOutcome::SendFailed:
        case RequestOutcome::NotSent:
            break;
    }
    return {};
}

bool asksTimeService(platform::ClockSetting lastSetting, std::int32_t correction,
                     std::optional<std::int64_t> lastAskMs, std::int64_t sinceBootMs) {
    if (lastSetting != platform::ClockSetting::NotAllowed || correction == 0) return false;
    return !lastAskMs || sinceBootMs - *lastAskMs >= PollPlan::kExtraSpacingMs;
}

std::string glanceDurationText(std::int64_t magnitudeMs) {
    struct Unit {
        const char* name;
        std::int64_t ms;
    };
    static constexpr Unit kUnits[] = {
        {"millisecond", 1}, {"second", 1000}, {"minute", 60000}, {"hour", 3600000}, {"day", 86400000}};
    std::size_t unit = 0;
    while (unit + 1 < std::size(kUnits) && magnitudeMs >= kUnits[unit + 1].ms) ++unit;
    std::int64_t size = kUnits[unit].ms;
    std::string number;
    bool one = false;
    if (unit > 0 && magnitudeMs < 10 * size) {
        std::int64_t tenths = (magnitudeMs * 20 + size) / (2 * size);  // half up
        number = std::to_string(tenths / 10);
        if (tenths % 10 != 0 && tenths < 100) number += "." + std::to_string(tenths % 10);
        one = tenths == 10;
    } else {
        // Half up without overflow, up to the largest offset a result holds.
        std::int64_t whole = magnitudeMs / size + (magnitudeMs % size >= size - magnitudeMs % size ? 1 : 0);
        // Rounded up to the next unit: 59.5 seconds is a minute.
        if (unit + 1 < std::size(kUnits) && whole * size >= kUnits[unit + 1].ms) {
            ++unit;
            whole = 1;
        }
        number = std::to_string(whole);
        one = whole == 1;
    }
    return number + " " + kUnits[unit].name + (one ? "" : "s");
}

std::string timeServiceNoticeText(const std::optional<service::Result>& last) {
    if (!last) return "It has had no answer from its time server yet.";
    std::string text = "It asks " + last->server + ". ";
    if (last->stopped != service::StopCause::None) {
        return text + "It stopped at" + localTimeText(last->when) + ": " + stopCauseText(last->stopped) +
               " (error " + std::to_string(last->error) + ").";
    }
    text += "Last answer:" + localTimeText(last->when) +
            (last->authenticatedBy.empty() ? ". " : ", authenticated by NTS (" + last->authenticatedBy + "). ");
    std::int64_t magnitude = last->offsetMs < 0 ? -last->offsetMs : last->offsetMs;
    if (last->offsetMs == 0) {
        text += "The clock was right";
    } else {
        text += "The clock was " + glanceDurationText(magnitude) + (last->offsetMs > 0 ? " slow" : " fast");
    }
    switch (last->setting) {
        case service::SettingOutcome::Done:
            return text + (last->offsetMs == 0 ? "." : " and was set.");
        case service::SettingOutcome::Refused:
            return text + "; Windows did not allow the service to set it.";
        case service::SettingOutcome::Skipped:
            return text + "; the service does not set the clock that far (MaxStep).";
        case service::SettingOutcome::Failed:
            break;
    }
    return text + "; setting it failed.";
}
