// Limiting the service's own token. The service's required privileges
// (SERVICE_CONFIG_REQUIRED_PRIVILEGES_INFO) cannot be set by the installer
// wixl builds, which has no ServiceConfig; so the service removes the
// others from its token itself, at start, before it reads any datagram.
#pragma once
#include <windows.h>

namespace service {

// Enables SeSystemtimePrivilege and SeChangeNotifyPrivilege in the process
// token and removes every other one (SE_PRIVILEGE_REMOVED: gone for the
// life of the process). ERROR_SUCCESS, or the Windows error of the call
// that failed: ERROR_NOT_ALL_ASSIGNED when some could not be removed.
DWORD keepOnlyNeededPrivileges();

}  // namespace service
