// Replacing a program's import from inside it, for the DLLs that tests and
// benchmarks load into the running marivel.exe (StartHook, ClockHook).
#pragma once
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace e2e {

// Points every import of `name` in `module` at `replacement`; true when
// there was one.
inline bool replaceImport(HMODULE module, const char* name, void* replacement) {
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

// For a recording hook's DllMain: the record file is the one named by
// `variable` in the program's environment, and the file "<record>.hooked"
// says that the import of `name` was found and replaced. False when either
// is missing: the DLL then refuses to load.
inline bool installRecordingHook(const char* variable, char (&recordPath)[MAX_PATH], const char* name,
                                 void* replacement) {
    if (GetEnvironmentVariableA(variable, recordPath, MAX_PATH) == 0) return false;
    if (!replaceImport(GetModuleHandleA(nullptr), name, replacement)) return false;
    std::string marker = std::string(recordPath) + ".hooked";
    if (FILE* out = std::fopen(marker.c_str(), "wb")) std::fclose(out);
    return true;
}

}  // namespace e2e
