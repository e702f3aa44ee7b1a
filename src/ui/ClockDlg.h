// The clock window: a tiny captioned window showing the corrected time and
// date, and the program's main loop.
#pragma once
#include "framework/Dialog.h"

class CSocket;
class CWinsockInit;
struct AppState;

class CClockDlg : public CDialog {
public:
    CClockDlg(AppState& state, CSocket& socket, CWinsockInit& winsock);

protected:
    bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

private:
    AppState& state_;
    CSocket& socket_;
    CWinsockInit& winsock_;
    HICON icon_;
};
