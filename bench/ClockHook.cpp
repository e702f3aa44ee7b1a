// Loaded into the running marivel.exe by a benchmark: replaces the
// program's import of SetSystemTime with a recorder, so that a reply's
// clock setting is measured and never reaches the system. Each call appends
// a line to the file named by MARIVEL_HOOK_OUT in the program's environment:
//   <instant it would set> <true instant of the call>
// both in 100 ns units since 1601 (FILETIME). The file "<name>.hooked" says
// the import was found and replaced. The call succeeds, as it does for an
// administrator, unless MARIVEL_HOOK_REFUSE is set in the program's
// environment: then it fails as Windows fails it for a standard user
// (ERROR_PRIVILEGE_NOT_HELD), still recorded. The DLL stays loaded.
#include <windows.h>

#include <cstdint>
#include <cstdio>

#include "../tests/e2e/ImportHook.h"

namespace {

char recordPath[MAX_PATH] = {};
CRITICAL_SECTION recordLock;
bool refuse = false;

std::uint64_t ticksOf(const FILETIME& time) {
    return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

BOOL WINAPI recordSetSystemTime(const SYSTEMTIME* utc) {
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    FILETIME wanted{};
    if (utc == nullptr || !SystemTimeToFileTime(utc, &wanted)) return FALSE;
    EnterCriticalSection(&recordLock);
    if (FILE* out = std::fopen(recordPath, "ab")) {
        std::fprintf(out, "%llu %llu\n", static_cast<unsigned long long>(ticksOf(wanted)),
                     static_cast<unsigned long long>(ticksOf(now)));
        std::fclose(out);
    }
    LeaveCriticalSection(&recordLock);
    if (!refuse) return TRUE;
    SetLastError(ERROR_PRIVILEGE_NOT_HELD);
    return FALSE;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    InitializeCriticalSection(&recordLock);  // before the recorder can run
    refuse = GetEnvironmentVariableA("MARIVEL_HOOK_REFUSE", nullptr, 0) != 0;
    return e2e::installRecordingHook("MARIVEL_HOOK_OUT", recordPath, "SetSystemTime",
                                     reinterpret_cast<void*>(recordSetSystemTime));
}
