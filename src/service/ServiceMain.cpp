// marivel-service.exe: the Marivel Time Service. No window and no console;
// one UDP socket, no pipe and no listening port. The service control
// manager starts it; the only thing anyone can send it is control code 128,
// "synchronise now", which carries no data. What it does lives in
// ServiceRun, what only Windows does for it in WindowsHost; this is its
// entry: the status and the controls.
#include <windows.h>

#include <pbt.h>

#include "service/ServiceRun.h"
#include "service/WindowsHost.h"
#include "settings/win32/RegistryProfile.h"

namespace {

namespace controls = service::controls;
static_assert(controls::kStop == SERVICE_CONTROL_STOP && controls::kInterrogate == SERVICE_CONTROL_INTERROGATE &&
                  controls::kShutdown == SERVICE_CONTROL_SHUTDOWN &&
                  controls::kPowerEvent == SERVICE_CONTROL_POWEREVENT &&
                  controls::kTimeChange == SERVICE_CONTROL_TIMECHANGE &&
                  controls::kResumeSuspend == PBT_APMRESUMESUSPEND &&
                  controls::kResumeAutomatic == PBT_APMRESUMEAUTOMATIC,
              "the service control manager's codes");
static_assert(service::kOutOfMemoryError == ERROR_NOT_ENOUGH_MEMORY && service::kInternalError == ERROR_INTERNAL_ERROR,
              "Windows' error codes");

constexpr DWORD kStartAndStopWaitHintMs = 15000;

SERVICE_STATUS_HANDLE statusHandle = nullptr;

// A stop's error goes out as the service-specific exit code unchanged: a
// Windows or Winsock error that `sc query` shows and `net helpmsg` explains.
void report(DWORD state, service::Stop stop = {}) {
    static DWORD checkPoint = 0;
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN |
                                                               SERVICE_ACCEPT_POWEREVENT | SERVICE_ACCEPT_TIMECHANGE
                                                         : 0;
    bool failed = stop.cause != service::StopCause::None;
    status.dwWin32ExitCode = failed ? ERROR_SERVICE_SPECIFIC_ERROR : NO_ERROR;
    status.dwServiceSpecificExitCode = failed ? stop.error : 0;
    bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
    status.dwCheckPoint = pending ? ++checkPoint : 0;
    status.dwWaitHint = pending ? kStartAndStopWaitHintMs : 0;
    SetServiceStatus(statusHandle, &status);
}

service::ServiceRun* theRun = nullptr;

DWORD WINAPI handleControl(DWORD control, DWORD eventType, void*, void*) {
    return theRun->control(control, eventType) ? NO_ERROR : ERROR_CALL_NOT_IMPLEMENTED;
}

void WINAPI serviceMain(DWORD, char**) {
    statusHandle = RegisterServiceCtrlHandlerExA(service::kServiceName, handleControl, nullptr);
    if (statusHandle == nullptr) return;
    report(SERVICE_START_PENDING);
    report(SERVICE_STOPPED, theRun->run());
}

}  // namespace

int main() {
    // Both outlive the dispatcher, so that no control can come after them.
    std::unique_ptr<service::ServiceHost> host = service::windowsHost([](DWORD state) { report(state); });
    RegistryProfile store = RegistryProfile::readOnly(HKEY_LOCAL_MACHINE, "SOFTWARE\\Marivel");
    service::ServiceRun run(*host, store);
    theRun = &run;
    char name[64] = {};
    lstrcpynA(name, service::kServiceName, sizeof name);
    SERVICE_TABLE_ENTRYA table[] = {{name, serviceMain}, {nullptr, nullptr}};
    // Started by anything but the service control manager, it does nothing.
    return StartServiceCtrlDispatcherA(table) ? 0 : 1;
}
