#include "platform/Desktop.h"

#include <cstdio>

namespace platform {
namespace {

// Without a desktop the box becomes a line on the error stream; a question
// is answered with Ignore, which lets the program go on.
int writeToStderr(const char* text, const char* caption, MessageBoxButtons buttons) {
    std::fprintf(stderr, "[%s] %s\n", caption, text);
    return buttons == kButtonsAbortRetryIgnore ? kResultIgnore : kResultOk;
}

MessageBoxFn currentMessageBox = writeToStderr;

}  // namespace

int showMessageBox(const char* text, const char* caption, MessageBoxButtons buttons) {
    return currentMessageBox(text, caption, buttons);
}

MessageBoxFn replaceMessageBox(MessageBoxFn fn) {
    MessageBoxFn previous = currentMessageBox;
    currentMessageBox = fn != nullptr ? fn : writeToStderr;
    return previous;
}

}  // namespace platform
