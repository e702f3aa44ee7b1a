// What else a browser may have saved in the Downloads folder, built both as
// a program (planted as control.exe) and as a DLL. Started or loaded, it
// adds its own path as a line to the file named by MARIVEL_PLANTED_OUT in
// its environment, so that a test sees it ran.
#include <windows.h>

#include <cstdio>

namespace {

void recordRun(HMODULE module) {
    char out[MAX_PATH] = {};
    char self[MAX_PATH] = {};
    if (GetEnvironmentVariableA("MARIVEL_PLANTED_OUT", out, sizeof out) == 0) return;
    GetModuleFileNameA(module, self, sizeof self);
    if (FILE* file = std::fopen(out, "ab")) {
        std::fprintf(file, "%s\n", self);
        std::fclose(file);
    }
}

}  // namespace

int main() {
    recordRun(nullptr);
    return 0;
}

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) recordRun(module);
    return TRUE;
}
