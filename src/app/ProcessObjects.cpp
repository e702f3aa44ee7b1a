#include "app/ProcessObjects.h"

#include <windows.h>

#include "app/ClockApp.h"

// Before anything loads a DLL for the program (Winsock below starts its
// providers): from now on DLLs come from the system folder only, never from
// the folder the program was downloaded to or the current one.
static const bool dllsFromSystemFolderOnly = SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
AppState appState;
CSocket timeSocket(kSockDgram, 0, kAfInet);
CWinsockInit winsock(1, 1);
CClockApp theApp;
