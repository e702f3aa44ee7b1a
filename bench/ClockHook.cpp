// Loaded into the running marivel.exe by a benchmark: replaces the
// program's import of SetSystemTime with a recorder, so that a reply's
// clock setting is measured and never reaches the system. Each call appends
// a line to the file named by MARIVEL_HOOK_OUT in the program's environment:
//   <instant it would set> <true instant of the call>
// both in 100 ns units since 1601 (FILETIME). The file "<name>.hooked" says
// the import was found and replaced. The DLL stays loaded.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

char recordPath[MAX_PATH] = {};
CRITICAL_SECTION recordLock;

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
    return TRUE;
}

// Points every import of `name` in `module` at `replacement`.
bool replaceImport(HMODULE module, const char* name, void* replacement) {
    auto* base = reinterpret_cast<BYTE*>(module);
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) return false;
    bool replaced = false;
    for (auto* library = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         library->Name != 0; ++library) {
        DWORD namesAt = library->OriginalFirstThunk != 0 ? library->OriginalFirstThunk : library->FirstThunk;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + namesAt);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + library->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), name) != 0) continue;
            DWORD protection = 0;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &protection);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
            replaced = true;
        }
    }
    return replaced;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    if (GetEnvironmentVariableA("MARIVEL_HOOK_OUT", recordPath, sizeof recordPath) == 0) return FALSE;
    InitializeCriticalSection(&recordLock);
    if (!replaceImport(GetModuleHandleA(nullptr), "SetSystemTime",
                       reinterpret_cast<void*>(recordSetSystemTime)))
        return FALSE;
    char marker[MAX_PATH + 8];
    std::snprintf(marker, sizeof marker, "%s.hooked", recordPath);
    if (FILE* out = std::fopen(marker, "wb")) std::fclose(out);
    return TRUE;
}
