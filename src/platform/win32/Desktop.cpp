#include "platform/Desktop.h"

#include <windows.h>

namespace platform {
namespace {

int showWin32MessageBox(const char* text, const char* caption, MessageBoxButtons buttons) {
    return MessageBoxA(nullptr, text, caption, buttons);
}

MessageBoxFn currentMessageBox = showWin32MessageBox;

}  // namespace

int showMessageBox(const char* text, const char* caption, MessageBoxButtons buttons) {
    return currentMessageBox(text, caption, buttons);
}

MessageBoxFn replaceMessageBox(MessageBoxFn fn) {
    MessageBoxFn previous = currentMessageBox;
    currentMessageBox = fn != nullptr ? fn : showWin32MessageBox;
    return previous;
}

}  // namespace platform
