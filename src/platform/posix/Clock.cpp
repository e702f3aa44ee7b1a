#include <chrono>

#include "platform/Native.h"

namespace platform {

// The portable build is for tests and tools: it never sets the clock.
bool nativeSetSystemClock(const UtcTime&) { return false; }

std::uint64_t counterNow() {
    auto sinceStart = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(sinceStart).count());
}

std::uint64_t counterFrequency() { return 1000000; }

bool localCalendar(std::int64_t seconds, std::tm& fields) {
    std::time_t when = static_cast<std::time_t>(seconds);
    return localtime_r(&when, &fields) != nullptr;
}

}  // namespace platform
