#include <windows.h>

#include "platform/Native.h"

namespace platform {

int nativeMessageBox(const char* text, const char* caption, MessageBoxButtons buttons) {
    return MessageBoxA(nullptr, text, caption, buttons);
}

}  // namespace platform
