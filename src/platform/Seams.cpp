// Where tests replace the message box and the setting of the system clock:
// the two things a test must never let happen for real.
#include <atomic>

#include "platform/Native.h"

namespace platform {
namespace {

template <typename Fn>
class Seam {
public:
    constexpr explicit Seam(Fn native) : native_(native), current_(native) {}
    Fn get() const { return current_.load(); }
    // Null puts the platform's own function back.
    Fn replace(Fn fn) { return current_.exchange(fn != nullptr ? fn : native_); }

private:
    Fn native_;
    std::atomic<Fn> current_;
};

Seam<MessageBoxFn> messageBox{nativeMessageBox};
Seam<SystemClockSetterFn> clockSetter{nativeSetSystemClock};

}  // namespace

int showMessageBox(const char* text, const char* caption, MessageBoxButtons buttons) {
    return messageBox.get()(text, caption, buttons);
}

MessageBoxFn replaceMessageBox(MessageBoxFn fn) { return messageBox.replace(fn); }

ClockSetting setSystemClock(const UtcTime& utc) { return clockSetter.get()(utc); }

SystemClockSetterFn replaceSystemClockSetter(SystemClockSetterFn fn) { return clockSetter.replace(fn); }

}  // namespace platform
