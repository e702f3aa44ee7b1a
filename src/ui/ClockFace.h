// What the clock window shows, worked out without any window: when the
// next tick comes, and the texts for an instant.
#pragma once
#include <cstdint>
#include <string>

// When the next tick is due, from the wall clock (ms since 1970) at the end
// of this one: just after the local clock's next second turns, so that every
// second shows, each soon after it begins. The margin covers a timer that
// fires a little early against a wall clock being slewed; one that fires
// before the turn only shows the same second again, and the next tick
// comes just after it.
constexpr std::int64_t kTickMarginMs = 10;
std::uint32_t nextTickDelayMs(std::int64_t wallMs);

// The standard-time zone name the display appends: the first three letters
// of an explicit TZ, "PST" for a TZ that is set but empty, and nothing when
// TZ is not set (the zone then comes from the system's own settings).
std::string standardZoneName(const char* tzVariable);

struct ClockTexts {
    std::string time;     // upper line
    std::string date;     // lower line
    std::string caption;  // the window's caption (the task bar's text while minimized)
};

// The first and last instants the clock can show: seconds since 1970 as an
// unsigned 32-bit count.
constexpr std::int64_t kFirstShowableSecond = 0;
constexpr std::int64_t kLastShowableSecond = 0xFFFFFFFFll;

ClockTexts clockTexts(std::int64_t shownSeconds, bool minimized, bool hourDisplay24, const std::string& zoneName);
