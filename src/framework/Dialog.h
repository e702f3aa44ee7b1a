// A modal dialog made from a dialog template. Commands, system commands and
// timers reach handlers of their own; derived classes override the ones
// they care about, and everything else gets the dialog's default handling,
// including OK (Enter) and Cancel (Esc, the close box).
#pragma once
#include <windows.h>

#include <exception>

#include "framework/DataExchange.h"
#include "framework/Window.h"

class CDialog {
public:
    // The application's main window, if any, owns the dialog.
    explicit CDialog(int templateId) : templateId_(templateId) {}
    virtual ~CDialog() = default;
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Runs the dialog until it ends; returns the code it ended with. An
    // exception thrown by a handler ends the dialog and is rethrown here,
    // since it cannot travel through the system's window procedures.
    INT_PTR doModal();

    HWND handle() const { return window_; }
    // A control of the dialog, wrapped as the kind it is.
    template <typename Control = CWindow>
    Control item(int id) const {
        return Control(GetDlgItem(window_, id));
    }

protected:
    // Runs after the fields were loaded into the controls. Returns true to
    // let the system set the focus.
    virtual bool onInitDialog() { return true; }
    // Exchanges the dialog's fields with its controls, in the direction `dx`
    // says; the dialog has no fields by default.
    virtual void doDataExchange(CDataExchange& dx) { (void)dx; }
    // Runs doDataExchange; false when a value did not validate. While it
    // runs, notifications from the dialog's own controls are not passed on:
    // the dialog is changing them, not the user.
    bool updateData(bool saveAndValidate);
    // A command from a control, a menu or the keyboard: `code` is the
    // notification (BN_CLICKED also for Enter and Esc). Clicks go on to
    // onButtonClicked. Returns true when handled.
    virtual bool onCommand(int code, int id);
    // A push button or check box clicked; OK and Cancel by default.
    virtual bool onButtonClicked(int id);
    // A system-menu command, its low four bits (the system's own) cleared.
    // False leaves it to the system: move, minimize, close and the rest.
    virtual bool onSysCommand(UINT command) {
        (void)command;
        return false;
    }
    virtual void onTimer(UINT_PTR id) { (void)id; }
    // Any other message. Returns true when it was handled, with `result`
    // as its answer; false leaves it to the default handling.
    virtual bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result);
    // Stores the fields and ends the dialog, unless they do not validate.
    virtual void onOk() {
        if (updateData(true)) endDialog(IDOK);
    }
    virtual void onCancel() { endDialog(IDCANCEL); }
    void endDialog(INT_PTR code) { EndDialog(window_, code); }

private:
    static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    HWND owner() const;
    void centreOverOwner();

    int templateId_;
    HWND window_ = nullptr;
    bool inDataExchange_ = false;
    std::exception_ptr pending_;
};
