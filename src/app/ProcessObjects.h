// The objects that live as long as the process. They are defined together
// in ProcessObjects.cpp, so they are built in this order and destroyed in
// the reverse: the settings, the socket, Winsock, the application. Before
// all of them, the process's DLL search is kept to the system folder.
#pragma once
#include "net/Socket.h"
#include "settings/AppState.h"

extern AppState appState;
extern CSocket timeSocket;
extern CWinsockInit winsock;
