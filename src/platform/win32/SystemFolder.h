// Files of the system folder (System32) by their full path, so that a DLL
// loaded or a program started from there is never one of the same name that
// a download put beside this program or in the current folder, whatever the
// search order allows.
#pragma once
#include <string>

// The system folder's path with `name` appended; empty when Windows cannot
// tell the folder.
std::string systemFolderPath(const std::string& name);
