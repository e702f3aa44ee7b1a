#include <cstdio>

#include "platform/Native.h"

namespace platform {

// Without a desktop the box becomes a line on the error stream; a question
// is answered with Ignore, which lets the program go on.
int nativeMessageBox(const char* text, const char* caption, MessageBoxButtons buttons) {
    std::fprintf(stderr, "[%s] %s\n", caption, text);
    return buttons == kButtonsAbortRetryIgnore ? kResultIgnore : kResultOk;
}

}  // namespace platform
