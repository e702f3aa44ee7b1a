#include "service/WindowsHost.h"

#include "link/ServiceLink.h"
#include "service/Privileges.h"

namespace service {
namespace {

class WindowsHost : public ServiceHost {
public:
    explicit WindowsHost(StatusReporter report) : report_(std::move(report)) {}

    std::uint32_t openPublishing() override { return publisher_.create(); }
    std::uint32_t limitPrivileges() override { return keepOnlyNeededPrivileges(); }
    void publish(const Result& result) override { publisher_.publish(result); }
    void reportRunning() override { report_(SERVICE_RUNNING); }
    void reportStopping() override { report_(SERVICE_STOP_PENDING); }

private:
    StatusReporter report_;
    ResultPublisher publisher_;
};

}  // namespace

std::unique_ptr<ServiceHost> windowsHost(StatusReporter report) {
    return std::make_unique<WindowsHost>(std::move(report));
}

}  // namespace service
