// One owner for every kind of Windows handle: a kernel handle, a mapped
// view, a service handle, a registry key, local memory, a GDI object, a
// window's device context, an object selected into one. The owner gives it
// back with its own function when it goes, on every path.
#pragma once
#include <windows.h>

#include <winsvc.h>

template <typename Handle, auto Release>
class Owned {
public:
    Owned() = default;
    explicit Owned(Handle handle) : handle_(handle) {}
    ~Owned() { reset(); }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    Owned(Owned&& other) noexcept : handle_(other.release()) {}
    Owned& operator=(Owned&& other) noexcept {
        reset(other.release());
        return *this;
    }

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != Handle{}; }
    // For a call that hands the handle back through a pointer; what was
    // held before is given back first.
    Handle* receive() {
        reset();
        return &handle_;
    }
    Handle release() {
        Handle handle = handle_;
        handle_ = Handle{};
        return handle;
    }
    void reset(Handle handle = Handle{}) {
        if (handle_ != Handle{}) Release(handle_);
        handle_ = handle;
    }

private:
    Handle handle_{};
};

using OwnedHandle = Owned<HANDLE, CloseHandle>;          // not for INVALID_HANDLE_VALUE returns
using MappedView = Owned<void*, UnmapViewOfFile>;
using ServiceHandle = Owned<SC_HANDLE, CloseServiceHandle>;
using RegistryKey = Owned<HKEY, RegCloseKey>;
using LocalMemory = Owned<HLOCAL, LocalFree>;
template <typename GdiObject>
using OwnedGdiObject = Owned<GdiObject, DeleteObject>;  // HFONT, HRGN, HBRUSH, ...

// A device context is given back with its window, so it has owners of its
// own: WindowDc from GetDC to ReleaseDC, PaintDc (in WM_PAINT) from
// BeginPaint to EndPaint.
class WindowDc {
public:
    explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDc() {
        if (dc_ != nullptr) ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

class PaintDc {
public:
    explicit PaintDc(HWND window) : window_(window), dc_(BeginPaint(window, &paint_)) {}
    ~PaintDc() { EndPaint(window_, &paint_); }
    PaintDc(const PaintDc&) = delete;
    PaintDc& operator=(const PaintDc&) = delete;
    HDC get() const { return dc_; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

// A GDI object selected into a device context until the scope ends, when
// the object it replaced goes back: an object must not be deleted while
// it is selected, nor a context given back holding ours.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~SelectedObject() {
        if (previous_ != nullptr) SelectObject(dc_, previous_);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};
