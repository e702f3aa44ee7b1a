#include <windows.h>

#include <string>

#include "platform/Random.h"
#include "platform/win32/SystemModules.h"

namespace platform {
namespace {

using BCryptGenRandomFn = LONG(WINAPI*)(void* algorithm, PUCHAR buffer, ULONG size, ULONG flags);
using RtlGenRandomFn = BOOLEAN(WINAPI*)(PVOID buffer, ULONG size);
constexpr ULONG kSystemPreferredRng = 0x00000002;  // BCRYPT_USE_SYSTEM_PREFERRED_RNG

HMODULE systemLibrary(const char* name) {
    std::string path = systemFolderPath(name);
    return path.empty() ? nullptr : LoadLibraryExA(path.c_str(), nullptr, 0);
}

// BCryptGenRandom where Windows has it (Vista and later); RtlGenRandom
// (advapi32's SystemFunction036) before that. Looked up once; the
// libraries stay loaded.
struct Sources {
    BCryptGenRandomFn bcrypt = procedureOf<BCryptGenRandomFn>(systemLibrary("bcrypt.dll"), "BCryptGenRandom");
    RtlGenRandomFn rtl = procedureOf<RtlGenRandomFn>(systemLibrary("advapi32.dll"), "SystemFunction036");
};

}  // namespace

bool cryptoRandom(void* buffer, std::size_t size) {
    static const Sources sources;
    if (size > MAXDWORD) return false;
    auto* bytes = static_cast<PUCHAR>(buffer);
    auto length = static_cast<ULONG>(size);
    if (sources.bcrypt != nullptr) return sources.bcrypt(nullptr, bytes, length, kSystemPreferredRng) >= 0;
    return sources.rtl != nullptr && sources.rtl(bytes, length) != FALSE;
}

}  // namespace platform
