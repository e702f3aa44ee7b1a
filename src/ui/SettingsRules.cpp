#include "ui/SettingsRules.h"

#include <cctype>
#include <ctime>
#include <iterator>

#include "errors/FormatText.h"
#include "platform/Clock.h"

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

std::string lastResponseText(std::uint32_t lastResponseTime, std::int32_t correction) {
    if (lastResponseTime == 0) return "Never";
    std::string when = localTimeText(lastResponseTime);
    char text[160] = {};
    bool single = correction == 1 || correction == -1;
    formatText(text, sizeof text, "%s\r\n Correction: %ld Second%s", when.c_str(), static_cast<long>(correction),
               single ? "" : "s");
    return text;
}

std::optional<std::string> clampedPollPeriodText(const std::string& text) {
    std::size_t at = 0;
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) negative = text[at++] == '-';
    std::uint32_t magnitude = 0;
    for (; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])); ++at) {
        magnitude = magnitude * 10 + static_cast<std::uint32_t>(text[at] - '0');
        if (magnitude > kPollPeriodMaxMinutes) magnitude = kPollPeriodMaxMinutes + 1;  // no overflow
    }
    if (magnitude == 0) return std::to_string(kPollPeriodMinMinutes);
    // Taken as unsigned, a negative number is far above the range.
    if (negative || magnitude > kPollPeriodMaxMinutes) return std::to_string(kPollPeriodMaxMinutes);
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

RequestNotice requestNotice(const RequestRecord& latest, std::int64_t sinceBootMs) {
    if (latest.serial == 0 || latest.answered) return {};
    if (latest.outcome == RequestOutcome::NameNotFound) return {RequestNoticeKind::NameNotFound};
    if (latest.style == nullptr || sinceBootMs - latest.startedMs < kNoAnswerNoticeMs) return {};
    return {RequestNoticeKind::NoAnswer, latest.style->noAnswerAdvice()};
}

std::string nameNotFoundText(const std::string& name, int error) {
    return "Windows found no computer named \"" + name + "\" (error " + std::to_string(error) +
           "). Check the server's name for a typing slip, or choose another server.";
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
    text += "Last answer:" + localTimeText(last->when) + ". ";
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
