// Loaded into the running marivel.exe by a test: replaces the program's
// import of CreateProcessA with a recorder that lets each call through and
// notes what was really started, read before the started program runs. The
// file named by MARIVEL_START_OUT in the program's environment holds one
// line per call:
//   <image file of the started process, or why there is none, in
//   parentheses><TAB>
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
    // Started suspended, so that its image is read while it surely runs: a
    // program that ends at once (the panel under Wine may) has no name to
    // read any more. It goes on as the caller asked once the name is read.
    BOOL ok = CreateProcessA(application, commandLine, processAttributes, threadAttributes, inheritHandles,
                             flags | CREATE_SUSPENDED, environment, folder, startup, started);
    DWORD error = GetLastError();
    std::string image = "(not started: error " + std::to_string(error) + ")";
    if (ok) {
        char name[MAX_PATH] = {};
        DWORD size = sizeof name;
        image = QueryFullProcessImageNameA(started->hProcess, 0, name, &size)
                    ? std::string(name)
                    : "(started, its file unread: error " + std::to_string(GetLastError()) + ")";
        if ((flags & CREATE_SUSPENDED) == 0) ResumeThread(started->hThread);
    }
    int show = startup != nullptr && (startup->dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup->wShowWindow : -1;
    record(image + "\t" + std::to_string(show) + "\t" + line);
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
