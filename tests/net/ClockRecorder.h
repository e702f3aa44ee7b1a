// Stands in for setting the system clock: records each call instead.
#pragma once
#include <mutex>
#include <vector>

#include "platform/Clock.h"

class ClockRecorder {
public:
    ClockRecorder() {
        std::lock_guard<std::mutex> hold(mutex());
        recorded().clear();
        previous_ = platform::replaceSystemClockSetter(record);
    }
    ~ClockRecorder() { platform::replaceSystemClockSetter(previous_); }
    ClockRecorder(const ClockRecorder&) = delete;
    ClockRecorder& operator=(const ClockRecorder&) = delete;

    std::vector<platform::UtcTime> calls() const {
        std::lock_guard<std::mutex> hold(mutex());
        return recorded();
    }

private:
    static bool record(const platform::UtcTime& utc) {
        std::lock_guard<std::mutex> hold(mutex());
        recorded().push_back(utc);
        return true;
    }
    static std::mutex& mutex() {
        static std::mutex m;
        return m;
    }
    static std::vector<platform::UtcTime>& recorded() {
        static std::vector<platform::UtcTime> calls;
        return calls;
    }
    platform::SystemClockSetterFn previous_;
};
