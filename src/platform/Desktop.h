// Message boxes, the one piece of the desktop the portable code needs.
#pragma once

namespace platform {

// Button sets and results, numbered as the Win32 MB_ and ID constants.
enum MessageBoxButtons : unsigned { kButtonsOk = 0x0, kButtonsAbortRetryIgnore = 0x2 };
enum MessageBoxResult : int { kResultOk = 1, kResultAbort = 3, kResultRetry = 4, kResultIgnore = 5 };

// Shows an owner-less message box and returns the button pressed.
int showMessageBox(const char* text, const char* caption, MessageBoxButtons buttons);

// Tests replace the box with a recorder; returns the previous function.
using MessageBoxFn = int (*)(const char* text, const char* caption, MessageBoxButtons buttons);
MessageBoxFn replaceMessageBox(MessageBoxFn fn);

}  // namespace platform
