// Loaded into the running marivel.exe by the driver: menus belong to their
// process, and Wine answers some messages only from inside, so the window is
// looked at from there. Writes to the file named by MARIVEL_PROBE_OUT in the
// program's environment, then unloads itself:
//   icons<TAB><big icon set 0/1><TAB><drag icon answered 0/1>
//   one line per system-menu item, "id<TAB>text" (a separator: "0<TAB>-").
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

HMODULE probeModule = nullptr;

struct Search {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK findClock(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<Search*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    if (owner != search->processId || std::string(className) != "#32770" || !IsWindowVisible(window)) return TRUE;
    search->found = window;
    return FALSE;
}

DWORD WINAPI writeSystemMenu(LPVOID) {
    char path[MAX_PATH] = {};
    if (GetEnvironmentVariableA("MARIVEL_PROBE_OUT", path, sizeof path) != 0) {
        Search search{GetCurrentProcessId(), nullptr};
        EnumWindows(findClock, reinterpret_cast<LPARAM>(&search));
        HMENU menu = search.found != nullptr ? GetSystemMenu(search.found, FALSE) : nullptr;
        std::string lines;
        if (search.found != nullptr) {
            bool bigIcon = SendMessageA(search.found, WM_GETICON, ICON_BIG, 0) != 0;
            bool dragIcon = SendMessageA(search.found, WM_QUERYDRAGICON, 0, 0) != 0;
            lines += std::string("icons\t") + (bigIcon ? "1" : "0") + "\t" + (dragIcon ? "1" : "0") + "\n";
        }
        for (int i = 0; menu != nullptr && i < GetMenuItemCount(menu); ++i) {
            UINT state = GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION);
            if (state & MF_SEPARATOR) {
                lines += "0\t-\n";
                continue;
            }
            char text[128] = {};
            GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
            lines += std::to_string(GetMenuItemID(menu, i)) + "\t" + text + "\n";
        }
        std::string partial = std::string(path) + ".part";
        if (FILE* out = std::fopen(partial.c_str(), "wb")) {
            std::fwrite(lines.data(), 1, lines.size(), out);
            std::fclose(out);
            MoveFileA(partial.c_str(), path);  // the driver sees the file whole
        }
    }
    FreeLibraryAndExitThread(probeModule, 0);
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        probeModule = module;
        // Nothing that touches windows may run under the loader lock.
        HANDLE worker = CreateThread(nullptr, 0, writeSystemMenu, nullptr, 0, nullptr);
        if (worker != nullptr) CloseHandle(worker);
    }
    return TRUE;
}
