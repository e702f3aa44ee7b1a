#include "link/ServiceLink.h"

#include <aclapi.h>
#include <sddl.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

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

// Whether the mapping that exists already was made by one of its writers:
// its owner is the system, administrators, LOCAL SERVICE, or the owner
// this process gives what it makes (its token's default owner). Then it is
// an earlier run's, kept open by a reader, and is used again; anyone
// else's is not.
bool madeByAWriter(HANDLE mapping) {
    PSID owner = nullptr;
    LocalMemory descriptor;
    if (GetSecurityInfo(mapping, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                        descriptor.receive()) != ERROR_SUCCESS ||
        owner == nullptr) {
        return false;
    }
    for (WELL_KNOWN_SID_TYPE writer : {WinLocalSystemSid, WinBuiltinAdministratorsSid, WinLocalServiceSid}) {
        if (IsWellKnownSid(owner, writer)) return true;
    }
    OwnedHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.receive())) return false;
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenOwner, nullptr, 0, &size);
    if (size < sizeof(TOKEN_OWNER)) return false;
    std::vector<std::uint8_t> buffer(size);
    if (!GetTokenInformation(token.get(), TokenOwner, buffer.data(), size, &size)) return false;
    return EqualSid(owner, reinterpret_cast<const TOKEN_OWNER*>(buffer.data())->Owner) != FALSE;
}

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
    if (error == ERROR_ALREADY_EXISTS && !madeByAWriter(mapping_.get())) {
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
    // Odd, even after an earlier run that ended in the middle of a write.
    std::uint32_t writing = (published->sequence.load(std::memory_order_relaxed) + 1) | 1;
    published->sequence.store(writing, std::memory_order_relaxed);
    // The odd number is seen before any byte of the new text.
    std::atomic_thread_fence(std::memory_order_release);
    std::memcpy(published->text, text.c_str(), text.size() + 1);
    // And the whole text before the even one.
    published->sequence.store(writing + 1, std::memory_order_release);
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
