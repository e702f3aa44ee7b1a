#include "framework/Dialog.h"

#include "framework/WinApp.h"

INT_PTR CDialog::doModal() {
    pending_ = nullptr;
    INT_PTR code = DialogBoxParamA(CWinApp::current()->instance(), MAKEINTRESOURCEA(templateId_), owner(), dialogProc,
                                   reinterpret_cast<LPARAM>(this));
    window_ = nullptr;
    if (pending_) std::rethrow_exception(pending_);
    return code;
}

HWND CDialog::owner() const {
    CDialog* main = CWinApp::current()->mainDialog();
    return main != nullptr && main != this ? main->handle() : nullptr;
}

INT_PTR CALLBACK CDialog::dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        reinterpret_cast<CDialog*>(lParam)->window_ = window;
    }
    auto* self = reinterpret_cast<CDialog*>(GetWindowLongPtrA(window, DWLP_USER));
    if (self == nullptr) return FALSE;
    try {
        return self->dispatch(message, wParam, lParam);
    } catch (...) {
        // Keep the first failure; the dialog ends and doModal rethrows it.
        if (!self->pending_) self->pending_ = std::current_exception();
        EndDialog(window, -1);
        return TRUE;
    }
}

INT_PTR CDialog::dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    constexpr UINT kSystemBits = 0x000F;  // the system's own part of a system command
    switch (message) {
        case WM_INITDIALOG: {
            updateData(false);
            bool systemFocus = onInitDialog();
            centreOverOwner();
            return systemFocus ? TRUE : FALSE;
        }
        case WM_COMMAND:
            // A control that the exchange is setting: not the user's doing.
            if (inDataExchange_ && lParam != 0) return TRUE;
            return onCommand(HIWORD(wParam), LOWORD(wParam)) ? TRUE : FALSE;
        case WM_SYSCOMMAND:
            if (!onSysCommand(static_cast<UINT>(wParam) & ~kSystemBits)) return FALSE;
            SetWindowLongPtrA(window_, DWLP_MSGRESULT, 0);
            return TRUE;
        case WM_TIMER:
            onTimer(wParam);
            return FALSE;
        default:
            break;
    }
    INT_PTR result = 0;
    if (!onMessage(message, wParam, lParam, result)) return FALSE;
    SetWindowLongPtrA(window_, DWLP_MSGRESULT, result);
    // A few messages take the dialog procedure's return value as their
    // answer; the rest read it from DWLP_MSGRESULT.
    if (message == WM_QUERYDRAGICON || message == WM_COMPAREITEM || message == WM_VKEYTOITEM ||
        message == WM_CHARTOITEM || (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC))
        return result;
    return TRUE;
}

bool CDialog::onCommand(int code, int id) { return code == BN_CLICKED && onButtonClicked(id); }

bool CDialog::onButtonClicked(int id) {
    switch (id) {
        case IDOK:
            onOk();
            return true;
        case IDCANCEL:
            onCancel();
            return true;
        default:
            return false;
    }
}

// Centred over the owner, or over the work area when the owner is hidden
// or minimized; kept inside the work area either way.
void CDialog::centreOverOwner() {
    RECT self;
    GetWindowRect(window_, &self);
    RECT area;
    HMONITOR monitor = MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST);
    MONITORINFO info{sizeof info, {}, {}, 0};
    GetMonitorInfoA(monitor, &info);
    area = info.rcWork;
    RECT centre = area;
    HWND ownerWindow = GetWindow(window_, GW_OWNER);
    if (ownerWindow != nullptr && IsWindowVisible(ownerWindow) && !IsIconic(ownerWindow)) GetWindowRect(ownerWindow, &centre);
    LONG width = self.right - self.left;
    LONG height = self.bottom - self.top;
    LONG left = (centre.left + centre.right - width) / 2;
    LONG top = (centre.top + centre.bottom - height) / 2;
    if (left + width > area.right) left = area.right - width;
    if (top + height > area.bottom) top = area.bottom - height;
    if (left < area.left) left = area.left;
    if (top < area.top) top = area.top;
    SetWindowPos(window_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool CDialog::onMessage(UINT, WPARAM, LPARAM, INT_PTR&) { return false; }

bool CDialog::updateData(bool saveAndValidate) {
    struct Flag {
        bool& flag;
        bool before;
        ~Flag() { flag = before; }
    } exchanging{inDataExchange_, inDataExchange_};
    inDataExchange_ = true;
    CDataExchange dx(window_, saveAndValidate);
    try {
        doDataExchange(dx);
        return true;
    } catch (CDataExchange::Failed) {
        return false;
    }
}
