// Notices that the local clock was stepped, by the user, the system's time
// service, another program or a resume from sleep, so that the clock window
// and the time service ask the server again instead of keeping a time off
// by the step until the next poll. It learns of a step from the system's
// messages, and from the wall clock moving apart from a counter that is
// never stepped. The program's own setting of the clock is a step too, and
// asks nothing.
#pragma once
#include <cstdint>
#include <optional>

// The two clocks, read together at a tick.
struct ClockReading {
    std::int64_t wallMs;       // the wall clock, ms since 1970
    std::int64_t sinceBootMs;  // platform::sinceBootMs(): counts through sleep, never stepped
};

class StepWatch {
public:
    // The wall clock moving this far apart from the counter between two
    // ticks is a step.
    static constexpr std::int64_t kStepMs = 1000;
    // The system announces the program's own setting with WM_TIMECHANGE
    // too, maybe late if another window is slow to take its broadcast; one
    // that comes this soon after it is taken as that announcement. A step of
    // someone else's within this time is still seen by the clocks moving
    // apart.
    static constexpr std::int64_t kOwnSettingEchoMs = 30000;
    // How long a setting of the clock may take from its start, as the
    // program records it, to the moment the clock has moved.
    static constexpr std::int64_t kOwnSettingSlackMs = 1000;

    // WM_TIMECHANGE. `ownSettingMs` is when the program last began to set
    // the clock, in sinceBootMs; 0 if never.
    void timeChanged(std::int64_t sinceBootMs, std::int64_t ownSettingMs);
    // A resume from sleep or hibernation.
    void resumed() { stepPending_ = true; }
    // At each tick: true when a step was seen since the last tick that said
    // so. How soon the server is asked is PollPlan's to decide.
    bool tick(const ClockReading& reading, std::int64_t ownSettingMs);

private:
    std::optional<ClockReading> last_;
    bool stepPending_ = false;
};
