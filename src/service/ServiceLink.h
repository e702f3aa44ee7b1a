// The Windows side of what the clock and the service share: the published
// result in its named file mapping, and the service control manager's view
// of the service.
#pragma once
#include <windows.h>

#include <optional>

#include "service/ServiceResult.h"

namespace service {

// A kernel handle, closed when it goes.
class OwnedHandle {
public:
    explicit OwnedHandle(HANDLE handle = nullptr) : handle_(handle) {}
    ~OwnedHandle() {
        if (handle_ != nullptr) CloseHandle(handle_);
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    HANDLE get() const { return handle_; }
    void reset(HANDLE handle) {
        if (handle_ != nullptr) CloseHandle(handle_);
        handle_ = handle;
    }

private:
    HANDLE handle_;
};

// A mapped view of a file mapping, unmapped when it goes.
class MappedView {
public:
    explicit MappedView(void* view = nullptr) : view_(view) {}
    ~MappedView() {
        if (view_ != nullptr) UnmapViewOfFile(view_);
    }
    MappedView(const MappedView&) = delete;
    MappedView& operator=(const MappedView&) = delete;
    void* get() const { return view_; }
    void reset(void* view) {
        if (view_ != nullptr) UnmapViewOfFile(view_);
        view_ = view;
    }

private:
    void* view_;
};

// The service's side: the mapping, created with a DACL of its own
// (kResultMappingSddl) so that every user may read it and only the
// service, the system and administrators may write it.
class ResultPublisher {
public:
    // false when the mapping cannot be made, or exists already (made by
    // someone else, with rights of their choosing).
    bool create();
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
