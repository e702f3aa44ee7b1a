#include "ui/ClockDlg.h"

#include "framework/WinApp.h"
#include "settings/AppState.h"
#include "ui/resource.h"

CClockDlg::CClockDlg(AppState& state, CSocket& socket, CWinsockInit& winsock)
    : CDialog(IDD_CLOCK),
      state_(state),
      socket_(socket),
      winsock_(winsock),
      icon_(LoadIconA(CWinApp::current()->instance(), MAKEINTRESOURCEA(IDR_MAINFRAME))) {}

bool CClockDlg::onMessage(UINT message, WPARAM, LPARAM, INT_PTR&) {
    if (message == WM_DESTROY) state_.iconic = IsIconic(handle()) ? 2 : 1;
    return false;
}
