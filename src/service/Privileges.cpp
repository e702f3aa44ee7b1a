#include "service/Privileges.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "service/ServiceLink.h"

namespace service {

bool keepOnlyNeededPrivileges() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_ADJUST_PRIVILEGES, &token)) return false;
    OwnedHandle owned(token);
    DWORD size = 0;
    GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
    if (size < sizeof(TOKEN_PRIVILEGES)) return false;
    std::vector<std::uint8_t> buffer(size);
    if (!GetTokenInformation(token, TokenPrivileges, buffer.data(), size, &size)) return false;
    auto* privileges = reinterpret_cast<TOKEN_PRIVILEGES*>(buffer.data());
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
        LUID_AND_ATTRIBUTES& privilege = privileges->Privileges[i];
        char name[64] = {};
        DWORD length = sizeof name;
        if (!LookupPrivilegeNameA(nullptr, &privilege.Luid, name, &length)) return false;
        bool needed = std::strcmp(name, SE_SYSTEMTIME_NAME) == 0 || std::strcmp(name, SE_CHANGE_NOTIFY_NAME) == 0;
        privilege.Attributes = needed ? SE_PRIVILEGE_ENABLED : SE_PRIVILEGE_REMOVED;
    }
    if (!AdjustTokenPrivileges(token, FALSE, privileges, 0, nullptr, nullptr)) return false;
    // Success with ERROR_NOT_ALL_ASSIGNED still left some as they were.
    return GetLastError() == ERROR_SUCCESS;
}

}  // namespace service
