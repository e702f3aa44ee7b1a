// Operating-system error numbers and their descriptions.
#pragma once
#include <string>

namespace platform {

// The calling thread's last operating-system error (GetLastError, errno).
int lastSystemError();

// The system's own description of an error code, ending in a line break;
// empty when the system has none.
std::string systemErrorText(int code);

}  // namespace platform
