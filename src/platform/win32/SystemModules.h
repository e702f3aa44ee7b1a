// What the program takes from Windows itself: files of the system folder
// (System32) by their full path, so that a DLL loaded or a program started
// from there is never one of the same name that a download put beside this
// program or in the current folder, whatever the search order allows; and
// procedures that not every Windows version has, looked up by name rather
// than imported, so that the program still starts without them.
#pragma once
#include <windows.h>

#include <string>

// The system folder's path with `name` appended; empty when Windows cannot
// tell the folder.
std::string systemFolderPath(const std::string& name);

// The procedure `name` of `module` as the function type Fn; null when the
// module or the procedure is missing.
template <typename Fn>
Fn procedureOf(HMODULE module, const char* name) {
    return module != nullptr ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}
