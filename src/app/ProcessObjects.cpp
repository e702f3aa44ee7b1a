#include "app/ProcessObjects.h"

#include <windows.h>

#include "app/ClockApp.h"
#include "platform/win32/SystemModules.h"

namespace {

// From now on DLLs come from the system folder only, never from the folder
// the program was downloaded to or the current one. Looked up rather than
// imported: a Windows 7 without update KB2533623 lacks the call, and the
// program must start there all the same, with the current folder at least
// out of the search.
bool loadDllsFromSystemFolderOnly() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    auto setDefaultDllDirectories =
        procedureOf<SetDefaultDllDirectoriesFn>(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories");
    if (setDefaultDllDirectories != nullptr) return setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
    return SetDllDirectoryA("") != FALSE;
}

}  // namespace

// Before anything loads a DLL for the program (Winsock below starts its
// providers).
static const bool dllsFromSystemFolderOnly = loadDllsFromSystemFolderOnly();
AppState appState;
CSocket timeSocket(kSockDgram, 0, kAfInet);
CWinsockInit winsock(1, 1);
CClockApp theApp;
