#include "platform/SystemErrors.h"

#include <cerrno>
#include <cstring>

namespace platform {

int lastSystemError() { return errno; }

std::string systemErrorText(int code) {
    char buffer[256];
    // GNU strerror_r may return a static text instead of filling the buffer.
    const char* text = strerror_r(code, buffer, sizeof buffer);
    return std::string(text) + "\n";
}

}  // namespace platform
