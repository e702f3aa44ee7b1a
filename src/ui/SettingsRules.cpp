#include "ui/SettingsRules.h"

#include <ctime>

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

RequestNoticeKind failureNoticeOf(RequestOutcome outcome) {
    switch (outcome) {
        case RequestOutcome::NameNotFound:
            return RequestNoticeKind::NameNotFound;
        case RequestOutcome::NoKeyExchange:
            return RequestNoticeKind::NoKeyExchange;
        case RequestOutcome::CertificateUntrusted:
            return RequestNoticeKind::CertificateUntrusted;
        case RequestOutcome::CertificateName:
            return RequestNoticeKind::CertificateName;
        case RequestOutcome::CertificateDates:
            return RequestNoticeKind::CertificateDates;
        case RequestOutcome::KeyExchangeRefused:
            return RequestNoticeKind::KeyExchangeRefused;
        case RequestOutcome::KeyExchangeFailed:
            return RequestNoticeKind::KeyExchangeFailed;
        case RequestOutcome::Preparing:
        case RequestOutcome::Sent:
        case RequestOutcome::SendFailed:
        case RequestOutcome::NotSent:
            break;
    }
    return RequestNoticeKind::None;
}

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

}  // namespace

RequestNotice requestNotice(const RequestRecord& latest, std::int64_t sinceBootMs) {
    if (latest.serial == 0 || latest.answered) return {};
    RequestNoticeKind failure = failureNoticeOf(latest.outcome);
    if (failure != RequestNoticeKind::None) {
        bool certificate = failure == RequestNoticeKind::CertificateUntrusted ||
                           failure == RequestNoticeKind::CertificateName ||
                           failure == RequestNoticeKind::CertificateDates;
        return {failure, NoAnswerAdvice::CheckConnection, certificate ? NoticePlace::Server : NoticePlace::Port};
    }
    if (latest.style == nullptr || sinceBootMs - latest.startedMs < kNoAnswerNoticeMs) return {};
    return {RequestNoticeKind::NoAnswer, latest.style->noAnswerAdvice()};
}

std::string requestFailureText(RequestNoticeKind kind, const std::string& subject, int error) {
    const std::string errorText = " (error " + std::to_string(error) + ")";
    switch (kind) {
        case RequestNoticeKind::NameNotFound:
            return "Windows found no computer named " + quoted(subject) + errorText +
                   ". Check the server's name for a typing slip, or choose another server.";
        case RequestNoticeKind::NoKeyExchange:
            return "No NTS key exchange answered at " + quoted(subject) +
                   (error == wsa::kConnectionRefused ? ": it refused the connection"
                                                     : " within 10 seconds" + errorText) +
                   ". Check the server's name, or choose a server that offers NTS.";
        case RequestNoticeKind::CertificateUntrusted:
            return "Windows does not trust the certificate that " + quoted(subject) +
                   " showed, so Marivel asked it nothing. Choose another server.";
        case RequestNoticeKind::CertificateName:
            return "The certificate that answered is not for " + quoted(subject) +
                   ", so Marivel asked it nothing. Check the server's name: NTS needs the name its certificate "
                   "was made for.";
        case RequestNoticeKind::CertificateDates:
            return "This computer's date is outside the dates of the certificate of " + quoted(subject) +
                   ", so the certificate cannot be checked. Set the date once with Set Clock (or with the Port "
                   "\"ntp\"), then press Ping Now.";
        case RequestNoticeKind::KeyExchangeRefused:
            return quoted(subject) +
                   " answered the key exchange with an error, or without NTS. Choose a server that offers NTS, "
                   "or the Port \"ntp\" to ask it without authentication.";
        case RequestNoticeKind::KeyExchangeFailed:
            return "The NTS key exchange with " + quoted(subject) + " failed" + errorText +
                   ", and Marivel sends nothing without it. Press Ping Now to try again, or choose another server.";
        case RequestNoticeKind::None:
        case RequestNoticeKind::NoAnswer:
            break;
    }
    return {};
}

bool asksTimeService(platform::ClockSetting lastSetting, std::int32_t correction,
                     std::optional<std::int64_t> lastAskMs, std::int64_t sinceBootMs) {
    if (lastSetting != platform::ClockSetting::NotAllowed || correction == 0) return false;
    return !lastAskMs || sinceBootMs - *lastAskMs >= PollPlan::kExtraSpacingMs;
}

std::string timeServiceNoticeText(const std::optional<service::Result>& last) {
    if (!last) return "It has had no answer from its time server yet.";
    std::string text = "It asks " + last->server + ". Last answer:" + localTimeText(last->when) + ". ";
    std::int64_t magnitude = last->offsetMs < 0 ? -last->offsetMs : last->offsetMs;
    std::string amount = std::to_string(magnitude) + (magnitude == 1 ? " millisecond" : " milliseconds");
    if (last->offsetMs == 0) {
        text += "The clock was right";
    } else {
        text += "The clock was " + amount + (last->offsetMs > 0 ? " slow" : " fast");
    }
    switch (last->setting) {
        case service::Setting::Done:
            return text + (last->offsetMs == 0 ? "." : " and was set.");
        case service::Setting::Refused:
            return text + "; Windows did not allow the service to set it.";
        case service::Setting::Skipped:
            return text + "; the service does not set the clock that far (MaxStep).";
        case service::Setting::Failed:
            break;
    }
    return text + "; setting it failed.";
}
