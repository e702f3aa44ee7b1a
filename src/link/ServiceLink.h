// The Windows side of what the clock and the service share: the published
// result in its named file mapping, and the service control manager's view
// of the service.
#pragma once
#include <optional>

#include "link/ServiceResult.h"
#include "platform/win32/Owned.h"

namespace service {

// The service's side: the mapping, created with a DACL of its own
// (kResultMappingSddl) so that every user may read it and only the
// service, the system and administrators may write it.
class ResultPublisher {
public:
    // ERROR_SUCCESS, or the Windows error: ERROR_ALREADY_EXISTS when the
    // mapping exists already, made by someone who is not one of its
    // writers, with rights of their choosing. One an earlier run made,
    // which a reader still holds open, is used again.
    DWORD create();
    // One writer at a time: the caller keeps publishes from overlapping.
    void publish(const Result& result);

private:
    OwnedHandle mapping_;
    MappedView view_;
};

// The clock's side: the last result, if the service has published one.
std::optional<Result> readPublishedResult();
// Whether the service is running (SERVICE_QUERY_STATUS only).
bool isServiceRunning();
// Sends control code 128; false when the service cannot be reached.
bool askServiceNow();

}  // namespace service
