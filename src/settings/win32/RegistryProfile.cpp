#include "settings/win32/RegistryProfile.h"

#include <utility>
#include <vector>

RegistryProfile::RegistryProfile(HKEY root, std::string basePath, bool writable)
    : root_(root), basePath_(std::move(basePath)), writable_(writable) {}

RegistryProfile::RegistryProfile(std::string companyKey, std::string appName)
    : RegistryProfile(HKEY_CURRENT_USER, "Software\\" + companyKey + "\\" + appName, true) {}

RegistryProfile RegistryProfile::readOnly(HKEY root, std::string basePath) {
    return RegistryProfile(root, std::move(basePath), false);
}

// A writable profile opens the path with create semantics for reading too,
// so the first start already makes it.
RegistryKey RegistryProfile::openSection(const char* section) const {
    std::string path = basePath_ + "\\" + section;
    HKEY key = nullptr;
    LONG result = writable_ ? RegCreateKeyExA(root_, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                              KEY_READ | KEY_WRITE, nullptr, &key, nullptr)
                            : RegOpenKeyExA(root_, path.c_str(), 0, KEY_READ, &key);
    return RegistryKey(result == ERROR_SUCCESS ? key : nullptr);
}

bool RegistryProfile::readValue(const char* section, const char* key, StoredValue& value) {
    RegistryKey sectionKey = openSection(section);
    if (!sectionKey) return false;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(sectionKey.get(), key, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
    std::vector<std::uint8_t> bytes(size);
    if (RegQueryValueExA(sectionKey.get(), key, nullptr, &type, bytes.data(), &size) != ERROR_SUCCESS) return false;
    bytes.resize(size);
    value = StoredValue{type, std::move(bytes)};
    return true;
}

void RegistryProfile::writeValue(const char* section, const char* key, const StoredValue& value) {
    if (!writable_) return;
    RegistryKey sectionKey = openSection(section);
    if (!sectionKey) return;
    RegSetValueExA(sectionKey.get(), key, 0, value.type, value.bytes.data(), static_cast<DWORD>(value.bytes.size()));
}
