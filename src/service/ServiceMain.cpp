// marivel-service.exe: the Marivel Time Service. No window and no console;
// one UDP socket, no pipe and no listening port. The service control
// manager starts it; the only thing anyone can send it is control code 128,
// "synchronise now", which carries no data.
#include <windows.h>

#include <atomic>
#include <exception>

#include "errors/Exceptions.h"
#include "settings/win32/RegistryProfile.h"
#include "net/Receive.h"
#include "net/Request.h"
#include "net/Socket.h"
#include "platform/Clock.h"
#include "service/Privileges.h"
#include "service/ServiceLink.h"
#include "service/TimeService.h"

namespace {

// The exit codes the service reports when it cannot run.
constexpr DWORD kNoPrivilegeLimit = 1;
constexpr DWORD kNoSocket = 2;
constexpr DWORD kNoPublishing = 3;

constexpr DWORD kTickMs = 1000;

SERVICE_STATUS_HANDLE statusHandle = nullptr;
std::atomic<bool> nowAsked{false};
// Set by the handler; the service's loop waits on both.
service::OwnedHandle stopEvent;
service::OwnedHandle wakeEvent;

void report(DWORD state, DWORD exitCode = NO_ERROR) {
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    status.dwWin32ExitCode = exitCode == NO_ERROR ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
    status.dwServiceSpecificExitCode = exitCode;
    status.dwWaitHint = state == SERVICE_RUNNING || state == SERVICE_STOPPED ? 0 : 10000;
    SetServiceStatus(statusHandle, &status);
}

DWORD WINAPI handleControl(DWORD control, DWORD, void*, void*) {
    switch (control) {
        case SERVICE_CONTROL_STOP:
        case SERVICE_CONTROL_SHUTDOWN:
            report(SERVICE_STOP_PENDING);
            SetEvent(stopEvent.get());
            return NO_ERROR;
        case SERVICE_CONTROL_INTERROGATE:
            return NO_ERROR;
        case service::kControlSyncNow:
            nowAsked = true;
            SetEvent(wakeEvent.get());
            return NO_ERROR;
        default:
            return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

DWORD runService() {
    if (!service::keepOnlyNeededPrivileges()) return kNoPrivilegeLimit;
    RegistryProfile store = RegistryProfile::readOnly(HKEY_LOCAL_MACHINE, "SOFTWARE\\Marivel");
    service::Settings settings = service::loadSettings(store);

    CWinsockInit winsock(2, 2);
    CSocket socket(kSockDgram, 0, kAfInet);
    try {
        if (winsock.startup() != 0) return kNoSocket;
        socket.init();
        socket.bindAny();
    } catch (CSocketException) {
        return kNoSocket;
    }
    service::ResultPublisher publisher;
    if (!publisher.create()) return kNoPublishing;

    AppState state;
    service::TimeService timeService(state, settings);
    ReceiveThread receiver(state, socket, {}, [&timeService, &publisher](const Sample& sample) {
        if (auto result = timeService.handle(sample)) publisher.publish(*result);
    });
    receiver.start();
    report(SERVICE_RUNNING);

    const HANDLE events[] = {stopEvent.get(), wakeEvent.get()};
    for (;;) {
        std::int64_t sinceBootMs = platform::sinceBootMs();
        if (nowAsked.exchange(false)) timeService.askNow(sinceBootMs);
        // Sent from this thread: a stop waits at most for one resolution.
        timeService.tick(currentSeconds(), sinceBootMs, [&] { requestTime(state, socket); });
        if (WaitForMultipleObjects(2, events, FALSE, kTickMs) == WAIT_OBJECT_0) break;
    }
    receiver.stop();
    return NO_ERROR;
}

void WINAPI serviceMain(DWORD, char**) {
    statusHandle = RegisterServiceCtrlHandlerExA(service::kServiceName, handleControl, nullptr);
    if (statusHandle == nullptr) return;
    report(SERVICE_START_PENDING);
    DWORD exitCode = ERROR_SERVICE_SPECIFIC_ERROR;
    try {
        exitCode = runService();
    } catch (const std::exception&) {
        // Nothing may escape to the dispatcher; the service stops instead.
    }
    report(SERVICE_STOPPED, exitCode);
}

}  // namespace

int main() {
    stopEvent.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    wakeEvent.reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (stopEvent.get() == nullptr || wakeEvent.get() == nullptr) return 1;
    char name[] = "MarivelTime";
    SERVICE_TABLE_ENTRYA table[] = {{name, serviceMain}, {nullptr, nullptr}};
    // Started by anything but the service control manager, it does nothing.
    return StartServiceCtrlDispatcherA(table) ? 0 : 1;
}
