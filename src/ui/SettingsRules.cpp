#include "ui/SettingsRules.h"

#include <ctime>

#include "errors/FormatText.h"
#include "errors/TextRules.h"
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
