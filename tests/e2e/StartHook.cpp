// Loaded into the running marivel.exe by a test: replaces the program's
// import of CreateProcessA with a recorder that lets each call through and
// then notes what was really started. The file named by MARIVEL_START_OUT
// in the program's environment holds one line per call:
//   <image file of the started process, empty when none started><TAB>
//   <wShowWindow, -1 without STARTF_USESHOWWINDOW><TAB><command line>
// The file "<name>.hooked" says the import was found and replaced. The DLL
// stays loaded.
#include <windows.h>

#include <cstdio>
#include <string>

#include "ImportHook.h"

namespace {

char recordPath[MAX_PATH] = {};
CRITICAL_SECTION recordLock;
std::string recorded;

// The whole record, replaced at once: a reader never sees half a line.
void record(const std::string& line) {
    EnterCriticalSection(&recordLock);
    recorded += line + "\n";
    std::string partial = std::string(recordPath) + ".part";
    if (FILE* out = std::fopen(partial.c_str(), "wb")) {
        std::fwrite(recorded.data(), 1, recorded.size(), out);
        std::fclose(out);
        MoveFileExA(partial.c_str(), recordPath, MOVEFILE_REPLACE_EXISTING);
    }
    LeaveCriticalSection(&recordLock);
}

BOOL WINAPI recordCreateProcessA(LPCSTR application, LPSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                                 LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles, DWORD flags,
                                 LPVOID environment, LPCSTR folder, LPSTARTUPINFOA startup,
                                 LPPROCESS_INFORMATION started) {
    std::string line = commandLine != nullptr ? commandLine : "";
    BOOL ok = CreateProcessA(application, commandLine, processAttributes, threadAttributes, inheritHandles, flags,
                             environment, folder, startup, started);
    DWORD error = GetLastError();
    char image[MAX_PATH] = {};
    DWORD size = sizeof image;
    if (!ok || !QueryFullProcessImageNameA(started->hProcess, 0, image, &size)) image[0] = '\0';
    int show = startup != nullptr && (startup->dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup->wShowWindow : -1;
    record(std::string(image) + "\t" + std::to_string(show) + "\t" + line);
    SetLastError(error);
    return ok;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    InitializeCriticalSection(&recordLock);  // before the recorder can run
    return e2e::installRecordingHook("MARIVEL_START_OUT", recordPath, "CreateProcessA",
                                     reinterpret_cast<void*>(recordCreateProcessA));
}
