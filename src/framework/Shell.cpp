#include "framework/Shell.h"

#include <windows.h>

#include <vector>

#include "platform/win32/Owned.h"
#include "platform/win32/SystemModules.h"

bool runSystemProgram(const std::string& program, const std::string& arguments) {
    std::string path = systemFolderPath(program);
    if (path.empty()) return false;
    std::string commandLine = "\"" + path + "\" " + arguments;
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION started{};
    if (!CreateProcessA(path.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started))
        return false;
    // Nobody waits for the program.
    OwnedHandle process(started.hProcess), thread(started.hThread);
    return true;
}
