// Stands in for setting the system clock: records each call instead, and
// answers as the system would with the outcome the test chose.
#pragma once
#include <mutex>
#include <vector>

#include "platform/Clock.h"

class ClockRecorder {
public:
    ClockRecorder() {
        std::lock_guard<std::mutex> hold(mutex());
        recorded().clear();
        answer() = platform::ClockSetting::Done;
        previous_ = platform::replaceSystemClockSetter(record);
    }
    ~ClockRecorder() { platform::replaceSystemClockSetter(previous_); }
    ClockRecorder(const ClockRecorder&) = delete;
    ClockRecorder& operator=(const ClockRecorder&) = delete;

    // How the following calls go; Done unless a test says otherwise.
    void answerWith(platform::ClockSetting outcome) {
        std::lock_guard<std::mutex> hold(mutex());
        answer() = outcome;
    }
    std::vector<platform::UtcTime> calls() const {
        std::lock_guard<std::mutex> hold(mutex());
        return recorded();
    }

private:
    static platform::ClockSetting record(const platform::UtcTime& utc) {
        std::lock_guard<std::mutex> hold(mutex());
        recorded().push_back(utc);
        return answer();
    }
    static std::mutex& mutex() {
        static std::mutex m;
        return m;
    }
    static platform::ClockSetting& answer() {
        static platform::ClockSetting outcome = platform::ClockSetting::Done;
        return outcome;
    }
    static std::vector<platform::UtcTime>& recorded() {
        static std::vector<platform::UtcTime> calls;
        return calls;
    }
    platform::SystemClockSetterFn previous_;
};
