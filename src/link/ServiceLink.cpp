#include "link/ServiceLink.h"

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

// The mapping's layout, a sequence lock: the writer makes the number odd,
// writes the text, and makes it even again. A reader that sees the same
// even number before and after its copy has a whole text.
struct Published {
    std::atomic<std::uint32_t> sequence;
    char text[kResultMappingSize - sizeof(std::uint32_t)];
};
static_assert(sizeof(Published) == kResultMappingSize, "the mapping's layout");
static_assert(std::atomic<std::uint32_t>::is_always_lock_free, "shared between processes");

}  // namespace

DWORD ResultPublisher::create() {
    LocalMemory descriptor;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kResultMappingSddl, SDDL_REVISION_1,
                                                              descriptor.receive(), nullptr)) {
        return GetLastError();
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
    mapping_.reset(CreateFileMappingA(INVALID_HANDLE_VALUE, &attributes, PAGE_READWRITE, 0, kResultMappingSize,
                                      kResultMappingName));
    DWORD error = GetLastError();
    if (!mapping_) return error;
    if (error == ERROR_ALREADY_EXISTS) {
        mapping_.reset();
        return error;
    }
    view_.reset(MapViewOfFile(mapping_.get(), FILE_MAP_WRITE, 0, 0, kResultMappingSize));
    return view_ ? ERROR_SUCCESS : GetLastError();
}

void ResultPublisher::publish(const Result& result) {
    auto* published = static_cast<Published*>(view_.get());
    if (published == nullptr) return;
    std::string text = formatResult(result);
    if (text.size() >= sizeof published->text) return;  // a server text is far shorter
    std::uint32_t sequence = published->sequence.load(std::memory_order_relaxed);
    published->sequence.store(sequence + 1, std::memory_order_relaxed);
    // The odd number is seen before any byte of the new text.
    std::atomic_thread_fence(std::memory_order_release);
    std::memcpy(published->text, text.c_str(), text.size() + 1);
    // And the whole text before the even one.
    published->sequence.store(sequence + 2, std::memory_order_release);
}

std::optional<Result> readPublishedResult() {
    OwnedHandle mapping(OpenFileMappingA(FILE_MAP_READ, FALSE, kResultMappingName));
    if (!mapping) return std::nullopt;
    MappedView view(MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, kResultMappingSize));
    const auto* published = static_cast<const Published*>(view.get());
    if (published == nullptr) return std::nullopt;
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::uint32_t before = published->sequence.load(std::memory_order_acquire);
        char copy[sizeof published->text];
        std::memcpy(copy, published->text, sizeof copy);
        // The copy is done before the number is read again.
        std::atomic_thread_fence(std::memory_order_acquire);
        if (before % 2 == 0 && published->sequence.load(std::memory_order_relaxed) == before) {
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
    if (!manager) return false;
    ServiceHandle timeService(OpenServiceA(manager.get(), kServiceName, access));
    return timeService && use(timeService.get());
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
