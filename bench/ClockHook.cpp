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
// Where it imports GetProcAddress, a look-up of
// GetSystemTimePreciseAsFileTime from then on gets a counting wrapper, and
// each recorded setting appends to "<name>.precise":
//   <calls of the wrapper so far> <true instant of the setting>
// In the time service (marivel-service.exe), every receive fails with
// WSAENETDOWN while the file "<name>.fail-receive" exists, as on a socket
// whose network went away; the clock's receives, which the flood benchmark
// counts, are left alone. The DLL stays loaded.
#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "../tests/e2e/ImportHook.h"

namespace {

char recordPath[MAX_PATH] = {};
CRITICAL_SECTION recordLock;
bool refuse = false;
std::atomic<unsigned long long> preciseReads{0};

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
    appendLine(std::string(recordPath) + ".precise", preciseReads.load(), now);
    if (!refuse) return TRUE;
    SetLastError(ERROR_PRIVILEGE_NOT_HELD);
    return FALSE;
}

BOOL WINAPI recordControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status) {
    constexpr DWORD kFirstUserControl = 128;
    if (control >= kFirstUserControl) appendLine(std::string(recordPath) + ".asks", control, preciseNow());
    return ControlService(service, control, status);
}

void WINAPI countPreciseTime(LPFILETIME now) {
    preciseReads.fetch_add(1);
    GetSystemTimePreciseAsFileTime(now);
}

FARPROC WINAPI lookUpCountingPreciseTime(HMODULE module, LPCSTR name) {
    // A name, not an ordinal, in the high bits of the pointer.
    bool byName = reinterpret_cast<ULONG_PTR>(name) > 0xFFFF;
    if (byName && std::strcmp(name, "GetSystemTimePreciseAsFileTime") == 0)
        return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(countPreciseTime));
    return GetProcAddress(module, name);
}

int WSAAPI failReceiveWhenAsked(SOCKET socket, char* buffer, int length, int flags, sockaddr* from, int* fromLength) {
    if (GetFileAttributesA((std::string(recordPath) + ".fail-receive").c_str()) != INVALID_FILE_ATTRIBUTES) {
        WSASetLastError(WSAENETDOWN);
        return SOCKET_ERROR;
    }
    return recvfrom(socket, buffer, length, flags, from, fromLength);
}

bool isTimeService() {
    char path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    const char name[] = "\\marivel-service.exe";
    std::size_t size = sizeof name - 1;
    return length >= size && lstrcmpiA(path + length - size, name) == 0;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    InitializeCriticalSection(&recordLock);  // before the recorders can run
    refuse = GetEnvironmentVariableA("MARIVEL_HOOK_REFUSE", nullptr, 0) != 0;
    // Before the marker is written: a test that sees it may ask at once.
    HMODULE program = GetModuleHandleA(nullptr);
    e2e::replaceImport(program, "ControlService", reinterpret_cast<void*>(recordControlService));
    e2e::replaceImport(program, "GetProcAddress", reinterpret_cast<void*>(lookUpCountingPreciseTime));
    if (isTimeService()) e2e::replaceImport(program, "recvfrom", reinterpret_cast<void*>(failReceiveWhenAsked));
    return e2e::installRecordingHook("MARIVEL_HOOK_OUT", recordPath, "SetSystemTime",
                                     reinterpret_cast<void*>(recordSetSystemTime));
}
