// Loaded into the running marivel.exe by the driver: menus belong to their
// process, and Wine answers some messages only from inside, so the window is
// looked at from there. Writes to the file named by MARIVEL_PROBE_OUT in the
// program's environment, then unloads itself:
//   icons<TAB><big icon set 0/1><TAB><drag icon answered 0/1>
//   one line per system-menu item, "id<TAB>text" (a separator: "0<TAB>-").
//   dpi<TAB><the screen's logical pixels per inch, as the program sees them>
//   one line per static text of the window, with the size its text takes in
//   the control's own font and the control's client size, in pixels:
//   text<TAB>id<TAB>width<TAB>height<TAB>ascent<TAB>client width<TAB>client height<TAB>text
//   one line per balloon notice of the program:
//   balloon<TAB><shown 0/1><TAB><window handle, decimal><TAB><its control's ID><TAB>title<TAB>text
//   comctl32<TAB>file of the common controls the program's windows use
//   one line per DLL named in MARIVEL_PROBE_LOAD (names separated by ';'),
//   loaded by its bare name as the program would load it:
//   load<TAB>name<TAB><loaded already 0/1><TAB>file it loaded from, empty when it did not load
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

#include "framework/BalloonTip.h"
#include "platform/win32/Owned.h"

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

std::string dpiLine() {
    WindowDc screen(nullptr);
    int dpi = GetDeviceCaps(screen.get(), LOGPIXELSY);
    return "dpi\t" + std::to_string(dpi) + "\n";
}

std::string textLines(HWND window) {
    std::string lines;
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        char className[16] = {};
        GetClassNameA(child, className, sizeof className);
        if (std::string(className) != "Static") continue;
        char text[256] = {};
        int length = GetWindowTextA(child, text, sizeof text);
        WindowDc dc(child);
        SIZE extent{};
        TEXTMETRICA metrics{};
        {
            SelectedObject font(dc.get(), reinterpret_cast<HGDIOBJ>(SendMessageA(child, WM_GETFONT, 0, 0)));
            GetTextExtentPoint32A(dc.get(), text, length, &extent);
            GetTextMetricsA(dc.get(), &metrics);
        }
        RECT client{};
        GetClientRect(child, &client);
        lines += "text\t" + std::to_string(GetDlgCtrlID(child)) + "\t" + std::to_string(extent.cx) + "\t" +
                 std::to_string(extent.cy) + "\t" + std::to_string(metrics.tmAscent) + "\t" +
                 std::to_string(client.right) + "\t" +
                 std::to_string(client.bottom) + "\t" + text + "\n";
    }
    return lines;
}

// A balloon notice (a child window of a dialog, CBalloonTip).
BOOL CALLBACK addBalloonLine(HWND window, LPARAM data) {
    char className[32] = {};
    GetClassNameA(window, className, sizeof className);
    if (std::string(className) != CBalloonTip::kWindowClass) return TRUE;
    char text[1024] = {};
    GetWindowTextA(window, text, sizeof text);
    std::string titleAndText = text;
    std::size_t lineBreak = titleAndText.find("\r\n");
    if (lineBreak == std::string::npos) lineBreak = titleAndText.size();
    auto control = static_cast<HWND>(GetPropA(window, CBalloonTip::kControlProperty));
    *reinterpret_cast<std::string*>(data) +=
        std::string("balloon\t") + (IsWindowVisible(window) ? "1" : "0") + "\t" +
        std::to_string(reinterpret_cast<std::uintptr_t>(window)) + "\t" + std::to_string(GetDlgCtrlID(control)) +
        "\t" + titleAndText.substr(0, lineBreak) + "\t" +
        titleAndText.substr(std::min(lineBreak + 2, titleAndText.size())) + "\n";
    return TRUE;
}

BOOL CALLBACK addBalloonLinesOf(HWND window, LPARAM data) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == GetCurrentProcessId()) EnumChildWindows(window, addBalloonLine, data);
    return TRUE;
}

std::string commonControlsLine() {
    char file[MAX_PATH] = {};
    if (HMODULE controls = GetModuleHandleA("comctl32.dll")) GetModuleFileNameA(controls, file, sizeof file);
    return std::string("comctl32\t") + file + "\n";
}

std::string loadLines() {
    char names[1024] = {};
    if (GetEnvironmentVariableA("MARIVEL_PROBE_LOAD", names, sizeof names) == 0) return "";
    std::string lines;
    std::string list = std::string(names) + ";";
    for (std::size_t start = 0, end; (end = list.find(';', start)) != std::string::npos; start = end + 1) {
        std::string name = list.substr(start, end - start);
        bool loadedAlready = GetModuleHandleA(name.c_str()) != nullptr;
        char file[MAX_PATH] = {};
        Owned<HMODULE, FreeLibrary> module(LoadLibraryA(name.c_str()));
        if (module) GetModuleFileNameA(module.get(), file, sizeof file);
        lines += "load\t" + name + "\t" + (loadedAlready ? "1" : "0") + "\t" + file + "\n";
    }
    return lines;
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
            lines += dpiLine() + textLines(search.found);
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
        EnumWindows(addBalloonLinesOf, reinterpret_cast<LPARAM>(&lines));
        lines += commonControlsLine() + loadLines();
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
        OwnedHandle worker(CreateThread(nullptr, 0, writeSystemMenu, nullptr, 0, nullptr));
    }
    return TRUE;
}
