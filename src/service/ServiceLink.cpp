#include "service/ServiceLink.h"

#include <sddl.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <string>

namespace service {
namespace {

// Generic all for the system, administrators and LOCAL SERVICE, the
// service's account; generic read for everyone. Protected: nothing is
// inherited.
constexpr const char* kResultMappingSddl = "D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;GA;;;LS)(A;;GR;;;WD)";

// The mapping holds a sequence number, odd while the text is being
// written, then the text ending at a zero. A reader that sees the same
// even number before and after its copy has a whole text.
struct Published {
    std::atomic<std::uint32_t> sequence;
    char text[kResultMappingSize - sizeof(std::uint32_t)];
};
static_assert(sizeof(Published) == kResultMappingSize, "the mapping's layout");

class ServiceHandle {
public:
    explicit ServiceHandle(SC_HANDLE handle) : handle_(handle) {}
    ~ServiceHandle() {
        if (handle_ != nullptr) CloseServiceHandle(handle_);
    }
    ServiceHandle(const ServiceHandle&) = delete;
    ServiceHandle& operator=(const ServiceHandle&) = delete;
    SC_HANDLE get() const { return handle_; }

private:
    SC_HANDLE handle_;
};

class LocalMemory {
public:
    ~LocalMemory() {
        if (memory_ != nullptr) LocalFree(memory_);
    }
    PSECURITY_DESCRIPTOR* address() { return &memory_; }
    PSECURITY_DESCRIPTOR get() const { return memory_; }

private:
    PSECURITY_DESCRIPTOR memory_ = nullptr;
};

}  // namespace

bool ResultPublisher::create() {
    LocalMemory descriptor;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kResultMappingSddl, SDDL_REVISION_1,
                                                              descriptor.address(), nullptr)) {
        return false;
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, &attributes, PAGE_READWRITE, 0, kResultMappingSize,
                                        kResultMappingName);
    bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    mapping_.reset(mapping);
    if (mapping == nullptr || existed) return false;
    void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, kResultMappingSize);
    view_.reset(view);
    return view != nullptr;
}

void ResultPublisher::publish(const Result& result) {
    auto* published = static_cast<Published*>(view_.get());
    if (published == nullptr) return;
    std::string text = formatResult(result);
    if (text.size() >= sizeof published->text) return;  // a server text is far shorter
    published->sequence.fetch_add(1);
    std::memcpy(published->text, text.c_str(), text.size() + 1);
    published->sequence.fetch_add(1);
}

std::optional<Result> readPublishedResult() {
    OwnedHandle mapping(OpenFileMappingA(FILE_MAP_READ, FALSE, kResultMappingName));
    if (mapping.get() == nullptr) return std::nullopt;
    MappedView view(MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, kResultMappingSize));
    const auto* published = static_cast<const Published*>(view.get());
    if (published == nullptr) return std::nullopt;
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::uint32_t before = published->sequence.load();
        char copy[sizeof published->text];
        std::memcpy(copy, published->text, sizeof copy);
        if (before % 2 == 0 && published->sequence.load() == before) {
            copy[sizeof copy - 1] = '\0';
            return parseResult(copy);
        }
        Sleep(1);
    }
    return std::nullopt;
}

namespace {

bool queryService(DWORD access, const std::function<bool(SC_HANDLE)>& use) {
    ServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (manager.get() == nullptr) return false;
    ServiceHandle timeService(OpenServiceA(manager.get(), kServiceName, access));
    return timeService.get() != nullptr && use(timeService.get());
}

}  // namespace

bool isServiceRunning() {
    return queryService(SERVICE_QUERY_STATUS, [](SC_HANDLE handle) {
        SERVICE_STATUS status{};
        return QueryServiceStatus(handle, &status) && status.dwCurrentState == SERVICE_RUNNING;
    });
}

bool askServiceNow() {
    return queryService(SERVICE_USER_DEFINED_CONTROL | SERVICE_QUERY_STATUS, [](SC_HANDLE handle) {
        SERVICE_STATUS status{};
        return ControlService(handle, kControlSyncNow, &status) != FALSE;
    });
}

}  // namespace service
