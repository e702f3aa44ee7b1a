#include "ui/ClockFace.h"

#include <ctime>

#include "net/Wire.h"
#include "platform/Clock.h"

namespace {

const char kCaption[] = "Marivel 95";
constexpr std::size_t kTextSize = 40;

std::string formatTime(const char* format, const std::tm& fields) {
    char text[kTextSize];
    std::size_t length = std::strftime(text, sizeof text, format, &fields);
    return std::string(text, length);
}

}  // namespace

std::uint32_t nextTickDelayMs(std::int64_t wallMs) {
    constexpr std::int64_t kSecondMs = wire::kMillisecondsPerSecond;
    std::int64_t intoSecond = ((wallMs % kSecondMs) + kSecondMs) % kSecondMs;
    return static_cast<std::uint32_t>(kSecondMs - intoSecond + kTickMarginMs);
}

std::string standardZoneName(const char* tzVariable) {
    if (tzVariable == nullptr) return "";
    if (*tzVariable == '\0') return "PST";
    return std::string(tzVariable).substr(0, 3);
}

ClockTexts clockTexts(std::int64_t shownSeconds, bool minimized, bool hourDisplay24, const std::string& zoneName) {
    std::tm fields{};
    bool showable = shownSeconds >= kFirstShowableSecond && shownSeconds <= kLastShowableSecond &&
                    platform::localCalendar(shownSeconds, fields);
    ClockTexts texts;
    if (!showable) {
        // A server that puts the clock outside what it can show: say so
        // rather than show a wrong date.
        texts.time = "--:--:--";
        texts.date = "Out of range";
        texts.caption = minimized ? "--:--:--  --/--/--" : kCaption;
        return texts;
    }
    if (minimized) {
        texts.caption = formatTime("%I:%M:%S %p  %m/%d/%y", fields);
        return texts;
    }
    texts.caption = kCaption;
    if (hourDisplay24 || !zoneName.empty())
        texts.time = formatTime("%H:%M:%S ", fields) + zoneName;
    else
        texts.time = formatTime("%I:%M:%S %p", fields);
    texts.date = formatTime("%b %d, %Y", fields);
    return texts;
}
