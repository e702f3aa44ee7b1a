// Loaded into a running program (marivel.exe, marivel-service.exe) by a
// test or benchmark: replaces the program's import of SetSystemTime with a
// recorder, so that a reply's clock setting is measured and never reaches
// the system. Each call appends a line to the file named by
// MARIVEL_HOOK_OUT in the program's environment:
//   <instant it would set> <true instant of the call>
// both in 100 ns units since 1601 (FILETIME). The file "<name>.hooked" says
// the import was found and replaced. The call succeeds, as it does for an
// administrator, unless MARIVEL_HOOK_REFUSE is set in the program's
// environment: then it fails as Windows fails it for a standard user
// (ERROR_PRIVILEGE_NOT_HELD), still recorded. Where the program imports
// ControlService (the clock, which asks the time service), each
// user-defined control code it sends is let through and appended to
// "<name>.asks":
//   <control code> <true instant of the call>
// The DLL stays loaded.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "../tests/e2e/ImportHook.h"

namespace {

char recordPath[MAX_PATH] = {};
CRITICAL_SECTION recordLock;
bool refuse = false;

std::uint64_t ticksOf(const FILETIME& time) {
    return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

std::uint64_t preciseNow() {
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    return ticksOf(now);
}

void appendLine(const std::string& path, unsigned long long first, unsigned long long second) {
    EnterCriticalSection(&recordLock);
    if (FILE* out = std::fopen(path.c_str(), "ab")) {
        std::fprintf(out, "%llu %llu\n", first, second);
        std::fclose(out);
    }
    LeaveCriticalSection(&recordLock);
}

BOOL WINAPI recordSetSystemTime(const SYSTEMTIME* utc) {
    std::uint64_t now = preciseNow();
    FILETIME wanted{};
    if (utc == nullptr || !SystemTimeToFileTime(utc, &wanted)) return FALSE;
    appendLine(recordPath, ticksOf(wanted), now);
    if (!refuse) return TRUE;
    SetLastError(ERROR_PRIVILEGE_NOT_HELD);
    return FALSE;
}

BOOL WINAPI recordControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status) {
    constexpr DWORD kFirstUserControl = 128;
    if (control >= kFirstUserControl) appendLine(std::string(recordPath) + ".asks", control, preciseNow());
    return ControlService(service, control, status);
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    InitializeCriticalSection(&recordLock);  // before the recorders can run
    refuse = GetEnvironmentVariableA("MARIVEL_HOOK_REFUSE", nullptr, 0) != 0;
    // Before the marker is written: a test that sees it may ask at once.
    e2e::replaceImport(GetModuleHandleA(nullptr), "ControlService", reinterpret_cast<void*>(recordControlService));
    return e2e::installRecordingHook("MARIVEL_HOOK_OUT", recordPath, "SetSystemTime",
                                     reinterpret_cast<void*>(recordSetSystemTime));
}
