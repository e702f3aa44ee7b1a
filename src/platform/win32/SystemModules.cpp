#include "platform/win32/SystemModules.h"

#include <windows.h>

std::string systemFolderPath(const std::string& name) {
    std::string path(MAX_PATH, '\0');
    UINT length = GetSystemDirectoryA(path.data(), MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    path.resize(length);
    return path + "\\" + name;
}
