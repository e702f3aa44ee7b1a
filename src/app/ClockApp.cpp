#include "app/ClockApp.h"

#include "app/ProcessObjects.h"
#include "errors/Exceptions.h"
#include "ui/ClockDlg.h"

bool CClockApp::startApplication() {
    initCommonControls();
    setRegistryKey("Marivel");
    loadSettings(appState, profile());
    {
        CClockDlg clock(appState, timeSocket, winsock);
        setMainDialog(&clock);
        // A failure that ended the window is reported; the settings are
        // saved all the same.
        runShowingFailure([&clock] { clock.doModal(); });
        saveSettings(appState, profile());
        setMainDialog(nullptr);
    }
    return false;
}
