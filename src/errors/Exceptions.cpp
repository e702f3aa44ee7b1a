#include "errors/Exceptions.h"

#include <cstdarg>
#include <algorithm>
#include <cstdio>
#include <string>

#include "errors/FormatText.h"
#include "errors/SocketErrorText.h"
#include "platform/Desktop.h"
#include "platform/Sockets.h"
#include "platform/SystemErrors.h"

namespace {
constexpr std::size_t kExcWorkSize = 260;
constexpr std::size_t kSocketWorkSize = 256;
constexpr std::size_t kBoxTextSize = 512;
}  // namespace

CExc::CExc(int givenCode) : message{}, code(givenCode != 0 ? givenCode : platform::lastSystemError()) {}

CExc::CExc(int givenCode, const char* format, ...) : message{}, code(givenCode) {
    // Read the last error before anything else can change it.
    if (givenCode == 0) code = platform::lastSystemError();
    char work[kExcWorkSize];
    va_list args;
    va_start(args, format);
    std::vsnprintf(work, sizeof work, format, args);
    va_end(args);
    if (givenCode != 0) {
        formatText(message, sizeof message, "Error: %d %s", code, work);
    } else {
        // The system's description ends with its own line break.
        std::string description = platform::systemErrorText(code);
        formatText(message, sizeof message, "Error %d %s%s", code, description.c_str(), work);
    }
}

void CExc::show() const { platform::showMessageBox(message, "Message", platform::kButtonsOk); }

CSocketException::CSocketException(int givenCode, const char* format, ...) {
    code = givenCode != 0 ? givenCode : platform::sockets::lastError();
    char work[kSocketWorkSize];
    va_list args;
    va_start(args, format);
    int used = std::vsnprintf(work, sizeof work, format, args);
    va_end(args);
    std::size_t length = used < 0 ? 0 : std::min<std::size_t>(static_cast<std::size_t>(used), sizeof work - 1);
    formatText(work + length, sizeof work - length, "\n%s", describeSocketError(code));
    formatText(message, sizeof message, "Error: %d %s", code, work);
}

void CSocketException::show() const {
    char text[kBoxTextSize];
    formatText(text, sizeof text, "%s\n%s\n", message, describeSocketError(platform::sockets::lastError()));
    platform::showMessageBox(text, "Message", platform::kButtonsOk);
}

int showRetryPrompt(const char* context, CSocketException exc) {
    char text[kBoxTextSize];
    formatText(text, sizeof text, "%s\n%s\n%s\nAbort, Retry, Ignore (A,R,I) ", exc.message, context,
                  describeSocketError(platform::sockets::lastError()));
    return platform::showMessageBox(text, "Error", platform::kButtonsAbortRetryIgnore);
}
