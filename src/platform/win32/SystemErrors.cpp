#include "platform/SystemErrors.h"

#include <windows.h>

#include "platform/win32/Owned.h"

namespace platform {

int lastSystemError() { return static_cast<int>(GetLastError()); }

std::string systemErrorText(int code) {
    LocalMemory text;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM,
                                  nullptr, static_cast<DWORD>(code), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                  reinterpret_cast<char*>(text.receive()), 0, nullptr);
    return length != 0 && text ? std::string(static_cast<const char*>(text.get()), length) : std::string();
}

}  // namespace platform
