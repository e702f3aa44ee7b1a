// Limiting the service's own token. The service's required privileges
// (SERVICE_CONFIG_REQUIRED_PRIVILEGES_INFO) cannot be set by the installer
// wixl builds, which has no ServiceConfig; so the service removes the
// others from its token itself, at start, before it reads any datagram.
#pragma once

namespace service {

// Enables SeSystemtimePrivilege and SeChangeNotifyPrivilege in the process
// token and removes every other one (SE_PRIVILEGE_REMOVED: gone for the
// life of the process). False when any could not be removed.
bool keepOnlyNeededPrivileges();

}  // namespace service
