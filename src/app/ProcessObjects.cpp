#include "app/ProcessObjects.h"

#include "app/ClockApp.h"

AppState appState;
CSocket timeSocket(kSockDgram, 0, kAfInet);
CWinsockInit winsock(1, 1);
CClockApp theApp;
