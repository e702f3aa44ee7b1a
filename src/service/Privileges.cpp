#include "service/Privileges.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/win32/Owned.h"

namespace service {

DWORD keepOnlyNeededPrivileges() {
    OwnedHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_ADJUST_PRIVILEGES, token.receive())) {
        return GetLastError();
    }
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenPrivileges, nullptr, 0, &size);
    if (size < sizeof(TOKEN_PRIVILEGES)) {
        DWORD error = GetLastError();
        return error != ERROR_SUCCESS && error != ERROR_INSUFFICIENT_BUFFER ? error : ERROR_INVALID_DATA;
    }
    std::vector<std::uint8_t> buffer(size);
    if (!GetTokenInformation(token.get(), TokenPrivileges, buffer.data(), size, &size)) return GetLastError();
    auto* privileges = reinterpret_cast<TOKEN_PRIVILEGES*>(buffer.data());
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
        LUID_AND_ATTRIBUTES& privilege = privileges->Privileges[i];
        char name[64] = {};
        DWORD length = sizeof name;
        if (!LookupPrivilegeNameA(nullptr, &privilege.Luid, name, &length)) return GetLastError();
        bool needed = std::strcmp(name, SE_SYSTEMTIME_NAME) == 0 || std::strcmp(name, SE_CHANGE_NOTIFY_NAME) == 0;
        privilege.Attributes = needed ? SE_PRIVILEGE_ENABLED : SE_PRIVILEGE_REMOVED;
    }
    if (!AdjustTokenPrivileges(token.get(), FALSE, privileges, 0, nullptr, nullptr)) return GetLastError();
    // Success with ERROR_NOT_ALL_ASSIGNED still left some as they were.
    return GetLastError();
}

}  // namespace service
