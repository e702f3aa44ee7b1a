// The platform's own message box and clock setting, which the seams in
// Seams.cpp call unless a test has put something else in their place.
#pragma once
#include "platform/Clock.h"
#include "platform/Desktop.h"

namespace platform {

int nativeMessageBox(const char* text, const char* caption, MessageBoxButtons buttons);
ClockSetting nativeSetSystemClock(const UtcTime& utc);

}  // namespace platform
