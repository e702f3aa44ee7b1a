// The Windows side of the service's run: its published result, its
// privileges, and its status through the caller's reporter.
#pragma once
#include <windows.h>

#include <functional>
#include <memory>

#include "service/ServiceRun.h"

namespace service {

// Reports a state to the service control manager (SERVICE_RUNNING,
// SERVICE_STOP_PENDING).
using StatusReporter = std::function<void(DWORD state)>;

std::unique_ptr<ServiceHost> windowsHost(StatusReporter report);

}  // namespace service
